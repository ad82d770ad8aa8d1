#include "engine/d2v_writer.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <numeric>
#include <optional>
#include <system_error>

#include "common/atomic_file.h"
#include "common/text_codec.h"
#include "engine/nav_pack.h"
#include "engine/program_stream.h"

namespace fs = std::filesystem;

namespace reelwork::engine {

// The project file, as the indexer that defined it writes it:
//
//   DGIndexProjectFile16      format name and version
//   N                         number of video files, then their paths
//   (blank line)
//   settings, key=value       stream facts and the decoder's options
//   (blank line)
//   data lines                one per I-picture (below)
//   (blank line)
//   FINISHED P% FILM          share of film shown with pulldown flags
//
// A data line: info matrix file position skip vob cell flags...
//   info      hex; bit 11 always set (a data line), bit 10 the group of
//             pictures is closed, bit 9 the sequence is progressive, bit 8
//             this I-picture starts a group (a GOP header comes before it)
//   matrix    matrix_coefficients in force (colour matrix of the YUV data)
//   file      index into the file list of the file holding `position`
//   position  byte in that file where decoding of the I-picture begins: the
//             pack holding the sequence header before it (the picture header
//             when no sequence header comes first); in a bare elementary
//             stream the header itself
//   skip      I-pictures to pass over from `position` to reach this one
//             (several can start within one pack)
//   vob cell  the DVD navigation pack's VOB and cell numbers at that place
//   flags     one hex byte per coded picture from this I-picture up to the
//             next, in display order: bit 7 decodable without the previous
//             group, bit 6 progressive_frame, bits 5-4 picture type (1 I,
//             2 P, 3 B), bit 1 top field first, bit 0 repeat first field;
//             "ff" follows the last picture of the stream.

namespace {

[[noreturn]] void Fail(const std::string &reason) { throw EngineError("d2v: " + reason); }

constexpr std::uint8_t kI = 1, kP = 2, kB = 3;

// Where a piece of the video elementary stream came from.
struct Span {
  std::uint64_t esStart = 0;
  std::uint64_t packStart = 0;
  NavIds ids;
};

// One coded picture (a frame picture or a pair of field pictures).
struct Picture {
  std::uint64_t startPos = 0; // where decoding of it may begin (see `position` above)
  NavIds ids;
  std::uint8_t type = 0; // of the first field
  bool topFirst = true;
  bool repeatFirst = false;
  bool progressiveFrame = false;
  bool fieldPicture = false;
  int fields = 1;
  bool gopStart = false;
  bool closedGop = false;
  bool progressiveSequence = false;
  int matrix = 1;
};

// Splits the video elementary stream at its start codes and keeps what the
// project needs of each header.
class StreamScanner : public SequenceFacts {
public:
  explicit StreamScanner(bool elementary) : elementary_(elementary) {}

  std::vector<Picture> pictures;

  void add(const VideoChunk &chunk, std::uint64_t packStart, const NavIds &ids) {
    spans_.push_back(Span{esBase_ + es_.size(), elementary_ ? chunk.packetPos : packStart, ids});
    es_.insert(es_.end(), chunk.data, chunk.data + chunk.size);
    scan(false);
  }
  void finish() { scan(true); }

private:
  void scan(bool final) {
    const std::uint8_t *p = es_.data();
    const size_t n = es_.size();
    size_t i = scan_;
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
      const size_t need = StartCodeHeaderBytes(code);
      if (i + 4 + need > n) {
        if (!final)
          break; // wait for the rest of the header
        i += 4;  // cut off by the end of the stream
        continue;
      }
      handle(code, p + i + 4, esBase_ + i);
      i += 4;
    }
    scan_ = i;
    const std::uint64_t scanPos = esBase_ + scan_;
    while (spans_.size() > 1 && spans_[1].esStart <= scanPos)
      spans_.pop_front();
    if (scan_ > (1u << 20)) {
      es_.erase(es_.begin(), es_.begin() + static_cast<std::ptrdiff_t>(scan_));
      esBase_ += scan_;
      scan_ = 0;
    }
  }

  const Span &spanOf(std::uint64_t pos) const {
    for (auto it = spans_.rbegin(); it != spans_.rend(); ++it)
      if (it->esStart <= pos)
        return *it;
    return spans_.front();
  }

