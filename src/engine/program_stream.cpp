#include "engine/program_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <numeric>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define REELWORK_X86 1
#endif

#include "engine/video.h"

namespace reelwork::engine {

namespace {

// What a path that is no regular file is, for the message refusing it.
const char *KindOfFile(mode_t mode) {
  if (S_ISDIR(mode))
    return "a folder";
  if (S_ISFIFO(mode))
    return "a named pipe";
  if (S_ISSOCK(mode))
    return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode))
    return "a device";
  return "no regular file";
}

} // namespace

void RequireRegularFile(const std::filesystem::path &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    throw EngineError("mpeg2source: " + path.string() + " is " + KindOfFile(st.st_mode) + ", not a video file");
}

ConcatenatedFiles::ConcatenatedFiles(const std::vector<std::filesystem::path> &files) {
  auto closeAll = [&] {
    for (auto &p : parts_)
      ::close(p.fd);
  };
  for (const auto &path : files) {
    try {
      RequireRegularFile(path);
    } catch (...) {
      closeAll();
      throw;
    }
    // Not blocking: should the path have become a pipe since, opening it
    // must not wait for a writer; fstat below then refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      const std::string reason = std::strerror(errno);
      closeAll();
      throw EngineError("mpeg2source: cannot open " + path.string() + ": " + reason);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      closeAll();
      throw EngineError("mpeg2source: " + path.string() + " is " + KindOfFile(st.st_mode) + ", not a video file");
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Part part;
    part.fd = fd;
    part.start = total_;
    part.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    part.path = path;
    total_ += part.size;
    parts_.push_back(part);
  }
}

ConcatenatedFiles::~ConcatenatedFiles() {
  for (auto &p : parts_)
    ::close(p.fd);
}

size_t ConcatenatedFiles::read(std::uint64_t position, std::uint8_t *out, size_t length) const {
  size_t done = 0;
  for (const auto &part : parts_) {
    if (done == length)
      break;
    const std::uint64_t at = position + done;
    if (at < part.start || at >= part.start + part.size)
      continue;
    std::uint64_t offset = at - part.start;
    while (done < length && offset < part.size) {
      const size_t want = static_cast<size_t>(std::min<std::uint64_t>(length - done, part.size - offset));
      const ssize_t got = ::pread(part.fd, out + done, want, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR)
        continue;
      if (got <= 0)
        return done; // the file shrank or cannot be read: a short read
      done += static_cast<size_t>(got);
      offset += static_cast<std::uint64_t>(got);
    }
  }
  return done;
}

std::string ConcatenatedFiles::describe(std::uint64_t position) const {
  for (const auto &part : parts_)
    if (position < part.start + part.size || &part == &parts_.back())
      return part.path.filename().string() + " at byte " + std::to_string(position - std::min(position, part.start));
  return "byte " + std::to_string(position);
}

namespace {

std::int64_t ReadTimestamp(const std::uint8_t *p) {
  return (static_cast<std::int64_t>(p[0] & 0x0E) << 29) | (static_cast<std::int64_t>(p[1]) << 22) |
         (static_cast<std::int64_t>(p[2] & 0xFE) << 14) | (static_cast<std::int64_t>(p[3]) << 7) |
         (static_cast<std::int64_t>(p[4]) >> 1);
}

} // namespace

