#include "engine/mpeg2_index.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <sstream>

#include "common/atomic_file.h"
#include "engine/program_stream.h"

namespace fs = std::filesystem;

namespace reelwork::engine {

size_t Mpeg2Index::memoryBytes() const {
  return sizeof(*this) + key.capacity() + pictures.capacity() * sizeof(IndexedPicture) +
         frames.capacity() * sizeof(std::uint32_t);
}

namespace {

[[noreturn]] void Fail(const std::string &reason) { throw EngineError("mpeg2source: " + reason); }

std::uint64_t Fnv1a(const void *data, size_t size, std::uint64_t hash = 1469598103934665603ull) {
  const auto *p = static_cast<const std::uint8_t *>(data);
  for (size_t i = 0; i < size; ++i) {
    hash ^= p[i];
    hash *= 1099511628211ull;
  }
  return hash;
}

// What the scan learns of one picture before frame numbers are known.
struct ScannedPicture {
  std::uint64_t esPos = 0;
  std::uint64_t packetPos = 0;
  std::uint16_t payloadOffset = 0;
  std::uint8_t type = 0;
  bool closedGop = false;
  bool fieldPicture = false;
  int fields = 1;
  std::uint8_t showFlags = kTopFieldFirst; // how the picture is shown as fields
  int temporalReference = 0;
  bool hasPts = false;
  std::int64_t pts = 0;
  std::uint64_t size = 0;
};

struct ChunkSpan {
  std::uint64_t esStart = 0;
  std::uint64_t size = 0;
  std::uint64_t packetPos = 0;
  bool hasPts = false;
  bool ptsClaimed = false;
  std::int64_t pts = 0;
};

// Splits the video elementary stream into pictures, finding start codes.
class Scanner {
public:
  std::vector<ScannedPicture> pictures;
  bool haveSequence = false;
  bool haveExtension = false;
  int width = 0, height = 0, aspect = 0, rateCode = 0;
  int rateExtN = 0, rateExtD = 0;
  long repeatedFields = 0; // frame pictures with repeat_first_field set
  int chroma = 1;
  bool topFieldFirst = true;
  bool sawPictureExtension = false;

  void add(const VideoChunk &chunk) {
    const std::uint64_t start = esBase_ + es_.size();
    spans_.push_back(ChunkSpan{start, chunk.size, chunk.packetPos, chunk.hasPts, false, chunk.pts});
    es_.insert(es_.end(), chunk.data, chunk.data + chunk.size);
    scan(false);
  }

  void finish() {
    scan(true);
    closePicture(esBase_ + es_.size());
  }

private:
  static size_t HeaderBytes(std::uint8_t code) {
    switch (code) {
    case 0xB3: return 4;
    case 0xB5: return 6;
    case 0xB8: return 4;
    case 0x00: return 2;
    default: return 0;
    }
  }

  void scan(bool final) {
    const std::uint8_t *p = es_.data();
    const size_t n = es_.size();
    size_t i = static_cast<size_t>(scanPos_ - esBase_);
    while (i + 3 < n) {
      if (p[i + 2] > 1) {
        i += 3;
        continue;
      }
      if (p[i + 2] != 1 || p[i + 1] != 0 || p[i] != 0) {
        ++i;
        continue;
      }
      const std::uint8_t code = p[i + 3];
      const size_t need = HeaderBytes(code);
      if (i + 4 + need > n) {
        if (!final)
          break;
        i += 4; // a header cut off by the end of the stream: nothing to learn
        continue;
      }
      handle(code, p + i + 4, esBase_ + i);
      i += 4;
    }
    if (i + 3 >= n && final)
      i = n;
    scanPos_ = esBase_ + std::min(i, n);
    // Drop what is no longer needed: bytes before the scan position and chunk
    // spans that end before it (positions are kept, not bytes).
    if (scanPos_ - esBase_ > (1u << 20)) {
      const size_t drop = static_cast<size_t>(scanPos_ - esBase_);
      es_.erase(es_.begin(), es_.begin() + static_cast<std::ptrdiff_t>(drop));
      esBase_ += drop;
    }
    while (spans_.size() > 4 && spans_[1].esStart + 8 < std::min(scanPos_, auFloor()))
      spans_.pop_front();
  }

