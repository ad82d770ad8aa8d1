// Projects made from VOB files: read back by a reader written from the
// published format, checked picture by picture against ffprobe's view of the
// stream and against the navigation packs, and opened by the engine.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <sys/wait.h>

#include "common/text_codec.h"
#include "engine/d2v_writer.h"
#include "engine/dvd_folder.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;
using reelwork::testing::TempFolder;

namespace {

// ---------------------------------------------------------------------------
// The format as its manual describes it.

struct DataLine {
  int info = 0, matrix = 0, file = 0, skip = 0, vob = 0, cell = 0;
  std::uint64_t position = 0;
  std::vector<int> flags;
};

struct Project {
  std::vector<std::string> files;
  std::vector<std::string> keys; // settings in order
  std::map<std::string, std::string> settings;
  std::vector<DataLine> lines;
  std::string finished;
};

Project ReadProject(const std::string &text) {
  std::vector<std::string> rows;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "a line without CR LF: " << text.substr(at);
      break;
    }
    rows.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  size_t i = 0;
  const auto next = [&]() -> std::string { return i < rows.size() ? rows[i++] : (ADD_FAILURE() << "too short", ""); };
  Project p;
  EXPECT_EQ(next(), "DGIndexProjectFile16");
  const int count = std::stoi(next());
  for (int k = 0; k < count; ++k)
    p.files.push_back(next());
  EXPECT_EQ(next(), "");
  for (std::string row = next(); !row.empty(); row = next()) {
    const size_t eq = row.find('=');
    EXPECT_NE(eq, std::string::npos) << row;
    p.keys.push_back(row.substr(0, eq));
    p.settings[row.substr(0, eq)] = row.substr(eq + 1);
  }
  bool ended = false;
  for (std::string row = next(); !row.empty(); row = next()) {
    EXPECT_FALSE(ended) << "a data line after the end of the stream";
    std::istringstream in(row);
    DataLine d;
    std::string info, flag;
    in >> info >> d.matrix >> d.file >> d.position >> d.skip >> d.vob >> d.cell;
    EXPECT_FALSE(in.fail()) << row;
    d.info = std::stoi(info, nullptr, 16);
    EXPECT_EQ(d.info & 0x8FF, 0x800) << row; // bit 11 set, reserved bits clear
    while (in >> flag) {
      EXPECT_FALSE(ended) << row;
      if (flag == "ff") {
        ended = true;
        continue;
      }
      const int f = std::stoi(flag, nullptr, 16);
      EXPECT_EQ(flag.size(), 2u);
      EXPECT_EQ(f & 0x0C, 0) << row;
      EXPECT_GE((f >> 4) & 3, 1) << row;
      d.flags.push_back(f);
    }
    EXPECT_EQ(std::count_if(d.flags.begin(), d.flags.end(), [](int f) { return (f & 0x30) == 0x10; }), 1) << row;
    p.lines.push_back(d);
  }
  EXPECT_TRUE(ended) << "no ff after the last picture";
  p.finished = next();
  EXPECT_TRUE(std::regex_match(p.finished, std::regex("FINISHED [0-9]{1,3}\\.[0-9]{2}% FILM"))) << p.finished;
  EXPECT_EQ(i, rows.size());
  const std::vector<std::string> keys = {"Stream_Type", "MPEG_Type",      "iDCT_Algorithm",  "YUVRGB_Scale",
                                         "Luminance_Filter", "Clipping", "Aspect_Ratio",   "Picture_Size",
                                         "Field_Operation", "Frame_Rate", "Location"};
  EXPECT_EQ(p.keys, keys);
  return p;
}

std::vector<int> AllFlags(const Project &p) {
  std::vector<int> all;
  for (const auto &line : p.lines)
    all.insert(all.end(), line.flags.begin(), line.flags.end());
  return all;
}

// ---------------------------------------------------------------------------
// Media and independent views of it.