namespace {

// Where a start code is one the index reads: 00 00 01 followed by a code
// that is no slice (0x01..0xAF). Slices make up nearly all start codes of a
// stream, so leaving them to the comparison, not to the caller, keeps the
// hits down to the few headers of each picture.
inline bool IsHeaderCode(std::uint8_t code) { return code == 0 || code > 0xAF; }

[[maybe_unused]] size_t FindHeaderStartCodeBytes(const std::uint8_t *p, size_t i, size_t n) {
  for (; i + 3 < n; ++i)
    if (p[i + 2] <= 1) {
      if (p[i + 2] == 1 && p[i] == 0 && p[i + 1] == 0 && IsHeaderCode(p[i + 3]))
        return i;
    } else {
      i += 2; // no start code begins at i, i + 1 or i + 2
    }
  return n;
}

#ifdef REELWORK_X86
// Compares a block and the blocks one, two and three bytes further on at
// once. Blocks may reach past n (into the room the caller guarantees); what
// lies there is masked off.
size_t FindHeaderStartCodeSse2(const std::uint8_t *p, size_t i, size_t n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi8(1);
  const __m128i firstHeader = _mm_set1_epi8(static_cast<char>(0xB0));
  for (; i + 3 < n; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i + 1));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i + 2));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i + 3));
    const __m128i prefix = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, zero), _mm_cmpeq_epi8(b, zero)),
                                         _mm_cmpeq_epi8(c, one));
    const __m128i header = _mm_or_si128(_mm_cmpeq_epi8(d, zero), _mm_cmpeq_epi8(_mm_max_epu8(d, firstHeader), d));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(prefix, header)));
    if (n - 3 - i < 16)
      mask &= (1u << (n - 3 - i)) - 1;
    if (mask)
      return i + static_cast<size_t>(__builtin_ctz(mask));
  }
  return n;
}

__attribute__((target("avx2"))) size_t FindHeaderStartCodeAvx2(const std::uint8_t *p, size_t i, size_t n) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi8(1);
  const __m256i firstHeader = _mm256_set1_epi8(static_cast<char>(0xB0));
  for (; i + 3 < n; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i + 1));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i + 2));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i + 3));
    const __m256i prefix = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpeq_epi8(a, zero), _mm256_cmpeq_epi8(b, zero)), _mm256_cmpeq_epi8(c, one));
    const __m256i header =
        _mm256_or_si256(_mm256_cmpeq_epi8(d, zero), _mm256_cmpeq_epi8(_mm256_max_epu8(d, firstHeader), d));
    auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(prefix, header)));
    if (n - 3 - i < 32)
      mask &= (std::uint32_t{1} << (n - 3 - i)) - 1;
    if (mask)
      return i + static_cast<size_t>(__builtin_ctz(mask));
  }
  return n;
}

__attribute__((target("avx512bw"))) size_t FindHeaderStartCodeAvx512(const std::uint8_t *p, size_t i, size_t n) {
  const __m512i zero = _mm512_setzero_si512();
  const __m512i one = _mm512_set1_epi8(1);
  const __m512i firstHeader = _mm512_set1_epi8(static_cast<char>(0xB0));
  for (; i + 3 < n; i += 64) {
    const __m512i d = _mm512_loadu_si512(p + i + 3);
    std::uint64_t mask = _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + i + 2), one) &
                         _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + i + 1), zero) &
                         _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + i), zero) &
                         (_mm512_cmpeq_epi8_mask(d, zero) | _mm512_cmpge_epu8_mask(d, firstHeader));
    if (n - 3 - i < 64)
      mask &= (std::uint64_t{1} << (n - 3 - i)) - 1;
    if (mask)
      return i + static_cast<size_t>(__builtin_ctzll(mask));
  }
  return n;
}

const int kVectorLevel = (__builtin_cpu_init(), __builtin_cpu_supports("avx512bw") ? 2
                                                : __builtin_cpu_supports("avx2")   ? 1
                                                                                   : 0);
#endif

} // namespace

size_t FindHeaderStartCode(const std::uint8_t *p, size_t from, size_t n) {
#ifdef REELWORK_X86
  switch (kVectorLevel) {
  case 2: return FindHeaderStartCodeAvx512(p, from, n);
  case 1: return FindHeaderStartCodeAvx2(p, from, n);
  default: return FindHeaderStartCodeSse2(p, from, n);
  }
#else
  return FindHeaderStartCodeBytes(p, from, n);
#endif
}

ProgramStreamReader::ProgramStreamReader(const ConcatenatedFiles &files, size_t bufferSize)
    : files_(files), buf_(std::max<size_t>(bufferSize, 160 * 1024) + kReadRoom), size_(buf_.size() - kReadRoom),
      data_(buf_.data()) {
  std::uint8_t head[4] = {0, 0, 0, 0};
  if (files_.read(0, head, 4) == 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0xB3)
    elementary_ = true;
}