  std::uint64_t auFloor() const {
    std::uint64_t floor = scanPos_;
    if (headerStart_)
      floor = std::min(floor, *headerStart_);
    return floor;
  }

  ChunkSpan *spanOf(std::uint64_t pos) {
    for (auto it = spans_.rbegin(); it != spans_.rend(); ++it)
      if (it->esStart <= pos)
        return &*it;
    return spans_.empty() ? nullptr : &spans_.front();
  }

  void closePicture(std::uint64_t end) {
    if (!open_)
      return;
    auto &pic = pictures.back();
    pic.size = end - pic.esPos;
    open_ = false;
  }

  void handle(std::uint8_t code, const std::uint8_t *h, std::uint64_t pos) {
    if (code == 0xB3) {
      closePicture(pos);
      if (!headerStart_)
        headerStart_ = pos;
      if (!haveSequence) {
        haveSequence = true;
        width = (h[0] << 4) | (h[1] >> 4);
        height = ((h[1] & 0x0F) << 8) | h[2];
        aspect = h[3] >> 4;
        rateCode = h[3] & 0x0F;
      }
    } else if (code == 0xB8) {
      closePicture(pos);
      if (!headerStart_)
        headerStart_ = pos;
      closedGop_ = (h[3] >> 6) & 1;
    } else if (code == 0xB5) {
      const int id = h[0] >> 4;
      if (id == 1 && !haveExtension && haveSequence) {
        haveExtension = true;
        chroma = (h[1] >> 1) & 3;
        width |= (((h[1] & 1) << 1) | (h[2] >> 7)) << 12;
        height |= ((h[2] >> 5) & 3) << 12;
        rateExtN = (h[5] >> 5) & 3;
        rateExtD = h[5] & 31;
      } else if (id == 8 && open_) {
        auto &pic = pictures.back();
        const int structure = h[2] & 3;
        if (pic.fields == 1 && structure != 3)
          pic.fieldPicture = true;
        if (structure == 3 && ((h[3] >> 1) & 1))
          ++repeatedFields;
        if (pic.fields == 1) {
          const bool top = structure == 3 ? (h[3] >> 7) != 0 : structure == 1;
          const bool repeat = structure == 3 && ((h[3] >> 1) & 1);
          pic.showFlags = static_cast<std::uint8_t>((top ? kTopFieldFirst : 0) | (repeat ? kRepeatFirstField : 0));
        }
        if (!sawPictureExtension) {
          sawPictureExtension = true;
          topFieldFirst = structure == 3 ? (h[3] >> 7) != 0 : structure == 1;
        }
      }
    } else if (code == 0x00) {
      if (open_ && pictures.back().fieldPicture && pictures.back().fields == 1) {
        pictures.back().fields = 2; // the second field of the same frame
        return;
      }
      closePicture(pos);
      ScannedPicture pic;
      pic.esPos = headerStart_.value_or(pos);
      headerStart_.reset();
      pic.temporalReference = (h[0] << 2) | (h[1] >> 6);
      pic.type = static_cast<std::uint8_t>((h[1] >> 3) & 7);
      pic.closedGop = closedGop_;
      if (ChunkSpan *span = spanOf(pos); span && span->hasPts && !span->ptsClaimed) {
        span->ptsClaimed = true;
        pic.hasPts = true;
        pic.pts = span->pts;
      }
      if (ChunkSpan *span = spanOf(pic.esPos)) {
        pic.packetPos = span->packetPos;
        pic.payloadOffset = static_cast<std::uint16_t>(pic.esPos - span->esStart);
      }
      pictures.push_back(pic);
      open_ = true;
    }
  }

