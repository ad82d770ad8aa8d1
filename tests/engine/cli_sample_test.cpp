// reelwork-cli as other programs call it, and the sample rip it writes.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sys/wait.h>

#include "engine/sample_media.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;

namespace {

struct CliRun {
  int status = -1;
  std::string out;
};

CliRun Cli(const std::string &args, const fs::path &cache) {
  const std::string command = "XDG_CACHE_HOME='" + cache.string() + "' '" REELWORK_CLI "' " + args + " 2>&1";
  CliRun run;
  FILE *pipe = ::popen(command.c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0)
    run.out.append(buf, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Bytes(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Cli, SampleInfoAndFrame) {
  reelwork::testing::TempFolder folder, cache;
  const fs::path dir = folder.path() / "rip";
  CliRun sample = Cli("sample '" + dir.string() + "' --seconds 0.6", cache.path());
  ASSERT_EQ(sample.status, 0) << sample.out;
  std::ofstream(dir / "movie.avs") << "mpeg2source(\"VTS_01_1.d2v\")\r\n";

  const CliRun info = Cli("info '" + (dir / "movie.avs").string() + "'", cache.path());
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.out, "width=720 height=576 frames=15 fps=25/1\n");

  const CliRun ppm = Cli("frame '" + (dir / "movie.avs").string() + "' 14 '" + (folder.path() / "f.ppm").string() + "'",
                      cache.path());
  ASSERT_EQ(ppm.status, 0) << ppm.out;
  const std::string image = Bytes(folder.path() / "f.ppm");
  const std::string header = "P6\n720 576\n255\n";
  ASSERT_EQ(image.size(), header.size() + 720 * 576 * 3);
  EXPECT_EQ(image.substr(0, header.size()), header);

  const CliRun png = Cli("frame '" + (dir / "movie.avs").string() + "' 0 '" + (folder.path() / "f.png").string() + "'",
                      cache.path());
  ASSERT_EQ(png.status, 0) << png.out;
  EXPECT_EQ(Bytes(folder.path() / "f.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
}

TEST(Cli, UsageErrorsAndFailures) {
  reelwork::testing::TempFolder folder;
  EXPECT_EQ(Cli("", folder.path()).status, 2);
  EXPECT_EQ(Cli("dance", folder.path()).status, 2);
  EXPECT_EQ(Cli("info", folder.path()).status, 2);
  EXPECT_EQ(Cli("frame a.avs x out.ppm", folder.path()).status, 2);
  EXPECT_EQ(Cli("frame a.avs 1 out.bmp", folder.path()).status, 2);
  EXPECT_EQ(Cli("sample dir --seconds zero", folder.path()).status, 2);
  const CliRun missing = Cli("info '" + (folder.path() / "none.avs").string() + "'", folder.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("none.avs"), std::string::npos) << "the reason names the script: " << missing.out;
}

// The sample made for newcomers, PAL and NTSC, is a test card for the tour at
// the default settings: the interlace search finds combing and the title
// search finds where the titles start, whatever the random draws; "Find crop"
// measures the bars on dark and light frames alike; the light search lands on
// the bright scene. (Twelve seconds here; the scenes take the same shares of
// any length.)
struct TvSystem {
  const char *option;
  int frames, titleStart, bars;
};

void CheckSampleIsATestCard(const TvSystem &system) {
  reelwork::testing::TempFolder folder, cache;
  const fs::path dir = folder.path() / "rip";
  const CliRun sample = Cli("sample '" + dir.string() + "' --seconds 12" + system.option, cache.path());
  ASSERT_EQ(sample.status, 0) << sample.out;
  const std::string script = "'" + (dir / "x.avs").string() + "'";
  std::ofstream(dir / "x.avs") << "mpeg2source(\"VTS_01_1.d2v\")\r\n";
  const CliRun info = Cli("info " + script, cache.path());
  ASSERT_NE(info.out.find(" frames=" + std::to_string(system.frames) + " "), std::string::npos) << info.out;

  const std::regex interlace("frame=([0-9]+) score=([0-9]+)\n");
  for (int seed = 1; seed <= 5; ++seed) {
    const std::string seedOption = " --seed " + std::to_string(seed);
    const CliRun found = Cli("interlace " + script + seedOption, cache.path());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(found.out, m, interlace)) << "seed " << seed << ": " << found.out;
    EXPECT_GE(std::stoi(m[2]), 20) << "seed " << seed;
    EXPECT_LT(std::stoi(m[1]), system.titleStart) << "seed " << seed;

    const CliRun titles = Cli("titles " + script + seedOption, cache.path());
    EXPECT_EQ(titles.status, 0);
    EXPECT_EQ(titles.out, "titles=" + std::to_string(system.frames - system.titleStart) +
                              " start=" + std::to_string(system.titleStart) + "\n")
        << "seed " << seed;
  }

  const std::string bar = std::to_string(system.bars + 2);
  const std::string amounts = "X1=2 X2=2 Y1=" + bar + " Y2=" + bar + "\n";
  for (int frame : {system.frames / 10, system.frames / 2}) { // the dark scene, the bright one
    const CliRun crop = Cli("crop " + script + " " + std::to_string(frame), cache.path());
    EXPECT_EQ(crop.out.substr(0, crop.out.find('\n') + 1), amounts) << "frame " << frame;
  }
  const CliRun light = Cli("light " + script, cache.path());
  std::smatch m;
  ASSERT_TRUE(std::regex_match(light.out, m, std::regex("frame=([0-9]+) brightness=([0-9]+)\n"))) << light.out;
  EXPECT_GT(std::stoi(m[2]), 125);
}

// One test for each system, so that the two can run side by side.
TEST(Cli, PalSampleIsATestCardForTheSearches) { CheckSampleIsATestCard({"", 300, 240, 64}); }
TEST(Cli, NtscSampleIsATestCardForTheSearches) { CheckSampleIsATestCard({" --ntsc", 360, 288, 48}); }

// What the rest of the program reads from a rip: the VOB header at byte 2084,
// the D2V's third line, the info file's TV system and the AC3 file's name.
TEST(SampleRipFiles, LaidOutAsRippersWriteThem) {
  reelwork::testing::TempFolder folder;
  SampleOptions o;
  o.ntsc = true;
  o.seconds = 0.3;
  const SampleRip rip = WriteSampleRip(folder.path(), o);
  const std::string vob = Bytes(folder.path() / "VTS_01_1.VOB");
  ASSERT_GT(vob.size(), 2092u);
  EXPECT_EQ(vob.substr(2084, 4), std::string("\0\0\x01\xB3", 4));
  const auto b = [&](size_t i) { return static_cast<unsigned char>(vob[2088 + i]); };
  EXPECT_EQ(b(0) * 16 + (b(1) >> 4), 720);
  EXPECT_EQ((b(1) & 0x0F) * 256 + b(2), 480);
  EXPECT_EQ(b(3) >> 4, 2); // 4:3
  EXPECT_EQ(vob.size() % 2048, 0u);

  std::ifstream d2v(rip.d2v);
  std::string line1, line2, line3;
  std::getline(d2v, line1);
  std::getline(d2v, line2);
  std::getline(d2v, line3);
  EXPECT_EQ(line1, "DVD2AVIProjectFile\r");
  EXPECT_EQ(line2, "1\r");
  const std::string path = fs::absolute(rip.vobs[0]).string();
  EXPECT_EQ(line3, std::to_string(path.size()) + " " + path + "\r");

  EXPECT_NE(rip.info.filename().string().find("Info"), std::string::npos);
  EXPECT_EQ(rip.info.extension(), ".txt");
  EXPECT_NE(Bytes(rip.info).find("TV system: NTSC"), std::string::npos);
  EXPECT_NE(rip.ac3.filename().string().find("448Kbps"), std::string::npos);
  EXPECT_EQ(Bytes(rip.ac3).substr(0, 2), "\x0B\x77");
}

} // namespace
