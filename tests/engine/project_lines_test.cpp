// Projects Reelwork made, opened from their own data lines: the same frames
// as the plain list of their VOB files, without a scan of the files, and the
// full index where a line does not describe the files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <regex>
#include <sys/wait.h>

#include "engine/d2v_writer.h"
#include "engine/mpeg2_source.h"
#include "engine/video.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;
using reelwork::testing::HashFrame;
using reelwork::testing::TempFolder;

namespace {

std::string Read(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Shell(const std::string &command) {
  const int raw = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// A project naming the VOBs alone: the engine indexes all of them.
fs::path PlainProject(const fs::path &d2v, const std::vector<fs::path> &vobs) {
  std::string text = "DGIndexProjectFile16\r\n" + std::to_string(vobs.size()) + "\r\n";
  for (const auto &vob : vobs)
    text += fs::absolute(vob).string() + "\r\n";
  std::ofstream(d2v, std::ios::binary) << text;
  return d2v;
}

size_t StoredIndexes(const fs::path &cache) {
  size_t count = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(cache, ec), end; !ec && it != end; it.increment(ec))
    count += it->path().extension() == ".mpeg2index";
  return count;
}

std::vector<std::uint64_t> AllFrames(Clip &clip, const std::vector<int> &order) {
  std::vector<std::uint64_t> hashes(static_cast<size_t>(clip.info().frameCount));
  for (int n : order)
    hashes[static_cast<size_t>(n)] = HashFrame(*clip.frame(n));
  return hashes;
}

// Frame numbers in the order a user reaches them: stepping forwards, then
// seeking at random, then stepping backwards.
std::vector<int> VisitOrder(int count) {
  std::vector<int> order;
  for (int n = 0; n < count; ++n)
    order.push_back(n);
  std::mt19937 random(7);
  for (int i = 0; i < count / 2; ++i)
    order.push_back(static_cast<int>(random() % static_cast<unsigned>(count)));
  for (int n = count - 1; n >= 0; n -= 3)
    order.push_back(n);
  return order;
}

// Writes the project for the VOBs and opens it, then the plain list of the
// VOBs: the same frames, count, rate and field order; the project opened
// without a scan of the files (no progress, no index made) and located only
// the groups it decoded.
void ExpectSameAsTheVobList(const fs::path &folder, const std::vector<fs::path> &vobs, D2vWriteOptions options = {}) {
  reelwork::testing::IsolatedIndexCache cache;
  const fs::path d2v = folder / "made.d2v";
  const D2vSummary summary = WriteD2vProject(d2v, vobs, options);
  bool scanned = false;
  const ClipPtr lines = MakeMpeg2Source(d2v.string(), [&](double) { scanned = true; });
  EXPECT_FALSE(scanned);
  const SourceStats opened = StatsOfSource(*lines);
  EXPECT_GE(opened.groupsLocated, 1) << "opened from its lines";
  EXPECT_LE(opened.groupsLocated, 2) << "the first and the last group alone";

  PlainProject(folder / "plain.d2v", vobs);
  if (options.fieldOperation != 0)
    std::ofstream(folder / "plain.d2v", std::ios::app | std::ios::binary)
        << "\r\nField_Operation=" << options.fieldOperation << "\r\n";
  const ClipPtr plain = MakeMpeg2Source((folder / "plain.d2v").string(), {});
  const ClipInfo &a = lines->info(), &b = plain->info();
  ASSERT_EQ(a.frameCount, b.frameCount);
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  EXPECT_EQ(a.rateNum, b.rateNum);
  EXPECT_EQ(a.rateDen, b.rateDen);
  EXPECT_EQ(a.parity, b.parity);
  const auto order = VisitOrder(a.frameCount);
  const std::vector<std::uint64_t> expected = AllFrames(*plain, VisitOrder(b.frameCount));
  // Only the plain list's opening made an index; the project's did not.
  EXPECT_EQ(StoredIndexes(cache.folder()), 1u);
  fs::remove_all(cache.folder() / "reelwork");
  ForgetIndexesInMemory();
  EXPECT_EQ(AllFrames(*lines, order), expected);
  const SourceStats after = StatsOfSource(*lines);
  EXPECT_EQ(after.rebuilds, 0);
  EXPECT_EQ(after.groupsLocated, summary.gops) << "every group decoded was located once";
  EXPECT_EQ(StoredIndexes(cache.folder()), 0u) << "no full index was made";
}

TEST(ProjectLines, TwoVobTitleCutInsideOpenGops) {
  TempFolder folder;
  SampleOptions options;
  options.seconds = 2;
  options.vobCount = 2;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder.path() / "rip", options);
  ExpectSameAsTheVobList(folder.path(), rip.vobs);

  // Where an index of the files is kept from before, it serves the project.
  reelwork::testing::IsolatedIndexCache cache;
  GetMpeg2Index(rip.vobs, {});
  ForgetIndexesInMemory();
  bool scanned = false;
  const ClipPtr clip = MakeMpeg2Source((folder.path() / "made.d2v").string(), [&](double) { scanned = true; });
  EXPECT_FALSE(scanned);
  EXPECT_EQ(StatsOfSource(*clip).groupsLocated, 0);
  EXPECT_TRUE(IndexOfSource(*clip)->pictures.mapped());
}

TEST(ProjectLines, PulldownFilmShownByFlagsAndAsForcedFilm) {
  TempFolder folder;
  SampleOptions options;
  options.softPulldown = true;
  options.seconds = 1.5;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder.path() / "film", options);
  ExpectSameAsTheVobList(folder.path(), rip.vobs);
  D2vWriteOptions force;
  force.fieldOperation = 1;
  ExpectSameAsTheVobList(folder.path(), rip.vobs, force);
}

