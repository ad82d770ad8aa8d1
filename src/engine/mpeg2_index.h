#pragma once
// The index of an MPEG-2 source: every picture's place in the files, its type
// and time, and which frame of a full sequential decode it becomes. Built in
// one pass over the packets without decoding; kept in memory and on disk.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
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

// Thrown when a record of an index loaded from the disk cache turns out
// damaged or inconsistent the first time it is read: the index must be built
// again from the files.
class StaleIndexError : public EngineError {
public:
  StaleIndexError() : EngineError("mpeg2source: the stored index is damaged") {}
};

// The checks of a table that lies in a cache file: records are taken in
// blocks of kBlockRecords, and each block is read from the file and checked
// (checksum and bounds) the first time one of its records is read, so that
// opening costs the same for any size and no record is used unchecked.
class StoredTableCheck {
public:
  static constexpr size_t kBlockShift = 10;
  static constexpr size_t kBlockRecords = size_t{1} << kBlockShift;

  explicit StoredTableCheck(size_t records)
      : blocks_((records + kBlockRecords - 1) >> kBlockShift), state_(new std::atomic<std::uint8_t>[blocks_]) {
    for (size_t b = 0; b < blocks_; ++b)
      state_[b].store(0, std::memory_order_relaxed);
  }
  virtual ~StoredTableCheck() = default;

  // Throws StaleIndexError unless record i exists and its block is sound.
  void need(size_t i, size_t records) const {
    if (i >= records)
      throw StaleIndexError();
    const size_t b = i >> kBlockShift;
    if (state_[b].load(std::memory_order_acquire) != kSound)
      settle(b);
  }
  void needAll() const {
    for (size_t b = 0; b < blocks_; ++b)
      if (state_[b].load(std::memory_order_acquire) != kSound)
        settle(b);
  }

protected:
  // Whether block b passes its checks (called once or more per block).
  virtual bool sound(size_t block) const = 0;

private:
  static constexpr std::uint8_t kSound = 1, kBroken = 2;
  void settle(size_t b) const {
    std::uint8_t s = state_[b].load(std::memory_order_acquire);
    if (s == 0) {
      s = sound(b) ? kSound : kBroken;
      state_[b].store(s, std::memory_order_release);
    }
    if (s != kSound)
      throw StaleIndexError();
  }
  size_t blocks_;
  std::unique_ptr<std::atomic<std::uint8_t>[]> state_;
};

