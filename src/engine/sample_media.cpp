#include "engine/sample_media.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "common/atomic_file.h"

namespace fs = std::filesystem;

namespace reelwork::engine {

namespace {

[[noreturn]] void Fail(const std::string &reason) { throw EngineError("sample: " + reason); }

constexpr int kBits = 16; // frame number blocks

struct Layout {
  int bar;        // black rows above and below the picture
  int block;      // side of one number block
  int codeX, codeY;
};

Layout LayoutOf(int w, int h) {
  Layout l{};
  l.bar = (h / 8) / 16 * 16;
  l.block = std::clamp((w / 20) / 8 * 8, 8, 32);
  l.codeX = std::max(0, (w - kBits * l.block) / 2) / 16 * 16;
  l.codeY = l.bar + 16;
  return l;
}

// ---------------------------------------------------------------------------
// Encoding into memory: MPEG-2 video in a DVD program stream.

struct MemoryOutput {
  std::vector<std::uint8_t> bytes;
  static int Write(void *opaque, std::uint8_t *buf, int size) {
    auto *self = static_cast<MemoryOutput *>(opaque);
    self->bytes.insert(self->bytes.end(), buf, buf + size);
    return size;
  }
};

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof(text));
  return text;
}

// One recording: frames [first, first + count) of `total`, encoded and muxed.
// Turns the encoder's 24 progressive pictures a second into film with
// pulldown flags, as disc authoring stores it: the sequence header says
// 30000/1001 and interlaced, and the pictures' top-field-first and
// repeat-first-field flags run in the 3:2 pattern (decode order is display
// order: no B-frames).
void MarkPulldown(std::uint8_t *data, size_t size, long &pictures) {
  for (size_t i = 0; i + 8 < size; ++i) {
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
      continue;
    std::uint8_t *h = data + i + 4;
    if (data[i + 3] == 0xB3) {
      h[3] = static_cast<std::uint8_t>((h[3] & 0xF0) | 4); // frame_rate_code 4: 30000/1001
    } else if (data[i + 3] == 0xB5 && (h[0] >> 4) == 1) {
      h[1] = static_cast<std::uint8_t>(h[1] & ~0x08); // progressive_sequence 0
    } else if (data[i + 3] == 0xB5 && (h[0] >> 4) == 8) {
      static constexpr bool kTop[4] = {true, false, false, true};
      static constexpr bool kRepeat[4] = {true, false, true, false};
      const int k = static_cast<int>(pictures++ % 4);
      h[3] = static_cast<std::uint8_t>((h[3] & 0x7D) | (kTop[k] ? 0x80 : 0) | (kRepeat[k] ? 0x02 : 0));
      h[4] = static_cast<std::uint8_t>(h[4] | 0x80); // progressive_frame
    }
  }
}