std::string Shell(const std::string &command, int *status = nullptr) {
  std::string out;
  FILE *pipe = ::popen(command.c_str(), "r");
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof(buf), pipe)) > 0;)
    out.append(buf, n);
  const int raw = ::pclose(pipe);
  if (status)
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

fs::path Encode(const fs::path &folder, const std::string &name, const std::string &args) {
  const fs::path out = folder / name;
  int status = 0;
  Shell("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=25 -t 1.5 " + args + " -an '" + out.string() +
          "' 2>&1",
      &status);
  EXPECT_EQ(status, 0) << args;
  return out;
}

// Type letter, top field first, repeat first field and progressive, per
// decoded picture in display order, as ffprobe sees the files read as one.
std::vector<std::string> Probe(const std::vector<fs::path> &files) {
  std::string url = "concat:";
  for (size_t i = 0; i < files.size(); ++i) {
    if (i)
      url += '|';
    url += files[i].string();
  }
  const std::string out = Shell("ffprobe -v error -select_streams v:0 -show_entries "
                              "frame=pict_type,interlaced_frame,top_field_first,repeat_pict -of compact=p=0 '" +
                              url + "'");
  std::vector<std::string> frames;
  std::istringstream in(out);
  std::smatch m;
  const std::regex form("pict_type=(.)\\|interlaced_frame=(.)\\|top_field_first=(.)\\|repeat_pict=(.).*");
  for (std::string row; std::getline(in, row);)
    if (std::regex_match(row, m, form))
      frames.push_back(m[1].str() + m[3].str() + m[4].str() + (m[2] == "1" ? "0" : "1"));
  return frames;
}

std::vector<std::string> AsProbed(const std::vector<int> &flags) {
  std::vector<std::string> frames;
  for (int f : flags)
    frames.push_back(std::string(1, "?IPB"[(f >> 4) & 3]) + ((f & 2) ? "1" : "0") + ((f & 1) ? "1" : "0") +
                     ((f & 0x40) ? "1" : "0"));
  return frames;
}

// Every frame the engine gives for a script over the project.
std::vector<reelwork::RgbImage> EngineFrames(const fs::path &d2v) {
  const fs::path script = reelwork::testing::WriteSourceScript(d2v, d2v.stem().string() + ".avs");
  auto video = ScriptVideo::open(script.string());
  std::vector<reelwork::RgbImage> frames(static_cast<size_t>(video->properties().frameCount));
  for (size_t n = 0; n < frames.size(); ++n)
    video->frame(static_cast<int>(n), frames[n]);
  return frames;
}

