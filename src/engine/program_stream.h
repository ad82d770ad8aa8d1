#pragma once
// Reading MPEG program streams (VOB files) as one continuous byte stream and
// taking the video elementary stream out of their packs.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace reelwork::engine {

// Several files read as one: byte positions run on from one file into the
// next, so that a packet or picture crossing a file boundary reads whole.
class ConcatenatedFiles {
public:
  // Opens every file; throws EngineError("mpeg2source: cannot open ...").
  // Only regular files are opened: a folder, a named pipe or a device is
  // refused at once with its name (a pipe would block the reader).
  explicit ConcatenatedFiles(const std::vector<std::filesystem::path> &files);
  ~ConcatenatedFiles();
  ConcatenatedFiles(const ConcatenatedFiles &) = delete;
  ConcatenatedFiles &operator=(const ConcatenatedFiles &) = delete;

  std::uint64_t size() const { return total_; }
  // Reads up to `length` bytes at `position`; fewer at the end of the last file
  // or when a file has shrunk since it was opened.
  size_t read(std::uint64_t position, std::uint8_t *out, size_t length) const;
  // "NAME at byte N" for a position, for messages.
  std::string describe(std::uint64_t position) const;

private:
  struct Part {
    int fd = -1;
    std::uint64_t start = 0;
    std::uint64_t size = 0;
    std::filesystem::path path;
  };
  std::vector<Part> parts_;
  std::uint64_t total_ = 0;
};

// Throws EngineError("mpeg2source: PATH is a folder, not a video file") and
// the like when the path exists and is no regular file.
void RequireRegularFile(const std::filesystem::path &path);

// Readable bytes kept after the data of every chunk a reader hands out.
constexpr size_t kReadRoom = 64;

// One piece of video elementary stream: the payload of one PES packet (or a
// run of a bare elementary stream file).
struct VideoChunk {
  std::uint64_t packetPos = 0; // where its packet starts in the concatenated files
  const std::uint8_t *data = nullptr;
  size_t size = 0;
  bool hasPts = false;
  std::int64_t pts = 0; // 90 kHz
  bool hasDts = false;
  std::int64_t dts = 0;
};

// Walks the packs of a program stream from a position and hands out the
// payloads of one video stream in order. A file that starts with a sequence
// header instead of a pack is read as a bare video elementary stream.
class ProgramStreamReader {
public:
  explicit ProgramStreamReader(const ConcatenatedFiles &files, size_t bufferSize = 256 * 1024);
  ~ProgramStreamReader();
  ProgramStreamReader(const ProgramStreamReader &) = delete;
  ProgramStreamReader &operator=(const ProgramStreamReader &) = delete;

  // Continues reading at `position`, which must be the start of a pack or a
  // packet (or, in an elementary stream, any byte).
  void seek(std::uint64_t position);
  // The next video payload; false at the end of the stream.
  bool next(VideoChunk &chunk);

  bool elementaryStream() const { return elementary_; }
  int videoStreamId() const { return videoId_; }
  // Takes only this video stream (0xE0..0xEF); by default the first one met.
  void setVideoStreamId(int id) { videoId_ = id; }
  // Faults met so far: bytes skipped to find the next pack again, the number
  // of places where that happened and where the last one began, and the
  // position where the stream ended inside a packet (0 when it did not).
  std::uint64_t skippedBytes() const { return skipped_; }
  std::uint64_t gapCount() const { return gaps_; }
  std::uint64_t lastGapFrom() const { return lastGapFrom_; }
  std::uint64_t truncatedAt() const { return truncatedAt_; }
  std::uint64_t position() const { return bufPos_ + cursor_; }
  // True when the stream does not start with a pack and none was found in
  // its first kPackSearchAtStart bytes: no program stream (reading stopped).
  bool noPackAtStart() const { return noPackAtStart_; }

private:
  // Makes at least `n` bytes available from the cursor; false when the stream
  // ends first.
  bool ensure(size_t n);
  void resync();

  const ConcatenatedFiles &files_;
  std::vector<std::uint8_t> buf_; // size_ bytes to fill, then kReadRoom bytes of room
  size_t size_ = 0;
  const std::uint8_t *data_ = nullptr; // buf_
  std::uint64_t bufPos_ = 0; // stream position of data_[0]
  size_t bufLen_ = 0;
  size_t cursor_ = 0;
  bool elementary_ = false;
  int videoId_ = 0; // 0xE0..0xEF once known
  std::uint64_t skipped_ = 0;
  std::uint64_t truncatedAt_ = 0;
  std::uint64_t gaps_ = 0;
  std::uint64_t lastGapFrom_ = 0;
  bool sawPack_ = false;
  bool noPackAtStart_ = false;
};

// How far into the stream a first pack is looked for before the stream is
// taken for something else than MPEG (a damaged start of a few sectors still
// opens; a large file of another kind is refused without reading it all).
constexpr std::uint64_t kPackSearchAtStart = 4u << 20;

// The first position i >= from where a start code other than a slice's
// begins (00 00 01 xx, xx = 0x00 or 0xB0..0xFF) with its code byte before n
// (i + 3 < n), or n when there is none. Looks at 64 bytes at a time where the
// processor can (16 at least), and so may read up to kReadRoom bytes past
// p + n: the caller must have them readable (a chunk's data from
// ProgramStreamReader has).
size_t FindHeaderStartCode(const std::uint8_t *p, size_t from, size_t n);

// Chunk length used for bare elementary streams; positions within a chunk
// must fit 16 bits.
constexpr size_t kElementaryChunk = 32 * 1024;

// Bytes after a start code (00 00 01 xx) that the stream scanners read: the
// fixed part of a sequence header, a sequence extension, a GOP header or a
// picture header; 0 for other codes.
size_t StartCodeHeaderBytes(std::uint8_t code);

// The frame rate of a sequence header's frame_rate_code with its extension's
// numerator and denominator, in lowest terms (unknown codes count as 25).
void FrameRateOf(int code, int extN, int extD, int &num, int &den);

// What the stream scanners keep of a stream's first sequence header and the
// sequence extension after it: picture size, aspect, rate and chroma format.
struct SequenceFacts {
  bool haveSequence = false;
  bool haveExtension = false;
  int width = 0, height = 0, aspect = 0, rateCode = 0;
  int rateExtN = 0, rateExtD = 0;
  int chroma = 1; // chroma_format: 1 = 4:2:0, 2 = 4:2:2, 3 = 4:4:4

  // `h`: the bytes after 00 00 01 B3. Only the first header counts.
  void readSequenceHeader(const std::uint8_t *h);
  // `h`: the bytes after 00 00 01 B5 of a sequence extension (id 1). Only
  // the first one after the first header counts.
  void readSequenceExtension(const std::uint8_t *h);
  void frameRate(int &num, int &den) const { FrameRateOf(rateCode, rateExtN, rateExtD, num, den); }
};

} // namespace reelwork::engine
