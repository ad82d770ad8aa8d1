// Rips that Reelwork's own sample maker and FFmpeg did not write: video
// encoded by mjpegtools' mpeg2enc and multiplexed by its mplex for DVD,
// checked picture by picture against libmpeg2 (mpeg2dec), a decoder that
// shares no code with the engine's.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "damage_rules.h"
#include "engine/d2v_writer.h"
#include "engine/mpeg2_source.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;
using reelwork::testing::IsolatedIndexCache;
using reelwork::testing::TempFolder;

namespace {

std::string Run(const std::string &command, int *status) {
  std::string out;
  FILE *pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    *status = -1;
    return out;
  }
  char buf[1 << 16];
  for (size_t n; (n = std::fread(buf, 1, sizeof(buf), pipe)) > 0;)
    out.append(buf, n);
  const int raw = ::pclose(pipe);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

bool HaveTools() {
  int status = 0;
  Run("command -v mpeg2enc && command -v mplex && command -v mpeg2dec && command -v ffmpeg", &status);
  return status == 0;
}

// `seconds` of FFmpeg's moving test picture at `size` and `rate`, encoded by
// mpeg2enc with `encoder` options and multiplexed by mplex as a DVD title.
// The elementary stream mplex was given stays beside it as NAME.m2v.
fs::path MakeTitle(const fs::path &folder, const std::string &name, const std::string &size, const std::string &rate,
                   double seconds, const std::string &encoder) {
  const fs::path m2v = folder / (name + ".m2v");
  const fs::path vob = folder / (name + ".vob");
  int status = 0;
  Run("ffmpeg -loglevel error -f lavfi -i testsrc2=size=" + size + ":rate=" + rate + " -t " + std::to_string(seconds) +
          " -pix_fmt yuv420p -f yuv4mpegpipe - | mpeg2enc -v 0 -f 8 " + encoder + " -o '" + m2v.string() +
          "' 2>&1 && mplex -v 0 -f 8 -o '" + vob.string() + "' '" + m2v.string() + "' 2>&1",
      &status);
  EXPECT_EQ(status, 0) << name;
  return vob;
}

// A decoded picture as libmpeg2 writes it: the luma rows, then each chroma
// row with its U half and its V half side by side.
struct Picture {
  int width = 0, height = 0;
  std::string bytes;

