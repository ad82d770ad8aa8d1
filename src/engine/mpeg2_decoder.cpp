#include "engine/mpeg2_decoder.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "engine/clip.h"

namespace reelwork::engine {

namespace {

int ClearedBuffer(AVCodecContext *ctx, AVFrame *frame, int flags) {
  const int r = avcodec_default_get_buffer2(ctx, frame, flags);
  if (r < 0 || !*static_cast<const bool *>(ctx->opaque))
    return r;
  for (AVBufferRef *buf : frame->buf)
    if (buf)
      std::memset(buf->data, 0, buf->size);
  return 0;
}

} // namespace

AVCodecContext *OpenMpeg2Decoder(const bool *clearBuffers) {
  // The decoder reports each damaged place it conceals; the index names
  // them for the user already, so its messages would only flood stderr.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
  if (!codec)
    throw EngineError("mpeg2source: this FFmpeg has no MPEG-2 decoder");
  AVCodecContext *ctx = avcodec_alloc_context3(codec);
  if (!ctx)
    throw EngineError("mpeg2source: out of memory");
  ctx->thread_count = 1; // frame threads would add delay; one picture in, one out
  if (clearBuffers) {
    ctx->opaque = const_cast<bool *>(clearBuffers);
    ctx->get_buffer2 = ClearedBuffer;
  }
  if (int r = avcodec_open2(ctx, codec, nullptr); r < 0) {
    avcodec_free_context(&ctx);
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(r, text, sizeof(text));
    throw EngineError(std::string("mpeg2source: cannot start the MPEG-2 decoder: ") + text);
  }
  return ctx;
}

void ReadPictureBytes(ProgramStreamReader &reader, const IndexedPicture &picture, std::vector<std::uint8_t> &out) {
  out.clear();
  reader.seek(picture.packetPos);
  VideoChunk chunk;
  size_t skip = picture.payloadOffset;
  while (out.size() < picture.size && reader.next(chunk)) {
    if (chunk.size < skip)
      break;
    const size_t take = std::min<size_t>(chunk.size - skip, picture.size - out.size());
    out.insert(out.end(), chunk.data + skip, chunk.data + skip + take);
    skip = 0;
  }
}

std::vector<std::uint32_t> PicturesWithoutOutput(const ConcatenatedFiles &files, const Mpeg2Index &index,
                                                 const std::vector<std::uint32_t> &pictures) {
  // The pictures to look for, by the picture decoding starts from.
  std::map<std::uint32_t, std::set<std::uint32_t>> byStart;
  for (std::uint32_t d : pictures)
    byStart[index.pictures[d].seekFrom].insert(d);
  ProgramStreamReader reader(files, 256 * 1024);
  reader.setVideoStreamId(index.elementaryStream ? 0 : index.videoStreamId);
  AVCodecContext *ctx = OpenMpeg2Decoder();
  AVPacket *packet = av_packet_alloc();
  AVFrame *frame = av_frame_alloc();
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint32_t> silent;
  for (auto &[start, wanted] : byStart) {
    avcodec_flush_buffers(ctx);
    std::set<std::uint32_t> seen;
    auto take = [&] {
      while (avcodec_receive_frame(ctx, frame) == 0) {
        if (frame->pts != AV_NOPTS_VALUE)
          seen.insert(static_cast<std::uint32_t>(frame->pts));
        av_frame_unref(frame);
      }
    };
    // The references from the start on and the pictures looked for, as the
    // source feeds them; then the decoder is drained of what it holds back.
    const std::uint32_t last = *wanted.rbegin();
    for (std::uint32_t d = start; d <= last; ++d) {
      const IndexedPicture &pic = index.pictures[d];
      if (pic.type == 0 || (pic.type == kPictureB && !wanted.count(d)))
        continue;
      ReadPictureBytes(reader, pic, bytes);
      if (bytes.size() != pic.size || av_new_packet(packet, static_cast<int>(bytes.size())) < 0)
        continue;
      std::memcpy(packet->data, bytes.data(), bytes.size());
      packet->pts = d;
      avcodec_send_packet(ctx, packet);
      av_packet_unref(packet);
      take();
    }
    avcodec_send_packet(ctx, nullptr);
    take();
    for (std::uint32_t d : wanted)
      if (!seen.count(d))
        silent.push_back(d);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&ctx);
  return silent;
}

} // namespace reelwork::engine