  // Where decoding from the header at elementary stream position `pos` begins.
  std::uint64_t startOf(std::uint64_t pos) const {
    const Span &span = spanOf(pos);
    return elementary_ ? span.packStart + (pos - span.esStart) : span.packStart;
  }

  void handle(std::uint8_t code, const std::uint8_t *h, std::uint64_t pos) {
    if (code == 0xB3) {
      if (!sequenceStart_) {
        sequenceStart_ = startOf(pos);
        sequenceIds_ = spanOf(pos).ids;
      }
      matrix_ = 1; // until a display extension of this sequence header says otherwise
      readSequenceHeader(h);
    } else if (code == 0xB5) {
      const int id = h[0] >> 4;
      if (id == 1) { // sequence extension
        progressiveSequence_ = (h[1] >> 3) & 1;
        readSequenceExtension(h);
      } else if (id == 2) { // sequence display extension
        if (h[0] & 1)
          matrix_ = h[3];
      } else if (id == 8 && open_) { // picture coding extension
        Picture &pic = pictures.back();
        if (pic.fields != 1)
          return;
        const int structure = h[2] & 3;
        pic.progressiveFrame = (h[4] >> 7) != 0;
        if (structure == 3) {
          pic.topFirst = (h[3] >> 7) != 0;
          pic.repeatFirst = ((h[3] >> 1) & 1) != 0;
        } else {
          pic.fieldPicture = true;
          pic.topFirst = structure == 1; // the top field is coded (and shown) first
          pic.repeatFirst = false;
        }
      }
    } else if (code == 0xB8) {
      gopPending_ = true;
      closed_ = ((h[3] >> 6) & 1) != 0;
    } else if (code == 0x00) {
      if (open_ && pictures.back().fieldPicture && pictures.back().fields == 1) {
        pictures.back().fields = 2; // the second field of the same frame
        return;
      }
      Picture pic;
      pic.type = static_cast<std::uint8_t>((h[1] >> 3) & 7);
      if (sequenceStart_) {
        pic.startPos = *sequenceStart_;
        pic.ids = sequenceIds_;
      } else {
        pic.startPos = startOf(pos);
        pic.ids = spanOf(pos).ids;
      }
      sequenceStart_.reset();
      pic.gopStart = gopPending_;
      gopPending_ = false;
      pic.closedGop = closed_;
      pic.progressiveSequence = progressiveSequence_;
      pic.matrix = matrix_;
      pictures.push_back(pic);
      open_ = true;
    }
  }

  const bool elementary_;
  std::vector<std::uint8_t> es_;
  std::uint64_t esBase_ = 0;
  size_t scan_ = 0;
  std::deque<Span> spans_;
  std::optional<std::uint64_t> sequenceStart_;
  NavIds sequenceIds_;
  bool gopPending_ = false;
  bool closed_ = false;
  bool progressiveSequence_ = false;
  int matrix_ = 1; // ISO/IEC 13818-2: without a colour description, matrix 1 applies
  bool open_ = false;
};

std::string AspectText(int code) {
  switch (code) {
  case 1: return "1:1";
  case 3: return "16:9";
  case 4: return "2.21:1";
  default: return "4:3";
  }
}

std::string Hex(unsigned long long value, bool upper = false) {
  char text[24];
  std::snprintf(text, sizeof(text), upper ? "%llX" : "%llx", value);
  return text;
}

// The file of the list and the byte within it for a position in the files
// read as one.
struct FilePlace {
  size_t file = 0;
  std::uint64_t offset = 0;
};

FilePlace PlaceOf(const std::vector<std::uint64_t> &starts, std::uint64_t pos) {
  size_t file = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), pos) - starts.begin());
  file = file == 0 ? 0 : file - 1;
  return FilePlace{file, pos - starts[file]};
}

} // namespace

std::string FormatHundredths(int hundredths) {
  char text[32];
  std::snprintf(text, sizeof(text), "%d.%02d", hundredths / 100, hundredths % 100);
  return text;
}

namespace {

// The project's list of files, one absolute path a line. Windows tools read
// the paths as Windows-1251, so they are written so when every letter fits
// and the text reads back the same through DecodeProjectText (which takes a
// text that is valid UTF-8 for UTF-8); otherwise they stay the UTF-8 bytes
// of the file system. The whole list takes one encoding: the reader decodes
// the project as one text.
std::string PathLines(const std::vector<fs::path> &vobs) {
  std::string utf8;
  for (const auto &vob : vobs) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(vob, ec);
    utf8 += (ec ? vob : absolute.lexically_normal()).string() + "\r\n";
  }
  if (auto cp1251 = Utf8ToCp1251(utf8); cp1251 && DecodeProjectText(*cp1251) == utf8)
    return *cp1251;
  return utf8;
}

} // namespace