// A table of an index: owned records (built in memory), or a view of records
// of a cache file, read through its StoredTableCheck. Reading a view
// never goes past its end nor uses an unchecked record; changing it copies
// it into memory first.
template <typename T> class IndexTable {
public:
  IndexTable() = default;
  IndexTable(std::vector<T> records) : owned_(std::move(records)) {}
  IndexTable(std::shared_ptr<const StoredTableCheck> check, const T *records, size_t count)
      : check_(std::move(check)), view_(records), viewSize_(count) {}
  IndexTable &operator=(std::vector<T> records) {
    owned_ = std::move(records);
    dropView();
    return *this;
  }

  size_t size() const { return check_ ? viewSize_ : owned_.size(); }
  bool empty() const { return size() == 0; }
  bool mapped() const { return static_cast<bool>(check_); }
  size_t capacity() const { return check_ ? viewSize_ : owned_.capacity(); }

  const T &operator[](size_t i) const {
    if (check_) {
      check_->need(i, viewSize_);
      return view_[i];
    }
    return owned_[i];
  }
  T &operator[](size_t i) { return own()[i]; }
  const T &front() const { return (*this)[0]; }
  const T &back() const { return (*this)[size() - 1]; }
  // Whole-table access checks every block of a view first.
  const T *data() const {
    if (check_) {
      check_->needAll();
      return view_;
    }
    return owned_.data();
  }
  const T *begin() const { return data(); }
  const T *end() const { return data() + size(); }

  // Changing access, as a vector gives it (a view is copied first).
  T *data() { return own().data(); }
  T *begin() { return own().data(); }
  T *end() { return own().data() + owned_.size(); }
  T &front() { return own().front(); }
  T &back() { return own().back(); }
  void assign(size_t n, const T &value) { own().assign(n, value); }
  void resize(size_t n) { own().resize(n); }
  void reserve(size_t n) { own().reserve(n); }
  void clear() { own().clear(); }
  void push_back(const T &value) { own().push_back(value); }
  template <typename... A> T &emplace_back(A &&...args) { return own().emplace_back(std::forward<A>(args)...); }
  void shrink_to_fit() { own().shrink_to_fit(); }

  friend bool operator==(const IndexTable &a, const IndexTable &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }

private:
  std::vector<T> &own() {
    if (check_) {
      const T *records = std::as_const(*this).data();
      owned_.assign(records, records + viewSize_);
      dropView();
    }
    return owned_;
  }
  void dropView() {
    check_.reset();
    view_ = nullptr;
    viewSize_ = 0;
  }

  std::vector<T> owned_;
  std::shared_ptr<const StoredTableCheck> check_;
  const T *view_ = nullptr;
  size_t viewSize_ = 0;
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
  // Whether a shown picture repeats a field: 1 or 0 when known without
  // reading the tables (a stored index keeps it in its header), -1 otherwise.
  int repeatsFields = -1;
  IndexTable<IndexedPicture> pictures; // decode order
  IndexTable<std::uint32_t> frames;    // frame number -> decode index
  // Frames near each place where the files are damaged (a gap in the
  // packets, a cut-off end): those on both sides of pictures that may have
  // been lost, and those decoded from damaged bytes or from a reference
  // spoilt by damage.
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

// Scans the files. Damage is read through as the decoder reads it: after a
// gap in the packets the picture cut by it goes on at the next pack, pictures
// whose headers were lost are lost, and the frames near the place are kept
// in `damaged`; so is a cut-off end, whose last picture is dropped. Damaged
// pictures are decoded once to drop those the decoder gives up on; nothing
// else is decoded. Throws EngineError("mpeg2source: ...") for files that
// hold no MPEG-2 video.
IndexPtr BuildMpeg2Index(const std::vector<std::filesystem::path> &files, const std::string &key,
                         const ProgressFn &progress);

// The index of the files: from memory, else from the disk cache when it still
// matches the files, else built (and then kept in both places).
IndexPtr GetMpeg2Index(const std::vector<std::filesystem::path> &files, const ProgressFn &progress);

// The index of the files when memory or the disk cache holds it, else null
// (nothing is built).
IndexPtr FindMpeg2Index(const std::vector<std::filesystem::path> &files);

class ConcatenatedFiles;

// A picture found by a scan of part of the files (see ScanGroupAt).
struct LocatedPicture {
  std::uint64_t packetPos = 0; // as IndexedPicture has them
  std::uint16_t payloadOffset = 0;
  std::uint32_t size = 0;
  std::uint8_t type = 0; // as coded: 1 I, 2 P, 3 B
  std::uint8_t fields = kTopFieldFirst;
};

struct GroupScan {
  std::vector<LocatedPicture> pictures; // in decode order, from the first picture header met
  size_t first = 0;      // the group's I-picture in `pictures`; pictures.size() when none was found
  bool damaged = false;  // the scan met damage (a gap in the packs, a cut-off packet, a huge picture)
  bool ended = false;    // the scan reached the end of the files
  // The first sequence header met and the first picture's field order, as a
  // scan of all of the files from here would take them.
  bool haveSequence = false;
  bool haveExtension = false;
  int width = 0, height = 0, aspectCode = 0, chromaFormat = 1, rateNum = 25, rateDen = 1;
  bool topFieldFirst = true;
  bool elementaryStream = false;
  int videoStreamId = 0;
};

// Scans the files from `from` (the start of a pack, or any byte of a bare
// video stream) the way BuildMpeg2Index scans them, without building an
// index: passes over `skipIntra` I-pictures, takes the next I-picture and
// the `count` - 1 pictures after it (one group of a project's data lines),
// and stops once the picture after them is met (their sizes are known then),
// at the end of the files, or after `maxBytes`. `videoStreamId` 0 takes the
// first video stream met.
GroupScan ScanGroupAt(const ConcatenatedFiles &files, std::uint64_t from, int skipIntra, size_t count,
                      std::uint64_t maxBytes, int videoStreamId);

// How a picture is known before its place in the files is: its type, how it
// is shown as fields, and whether its group of pictures is closed.
struct PictureOutline {
  std::uint8_t type = 0;
  std::uint8_t fields = kTopFieldFirst;
  bool closedGop = false;
};

// The pictures' frame numbers and seek points (`pictures` in decode order,
// the first an I-picture), as BuildMpeg2Index numbers the pictures it scans;
// their places in the files are left empty.
void NumberOutlinedPictures(const std::vector<PictureOutline> &pictures, Mpeg2Index &index);

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