std::vector<std::uint8_t> EncodeRecording(const SampleOptions &o, int w, int h, int first, int count, int total) {
  const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
  if (!codec)
    Fail("this FFmpeg has no MPEG-2 encoder");
  AVCodecContext *enc = avcodec_alloc_context3(codec);
  AVCodecContext *audio = nullptr;
  AVFormatContext *mux = nullptr;
  AVFrame *picture = av_frame_alloc();
  AVFrame *sound = av_frame_alloc();
  AVPacket *packet = av_packet_alloc();
  MemoryOutput memory;
  AVIOContext *io = nullptr;
  auto cleanup = [&] {
    if (mux) {
      if (mux->pb)
        av_freep(&mux->pb->buffer);
      avio_context_free(&mux->pb);
      avformat_free_context(mux);
      mux = nullptr;
    } else if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
    avcodec_free_context(&enc);
    avcodec_free_context(&audio);
    av_frame_free(&picture);
    av_frame_free(&sound);
    av_packet_free(&packet);
  };
  try {
    enc->width = w;
    enc->height = h;
    enc->pix_fmt = o.chroma422 ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_YUV420P;
    enc->time_base = o.softPulldown ? AVRational{1001, 24000} : o.ntsc ? AVRational{1001, 30000} : AVRational{1, 25};
    enc->framerate = o.softPulldown ? AVRational{24000, 1001} : o.ntsc ? AVRational{30000, 1001} : AVRational{25, 1};
    enc->gop_size = o.ntsc ? 15 : 12;
    enc->max_b_frames = o.bFrames && !o.softPulldown ? 2 : 0;
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    if (!o.softPulldown)
      enc->flags |= AV_CODEC_FLAG_INTERLACED_DCT; // film pictures are progressive
    enc->global_quality = FF_QP2LAMBDA * o.quantizer;
    enc->sample_aspect_ratio = av_d2q(4.0 * h / (3.0 * w), 255); // a 4:3 picture
    enc->field_order = AV_FIELD_TT;
    enc->thread_count = 1;
    enc->rc_buffer_size = 1835008; // the DVD video buffer, for the muxer's P-STD field
    enc->rc_max_rate = 9800000;
    if (int r = avcodec_open2(enc, codec, nullptr); r < 0)
      Fail("cannot start the MPEG-2 encoder: " + AvError(r));

    if (int r = avformat_alloc_output_context2(&mux, nullptr, "dvd", nullptr); r < 0 || !mux)
      Fail("this FFmpeg has no DVD muxer");
    const int ioSize = 64 * 1024;
    io = avio_alloc_context(static_cast<unsigned char *>(av_malloc(ioSize)), ioSize, 1, &memory, nullptr,
                            &MemoryOutput::Write, nullptr);
    mux->pb = io;
    AVStream *stream = avformat_new_stream(mux, nullptr);
    avcodec_parameters_from_context(stream->codecpar, enc);
    stream->time_base = enc->time_base;
    // The video buffer size, which the muxer writes into the packet headers.
    size_t propsSize = 0;
    if (AVCPBProperties *props = av_cpb_properties_alloc(&propsSize)) {
      props->buffer_size = enc->rc_buffer_size;
      props->max_bitrate = enc->rc_max_rate;
      if (av_stream_add_side_data(stream, AV_PKT_DATA_CPB_PROPERTIES, reinterpret_cast<std::uint8_t *>(props),
                                  propsSize) < 0)
        av_free(props);
    }
    // Silent AC3 sound beside the video, as on a disc (private stream 1).
    AVStream *soundStream = nullptr;
    if (const AVCodec *ac3 = o.audioInVob ? avcodec_find_encoder(AV_CODEC_ID_AC3) : nullptr) {
      audio = avcodec_alloc_context3(ac3);
      audio->sample_rate = 48000;
      audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
      av_channel_layout_default(&audio->ch_layout, 2);
      audio->bit_rate = 448000;
      audio->time_base = {1, 48000};
      if (avcodec_open2(audio, ac3, nullptr) < 0) {
        avcodec_free_context(&audio);
      } else {
        soundStream = avformat_new_stream(mux, nullptr);
        avcodec_parameters_from_context(soundStream->codecpar, audio);
        soundStream->time_base = audio->time_base;
        sound->format = audio->sample_fmt;
        sound->nb_samples = audio->frame_size;
        sound->sample_rate = 48000;
        av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
        if (av_frame_get_buffer(sound, 0) < 0)
          Fail("out of memory");
        for (int c = 0; c < 2; ++c)
          std::memset(sound->extended_data[c], 0, static_cast<size_t>(audio->frame_size) * sizeof(float));
      }
    }
    AVDictionary *options = nullptr;
    av_dict_set(&options, "muxrate", "10080000", 0);
    av_dict_set(&options, "packetsize", "2048", 0);
    const int r = avformat_write_header(mux, &options);
    av_dict_free(&options);
    if (r < 0)
      Fail("cannot start the DVD muxer: " + AvError(r));

    Frame frame;
    frame.allocate(PixelFormat::YV12, w, h);
    picture->format = enc->pix_fmt;
    picture->width = w;
    picture->height = h;
    if (av_frame_get_buffer(picture, 0) < 0)
      Fail("out of memory");

    long pulldownPictures = 0;
    auto drain = [&](AVCodecContext *from, AVStream *to) {
      for (;;) {
        int e = avcodec_receive_packet(from, packet);
        if (e == AVERROR(EAGAIN) || e == AVERROR_EOF)
          return;
        if (e < 0)
          Fail("encoding failed: " + AvError(e));
        av_packet_rescale_ts(packet, from->time_base, to->time_base);
        packet->stream_index = to->index;
        if (o.softPulldown && from == enc)
          MarkPulldown(packet->data, static_cast<size_t>(packet->size), pulldownPictures);
        if ((e = av_interleaved_write_frame(mux, packet)) < 0)
          Fail("muxing failed: " + AvError(e));
      }
    };
    std::int64_t samples = 0;
    for (int i = 0; i < count; ++i) {
      DrawSamplePicture(first + i, total, frame, o.grain, o.pan);
      if (av_frame_make_writable(picture) < 0)
        Fail("out of memory");
      for (int p = 0; p < 3; ++p) {
        // 4:2:2 takes each chroma row of the 4:2:0 drawing twice.
        const int rows = p == 0 || o.chroma422 ? h : (h + 1) / 2;
        for (int y = 0; y < rows; ++y)
          std::memcpy(picture->data[p] + static_cast<ptrdiff_t>(y) * picture->linesize[p],
                      frame.row(p, p > 0 && o.chroma422 ? y / 2 : y), static_cast<size_t>(frame.stride[p]));
      }
      picture->pts = i;
      picture->interlaced_frame = o.softPulldown ? 0 : 1;
      picture->top_field_first = 1;
      if (int e = avcodec_send_frame(enc, picture); e < 0)
        Fail("encoding failed: " + AvError(e));
      drain(enc, stream);
      // Sound up to the end of this picture.
      const std::int64_t until = av_rescale_q(i + 1, enc->time_base, AVRational{1, 48000});
      while (audio && samples < until) {
        sound->pts = samples;
        samples += audio->frame_size;
        if (int e = avcodec_send_frame(audio, sound); e < 0)
          Fail("encoding sound failed: " + AvError(e));
        drain(audio, soundStream);
      }
    }
    avcodec_send_frame(enc, nullptr);
    drain(enc, stream);
    if (audio) {
      avcodec_send_frame(audio, nullptr);
      drain(audio, soundStream);
    }
    if (int e = av_write_trailer(mux); e < 0)
      Fail("muxing failed: " + AvError(e));
    avio_flush(mux->pb);
  } catch (...) {
    cleanup();
    throw;
  }
  cleanup();
  return std::move(memory.bytes);
}

