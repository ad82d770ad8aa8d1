// The frame engine against plain FFmpeg and `cat` on a sample rip.
//
//   engine_bench [FOLDER] [--minutes M] [--from SOURCE --copies N] [--rounds R]
//                [--index-only]
//
// Makes the rip in FOLDER (default /tmp/reelwork-bench) unless it is there:
// a PAL sample of M minutes (default 10), or with --from N copies of the VOB
// of the rip in SOURCE as one title (VTS_01_1.VOB .. VTS_01_N.VOB), the way a
// long title is split on a disc. Then measures, in one run: `cat` of the VOB
// files from the page cache, a plain libavformat demux pass, the index build
// (medians of R rounds, default 5), reopening with the index kept (in memory
// and from the disk cache) plus the first frame, random frames, next frames,
// decoding one GOP with plain libavcodec, and the index's memory per frame.
// With --index-only it stops after `cat`, the demux pass and the index build.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine/d2v_writer.h"
#include "engine/mpeg2_index.h"
#include "engine/mpeg2_source.h"
#include "engine/sample_media.h"
#include "engine/video.h"

namespace fs = std::filesystem;
using namespace reelwork;
using namespace reelwork::engine;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

std::string ConcatUrl(const std::vector<fs::path> &files) {
  std::string url = "concat:";
  for (size_t i = 0; i < files.size(); ++i) {
    if (i)
      url += '|';
    url += files[i].string();
  }
  return url;
}

// The equivalent of `ffmpeg -i VOB -map 0:v -c copy -f null -`: open, probe,
// read every packet, keep the video ones.
double PlainDemuxMs(const std::vector<fs::path> &files, long &videoPackets) {
  const auto t0 = Clock::now();
  AVFormatContext *demux = nullptr;
  if (avformat_open_input(&demux, ConcatUrl(files).c_str(), nullptr, nullptr) < 0)
    return -1;
  avformat_find_stream_info(demux, nullptr);
  const int video = av_find_best_stream(demux, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVPacket *packet = av_packet_alloc();
  videoPackets = 0;
  while (av_read_frame(demux, packet) >= 0) {
    videoPackets += packet->stream_index == video;
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&demux);
  return Ms(t0, Clock::now());
}

// Decoding whole GOPs with plain libavcodec: the packets of a GOP (from one
// key frame up to the next) are read first, then timed from a flushed decoder
// until every frame they give is out.
double PlainGopDecodeMs(const std::vector<fs::path> &files, int gops) {
  AVFormatContext *demux = nullptr;
  if (avformat_open_input(&demux, ConcatUrl(files).c_str(), av_find_input_format("mpeg"), nullptr) < 0)
    return -1;
  avformat_find_stream_info(demux, nullptr);
  const int video = av_find_best_stream(demux, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  std::vector<std::vector<AVPacket *>> groups;
  AVPacket *packet = av_packet_alloc();
  while (av_read_frame(demux, packet) >= 0 && static_cast<int>(groups.size()) <= gops + 40) {
    if (packet->stream_index == video) {
      if ((packet->flags & AV_PKT_FLAG_KEY) || groups.empty())
        groups.emplace_back();
      groups.back().push_back(av_packet_clone(packet));
    }
    av_packet_unref(packet);
  }
  const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
  AVCodecContext *dec = avcodec_alloc_context3(codec);
  dec->thread_count = 1;
  avcodec_open2(dec, codec, nullptr);
  AVFrame *frame = av_frame_alloc();
  std::vector<double> times;
  // Skip the first groups (start-up) and the last (cut off).
  for (size_t g = 20; g + 1 < groups.size() && static_cast<int>(times.size()) < gops; ++g) {
    avcodec_flush_buffers(dec);
    const auto t0 = Clock::now();
    for (AVPacket *p : groups[g]) {
      avcodec_send_packet(dec, p);
      while (avcodec_receive_frame(dec, frame) == 0)
        av_frame_unref(frame);
    }
    avcodec_send_packet(dec, nullptr);
    while (avcodec_receive_frame(dec, frame) == 0)
      av_frame_unref(frame);
    times.push_back(Ms(t0, Clock::now()));
    avcodec_flush_buffers(dec);
  }
  for (auto &g : groups)
    for (AVPacket *p : g)
      av_packet_free(&p);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&dec);
  avformat_close_input(&demux);
  return times.empty() ? -1 : Percentile(times, 0.5);
}

double RusageMs(int who) {
  struct rusage r {};
  ::getrusage(who, &r);
  return (static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e3 +
          static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e3);
}

// `cat FILES > /dev/null`, as the shell runs it: wall time, and in `cpuMs`
// the processor time it used (the shell's and cat's), which other work on a
// shared machine does not inflate.
double CatMs(const std::vector<fs::path> &files, double &cpuMs) {
  std::string command = "cat";
  for (const auto &f : files)
    command += " '" + f.string() + "'";
  command += " > /dev/null";
  const double cpu0 = RusageMs(RUSAGE_CHILDREN);
  const auto t0 = Clock::now();
  if (std::system(command.c_str()) != 0)
    return -1;
  const double wall = Ms(t0, Clock::now());
  cpuMs = RusageMs(RUSAGE_CHILDREN) - cpu0;
  return wall;
}

// A title of `copies` VOB files, each a copy of the first VOB in `source`.
void MakeCopies(const fs::path &source, const fs::path &folder, int copies) {
  fs::create_directories(folder);
  std::string d2v = "DVD2AVIProjectFile\r\n" + std::to_string(copies) + "\r\n";
  for (int i = 1; i <= copies; ++i) {
    const std::string name = "VTS_01_" + std::to_string(i) + ".VOB";
    fs::copy_file(source / "VTS_01_1.VOB", folder / name, fs::copy_options::overwrite_existing);
    d2v += std::to_string(name.size()) + " " + name + "\r\n";
  }
  std::ofstream(folder / "VTS_01_1.d2v", std::ios::binary) << d2v;
}

double Median(const std::vector<double> &v) { return Percentile(v, 0.5); }

void WarmPageCache(const std::vector<fs::path> &files) {
  std::vector<char> buf(1 << 20);
  for (const auto &f : files) {
    std::ifstream in(f, std::ios::binary);
    while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
    }
  }
}

} // namespace

