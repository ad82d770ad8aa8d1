#pragma once
// The rules a damaged copy of a rip is held to, whoever encoded it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/mpeg2_index.h"
#include "engine/mpeg2_source.h"
#include "support/media_fixture.h"

namespace reelwork::testing {

inline bool InRanges(const std::vector<engine::FrameRange> &ranges, int n) {
  return std::any_of(ranges.begin(), ranges.end(),
                     [n](const engine::FrameRange &r) { return r.first <= n && n <= r.last; });
}

// How a copy of a VOB is damaged, at a fraction of its length.
struct Damage {
  const char *name;
  double at;          // where, as a fraction of the file
  size_t zeros;       // bytes overwritten with zeros from a sector start
  size_t slip;        // bytes taken out inside a sector
  size_t cutAtEnd;    // bytes cut off the end
  size_t garbage = 0; // random bytes written from 100 bytes into a sector
};

inline void PrintTo(const Damage &d, std::ostream *os) { *os << d.name; }

inline std::string Damaged(const std::string &vob, const Damage &d) {
  std::string bytes = vob;
  const size_t sector = static_cast<size_t>(static_cast<double>(vob.size()) * d.at) / 2048 * 2048;
  if (d.zeros)
    bytes.replace(sector, d.zeros, d.zeros, '\0');
  if (d.slip)
    bytes.erase(sector + 700, d.slip);
  if (d.cutAtEnd)
    bytes.resize(bytes.size() - d.cutAtEnd);
  std::mt19937 random(static_cast<unsigned>(sector));
  for (size_t i = 0; i < d.garbage; ++i)
    bytes[sector + 100 + i] = static_cast<char>(random());
  return bytes;
}

// A copy of `bytes` (a program stream) damaged at 2 to 8 places chosen by
// `seed`, each of one kind: sectors of zeros, bytes taken out, garbage over
// a pack header (garbage inside one payload leaves no trace in the packs and
// cannot be found), or two lost sectors close together. `places` receives
// how many.
inline std::string DamagedAtRandom(const std::string &bytes, unsigned seed, int &places) {
  std::mt19937 random(seed);
  std::string copy = bytes;
  places = 2 + static_cast<int>(random() % 7);
  // From the end backwards, so that bytes taken out leave the places before where they were.
  std::vector<size_t> at;
  for (int k = 0; k < places; ++k)
    at.push_back(random() % (copy.size() - 300 * 1024));
  std::sort(at.rbegin(), at.rend());
  for (size_t place : at) {
    const size_t sector = place / 2048 * 2048;
    switch (random() % 4) {
    case 0: {
      const size_t n = 2048 * (1 + random() % 3);
      copy.replace(sector, n, n, '\0');
      break;
    }
    case 1:
      copy.erase(sector + random() % 2000, 1 + random() % 200);
      break;
    case 2:
      for (size_t i = 0, n = 2048 + random() % 6000; i < n; ++i)
        copy[sector + 50 + i] = static_cast<char>(random());
      break;
    default:
      copy.replace(sector, 2048, 2048, '\0');
      copy.replace(sector + 2048 * (2 + random() % 4), 2048, 2048, '\0');
      break;
    }
  }
  return copy;
}

// Opens `vob`, a damaged copy of a rip whose frames (the engine's, each
// picture different) hash to `whole`, and checks: the damage is reported;
// the count is at most `near` frames fewer than FFmpeg's sequential decode
// of the copy gives; every frame decodes; a frame outside the reported ranges is one of
// the rip's pictures, unchanged, those pictures come in the rip's order,
// each once, and before the damage each frame is the rip's frame of its
// number; seeking on a source of its own gives the frames stepping gave; the
// index kept on disk gives the same frames and ranges. Returns the count.
inline int ExpectDamageRules(const std::filesystem::path &vob, const std::vector<std::uint64_t> &whole, int near = 4) {
  std::unordered_map<std::uint64_t, int> numberOf;
  for (size_t k = 0; k < whole.size(); ++k)
    numberOf.emplace(whole[k], static_cast<int>(k));
  EXPECT_EQ(numberOf.size(), whole.size()) << "the rip's pictures are not all different";

  std::shared_ptr<engine::Clip> stepping = engine::MakeMpeg2SourceFromFiles({vob}, {});
  const int count = stepping->info().frameCount;
  const auto index = engine::IndexOfSource(*stepping);
  if (index->damaged.empty()) {
    ADD_FAILURE() << "the damage is not reported";
    return count;
  }
  const int firstDamaged = index->damaged.front().first;
  // (FFmpeg's demultiplexer can lose more than the damage took; showing more
  // than it does is no fault when every frame keeps the rules below.)
  EXPECT_GE(count, static_cast<int>(ReferenceDecode({vob}).size()) - near);
  EXPECT_LE(count, static_cast<int>(whole.size()));

  std::vector<std::uint64_t> hashes(static_cast<size_t>(count));
  int previous = -1;
  for (int n = 0; n < count; ++n) {
    engine::FramePtr f = stepping->frame(n);
    if (!f) {
      ADD_FAILURE() << "frame " << n << " does not decode";
      return count;
    }
    hashes[static_cast<size_t>(n)] = HashFrame(*f);
    if (InRanges(index->damaged, n))
      continue; // may show what concealment patched in
    const auto found = numberOf.find(hashes[static_cast<size_t>(n)]);
    if (found == numberOf.end()) {
      ADD_FAILURE() << "frame " << n << " is none of the rip's pictures, outside the reported ranges";
      continue;
    }
    if (n < firstDamaged) {
      EXPECT_EQ(found->second, n) << "a frame before the damage lost its number";
    }
    EXPECT_GT(found->second, previous) << "frame " << n << " is out of display order or shown twice";
    previous = found->second;
  }

  std::shared_ptr<engine::Clip> seeking = engine::MakeMpeg2SourceFromFiles({vob}, {});
  std::vector<int> order(static_cast<size_t>(count));
  for (int n = 0; n < count; ++n)
    order[static_cast<size_t>(n)] = count - 1 - n;
  std::shuffle(order.begin() + count / 2, order.end(), std::mt19937(5));
  for (int n : order)
    EXPECT_EQ(HashFrame(*seeking->frame(n)), hashes[static_cast<size_t>(n)]) << "frame " << n;

  engine::ForgetIndexesInMemory();
  const auto reloaded = engine::IndexOfSource(*engine::MakeMpeg2SourceFromFiles({vob}, {}));
  EXPECT_EQ(reloaded->damaged, index->damaged);
  EXPECT_EQ(reloaded->frames, index->frames);
  return count;
}

} // namespace reelwork::testing
