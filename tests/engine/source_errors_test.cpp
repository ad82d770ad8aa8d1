// Sources that cannot be opened are refused with a reason; frames that cannot
// be decoded fail cleanly. Under the sanitizers a crash or a read past a
// buffer fails these tests too.

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "engine/mpeg2_index.h"
#include "engine/mpeg2_source.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;

namespace {

class SourceErrors : public ::testing::Test {
protected:
  void SetUp() override {
    SampleOptions o;
    o.seconds = 2;
    rip_ = reelwork::testing::MakeTestRip(folder_.path(), o);
  }

  std::string OpenError(const fs::path &d2v) {
    try {
      MakeMpeg2Source(d2v.string(), {});
    } catch (const EngineError &e) {
      return e.what();
    }
    return "(opened)";
  }

  fs::path Project(const std::string &name, const std::vector<std::string> &files) {
    std::string text = "DVD2AVIProjectFile\r\n" + std::to_string(files.size()) + "\r\n";
    for (const auto &f : files)
      text += std::to_string(f.size()) + " " + f + "\r\n";
    const fs::path path = folder_.path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  std::string Bytes(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  reelwork::testing::TempFolder folder_;
  reelwork::testing::IsolatedIndexCache cache_;
  SampleRip rip_;
};

#define EXPECT_REASON(text, part) EXPECT_NE((text).find(part), std::string::npos) << (text)

TEST_F(SourceErrors, MissingProjectOrVideoFile) {
  EXPECT_REASON(OpenError(folder_.path() / "absent.d2v"), "mpeg2source: cannot find the project file");
  EXPECT_REASON(OpenError(Project("a.d2v", {"D:\\RIP\\VTS_02_1.VOB"})), "cannot find the video file");
  std::ofstream(folder_.path() / "empty.d2v") << "DVD2AVIProjectFile\r\n0\r\n";
  EXPECT_REASON(OpenError(folder_.path() / "empty.d2v"), "lists no video files");
}

TEST_F(SourceErrors, FilesThatHoldNoMpeg2Video) {
  std::ofstream(folder_.path() / "TEXT.VOB") << "This is a text file, not a video.\n";
  EXPECT_REASON(OpenError(Project("t.d2v", {"TEXT.VOB"})), "TEXT.VOB is no MPEG-2 program stream");
  std::ofstream(folder_.path() / "ZERO.VOB");
  EXPECT_REASON(OpenError(Project("z.d2v", {"ZERO.VOB"})), "is empty");
  // A program stream with no video in it: only the navigation pack.
  const std::string vob = Bytes(rip_.vobs[0]);
  std::ofstream(folder_.path() / "NAV.VOB", std::ios::binary) << vob.substr(0, 2048);
  EXPECT_REASON(OpenError(Project("n.d2v", {"NAV.VOB"})), "holds no MPEG-2 video");
}

// A cut-off file and random bytes over two sectors are damage: the video
// opens with the damaged place named, and every frame of it decodes.
TEST_F(SourceErrors, TruncatedAndCorruptStreamsOpenWithTheDamageNamed) {
  const std::string vob = Bytes(rip_.vobs[0]);
  std::ofstream(folder_.path() / "CUT.VOB", std::ios::binary) << vob.substr(0, vob.size() / 2 + 1000);
  std::string damaged = vob;
  std::mt19937 random(3);
  for (size_t i = 0; i < 4096; ++i)
    damaged[vob.size() / 3 / 2048 * 2048 + i] = static_cast<char>(random());
  std::ofstream(folder_.path() / "BAD.VOB", std::ios::binary) << damaged;
  for (const char *name : {"CUT.VOB", "BAD.VOB"}) {
    auto clip = MakeMpeg2SourceFromFiles({folder_.path() / name}, {});
    const int count = clip->info().frameCount;
    EXPECT_LE(count, rip_.frames) << name;
    EXPECT_GT(count, rip_.frames / 4) << name;
    EXPECT_FALSE(IndexOfSource(*clip)->damaged.empty()) << name;
    for (int n = 0; n < count; ++n)
      EXPECT_TRUE(clip->frame(n)) << name << " frame " << n;
  }
}

TEST_F(SourceErrors, FramesOfFilesChangedAfterOpeningFailCleanly) {
  auto clip = MakeMpeg2SourceFromFiles(rip_.vobs, {});
  const int count = clip->info().frameCount;
  fs::resize_file(rip_.vobs[0], fs::file_size(rip_.vobs[0]) / 2);
  try {
    clip->frame(count - 1);
    FAIL() << "a frame past the end of the shrunken file was delivered";
  } catch (const EngineError &e) {
    EXPECT_REASON(std::string(e.what()), "cannot be read");
  }
  // The clip stays usable for what is still there.
  EXPECT_TRUE(clip->frame(0));
  EXPECT_THROW(clip->frame(count), EngineError);
  EXPECT_THROW(clip->frame(-1), EngineError);
}

// Garbage inside the pictures (packets intact, so the index still matches):
// every frame is either delivered or refused, and the access after a refusal
// still works.
TEST_F(SourceErrors, DamagedPicturesNeverCrash) {
  auto clip = MakeMpeg2SourceFromFiles(rip_.vobs, {});
  const auto index = IndexOfSource(*clip);
  std::string vob = Bytes(rip_.vobs[0]);
  std::mt19937 random(11);
  for (const auto &pic : index->pictures) {
    // Scribble over the middle of each pack's payload (never the headers).
    const size_t pack = pic.packetPos / 2048 * 2048;
    for (size_t i = pack + 600; i < pack + 1800 && i < vob.size(); ++i)
      vob[i] = static_cast<char>(random());
  }
  std::ofstream(rip_.vobs[0], std::ios::binary | std::ios::trunc) << vob;
  int delivered = 0, refused = 0;
  for (int n = clip->info().frameCount - 1; n >= 0; n -= 3) {
    try {
      delivered += clip->frame(n) ? 1 : 0;
    } catch (const EngineError &e) {
      ++refused;
      EXPECT_REASON(std::string(e.what()), "mpeg2source: frame");
    }
  }
  EXPECT_GT(delivered + refused, 0);
}

// Random damage anywhere in a VOB: the opening either succeeds or gives a
// reason, and so does every frame asked for afterwards. (Damage to the packets
// is stepped over, so nearly every copy opens.)
TEST(SourceFuzz, DamagedVobsAreOpenedOrRefusedCleanly) {
  reelwork::testing::TempFolder folder;
  reelwork::testing::IsolatedIndexCache cache;
  SampleOptions o;
  o.seconds = 1;
  o.width = 176;
  o.height = 144;
  const auto rip = reelwork::testing::MakeTestRip(folder.path() / "rip", o);
  std::ifstream in(rip.vobs[0], std::ios::binary);
  const std::string vob((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::mt19937 random(2718);
  int opened = 0, refused = 0;
  for (int i = 0; i < 60; ++i) {
    std::string bytes = vob;
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits; ++e) {
      const size_t at = random() % bytes.size();
      switch (random() % 4) {
      case 0: bytes[at] = static_cast<char>(random()); break;                       // one byte
      case 1: bytes[at] ^= static_cast<char>(1 << (random() % 8)); break;           // one bit
      case 2: bytes.replace(at, std::min<size_t>(16, bytes.size() - at), 16, '\0'); break; // a run of zeros
      case 3: bytes.insert(at, bytes.substr(random() % bytes.size(), 1 + random() % 64)); break;
      }
    }
    std::string name = "M"; // (built in steps: GCC 12 warns wrongly about "M" + std::to_string(i))
    name += std::to_string(i);
    name += ".VOB";
    const fs::path path = folder.path() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    try {
      auto clip = MakeMpeg2SourceFromFiles({path}, {});
      ++opened;
      const int count = clip->info().frameCount;
      for (int n : {count - 1, 0, count / 2, count / 2 + 1}) {
        try {
          clip->frame(n);
        } catch (const EngineError &e) {
          EXPECT_EQ(std::string(e.what()).rfind("mpeg2source: ", 0), 0u) << e.what();
        }
      }
    } catch (const EngineError &e) {
      ++refused;
      EXPECT_EQ(std::string(e.what()).rfind("mpeg2source: ", 0), 0u) << e.what();
    }
  }
  EXPECT_GT(opened, 50);
  RecordProperty("opened", opened);
  RecordProperty("refused", refused);
}

} // namespace
