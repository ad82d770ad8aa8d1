#include "cli/image_files.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "common/atomic_file.h"

namespace reelwork::cli {

bool WritePpm(const std::string &path, const RgbImage &image, std::string *error) {
  std::string bytes = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
  bytes.append(reinterpret_cast<const char *>(image.pixels.data()), image.pixels.size());
  return WriteFileAtomically(path, bytes, error);
}

bool WritePng(const std::string &path, const RgbImage &image, std::string *error) {
  const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!codec) {
    if (error)
      *error = "this FFmpeg has no PNG encoder";
    return false;
  }
  AVCodecContext *enc = avcodec_alloc_context3(codec);
  AVFrame *frame = av_frame_alloc();
  AVPacket *packet = av_packet_alloc();
  std::string bytes;
  bool ok = false;
  enc->width = image.width;
  enc->height = image.height;
  enc->pix_fmt = AV_PIX_FMT_RGB24;
  enc->time_base = {1, 25};
  if (avcodec_open2(enc, codec, nullptr) >= 0) {
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = image.width;
    frame->height = image.height;
    if (av_frame_get_buffer(frame, 0) >= 0) {
      for (int y = 0; y < image.height; ++y)
        std::memcpy(frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0], image.at(0, y),
                    static_cast<size_t>(image.width) * 3);
      if (avcodec_send_frame(enc, frame) >= 0 && avcodec_send_frame(enc, nullptr) >= 0) {
        while (avcodec_receive_packet(enc, packet) == 0) {
          bytes.append(reinterpret_cast<const char *>(packet->data), static_cast<size_t>(packet->size));
          av_packet_unref(packet);
        }
        ok = !bytes.empty();
      }
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&enc);
  if (!ok) {
    if (error)
      *error = "cannot encode the PNG picture";
    return false;
  }
  return WriteFileAtomically(path, bytes, error);
}

} // namespace reelwork::cli