size_t FindStartCode(const std::vector<std::uint8_t> &b, size_t from, std::uint8_t code) {
  for (size_t i = from; i + 3 < b.size(); ++i)
    if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] == code)
      return i;
  return std::string::npos;
}

// Length of the optional fields of an MPEG-2 PES header (without stuffing).
size_t PesFieldsLength(const std::uint8_t *pes) {
  const std::uint8_t flags = pes[7];
  size_t n = 0;
  if ((flags & 0xC0) == 0x80)
    n += 5;
  if ((flags & 0xC0) == 0xC0)
    n += 10;
  if (flags & 0x20)
    n += 6;
  if (flags & 0x10)
    n += 3;
  if (flags & 0x08)
    n += 1;
  if (flags & 0x04)
    n += 1;
  if (flags & 0x02)
    n += 2;
  if (flags & 0x01) {
    const std::uint8_t ext = pes[9 + n];
    n += 1;
    if (ext & 0x80)
      n += 16;
    if (ext & 0x40)
      n += 1 + pes[9 + n];
    if (ext & 0x20)
      n += 2;
    if (ext & 0x10)
      n += 2;
    if (ext & 0x01)
      n += 1 + (pes[9 + n] & 0x7F);
  }
  return n;
}

// DVD authoring puts the first sequence header at byte 2084: a navigation
// pack, then a pack header of 14 bytes and a video packet header of 22 (with
// time stamps and buffer size, no stuffing). FFmpeg adds a stuffing byte;
// move it into the next video packet's header, handing that packet's first
// payload bytes over, so that every pack keeps its size and the elementary
// stream stays byte for byte the same.
void PlaceSequenceHeaderAt2084(std::vector<std::uint8_t> &b) {
  const size_t pes1 = FindStartCode(b, 0, 0xE0);
  if (pes1 == std::string::npos || pes1 + 9 >= b.size())
    Fail("the muxer wrote no video packet");
  const size_t header1 = b[pes1 + 8];
  const size_t payload1 = pes1 + 9 + header1;
  const size_t end1 = pes1 + 6 + ((static_cast<size_t>(b[pes1 + 4]) << 8) | b[pes1 + 5]);
  if (payload1 < 2084)
    Fail("the first video packet starts too early");
  const size_t delta = payload1 - 2084;
  if (delta > 0) {
    const size_t stuffing = header1 - PesFieldsLength(&b[pes1]);
    const size_t pes2 = FindStartCode(b, end1, 0xE0);
    if (stuffing < delta || pes2 == std::string::npos)
      Fail("cannot place the sequence header at byte 2084");
    const size_t header2 = b[pes2 + 8];
    const size_t payload2 = pes2 + 9 + header2;
    const size_t end2 = pes2 + 6 + ((static_cast<size_t>(b[pes2 + 4]) << 8) | b[pes2 + 5]);
    if (header2 + delta > 255 || payload2 + delta > end2)
      Fail("cannot place the sequence header at byte 2084");
    std::vector<std::uint8_t> handed(b.begin() + static_cast<std::ptrdiff_t>(payload2),
                                     b.begin() + static_cast<std::ptrdiff_t>(payload2 + delta));
    std::memmove(&b[payload1 - delta], &b[payload1], end1 - payload1);
    std::memcpy(&b[end1 - delta], handed.data(), delta);
    b[pes1 + 8] = static_cast<std::uint8_t>(header1 - delta);
    std::memset(&b[payload2], 0xFF, delta);
    b[pes2 + 8] = static_cast<std::uint8_t>(header2 + delta);
  }
  if (b.size() < 2088 || b[2084] != 0 || b[2085] != 0 || b[2086] != 1 || b[2087] != 0xB3)
    Fail("the sequence header is not at byte 2084");
}