  std::vector<std::uint8_t> es_;
  std::uint64_t esBase_ = 0;
  std::uint64_t scanPos_ = 0;
  std::deque<ChunkSpan> spans_;
  std::optional<std::uint64_t> headerStart_;
  bool closedGop_ = false;
  bool open_ = false;
};

void FrameRateOf(int code, int extN, int extD, int &num, int &den) {
  static const int table[9][2] = {{25, 1},    {24000, 1001}, {24, 1}, {25, 1},       {30000, 1001},
                                  {30, 1},    {50, 1},       {60000, 1001}, {60, 1}};
  const int c = (code >= 1 && code <= 8) ? code : 3;
  long long n = static_cast<long long>(table[c][0]) * (extN + 1);
  long long d = static_cast<long long>(table[c][1]) * (extD + 1);
  const long long g = std::gcd(n, d);
  num = static_cast<int>(n / g);
  den = static_cast<int>(d / g);
}

// Frame numbers as a sequential decode hands the pictures out, and for each
// picture the I-picture from which decoding reproduces it.
void NumberFrames(const std::vector<ScannedPicture> &scanned, Mpeg2Index &index) {
  const size_t count = scanned.size();
  index.pictures.assign(count, IndexedPicture{});
  std::vector<std::uint32_t> frames;
  frames.reserve(count);
  long last = -1, next = -1, currentI = -1, previousI = -1;
  auto show = [&](long d) {
    index.pictures[static_cast<size_t>(d)].frame = static_cast<std::uint32_t>(frames.size());
    frames.push_back(static_cast<std::uint32_t>(d));
  };
  for (size_t i = 0; i < count; ++i) {
    const auto &s = scanned[i];
    auto &pic = index.pictures[i];
    pic.packetPos = s.packetPos;
    pic.payloadOffset = s.payloadOffset;
    pic.fields = s.showFlags;
    pic.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(s.size, 0xFFFFFFFFu));
    pic.type = s.type == 4 ? static_cast<std::uint8_t>(kPictureI) : s.type; // MPEG-1 D-pictures stand alone
    const long d = static_cast<long>(i);
    if (pic.type < kPictureI || pic.type > kPictureB || (currentI < 0 && pic.type != kPictureI)) {
      pic.type = 0; // not decodable here: never fed, never shown
      continue;
    }
    if (pic.type != kPictureB) {
      if (pic.type == kPictureI) {
        previousI = currentI;
        currentI = d;
      }
      pic.seekFrom = static_cast<std::uint32_t>(currentI);
      if (next >= 0)
        show(next);
      last = next;
      next = d;
    } else {
      if (last < 0 && !s.closedGop)
        continue; // no forward reference yet: the decoder skips it
      // A B-picture between an I-picture and the next reference leans on the
      // previous group unless its group is closed.
      const bool leading = next == currentI;
      pic.seekFrom = static_cast<std::uint32_t>(leading && !s.closedGop && previousI >= 0 ? previousI : currentI);
      show(d);
    }
  }
  if (next >= 0)
    show(next);
  index.frames = std::move(frames);
}

// Display times from the packets' time stamps, made to rise steadily across
// clock restarts; pictures without a stamp get one from their neighbours.
void AssignTimes(const std::vector<ScannedPicture> &scanned, Mpeg2Index &index) {
  const double duration = 90000.0 * index.rateDen / index.rateNum;
  // Stamps of pictures without one, from the temporal reference of a
  // stamped picture in the same group.
  std::vector<std::optional<double>> stamp(scanned.size());
  size_t groupStart = 0;
  for (size_t i = 0; i <= scanned.size(); ++i) {
    if (i == scanned.size() || (i > groupStart && scanned[i].type == kPictureI)) {
      std::optional<size_t> anchor;
      for (size_t j = groupStart; j < i && !anchor; ++j)
        if (scanned[j].hasPts)
          anchor = j;
      for (size_t j = groupStart; j < i; ++j) {
        if (scanned[j].hasPts)
          stamp[j] = static_cast<double>(scanned[j].pts);
        else if (anchor)
          stamp[j] = static_cast<double>(scanned[*anchor].pts) +
                     (scanned[j].temporalReference - scanned[*anchor].temporalReference) * duration;
      }
      groupStart = i;
    }
  }
  double offset = 0, previous = 0;
  bool first = true;
  for (std::uint32_t d : index.frames) {
    const double expected = first ? 0.0 : previous + duration;
    double t = expected;
    if (stamp[d]) {
      t = *stamp[d] + offset;
      if (first) {
        offset = 0;
      } else if (t <= previous || std::fabs(t - expected) > 30 * duration) {
        offset = expected - *stamp[d]; // the clock restarted or jumped
        t = expected;
      }
    }
    index.pictures[d].time = static_cast<std::int64_t>(std::llround(t));
    previous = t;
    first = false;
  }
}

} // namespace

