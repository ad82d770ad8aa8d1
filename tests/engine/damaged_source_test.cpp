// Damaged VOB files open: the pictures that survive are shown once each, in
// display order, the same whether reached by seeking or by stepping; the
// frames decoded from damage are reported and every other frame is the
// undamaged rip's. Files that are no video are refused at once.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <random>

#include "engine/mpeg2_index.h"
#include "engine/mpeg2_source.h"
#include "engine/sample_media.h"
#include "damage_rules.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;
using reelwork::testing::HashFrame;

namespace {

std::string ReadAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path &p, const std::string &bytes) { std::ofstream(p, std::ios::binary) << bytes; }

// A rip of small pictures.
SampleRip TinyRip(const fs::path &folder, bool audio, double seconds = 1) {
  SampleOptions o;
  o.seconds = seconds;
  o.width = 176;
  o.height = 144;
  o.audioInVob = audio;
  return reelwork::testing::MakeTestRip(folder, o);
}

using reelwork::testing::Damage;
using reelwork::testing::Damaged;

class DamagedSource : public ::testing::TestWithParam<Damage> {
protected:
  static void SetUpTestSuite() {
    folder_ = new reelwork::testing::TempFolder;
    SampleOptions o;
    o.seconds = 8; // 200 frames in open GOPs with B-pictures
    o.grain = 2;   // large enough pictures that damage hits a few of them
    rip_ = reelwork::testing::MakeTestRip(folder_->path() / "rip", o);
    reelwork::testing::IsolatedIndexCache cache;
    auto whole = MakeMpeg2SourceFromFiles(rip_.vobs, {});
    for (int n = 0; n < whole->info().frameCount; ++n)
      wholeHashes_.push_back(HashFrame(*whole->frame(n)));
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
    wholeHashes_.clear();
  }

  void CheckDamagedCopy(const fs::path &vob) { reelwork::testing::ExpectDamageRules(vob, wholeHashes_); }

  static reelwork::testing::TempFolder *folder_;
  static SampleRip rip_;
  static std::vector<std::uint64_t> wholeHashes_;
  reelwork::testing::IsolatedIndexCache cache_;
};

reelwork::testing::TempFolder *DamagedSource::folder_ = nullptr;
SampleRip DamagedSource::rip_;
std::vector<std::uint64_t> DamagedSource::wholeHashes_;

TEST_P(DamagedSource, OpensAndKeepsEveryPictureThatSurvivesInOrder) {
  const Damage &damage = GetParam();
  const fs::path vob = folder_->path() / (std::string(damage.name) + ".VOB");
  WriteAll(vob, Damaged(ReadAll(rip_.vobs[0]), damage));
  CheckDamagedCopy(vob);
}

INSTANTIATE_TEST_SUITE_P(
    Copies, DamagedSource,
    ::testing::Values(Damage{"SectorOfZeros", 0.5, 2048, 0, 0}, Damage{"ZerosOf256KiB", 0.3, 256 * 1024, 0, 0},
                      Damage{"SlipOf37Bytes", 0.6, 0, 37, 0}, Damage{"LastBytesCut", 0, 0, 0, 1000},
                      Damage{"FirstSectorZeros", 0, 2048, 0, 0}, Damage{"Garbage", 0.45, 0, 0, 0, 5000}),
    [](const ::testing::TestParamInfo<Damage> &info) { return std::string(info.param.name); });

// The same rules wherever the damage falls: a lost sector, 256 KiB of zeros,
// a slip and a stretch of garbage at places spread over the file (more of
// them with REELWORK_DAMAGE_PLACES set).
TEST_F(DamagedSource, DamageAnywhereKeepsTheRules) {
  const char *asked = std::getenv("REELWORK_DAMAGE_PLACES");
  const int places = asked ? std::max(1, std::atoi(asked)) : 4;
  const std::string vob = ReadAll(rip_.vobs[0]);
  for (int k = 0; k < places; ++k) {
    const double at = (k + 0.37) / places;
    for (const Damage &kind : {Damage{"sector", at, 2048, 0, 0}, Damage{"256KiB", at * 0.85, 256 * 1024, 0, 0},
                               Damage{"slip", at, 0, 37, 0}, Damage{"garbage", at, 0, 0, 0, 3000}}) {
      SCOPED_TRACE(std::string(kind.name) + " at " + std::to_string(at));
      const fs::path path = folder_->path() / ("at" + std::to_string(k) + kind.name + ".VOB");
      WriteAll(path, Damaged(vob, kind));
      ForgetIndexesInMemory();
      CheckDamagedCopy(path);
      if (HasFatalFailure())
        return;
    }
  }
}

