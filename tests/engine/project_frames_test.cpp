// Projects as users bring them: the frames a project's data lines list, the
// numbering of an open first group, sources whose picture size changes, and
// projects written on Windows (Windows-1251 names, Windows paths, a
// byte-order mark) opened through their scripts.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/d2v.h"
#include "engine/mpeg2_source.h"
#include "engine/project_frames.h"
#include "engine/sample_media.h"
#include "engine/video.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;
using reelwork::testing::IsolatedIndexCache;
using reelwork::testing::MakeTestRip;
using reelwork::testing::TempFolder;

namespace {

void Write(const fs::path &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string Read(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int NumberShown(Clip &clip, int n) {
  const FramePtr frame = clip.frame(n);
  return ReadFrameNumber(*frame);
}

// Decode indexes of the I-pictures: where the groups of pictures start.
std::vector<std::uint32_t> GroupStarts(const Mpeg2Index &index) {
  std::vector<std::uint32_t> starts;
  for (std::uint32_t d = 0; d < index.pictures.size(); ++d)
    if (index.pictures[d].type == kPictureI)
      starts.push_back(d);
  return starts;
}

// A format-16 project listing groups [first, last] of a one-file rip, each
// group at the start of the pack holding its I-picture.
std::string ProjectOfGroups(const std::string &vob, const Mpeg2Index &index, size_t first, size_t last) {
  const auto starts = GroupStarts(index);
  std::ostringstream d2v;
  d2v << "DGIndexProjectFile16\r\n1\r\n" << vob << "\r\n\r\nStream_Type=1\r\nMPEG_Type=2\r\n"
      << "Picture_Size=352x288\r\nField_Operation=0\r\nFrame_Rate=25000 (25/1)\r\nLocation=0,0,0,0\r\n\r\n";
  for (size_t g = first; g <= last; ++g) {
    const std::uint32_t end = g + 1 < starts.size() ? starts[g + 1] : static_cast<std::uint32_t>(index.pictures.size());
    d2v << (g == 0 ? "f00" : "b00") << " 5 0 " << index.pictures[starts[g]].packetPos / 2048 * 2048 << " 0 0 0";
    for (std::uint32_t d = starts[g]; d < end; ++d)
      d2v << (d == starts[g] ? " d2" : " 92");
    if (g == last)
      d2v << " ff";
    d2v << "\r\n";
  }
  d2v << "\r\nFINISHED  100.00% VIDEO\r\n";
  return d2v.str();
}

class ProjectFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    folder_ = new TempFolder;
    SampleOptions o;
    o.seconds = 4;
    rip_ = MakeTestRip(folder_->path() / "rip", o);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static IndexPtr IndexOfRip() { return IndexOfSource(*MakeMpeg2SourceFromFiles(rip_.vobs, {})); }

  static TempFolder *folder_;
  static SampleRip rip_;
  IsolatedIndexCache cache_;
};

TempFolder *ProjectFrames::folder_ = nullptr;
SampleRip ProjectFrames::rip_;

TEST_F(ProjectFrames, ARangeSelectedProjectServesOnlyItsGroups) {
  const IndexPtr index = IndexOfRip();
  const auto starts = GroupStarts(*index);
  ASSERT_GE(starts.size(), 6u);
  const fs::path d2v = folder_->path() / "rip" / "part.d2v";
  Write(d2v, ProjectOfGroups(rip_.vobs[0].filename().string(), *index, 2, 4));

  ClipPtr clip = MakeMpeg2Source(d2v.string(), {});
  const int listed = static_cast<int>(starts[5] - starts[2]);
  ASSERT_EQ(clip->info().frameCount, listed);
  // The listed groups start with the two B-pictures of an open group, which
  // the project's readers cannot decode from its position: they show its
  // I-picture; the frames after follow on.
  const int intra = static_cast<int>(index->pictures[starts[2]].frame);
  EXPECT_EQ(NumberShown(*clip, 0), intra);
  EXPECT_EQ(NumberShown(*clip, 1), intra);
  EXPECT_EQ(NumberShown(*clip, 2), intra);
  EXPECT_EQ(NumberShown(*clip, 3), intra + 1);
  // The last frame is the last picture of the last listed group.
  EXPECT_EQ(NumberShown(*clip, listed - 1), static_cast<int>(index->pictures[starts[5]].frame) - 3);

  // From the first group on, the project serves the whole video as before.
  Write(d2v, ProjectOfGroups(rip_.vobs[0].filename().string(), *index, 0, starts.size() - 1));
  clip = MakeMpeg2Source(d2v.string(), {});
  EXPECT_EQ(clip->info().frameCount, rip_.frames);
  EXPECT_EQ(NumberShown(*clip, 0), 0);
  EXPECT_EQ(NumberShown(*clip, rip_.frames - 1), rip_.frames - 1);
}

TEST_F(ProjectFrames, AProjectOfOtherFilesIsRefusedWithTheReason) {
  const IndexPtr index = IndexOfRip();
  std::string text = ProjectOfGroups(rip_.vobs[0].filename().string(), *index, 1, 2);
  // The first group's position moved past the video's end.
  const size_t at = text.find("b00 5 0 ") + 8;
  text.replace(at, text.find(' ', at) - at, "999999999");
  const fs::path d2v = folder_->path() / "rip" / "other.d2v";
  Write(d2v, text);
  try {
    MakeMpeg2Source(d2v.string(), {});
    FAIL() << "opened";
  } catch (const EngineError &e) {
    EXPECT_NE(std::string(e.what()).find("does not belong to these files"), std::string::npos) << e.what();
  }
}

// A rip cut at the start of its second group: its first group is open, and
// its two leading B-pictures lean on a group that is not there.
TEST_F(ProjectFrames, TheLeadingPicturesOfAnOpenFirstGroupCountAsFrames) {
  const IndexPtr index = IndexOfRip();
  const auto starts = GroupStarts(*index);
  const std::uint64_t cut = index->pictures[starts[1]].packetPos / 2048 * 2048;
  const fs::path folder = folder_->path() / "cut";
  fs::create_directories(folder);
  Write(folder / "VTS_01_1.VOB", Read(rip_.vobs[0]).substr(cut));
  Write(folder / "cut.d2v", "DVD2AVIProjectFile\r\n1\r\nVTS_01_1.VOB\r\n\r\nField_Operation=0\r\n");

  // The engine's own decode drops them, as a plain decode does.
  const auto plain = MakeMpeg2SourceFromFiles({folder / "VTS_01_1.VOB"}, {});
  const int intra = static_cast<int>(index->pictures[starts[1]].frame);
  const int decodable = rip_.frames - intra;
  ASSERT_EQ(plain->info().frameCount, decodable);
  EXPECT_EQ(reelwork::testing::ReferenceDecode({folder / "VTS_01_1.VOB"}).size(), static_cast<size_t>(decodable));

  // The project numbers them: frame 2 is the I-picture, as the encoder gets it.
  ClipPtr clip = MakeMpeg2Source((folder / "cut.d2v").string(), {});
  ASSERT_EQ(clip->info().frameCount, decodable + 2);
  for (int n : {0, 1, 2})
    EXPECT_EQ(NumberShown(*clip, n), intra) << n;
  for (int n : {3, 10, decodable + 1})
    EXPECT_EQ(NumberShown(*clip, n), intra + n - 2) << n;
  // Reached backwards, by seeking, the same pictures.
  EXPECT_EQ(NumberShown(*clip, 1), intra);
  EXPECT_EQ(NumberShown(*clip, 5), intra + 3);
}

TEST_F(ProjectFrames, APictureSizeChangeDecodesEveryFrameAtTheFirstSize) {
  const fs::path folder = folder_->path() / "sizes";
  SampleOptions small;
  small.seconds = 1.2;
  small.width = 176;
  small.height = 144;
  const SampleRip second = MakeTestRip(folder / "second", small);
  fs::create_directories(folder / "VIDEO_TS");
  fs::copy_file(rip_.vobs[0], folder / "VIDEO_TS" / "VTS_01_1.VOB");
  fs::copy_file(second.vobs[0], folder / "VIDEO_TS" / "VTS_01_2.VOB");
  Write(folder / "both.d2v",
        "DVD2AVIProjectFile\r\n2\r\nVIDEO_TS\\VTS_01_1.VOB\r\nVIDEO_TS\\VTS_01_2.VOB\r\n\r\n");

  ClipPtr clip = MakeMpeg2Source((folder / "both.d2v").string(), {});
  ASSERT_EQ(clip->info().frameCount, rip_.frames + second.frames);
  EXPECT_EQ(clip->info().width, 352);
  EXPECT_EQ(clip->info().height, 288);
  // In order, then each frame on its own, backwards: every frame decodes.
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < clip->info().frameCount; ++i) {
      const int n = pass == 0 ? i : clip->info().frameCount - 1 - i;
      FramePtr frame;
      ASSERT_NO_THROW(frame = clip->frame(n)) << "frame " << n;
      EXPECT_EQ(frame->width, 352);
      if (n < rip_.frames) {
        EXPECT_EQ(ReadFrameNumber(*frame), n);
      }
    }
  }
  // A picture of the second size stands at the top left, the rest black.
  const auto alone = MakeMpeg2SourceFromFiles({folder / "VIDEO_TS" / "VTS_01_2.VOB"}, {});
  const FramePtr alonePicture = alone->frame(5), shown = clip->frame(rip_.frames + 5);
  for (int y = 0; y < 144; y += 7)
    ASSERT_EQ(0, std::memcmp(shown->row(0, y), alonePicture->row(0, y), 176)) << "row " << y;
  EXPECT_EQ(shown->row(0, 200)[300], 16);
  EXPECT_EQ(shown->row(0, 10)[200], 16);
}