std::string IndexKey(const std::vector<fs::path> &files) {
  std::ostringstream key;
  key << "reelwork-mpeg2-index 1\n";
  for (const auto &file : files) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
      Fail("cannot find the video file " + file.string());
    std::uint64_t sum = 0;
    {
      std::ifstream in(file, std::ios::binary);
      std::string head(64 * 1024, '\0');
      in.read(head.data(), static_cast<std::streamsize>(head.size()));
      sum = Fnv1a(head.data(), static_cast<size_t>(in.gcount()));
    }
    key << (ec ? file.string() : absolute.lexically_normal().string()) << '\n'
        << static_cast<long long>(st.st_size) << ' ' << static_cast<long long>(st.st_mtim.tv_sec) << '.'
        << static_cast<long long>(st.st_mtim.tv_nsec) << ' ' << std::hex << sum << std::dec << '\n';
  }
  return key.str();
}

IndexPtr BuildMpeg2Index(const std::vector<fs::path> &files, const std::string &key,
                         const ProgressFn &progress) {
  if (files.empty())
    Fail("the project lists no video files");
  ConcatenatedFiles source(files);
  if (source.size() == 0)
    Fail(files.front().filename().string() + " is empty");
  ProgramStreamReader reader(source, 1 << 20);
  Scanner scanner;
  VideoChunk chunk;
  std::uint64_t nextReport = 0;
  const std::uint64_t step = std::max<std::uint64_t>(source.size() / 200, 1 << 20);
  if (progress)
    progress(0.0);
  while (reader.next(chunk)) {
    scanner.add(chunk);
    if (progress && chunk.packetPos >= nextReport) {
      progress(static_cast<double>(chunk.packetPos) / static_cast<double>(source.size()));
      nextReport = chunk.packetPos + step;
    }
    if (reader.skippedBytes() > 0)
      break;
  }
  if (reader.skippedBytes() > 0 && reader.firstSkipPos() == 0)
    Fail(files.front().filename().string() + " is no MPEG-2 program stream (no pack header at its start)");
  if (reader.skippedBytes() > 0)
    Fail("the video stream is corrupt: no MPEG program stream pack at " + source.describe(reader.firstSkipPos()));
  if (reader.truncatedAt() != 0)
    Fail("the video stream is truncated: its last packet is cut off at " + source.describe(reader.truncatedAt()));
  scanner.finish();
  if (!scanner.haveSequence || scanner.pictures.empty())
    Fail(files.size() == 1 ? files.front().filename().string() + " holds no MPEG-2 video"
                           : "the files hold no MPEG-2 video");
  if (!scanner.haveExtension)
    Fail("the video is MPEG-1, not MPEG-2");
  if (scanner.width <= 0 || scanner.height <= 0 || scanner.width > 8192 || scanner.height > 8192)
    Fail("the video's sequence header gives no usable picture size");

  auto index = std::make_shared<Mpeg2Index>();
  index->key = key;
  index->width = scanner.width;
  index->height = scanner.height;
  index->aspectCode = scanner.aspect;
  index->chromaFormat = scanner.chroma;
  index->topFieldFirst = scanner.topFieldFirst;
  index->elementaryStream = reader.elementaryStream();
  index->videoStreamId = reader.videoStreamId();
  FrameRateOf(scanner.rateCode, scanner.rateExtN, scanner.rateExtD, index->rateNum, index->rateDen);
  // Film on NTSC discs is often stored at 24 pictures a second with every
  // other picture repeating a field (3:2 pulldown by flags). The decoder
  // hands out the stored pictures, so their rate is four fifths of the
  // sequence header's.
  const double repeatShare = static_cast<double>(scanner.repeatedFields) / static_cast<double>(scanner.pictures.size());
  if (repeatShare > 0.4 && repeatShare < 0.6 && index->rateDen == 1001 && index->rateNum == 30000)
    index->rateNum = 24000;
  for (const auto &pic : scanner.pictures)
    if (pic.size > (64u << 20))
      Fail("the video stream is corrupt: a picture of more than 64 MiB");
  NumberFrames(scanner.pictures, *index);
  if (index->frames.empty())
    Fail("the video has no picture that can be decoded (no I-picture)");
  AssignTimes(scanner.pictures, *index);
  index->pictures.shrink_to_fit();
  if (progress)
    progress(1.0);
  return index;
}