// Several damaged places in one copy, some close together, of every kind
// at random (more copies with REELWORK_DAMAGE_COPIES): the rules hold.
TEST_F(DamagedSource, ManyDamagedPlacesInOneCopyKeepTheRules) {
  const char *asked = std::getenv("REELWORK_DAMAGE_COPIES");
  const int copies = asked ? std::max(1, std::atoi(asked)) : 3;
  const std::string vob = ReadAll(rip_.vobs[0]);
  for (int seed = 1; seed <= copies; ++seed) {
    SCOPED_TRACE("copy " + std::to_string(seed));
    int places = 0;
    const std::string bytes = reelwork::testing::DamagedAtRandom(vob, static_cast<unsigned>(seed), places);
    const fs::path path = folder_->path() / ("many" + std::to_string(seed) + ".VOB");
    WriteAll(path, bytes);
    ForgetIndexesInMemory();
    reelwork::testing::ExpectDamageRules(path, wholeHashes_, 4 * places);
    if (HasFatalFailure())
      return;
  }
}

// Zeros over the sector where a picture begins take it whole: its frame is
// missing, the frames around the place are named, the rest are the rip's.
TEST_F(DamagedSource, APictureLostWholeIsNamedAndTheRestKept) {
  const std::string vob = ReadAll(rip_.vobs[0]);
  const IndexPtr whole = GetMpeg2Index(rip_.vobs, {});
  // Zeros over the sector where the picture shown as frame 100 begins.
  const IndexedPicture &target = whole->pictures[whole->frames[100]];
  std::string bytes = vob;
  const size_t sector = target.packetPos / 2048 * 2048;
  bytes.replace(sector, 2048, 2048, '\0');
  const fs::path path = folder_->path() / "AT100.VOB";
  WriteAll(path, bytes);
  CheckDamagedCopy(path);

  auto clip = MakeMpeg2SourceFromFiles({path}, {});
  const int count = clip->info().frameCount;
  EXPECT_LT(count, rip_.frames);
  EXPECT_GE(count, rip_.frames - 3); // the picture and B-pictures that would come out of order
  const auto index = IndexOfSource(*clip);
  ASSERT_EQ(index->damaged.size(), 1u);
  const FrameRange range = index->damaged.front();
  EXPECT_LE(range.first, 100);
  EXPECT_GT(range.first, 80);
  ASSERT_LT(range.last + 1, count);
  EXPECT_GT(ReadFrameNumber(*clip->frame(range.last + 1)), 100);
}

// Whether the pack at `sector` of the VOB carries video.
bool VideoPack(const std::string &vob, size_t sector) {
  if (sector + 14 >= vob.size())
    return false;
  const size_t packet = sector + 14 + (vob[sector + 13] & 7);
  return packet + 4 < vob.size() && vob.compare(packet, 4, std::string("\0\0\x01\xE0", 4)) == 0;
}

// The frame of a picture of `type` from frame `from` on whose next picture
// in decode order is (`nextIsB`) or is not a B-picture, and the file offset
// of a sector of video that lies inside its bytes, with a packet of its own
// bytes alone before it: the second sector after the one where it begins.
struct Target {
  int frame = -1;
  size_t sector = 0;
};
Target PictureAcrossASector(const Mpeg2Index &index, const std::string &vob, std::uint8_t type, bool nextIsB,
                            int from) {
  for (int n = from; n < index.frameCount(); ++n) {
    const std::uint32_t d = index.frames[static_cast<size_t>(n)];
    const IndexedPicture &pic = index.pictures[d];
    const size_t sector = pic.packetPos / 2048 * 2048 + 2 * 2048;
    if (pic.type == type && pic.size + pic.payloadOffset > 3 * 2048 + 64 && VideoPack(vob, sector - 2048) &&
        VideoPack(vob, sector) && d + 1 < index.pictures.size() && (index.pictures[d + 1].type == kPictureB) == nextIsB)
      return Target{n, sector};
  }
  return {};
}