// A project written on Windows by a Russian user: names in Windows-1251,
// the script naming the project by a Windows path, the project naming the
// VOBs by theirs, names in other capitals than on disk.
TEST_F(ProjectFrames, AWindowsProjectWithCyrillicNamesOpensThroughItsScript) {
  const fs::path folder = folder_->path() / "Фильмы" / "Мой фильм";
  fs::create_directories(folder / "video_ts");
  fs::copy_file(rip_.vobs[0], folder / "video_ts" / "vts_01_1.vob");
  // The script names "ФИЛЬМ.D2V" in Windows-1251.
  const std::string filmCaps = "\xD4\xC8\xCB\xDC\xCC";
  Write(folder / "фильм.d2v",
        "DGIndexProjectFile16\r\n1\r\n24 D:\\MOVIE\\VIDEO_TS\\VTS_01_1.VOB\r\n\r\nStream_Type=1\r\n\r\n");
  Write(folder / "фильм.avs", "mpeg2source(\"D:\\MOVIE\\" + filmCaps + ".D2V\")\r\n");
  auto video = ScriptVideo::open((folder / "фильм.avs").string());
  EXPECT_EQ(video->properties().frameCount, rip_.frames);

  // The same project in UTF-8 with a byte-order mark, named in the script as
  // a relative Windows path.
  Write(folder / "фильм.d2v", "\xEF\xBB\xBF" "DVD2AVIProjectFile\r\n1\r\nvideo_ts\\VTS_01_1.VOB\r\n\r\n");
  Write(folder / "script.avs", "\xEF\xBB\xBFmpeg2source(\"" + std::string("Фильм") + ".d2v\")\r\n");
  video = ScriptVideo::open((folder / "script.avs").string());
  EXPECT_EQ(video->properties().frameCount, rip_.frames);
}

} // namespace