ProgramStreamReader::~ProgramStreamReader() = default;

void ProgramStreamReader::seek(std::uint64_t position) {
  if (position >= bufPos_ && position <= bufPos_ + bufLen_) {
    cursor_ = static_cast<size_t>(position - bufPos_);
    return;
  }
  bufPos_ = position;
  bufLen_ = 0;
  cursor_ = 0;
}

bool ProgramStreamReader::ensure(size_t n) {
  if (bufLen_ - cursor_ >= n)
    return true;
  // Move what is left to the front and fill up behind it.
  if (cursor_ > 0) {
    std::memmove(buf_.data(), data_ + cursor_, bufLen_ - cursor_);
    bufPos_ += cursor_;
    bufLen_ -= cursor_;
    cursor_ = 0;
  }
  data_ = buf_.data();
  while (bufLen_ < n) {
    const size_t got = files_.read(bufPos_ + bufLen_, buf_.data() + bufLen_, size_ - bufLen_);
    if (got == 0)
      return false;
    bufLen_ += got;
  }
  return true;
}

void ProgramStreamReader::resync() {
  // Look for the next pack start after the current byte.
  const std::uint64_t from = position();
  const std::uint64_t limit = sawPack_ ? ~std::uint64_t{0} : kPackSearchAtStart;
  ++cursor_;
  bool found = false;
  for (;;) {
    if (position() >= limit || !ensure(4)) {
      cursor_ = bufLen_;
      break;
    }
    const std::uint8_t *p = data_ + cursor_;
    const size_t avail = bufLen_ - cursor_;
    // A pack starts 00 00 01 BA: look for the BA bytes, then at the three before.
    size_t i = 3;
    while (i < avail) {
      const void *hit = std::memchr(p + i, 0xBA, avail - i);
      if (!hit) {
        i = avail;
        break;
      }
      i = static_cast<size_t>(static_cast<const std::uint8_t *>(hit) - p);
      if (p[i - 1] == 1 && p[i - 2] == 0 && p[i - 3] == 0) {
        found = true;
        break;
      }
      ++i;
    }
    cursor_ += i - 3;
    if (found)
      break;
  }
  if (!found && !sawPack_)
    noPackAtStart_ = true;
  skipped_ += position() - from;
  ++gaps_;
  lastGapFrom_ = from;
}