// The project checked against the stream: one line per I-picture, the flags
// as ffprobe sees the pictures, every position at a pack, and the engine's
// frames those of the plain list of the files.
Project CheckAgainstStream(const fs::path &d2v, const std::vector<fs::path> &vobs, const D2vSummary &summary) {
  std::ifstream in(d2v, std::ios::binary);
  const Project p = ReadProject(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  EXPECT_EQ(p.files.size(), vobs.size());
  for (size_t i = 0; i < vobs.size() && i < p.files.size(); ++i)
    EXPECT_EQ(p.files[i], fs::absolute(vobs[i]).lexically_normal().string());
  const auto probed = Probe(vobs);
  EXPECT_EQ(AsProbed(AllFlags(p)), probed);
  EXPECT_EQ(static_cast<long>(p.lines.size()), std::count_if(probed.begin(), probed.end(), [](auto &f) { return f[0] == 'I'; }));
  EXPECT_EQ(summary.pictures, static_cast<int>(probed.size()));
  EXPECT_EQ(summary.gops, static_cast<int>(p.lines.size()));
  for (const auto &line : p.lines) {
    std::ifstream vob(vobs.at(static_cast<size_t>(line.file)), std::ios::binary);
    vob.seekg(static_cast<std::streamoff>(line.position));
    char head[4] = {};
    vob.read(head, 4);
    // A pack in a program stream, the sequence header in a bare video stream.
    const char *start = p.settings.at("Stream_Type") == "0" ? "\0\0\1\xB3" : "\0\0\1\xBA";
    EXPECT_EQ(std::string(head, 4), std::string(start, 4)) << "line at " << line.position;
  }
  std::string plain = "DGIndexProjectFile16\r\n" + std::to_string(vobs.size()) + "\r\n";
  for (const auto &vob : vobs)
    plain += fs::absolute(vob).string() + "\r\n";
  const fs::path plainD2v = d2v.parent_path() / "plain-list.d2v";
  std::ofstream(plainD2v, std::ios::binary) << plain;
  EXPECT_EQ(EngineFrames(d2v), EngineFrames(plainD2v));
  return p;
}

Project WriteAndCheck(const fs::path &d2v, const std::vector<fs::path> &vobs, D2vSummary *summary = nullptr) {
  const D2vSummary written = WriteD2vProject(d2v, vobs);
  if (summary)
    *summary = written;
  return CheckAgainstStream(d2v, vobs, written);
}

// ---------------------------------------------------------------------------

TEST(D2vWriter, TwoVobTitleCutInsideAnOpenGop) {
  reelwork::testing::IsolatedIndexCache cache;
  TempFolder folder;
  SampleOptions options;
  options.seconds = 2;
  options.vobCount = 2;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder.path() / "rip", options);
  const Project p = WriteAndCheck(folder.path() / "title.d2v", rip.vobs);

  EXPECT_EQ(p.settings.at("Stream_Type"), "1");
  EXPECT_EQ(p.settings.at("MPEG_Type"), "2");
  EXPECT_EQ(p.settings.at("Picture_Size"), "352x288");
  EXPECT_EQ(p.settings.at("Aspect_Ratio"), "4:3");
  EXPECT_EQ(p.settings.at("Frame_Rate"), "25000 (25/1)");
  EXPECT_EQ(p.settings.at("Field_Operation"), "0");
  EXPECT_EQ(p.finished, "FINISHED 0.00% FILM");
  const auto lastSectors = (fs::file_size(rip.vobs[1]) - 1) / 2048;
  char location[64];
  std::snprintf(location, sizeof(location), "0,0,1,%llX", static_cast<unsigned long long>(lastSectors));
  EXPECT_EQ(p.settings.at("Location"), location);
  ASSERT_GE(p.lines.size(), 3u);
  EXPECT_EQ(p.lines.back().file, 1) << "the second VOB holds GOPs of its own";
  // The first group is closed; later ones are open: their leading B-pictures
  // are shown before the I-picture and need the group before.
  EXPECT_EQ(p.lines[0].info, 0xD00 | (p.lines[0].info & 0x200));
  for (size_t i = 1; i < p.lines.size(); ++i) {
    const auto &flags = p.lines[i].flags;
    EXPECT_EQ(p.lines[i].info & 0x500, 0x100);
    ASSERT_GE(flags.size(), 3u);
    EXPECT_EQ(flags[0] & 0xB0, 0x30);
    EXPECT_EQ(flags[1] & 0xB0, 0x30);
    EXPECT_EQ(flags[2] & 0xB0, 0x90);
  }

  // The second VOB alone starts inside a group: the pictures before its
  // first I-picture have no line to go in, and the engine skips them too.
  const fs::path tail = folder.path() / "tail.d2v";
  const D2vSummary cut = WriteD2vProject(tail, {rip.vobs[1]});
  EXPECT_GT(cut.droppedLeading, 0);
  std::ofstream(folder.path() / "tail-plain.d2v", std::ios::binary)
      << "DGIndexProjectFile16\r\n1\r\n" << rip.vobs[1].string() << "\r\n";
  EXPECT_EQ(EngineFrames(tail), EngineFrames(folder.path() / "tail-plain.d2v"));
}

