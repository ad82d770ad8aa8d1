#pragma once
// The rules a damaged copy of a rip is held to, whoever encoded it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
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

// Opens `vob`, a damaged copy of a rip whose frames (the engine's, each
// picture different) hash to `whole`, and checks: the damage is reported;
// the count is within `near` frames of FFmpeg's sequential decode of the
// copy; every frame decodes; a frame outside the reported ranges is one of
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
  EXPECT_NEAR(count, static_cast<int>(ReferenceDecode({vob}).size()), near);
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
