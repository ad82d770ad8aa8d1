#include "engine/mpeg2_index.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <sstream>
#include <stop_token>
#include <thread>
#include <type_traits>

#include "common/atomic_file.h"
#include "engine/mpeg2_decoder.h"
#include "engine/mpeg2_scan.h"
#include "engine/program_stream.h"

namespace fs = std::filesystem;

namespace reelwork::engine {

size_t Mpeg2Index::memoryBytes() const {
  return sizeof(*this) + key.capacity() + pictures.capacity() * sizeof(IndexedPicture) +
         frames.capacity() * sizeof(std::uint32_t) + damaged.capacity() * sizeof(FrameRange);
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

// A checksum over many bytes at a time: four lanes of 64-bit words, so that
// a large index is checked at memory speed.
std::uint64_t WideHash(const void *data, size_t size, std::uint64_t seed = 0) {
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
  const auto *p = static_cast<const std::uint8_t *>(data);
  std::uint64_t lane[4] = {seed ^ 1, seed ^ 2, seed ^ 3, seed ^ 4};
  size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    for (int l = 0; l < 4; ++l) {
      std::uint64_t w;
      std::memcpy(&w, p + i + 8 * static_cast<size_t>(l), 8);
      lane[l] = (lane[l] ^ w) * kMul;
      lane[l] ^= lane[l] >> 29;
    }
  }
  std::uint64_t h = Fnv1a(p + i, size - i, size);
  for (std::uint64_t l : lane)
    h = ((h ^ l) * kMul) ^ (h >> 31);
  return h;
}

// What the scan learns of one picture before frame numbers are known.
struct ScannedPicture {
  std::uint64_t esPos = 0;
  std::uint64_t packetPos = 0;
  std::uint16_t payloadOffset = 0;
  std::uint8_t type = 0;
  bool closedGop = false;
  bool fieldPicture = false;
  bool broken = false;  // lost to damage: never decoded
  bool damaged = false; // its bytes were cut or spoilt by damage: decoded with the loss concealed
  bool codingExtension = false; // its picture coding extension was read before any damage
  // The first picture after damage, when a reference picture may have been
  // lost whole in it (afterGap) or when only B-pictures were (afterCut).
  bool afterGap = false;
  bool afterCut = false;
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

// Finds the start codes of the video elementary stream in the payloads where
// they lie (no copy); only the few bytes of a start code cut by a packet
// boundary are kept over to the next payload. Its state between payloads is
// those bytes alone, so two lexers that end a payload with the same bytes
// kept find the same start codes from there on.
class StartCodeLexer {
public:
  // Calls found(code, header, position) for every start code that begins in
  // the payload (or in the bytes kept before it) with the bytes of its
  // header (StartCodeHeaderBytes of them) in reach; slices may be left out.
  template <typename Found> void add(const std::uint8_t *p, size_t n, Found &&found) {
    size_t from = 0;
    if (carryLen_ > 0) {
      // Start codes that begin in the bytes kept from the payloads before.
      std::uint8_t join[sizeof(carry_) + 16];
      const size_t extra = std::min(n, size_t{16});
      std::memcpy(join, carry_, carryLen_);
      std::memcpy(join + carryLen_, p, extra);
      const size_t joinLen = carryLen_ + extra;
      const std::uint64_t joinPos = esEnd_ - carryLen_;
      size_t i = 0;
      bool undecided = false;
      while (i < carryLen_) {
        if (i + 3 >= joinLen) {
          undecided = true;
          break;
        }
        if (join[i] == 0 && join[i + 1] == 0 && join[i + 2] == 1) {
          if (i + 4 + StartCodeHeaderBytes(join[i + 3]) > joinLen) {
            undecided = true;
            break;
          }
          found(join[i + 3], join + i + 4, joinPos + i);
          i += 4;
          continue;
        }
        ++i;
      }
      if (undecided) { // (only when this payload is shorter than 16 bytes)
        carryLen_ = joinLen - i;
        std::memmove(carry_, join + i, carryLen_);
        esEnd_ += n;
        return;
      }
      from = i - carryLen_;
      carryLen_ = 0;
    }
    // Start codes 00 00 01 xx that begin in this payload; slices are passed
    // over by the search. The last three bytes are kept over in any case: a
    // start code may begin in them and end in the next payload.
    size_t keepFrom = n >= 3 ? n - 3 : 0;
    size_t i = from;
    while (i + 3 < n) {
      const size_t start = FindHeaderStartCode(p, i, n);
      if (start + 3 >= n)
        break;
      if (start + 4 + StartCodeHeaderBytes(p[start + 3]) > n) {
        keepFrom = start; // its header goes on in the next payload
        break;
      }
      found(p[start + 3], p + start + 4, esEnd_ + start);
      i = start + 4;
    }
    keepFrom = std::max(keepFrom, std::min(i, n));
    carryLen_ = n - keepFrom;
    std::memcpy(carry_, p + keepFrom, carryLen_);
    esEnd_ += n;
  }

  // Stands for the payloads another lexer read on: the stream runs on to
  // `end`, `carryLength` bytes of it kept (their bytes no longer matter).
  void skipTo(std::uint64_t end, size_t carryLength) {
    esEnd_ = end;
    carryLen_ = carryLength;
  }

  std::uint64_t end() const { return esEnd_; }
  size_t carryLength() const { return carryLen_; }
  const std::uint8_t *carry() const { return carry_; }

private:
  std::uint64_t esEnd_ = 0; // elementary stream bytes given so far
  std::uint8_t carry_[16] = {};
  size_t carryLen_ = 0;
};

// The start codes the scanner acts on (sequence, extension, sequence end,
// GOP, picture); the others change nothing.
bool ScannerReads(std::uint8_t code) { return code == 0x00 || code == 0xB3 || code == 0xB5 || code == 0xB7 || code == 0xB8; }

// What the lexer of a later part of the files found, to be handed on to the
// scanner of the part before it (see ScanSecondPart).
struct ScanTrace {
  struct Chunk {
    std::uint64_t packetPos = 0;
    std::uint64_t esStart = 0; // in this trace's own elementary stream, from 0
    std::int64_t pts = 0;
    std::uint32_t size = 0;
    bool hasPts = false;
    std::uint8_t carryLength = 0; // the lexer's bytes kept after this payload
  };
  struct Code {
    std::uint64_t esPos = 0;
    std::uint32_t chunk = 0; // found while reading this chunk
    std::uint8_t code = 0;
    std::uint8_t header[6] = {};
  };
  struct Gap {
    std::uint32_t beforeChunk = 0; // noticed before this chunk (or at the end)
    bool suspect = false;          // the packet before ran into the damage
  };
  // The bytes the lexer kept after each of the first chunks: where the scan
  // of the part before may take over.
  static constexpr size_t kJoinWindow = 256;
  struct Kept {
    std::uint8_t bytes[16] = {};
  };
  std::vector<Chunk> chunks;
  std::vector<Code> codes;
  std::vector<Gap> gaps;
  std::vector<Kept> kept;
  bool truncated = false; // the stream ends inside a packet
  bool complete = false;  // read to the end without a fault
};

// Splits the video elementary stream into pictures.
class Scanner : public SequenceFacts {
public:
  std::vector<ScannedPicture> pictures;
  long repeatedFields = 0; // frame pictures with repeat_first_field set
  bool topFieldFirst = true;
  bool sawPictureExtension = false;
  bool damagedAtEnd = false; // the stream ends in damage (a gap or a cut-off packet)