bool ProgramStreamReader::next(VideoChunk &chunk) {
  if (elementary_) {
    if (!ensure(1))
      return false;
    ensure(kElementaryChunk);
    chunk = VideoChunk{};
    chunk.packetPos = position();
    chunk.data = data_ + cursor_;
    chunk.size = std::min(kElementaryChunk, bufLen_ - cursor_);
    cursor_ += chunk.size;
    return true;
  }
  for (;;) {
    if (!ensure(4)) {
      if (bufLen_ > cursor_ && truncatedAt_ == 0)
        truncatedAt_ = position();
      cursor_ = bufLen_;
      return false;
    }
    const std::uint8_t *p = data_ + cursor_;
    if (p[0] != 0 || p[1] != 0 || p[2] != 1) {
      resync();
      continue;
    }
    const std::uint8_t code = p[3];
    size_t length = 0;
    if (code == 0xBA) {
      if (!ensure(14)) {
        truncatedAt_ = position();
        cursor_ = bufLen_;
        return false;
      }
      p = data_ + cursor_;
      if ((p[4] & 0xC0) == 0x40)
        length = 14 + (p[13] & 7);
      else if ((p[4] & 0xF0) == 0x20)
        length = 12;
      else {
        resync();
        continue;
      }
      sawPack_ = true;
    } else if (code == 0xB9) {
      length = 4;
    } else if (code >= 0xBB) {
      if (!ensure(6)) {
        truncatedAt_ = position();
        cursor_ = bufLen_;
        return false;
      }
      p = data_ + cursor_;
      length = 6 + ((static_cast<size_t>(p[4]) << 8) | p[5]);
    } else {
      resync(); // a video start code where a packet should begin: sync lost
      continue;
    }
    if (!ensure(length)) {
      truncatedAt_ = position();
      cursor_ = bufLen_;
      return false;
    }
    p = data_ + cursor_;
    const std::uint64_t packetPos = position();
    cursor_ += length;
    if (code < 0xE0 || code > 0xEF || (videoId_ != 0 && code != videoId_))
      continue;

    // A video PES packet: find its payload and time stamps.
    size_t at = 6;
    chunk = VideoChunk{};
    if (length >= 9 && (p[6] & 0xC0) == 0x80) {
      const std::uint8_t flags = p[7];
      const size_t headerLength = p[8];
      at = 9 + headerLength;
      if (at > length)
        continue; // malformed header: no payload to take
      if ((flags & 0x80) && headerLength >= 5)
        chunk.hasPts = true, chunk.pts = ReadTimestamp(p + 9);
      if ((flags & 0xC0) == 0xC0 && headerLength >= 10)
        chunk.hasDts = true, chunk.dts = ReadTimestamp(p + 14);
    } else {
      // MPEG-1 packet header: stuffing, buffer size, time stamps.
      int stuffing = 0;
      while (at < length && p[at] == 0xFF && stuffing++ < 16)
        ++at;
      if (at + 2 <= length && (p[at] & 0xC0) == 0x40)
        at += 2;
      if (at + 5 <= length && (p[at] & 0xF0) == 0x20) {
        chunk.hasPts = true, chunk.pts = ReadTimestamp(p + at);
        at += 5;
      } else if (at + 10 <= length && (p[at] & 0xF0) == 0x30) {
        chunk.hasPts = true, chunk.pts = ReadTimestamp(p + at);
        chunk.hasDts = true, chunk.dts = ReadTimestamp(p + at + 5);
        at += 10;
      } else if (at < length && p[at] == 0x0F) {
        ++at;
      }
      if (at > length)
        continue;
    }
    if (at == length)
      continue;
    videoId_ = code;
    chunk.packetPos = packetPos;
    chunk.data = p + at;
    chunk.size = length - at;
    return true;
  }
}

size_t StartCodeHeaderBytes(std::uint8_t code) {
  switch (code) {
  case 0xB3: return 4;
  case 0xB5: return 6;
  case 0xB8: return 4;
  case 0x00: return 2;
  default: return 0;
  }
}

void FrameRateOf(int code, int extN, int extD, int &num, int &den) {
  static const int table[9][2] = {{25, 1},    {24000, 1001}, {24, 1}, {25, 1},       {30000, 1001},
                                  {30, 1},    {50, 1},       {60000, 1001}, {60, 1}};
  const int c = (code >= 1 && code <= 8) ? code : 3;
  const long long n = static_cast<long long>(table[c][0]) * (extN + 1);
  const long long d = static_cast<long long>(table[c][1]) * (extD + 1);
  const long long g = std::gcd(n, d);
  num = static_cast<int>(n / g);
  den = static_cast<int>(d / g);
}

void SequenceFacts::readSequenceHeader(const std::uint8_t *h) {
  if (haveSequence)
    return;
  haveSequence = true;
  width = (h[0] << 4) | (h[1] >> 4);
  height = ((h[1] & 0x0F) << 8) | h[2];
  aspect = h[3] >> 4;
  rateCode = h[3] & 0x0F;
}

void SequenceFacts::readSequenceExtension(const std::uint8_t *h) {
  if (haveExtension || !haveSequence)
    return;
  haveExtension = true;
  chroma = (h[1] >> 1) & 3;
  width |= (((h[1] & 1) << 1) | (h[2] >> 7)) << 12;
  height |= ((h[2] >> 5) & 3) << 12;
  rateExtN = (h[5] >> 5) & 3;
  rateExtD = h[5] & 31;
}

} // namespace reelwork::engine