// ---------------------------------------------------------------------------
// Kept on disk: a small header, the pictures, and a checksum of it all.

namespace {

constexpr char kMagic[8] = {'R', 'W', 'I', 'D', 'X', '0', '0', '2'};

template <typename T> void Put(std::string &out, T value) {
  out.append(reinterpret_cast<const char *>(&value), sizeof(value));
}

class Cursor {
public:
  explicit Cursor(const std::string &bytes) : bytes_(bytes) {}
  template <typename T> bool get(T &value) {
    if (bytes_.size() - at_ < sizeof(T))
      return false;
    std::memcpy(&value, bytes_.data() + at_, sizeof(T));
    at_ += sizeof(T);
    return true;
  }
  bool get(std::string &s, size_t length) {
    if (bytes_.size() - at_ < length)
      return false;
    s.assign(bytes_, at_, length);
    at_ += length;
    return true;
  }
  size_t at() const { return at_; }

private:
  const std::string &bytes_;
  size_t at_ = 0;
};

} // namespace

std::string SerializeIndex(const Mpeg2Index &index) {
  std::string out(kMagic, sizeof(kMagic));
  Put<std::uint32_t>(out, static_cast<std::uint32_t>(index.key.size()));
  out += index.key;
  for (int v : {index.width, index.height, index.rateNum, index.rateDen, index.aspectCode, index.chromaFormat,
                index.topFieldFirst ? 1 : 0, index.elementaryStream ? 1 : 0, index.videoStreamId})
    Put<std::int32_t>(out, v);
  Put<std::uint64_t>(out, index.pictures.size());
  Put<std::uint64_t>(out, index.frames.size());
  for (const auto &p : index.pictures) {
    Put(out, p.packetPos);
    Put(out, p.time);
    Put(out, p.size);
    Put(out, p.seekFrom);
    Put(out, p.frame);
    Put(out, p.payloadOffset);
    Put(out, p.type);
    Put(out, p.fields);
  }
  Put<std::uint64_t>(out, Fnv1a(out.data(), out.size()));
  return out;
}

std::shared_ptr<Mpeg2Index> DeserializeIndex(const std::string &bytes) {
  if (bytes.size() < sizeof(kMagic) + 8 || std::memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0)
    return nullptr;
  std::uint64_t stored = 0;
  std::memcpy(&stored, bytes.data() + bytes.size() - 8, 8);
  if (Fnv1a(bytes.data(), bytes.size() - 8) != stored)
    return nullptr;
  Cursor in(bytes);
  std::string magic;
  in.get(magic, sizeof(kMagic));
  auto index = std::make_shared<Mpeg2Index>();
  std::uint32_t keyLength = 0;
  if (!in.get(keyLength) || !in.get(index->key, keyLength))
    return nullptr;
  std::int32_t v[9];
  for (auto &x : v)
    if (!in.get(x))
      return nullptr;
  index->width = v[0];
  index->height = v[1];
  index->rateNum = v[2];
  index->rateDen = v[3];
  index->aspectCode = v[4];
  index->chromaFormat = v[5];
  index->topFieldFirst = v[6] != 0;
  index->elementaryStream = v[7] != 0;
  index->videoStreamId = v[8];
  std::uint64_t pictureCount = 0, frameCount = 0;
  if (!in.get(pictureCount) || !in.get(frameCount))
    return nullptr;
  constexpr size_t kRecord = 8 + 8 + 4 + 4 + 4 + 2 + 1 + 1;
  if (index->width <= 0 || index->width > 8192 || index->height <= 0 || index->height > 8192 ||
      index->rateNum <= 0 || index->rateDen <= 0 || frameCount == 0 || frameCount > pictureCount ||
      pictureCount > (bytes.size() - in.at()) / kRecord)
    return nullptr;
  index->pictures.resize(pictureCount);
  index->frames.assign(frameCount, kNotShown);
  for (size_t i = 0; i < pictureCount; ++i) {
    auto &p = index->pictures[i];
    if (!in.get(p.packetPos) || !in.get(p.time) || !in.get(p.size) || !in.get(p.seekFrom) || !in.get(p.frame) ||
        !in.get(p.payloadOffset) || !in.get(p.type) || !in.get(p.fields))
      return nullptr;
    if (p.fields > (kTopFieldFirst | kRepeatFirstField) || p.type > kPictureB || p.seekFrom > i || p.size > (64u << 20))
      return nullptr;
    if (p.frame != kNotShown) {
      if (p.frame >= frameCount || index->frames[p.frame] != kNotShown || p.type == 0 ||
          index->pictures[p.seekFrom].type != kPictureI)
        return nullptr;
      index->frames[p.frame] = static_cast<std::uint32_t>(i);
    }
  }
  if (std::find(index->frames.begin(), index->frames.end(), kNotShown) != index->frames.end())
    return nullptr;
  return index;
}