  void add(const VideoChunk &chunk) {
    spans_.push_back(ChunkSpan{lexer_.end(), chunk.size, chunk.packetPos, chunk.hasPts, false, chunk.pts});
    lastChunkStart_ = lexer_.end();
    lexer_.add(chunk.data, chunk.size,
               [this](std::uint8_t code, const std::uint8_t *h, std::uint64_t pos) { handle(code, h, pos); });
    trimSpans();
  }

  // Whether the lexer ended the last payload as the trace's lexer ended its
  // chunk `k` (the same payload): then the trace's codes from chunk k + 1 on
  // are the ones this scanner would find.
  bool lexesAs(const ScanTrace &trace, size_t k) const {
    return k < trace.kept.size() && trace.chunks[k].carryLength == lexer_.carryLength() &&
           std::memcmp(trace.kept[k].bytes, lexer_.carry(), lexer_.carryLength()) == 0;
  }

  // Goes on with the trace's chunks from `from` as if they were read here;
  // `delta` turns the trace's stream positions into this scanner's.
  void replay(const ScanTrace &trace, size_t from) {
    const std::uint64_t delta = lexer_.end() - (trace.chunks[from - 1].esStart + trace.chunks[from - 1].size);
    auto code = std::lower_bound(trace.codes.begin(), trace.codes.end(), from,
                                 [](const ScanTrace::Code &c, size_t chunk) { return c.chunk < chunk; });
    auto gapAt = std::lower_bound(trace.gaps.begin(), trace.gaps.end(), from,
                                  [](const ScanTrace::Gap &g, size_t chunk) { return g.beforeChunk < chunk; });
    for (size_t j = from; j <= trace.chunks.size(); ++j) {
      for (; gapAt != trace.gaps.end() && gapAt->beforeChunk == j; ++gapAt)
        gap(gapAt->suspect ? lastChunkStart_ : lexer_.end());
      if (j == trace.chunks.size())
        break;
      const ScanTrace::Chunk &c = trace.chunks[j];
      const std::uint64_t start = c.esStart + delta;
      spans_.push_back(ChunkSpan{start, c.size, c.packetPos, c.hasPts, false, c.pts});
      lastChunkStart_ = start;
      for (; code != trace.codes.end() && code->chunk == j; ++code)
        handle(code->code, code->header, code->esPos + delta);
      lexer_.skipTo(start + c.size, c.carryLength);
      trimSpans();
    }
  }

  // Damage between the payloads given so far and the next. The decoders
  // read on through it: the picture that was being read goes on with the
  // bytes after the damage and is decoded with what is missing concealed, and
  // so is every picture with bytes in the payload at or after `suspectFrom`
  // (a packet whose length ran into the damage carries foreign bytes).
  // Whether a reference picture may have been lost whole is decided at the
  // next picture: when only frame B-pictures were cut, its temporal
  // reference shows whether any picture vanished.
  void gap(std::uint64_t suspectFrom) {
    bool onlyB = open_ && pictures.back().type == kPictureB && !pictures.back().fieldPicture;
    for (auto it = pictures.rbegin(); it != pictures.rend(); ++it) {
      const bool open = open_ && it == pictures.rbegin();
      if (!open && it->esPos + it->size <= suspectFrom)
        break;
      it->damaged = true;
      if (it->fieldPicture)
        it->broken = true; // a field pair cut apart is not decoded
      onlyB = onlyB && it->type == kPictureB;
    }
    openAtGap_ = open_ ? pictures.size() - 1 : kNoPicture;
    openCut_ = open_;
    gapPacket_ = spans_.empty() ? 0 : spans_.back().packetPos;
    if (headerStart_) {
      headerStart_.reset(); // headers cut off from their picture
      headersCut_ = true;
    }
    resumeB_ = resumeRef_ = checkB_ = -1;
    if (onlyB) {
      const int tr = pictures.back().temporalReference;
      // The B-picture after it in the same run, or (when it was the run's
      // last) the next reference, as far from the last as the last was from
      // the one before it in its group.
      resumeB_ = (tr + 1) & 1023;
      if (groupRefTr_ >= 0 && tr == groupRefTr_ - 1 && refStep_ >= 2)
        resumeRef_ = groupRefTr_ + refStep_;
    }
    gapPending_ = true;
  }

  // Where the last payload given began in the elementary stream.
  std::uint64_t lastChunkStart() const { return lastChunkStart_; }
  std::uint64_t end() const { return lexer_.end(); }