TEST(D2vWriter, ClosedGopsWideInterlacedNtscProgressivePalAndABareStream) {
  reelwork::testing::IsolatedIndexCache cache;
  TempFolder folder;
  struct Case {
    std::string args, aspect, rate;
    bool closed, progressive;
  } cases[] = {
      {"-target ntsc-dvd -s 352x240 -bf 2 -flags +cgop+ildct+ilme -sc_threshold 1000000000 -aspect 16:9", "16:9", "29970 (30000/1001)", true,
       false},
      {"-target pal-dvd -s 352x288 -bf 2 -aspect 4:3", "4:3", "25000 (25/1)", false, true},
      {"-target pal-dvd -s 352x288 -bf 2 -aspect 16:9 -f mpeg2video", "16:9", "25000 (25/1)", false, true},
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args);
    const bool bare = c.args.find("mpeg2video") != std::string::npos;
    const fs::path mpg = Encode(folder.path(), "c" + std::to_string(n) + (bare ? ".m2v" : ".mpg"), c.args);
    const Project p = WriteAndCheck(folder.path() / ("c" + std::to_string(n++) + ".d2v"), {mpg});
    EXPECT_EQ(p.settings.at("Aspect_Ratio"), c.aspect);
    EXPECT_EQ(p.settings.at("Frame_Rate"), c.rate);
    EXPECT_EQ(p.settings.at("Stream_Type"), bare ? "0" : "1");
    for (const auto &line : p.lines) {
      EXPECT_EQ((line.info & 0x400) != 0, c.closed || &line == &p.lines.front());
      EXPECT_EQ((line.info & 0x200) != 0, c.progressive);
      for (int f : line.flags)
        EXPECT_TRUE(!c.closed || (f & 0x80)) << f;
    }
  }
}

TEST(D2vWriter, FilmWithPulldownFlags) {
  reelwork::testing::IsolatedIndexCache cache;
  TempFolder folder;
  SampleOptions options;
  options.softPulldown = true;
  options.seconds = 1.5;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder.path() / "film", options);
  D2vSummary summary;
  const Project p = WriteAndCheck(folder.path() / "film.d2v", rip.vobs, &summary);
  EXPECT_EQ(p.settings.at("Field_Operation"), "0");
  EXPECT_EQ(p.settings.at("Frame_Rate"), "29970 (30000/1001)");
  EXPECT_EQ(p.finished, "FINISHED 100.00% FILM");
  EXPECT_EQ(summary.filmHundredths, 10000);

  // Force Film shows the stored pictures at their own rate.
  D2vWriteOptions force;
  force.fieldOperation = 1;
  const Project forced = ReadProject(MakeD2vProject(rip.vobs, force, {}));
  EXPECT_EQ(forced.settings.at("Field_Operation"), "1");
  EXPECT_EQ(forced.settings.at("Frame_Rate"), "23976 (24000/1001)");
}

// The VOB and cell numbers of the navigation pack last met at or before a
// byte of the VOB, read sector by sector.
std::pair<int, int> NavIdsBefore(const std::string &vob, std::uint64_t position) {
  std::pair<int, int> ids{-1, -1};
  for (std::uint64_t s = 0; s <= position && s + 2048 <= vob.size(); s += 2048) {
    const auto *p = reinterpret_cast<const unsigned char *>(vob.data() + s);
    if (p[14] == 0 && p[15] == 0 && p[16] == 1 && p[17] == 0xBB && p[0x400 + 3] == 0xBF && p[0x406] == 1)
      ids = {(p[0x41F] << 8) | p[0x420], p[0x422]};
  }
  return ids;
}