std::string MakeD2vProject(const std::vector<fs::path> &vobs, const D2vWriteOptions &options,
                           const ProgressFn &progress, D2vSummary *summaryOut) {
  if (vobs.empty())
    Fail("no video files given");
  ConcatenatedFiles source(vobs);
  if (source.size() == 0)
    Fail(vobs.front().filename().string() + " is empty");
  std::vector<std::uint64_t> starts;
  std::uint64_t lastSize = 0;
  {
    std::uint64_t at = 0;
    for (const auto &vob : vobs) {
      std::error_code ec;
      starts.push_back(at);
      lastSize = fs::file_size(vob, ec);
      at += ec ? 0 : lastSize;
    }
  }

  // The pass: video payloads from the reader, pack starts and navigation
  // numbers from a tracker that follows it.
  ProgramStreamReader reader(source, 1 << 20);
  PackTracker tracker(source);
  StreamScanner scanner(reader.elementaryStream());
  VideoChunk chunk;
  const std::uint64_t step = std::max<std::uint64_t>(source.size() / 200, 1 << 20);
  std::uint64_t nextReport = 0;
  if (progress)
    progress(0.0);
  while (reader.next(chunk)) {
    if (!reader.elementaryStream())
      tracker.advanceTo(chunk.packetPos);
    scanner.add(chunk, tracker.packStart(), tracker.ids());
    if (progress && chunk.packetPos >= nextReport) {
      progress(static_cast<double>(chunk.packetPos) / static_cast<double>(source.size()));
      nextReport = chunk.packetPos + step;
    }
  }
  scanner.finish();
  if (!scanner.haveSequence || scanner.pictures.empty())
    Fail(vobs.size() == 1 ? vobs.front().filename().string() + " holds no MPEG-2 video"
                          : "the files hold no MPEG-2 video");
  if (!scanner.haveExtension)
    Fail("the video is MPEG-1, not MPEG-2");
  const auto &pictures = scanner.pictures;
  const auto firstI = std::find_if(pictures.begin(), pictures.end(), [](const Picture &p) { return p.type == kI; });
  if (firstI == pictures.end())
    Fail("the video has no I-picture to start decoding at");
  const size_t first = static_cast<size_t>(firstI - pictures.begin());

  // Display order: a reference picture (I or P) is shown when the next one
  // arrives; a B-picture at once.
  std::vector<size_t> rank(pictures.size(), 0);
  {
    size_t shown = 0;
    std::optional<size_t> pending;
    for (size_t i = first; i < pictures.size(); ++i) {
      if (pictures[i].type != kB) {
        if (pending)
          rank[*pending] = shown++;
        pending = i;
      } else {
        rank[i] = shown++;
      }
    }
    if (pending)
      rank[*pending] = shown++;
  }

  D2vSummary summary;
  summary.width = scanner.width;
  summary.height = scanner.height;
  summary.aspectCode = scanner.aspect;
  summary.sawNavPacks = tracker.sawNavPack();
  summary.droppedLeading = static_cast<int>(first);
  scanner.frameRate(summary.rateNum, summary.rateDen);

  std::string data;
  long repeated = 0;
  FilePlace previousPlace{static_cast<size_t>(-1), 0};
  int skip = 0;
  for (size_t s = first; s < pictures.size();) {
    size_t e = s + 1;
    while (e < pictures.size() && pictures[e].type != kI)
      ++e;
    const Picture &head = pictures[s];
    const int info = 0x800 | (head.closedGop ? 0x400 : 0) | (head.progressiveSequence ? 0x200 : 0) |
                     (head.gopStart ? 0x100 : 0);
    const FilePlace place = PlaceOf(starts, head.startPos);
    skip = place.file == previousPlace.file && place.offset == previousPlace.offset ? skip + 1 : 0;
    previousPlace = place;
    data += Hex(static_cast<unsigned>(info)) + ' ' + std::to_string(head.matrix) + ' ' + std::to_string(place.file) +
            ' ' + std::to_string(place.offset) + ' ' + std::to_string(skip) + ' ' + std::to_string(head.ids.vob) + ' ' +
            std::to_string(head.ids.cell);
    // The B-pictures right after the I-picture (before the next reference)
    // are shown before it and, in an open group, lean on the previous one.
    size_t leadingEnd = s + 1;
    while (leadingEnd < e && pictures[leadingEnd].type == kB)
      ++leadingEnd;
    const bool leadingDecodable = head.closedGop && head.gopStart;
    std::vector<size_t> line(e - s);
    std::iota(line.begin(), line.end(), s);
    std::sort(line.begin(), line.end(), [&](size_t a, size_t b) { return rank[a] < rank[b]; });
    for (size_t i : line) {
      const Picture &pic = pictures[i];
      const bool leading = i > s && i < leadingEnd;
      const int flags = (!leading || leadingDecodable ? 0x80 : 0) | (pic.progressiveFrame ? 0x40 : 0) |
                        ((pic.type & 3) << 4) | (pic.topFirst ? 2 : 0) | (pic.repeatFirst ? 1 : 0);
      char text[4];
      std::snprintf(text, sizeof(text), "%02x", flags);
      data += ' ';
      data += text;
      repeated += pic.repeatFirst ? 1 : 0;
    }
    if (e == pictures.size())
      data += " ff";
    data += "\r\n";
    ++summary.gops;
    summary.pictures += static_cast<int>(e - s);
    s = e;
  }
  // Film with pulldown flags repeats a field on every other picture (3:2):
  // each picture with a repeated field stands for two film pictures.
  summary.filmHundredths =
      static_cast<int>(std::min<long long>(10000, (20000LL * repeated + summary.pictures / 2) / summary.pictures));

  int rateNum = summary.rateNum, rateDen = summary.rateDen;
  if (options.fieldOperation == 1 && rateNum * 1001LL == 30000LL * rateDen)
    rateNum = 24000, rateDen = 1001;
  else if (options.fieldOperation == 1 && rateNum == 30 && rateDen == 1)
    rateNum = 24;

  std::string text = "DGIndexProjectFile16\r\n" + std::to_string(vobs.size()) + "\r\n" + PathLines(vobs);
  text += "\r\n";
  text += std::string("Stream_Type=") + (reader.elementaryStream() ? "0" : "1") + "\r\n";
  text += "MPEG_Type=2\r\n";
  text += "iDCT_Algorithm=" + std::to_string(options.idctAlgorithm) + "\r\n";
  text += "YUVRGB_Scale=1\r\n";      // PC scale
  text += "Luminance_Filter=0,0\r\n"; // gamma, offset
  text += "Clipping=0,0,0,0\r\n";     // left, right, top, bottom
  text += "Aspect_Ratio=" + AspectText(summary.aspectCode) + "\r\n";
  text += "Picture_Size=" + std::to_string(summary.width) + "x" + std::to_string(summary.height) + "\r\n";
  text += "Field_Operation=" + std::to_string(options.fieldOperation) + "\r\n";
  text += "Frame_Rate=" + std::to_string(static_cast<long long>(rateNum) * 1000 / rateDen) + " (" +
          std::to_string(rateNum) + "/" + std::to_string(rateDen) + ")\r\n";
  // The range indexed: first file and its 2048-byte sector, last file and
  // its last sector (sectors in hex).
  const std::uint64_t lastSector = lastSize == 0 ? 0 : (lastSize - 1) / 2048;
  text += "Location=0,0," + std::to_string(vobs.size() - 1) + "," + Hex(lastSector, true) + "\r\n";
  text += "\r\n";
  text += data;
  text += "\r\nFINISHED " + FormatHundredths(summary.filmHundredths) + "% FILM\r\n";
  if (progress)
    progress(1.0);
  if (summaryOut)
    *summaryOut = summary;
  return text;
}

D2vSummary WriteD2vProject(const fs::path &d2vPath, const std::vector<fs::path> &vobs, const D2vWriteOptions &options,
                           const ProgressFn &progress) {
  D2vSummary summary;
  const std::string text = MakeD2vProject(vobs, options, progress, &summary);
  std::string error;
  if (!WriteFileAtomically(d2vPath, text, &error))
    Fail("cannot write " + d2vPath.string() + ": " + error);
  return summary;
}

} // namespace reelwork::engine