// Damage that cuts a picture keeps it: it is decoded with what is missing
// concealed and named. A cut B-picture is the only frame that differs from
// the undamaged rip's; a cut P-picture spoils the pictures predicted from it
// up to the next group, and all of them are named. Every other frame is the
// rip's own, pixel for pixel, by stepping and by seeking.
TEST_F(DamagedSource, ACutPictureIsShownConcealedAndNamed) {
  // Pictures of several sectors each.
  SampleOptions o;
  o.seconds = 6;
  o.grain = 8;
  o.quantizer = 2;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder_->path() / "large", o);
  const std::string vob = ReadAll(rip.vobs[0]);
  const IndexPtr whole = GetMpeg2Index(rip.vobs, {});
  const int total = whole->frameCount();
  auto wholeClip = MakeMpeg2SourceFromFiles(rip.vobs, {});
  std::vector<std::uint64_t> wholeHashes;
  for (int n = 0; n < total; ++n)
    wholeHashes.push_back(HashFrame(*wholeClip->frame(n)));

  struct Case {
    const char *name;
    Target target;
    bool onlyThatFrame;
  };
  const Case cases[] = {{"B followed by a B", PictureAcrossASector(*whole, vob, kPictureB, true, 60), true},
                        {"B followed by a reference", PictureAcrossASector(*whole, vob, kPictureB, false, 110), true},
                        {"P-picture", PictureAcrossASector(*whole, vob, kPictureP, true, 80), false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GE(c.target.frame, 0) << "the rip has no such picture";
    std::string bytes = vob;
    bytes.replace(c.target.sector, 2048, 2048, '\0');
    const fs::path path = folder_->path() / (std::string(c.name) + ".VOB");
    WriteAll(path, bytes);
    auto stepping = MakeMpeg2SourceFromFiles({path}, {});
    const auto index = IndexOfSource(*stepping);
    ASSERT_EQ(stepping->info().frameCount, total);
    ASSERT_EQ(index->damaged.size(), 1u);
    const FrameRange range = index->damaged.front();
    if (c.onlyThatFrame) {
      EXPECT_EQ(range, (FrameRange{c.target.frame, c.target.frame}));
    } else {
      // The B-pictures shown before it lean on it; so does the rest of its
      // group and the next group's leading B-pictures.
      EXPECT_LT(range.first, c.target.frame);
      EXPECT_GE(range.last, c.target.frame + 2);
    }
    std::vector<std::uint64_t> hashes;
    for (int n = 0; n < total; ++n) {
      hashes.push_back(HashFrame(*stepping->frame(n)));
      if (n < range.first || n > range.last) {
        EXPECT_EQ(hashes.back(), wholeHashes[static_cast<size_t>(n)]) << "frame " << n;
      } else if (n == c.target.frame) {
        EXPECT_NE(hashes.back(), wholeHashes[static_cast<size_t>(n)]) << "the cut picture is not concealed";
      }
    }
    auto seeking = MakeMpeg2SourceFromFiles({path}, {});
    std::vector<int> order(static_cast<size_t>(total));
    for (int n = 0; n < total; ++n)
      order[static_cast<size_t>(n)] = total - 1 - n;
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    for (int n : order)
      EXPECT_EQ(HashFrame(*seeking->frame(n)), hashes[static_cast<size_t>(n)]) << "frame " << n;
  }
}

// Through a script, the damaged ranges reach the notes the window and
// `reelwork-cli info` show.
TEST_F(DamagedSource, ScriptNotesNameTheDamagedFrames) {
  std::string bytes = ReadAll(rip_.vobs[0]);
  bytes.resize(bytes.size() - 1000);
  const fs::path folder = folder_->path() / "cut";
  fs::create_directories(folder);
  WriteAll(folder / "VTS_01_1.VOB", bytes);
  WriteAll(folder / "cut.d2v", "DVD2AVIProjectFile\r\n1\r\n12 VTS_01_1.VOB\r\n");
  const fs::path script = reelwork::testing::WriteSourceScript(folder / "cut.d2v");
  auto video = ScriptVideo::open(script.string());
  const int last = video->properties().frameCount - 1;
  ASSERT_EQ(video->notes().damaged.size(), 1u);
  // The cut-off picture is dropped; the frames on both sides of it are named.
  EXPECT_EQ(video->notes().damaged.front().last, last);
  EXPECT_GE(video->notes().damaged.front().first, last - 1);
  reelwork::RgbImage image;
  video->frame(last, image); // the last frame that survives decodes
}