  // The end of the stream. When it ends in damage, the picture cut by it is
  // dropped.
  void finish() {
    closePicture(lexer_.end());
    if (gapPending_) {
      damagedAtEnd = true;
      if (openAtGap_ != kNoPicture)
        pictures[openAtGap_].broken = true;
    }
  }

private:
  // Drops the spans no longer needed: those ending before the first byte a
  // picture found later may start at.
  void trimSpans() {
    std::uint64_t floor = lexer_.end() - lexer_.carryLength();
    if (headerStart_)
      floor = std::min(floor, *headerStart_);
    while (spans_.size() > 2 && spans_[1].esStart <= floor)
      spans_.pop_front();
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

  // Whether `pic`, met at `pos` right after damage, lies in the group the
  // damage began in, as its temporal reference assumes: its time stamp fits
  // the group's where both are known; else the damage is too short to have
  // taken a group whole.
  bool sameGroupAfterGap(const ScannedPicture &pic, std::uint64_t pos) {
    if (pic.hasPts && anchorTr_ >= 0) {
      int num = 25, den = 1;
      frameRate(num, den);
      const double duration = 90000.0 * den / num;
      const double expected = static_cast<double>(anchorPts_) + (pic.temporalReference - anchorTr_) * duration;
      return std::fabs(static_cast<double>(pic.pts) - expected) <= 2 * duration;
    }
    const ChunkSpan *span = spanOf(pos);
    if (!span || span->packetPos < gapPacket_)
      return false;
    const std::uint64_t lost = span->packetPos - gapPacket_;
    return lost < (64u << 10) && (groups_ < 2 || lost * 2 * groups_ < lexer_.end());
  }

  // Whether the picture whose header is `h`, the first after damage that
  // cut B-pictures alone, follows the cut ones with no picture lost between.
  bool resumesAt(const std::uint8_t *h) const {
    const int tr = (h[0] << 2) | (h[1] >> 6);
    const int type = (h[1] >> 3) & 7;
    return (type == kPictureB && tr == resumeB_) ||
           ((type == kPictureP || type == kPictureI) && resumeRef_ >= 0 && tr == resumeRef_);
  }

  void handle(std::uint8_t code, const std::uint8_t *h, std::uint64_t pos) {
    if (checkB_ >= 0 && (code == 0xB3 || code == 0xB8 || code == 0x00)) {
      // A reference read on at after damage is followed by the B-pictures
      // shown before it; another picture means a reference was lost whole.
      const bool fits = code == 0x00 && !(open_ && pictures.back().fieldPicture && pictures.back().fields == 1) &&
                        ((h[1] >> 3) & 7) == kPictureB && ((h[0] << 2) | (h[1] >> 6)) == checkB_;
      checkB_ = -1;
      if (!fits) {
        pictures[resumedAt_].afterCut = false;
        pictures[resumedAt_].afterGap = true;
      }
    }
    if (code == 0xB3) {
      closePicture(pos);
      if (!headerStart_)
        headerStart_ = pos;
      readSequenceHeader(h);
    } else if (code == 0xB8) {
      closePicture(pos);
      if (!headerStart_)
        headerStart_ = pos;
      closedGop_ = (h[3] >> 6) & 1;
      groupRefTr_ = -1;
      anchorTr_ = -1;
      ++groups_;
    } else if (code == 0xB7) {
      closePicture(pos + 4); // sequence end: the picture is whole
    } else if (code == 0xB5) {
      const int id = h[0] >> 4;
      if (id == 1) {
        readSequenceExtension(h);
      } else if (id == 8 && open_ && !openCut_) { // (after damage it may be another picture's)
        auto &pic = pictures.back();
        pic.codingExtension = true;
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
      if (gapPending_) {
        const bool onlyB = (resumeB_ >= 0 || resumeRef_ >= 0) && resumesAt(h) && sameGroupAfterGap(pic, pos);
        pic.afterCut = onlyB;
        pic.afterGap = !onlyB;
        if (onlyB && pic.type != kPictureB) {
          checkB_ = (resumeRef_ - refStep_ + 1) & 1023; // the first B-picture shown before it
          resumedAt_ = pictures.size();
        }
        resumeB_ = resumeRef_ = -1;
        gapPending_ = false;
        openAtGap_ = kNoPicture;
      }
      pic.damaged = headersCut_;
      headersCut_ = false;
      openCut_ = false;
      if (pic.type == kPictureP || pic.type == kPictureI) {
        if (groupRefTr_ >= 0)
          refStep_ = pic.temporalReference - groupRefTr_;
        groupRefTr_ = pic.temporalReference;
      }
      if (pic.hasPts) {
        anchorTr_ = pic.temporalReference;
        anchorPts_ = pic.pts;
      }
      if (ChunkSpan *span = spanOf(pic.esPos)) {
        pic.packetPos = span->packetPos;
        pic.payloadOffset = static_cast<std::uint16_t>(pic.esPos - span->esStart);
      }
      pictures.push_back(pic);
      open_ = true;
    }
  }

  StartCodeLexer lexer_;
  std::uint64_t lastChunkStart_ = 0;
  std::deque<ChunkSpan> spans_;
  std::optional<std::uint64_t> headerStart_;
  bool closedGop_ = false;
  bool open_ = false;
  bool gapPending_ = false; // damage met since the last picture header
  bool headersCut_ = false; // headers before the next picture were cut off by damage
  bool openCut_ = false;    // the picture being read was cut by damage
  static constexpr size_t kNoPicture = ~size_t{0};
  size_t openAtGap_ = kNoPicture; // the picture being read when the last damage was met
  // The temporal reference of this group's last reference picture, and how
  // far the last one met was from the one before it in its group (0: none yet).
  int groupRefTr_ = -1;
  int refStep_ = 0;
  // The temporal reference and time stamp of the last picture of this group
  // with a stamp (-1: none yet), the groups begun so far, and the packet
  // read last before the last damage.
  int anchorTr_ = -1;
  std::int64_t anchorPts_ = 0;
  std::uint64_t groups_ = 0;
  std::uint64_t gapPacket_ = 0;
  // After damage that cut B-pictures alone: the temporal reference the next
  // picture has when no picture was lost whole (as a B-picture, as a
  // reference), -1 when none.
  int resumeB_ = -1, resumeRef_ = -1;
  int checkB_ = -1;       // the B-picture that must follow the reference read on at
  size_t resumedAt_ = 0;  // that reference
};

// Frame numbers as a sequential decode hands the pictures out, and for each
// picture the I-picture from which decoding reproduces it.
//
// Damage: the decoder reads on through it as through the rest of the
// stream, so numbering goes on; a picture cut by damage is decoded with what
// is missing concealed, one lost to it is skipped (the pictures after it
// predicted from an older reference). Where damage may have taken a
// reference picture whole, a B-picture whose temporal reference does not lie
// between its two references' would be shown out of display order and is
// dropped. Concealing a cut I-picture looks at the reference decoded before
// it, so decoding for its group starts at the I-picture before, as stepping
// through the stream does. So every picture that survives is shown once, in
// display order, the frames before the damage keep their numbers, and
// seeking and stepping decode the same pictures.
//
// `damagePoints` receives, for each place where pictures may have been
// lost, the number of frames shown before it; `damagedFrames` the frames
// decoded from damaged bytes or from a reference that is (or that may stand
// for a lost one).
void NumberFrames(const std::vector<ScannedPicture> &scanned, Mpeg2Index &index,
                  std::vector<std::uint32_t> &damagePoints, std::vector<std::uint32_t> &damagedFrames) {
  const size_t count = scanned.size();
  index.pictures.assign(count, IndexedPicture{});
  std::vector<std::uint32_t> frames;
  frames.reserve(count);
  std::vector<bool> spoilt(count, false);
  long last = -1, next = -1, currentI = -1, previousI = -1;
  // Whether damage that may have taken a reference lies between the last
  // two references, or after the last one.
  bool lossBeforeNext = false, lossAfterNext = false;
  int lastBShown = -1; // the temporal reference of the last B-picture shown after `next`
  auto show = [&](long d) {
    index.pictures[static_cast<size_t>(d)].frame = static_cast<std::uint32_t>(frames.size());
    if (spoilt[static_cast<size_t>(d)])
      damagedFrames.push_back(static_cast<std::uint32_t>(frames.size()));
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
    // Where pictures may have been lost, the frames on both sides are named.
    if (s.afterGap)
      damagePoints.push_back(static_cast<std::uint32_t>(frames.size()));
    lossAfterNext = lossAfterNext || s.afterGap;
    // A damaged picture whose coding extension was lost cannot be decoded
    // as itself; the decoder would take the last picture's.
    if (s.broken || (s.damaged && !s.codingExtension)) {
      damagePoints.push_back(static_cast<std::uint32_t>(frames.size()));
      if (pic.type == kPictureI || pic.type == kPictureP)
        lossAfterNext = true;
      pic.type = 0;
      continue;
    }
    if (pic.type < kPictureI || pic.type > kPictureB || (currentI < 0 && pic.type != kPictureI)) {
      pic.type = 0; // not decodable here: never fed, never shown
      continue;
    }
    if (pic.type != kPictureB) {
      bool isSpoilt = s.damaged;
      if (pic.type == kPictureI && (!s.damaged || currentI < 0)) {
        previousI = currentI;
        currentI = d;
      } else if (pic.type == kPictureP) {
        isSpoilt = isSpoilt || lossAfterNext || (next >= 0 && spoilt[static_cast<size_t>(next)]);
      }
      spoilt[i] = isSpoilt;
      pic.seekFrom = static_cast<std::uint32_t>(currentI);
      if (next >= 0)
        show(next);
      last = next;
      next = d;
      lossBeforeNext = lossAfterNext;
      lossAfterNext = false;
      lastBShown = -1;
    } else {
      if (last < 0 && !s.closedGop)
        continue; // no forward reference yet: the decoder skips it
      const bool suspect = lossBeforeNext || lossAfterNext;
      if (suspect) {
        // Shown between its references, after the B-pictures before it. A
        // reference that follows one of a higher temporal reference, or an
        // I-picture, starts a group: nothing below it bounds its B-pictures.
        const int tr = s.temporalReference;
        const int high = scanned[static_cast<size_t>(next)].temporalReference;
        const int low = last >= 0 && scanned[static_cast<size_t>(next)].type == kPictureP &&
                                scanned[static_cast<size_t>(last)].temporalReference < high
                            ? scanned[static_cast<size_t>(last)].temporalReference
                            : -1;
        if (tr <= low || tr >= high || tr <= lastBShown)
          continue;
      }
      lastBShown = s.temporalReference;
      spoilt[i] = s.damaged || suspect || (last >= 0 && spoilt[static_cast<size_t>(last)]) ||
                  spoilt[static_cast<size_t>(next)];
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

namespace {

// Reads up to `length` bytes at `offset` of an open file.
size_t ReadAt(int fd, std::uint64_t offset, std::uint8_t *out, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    done += static_cast<size_t>(got);
  }
  return done;
}

// A checksum of what a file holds where a change would show: its first and
// last 64 KiB and eight blocks of 4 KiB spread between them.
std::uint64_t SampleSum(const fs::path &file, std::uint64_t size) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    Fail("cannot open " + file.string() + ": " + std::strerror(errno));
  std::vector<std::uint8_t> buf(64 * 1024);
  std::uint64_t sum = 0;
  auto take = [&](std::uint64_t offset, size_t length) {
    const size_t got = ReadAt(fd, offset, buf.data(), std::min(length, buf.size()));
    sum = WideHash(buf.data(), got, sum ^ offset);
  };
  take(0, 64 * 1024);
  if (size > 128 * 1024) {
    for (std::uint64_t i = 1; i <= 8; ++i)
      take(size / 9 * i / 4096 * 4096, 4096);
    take(size - 64 * 1024, 64 * 1024);
  } else if (size > 64 * 1024) {
    take(64 * 1024, 64 * 1024);
  }
  ::close(fd);
  return sum;
}

} // namespace

std::string IndexKey(const std::vector<fs::path> &files) {
  std::ostringstream key;
  key << "reelwork-mpeg2-index 3\n";
  for (const auto &file : files) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
      Fail("cannot find the video file " + file.string());
    RequireRegularFile(file);
    const std::uint64_t sum = SampleSum(file, static_cast<std::uint64_t>(st.st_size));
    key << (ec ? file.string() : absolute.lexically_normal().string()) << '\n'
        << static_cast<long long>(st.st_size) << ' ' << static_cast<long long>(st.st_mtim.tv_sec) << '.'
        << static_cast<long long>(st.st_mtim.tv_nsec) << ' ' << std::hex << sum << std::dec << '\n';
  }
  return key.str();
}

namespace {

// Frame ranges around the damaged places: the last frame before each, the
// first after it and the frames decoded from damage, overlapping and
// touching ranges joined.
std::vector<FrameRange> DamagedRanges(const std::vector<std::uint32_t> &points, std::vector<std::uint32_t> frames,
                                      bool atEnd, int frameCount) {
  std::vector<FrameRange> ranges;
  auto add = [&](int first, int last) {
    first = std::clamp(first, 0, frameCount - 1);
    last = std::clamp(last, first, frameCount - 1);
    if (!ranges.empty() && first <= ranges.back().last + 1)
      ranges.back().last = std::max(ranges.back().last, last);
    else
      ranges.push_back(FrameRange{first, last});
  };
  for (std::uint32_t shownBefore : points)
    frames.insert(frames.end(), {shownBefore - 1, shownBefore});
  std::sort(frames.begin(), frames.end());
  for (std::uint32_t f : frames)
    if (f != std::uint32_t(-1))
      add(static_cast<int>(f), static_cast<int>(f));
  if (atEnd)
    add(frameCount - 1, frameCount - 1);
  return ranges;
}

} // namespace

namespace {

// The video stream a reading from the start takes (the first met), or 0 when
// none is met (no program stream, or no video in it).
int FirstVideoStream(const ConcatenatedFiles &files) {
  ProgramStreamReader reader(files, 64 * 1024);
  VideoChunk chunk;
  return reader.next(chunk) ? reader.videoStreamId() : 0;
}

// A pack header at or after `near` (within 256 KiB) with a start code right
// after it: where a second reading may begin. 0 when there is none.
std::uint64_t PackNear(const ConcatenatedFiles &files, std::uint64_t near) {
  constexpr size_t kWindow = 256 * 1024;
  std::vector<std::uint8_t> buf(kWindow);
  const size_t got = files.read(near, buf.data(), kWindow);
  const std::uint8_t *p = buf.data();
  for (size_t i = 0; i + 24 <= got; ++i) {
    if (p[i + 3] != 0xBA || p[i + 2] != 1 || p[i + 1] != 0 || p[i] != 0)
      continue;
    size_t length = 0;
    if ((p[i + 4] & 0xC0) == 0x40)
      length = 14 + (p[i + 13] & 7);
    else if ((p[i + 4] & 0xF0) == 0x20)
      length = 12;
    if (length && p[i + length] == 0 && p[i + length + 1] == 0 && p[i + length + 2] == 1)
      return near + i;
  }
  return 0;
}

// Reads the files from `start` on as BuildMpeg2Index does, keeping what the
// lexer finds (and the packets and gaps) instead of acting on it.
void ScanSecondPart(const ConcatenatedFiles &files, std::uint64_t start, int videoStreamId, ScanTrace &trace,
                    std::atomic<std::uint64_t> &position, const std::stop_token &stop) {
  ProgramStreamReader reader(files, 256 * 1024);
  reader.setVideoStreamId(videoStreamId);
  reader.seek(start);
  StartCodeLexer lexer;
  VideoChunk chunk;
  // Room for a packet every 2 KiB, as on a DVD, and the pictures' headers.
  const std::uint64_t bytes = files.size() - std::min(start, files.size());
  trace.chunks.reserve(static_cast<size_t>(bytes / 2000 + 64));
  trace.codes.reserve(static_cast<size_t>(bytes / 5000 + 64));
  std::uint64_t gapsSeen = 0;
  std::uint64_t lastPacketEnd = 0;
  auto noteGaps = [&] {
    if (reader.gapCount() == gapsSeen)
      return;
    gapsSeen = reader.gapCount();
    const bool suspect = lastPacketEnd != 0 && reader.lastGapFrom() == lastPacketEnd;
    trace.gaps.push_back(ScanTrace::Gap{static_cast<std::uint32_t>(trace.chunks.size()), suspect});
  };
  while (reader.next(chunk)) {
    if (stop.stop_requested())
      return;
    noteGaps();
    const auto index = static_cast<std::uint32_t>(trace.chunks.size());
    trace.chunks.push_back(ScanTrace::Chunk{chunk.packetPos, lexer.end(), chunk.pts,
                                            static_cast<std::uint32_t>(chunk.size), chunk.hasPts, 0});
    lexer.add(chunk.data, chunk.size, [&](std::uint8_t code, const std::uint8_t *h, std::uint64_t pos) {
      if (!ScannerReads(code))
        return;
      ScanTrace::Code found{pos, index, code, {}};
      std::memcpy(found.header, h, StartCodeHeaderBytes(code));
      trace.codes.push_back(found);
    });
    trace.chunks.back().carryLength = static_cast<std::uint8_t>(lexer.carryLength());
    if (index < ScanTrace::kJoinWindow) {
      trace.kept.emplace_back();
      std::memcpy(trace.kept.back().bytes, lexer.carry(), lexer.carryLength());
    }
    lastPacketEnd = reader.position();
    if ((index & 255) == 0)
      position.store(lastPacketEnd, std::memory_order_relaxed);
  }
  noteGaps();
  trace.truncated = reader.truncatedAt() != 0;
  trace.complete = true;
}

} // namespace

IndexPtr BuildMpeg2Index(const std::vector<fs::path> &files, const std::string &key,
                         const ProgressFn &progress) {
  return BuildMpeg2Index(files, key, progress, Mpeg2ScanOptions{});
}

IndexPtr BuildMpeg2Index(const std::vector<fs::path> &files, const std::string &key, const ProgressFn &progress,
                         const Mpeg2ScanOptions &options) {
  if (files.empty())
    Fail("the project lists no video files");
  ConcatenatedFiles source(files);
  if (source.size() == 0)
    Fail(files.front().filename().string() + " is empty");
  ProgramStreamReader reader(source, 256 * 1024);
  Scanner scanner;
  VideoChunk chunk;
  if (options.joined)
    *options.joined = false;

  // The second half, read on a thread of its own from a pack near the middle.
  std::uint64_t splitAt = 0;
  ScanTrace trace;
  std::atomic<std::uint64_t> secondAt{0};
  std::jthread second;
  if (source.size() >= options.splitFrom && !reader.elementaryStream() &&
      (std::thread::hardware_concurrency() >= 2 || options.splitFrom == 0)) {
    const std::uint64_t near = options.splitNear ? options.splitNear : source.size() / 2;
    const int videoId = near < source.size() ? FirstVideoStream(source) : 0;
    if (videoId != 0)
      splitAt = PackNear(source, near);
    if (splitAt > 0) {
      secondAt = splitAt;
      second = std::jthread([&, videoId](const std::stop_token &stop) {
        try {
          ScanSecondPart(source, splitAt, videoId, trace, secondAt, stop);
        } catch (...) {
          trace.complete = false; // (out of memory) the first reading goes on alone
        }
      });
    }
  }

  std::uint64_t nextReport = 0;
  const std::uint64_t step = std::max<std::uint64_t>(source.size() / 200, 1 << 20);
  std::uint64_t gapsSeen = 0;
  std::uint64_t lastPacketEnd = 0; // where the last video packet ended in the files
  auto noteGaps = [&] {
    if (reader.gapCount() == gapsSeen)
      return;
    gapsSeen = reader.gapCount();
    // A packet whose length ran into the damage holds foreign bytes at its end.
    const bool suspect = lastPacketEnd != 0 && reader.lastGapFrom() == lastPacketEnd;
    scanner.gap(suspect ? scanner.lastChunkStart() : scanner.end());
  };
  if (progress)
    progress(0.0);
  bool joined = false;
  while (reader.next(chunk)) {
    noteGaps();
    scanner.add(chunk);
    lastPacketEnd = reader.position();
    if (progress && chunk.packetPos >= nextReport) {
      const std::uint64_t ahead = splitAt ? secondAt.load(std::memory_order_relaxed) - splitAt : 0;
      progress(static_cast<double>(chunk.packetPos + ahead) / static_cast<double>(source.size()));
      nextReport = chunk.packetPos + step;
    }
    if (splitAt == 0 || chunk.packetPos < splitAt)
      continue;
    // Past the split: take over the second reading once both have read the
    // same packet and their lexers keep the same bytes after it.
    if (second.joinable())
      second.join();
    const auto same = std::lower_bound(trace.chunks.begin(), trace.chunks.end(), chunk.packetPos,
                                       [](const ScanTrace::Chunk &c, std::uint64_t pos) { return c.packetPos < pos; });
    const auto k = static_cast<size_t>(same - trace.chunks.begin());
    if (!trace.complete || k >= trace.kept.size()) {
      splitAt = 0; // the readings do not meet: go on alone
      continue;
    }
    if (same->packetPos == chunk.packetPos && scanner.lexesAs(trace, k)) {
      scanner.replay(trace, k + 1);
      joined = true;
      break;
    }
  }
  if (reader.noPackAtStart())
    Fail(files.front().filename().string() + " is no MPEG-2 program stream (no pack header at its start)");
  if (options.joined)
    *options.joined = joined;
  if (!joined)
    noteGaps();
  if (joined ? trace.truncated : reader.truncatedAt() != 0)
    scanner.gap(scanner.end()); // the last packet is cut off: so is the picture in it
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
  scanner.frameRate(index->rateNum, index->rateDen);
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
  std::vector<std::uint32_t> damagePoints, damagedFrames;
  NumberFrames(scanner.pictures, *index, damagePoints, damagedFrames);
  // Damaged pictures the decoder gives up on are lost too; numbering again
  // may put others in their place, which are tried in turn.
  std::vector<bool> tried(scanner.pictures.size(), false);
  for (int round = 0; round < 8; ++round) {
    std::vector<std::uint32_t> fed;
    for (size_t d = 0; d < scanner.pictures.size(); ++d)
      if (scanner.pictures[d].damaged && index->pictures[d].frame != kNotShown && !tried[d]) {
        fed.push_back(static_cast<std::uint32_t>(d));
        tried[d] = true;
      }
    if (fed.empty())
      break;
    const std::vector<std::uint32_t> silent = PicturesWithoutOutput(source, *index, fed);
    if (silent.empty())
      break;
    for (std::uint32_t d : silent)
      scanner.pictures[d].broken = true;
    damagePoints.clear();
    damagedFrames.clear();
    NumberFrames(scanner.pictures, *index, damagePoints, damagedFrames);
  }
  if (index->frames.empty())
    Fail("the video has no picture that can be decoded (no I-picture)");
  AssignTimes(scanner.pictures, *index);
  index->damaged = DamagedRanges(damagePoints, std::move(damagedFrames), scanner.damagedAtEnd, index->frameCount());
  index->pictures.shrink_to_fit();
  if (progress)
    progress(1.0);
  return index;
}

GroupScan ScanGroupAt(const ConcatenatedFiles &files, std::uint64_t from, int skipIntra, size_t count,
                      std::uint64_t maxBytes, int videoStreamId) {
  ProgramStreamReader reader(files, 256 * 1024);
  if (videoStreamId != 0)
    reader.setVideoStreamId(videoStreamId);
  reader.seek(from);
  Scanner scanner;
  GroupScan scan;
  constexpr size_t kNone = ~size_t{0};
  size_t first = kNone, looked = 0;
  int intraSeen = 0;
  // Whether the group and the picture after it have been met.
  auto enough = [&] {
    for (; looked < scanner.pictures.size(); ++looked)
      if (first == kNone && scanner.pictures[looked].type == kPictureI && intraSeen++ == skipIntra)
        first = looked;
    return first != kNone && scanner.pictures.size() > first + count;
  };
  VideoChunk chunk;
  bool stopped = false;
  while (reader.next(chunk)) {
    if (reader.gapCount() != 0) {
      scan.damaged = true;
      break;
    }
    scanner.add(chunk);
    if (enough() || reader.position() - from > maxBytes) {
      stopped = true;
      break;
    }
  }
  if (!stopped && !scan.damaged) {
    scan.ended = true;
    scan.damaged = reader.truncatedAt() != 0 || reader.gapCount() != 0;
    scanner.finish();
    enough();
  }
  scan.first = first == kNone ? scanner.pictures.size() : first;
  for (const auto &s : scanner.pictures) {
    if (s.size > (64u << 20))
      scan.damaged = true;
    scan.pictures.push_back(LocatedPicture{s.packetPos, s.payloadOffset,
                                           static_cast<std::uint32_t>(std::min<std::uint64_t>(s.size, 0xFFFFFFFFu)),
                                           s.type, s.showFlags});
  }
  scan.haveSequence = scanner.haveSequence;
  scan.haveExtension = scanner.haveExtension;
  scan.width = scanner.width;
  scan.height = scanner.height;
  scan.aspectCode = scanner.aspect;
  scan.chromaFormat = scanner.chroma;
  scan.topFieldFirst = scanner.topFieldFirst;
  scanner.frameRate(scan.rateNum, scan.rateDen);
  scan.elementaryStream = reader.elementaryStream();
  scan.videoStreamId = reader.videoStreamId();
  return scan;
}

void NumberOutlinedPictures(const std::vector<PictureOutline> &pictures, Mpeg2Index &index) {
  std::vector<ScannedPicture> scanned(pictures.size());
  for (size_t i = 0; i < pictures.size(); ++i) {
    scanned[i].type = pictures[i].type;
    scanned[i].showFlags = pictures[i].fields;
    scanned[i].closedGop = pictures[i].closedGop;
  }
  std::vector<std::uint32_t> damagePoints, damagedFrames;
  NumberFrames(scanned, index, damagePoints, damagedFrames);
}

// ---------------------------------------------------------------------------
// Kept on disk: a header (with the damaged ranges) and its checksum, then the
// picture and frame tables as they lie in memory, then a checksum for every
// block of StoredTableCheck::kBlockRecords records of each table. Opening a
// cache file reads and checks the header only; each block of the tables is
// read and checked when it is first used, so that reopening costs the same
// for ten minutes of video as for a whole disc.

namespace {

constexpr char kMagic[8] = {'R', 'W', 'I', 'D', 'X', '0', '0', '4'};
constexpr size_t kBlock = StoredTableCheck::kBlockRecords;

static_assert(std::is_trivially_copyable_v<IndexedPicture> && sizeof(IndexedPicture) == 32,
              "the stored picture table is the in-memory one");
static_assert(sizeof(FrameRange) == 8);

template <typename T> void Put(std::string &out, T value) {
  out.append(reinterpret_cast<const char *>(&value), sizeof(value));
}

size_t Blocks(std::uint64_t records) { return static_cast<size_t>((records + kBlock - 1) / kBlock); }
size_t Align8(size_t n) { return (n + 7) & ~size_t{7}; }

// Checksums of a table's blocks; the seed names the table and the block, so
// that blocks moved or swapped do not pass.
template <typename T> void PutBlockSums(std::string &out, const T *records, size_t count, std::uint64_t table) {
  for (size_t b = 0; b < Blocks(count); ++b) {
    const size_t n = std::min(kBlock, count - b * kBlock);
    Put<std::uint64_t>(out, WideHash(records + b * kBlock, n * sizeof(T), (table << 40) + b));
  }
}

class Cursor {
public:
  Cursor(const std::uint8_t *bytes, size_t size) : bytes_(bytes), size_(size) {}
  template <typename T> bool get(T &value) {
    if (size_ - at_ < sizeof(T))
      return false;
    std::memcpy(&value, bytes_ + at_, sizeof(T));
    at_ += sizeof(T);
    return true;
  }
  bool get(std::string &s, size_t length) {
    if (size_ - at_ < length)
      return false;
    s.assign(reinterpret_cast<const char *>(bytes_) + at_, length);
    at_ += length;
    return true;
  }
  template <typename T> bool table(std::vector<T> &out, std::uint64_t count) {
    if (count > (size_ - at_) / sizeof(T))
      return false;
    out.resize(static_cast<size_t>(count));
    if (count)
      std::memcpy(out.data(), bytes_ + at_, static_cast<size_t>(count) * sizeof(T));
    at_ += static_cast<size_t>(count) * sizeof(T);
    return true;
  }
  size_t at() const { return at_; }

private:
  const std::uint8_t *bytes_;
  size_t size_;
  size_t at_ = 0;
};

// Where the parts of a stored index lie, from its header.
struct StoredLayout {
  std::uint64_t pictures = 0, frames = 0;
  size_t pictureTable = 0, frameTable = 0, sums = 0, total = 0;
};

// Reads and checks the header of a stored index: the index without its
// tables, and where they lie. Null when the header is damaged or the size of
// the bytes is not the one the header gives.
std::shared_ptr<Mpeg2Index> ReadStoredHeader(const std::uint8_t *bytes, size_t size, StoredLayout &layout) {
  if (size < sizeof(kMagic) + 8 || std::memcmp(bytes, kMagic, sizeof(kMagic)) != 0)
    return nullptr;
  Cursor in(bytes, size);
  std::string magic;
  in.get(magic, sizeof(kMagic));
  auto index = std::make_shared<Mpeg2Index>();
  std::uint32_t keyLength = 0;
  if (!in.get(keyLength) || !in.get(index->key, keyLength))
    return nullptr;
  std::int32_t v[10];
  for (auto &x : v)
    if (!in.get(x))
      return nullptr;
  index->repeatsFields = v[9] != 0 ? 1 : 0;
  index->width = v[0];
  index->height = v[1];
  index->rateNum = v[2];
  index->rateDen = v[3];
  index->aspectCode = v[4];
  index->chromaFormat = v[5];
  index->topFieldFirst = v[6] != 0;
  index->elementaryStream = v[7] != 0;
  index->videoStreamId = v[8];
  std::uint64_t damagedCount = 0;
  if (!in.get(layout.pictures) || !in.get(layout.frames) || !in.get(damagedCount))
    return nullptr;
  if (index->width <= 0 || index->width > 8192 || index->height <= 0 || index->height > 8192 ||
      index->rateNum <= 0 || index->rateDen <= 0 || layout.frames == 0 || layout.frames > layout.pictures ||
      layout.pictures >= kNotShown || damagedCount > layout.frames || !in.table(index->damaged, damagedCount))
    return nullptr;
  const size_t headerEnd = Align8(in.at());
  std::uint64_t stored = 0;
  if (headerEnd + 8 > size)
    return nullptr;
  std::memcpy(&stored, bytes + headerEnd, 8);
  if (WideHash(bytes, headerEnd) != stored)
    return nullptr;
  for (const FrameRange &r : index->damaged)
    if (r.first < 0 || r.first > r.last || static_cast<std::uint64_t>(r.last) >= layout.frames)
      return nullptr;
  layout.pictureTable = headerEnd + 8;
  layout.frameTable = layout.pictureTable + static_cast<size_t>(layout.pictures) * sizeof(IndexedPicture);
  layout.sums = Align8(layout.frameTable + static_cast<size_t>(layout.frames) * sizeof(std::uint32_t));
  layout.total = layout.sums + (Blocks(layout.pictures) + Blocks(layout.frames)) * 8;
  if (layout.total != size)
    return nullptr;
  return index;
}

// Brings bytes of a stored index into memory before they are read: a cache
// file is read piece by piece as its blocks are first used.
class StoredBytes {
public:
  virtual ~StoredBytes() = default;
  // Whether bytes [offset, offset + length) are in memory now (false when
  // the file no longer holds them).
  virtual bool load(size_t offset, size_t length) const = 0;
};

// The checks of one table of a stored index: the block's checksum, and the
// bounds that keep every lookup through the index inside its tables (a
// picture's own fields, its seek point before it, its frame and every
// frame's picture within the tables). How the tables refer to one another
// (a frame's picture shows that frame, decoding starts at an I-picture) the
// source checks when it uses them.
class BlockCheck : public StoredTableCheck {
public:
  BlockCheck(std::shared_ptr<const void> keep, const StoredBytes *loader, const std::uint8_t *bytes,
             const StoredLayout &layout, bool pictures)
      : StoredTableCheck(static_cast<size_t>(pictures ? layout.pictures : layout.frames)), keep_(std::move(keep)),
        loader_(loader), bytes_(bytes), layout_(layout), pictures_(pictures) {}

  bool sound(size_t block) const override {
    const size_t records = static_cast<size_t>(pictures_ ? layout_.pictures : layout_.frames);
    const size_t first = block * kBlock;
    const size_t n = std::min(kBlock, records - first);
    const size_t recordSize = pictures_ ? sizeof(IndexedPicture) : sizeof(std::uint32_t);
    const size_t offset = (pictures_ ? layout_.pictureTable : layout_.frameTable) + first * recordSize;
    const size_t sum = layout_.sums + 8 * (pictures_ ? block : Blocks(layout_.pictures) + block);
    if (loader_ && (!loader_->load(offset, n * recordSize) || !loader_->load(sum, 8)))
      return false;
    const std::uint8_t *at = bytes_ + offset;
    std::uint64_t stored = 0;
    std::memcpy(&stored, bytes_ + sum, 8);
    if (WideHash(at, n * recordSize, ((pictures_ ? 1ull : 2ull) << 40) + block) != stored)
      return false;
    if (!pictures_) {
      const auto *frames = reinterpret_cast<const std::uint32_t *>(at);
      return std::all_of(frames, frames + n, [&](std::uint32_t d) { return d < layout_.pictures; });
    }
    const auto *pictures = reinterpret_cast<const IndexedPicture *>(at);
    for (size_t k = 0; k < n; ++k) {
      const IndexedPicture &p = pictures[k];
      if (p.fields > (kTopFieldFirst | kRepeatFirstField) || p.type > kPictureB || p.seekFrom > first + k ||
          p.size > (64u << 20) || (p.frame != kNotShown && p.frame >= layout_.frames))
        return false;
    }
    return true;
  }

private:
  std::shared_ptr<const void> keep_; // the bytes' owner
  const StoredBytes *loader_;        // brings the bytes in first (null: all in memory)
  const std::uint8_t *bytes_;
  StoredLayout layout_;
  bool pictures_;
};

// The stored index over `bytes`, whose tables are read in place: `keep`
// keeps the bytes alive as long as any copy of the index does; `loader`,
// when given, brings each block in before it is checked.
std::shared_ptr<Mpeg2Index> ViewStoredIndex(std::shared_ptr<const void> keep, const StoredBytes *loader,
                                            const std::uint8_t *bytes, size_t size) {
  StoredLayout layout;
  auto index = ReadStoredHeader(bytes, size, layout);
  if (!index)
    return nullptr;
  index->pictures = IndexTable<IndexedPicture>(std::make_shared<BlockCheck>(keep, loader, bytes, layout, true),
                                               reinterpret_cast<const IndexedPicture *>(bytes + layout.pictureTable),
                                               static_cast<size_t>(layout.pictures));
  index->frames = IndexTable<std::uint32_t>(std::make_shared<BlockCheck>(keep, loader, bytes, layout, false),
                                            reinterpret_cast<const std::uint32_t *>(bytes + layout.frameTable),
                                            static_cast<size_t>(layout.frames));
  return index;
}

} // namespace

std::string SerializeIndex(const Mpeg2Index &index) {
  std::string out(kMagic, sizeof(kMagic));
  const IndexedPicture *pictures = index.pictures.data();
  const std::uint32_t *frames = index.frames.data();
  const size_t pictureCount = index.pictures.size(), frameCount = index.frames.size();
  out.reserve(256 + index.key.size() + index.damaged.size() * sizeof(FrameRange) +
              pictureCount * sizeof(IndexedPicture) + frameCount * 4 + (Blocks(pictureCount) + Blocks(frameCount)) * 8);
  Put<std::uint32_t>(out, static_cast<std::uint32_t>(index.key.size()));
  out += index.key;
  for (int v : {index.width, index.height, index.rateNum, index.rateDen, index.aspectCode, index.chromaFormat,
                index.topFieldFirst ? 1 : 0, index.elementaryStream ? 1 : 0, index.videoStreamId,
                std::any_of(frames, frames + frameCount, [&](std::uint32_t d) {
                  return d < pictureCount && (pictures[d].fields & kRepeatFirstField);
                }) ? 1 : 0})
    Put<std::int32_t>(out, v);
  Put<std::uint64_t>(out, pictureCount);
  Put<std::uint64_t>(out, frameCount);
  Put<std::uint64_t>(out, index.damaged.size());
  out.append(reinterpret_cast<const char *>(index.damaged.data()), index.damaged.size() * sizeof(FrameRange));
  out.resize(Align8(out.size()), '\0');
  Put<std::uint64_t>(out, WideHash(out.data(), out.size()));
  out.append(reinterpret_cast<const char *>(pictures), pictureCount * sizeof(IndexedPicture));
  out.append(reinterpret_cast<const char *>(frames), frameCount * sizeof(std::uint32_t));
  out.resize(Align8(out.size()), '\0');
  PutBlockSums(out, pictures, pictureCount, 1);
  PutBlockSums(out, frames, frameCount, 2);
  return out;
}

std::shared_ptr<Mpeg2Index> DeserializeIndex(const std::string &bytes) {
  return DeserializeIndex(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
}

// Everything checked at once, and the tables copied into memory.
std::shared_ptr<Mpeg2Index> DeserializeIndex(const std::uint8_t *bytes, size_t size) {
  if (reinterpret_cast<std::uintptr_t>(bytes) % alignof(IndexedPicture) != 0) {
    // The tables are read in place: give them the alignment they need.
    auto copy = std::make_shared<std::vector<std::uint64_t>>((size + 7) / 8);
    std::memcpy(copy->data(), bytes, size);
    return DeserializeIndex(reinterpret_cast<const std::uint8_t *>(copy->data()), size);
  }
  const std::shared_ptr<const Mpeg2Index> view = ViewStoredIndex(nullptr, nullptr, bytes, size);
  if (!view)
    return nullptr;
  auto index = std::make_shared<Mpeg2Index>(*view);
  try {
    index->pictures = std::vector<IndexedPicture>(view->pictures.begin(), view->pictures.end());
    index->frames = std::vector<std::uint32_t>(view->frames.begin(), view->frames.end());
  } catch (const StaleIndexError &) {
    return nullptr;
  }
  // The tables must describe one another: every shown picture has its frame,
  // every frame its picture, and decoding starts at an I-picture.
  const auto &pictures = index->pictures;
  std::uint64_t shown = 0;
  for (std::uint32_t i = 0; i < pictures.size(); ++i) {
    const IndexedPicture &p = pictures[i];
    if (p.frame != kNotShown) {
      if (index->frames[p.frame] != i || p.type == 0 || pictures[p.seekFrom].type != kPictureI)
        return nullptr;
      ++shown;
    }
  }
  if (shown != index->frames.size())
    return nullptr;
  return index;
}

namespace {

// A cache file read into memory of its own piece by piece, as an index
// first uses each part. (A mapping of the file itself would fault with
// SIGBUS where another program cut the file short after it was opened; a
// read simply comes back short, and the index is built again.)
class CacheFileMemory : public StoredBytes {
public:
  CacheFileMemory(int fd, size_t size) : fd_(fd), size_(size), loaded_((size + kPiece - 1) / kPiece, false) {
    // Pages never touched cost nothing.
    base_ = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  }
  ~CacheFileMemory() override {
    if (base_ != MAP_FAILED)
      ::munmap(base_, size_);
    ::close(fd_);
  }
  CacheFileMemory(const CacheFileMemory &) = delete;
  CacheFileMemory &operator=(const CacheFileMemory &) = delete;

  bool ready() const { return base_ != MAP_FAILED; }
  const std::uint8_t *bytes() const { return static_cast<const std::uint8_t *>(base_); }
  size_t size() const { return size_; }

  bool load(size_t offset, size_t length) const override {
    if (offset > size_ || length > size_ - offset)
      return false;
    std::lock_guard lock(mutex_);
    for (size_t piece = offset / kPiece; piece * kPiece < offset + length; ++piece) {
      if (loaded_[piece])
        continue;
      const size_t at = piece * kPiece, n = std::min(kPiece, size_ - at);
      if (ReadAt(fd_, at, static_cast<std::uint8_t *>(base_) + at, n) != n)
        return false;
      loaded_[piece] = true;
    }
    return true;
  }

private:
  static constexpr size_t kPiece = 16 * 1024;
  int fd_;
  size_t size_;
  void *base_ = MAP_FAILED;
  mutable std::mutex mutex_;
  mutable std::vector<bool> loaded_;
};

// The stored index at `path`; null when there is none or its header is not
// valid. Its tables are read and checked block by block as they are used.
std::shared_ptr<Mpeg2Index> LoadStoredIndex(const fs::path &path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_size >= (std::int64_t{1} << 32)) {
    ::close(fd);
    return nullptr;
  }
  auto file = std::make_shared<CacheFileMemory>(fd, static_cast<size_t>(st.st_size));
  if (!file->ready())
    return nullptr;
  // The header: its first part holds it unless the damaged ranges are many.
  for (size_t head : {size_t{4} << 10, size_t{16} << 20}) {
    if (!file->load(0, std::min(head, file->size())))
      return nullptr;
    if (auto index = ViewStoredIndex(file, file.get(), file->bytes(), file->size()))
      return index;
    if (head >= file->size())
      break;
  }
  return nullptr;
}

} // namespace

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

namespace {

// Keeps a built index in memory and on disk under its key.
void Remember(const std::string &key, const IndexPtr &index, bool store) {
  if (store) {
    const fs::path cachePath = IndexCachePath(key);
    std::error_code ec;
    fs::create_directories(cachePath.parent_path(), ec);
    if (!ec && WriteFileAtomically(cachePath, SerializeIndex(*index))) // a cache: failure only costs time
      PruneCacheFolder(cachePath.parent_path(), 200);
  }
  std::lock_guard lock(gMemoryMutex);
  auto &indexes = MemoryIndexes();
  if (indexes.size() >= 4 && !indexes.count(key))
    indexes.erase(indexes.begin());
  indexes[key] = index;
}

} // namespace

namespace {

// The index under `key` from memory, else from the disk cache (then kept in
// memory too); null when neither holds it.
IndexPtr KeptIndex(const std::string &key) {
  {
    std::lock_guard lock(gMemoryMutex);
    if (auto it = MemoryIndexes().find(key); it != MemoryIndexes().end())
      return it->second;
  }
  IndexPtr index;
  if (auto loaded = LoadStoredIndex(IndexCachePath(key)); loaded && loaded->key == key) {
    index = std::move(loaded);
    Remember(key, index, false);
  }
  return index;
}

} // namespace

IndexPtr GetMpeg2Index(const std::vector<fs::path> &files, const ProgressFn &progress) {
  if (files.empty())
    Fail("the project lists no video files");
  const std::string key = IndexKey(files);
  if (IndexPtr index = KeptIndex(key))
    return index;
  IndexPtr index = BuildMpeg2Index(files, key, progress);
  Remember(key, index, true);
  return index;
}

IndexPtr FindMpeg2Index(const std::vector<fs::path> &files) {
  if (files.empty())
    Fail("the project lists no video files");
  return KeptIndex(IndexKey(files));
}

IndexPtr RebuildMpeg2Index(const std::vector<fs::path> &files, const ProgressFn &progress) {
  if (files.empty())
    Fail("the project lists no video files");
  const std::string key = IndexKey(files);
  IndexPtr index = BuildMpeg2Index(files, key, progress);
  Remember(key, index, true);
  return index;
}

} // namespace reelwork::engine
