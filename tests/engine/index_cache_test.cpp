// The index across reopenings: in memory, on disk, and thrown away when the
// files it describes change.

#include <gtest/gtest.h>

#include <fstream>

#include "engine/mpeg2_index.h"
#include "engine/mpeg2_source.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;

namespace {

class IndexCache : public ::testing::Test {
protected:
  void SetUp() override {
    SampleOptions o;
    o.seconds = 2;
    o.vobCount = 2;
    rip_ = reelwork::testing::MakeTestRip(folder_.path(), o);
  }
  // The index, and whether it had to be built (building reports progress).
  IndexPtr Get(bool &built) {
    built = false;
    return GetMpeg2Index(rip_.vobs, [&](double) { built = true; });
  }

  reelwork::testing::TempFolder folder_;
  reelwork::testing::IsolatedIndexCache cache_;
  SampleRip rip_;
};

bool SameIndex(const Mpeg2Index &a, const Mpeg2Index &b) {
  if (a.key != b.key || a.width != b.width || a.height != b.height || a.rateNum != b.rateNum ||
      a.rateDen != b.rateDen || a.topFieldFirst != b.topFieldFirst || a.frames != b.frames ||
      a.pictures.size() != b.pictures.size())
    return false;
  for (size_t i = 0; i < a.pictures.size(); ++i) {
    const auto &x = a.pictures[i], &y = b.pictures[i];
    if (x.packetPos != y.packetPos || x.time != y.time || x.size != y.size || x.seekFrom != y.seekFrom ||
        x.frame != y.frame || x.payloadOffset != y.payloadOffset || x.type != y.type)
      return false;
  }
  return true;
}

TEST_F(IndexCache, KeptInMemoryThenOnDiskAcrossRuns) {
  bool built = false;
  const IndexPtr first = Get(built);
  EXPECT_TRUE(built);
  EXPECT_TRUE(fs::exists(IndexCachePath(first->key)));
  EXPECT_EQ(IndexCachePath(first->key).parent_path(), cache_.folder() / "reelwork");

  const IndexPtr again = Get(built);
  EXPECT_FALSE(built);
  EXPECT_EQ(again.get(), first.get()); // the same object, from memory

  ForgetIndexesInMemory(); // as in a new run
  const IndexPtr loaded = Get(built);
  EXPECT_FALSE(built);
  EXPECT_NE(loaded.get(), first.get());
  EXPECT_TRUE(SameIndex(*loaded, *first));
}

TEST_F(IndexCache, RebuiltWhenAFileChanges) {
  bool built = false;
  const IndexPtr original = Get(built);
  ForgetIndexesInMemory();

  // A new modification time alone makes the stored index stale.
  fs::last_write_time(rip_.vobs[1], fs::last_write_time(rip_.vobs[1]) + std::chrono::seconds(5));
  IndexPtr rebuilt = Get(built);
  EXPECT_TRUE(built);
  EXPECT_NE(rebuilt->key, original->key);

  // A changed first block with the same size and time, too.
  ForgetIndexesInMemory();
  const auto time = fs::last_write_time(rip_.vobs[0]);
  {
    std::fstream f(rip_.vobs[0], std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(100);
    f.put('\x55');
  }
  fs::last_write_time(rip_.vobs[0], time);
  Get(built);
  EXPECT_TRUE(built);

  // A change near the end, size and time kept, too.
  ForgetIndexesInMemory();
  const auto endTime = fs::last_write_time(rip_.vobs[1]);
  {
    std::fstream f(rip_.vobs[1], std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(fs::file_size(rip_.vobs[1]) - 3000));
    f.put('\x55');
  }
  fs::last_write_time(rip_.vobs[1], endTime);
  Get(built);
  EXPECT_TRUE(built);

  // A file that grew by a padding pack: its index must describe the new length.
  {
    std::ofstream f(rip_.vobs[1], std::ios::app | std::ios::binary);
    f << std::string("\0\0\x01\xBE\x07\xFA", 6) << std::string(2042, '\xFF');
  }
  IndexPtr grown = Get(built);
  EXPECT_TRUE(built);
  EXPECT_EQ(grown->frameCount(), original->frameCount());
}

// A stored index that passes every check of the files and still describes
// other files (changed where the checks do not look): the first frame lookup
// finds it wrong, the index is built again, and every frame is right.
TEST_F(IndexCache, StaleIndexIsBuiltAgainWhenAFrameFindsItWrong) {
  reelwork::testing::TempFolder other;
  SampleOptions o;
  o.seconds = 2;
  o.vobCount = 2;
  o.grain = 3; // the same frames, coded at other sizes
  const SampleRip elsewhere = reelwork::testing::MakeTestRip(other.path(), o);
  const std::string key = IndexKey(rip_.vobs);
  const IndexPtr wrong = BuildMpeg2Index(elsewhere.vobs, key, {});
  fs::create_directories(IndexCachePath(key).parent_path());
  std::ofstream(IndexCachePath(key), std::ios::binary) << SerializeIndex(*wrong);

  auto clip = MakeMpeg2SourceFromFiles(rip_.vobs, {});
  const auto reference = reelwork::testing::ReferenceDecode(rip_.vobs);
  ASSERT_EQ(clip->info().frameCount, static_cast<int>(reference.size()));
  for (int n = 0; n < clip->info().frameCount; ++n)
    EXPECT_EQ(reelwork::testing::HashFrame(*clip->frame(n)), reference[static_cast<size_t>(n)]) << n;
  EXPECT_EQ(StatsOfSource(*clip).rebuilds, 1);

  // The right index replaced the stale one on disk.
  ForgetIndexesInMemory();
  bool built = false;
  const IndexPtr stored = Get(built);
  EXPECT_FALSE(built);
  EXPECT_TRUE(SameIndex(*stored, *BuildMpeg2Index(rip_.vobs, key, {})));
}

TEST_F(IndexCache, DamagedCacheFilesAreIgnored) {
  bool built = false;
  const IndexPtr original = Get(built);
  const fs::path path = IndexCachePath(original->key);
  const std::string good = SerializeIndex(*original);
  ASSERT_TRUE(DeserializeIndex(good));

  ASSERT_FALSE(DeserializeIndex(good.substr(0, good.size() / 2)));

  // A damaged file on disk: the index is built again and the file repaired.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "garbage";
  ForgetIndexesInMemory();
  const IndexPtr rebuilt = Get(built);
  EXPECT_TRUE(built);
  EXPECT_TRUE(SameIndex(*rebuilt, *original));
  std::ifstream in(path, std::ios::binary);
  std::string repaired((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(repaired, good);
}

// Where the tables of a stored index lie in its bytes: the picture table,
// then the frame table, then a checksum for each block of 1024 records.
struct StoredTables {
  size_t pictures = 0, frames = 0, sums = 0;
};
StoredTables TablesOf(const std::string &bytes, const Mpeg2Index &index) {
  const auto blocks = [](size_t n) { return (n + 1023) / 1024; };
  StoredTables t;
  t.sums = bytes.size() - 8 * (blocks(index.pictures.size()) + blocks(index.frames.size()));
  t.frames = t.sums - ((index.frames.size() * 4 + 7) / 8 * 8);
  t.pictures = t.frames - index.pictures.size() * sizeof(IndexedPicture);
  return t;
}

// Every frame of the source over the rip equals the plain decode; the
// stored index was found wrong in use and built again once.
void ExpectRightFramesAfterOneRebuild(const SampleRip &rip) {
  auto clip = MakeMpeg2SourceFromFiles(rip.vobs, {});
  const auto reference = reelwork::testing::ReferenceDecode(rip.vobs);
  ASSERT_EQ(clip->info().frameCount, static_cast<int>(reference.size()));
  for (int n = 0; n < clip->info().frameCount; ++n)
    EXPECT_EQ(reelwork::testing::HashFrame(*clip->frame(n)), reference[static_cast<size_t>(n)]) << n;
  EXPECT_EQ(StatsOfSource(*clip).rebuilds, 1);
}

// The stored index is read in place (its tables are not copied when it is
// opened); a table damaged on disk, or stored with records that do not agree
// with one another or point past the tables, is found when first read, and
// the index is built again: no frame is ever wrong.
TEST_F(IndexCache, StoredTablesAreReadInPlaceAndCheckedWhenUsed) {
  bool built = false;
  const IndexPtr original = Get(built);
  const fs::path path = IndexCachePath(original->key);
  const std::string good = SerializeIndex(*original);
  const StoredTables at = TablesOf(good, *original);
  ForgetIndexesInMemory();
  const IndexPtr mapped = Get(built);
  EXPECT_FALSE(built);
  EXPECT_TRUE(mapped->pictures.mapped());
  EXPECT_TRUE(mapped->frames.mapped());
  EXPECT_EQ(mapped->repeatsFields, 0);
  EXPECT_TRUE(SameIndex(*mapped, *original));

  // Inconsistent tables made in memory, stored with sound checksums.
  auto spoilt = [&](auto change) {
    Mpeg2Index copy = *original;
    change(copy);
    return SerializeIndex(copy);
  };
  const std::uint32_t lastPicture = static_cast<std::uint32_t>(original->pictures.size() - 1);
  const struct {
    const char *what;
    std::string bytes;
  } cases[] = {
      {"a picture's place changed on disk",
       [&] { std::string b = good; b[at.pictures + 5 * sizeof(IndexedPicture)] ^= 0x10; return b; }()},
      {"the frame table changed on disk", [&] { std::string b = good; b[at.frames + 4 * 7] ^= 1; return b; }()},
      {"a block checksum changed on disk", [&] { std::string b = good; b[at.sums + 3] ^= 1; return b; }()},
      {"two frames swapped", spoilt([](Mpeg2Index &i) { std::swap(i.frames[10], i.frames[11]); })},
      {"a frame past the picture table", spoilt([&](Mpeg2Index &i) { i.frames[0] = lastPicture + 7; })},
      {"decoding from a picture that is no I-picture",
       spoilt([](Mpeg2Index &i) {
         std::uint32_t d = 0;
         while (i.pictures[d].type != kPictureP)
           ++d;
         i.pictures[d].seekFrom = d;
       })},
      {"a seek point after the picture", spoilt([](Mpeg2Index &i) { i.pictures[i.frames[0]].seekFrom = 40; })},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(DeserializeIndex(c.bytes)); // the full check at once finds it too
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
    ForgetIndexesInMemory();
    Get(built);
    EXPECT_FALSE(built) << "opening reads the header alone";
    ForgetIndexesInMemory();
    ExpectRightFramesAfterOneRebuild(rip_);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), good);
    ForgetIndexesInMemory();
  }

  // Through the project: a damaged first block is met while opening (the
  // first I-picture is looked up), and the index is built there and then.
  std::string damaged = good;
  damaged[at.pictures + 1] ^= 1;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
  ForgetIndexesInMemory();
  bool progress = false;
  auto project = MakeMpeg2Source(rip_.d2v.string(), [&](double) { progress = true; });
  EXPECT_TRUE(progress);
  EXPECT_EQ(project->info().frameCount, original->frameCount());
  EXPECT_EQ(reelwork::testing::HashFrame(*project->frame(3)),
            reelwork::testing::HashFrame(*MakeMpeg2SourceFromFiles(rip_.vobs, {})->frame(3)));
}

// A stored index whose file another program cuts short while the index is
// open: the tables no longer there are found missing when first read, and
// the index is built again (no fault, no frame wrong).
TEST_F(IndexCache, AStoredIndexCutShortWhileOpenIsBuiltAgain) {
  // Tables larger than the part of the file read at opening.
  SampleOptions o;
  o.seconds = 200;
  o.width = 176;
  o.height = 144;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder_.path() / "long", o);
  const IndexPtr original = GetMpeg2Index(rip.vobs, {});
  const fs::path path = IndexCachePath(original->key);
  const StoredTables at = TablesOf(SerializeIndex(*original), *original);
  ASSERT_GT(at.frames, size_t{96} << 10);
  ForgetIndexesInMemory();
  const IndexPtr stored = GetMpeg2Index(rip.vobs, {});
  ASSERT_TRUE(stored->pictures.mapped());
  fs::resize_file(path, at.pictures + 16);
  ExpectRightFramesAfterOneRebuild(rip);
}

TEST_F(IndexCache, OldIndexesAreRemovedWhenMany) {
  const fs::path folder = cache_.folder() / "reelwork";
  fs::create_directories(folder);
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
  for (int i = 0; i < 250; ++i) {
    const fs::path p = folder / ("old" + std::to_string(i) + ".mpeg2index");
    std::ofstream(p) << "x";
    fs::last_write_time(p, old + std::chrono::seconds(i));
  }
  std::ofstream(folder / "notes.txt") << "not an index";
  bool built = false;
  const IndexPtr index = Get(built);
  size_t count = 0;
  for (const auto &entry : fs::directory_iterator(folder))
    count += entry.path().extension() == ".mpeg2index";
  EXPECT_EQ(count, 200u);
  EXPECT_TRUE(fs::exists(IndexCachePath(index->key)));
  EXPECT_FALSE(fs::exists(folder / "old0.mpeg2index"));
  EXPECT_TRUE(fs::exists(folder / "old249.mpeg2index"));
  EXPECT_TRUE(fs::exists(folder / "notes.txt"));
}

TEST_F(IndexCache, ProgressRisesToOne) {
  std::vector<double> reported;
  GetMpeg2Index(rip_.vobs, [&](double f) { reported.push_back(f); });
  ASSERT_GE(reported.size(), 2u);
  EXPECT_EQ(reported.front(), 0.0);
  EXPECT_EQ(reported.back(), 1.0);
  EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
}

} // namespace
