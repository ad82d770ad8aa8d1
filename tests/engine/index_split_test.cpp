// The index build reads large files in two parts on two threads and joins
// them: the index must be the one a single reading gives, byte for byte,
// wherever the files are split and whatever damage lies around the split.

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "engine/mpeg2_scan.h"
#include "engine/sample_media.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;

namespace {

std::string ReadAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path &p, const std::string &bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string SingleReading(const std::vector<fs::path> &files) {
  Mpeg2ScanOptions one;
  one.splitFrom = ~std::uint64_t{0};
  return SerializeIndex(*BuildMpeg2Index(files, "key", {}, one));
}

// Builds the index split near each of `splits` and compares it with the
// single reading; returns how many of the splits were joined.
int ExpectSameIndexWhereverSplit(const std::vector<fs::path> &files, const std::vector<std::uint64_t> &splits,
                                 const std::string &what) {
  const std::string single = SingleReading(files);
  int joinedCount = 0;
  for (std::uint64_t at : splits) {
    Mpeg2ScanOptions two;
    two.splitFrom = 0;
    two.splitNear = at;
    bool joined = false;
    two.joined = &joined;
    EXPECT_EQ(SerializeIndex(*BuildMpeg2Index(files, "key", {}, two)), single) << what << ", split near " << at;
    joinedCount += joined;
  }
  return joinedCount;
}

class IndexSplit : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    folder_ = new reelwork::testing::TempFolder;
    SampleOptions o;
    o.seconds = 8;
    o.grain = 2;
    rip_ = reelwork::testing::MakeTestRip(folder_->path() / "rip", o);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static reelwork::testing::TempFolder *folder_;
  static SampleRip rip_;
};

reelwork::testing::TempFolder *IndexSplit::folder_ = nullptr;
SampleRip IndexSplit::rip_;

TEST_F(IndexSplit, DamagedCopiesGiveTheIndexOfOneReading) {
  const std::string vob = ReadAll(rip_.vobs[0]);
  const size_t size = vob.size();
  const size_t third = size / 3 / 2048 * 2048, half = size / 2 / 2048 * 2048;
  struct Copy {
    std::string name;
    std::string bytes;
    std::vector<std::uint64_t> splits; // besides those spread over the file
  };
  std::vector<Copy> copies;
  copies.push_back({"clean", vob, {}});
  {
    std::string b = vob;
    b.replace(half, 2048, 2048, '\0');
    copies.push_back({"sector of zeros", b, {half - 3000, half - 1, half, half + 1, half + 2048}});
  }
  {
    std::string b = vob;
    b.replace(third, 256 * 1024, 256 * 1024, '\0');
    copies.push_back({"256 KiB of zeros", b, {third - 100, third + 1000, third + 200 * 1024, third + 256 * 1024 - 5}});
  }
  {
    std::string b = vob;
    b.erase(half + 700, 37);
    copies.push_back({"37-byte slip", b, {half - 2048, half, half + 650, half + 700, half + 2048}});
  }
  {
    std::string b = vob;
    b.resize(size - 1000);
    copies.push_back({"cut end", b, {size - 5000, size - 2100, size - 1500}});
  }
  {
    // Bytes that look like start codes and packs strewn over the stream.
    std::string b = vob;
    std::mt19937 random(17);
    std::vector<std::uint64_t> near;
    for (int i = 0; i < 60; ++i) {
      const size_t at = random() % (size - 64);
      const std::string codes[] = {std::string("\0\0\x01\xBA\x44", 5), std::string("\0\0\x01\xB3", 4),
                                   std::string("\0\0\x01\x00", 4), std::string("\0\0\x01\xE0\x07", 5),
                                   std::string(37, '\xA5')};
      const std::string &code = codes[random() % 5];
      b.replace(at, code.size(), code);
      if (i % 6 == 0)
        near.push_back(at >= 2048 ? at - 2048 : 0);
    }
    copies.push_back({"strewn codes", b, near});
  }
  for (auto &copy : copies) {
    const fs::path path = folder_->path() / (copy.name + ".VOB");
    WriteAll(path, copy.bytes);
    std::vector<std::uint64_t> splits = copy.splits;
    for (int i = 1; i < 12; ++i)
      splits.push_back(copy.bytes.size() * static_cast<std::uint64_t>(i) / 12 + static_cast<std::uint64_t>(i) * 7);
    const int joined = ExpectSameIndexWhereverSplit({path}, splits, copy.name);
    // Most splits are joined where the two readings meet; one that is not
    // read on alone (and still gives the same index, checked above).
    EXPECT_GE(joined, static_cast<int>(splits.size()) / 2) << copy.name;
  }
}