int main(int argc, char **argv) {
  fs::path folder = "/tmp/reelwork-bench";
  fs::path copiesOf;
  double minutes = 10;
  int copies = 0;
  int rounds = 5;
  bool indexOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc)
      minutes = std::atof(argv[++i]);
    else if (std::strcmp(argv[i], "--from") == 0 && i + 1 < argc)
      copiesOf = argv[++i];
    else if (std::strcmp(argv[i], "--copies") == 0 && i + 1 < argc)
      copies = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
      rounds = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--index-only") == 0)
      indexOnly = true;
    else
      folder = argv[i];
  }
  av_log_set_level(AV_LOG_ERROR);
  const fs::path d2v = folder / "VTS_01_1.d2v";
  if (!fs::exists(d2v) && !copiesOf.empty() && copies > 0) {
    const auto t0 = Clock::now();
    MakeCopies(copiesOf, folder, copies);
    std::printf("title of %d copies made in %.1f s\n", copies, Ms(t0, Clock::now()) / 1000);
  } else if (!fs::exists(d2v)) {
    SampleOptions o;
    o.seconds = minutes * 60;
    o.grain = 3; // about 5 Mbit/s, as DVD video runs
    const auto t0 = Clock::now();
    WriteSampleRip(folder, o);
    std::printf("sample rip made in %.1f s\n", Ms(t0, Clock::now()) / 1000);
  }
  const fs::path script = folder / "bench.avs";
  std::ofstream(script) << "mpeg2source(\"VTS_01_1.d2v\")\r\n";
  const fs::path cache = folder / "cache";
  fs::remove_all(cache);
  ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);

  std::vector<fs::path> files;
  for (int i = 1; fs::exists(folder / ("VTS_01_" + std::to_string(i) + ".VOB")); ++i)
    files.push_back(folder / ("VTS_01_" + std::to_string(i) + ".VOB"));
  std::uintmax_t bytes = 0;
  for (const auto &f : files)
    bytes += fs::file_size(f);
  WarmPageCache(files);
  std::printf("source: %zu VOB file(s), %.1f MB\n", files.size(), static_cast<double>(bytes) / 1e6);
  std::fflush(stdout);

  // `cat`, plain demux and index build, side by side (page cache warm).
  long packets = 0;
  std::vector<double> cat, catCpu, demux, build, buildCpu;
  IndexPtr index;
  for (int i = 0; i < rounds; ++i) {
    double cpu = 0;
    cat.push_back(CatMs(files, cpu));
    catCpu.push_back(cpu);
    if (i < 3)
      demux.push_back(PlainDemuxMs(files, packets));
    const double cpu0 = RusageMs(RUSAGE_SELF);
    const auto t0 = Clock::now();
    index = BuildMpeg2Index(files, IndexKey(files), {});
    build.push_back(Ms(t0, Clock::now()));
    buildCpu.push_back(RusageMs(RUSAGE_SELF) - cpu0);
  }
  const double gb = static_cast<double>(bytes) / 1e9;
  const double catMs = Median(cat), demuxMs = Median(demux), buildMs = Median(build);
  std::printf("medians of %d rounds (demux: of %zu); cpu = processor time used\n", rounds, demux.size());
  std::printf("cat of the VOB files:             %8.1f ms  (%.2f s/GB), cpu %.1f ms\n", catMs, catMs / 1000 / gb,
              Median(catCpu));
  std::printf("plain demux pass (libavformat):   %8.1f ms  (%.2f s/GB, %ld video packets)\n", demuxMs,
              demuxMs / 1000 / gb, packets);
  std::printf("index build:                      %8.1f ms  (%.2f s/GB), cpu %.1f ms -> %.2fx cat, cpu %.2fx cat's "
              "(target <= 1.5), speed %.2fx the demux pass\n",
              buildMs, buildMs / 1000 / gb, Median(buildCpu), buildMs / catMs, Median(buildCpu) / Median(catCpu),
              demuxMs / buildMs);
  std::printf("frames: %d, index memory: %.1f bytes/frame (target <= 64)\n", index->frameCount(),
              static_cast<double>(index->memoryBytes()) / index->frameCount());
  if (indexOnly)
    return 0;

  // First opening (builds and stores the index), then reopenings.
  RgbImage image;
  {
    const auto t0 = Clock::now();
    auto video = ScriptVideo::open(script.string());
    video->frame(0, image);
    std::printf("first open (index built) + frame 0: %8.1f ms\n", Ms(t0, Clock::now()));
  }
  std::vector<double> reopenMemory, reopenDisk;
  for (int i = 0; i < 10; ++i) {
    auto t0 = Clock::now();
    {
      auto video = ScriptVideo::open(script.string());
      video->frame(0, image);
    }
    reopenMemory.push_back(Ms(t0, Clock::now()));
    ForgetIndexesInMemory(); // as a new run of the program
    t0 = Clock::now();
    {
      auto video = ScriptVideo::open(script.string());
      video->frame(0, image);
    }
    reopenDisk.push_back(Ms(t0, Clock::now()));
  }
  // The index the openings stored (the bench's own cache folder holds no other).
  std::uintmax_t storedBytes = 0;
  std::error_code sizeError;
  for (fs::directory_iterator it(cache / "reelwork", sizeError), end; !sizeError && it != end; it.increment(sizeError))
    if (it->path().extension() == ".mpeg2index")
      storedBytes += it->file_size(sizeError);
  std::printf("reopen + frame 0, index in memory:   median %6.2f ms (target <= 30)\n", Percentile(reopenMemory, 0.5));
  std::printf("reopen + frame 0, index from disk:   median %6.2f ms (target <= 100 at DVD-5 size), stored index %.1f MB\n",
              Percentile(reopenDisk, 0.5), static_cast<double>(storedBytes) / 1e6);

  // The stored index alone, as a new run of the program opens it: the check
  // of the files (samples of each) and the opening of the stored index.
  std::vector<double> checkFiles, loadStored;
  for (int i = 0; i < 10; ++i) {
    ForgetIndexesInMemory();
    auto t0 = Clock::now();
    IndexKey(files);
    checkFiles.push_back(Ms(t0, Clock::now()));
    t0 = Clock::now();
    GetMpeg2Index(files, {});
    loadStored.push_back(Ms(t0, Clock::now()));
  }
  std::printf("stored index opened: median %6.2f ms for %d frames, of which checking the files %.2f ms\n",
              Percentile(loadStored, 0.5), index->frameCount(), Percentile(checkFiles, 0.5));

  // Random and next frames, through the script (RGB24 out) and at the source.
  auto video = ScriptVideo::open(script.string());
  auto source = MakeMpeg2SourceFromFiles(files, {});
  const int count = video->properties().frameCount;
  std::mt19937 random(2024);
  std::vector<double> randomRgb, nextRgb, randomSource, nextSource;
  for (int i = 0; i < 300; ++i) {
    const int n = static_cast<int>(random() % static_cast<unsigned>(count - 1));
    auto t0 = Clock::now();
    video->frame(n, image);
    randomRgb.push_back(Ms(t0, Clock::now()));
    t0 = Clock::now();
    video->frame(n + 1, image);
    nextRgb.push_back(Ms(t0, Clock::now()));
    t0 = Clock::now();
    source->frame(n);
    randomSource.push_back(Ms(t0, Clock::now()));
    t0 = Clock::now();
    source->frame(n + 1);
    nextSource.push_back(Ms(t0, Clock::now()));
  }
  // A project Reelwork made, opened from its own data lines with no index of
  // the files anywhere (as right after making it), beside the plain list's
  // first opening above, which builds the index.
  {
    const fs::path made = folder / "made.d2v";
    const auto t0 = Clock::now();
    WriteD2vProject(made, files);
    const double writeMs = Ms(t0, Clock::now());
    const fs::path madeScript = folder / "made.avs";
    std::ofstream(madeScript) << "mpeg2source(\"made.d2v\")\r\n";
    std::vector<double> fromLines;
    for (int i = 0; i < 5; ++i) {
      fs::remove_all(cache);
      ForgetIndexesInMemory();
      const auto t1 = Clock::now();
      auto madeVideo = ScriptVideo::open(madeScript.string());
      madeVideo->frame(0, image);
      fromLines.push_back(Ms(t1, Clock::now()));
    }
    std::printf("project made (%.0f ms), opened from its lines + frame 0: median %6.2f ms (no index built)\n", writeMs,
                Percentile(fromLines, 0.5));
  }

  const double gopMs = PlainGopDecodeMs(files, 100);
  std::printf("plain libavcodec, one GOP decoded: median %6.2f ms\n", gopMs);
  std::printf("random frame (YV12 at the source): median %6.2f ms, p95 %6.2f ms -> median %.2fx one GOP (target <= 1.5)\n",
              Percentile(randomSource, 0.5), Percentile(randomSource, 0.95), Percentile(randomSource, 0.5) / gopMs);
  std::printf("random frame (RGB24 from script):  median %6.2f ms, p95 %6.2f ms -> median %.2fx one GOP\n",
              Percentile(randomRgb, 0.5), Percentile(randomRgb, 0.95), Percentile(randomRgb, 0.5) / gopMs);
  std::printf("next frame (YV12 at the source):   median %6.2f ms, p95 %6.2f ms (target <= 3)\n",
              Percentile(nextSource, 0.5), Percentile(nextSource, 0.95));
  std::printf("next frame (RGB24 from script):    median %6.2f ms, p95 %6.2f ms (target <= 3)\n",
              Percentile(nextRgb, 0.5), Percentile(nextRgb, 0.95));

  // The next frame shown from the planar formats besides YV12: the
  // conversion and the preview's RGB of it.
  for (const char *line : {"ConvertToYV24()", "ConvertToYV16()", "ConvertToY8()"}) {
    const fs::path planar = folder / "bench-planar.avs";
    std::ofstream(planar) << "mpeg2source(\"VTS_01_1.d2v\")\r\n" << line << "\r\n";
    auto v = ScriptVideo::open(planar.string());
    std::vector<double> next;
    for (int i = 0; i < 100; ++i) {
      const int n = static_cast<int>(random() % static_cast<unsigned>(count - 1));
      v->frame(n, image);
      const auto t0 = Clock::now();
      v->frame(n + 1, image);
      next.push_back(Ms(t0, Clock::now()));
    }
    std::printf("next frame (RGB24 after %-16s median %6.2f ms, p95 %6.2f ms (target <= 3)\n",
                (std::string(line) + "):").c_str(), Percentile(next, 0.5), Percentile(next, 0.95));
  }
  return 0;
}
