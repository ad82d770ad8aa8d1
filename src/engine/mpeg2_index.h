#pragma once
// The index of an MPEG-2 source: every picture's place in the files, its type
// and time, and which frame of a full sequential decode it becomes. Built in
// one pass over the packets without decoding; kept in memory and on disk.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/video.h"

namespace reelwork::engine {

enum PictureType : std::uint8_t { kPictureI = 1, kPictureP = 2, kPictureB = 3 };

constexpr std::uint32_t kNotShown = 0xFFFFFFFFu;

// How a picture is shown as fields (flags of IndexedPicture::fields).
constexpr std::uint8_t kTopFieldFirst = 1; // its top field is shown first
constexpr std::uint8_t kRepeatFirstField = 2; // its first field is shown again after the second (pulldown)

// One coded picture (a frame, or a pair of field pictures), in decode order.
struct IndexedPicture {
  std::uint64_t packetPos = 0; // packet holding the picture's first byte (with the headers before it)
  std::int64_t time = 0;       // display time in 90 kHz units, rising across clock restarts
  std::uint32_t size = 0;      // bytes of elementary stream, headers before the picture included
  std::uint32_t seekFrom = 0;  // decode index of the I-picture to start decoding at
  std::uint32_t frame = kNotShown; // frame number, kNotShown when a sequential decode drops it
  std::uint16_t payloadOffset = 0; // offset of the first byte in that packet's payload
  std::uint8_t type = 0;           // PictureType
  std::uint8_t fields = kTopFieldFirst; // kTopFieldFirst | kRepeatFirstField
};

struct Mpeg2Index {
  std::string key; // the files with their sizes and times, see IndexKey
  int width = 0;
  int height = 0;
  int rateNum = 25;
  int rateDen = 1;
  int aspectCode = 0;  // aspect_ratio_information of the sequence header
  int chromaFormat = 1; // 1 = 4:2:0, 2 = 4:2:2, 3 = 4:4:4
  bool topFieldFirst = true;
  bool elementaryStream = false;
  int videoStreamId = 0xE0;
  std::vector<IndexedPicture> pictures; // decode order
  std::vector<std::uint32_t> frames;    // frame number -> decode index
  // Frames on both sides of each place where the files are damaged (a gap
  // in the packets, a cut-off end): pictures were lost between them.
  std::vector<FrameRange> damaged;

  int frameCount() const { return static_cast<int>(frames.size()); }
  // Bytes of memory held, for the per-frame budget.
  size_t memoryBytes() const;
};

using IndexPtr = std::shared_ptr<const Mpeg2Index>;

// Identifies the files as they are now: absolute paths, sizes, modification
// times and a checksum of each file's first and last 64 KiB and of samples
// spread over it. Throws EngineError, also for a path that is no regular file.
std::string IndexKey(const std::vector<std::filesystem::path> &files);

// Scans the files (no decoding). Damage is stepped over: after a gap in the
// packets the scan starts again at the next sequence or GOP header, the
// pictures cut by the gap are dropped, and the place is kept in `damaged`;
// so is a cut-off end. Throws EngineError("mpeg2source: ...") for files that
// hold no MPEG-2 video.
IndexPtr BuildMpeg2Index(const std::vector<std::filesystem::path> &files, const std::string &key,
                         const ProgressFn &progress);

// The index of the files: from memory, else from the disk cache when it still
// matches the files, else built (and then kept in both places).
IndexPtr GetMpeg2Index(const std::vector<std::filesystem::path> &files, const ProgressFn &progress);

// The disk cache: $XDG_CACHE_HOME/reelwork, or ~/.cache/reelwork.
std::filesystem::path IndexCacheFolder();
std::filesystem::path IndexCachePath(const std::string &key);
std::string SerializeIndex(const Mpeg2Index &index);
// Null when the bytes are no valid index (wrong version, damaged, inconsistent).
std::shared_ptr<Mpeg2Index> DeserializeIndex(const std::string &bytes);
std::shared_ptr<Mpeg2Index> DeserializeIndex(const std::uint8_t *bytes, size_t size);

// The index built afresh from the files, ignoring (and replacing) what
// memory and disk hold: for a source that finds its index wrong.
IndexPtr RebuildMpeg2Index(const std::vector<std::filesystem::path> &files, const ProgressFn &progress);

// Drops the indexes kept in memory (tests use it to force the disk path).
void ForgetIndexesInMemory();

} // namespace reelwork::engine