  // Mean absolute difference from `f` over all three planes, from row
  // `first` on every `step`th row (2 for one field).
  double distance(const Frame &f, int first = 0, int step = 1) const {
    if (f.width != width || f.height != height || f.format != PixelFormat::YV12)
      return 1e9;
    double sum = 0;
    size_t count = 0;
    const auto add = [&](const char *ours, const std::uint8_t *theirs, int n) {
      for (int x = 0; x < n; ++x)
        sum += std::abs(static_cast<int>(static_cast<unsigned char>(ours[x])) - theirs[x]);
      count += static_cast<size_t>(n);
    };
    for (int y = first; y < height; y += step)
      add(bytes.data() + static_cast<size_t>(y) * width, f.row(0, y), width);
    const int cw = width / 2;
    for (int y = first; y < height / 2; y += step) {
      const char *row = bytes.data() + static_cast<size_t>(height + y) * width;
      add(row, f.row(1, y), cw);
      add(row + cw, f.row(2, y), cw);
    }
    return sum / static_cast<double>(count);
  }
};

// Two decoders may round the inverse DCT differently (the standard allows
// it), so a picture is "the same" when it is within a fraction of a level on
// average of the other decoder's, and far nearer to it than to its
// neighbours: the test picture moves between frames.
void ExpectSamePicture(const std::vector<Picture> &reference, size_t n, const Frame &f) {
  const double here = reference[n].distance(f);
  EXPECT_LT(here, 0.5) << "frame " << n;
  for (size_t other : {n - 1, n + 1}) {
    if (other < reference.size()) {
      EXPECT_LT(here * 4 + 0.1, reference[other].distance(f)) << "frame " << n << " against " << other;
    }
  }
}

// Every picture libmpeg2 decodes from the files, read as one stream.
// (libmpeg2's own demultiplexer loses the last picture of some of mplex's
// VOBs, so whole titles are checked against the elementary stream.)
std::vector<Picture> Libmpeg2Decode(const std::vector<fs::path> &files) {
  std::string names;
  for (const auto &f : files)
    names += " '" + f.string() + "'";
  int status = 0;
  const std::string out = Run("cat" + names + " | mpeg2dec -o pgmpipe 2>/dev/null", &status);
  EXPECT_EQ(status, 0);
  std::vector<Picture> pictures;
  size_t at = 0;
  while (at < out.size()) {
    int w = 0, h = 0, consumed = 0;
    if (std::sscanf(out.c_str() + at, "P5\n%d %d\n255\n%n", &w, &h, &consumed) != 2 || consumed == 0)
      break;
    at += static_cast<size_t>(consumed);
    const size_t size = static_cast<size_t>(w) * h;
    if (at + size > out.size())
      break;
    pictures.push_back(Picture{w, h * 2 / 3, out.substr(at, size)});
    at += size;
  }
  return pictures;
}

// The engine's frames of `clip`, stepped through in order.
std::vector<FramePtr> Frames(Clip &clip) {
  std::vector<FramePtr> frames;
  for (int n = 0; n < clip.info().frameCount; ++n)
    frames.push_back(clip.frame(n));
  return frames;
}

// Frames reached by seeking in a random order are those reached by stepping.
void ExpectSeeksAgree(Clip &clip, const std::vector<FramePtr> &stepped, unsigned seed) {
  std::vector<int> order(stepped.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = static_cast<int>(i);
  std::shuffle(order.begin(), order.end(), std::mt19937(seed));
  order.resize(std::min<size_t>(order.size(), 40));
  for (int n : order)
    EXPECT_EQ(reelwork::testing::HashFrame(*clip.frame(n)), reelwork::testing::HashFrame(*stepped[n])) << "frame " << n;
}

void CutInTwo(const fs::path &vob, const fs::path &a, const fs::path &b, size_t at) {
  std::ifstream in(vob, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(a, std::ios::binary) << bytes.substr(0, at);
  std::ofstream(b, std::ios::binary) << bytes.substr(at);
}

// A progressive PAL title with open groups of pictures and B-pictures: the
// engine's frames are libmpeg2's, byte for byte, in display order, whether
// stepped through, reached by seeking, read from one VOB or from the title
// cut in two inside a group, or served by the project Reelwork writes for it.
TEST(ForeignEncoder, MjpegToolsDvdTitleIsLibmpeg2sPictures) {
  if (!HaveTools())
    GTEST_SKIP() << "mjpegtools, mpeg2dec or ffmpeg is not installed";
  IsolatedIndexCache cache;
  TempFolder folder;
  const fs::path vob = MakeTitle(folder.path(), "title", "352x288", "25", 3, "-a 3 -g 6 -G 12 -R 2");
  const std::vector<Picture> reference = Libmpeg2Decode({folder.path() / "title.m2v"});
  ASSERT_EQ(reference.size(), 75u);

  const auto source = MakeMpeg2SourceFromFiles({vob}, {});
  ASSERT_EQ(source->info().frameCount, 75);
  EXPECT_EQ(source->info().rateNum, 25);
  EXPECT_EQ(source->info().rateDen, 1);
  const std::vector<FramePtr> stepped = Frames(*source);
  for (size_t n = 0; n < reference.size(); ++n)
    ExpectSamePicture(reference, n, *stepped[n]);
  ExpectSeeksAgree(*source, stepped, 1);

  // The same title as two VOBs, cut at a sector in the middle of a group.
  const size_t size = fs::file_size(vob);
  const size_t cut = (size / 2 / 2048) * 2048 + 2048 * 3;
  const fs::path a = folder.path() / "VTS_01_1.VOB", b = folder.path() / "VTS_01_2.VOB";
  CutInTwo(vob, a, b, cut);
  const auto joined = MakeMpeg2SourceFromFiles({a, b}, {});
  ASSERT_EQ(joined->info().frameCount, 75);
  for (int n = 74; n >= 0; n -= 3)
    ExpectSamePicture(reference, static_cast<size_t>(n), *joined->frame(n));

  // The project Reelwork writes for the two VOBs serves the same pictures,
  // also when opened afresh with no index kept anywhere.
  const fs::path d2v = folder.path() / "title.d2v";
  WriteD2vProject(d2v, {a, b}, {}, {});
  IsolatedIndexCache fresh;
  const ClipPtr project = MakeMpeg2Source(d2v.string(), {});
  ASSERT_EQ(project->info().frameCount, 75);
  for (size_t n = 0; n < reference.size(); ++n)
    ExpectSamePicture(reference, n, *project->frame(static_cast<int>(n)));
}

// Film encoded at 23.976 with mpeg2enc's 3:2 pulldown flags: the stored
// pictures are libmpeg2's, and the project shows them at 29.97 with every
// shown frame woven from two stored pictures' fields, in their order.
TEST(ForeignEncoder, MjpegToolsPulldownFilmIsWovenFromLibmpeg2sPictures) {
  if (!HaveTools())
    GTEST_SKIP() << "mjpegtools, mpeg2dec or ffmpeg is not installed";
  IsolatedIndexCache cache;
  TempFolder folder;
  const fs::path vob =
      MakeTitle(folder.path(), "VTS_01_1", "352x480", "24000/1001", 2, "-n n -F 4 -p -a 2 -g 6 -G 12 -R 2");
  const std::vector<Picture> reference = Libmpeg2Decode({folder.path() / "VTS_01_1.m2v"});
  ASSERT_EQ(reference.size(), 48u);

  const auto stored = MakeMpeg2SourceFromFiles({vob}, {});
  ASSERT_EQ(stored->info().frameCount, 48);
  for (int n = 0; n < 48; ++n)
    ExpectSamePicture(reference, static_cast<size_t>(n), *stored->frame(n));

  const fs::path d2v = folder.path() / "film.d2v";
  WriteD2vProject(d2v, {vob}, {}, {});
  const ClipPtr shown = MakeMpeg2Source(d2v.string(), {});
  ASSERT_EQ(shown->info().frameCount, 60); // four pictures become five frames
  EXPECT_EQ(shown->info().rateNum, 30000);
  EXPECT_EQ(shown->info().rateDen, 1001);
  size_t top = 0, bottom = 0; // the stored pictures the fields come from, never going back
  for (int n = 0; n < 60; ++n) {
    const FramePtr f = shown->frame(n);
    // The field's source: the nearest of the next stored pictures.
    const auto from = [&](size_t &at, int firstRow) {
      size_t best = at;
      for (size_t p = at; p < reference.size() && p <= at + 2; ++p)
        if (reference[p].distance(*f, firstRow, 2) < reference[best].distance(*f, firstRow, 2))
          best = p;
      at = best;
      return reference[best].distance(*f, firstRow, 2) < 0.5;
    };
    EXPECT_TRUE(from(top, 0)) << "top field of frame " << n;
    EXPECT_TRUE(from(bottom, 1)) << "bottom field of frame " << n;
  }
  EXPECT_EQ(top, 47u);
  EXPECT_EQ(bottom, 47u);
}

// A sector of zeros in the middle of the title, as a ripper writes for one it
// could not read: the title opens with about as many frames as libmpeg2
// shows; the frames before the damage and after the reported range are
// libmpeg2's pictures of the whole title, and seeking agrees with stepping.
TEST(ForeignEncoder, MjpegToolsTitleWithALostSectorOpens) {
  if (!HaveTools())
    GTEST_SKIP() << "mjpegtools, mpeg2dec or ffmpeg is not installed";
  IsolatedIndexCache cache;
  TempFolder folder;
  const fs::path vob = MakeTitle(folder.path(), "title", "352x288", "25", 3, "-a 2 -g 6 -G 12 -R 2");
  const std::vector<Picture> whole = Libmpeg2Decode({folder.path() / "title.m2v"});
  ASSERT_EQ(whole.size(), 75u);
  {
    std::fstream f(vob, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(fs::file_size(vob) / 2 / 2048 * 2048));
    const std::string zeros(2048, '\0');
    f.write(zeros.data(), 2048);
  }
  const std::vector<Picture> damaged = Libmpeg2Decode({vob});

  // libmpeg2 shows the damaged pictures with what it could not decode
  // patched over, and so does the engine.
  const auto source = MakeMpeg2SourceFromFiles({vob}, {});
  const int count = source->info().frameCount;
  EXPECT_NEAR(count, static_cast<int>(damaged.size()), 2);
  EXPECT_LT(count, 75);
  const std::vector<FrameRange> ranges = DamagedFramesOf(*source);
  ASSERT_FALSE(ranges.empty());
  const std::vector<FramePtr> stepped = Frames(*source);
  const int lost = 75 - count;
  for (int n = 0; n < count; ++n) {
    if (n < ranges.front().first)
      ExpectSamePicture(whole, static_cast<size_t>(n), *stepped[n]);
    else if (n > ranges.back().last)
      ExpectSamePicture(whole, static_cast<size_t>(n + lost), *stepped[n]);
  }
  ExpectSeeksAgree(*source, stepped, 2);
}

// Copies of `vob` damaged at `places` places spread over it, and copies
// damaged at several places at once, each held to the rules the engine's
// own rips are held to (more with REELWORK_DAMAGE_PLACES and
// REELWORK_DAMAGE_COPIES).
void ExpectDamageAnywhereKeepsTheRules(const fs::path &vob, int places) {
  std::vector<std::uint64_t> whole;
  {
    const auto source = MakeMpeg2SourceFromFiles({vob}, {});
    for (int n = 0; n < source->info().frameCount; ++n)
      whole.push_back(reelwork::testing::HashFrame(*source->frame(n)));
  }
  std::ifstream in(vob, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (const char *asked = std::getenv("REELWORK_DAMAGE_PLACES"))
    places = std::max(1, std::atoi(asked));
  for (int k = 0; k < places; ++k) {
    const double at = (k + 0.61) / places;
    for (const reelwork::testing::Damage &kind :
         {reelwork::testing::Damage{"sector", at, 2048, 0, 0}, reelwork::testing::Damage{"64KiB", at, 64 * 1024, 0, 0},
          reelwork::testing::Damage{"slip", at, 0, 37, 0}, reelwork::testing::Damage{"garbage", at, 0, 0, 0, 3000}}) {
      SCOPED_TRACE(std::string(kind.name) + " at " + std::to_string(at));
      const fs::path path = vob.parent_path() / ("at" + std::to_string(k) + kind.name + ".vob");
      std::ofstream(path, std::ios::binary) << reelwork::testing::Damaged(bytes, kind);
      reelwork::testing::ExpectDamageRules(path, whole);
      if (::testing::Test::HasFatalFailure())
        return;
    }
  }
  const char *copies = std::getenv("REELWORK_DAMAGE_COPIES");
  for (int seed = 1, n = copies ? std::max(1, std::atoi(copies)) : 2; seed <= n; ++seed) {
    SCOPED_TRACE("copy damaged at random " + std::to_string(seed));
    int damaged = 0;
    const fs::path path = vob.parent_path() / ("many" + std::to_string(seed) + ".vob");
    std::ofstream(path, std::ios::binary) << reelwork::testing::DamagedAtRandom(bytes, static_cast<unsigned>(seed), damaged);
    reelwork::testing::ExpectDamageRules(path, whole, 4 * damaged);
    if (::testing::Test::HasFatalFailure())
      return;
  }
}

TEST(ForeignEncoder, MjpegToolsTitleDamagedAnywhere) {
  if (!HaveTools())
    GTEST_SKIP() << "mjpegtools, mpeg2dec or ffmpeg is not installed";
  IsolatedIndexCache cache;
  TempFolder folder;
  ExpectDamageAnywhereKeepsTheRules(MakeTitle(folder.path(), "title", "352x288", "25", 6, "-a 2 -g 6 -G 12 -R 2"), 3);
}

// NTSC film stored at 24 pictures a second with pulldown flags: the stored
// pictures keep the rules (the time stamps step by one and a half frames
// every other picture).
TEST(ForeignEncoder, MjpegToolsPulldownFilmDamagedAnywhere) {
  if (!HaveTools())
    GTEST_SKIP() << "mjpegtools, mpeg2dec or ffmpeg is not installed";
  IsolatedIndexCache cache;
  TempFolder folder;
  fs::create_directories(folder.path() / "film");
  ExpectDamageAnywhereKeepsTheRules(
      MakeTitle(folder.path() / "film", "VTS_01_1", "352x480", "24000/1001", 6, "-n n -F 4 -p -a 2 -g 6 -G 12 -R 2"),
      2);
}

// FFmpeg's own DVD muxer with closed groups of 15 and three B-pictures in a
// run, authored by dvdauthor (navigation packs between the video packs).
TEST(ForeignEncoder, AuthoredFfmpegTitleDamagedAnywhere) {
  int status = 0;
  ::Run("command -v ffmpeg && command -v dvdauthor", &status);
  if (status != 0)
    GTEST_SKIP() << "ffmpeg or dvdauthor is not installed";
  IsolatedIndexCache cache;
  TempFolder folder;
  const fs::path muxed = folder.path() / "muxed.vob", disc = folder.path() / "disc";
  ::Run("ffmpeg -v error -f lavfi -i testsrc2=size=352x288:rate=25 -t 6 -c:v mpeg2video -b:v 4M -maxrate 8M "
      "-bufsize 1835k -bf 3 -g 15 -flags +cgop -sc_threshold 1000000000 -f dvd '" +
          muxed.string() + "' 2>&1 && VIDEO_FORMAT=PAL dvdauthor -o '" + disc.string() + "' -t '" + muxed.string() +
          "' 2>&1",
      &status);
  ASSERT_EQ(status, 0);
  ExpectDamageAnywhereKeepsTheRules(disc / "VIDEO_TS" / "VTS_01_1.VOB", 3);
}

} // namespace
