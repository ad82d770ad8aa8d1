#include "support/media_fixture.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine/mpeg2_index.h"

namespace fs = std::filesystem;

namespace reelwork::testing {

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "reelwork-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    throw std::runtime_error("cannot make a temporary folder");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

IsolatedIndexCache::IsolatedIndexCache() {
  if (const char *old = std::getenv("XDG_CACHE_HOME")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  ::setenv("XDG_CACHE_HOME", folder_.path().c_str(), 1);
  engine::ForgetIndexesInMemory();
}

IsolatedIndexCache::~IsolatedIndexCache() {
  if (hadPrevious_)
    ::setenv("XDG_CACHE_HOME", previous_.c_str(), 1);
  else
    ::unsetenv("XDG_CACHE_HOME");
  engine::ForgetIndexesInMemory();
}

engine::SampleRip MakeTestRip(const fs::path &folder, engine::SampleOptions options) {
  if (options.width == 0) {
    options.width = 352;
    options.height = options.ntsc ? 240 : 288;
  }
  options.withAudioFile = false;
  return engine::WriteSampleRip(folder, options);
}

namespace {

std::uint64_t Mix(std::uint64_t hash, const std::uint8_t *p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    hash ^= p[i];
    hash *= 1099511628211ull;
  }
  return hash;
}

} // namespace

std::uint64_t HashFrame(const engine::Frame &frame) {
  std::uint64_t hash = 1469598103934665603ull;
  for (int plane = 0; plane < 3; ++plane) {
    if (frame.planes[plane].empty())
      continue;
    const int rows = plane == 0 ? frame.height : (frame.height + 1) / 2;
    const int bytes = plane == 0 ? frame.width : (frame.width + 1) / 2;
    for (int y = 0; y < rows; ++y)
      hash = Mix(hash, frame.row(plane, y), static_cast<size_t>(bytes));
  }
  return hash;
}

std::vector<std::uint64_t> ReferenceDecode(const std::vector<fs::path> &files, std::vector<int> *numbers) {
  std::string url = "concat:";
  for (size_t i = 0; i < files.size(); ++i) {
    if (i)
      url += '|';
    url += files[i].string();
  }
  AVFormatContext *demux = nullptr;
  if (avformat_open_input(&demux, url.c_str(), av_find_input_format("mpeg"), nullptr) < 0)
    throw std::runtime_error("reference decode: cannot open " + url);
  avformat_find_stream_info(demux, nullptr);
  const int video = av_find_best_stream(demux, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video < 0)
    throw std::runtime_error("reference decode: no video");
  const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
  AVCodecContext *dec = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(dec, demux->streams[video]->codecpar);
  dec->thread_count = 1;
  avcodec_open2(dec, codec, nullptr);
  AVPacket *packet = av_packet_alloc();
  AVFrame *decoded = av_frame_alloc();
  std::vector<std::uint64_t> hashes;
  auto take = [&] {
    while (avcodec_receive_frame(dec, decoded) == 0) {
      engine::Frame f;
      f.allocate(engine::PixelFormat::YV12, decoded->width, decoded->height);
      for (int p = 0; p < 3; ++p) {
        const int rows = p == 0 ? f.height : (f.height + 1) / 2;
        for (int y = 0; y < rows; ++y)
          std::memcpy(f.row(p, y), decoded->data[p] + static_cast<ptrdiff_t>(y) * decoded->linesize[p],
                      static_cast<size_t>(f.stride[p]));
      }
      hashes.push_back(HashFrame(f));
      if (numbers)
        numbers->push_back(engine::ReadFrameNumber(f));
      av_frame_unref(decoded);
    }
  };
  while (av_read_frame(demux, packet) >= 0) {
    if (packet->stream_index == video) {
      avcodec_send_packet(dec, packet);
      take();
    }
    av_packet_unref(packet);
  }
  avcodec_send_packet(dec, nullptr);
  take();
  av_frame_free(&decoded);
  av_packet_free(&packet);
  avcodec_free_context(&dec);
  avformat_close_input(&demux);
  return hashes;
}

fs::path WriteSourceScript(const fs::path &d2v, const std::string &name) {
  const fs::path script = d2v.parent_path() / name;
  std::ofstream out(script, std::ios::binary);
  out << "mpeg2source(\"" << d2v.filename().string() << "\")\r\n";
  return script;
}

} // namespace reelwork::testing