// The packet scan finds start codes wherever packet boundaries cut them: an
// elementary stream split into payloads of every small size gives the index
// of the stream read whole.
TEST(PacketScan, StartCodesCutByPacketBoundaries) {
  reelwork::testing::TempFolder folder;
  reelwork::testing::IsolatedIndexCache cache;
  const auto rip = TinyRip(folder.path() / "rip", false, 6);
  const IndexPtr whole = GetMpeg2Index(rip.vobs, {});

  // The video elementary stream of the sample, taken out of its packets.
  std::string es;
  {
    const std::string vob = ReadAll(rip.vobs[0]);
    size_t at = 0;
    while (at + 14 <= vob.size()) {
      if (vob.compare(at, 4, std::string("\0\0\x01\xBA", 4)) == 0) {
        at += 14 + (static_cast<unsigned char>(vob[at + 13]) & 7);
        continue;
      }
      if (static_cast<unsigned char>(vob[at + 3]) == 0xB9)
        break; // the program's end
      const size_t length = 6 + ((static_cast<unsigned char>(vob[at + 4]) << 8) | static_cast<unsigned char>(vob[at + 5]));
      if (static_cast<unsigned char>(vob[at + 3]) == 0xE0) {
        const size_t header = 9 + static_cast<unsigned char>(vob[at + 8]);
        es.append(vob, at + header, length - header);
      }
      at += length;
    }
  }
  // Packed again with payloads of 1 to 23 bytes in turn, every one in a pack.
  std::string ps;
  for (size_t at = 0, size = 1; at < es.size(); at += size, size = size % 23 + 1) {
    const size_t take = std::min(size, es.size() - at);
    ps += std::string("\0\0\x01\xBA\x44\x00\x04\x00\x04\x01\x01\x89\xC3\xF8", 14);
    const size_t length = 3 + take;
    ps += std::string("\0\0\x01\xE0", 4);
    ps += static_cast<char>(length >> 8);
    ps += static_cast<char>(length & 0xFF);
    ps += std::string("\x80\x00\x00", 3);
    ps.append(es, at, take);
  }
  ASSERT_GT(ps.size(), 320u << 10); // packets also run across the blocks the files are read in
  const fs::path path = folder.path() / "SMALL.VOB";
  WriteAll(path, ps);
  const IndexPtr small = BuildMpeg2Index({path}, IndexKey({path}), {});
  ASSERT_EQ(small->pictures.size(), whole->pictures.size());
  EXPECT_EQ(small->frames, whole->frames);
  EXPECT_TRUE(small->damaged.empty());
  for (size_t i = 0; i < whole->pictures.size(); ++i) {
    EXPECT_EQ(small->pictures[i].size, whole->pictures[i].size) << i;
    EXPECT_EQ(small->pictures[i].type, whole->pictures[i].type) << i;
  }
  // And it decodes to the same pictures.
  auto a = MakeMpeg2SourceFromFiles(rip.vobs, {});
  auto b = MakeMpeg2SourceFromFiles({path}, {});
  for (int n : {0, 1, whole->frameCount() / 2, whole->frameCount() - 1})
    EXPECT_EQ(HashFrame(*a->frame(n)), HashFrame(*b->frame(n))) << n;
}

// A folder, a named pipe or a device given as a VOB file is refused at once,
// naming it; reading a pipe would wait for ever.
TEST(SourceFiles, OnlyRegularFilesAreOpened) {
  reelwork::testing::TempFolder folder;
  reelwork::testing::IsolatedIndexCache cache;
  const fs::path pipe = folder.path() / "PIPE.VOB";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  fs::create_directories(folder.path() / "DIR.VOB");
  for (const fs::path &path : {pipe, folder.path() / "DIR.VOB", fs::path("/dev/zero")}) {
    auto attempt = std::async(std::launch::async, [path]() -> std::string {
      try {
        MakeMpeg2SourceFromFiles({path}, {});
      } catch (const EngineError &e) {
        return e.what();
      }
      return "(opened)";
    });
    if (attempt.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      std::ofstream(pipe) << ""; // let a blocked reader go before failing
      FAIL() << path << " blocked the source";
    }
    const std::string reason = attempt.get();
    EXPECT_NE(reason.find(path.string()), std::string::npos) << reason;
    EXPECT_NE(reason.find("not a video file"), std::string::npos) << reason;
  }
}

// A large file whose first megabytes hold no pack is no program stream, even
// when packs follow further on.
TEST(SourceFiles, NoPackInTheFirstMegabytesIsRefused) {
  reelwork::testing::TempFolder folder;
  reelwork::testing::IsolatedIndexCache cache;
  const auto rip = TinyRip(folder.path() / "rip", true);
  const std::string vob = ReadAll(rip.vobs[0]);
  const fs::path late = folder.path() / "LATE.VOB";
  WriteAll(late, std::string(8u << 20, 'x') + vob);
  try {
    MakeMpeg2SourceFromFiles({late}, {});
    FAIL() << "opened";
  } catch (const EngineError &e) {
    EXPECT_NE(std::string(e.what()).find("LATE.VOB is no MPEG-2 program stream (no pack header at its start)"),
              std::string::npos)
        << e.what();
  }
  // A few damaged sectors at the start are damage, not another kind of file.
  const fs::path early = folder.path() / "EARLY.VOB";
  WriteAll(early, std::string(64 * 1024, 'x') + vob);
  auto clip = MakeMpeg2SourceFromFiles({early}, {});
  EXPECT_EQ(clip->info().frameCount, rip.frames);
  EXPECT_EQ(IndexOfSource(*clip)->damaged, (std::vector<FrameRange>{{0, 0}}));
}

} // namespace