// Damage reported for a range-selected project is numbered as the project
// numbers its frames, not as the whole files do: a user types these numbers
// into Trim lines.
TEST(ProjectDamage, StoredRangesAreRenumberedAndCutToTheProjectsFrames) {
  ProjectFrameMap map;
  map.lead = 2;   // frames 0 and 1 show stored frame 50, as frame 2 does
  map.start = 50;
  map.count = 30; // stored frames 50..77
  EXPECT_EQ(MapDamageToProject(map, {{10, 20}}), std::vector<FrameRange>{});      // before the project
  EXPECT_EQ(MapDamageToProject(map, {{90, 95}}), std::vector<FrameRange>{});      // after it
  EXPECT_EQ(MapDamageToProject(map, {{49, 50}}), (std::vector<FrameRange>{{0, 2}})); // the leading frames too
  EXPECT_EQ(MapDamageToProject(map, {{60, 61}, {62, 63}, {77, 200}}),
            (std::vector<FrameRange>{{12, 15}, {29, 29}})); // joined where they touch, cut at the end
}

TEST_F(ProjectFrames, DamageInARangeSelectedProjectIsNumberedAsItsFrames) {
  std::string bytes = Read(rip_.vobs[0]);
  bytes.resize(bytes.size() - 1000); // the last picture is cut off
  const fs::path folder = folder_->path() / "cutpart";
  fs::create_directories(folder);
  Write(folder / "CUT.VOB", bytes);
  const IndexPtr index = IndexOfSource(*MakeMpeg2SourceFromFiles({folder / "CUT.VOB"}, {}));
  ASSERT_EQ(index->damaged.size(), 1u);
  const auto starts = GroupStarts(*index);
  ASSERT_GE(starts.size(), 4u);
  Write(folder / "part.d2v", ProjectOfGroups("CUT.VOB", *index, 2, starts.size() - 1));

  ClipPtr clip = MakeMpeg2Source((folder / "part.d2v").string(), {});
  const int last = clip->info().frameCount - 1;
  ASSERT_LT(last, index->frameCount() - 1);
  // The cut-off picture is the project's last: the frames beside it are named.
  const std::vector<FrameRange> named = DamagedFramesOf(*clip);
  ASSERT_EQ(named.size(), 1u);
  EXPECT_EQ(named.front().last, last);
  EXPECT_GE(named.front().first, last - 1);
}

