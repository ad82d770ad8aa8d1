#include "engine/project_lines.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "engine/program_stream.h"

namespace fs = std::filesystem;

namespace reelwork::engine {

namespace {

// How far past a line's stretch of the files a scan may read to find the
// picture after its group.
constexpr std::uint64_t kScanRoom = 4u << 20;
// The first line of a project made for whole files lies near their start.
constexpr std::uint64_t kFirstLineWithin = 16u << 20;

// The pictures of a data line (flags in display order) in decode order: each
// reference picture comes before the B-pictures shown before it. Empty when
// the line is no group decoders can follow (no I-picture first, another
// I-picture, B-pictures shown after the last reference).
std::vector<PictureOutline> DecodeOrder(const D2vGop &line) {
  std::vector<PictureOutline> order, waiting;
  for (std::uint8_t flag : line.flags) {
    PictureOutline p;
    p.type = static_cast<std::uint8_t>((flag >> 4) & 3);
    p.fields = static_cast<std::uint8_t>(((flag & 2) ? kTopFieldFirst : 0) | ((flag & 1) ? kRepeatFirstField : 0));
    p.closedGop = (line.info & 0x400) != 0;
    if (p.type == 0)
      return {};
    if (p.type == kPictureB) {
      waiting.push_back(p);
      continue;
    }
    if ((p.type == kPictureI) != order.empty())
      return {};
    order.push_back(p);
    order.insert(order.end(), waiting.begin(), waiting.end());
    waiting.clear();
  }
  if (!waiting.empty())
    return {};
  return order;
}

// The (skip + 1)-th I-picture of `scan` whose packet lies at `position` or
// after it (in a bare video stream: whose headers begin there or after), as
// a decoder starting at a line's place finds it.
size_t IntraAt(const GroupScan &scan, std::uint64_t position, int skip, bool elementary) {
  for (size_t i = 0; i < scan.pictures.size(); ++i) {
    const LocatedPicture &p = scan.pictures[i];
    if (p.type == kPictureI && p.packetPos + (elementary ? p.payloadOffset : 0) >= position && skip-- == 0)
      return i;
  }
  return scan.pictures.size();
}

size_t GroupOf(const ProjectLines &lines, std::uint32_t d) {
  return static_cast<size_t>(std::upper_bound(lines.groupStart.begin(), lines.groupStart.end(), d) -
                             lines.groupStart.begin()) -
         1;
}

// Whether the scan found group g as its line lists it, ending where the next
// line starts (or with the stream); then the pictures' places are filled in.
bool TakeGroup(ProjectLines &lines, size_t g, const GroupScan &scan) {
  const size_t k = scan.first;
  const std::uint32_t start = lines.groupStart[g];
  const size_t count = lines.groupStart[g + 1] - start;
  const bool elementary = lines.index->elementaryStream;
  if (scan.damaged || k >= scan.pictures.size() || IntraAt(scan, lines.position[g], lines.skip[g], elementary) != k ||
      scan.pictures.size() < k + count)
    return false;
  for (size_t i = 0; i < count; ++i) {
    const IndexedPicture &listed = lines.index->pictures[start + i];
    const LocatedPicture &found = scan.pictures[k + i];
    if (found.type != listed.type || found.fields != listed.fields || found.size < 4)
      return false;
  }
  if (g + 1 < lines.position.size()) {
    if (IntraAt(scan, lines.position[g + 1], lines.skip[g + 1], elementary) != k + count)
      return false;
  } else if (!scan.ended || scan.pictures.size() != k + count) {
    return false;
  }
  for (size_t i = 0; i < count; ++i) {
    IndexedPicture &pic = lines.index->pictures[start + i];
    const LocatedPicture &found = scan.pictures[k + i];
    pic.packetPos = found.packetPos;
    pic.payloadOffset = found.payloadOffset;
    pic.size = found.size;
  }
  lines.located[g] = true;
  ++lines.groupsLocated;
  return true;
}

std::uint64_t ScanLimit(const ProjectLines &lines, size_t g, std::uint64_t total) {
  const std::uint64_t end = g + 1 < lines.position.size() ? lines.position[g + 1] : total;
  return end - lines.position[g] + kScanRoom;
}

} // namespace

bool StartsGroup(const ProjectLines &lines, std::uint32_t d) {
  return std::binary_search(lines.groupStart.begin(), lines.groupStart.end() - 1, d);
}

void LocateGroupOf(ProjectLines &lines, const ConcatenatedFiles &files, std::uint32_t d) {
  const size_t g = GroupOf(lines, d);
  if (lines.located[g])
    return;
  if (lines.wrong[g])
    throw ProjectLinesWrong{};
  const size_t count = lines.groupStart[g + 1] - lines.groupStart[g];
  const GroupScan scan = ScanGroupAt(files, lines.position[g], lines.skip[g], count, ScanLimit(lines, g, files.size()),
                                     lines.index->elementaryStream ? 0 : lines.index->videoStreamId);
  if (!TakeGroup(lines, g, scan)) {
    lines.wrong[g] = true;
    throw ProjectLinesWrong{};
  }
}

std::shared_ptr<ProjectLines> OpenProjectLines(const D2vProject &project, const ConcatenatedFiles &files) {
  if (project.gops.empty() || !project.gopsEnded || project.location.size() != 4)
    return nullptr;
  std::vector<std::uint64_t> starts, sizes;
  std::uint64_t total = 0;
  for (const auto &file : project.files) {
    std::error_code ec;
    const std::uint64_t size = fs::file_size(file, ec);
    const auto changed = fs::last_write_time(file, ec);
    if (ec || size == 0 || changed > project.written)
      return nullptr;
    starts.push_back(total);
    sizes.push_back(size);
    total += size;
  }
  if (total != files.size() || project.location[0] != 0 || project.location[1] != 0 ||
      project.location[2] + 1 != project.files.size() || project.location[3] != (sizes.back() - 1) / 2048)
    return nullptr;

  auto lines = std::make_shared<ProjectLines>();
  std::vector<PictureOutline> outlines;
  long repeated = 0;
  for (const D2vGop &gop : project.gops) {
    const auto file = static_cast<size_t>(gop.file);
    if (gop.position >= sizes[file] || gop.skip < 0 || gop.skip > 64)
      return nullptr;
    const std::uint64_t position = starts[file] + gop.position;
    if (!lines->position.empty() && (position < lines->position.back() ||
                                     (position == lines->position.back() && gop.skip != lines->skip.back() + 1)))
      return nullptr;
    const std::vector<PictureOutline> order = DecodeOrder(gop);
    if (order.empty())
      return nullptr;
    lines->groupStart.push_back(static_cast<std::uint32_t>(outlines.size()));
    lines->position.push_back(position);
    lines->skip.push_back(gop.skip);
    for (const PictureOutline &p : order)
      repeated += (p.fields & kRepeatFirstField) ? 1 : 0;
    outlines.insert(outlines.end(), order.begin(), order.end());
    if (outlines.size() >= kNotShown / 2)
      return nullptr;
  }
  lines->groupStart.push_back(static_cast<std::uint32_t>(outlines.size()));
  lines->located.assign(project.gops.size(), false);
  lines->wrong.assign(project.gops.size(), false);
  if (lines->position.front() > kFirstLineWithin)
    return nullptr;

  auto index = std::make_shared<Mpeg2Index>();
  NumberOutlinedPictures(outlines, *index);
  if (index->frames.empty())
    return nullptr;
  for (size_t g = 0; g < lines->position.size(); ++g)
    for (std::uint32_t d = lines->groupStart[g]; d < lines->groupStart[g + 1]; ++d)
      index->pictures[d].packetPos = lines->position[g];
  lines->index = index;

  // The first group, scanned from the start of the files: it must be the
  // first I-picture there. The scan meets the stream's first sequence header
  // and the pictures before that I-picture, as a scan of all of the files does.
  const GroupScan head =
      ScanGroupAt(files, 0, 0, lines->groupStart[1], ScanLimit(*lines, 0, total) + lines->position[0], 0);
  if (!head.haveSequence || !head.haveExtension || head.width <= 0 || head.height <= 0 || head.width > 8192 ||
      head.height > 8192)
    return nullptr;
  index->width = head.width;
  index->height = head.height;
  index->aspectCode = head.aspectCode;
  index->chromaFormat = head.chromaFormat;
  index->topFieldFirst = head.topFieldFirst;
  index->elementaryStream = head.elementaryStream;
  index->videoStreamId = head.videoStreamId;
  index->rateNum = head.rateNum;
  index->rateDen = head.rateDen;
  if (!TakeGroup(*lines, 0, head))
    return nullptr;
  // Film stored at 24 pictures a second with pulldown flags: the rate a
  // scan of the files gives (see BuildMpeg2Index), counting the pictures
  // before the first I-picture as it does.
  for (size_t i = 0; i < head.first; ++i)
    repeated += (head.pictures[i].fields & kRepeatFirstField) ? 1 : 0;
  const double repeatShare = static_cast<double>(repeated) / static_cast<double>(outlines.size() + head.first);
  if (repeatShare > 0.4 && repeatShare < 0.6 && index->rateDen == 1001 && index->rateNum == 30000)
    index->rateNum = 24000;
  const double duration = 90000.0 * index->rateDen / index->rateNum;
  for (size_t f = 0; f < index->frames.size(); ++f)
    index->pictures[index->frames[f]].time = static_cast<std::int64_t>(std::llround(static_cast<double>(f) * duration));

  try {
    LocateGroupOf(*lines, files, lines->groupStart[lines->position.size() - 1]);
  } catch (const ProjectLinesWrong &) {
    return nullptr;
  }
  return lines;
}

} // namespace reelwork::engine