TEST(ProjectLines, ClosedGopInterlacedNtscAndABareVideoStream) {
  TempFolder folder;
  for (const std::string &args :
       {std::string("-target ntsc-dvd -s 352x240 -bf 2 -flags +cgop+ildct+ilme -g 12 -sc_threshold 1000000000"),
        std::string("-target pal-dvd -s 352x288 -bf 2 -f mpeg2video")}) {
    SCOPED_TRACE(args);
    const fs::path out = folder.path() / (args.find("mpeg2video") != std::string::npos ? "bare.m2v" : "ntsc.mpg");
    ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=25 -t 2 " + args + " -an '" +
                  out.string() + "'"),
              0);
    ExpectSameAsTheVobList(folder.path(), {out});
  }
}

TEST(ProjectLines, AuthoredDvd) {
  if (Shell("command -v dvdauthor") != 0)
    GTEST_SKIP() << "dvdauthor is not installed";
  TempFolder folder;
  std::vector<fs::path> parts;
  for (const char *name : {"a.mpg", "b.mpg"}) {
    parts.push_back(folder.path() / name);
    ASSERT_EQ(Shell(std::string("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=25 -t 1.5 ") +
                  "-target pal-dvd -s 352x288 -bf 2 -aspect 16:9 -an '" + parts.back().string() + "'"),
              0);
  }
  const fs::path disc = folder.path() / "disc";
  ASSERT_EQ(Shell("VIDEO_FORMAT=PAL dvdauthor -o '" + disc.string() + "' -t -c 0,0.5,1 '" + parts[0].string() + "' '" +
                parts[1].string() + "'"),
            0);
  ExpectSameAsTheVobList(folder.path(), {disc / "VIDEO_TS" / "VTS_01_1.VOB"});
}