// Split points inside groups of pictures, at pack boundaries, so that a GOP
// runs over from one VOB into the next.
std::vector<size_t> SplitPoints(const std::vector<std::uint8_t> &b, int parts) {
  std::vector<size_t> points;
  for (int i = 1; i < parts; ++i) {
    const size_t target = b.size() * static_cast<size_t>(i) / static_cast<size_t>(parts);
    size_t gop = FindStartCode(b, target, 0xB8);
    size_t nextGop = gop == std::string::npos ? std::string::npos : FindStartCode(b, gop + 4, 0xB8);
    if (nextGop == std::string::npos) {
      nextGop = b.size();
      gop = target;
    }
    size_t split = (gop + (nextGop - gop) / 2) / 2048 * 2048;
    if (split <= gop)
      split = (gop / 2048 + 1) * 2048;
    if (split >= b.size() || (!points.empty() && split <= points.back()))
      continue;
    points.push_back(split);
  }
  return points;
}

void WriteBytes(const fs::path &path, const std::uint8_t *data, size_t size) {
  std::string error;
  if (!WriteFileAtomically(path, std::string_view(reinterpret_cast<const char *>(data), size), &error))
    Fail("cannot write " + path.string() + ": " + error);
}

// Silence in AC3, 48 kHz stereo at 448 kbit/s.
bool WriteSilentAc3(const fs::path &path, double seconds) {
  const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_AC3);
  if (!codec)
    return false;
  AVCodecContext *enc = avcodec_alloc_context3(codec);
  AVFrame *frame = av_frame_alloc();
  AVPacket *packet = av_packet_alloc();
  std::string bytes;
  bool ok = false;
  enc->sample_rate = 48000;
  enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
  av_channel_layout_default(&enc->ch_layout, 2);
  enc->bit_rate = 448000;
  if (avcodec_open2(enc, codec, nullptr) >= 0) {
    frame->format = enc->sample_fmt;
    frame->nb_samples = enc->frame_size;
    av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
    frame->sample_rate = 48000;
    if (av_frame_get_buffer(frame, 0) >= 0) {
      const long frames = std::max(1L, std::lround(seconds * 48000.0 / enc->frame_size));
      ok = true;
      for (long i = 0; i <= frames && ok; ++i) {
        if (i < frames) {
          av_frame_make_writable(frame);
          for (int c = 0; c < 2; ++c)
            std::memset(frame->extended_data[c], 0, static_cast<size_t>(enc->frame_size) * sizeof(float));
          frame->pts = i * enc->frame_size;
          ok = avcodec_send_frame(enc, frame) >= 0;
        } else {
          ok = avcodec_send_frame(enc, nullptr) >= 0;
        }
        while (ok && avcodec_receive_packet(enc, packet) == 0) {
          bytes.append(reinterpret_cast<const char *>(packet->data), static_cast<size_t>(packet->size));
          av_packet_unref(packet);
        }
      }
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&enc);
  if (!ok)
    return false;
  WriteBytes(path, reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
  return true;
}

} // namespace