TEST(D2vWriter, AuthoredDvdCarriesTheNavPacksVobAndCellNumbers) {
  if (Shell("command -v dvdauthor").empty())
    GTEST_SKIP() << "dvdauthor is not installed";
  reelwork::testing::IsolatedIndexCache cache;
  TempFolder folder;
  const fs::path a = Encode(folder.path(), "a.mpg", "-target pal-dvd -s 352x288 -bf 2 -aspect 16:9");
  const fs::path b = Encode(folder.path(), "b.mpg", "-target pal-dvd -s 352x288 -bf 2 -aspect 16:9");
  const fs::path disc = folder.path() / "disc";
  int status = 0;
  Shell("VIDEO_FORMAT=PAL dvdauthor -o '" + disc.string() + "' -t -c 0,0.5,1 '" + a.string() + "' '" + b.string() +
          "' 2>&1",
      &status);
  ASSERT_EQ(status, 0);
  const fs::path videoTs = disc / "VIDEO_TS";
  const std::vector<fs::path> vobs = {videoTs / "VTS_01_1.VOB"};

  // The command line tool, given the folder, finds the title's VOB itself.
  const fs::path d2v = folder.path() / "dvd.d2v";
  const std::string cli = "'" REELWORK_CLI "' d2v '" + d2v.string() + "' '" + videoTs.string() + "'";
  const std::string out = Shell(cli + " 2>/dev/null", &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(std::regex_match(out, std::regex("frames=[0-9]+ gops=[0-9]+ film=0\\.00\n"))) << out;
  EXPECT_NE(Shell(cli + " 2>&1 >/dev/null").find("VTS_01_1.VOB"), std::string::npos);

  D2vSummary summary;
  const std::string text = MakeD2vProject(vobs, {}, {}, &summary);
  std::ifstream written(d2v, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>()), text);
  EXPECT_EQ(out, "frames=" + std::to_string(summary.pictures) + " gops=" + std::to_string(summary.gops) +
                     " film=0.00\n");
  const Project p = CheckAgainstStream(d2v, vobs, summary);
  EXPECT_TRUE(summary.sawNavPacks);
  std::ifstream in(vobs[0], std::ios::binary);
  const std::string vob((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::set<std::pair<int, int>> seen;
  for (const auto &line : p.lines) {
    EXPECT_EQ(std::make_pair(line.vob, line.cell), NavIdsBefore(vob, line.position)) << line.position;
    seen.emplace(line.vob, line.cell);
  }
  EXPECT_GE(seen.size(), 4u) << "two VOBs of several cells each";
  EXPECT_TRUE(seen.count({2, 1})) << "the second file is VOB 2";
}

TEST(D2vWriter, RefusesWhatIsNoVideoAndKeepsTheOldProjectWhenCancelled) {
  TempFolder folder;
  const fs::path junk = folder.path() / "junk.vob";
  std::ofstream(junk, std::ios::binary) << std::string(8192, 'x');
  try {
    MakeD2vProject({junk}, {}, {});
    ADD_FAILURE() << "no error";
  } catch (const EngineError &e) {
    EXPECT_EQ(std::string(e.what()).rfind("d2v: ", 0), 0u) << e.what();
  }

  SampleOptions options;
  options.seconds = 0.6;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder.path() / "rip", options);
  const fs::path d2v = folder.path() / "keep.d2v";
  std::ofstream(d2v, std::ios::binary) << "old";
  struct Stop {};
  EXPECT_THROW(WriteD2vProject(d2v, rip.vobs, {}, [](double f) { if (f > 0) throw Stop{}; }), Stop);
  std::ifstream in(d2v, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "old");
}

// Windows tools read a project's paths as Windows-1251: a Cyrillic folder is
// written so; a name the code page cannot hold keeps its UTF-8 bytes, and so
// does a list mixing both (the project is read as one text). The engine
// opens every one of them with the frames of the VOBs.
TEST(D2vWriter, PathsAreWrittenInWindows1251WhereEveryLetterFits) {
  reelwork::testing::IsolatedIndexCache cache;
  TempFolder folder;
  SampleOptions options;
  options.seconds = 1;
  options.vobCount = 2;
  const SampleRip rip = reelwork::testing::MakeTestRip(folder.path() / "rip", options);
  std::ofstream(folder.path() / "rip" / "plain.d2v", std::ios::binary)
      << "DGIndexProjectFile16\r\n2\r\n" << rip.vobs[0].string() << "\r\n" << rip.vobs[1].string() << "\r\n";
  const auto expected = EngineFrames(folder.path() / "rip" / "plain.d2v");
  ASSERT_FALSE(expected.empty());

  const auto place = [&](const std::string &name) {
    const fs::path at = folder.path() / name;
    fs::create_directories(at);
    std::vector<fs::path> vobs;
    for (const auto &vob : rip.vobs)
      vobs.push_back(at / vob.filename());
    fs::copy_file(rip.vobs[0], vobs[0]);
    fs::copy_file(rip.vobs[1], vobs[1]);
    return vobs;
  };
  const auto fileText = [](const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };

  const auto russian = place("Фильмы/Ёжик в тумане");
  WriteD2vProject(russian[0].parent_path() / "title.d2v", russian);
  std::string text = fileText(russian[0].parent_path() / "title.d2v");
  const Project p = ReadProject(text);
  ASSERT_EQ(p.files.size(), 2u);
  EXPECT_EQ(p.files[0], reelwork::Utf8ToCp1251(russian[0].string()).value());
  EXPECT_EQ(text.find("Фильмы"), std::string::npos) << "no UTF-8 bytes";
  EXPECT_EQ(EngineFrames(russian[0].parent_path() / "title.d2v"), expected);

  const auto french = place("Amélie");
  WriteD2vProject(french[0].parent_path() / "title.d2v", french);
  text = fileText(french[0].parent_path() / "title.d2v");
  EXPECT_NE(text.find(french[1].string() + "\r\n"), std::string::npos) << "UTF-8 as on the disk";
  EXPECT_EQ(EngineFrames(french[0].parent_path() / "title.d2v"), expected);

  const fs::path mixed = folder.path() / "mixed.d2v";
  WriteD2vProject(mixed, {russian[0], french[1]});
  text = fileText(mixed);
  EXPECT_NE(text.find(russian[0].string() + "\r\n" + french[1].string() + "\r\n"), std::string::npos);
  EXPECT_EQ(EngineFrames(mixed), expected);
}

TEST(DvdFolder, LargestTitleSetTakesTitleVobsInOrderNeverTheMenu) {
  TempFolder folder;
  const fs::path ts = folder.path() / "VIDEO_TS";
  fs::create_directories(ts);
  const auto file = [&](const std::string &name, size_t size) {
    std::ofstream(ts / name, std::ios::binary) << std::string(size, '\0');
  };
  file("VTS_01_0.VOB", 9000); // a big menu does not make its set the film
  file("VTS_01_1.VOB", 100);
  file("vts_02_1.vob", 3000);
  file("VTS_02_2.VOB", 3000);
  file("VTS_02_4.VOB", 3000); // after a gap: no part of the stream
  file("VTS_03_1.VOB", 5000);
  const auto title = LargestTitleSet(folder.path()); // the disc's root leads to VIDEO_TS
  ASSERT_TRUE(title);
  EXPECT_EQ(title->number, 2);
  EXPECT_EQ(title->vobs, (std::vector<fs::path>{ts / "vts_02_1.vob", ts / "VTS_02_2.VOB"}));
  EXPECT_EQ(TitleVobsOf(ts / "VTS_02_2.VOB"), title->vobs);
  EXPECT_EQ(TitleVobsOf(ts / "VTS_01_0.VOB"), (std::vector<fs::path>{ts / "VTS_01_0.VOB"}));
  EXPECT_FALSE(LargestTitleSet(folder.path() / "nothing"));

  int status = 0;
  Shell("'" REELWORK_CLI "' d2v 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  Shell("'" REELWORK_CLI "' d2v '" + (folder.path() / "x.d2v").string() + "' '" + (ts / "none.vob").string() +
          "' 2>/dev/null",
      &status);
  EXPECT_EQ(status, 1);
}

} // namespace