// Film with pulldown in a range-selected project, damaged inside the range:
// the damage is reported in the frames the project shows, 30 a second woven
// from its own stored frames, not from the whole video's.
TEST(ProjectDamage, PulldownFilmInARangeSelectedProjectReportsItsShownFrames) {
  IsolatedIndexCache cache;
  TempFolder folder;
  SampleOptions o;
  o.softPulldown = true;
  o.seconds = 6;
  o.width = 352;
  o.height = 240;
  const SampleRip rip = MakeTestRip(folder.path() / "rip", o);
  const std::string clean = Read(rip.vobs[0]);
  // The frames of a weave of the stored frames from `from` on with a field
  // from stored frames first..last: each stored frame gives two fields,
  // three with a repeated one, and shown frame f is made of fields 2f and
  // 2f + 1.
  const auto woven = [](const Mpeg2Index &index, int from, int first, int last) {
    std::vector<int> owners;
    for (int stored = from; stored < index.frameCount(); ++stored) {
      const bool repeat = index.pictures[index.frames[static_cast<size_t>(stored)]].fields & kRepeatFirstField;
      owners.insert(owners.end(), repeat ? 3u : 2u, stored);
    }
    std::vector<FrameRange> ranges;
    for (int f = 0; 2 * f + 1 < static_cast<int>(owners.size()); ++f) {
      const int a = owners[static_cast<size_t>(2 * f)], b = owners[static_cast<size_t>(2 * f + 1)];
      if (std::max(a, b) < first || std::min(a, b) > last)
        continue;
      if (!ranges.empty() && ranges.back().last == f - 1)
        ranges.back().last = f;
      else
        ranges.push_back(FrameRange{f, f});
    }
    return ranges;
  };
  // A sector of zeros where the weave of a project from the second group and
  // the whole video's weave differ around the damage.
  IndexPtr index;
  std::vector<std::uint32_t> starts;
  int first = 0;
  std::vector<FrameRange> expected;
  for (int percent = 60; percent < 80 && !index; ++percent) {
    std::string bytes = clean;
    bytes.replace(bytes.size() * static_cast<size_t>(percent) / 100 / 2048 * 2048, 2048, 2048, '\0');
    Write(folder.path() / "FILM.VOB", bytes);
    IndexPtr damaged = IndexOfSource(*MakeMpeg2SourceFromFiles({folder.path() / "FILM.VOB"}, {}));
    starts = GroupStarts(*damaged);
    if (damaged->damaged.size() != 1 || starts.size() < 4)
      continue;
    first = static_cast<int>(damaged->pictures[starts[1]].frame);
    const FrameRange d = damaged->damaged.front();
    expected = woven(*damaged, first, d.first, d.last);
    if (expected != woven(*damaged, 0, d.first - first, d.last - first))
      index = damaged;
  }
  ASSERT_TRUE(index) << "no place found for the damage";
  ASSERT_FALSE(expected.empty());
  Write(folder.path() / "part.d2v", ProjectOfGroups("FILM.VOB", *index, 1, starts.size() - 1));
  ClipPtr clip = MakeMpeg2Source((folder.path() / "part.d2v").string(), {});
  ASSERT_GT(clip->info().frameCount, index->frameCount() - first) << "pulldown shown";
  EXPECT_EQ(DamagedFramesOf(*clip), expected);
}