// ---------------------------------------------------------------------------

int SampleTitleStart(int total) { return total > 0 ? (4 * total + 4) / 5 : 0; }

namespace {

// A bright disc (luma 235, no colour) around (cx, cy), clipped to rows
// [top, bottom).
void DrawDisc(Frame &f, double cx, double cy, double radius, int top, int bottom) {
  const int w = f.width, cw = (w + 1) / 2;
  const int y0 = std::max(top, static_cast<int>(cy - radius));
  const int y1 = std::min(bottom, static_cast<int>(cy + radius) + 1);
  for (int y = y0; y < y1; ++y) {
    const double dy = y - cy;
    const double half = std::sqrt(std::max(0.0, radius * radius - dy * dy));
    const int x0 = std::max(0, static_cast<int>(cx - half)), x1 = std::min(w, static_cast<int>(cx + half) + 1);
    if (x1 > x0)
      std::memset(f.row(0, y) + x0, 235, static_cast<size_t>(x1 - x0));
    for (int x = x0 / 2; x < (x1 + 1) / 2 && x < cw; ++x) {
      f.row(1, y / 2)[x] = 128;
      f.row(2, y / 2)[x] = 128;
    }
  }
}

// End titles: a moment of black, lines of small light "text" rolling up, and
// black again. `k` counts the title pictures from 0 to `count` - 1. The text
// covers a few hundredths of the picture, so that a title frame stays well
// darker than any film frame.
void DrawTitleText(Frame &f, int k, int count, int top, int bottom) {
  const int w = f.width, h = f.height;
  const int black = std::max(1, count / 10);
  if (k < black || k >= count - black)
    return;
  const int lineHeight = std::max(4, h / 56), pitch = lineHeight * 5;
  const int scroll = ((k - black) * std::max(1, h / 288)) % pitch;
  const int letter = std::max(2, lineHeight * 2 / 3);
  for (int y = top; y < bottom; ++y) {
    const int pos = y + scroll - top;
    if (pos % pitch >= lineHeight)
      continue;
    const int line = pos / pitch;
    const int len = w / 5 + (line * 37 % 5) * w / 20;
    const int x0 = (w - len) / 2;
    std::uint8_t *row = f.row(0, y);
    for (int x = x0; x < x0 + len; ++x)
      if ((x / letter) % 3 != 2) // gaps between "letters"
        row[x] = 180;
  }
}

} // namespace