fs::path IndexCacheFolder() {
  if (const char *xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
    return fs::path(xdg) / "reelwork";
  if (const char *home = std::getenv("HOME"); home && *home)
    return fs::path(home) / ".cache" / "reelwork";
  return fs::temp_directory_path() / "reelwork-cache";
}

fs::path IndexCachePath(const std::string &key) {
  char name[40];
  // The key's first line names the format; its file lines make the name.
  std::snprintf(name, sizeof(name), "%016llx.mpeg2index",
                static_cast<unsigned long long>(Fnv1a(key.data(), key.size())));
  return IndexCacheFolder() / name;
}

namespace {

std::mutex gMemoryMutex;
std::map<std::string, IndexPtr> &MemoryIndexes() {
  static std::map<std::string, IndexPtr> indexes;
  return indexes;
}

// Keeps the cache folder from growing without end: every changed file set
// leaves an index behind, so the oldest go once there are many.
void PruneCacheFolder(const fs::path &folder, size_t keep) {
  std::error_code ec;
  std::vector<std::pair<fs::file_time_type, fs::path>> entries;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".mpeg2index")
      entries.emplace_back(it->last_write_time(ec), it->path());
  if (entries.size() <= keep)
    return;
  std::sort(entries.begin(), entries.end());
  for (size_t i = 0; i + keep < entries.size(); ++i)
    fs::remove(entries[i].second, ec);
}

} // namespace

void ForgetIndexesInMemory() {
  std::lock_guard lock(gMemoryMutex);
  MemoryIndexes().clear();
}

IndexPtr GetMpeg2Index(const std::vector<fs::path> &files, const ProgressFn &progress) {
  if (files.empty())
    Fail("the project lists no video files");
  const std::string key = IndexKey(files);
  {
    std::lock_guard lock(gMemoryMutex);
    if (auto it = MemoryIndexes().find(key); it != MemoryIndexes().end())
      return it->second;
  }
  IndexPtr index;
  const fs::path cachePath = IndexCachePath(key);
  {
    std::ifstream in(cachePath, std::ios::binary);
    if (in) {
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      auto loaded = DeserializeIndex(bytes);
      if (loaded && loaded->key == key)
        index = std::move(loaded);
    }
  }
  if (!index) {
    index = BuildMpeg2Index(files, key, progress);
    std::error_code ec;
    fs::create_directories(cachePath.parent_path(), ec);
    if (!ec && WriteFileAtomically(cachePath, SerializeIndex(*index))) // a cache: failure only costs time
      PruneCacheFolder(cachePath.parent_path(), 200);
  }
  std::lock_guard lock(gMemoryMutex);
  auto &indexes = MemoryIndexes();
  if (indexes.size() >= 4)
    indexes.erase(indexes.begin());
  indexes[key] = index;
  return index;
}

} // namespace reelwork::engine