// A project whose lines do not describe the files is never shown wrong:
// one opened from its lines falls back to the full index when a group's
// line turns out wrong, and one the checks at opening refuse is opened
// from the full index at once.
TEST(ProjectLines, WrongLinesFallBackToTheFullIndex) {
  reelwork::testing::IsolatedIndexCache cache;
  TempFolder folder;
  SampleOptions options;
  options.seconds = 3;
  options.vobCount = 2;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder.path() / "rip", options);
  const fs::path made = folder.path() / "made.d2v";
  WriteD2vProject(made, rip.vobs);
  const std::string text = Read(made);
  const ClipPtr plain = MakeMpeg2Source(PlainProject(folder.path() / "plain.d2v", rip.vobs).string(), {});
  const int count = plain->info().frameCount;
  std::vector<int> order(static_cast<size_t>(count));
  for (int n = 0; n < count; ++n)
    order[static_cast<size_t>(n)] = n;
  const std::vector<std::uint64_t> expected = AllFrames(*plain, order);

  // The data lines and their positions.
  std::vector<std::pair<size_t, size_t>> positions; // where each line's position is in the text
  const std::regex line("([0-9a-f]+ [0-9]+ [0-9]+ )([0-9]+)( [0-9]+ [0-9]+ [0-9]+ [0-9a-f ]+)\r\n");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it)
    positions.emplace_back(static_cast<size_t>(it->position(2)), static_cast<size_t>(it->length(2)));
  ASSERT_GE(positions.size(), 5u);
  const auto withPosition = [&](size_t k, const std::string &value) {
    std::string changed = text;
    changed.replace(positions[k].first, positions[k].second, value);
    return changed;
  };
  const auto positionOf = [&](size_t k) { return std::stoull(text.substr(positions[k].first, positions[k].second)); };
  const size_t middle = positions.size() / 2;

  struct Case {
    const char *what;
    std::string text;
    bool fromLines;     // opened from its lines
    bool fullIndexMade; // the full index was needed (at opening, or when the wrong line was met)
  } cases[] = {
      {"a middle line a pack too far", withPosition(middle, std::to_string(positionOf(middle) + 2048)), true, true},
      // Decoding from a pack earlier meets the same pictures: nothing wrong is shown.
      {"a middle line a pack too early", withPosition(middle, std::to_string(positionOf(middle) - 2048)), true, false},
      {"a middle line at the next one's place", withPosition(middle, std::to_string(positionOf(middle + 1))), false,
       true},
      {"the last line past its file", withPosition(positions.size() - 1, "999999999"), false, true},
      {"lines made for part of the files",
       std::regex_replace(text, std::regex("Location=0,0,1,[0-9A-F]+"), "Location=0,0,1,2"), false, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ForgetIndexesInMemory();
    fs::remove_all(cache.folder() / "reelwork");
    const fs::path d2v = folder.path() / "wrong.d2v";
    std::ofstream(d2v, std::ios::binary | std::ios::trunc) << c.text;
    bool scanned = false;
    const ClipPtr clip = MakeMpeg2Source(d2v.string(), [&](double) { scanned = true; });
    EXPECT_EQ(scanned, !c.fromLines);
    ASSERT_EQ(clip->info().frameCount, count);
    EXPECT_EQ(AllFrames(*clip, order), expected);
    EXPECT_EQ(StoredIndexes(cache.folder()), c.fullIndexMade ? 1u : 0u);
  }

  // Lines that promise other fields than the files hold: the frames of the
  // wrong group are refused, never shown with the promised fields; the
  // frames of the other groups are still served.
  {
    ForgetIndexesInMemory();
    fs::remove_all(cache.folder() / "reelwork");
    std::string changed = text;
    const size_t at = positions[middle].first + positions[middle].second;
    // Past skip, vob and cell to the first flag.
    const size_t flags = changed.find(' ', changed.find(' ', changed.find(' ', at + 1) + 1) + 1) + 1;
    changed[flags + 1] = changed[flags + 1] == '2' ? '0' : '2'; // the first picture's top field first
    const fs::path d2v = folder.path() / "fields.d2v";
    std::ofstream(d2v, std::ios::binary) << changed;
    const ClipPtr clip = MakeMpeg2Source(d2v.string(), {});
    EXPECT_EQ(HashFrame(*clip->frame(0)), expected[0]);
    int refused = 0;
    for (int n = 0; n < count; ++n) {
      try {
        EXPECT_EQ(HashFrame(*clip->frame(n)), expected[static_cast<size_t>(n)]) << n;
      } catch (const EngineError &e) {
        ++refused;
        EXPECT_NE(std::string(e.what()).find("what the project's data lines list"), std::string::npos) << e.what();
      }
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(refused, 30) << "the wrong group's frames and those leaning on it";
  }

  // A file changed after the project was made: the lines are not trusted.
  {
    ForgetIndexesInMemory();
    fs::last_write_time(rip.vobs[1], fs::last_write_time(made) + std::chrono::seconds(10));
    bool scanned = false;
    const ClipPtr clip = MakeMpeg2Source(made.string(), [&](double) { scanned = true; });
    EXPECT_TRUE(scanned);
    EXPECT_EQ(AllFrames(*clip, order), expected);
  }
}

// A project made from a damaged rip: the groups the damage spoils are found
// when decoded. When the full index of the files gives the frames the lines
// promised, it serves them (the frames decoded from damage named); else the
// frames needing a spoilt group are refused. Every other frame is served,
// each the picture its line lists (sample pictures show their own number).
TEST(ProjectLines, DamagedRipServesEveryGroupItCan) {
  reelwork::testing::IsolatedIndexCache cache;
  TempFolder folder;
  SampleOptions options;
  options.seconds = 6;
  options.grain = 2; // large pictures, so that the damage hits a few of them
  const SampleRip rip = reelwork::testing::MakeTestRip(folder.path() / "rip", options);
  std::string vob = Read(rip.vobs[0]);
  const size_t sector = vob.size() / 2 / 2048 * 2048;
  vob.replace(sector, 64 * 1024, 64 * 1024, '\0');
  std::ofstream(rip.vobs[0], std::ios::binary | std::ios::trunc) << vob;
  const fs::path d2v = folder.path() / "damaged.d2v";
  WriteD2vProject(d2v, rip.vobs);

  bool scanned = false;
  const ClipPtr clip = MakeMpeg2Source(d2v.string(), [&](double) { scanned = true; });
  EXPECT_FALSE(scanned) << "the first and last groups are whole";
  const int count = clip->info().frameCount;
  std::vector<int> shown(static_cast<size_t>(count), -1); // -1: refused
  int refused = 0;
  for (int n = 0; n < count; ++n) {
    try {
      shown[static_cast<size_t>(n)] = ReadFrameNumber(*clip->frame(n));
    } catch (const EngineError &) {
      ++refused;
    }
  }
  const std::vector<FrameRange> named = DamagedFramesOf(*clip);
  EXPECT_TRUE(refused > 0 || !named.empty()) << "the spoilt group is met";
  EXPECT_LT(refused, 40) << "the spoilt group's frames and those leaning on it alone";
  int last = -1;
  for (int n = 0; n < count; ++n) {
    const bool isNamed = std::any_of(named.begin(), named.end(), [n](const FrameRange &r) {
      return r.first <= n && n <= r.last;
    });
    if (isNamed || shown[static_cast<size_t>(n)] < 0)
      continue;
    EXPECT_GT(shown[static_cast<size_t>(n)], last) << "frame " << n << " is a picture out of place or spoilt";
    last = shown[static_cast<size_t>(n)];
  }
  EXPECT_EQ(last, rip.frames - 1) << "the frames after the damage are served";
}


// A project opened from its data lines meets damage only when it decodes the
// group; once the full index of its files serves the project, the script's
// notes name the damaged frames.
TEST(ProjectLines, DamageFoundWhileDecodingJoinsTheNotes) {
  reelwork::testing::IsolatedIndexCache cache;
  TempFolder folder;
  SampleOptions options;
  options.seconds = 6;
  options.grain = 2;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder.path() / "rip", options);
  const std::string vob = Read(rip.vobs[0]);
  // A lost sector inside a picture, none lost whole: the full index then
  // gives the frames the lines promise.
  std::string damaged;
  for (size_t sector = vob.size() / 2 / 2048 * 2048; sector + 2048 < vob.size() && damaged.empty(); sector += 2048) {
    std::string copy = vob;
    copy.replace(sector, 2048, 2048, '\0');
    std::ofstream(rip.vobs[0], std::ios::binary | std::ios::trunc) << copy;
    reelwork::testing::IsolatedIndexCache probe;
    const IndexPtr index = GetMpeg2Index(rip.vobs, {});
    if (index->frameCount() == rip.frames && !index->damaged.empty())
      damaged = copy;
  }
  ASSERT_FALSE(damaged.empty()) << "no sector lies inside a picture";
  ForgetIndexesInMemory();
  const fs::path d2v = folder.path() / "damaged.d2v";
  WriteD2vProject(d2v, rip.vobs);

  const auto video = ScriptVideo::open(reelwork::testing::WriteSourceScript(d2v).string());
  EXPECT_TRUE(video->notes().damaged.empty()) << "no scan at opening";
  reelwork::RgbImage image;
  for (int n = 0; n < video->properties().frameCount; ++n)
    video->frame(n, image);
  EXPECT_FALSE(video->notes().damaged.empty());
}

} // namespace