void DrawSamplePicture(int n, int total, Frame &f, int grain, bool pan) {
  const int w = f.width, h = f.height;
  const Layout l = LayoutOf(w, h);
  const double t = total > 0 ? static_cast<double>(n) / total : 0.0;
  const int titleStart = SampleTitleStart(total);
  const bool titles = total > 0 && n >= titleStart;
  const bool bright = t >= 0.35 && !titles;
  const int cw = (w + 1) / 2, ch = (h + 1) / 2;

  // Background: black bars, then a dark or a bright scene, or black titles.
  // Even the dark scene stays above black, so that the bars show on it too.
  for (int y = 0; y < h; ++y) {
    std::uint8_t *row = f.row(0, y);
    const bool inBar = y < l.bar || y >= h - l.bar;
    if (inBar || titles) {
      std::memset(row, 16, static_cast<size_t>(w));
      continue;
    }
    const int base = bright ? 170 : 56;
    for (int x = 0; x < w; ++x)
      row[x] = static_cast<std::uint8_t>(base + (x * 24) / w + ((y * 16) / h));
  }
  for (int y = 0; y < ch; ++y) {
    const bool inBar = y * 2 < l.bar || y * 2 >= h - l.bar;
    const std::uint8_t u = inBar || titles ? 128 : (bright ? 112 : 142);
    const std::uint8_t v = inBar || titles ? 128 : (bright ? 150 : 120);
    std::memset(f.row(1, y), u, static_cast<size_t>(cw));
    std::memset(f.row(2, y), v, static_cast<size_t>(cw));
  }
  const int top = l.codeY + l.block + 16, bottom = h - l.bar;

  if (titles) {
    DrawTitleText(f, n - titleStart, total - titleStart, top, bottom);
  } else if (pan) {
    // Stripes 16 pixels wide moving 10 pixels a frame, 5 between the fields.
    for (int y = top; y < bottom; ++y) {
      const int shift = n * 10 + ((y & 1) ? 5 : 0);
      std::uint8_t *row = f.row(0, y);
      for (int x = 0; x < w; ++x)
        row[x] = ((x + shift) / 16) % 2 ? 200 : 40;
    }
    // A bar moving sideways, drawn on the two fields at two moments: the
    // lines of the second field show it half a frame later.
    const int barWidth = std::max(4, w / 16);
    const double speed = w / 40.0;
    const std::uint8_t barLuma = bright ? 50 : 210;
    for (int y = top; y < bottom; ++y) {
      const double moment = n + ((y & 1) ? 0.5 : 0.0);
      const int travel = w - barWidth;
      int x0 = static_cast<int>(std::fmod(moment * speed, 2.0 * travel));
      if (x0 > travel)
        x0 = 2 * travel - x0;
      std::memset(f.row(0, y) + x0, barLuma, static_cast<size_t>(barWidth));
    }
    // A bright round object wandering slowly.
    DrawDisc(f, w / 2.0 + (w / 4.0) * std::cos(n * 0.05),
             (top + bottom) / 2.0 + ((bottom - top) / 5.0) * std::sin(n * 0.07), std::max(4, (bottom - top) / 6),
             top, bottom);
  } else {
    // The upper three fifths of the scene: a fence of boards 24 pixels wide
    // passing by at 20 pixels a frame, each field at its own moment (the
    // second 10 pixels further on), as a fast pan looks on interlaced video:
    // the boards comb over a large part of the picture.
    const int fenceBottom = top + (bottom - top) * 3 / 5;
    const std::uint8_t dark = bright ? 90 : 48, light = bright ? 235 : 160;
    for (int y = top; y < fenceBottom; ++y) {
      const int shift = n * 20 + ((y & 1) ? 10 : 0);
      std::uint8_t *row = f.row(0, y);
      for (int x = 0; x < w; ++x)
        row[x] = ((x + shift) / 24) % 2 ? light : dark;
    }
    // Below the fence, on a calm background, a bright disc drifting sideways
    // (progressive: the same on both fields), for the round test.
    const double room = bottom - fenceBottom;
    const double radius = std::max(4.0, room / 3.2);
    DrawDisc(f, w / 2.0 + (w / 4.0) * std::cos(n * 0.05), fenceBottom + room / 2.0 + room / 12.0 * std::sin(n * 0.07),
             radius, fenceBottom, bottom);
  }

  if (grain > 0) {
    std::uint32_t state = 2463534242u ^ static_cast<std::uint32_t>(n * 2654435761u);
    const int span = 2 * grain + 1;
    for (int y = l.bar; y < h - l.bar; ++y) {
      std::uint8_t *row = f.row(0, y);
      for (int x = 0; x < w; ++x) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        row[x] = static_cast<std::uint8_t>(std::clamp(row[x] + static_cast<int>(state % span) - grain, 16, 235));
      }
    }
  }

  // The frame number: a row of blocks, white for 1 and black for 0, most
  // significant bit first, on a mid-grey strip (on the titles' black, which
  // must stay dark, without the strip).
  if (!titles) {
    for (int y = l.codeY - 8; y < l.codeY + l.block + 8 && y < h; ++y)
      std::memset(f.row(0, y), 128, static_cast<size_t>(w));
    for (int y = (l.codeY - 8) / 2; y < (l.codeY + l.block + 8) / 2 && y < ch; ++y) {
      std::memset(f.row(1, y), 128, static_cast<size_t>(cw));
      std::memset(f.row(2, y), 128, static_cast<size_t>(cw));
    }
  }
  for (int bit = 0; bit < kBits; ++bit) {
    const bool one = (n >> (kBits - 1 - bit)) & 1;
    const int x0 = l.codeX + bit * l.block;
    for (int y = l.codeY; y < l.codeY + l.block && y < h; ++y)
      std::memset(f.row(0, y) + x0, one ? 235 : 16, static_cast<size_t>(std::min(l.block, w - x0)));
  }
}