// Sectors lost inside B-pictures and inside a P-picture: the state kept for
// reading on through the damage crosses the join as a single reading has it.
TEST_F(IndexSplit, SectorsLostInsidePicturesGiveTheIndexOfOneReading) {
  SampleOptions o;
  o.seconds = 6;
  o.grain = 8;
  o.quantizer = 2;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder_->path() / "large", o);
  const std::string vob = ReadAll(rip.vobs[0]);
  const IndexPtr whole = BuildMpeg2Index(rip.vobs, "key", {}, Mpeg2ScanOptions{});
  std::string bytes = vob;
  std::vector<std::uint64_t> splits;
  // The second sector after the one where a picture begins lies inside it.
  int bLost = 0, pLost = 0;
  for (size_t d = 20; d < whole->pictures.size() && (bLost < 4 || pLost < 1); d += 7) {
    const IndexedPicture &pic = whole->pictures[d];
    const bool wanted = pic.type == kPictureB ? bLost < 4 : pic.type == kPictureP && pLost < 1;
    if (!wanted || pic.size + pic.payloadOffset < 3 * 2048 + 64)
      continue;
    (pic.type == kPictureB ? bLost : pLost)++;
    const size_t sector = pic.packetPos / 2048 * 2048 + 2 * 2048;
    bytes.replace(sector, 2048, 2048, '\0');
    for (std::uint64_t at : {sector - 2048, sector - 1, sector, sector + 2048, sector + 4096})
      splits.push_back(at);
  }
  ASSERT_EQ(bLost, 4);
  ASSERT_EQ(pLost, 1);
  const fs::path path = folder_->path() / "lost inside pictures.VOB";
  WriteAll(path, bytes);
  const int joined = ExpectSameIndexWhereverSplit({path}, splits, "lost inside pictures");
  EXPECT_GE(joined, static_cast<int>(splits.size()) / 2);
}

// Cancelling (the progress function throws) while the second part is being
// read stops both readings: the exception comes back, nothing hangs.
TEST_F(IndexSplit, CancellingStopsBothReadings) {
  struct Cancelled {};
  Mpeg2ScanOptions two;
  two.splitFrom = 0;
  int calls = 0;
  EXPECT_THROW(BuildMpeg2Index(rip_.vobs, "key", [&](double) { if (++calls == 2) throw Cancelled{}; }, two),
               Cancelled);
  // And the next build is whole.
  bool joined = false;
  two.joined = &joined;
  EXPECT_EQ(SerializeIndex(*BuildMpeg2Index(rip_.vobs, "key", {}, two)), SingleReading(rip_.vobs));
  EXPECT_TRUE(joined);
}

// Payloads of 1 to 23 bytes: start codes and their headers run over several
// packets, so the bytes the lexers keep between payloads decide the join.
TEST_F(IndexSplit, StartCodesCutAcrossManyTinyPackets) {
  const std::string vob = ReadAll(rip_.vobs[0]);
  std::string es;
  for (size_t at = 0; at + 14 <= vob.size();) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(vob[i]); };
    if (byte(at + 3) == 0xBA) {
      at += 14 + (byte(at + 13) & 7);
      continue;
    }
    if (byte(at + 3) == 0xB9)
      break;
    const size_t length = 6 + ((byte(at + 4) << 8) | byte(at + 5));
    if (byte(at + 3) == 0xE0)
      es.append(vob, at + 9 + byte(at + 8), length - 9 - byte(at + 8));
    at += length;
  }
  es.resize(std::min<size_t>(es.size(), 600 * 1024));
  std::string ps;
  for (size_t at = 0, size = 1; at < es.size(); at += size, size = size % 23 + 1) {
    const size_t take = std::min(size, es.size() - at);
    ps += std::string("\0\0\x01\xBA\x44\x00\x04\x00\x04\x01\x01\x89\xC3\xF8", 14);
    ps += std::string("\0\0\x01\xE0", 4);
    ps += static_cast<char>((3 + take) >> 8);
    ps += static_cast<char>((3 + take) & 0xFF);
    ps += std::string("\x80\x00\x00", 3);
    ps.append(es, at, take);
  }
  const fs::path path = folder_->path() / "TINY.VOB";
  WriteAll(path, ps);
  std::vector<std::uint64_t> splits;
  for (std::uint64_t at = 1; at < ps.size(); at += ps.size() / 40 + 13)
    splits.push_back(at);
  EXPECT_GE(ExpectSameIndexWhereverSplit({path}, splits, "tiny packets"), static_cast<int>(splits.size()) * 3 / 4);
}

} // namespace