int ReadFrameNumber(const Frame &f) {
  if (f.format != PixelFormat::YV12 || f.width < 16 || f.height < 64)
    return -1;
  const Layout l = LayoutOf(f.width, f.height);
  if (l.codeX + kBits * l.block > f.width || l.codeY + l.block > f.height)
    return -1;
  int n = 0;
  for (int bit = 0; bit < kBits; ++bit) {
    const int x0 = l.codeX + bit * l.block + l.block / 4, x1 = x0 + l.block / 2;
    long sum = 0, count = 0;
    for (int y = l.codeY + l.block / 4; y < l.codeY + 3 * l.block / 4; ++y)
      for (int x = x0; x < x1; ++x, ++count)
        sum += f.row(0, y)[x];
    const long mean = sum / std::max(1L, count);
    if (mean > 60 && mean < 190)
      return -1; // neither black nor white: no number here
    n = n * 2 + (mean >= 190 ? 1 : 0);
  }
  return n;
}

SampleRip WriteSampleRip(const fs::path &folder, const SampleOptions &given) {
  SampleOptions o = given;
  if (o.softPulldown) {
    o.ntsc = true;
    o.bFrames = false;
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec))
    Fail("cannot create the folder " + folder.string());
  const int w = o.width > 0 ? o.width : 720;
  const int h = o.height > 0 ? o.height : (o.ntsc ? 480 : 576);
  if (w < 64 || h < 64 || w > 4096 || h > 4096 || (w & 1) || (h & 1))
    Fail("unusable picture size");
  if (!(o.seconds > 0) || o.seconds > 4 * 3600)
    Fail("unusable length");
  const double fps = o.softPulldown ? 24000.0 / 1001.0 : o.ntsc ? 30000.0 / 1001.0 : 25.0;
  const int total = std::max(2, static_cast<int>(std::lround(o.seconds * fps)));

  SampleRip rip;
  rip.frames = total;
  rip.titleStart = SampleTitleStart(total);
  std::vector<std::uint8_t> stream;
  if (o.clockRestart && total >= 4) {
    const int half = total / 2 + 1;
    stream = EncodeRecording(o, w, h, 0, half, total);
    auto second = EncodeRecording(o, w, h, half, total - half, total);
    stream.insert(stream.end(), second.begin(), second.end());
    rip.clockRestartFrame = half;
  } else {
    stream = EncodeRecording(o, w, h, 0, total, total);
  }
  PlaceSequenceHeaderAt2084(stream);

  std::vector<size_t> cuts = SplitPoints(stream, std::max(1, o.vobCount));
  cuts.insert(cuts.begin(), 0);
  cuts.push_back(stream.size());
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    const fs::path vob = folder / ("VTS_01_" + std::to_string(i + 1) + ".VOB");
    WriteBytes(vob, stream.data() + cuts[i], cuts[i + 1] - cuts[i]);
    rip.vobs.push_back(vob);
  }

  // The project: header, count, the files with their character counts.
  std::string d2v = "DVD2AVIProjectFile\r\n" + std::to_string(rip.vobs.size()) + "\r\n";
  for (const auto &vob : rip.vobs) {
    const std::string path = fs::absolute(vob, ec).string();
    d2v += std::to_string(path.size()) + " " + path + "\r\n";
  }
  d2v += "\r\nStream_Type=1\r\niDCT_Algorithm=2 (1:MMX 2:SSEMMX 3:FPU 4:REF 5:SSE2MMX)\r\n";
  d2v += std::string("Frame_Rate=") + (o.ntsc ? "29970" : "25000") + "\r\nField_Operation=0\r\n";
  rip.d2v = folder / "VTS_01_1.d2v";
  WriteBytes(rip.d2v, reinterpret_cast<const std::uint8_t *>(d2v.data()), d2v.size());

  const std::string tv = o.ntsc ? "NTSC" : "PAL";
  std::string info = "Reelwork sample rip\r\nTV system: " + tv + "\r\nResolution: " + std::to_string(w) + "x" +
                     std::to_string(h) + "\r\nAspect ratio: 4:3\r\nAudio 1: AC3, 2ch, 48kHz, 448Kbps, English\r\n";
  rip.info = folder / "VTS_01_0 - Info.txt";
  WriteBytes(rip.info, reinterpret_cast<const std::uint8_t *>(info.data()), info.size());

  if (o.withAudioFile) {
    rip.ac3 = folder / "VTS_01_1 - 0x80 - Audio - AC3 - 2ch - 48kHz - DRC - English - DELAY 0ms - 448Kbps.ac3";
    if (!WriteSilentAc3(rip.ac3, o.seconds)) {
      // No AC3 encoder in this FFmpeg: frames of the right size that start
      // with the AC3 sync word stand in (only the file's name is read).
      std::vector<std::uint8_t> frames(1792 * static_cast<size_t>(std::max(1.0, o.seconds * 31.25)), 0);
      for (size_t i = 0; i + 1 < frames.size(); i += 1792) {
        frames[i] = 0x0B;
        frames[i + 1] = 0x77;
      }
      WriteBytes(rip.ac3, frames.data(), frames.size());
    }
  }
  return rip;
}

} // namespace reelwork::engine
