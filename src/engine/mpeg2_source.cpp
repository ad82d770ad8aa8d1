#include "engine/mpeg2_source.h"

#include <algorithm>
#include <atomic>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "engine/d2v.h"
#include "engine/frame_cache.h"
#include "engine/mpeg2_decoder.h"
#include "engine/program_stream.h"
#include "engine/project_frames.h"
#include "engine/project_lines.h"
#include "engine/pulldown.h"

namespace fs = std::filesystem;

namespace reelwork::engine {

namespace {

std::atomic<std::uint64_t> gIndexChanges{0};

[[noreturn]] void Fail(const std::string &reason) { throw EngineError("mpeg2source: " + reason); }

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof(text));
  return text;
}

// Thrown inside the source when the bytes at a picture's place in the files
// are not that picture: the index no longer describes the files.
struct IndexMismatch {
  std::uint64_t position = 0;
};

class Mpeg2Source : public Clip {
public:
  // With `lines`, the index is the skeleton a project's data lines give,
  // and each group's pictures are located when first decoded.
  Mpeg2Source(const std::vector<fs::path> &files, IndexPtr index, std::shared_ptr<ProjectLines> lines = nullptr)
      : index_(std::move(index)), lines_(std::move(lines)), paths_(files), files_(files), reader_(files_, 256 * 1024) {
    reader_.setVideoStreamId(index_->elementaryStream ? 0 : index_->videoStreamId);
    info_.width = index_->width;
    info_.height = index_->height;
    info_.frameCount = index_->frameCount();
    info_.rateNum = index_->rateNum;
    info_.rateDen = index_->rateDen;
    info_.parity = index_->topFieldFirst ? FieldParity::Top : FieldParity::Bottom;
    info_.fieldBased = false;
    info_.format = PixelFormat::YV12;

    ctx_ = OpenMpeg2Decoder(&clearBuffer_);
    packet_ = av_packet_alloc();
    decoded_ = av_frame_alloc();
    if (!packet_ || !decoded_)
      Fail("out of memory");
  }

  ~Mpeg2Source() override {
    sws_freeContext(sws_);
    av_frame_free(&decoded_);
    av_packet_free(&packet_);
    avcodec_free_context(&ctx_);
  }

  const ClipInfo &info() const override { return info_; }
  const IndexPtr &index() const { return index_; }

  SourceStats stats() const {
    SourceStats stats = stats_;
    stats.groupsLocated = lines_ ? lines_->groupsLocated : 0;
    return stats;
  }

  FramePtr frame(int n) override {
    if (n < 0 || n >= info_.frameCount)
      throw EngineError("mpeg2source: frame " + std::to_string(n) + " does not exist");
    for (int attempt = 0;; ++attempt) {
      try {
        return decodeFrame(static_cast<std::uint32_t>(n));
      } catch (const IndexMismatch &wrong) {
        active_ = false;
        if (lines_)
          throw ProjectLinesWrong{}; // the project's lines are wrong here: its full index decides
        // An index kept from before can be wrong where its checks did not
        // look; build it again (once for the source), and go on with it
        // when it gives the same video.
        if (attempt > 0 || rebuilt_ || !rebuildIndex())
          Fail("frame " + std::to_string(n) + " cannot be read: the video files have changed at " +
               files_.describe(wrong.position));
      } catch (const StaleIndexError &) {
        active_ = false;
        // A damaged block of the stored index, found when first read.
        if (attempt > 0 || rebuilt_ || !rebuildIndex())
          Fail("frame " + std::to_string(n) + " cannot be read: the stored index is damaged and the video files "
               "have changed");
      } catch (...) {
        active_ = false; // start afresh next time
        throw;
      }
    }
  }

private:
  const IndexedPicture &picture(std::uint32_t d) const { return index_->pictures[d]; }

  bool rebuildIndex() {
    rebuilt_ = true;
    IndexPtr fresh;
    try {
      fresh = RebuildMpeg2Index(paths_, {});
    } catch (const EngineError &) {
      return false;
    }
    ++stats_.rebuilds;
    std::uint64_t total = 0;
    std::error_code ec;
    for (const auto &path : paths_)
      total += fs::file_size(path, ec);
    if (fresh->frameCount() != info_.frameCount || fresh->width != info_.width || fresh->height != info_.height ||
        total != files_.size())
      return false;
    index_ = std::move(fresh);
    ++gIndexChanges;
    return true;
  }

  // Whether a frame lies in a range the index names as damaged: its
  // picture may be one the decoder conceals damage in.
  bool namedDamaged(std::uint32_t frame) const {
    const auto &ranges = index_->damaged;
    const auto f = static_cast<int>(frame);
    const auto it = std::upper_bound(ranges.begin(), ranges.end(), f,
                                     [](int n, const FrameRange &r) { return n < r.first; });
    return frame != kNotShown && it != ranges.begin() && f <= std::prev(it)->last;
  }

  bool canContinue(std::uint32_t n, std::uint32_t d) const {
    if (!active_)
      return false;
    const IndexedPicture &target = picture(d);
    if (target.seekFrom < runStart_ || (lastOutput_ != kNotShown && n <= lastOutput_))
      return false;
    if (d < nextFeed_)
      return target.type != kPictureB; // a reference fed and held back by the decoder
    return target.seekFrom <= nextFeed_;
  }

  void startAt(std::uint32_t d) {
    avcodec_flush_buffers(ctx_);
    ++stats_.seeks;
    runStart_ = d;
    nextFeed_ = d;
    lastOutput_ = kNotShown;
    active_ = true;
    drained_ = false;
  }

  // The elementary stream bytes of picture d, read through the packets.
  void readPicture(std::uint32_t d) {
    if (lines_)
      LocateGroupOf(*lines_, files_, d);
    const IndexedPicture &pic = picture(d);
    // The picture hands out the frame that names it (a stored index is
    // checked here as it is used).
    if (pic.frame != kNotShown && index_->frames[pic.frame] != d)
      throw IndexMismatch{pic.packetPos};
    av_packet_unref(packet_);
    if (av_new_packet(packet_, static_cast<int>(pic.size)) < 0)
      Fail("out of memory");
    reader_.seek(pic.packetPos);
    VideoChunk chunk;
    size_t have = 0;
    size_t skip = pic.payloadOffset;
    // The picture, then the first bytes after it: a picture runs from a start
    // code to the next, so both ends show whether the index still describes
    // the files.
    std::uint8_t after[3];
    size_t afterHave = 0;
    bool more = true;
    while (have < pic.size || afterHave < sizeof(after)) {
      if (!reader_.next(chunk)) {
        more = false;
        break;
      }
      if ((have == 0 && chunk.packetPos != pic.packetPos) || chunk.size < skip)
        throw IndexMismatch{pic.packetPos};
      size_t take = std::min(chunk.size - skip, pic.size - have);
      std::memcpy(packet_->data + have, chunk.data + skip, take);
      have += take;
      skip += take;
      take = std::min(chunk.size - skip, sizeof(after) - afterHave);
      std::memcpy(after + afterHave, chunk.data + skip, take);
      afterHave += take;
      skip = 0;
    }
    const std::uint8_t *data = packet_->data;
    if (have != pic.size || pic.size < 4 || data[0] != 0 || data[1] != 0 || data[2] != 1)
      throw IndexMismatch{pic.packetPos};
    // A group located from its line's place starts with the headers before
    // its I-picture, as a scan of all of the files finds it: a picture header
    // alone means a header lay before the line's place.
    if (lines_ && StartsGroup(*lines_, d) && data[3] == 0x00)
      throw IndexMismatch{pic.packetPos};
    // What follows is the next start code, or nothing at the end of the
    // stream, or anything after a sequence end code.
    const bool endsRight = (afterHave == sizeof(after) && after[0] == 0 && after[1] == 0 && after[2] == 1) ||
                           (!more && afterHave == 0) ||
                           (data[pic.size - 4] == 0 && data[pic.size - 3] == 0 && data[pic.size - 2] == 1 &&
                            data[pic.size - 1] == 0xB7);
    if (!endsRight)
      throw IndexMismatch{pic.packetPos};
    packet_->pts = pic.frame == kNotShown ? AV_NOPTS_VALUE : static_cast<std::int64_t>(pic.frame);
  }

  // Takes the decoder's finished pictures; true when frame n is among them.
  bool receive(std::uint32_t n, FramePtr &result) {
    for (;;) {
      const int r = avcodec_receive_frame(ctx_, decoded_);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
        return static_cast<bool>(result);
      if (r < 0)
        Fail("frame " + std::to_string(n) + " cannot be decoded: " + AvError(r));
      const std::int64_t pts = decoded_->pts;
      if (pts != AV_NOPTS_VALUE && pts >= 0 && pts < info_.frameCount) {
        lastOutput_ = static_cast<std::uint32_t>(pts);
        if (pts == static_cast<std::int64_t>(n))
          result = convert();
      }
      av_frame_unref(decoded_);
      if (result)
        return true;
    }
  }

  FramePtr decodeFrame(std::uint32_t n) {
    if (FramePtr frame = decodeFrameOnce(n, false))
      return frame;
    // A reference picture that the decoder drops instead of handing it out
    // (a change of picture size between the files resets the decoder before
    // the last picture of the old size is out): decode up to it again and
    // drain the decoder right after it.
    startAt(picture(index_->frames[n]).seekFrom);
    if (FramePtr frame = decodeFrameOnce(n, true))
      return frame;
    active_ = false;
    Fail("frame " + std::to_string(n) + " cannot be decoded at " +
         files_.describe(picture(index_->frames[n]).packetPos));
  }

  // Frame n, or null when the decoder passed the point where it should have
  // handed it out. With `drainAtTarget` the decoder is drained once the
  // target picture is fed.
  FramePtr decodeFrameOnce(std::uint32_t n, bool drainAtTarget) {
    const std::uint32_t d = index_->frames[n];
    const IndexedPicture &target = picture(d);
    if (target.frame != n || picture(target.seekFrom).type != kPictureI)
      throw IndexMismatch{target.packetPos};
    if (!canContinue(n, d))
      startAt(target.seekFrom);
    FramePtr result;
    if (receive(n, result))
      return result;
    const auto count = static_cast<std::uint32_t>(index_->pictures.size());
    while (nextFeed_ < count) {
      const std::uint32_t at = nextFeed_++;
      const IndexedPicture &pic = picture(at);
      if (pic.type == 0)
        continue;
      // B-pictures shown before the target, or leaning on pictures before
      // this run's start, are not needed.
      if (pic.type == kPictureB && (pic.frame == kNotShown || pic.frame < n || pic.seekFrom < runStart_))
        continue;
      readPicture(at);
      ++stats_.picturesDecoded;
      clearBuffer_ = namedDamaged(pic.frame);
      int r = avcodec_send_packet(ctx_, packet_);
      if (r == AVERROR(EAGAIN)) {
        if (receive(n, result))
          return result; // (cannot happen before the packet is taken; kept for safety)
        r = avcodec_send_packet(ctx_, packet_);
      }
      if (r < 0 && r != AVERROR_INVALIDDATA)
        Fail("frame " + std::to_string(n) + " cannot be decoded: " + AvError(r));
      if (receive(n, result))
        return result;
      if (drainAtTarget && at == d) {
        drained_ = true;
        avcodec_send_packet(ctx_, nullptr);
        const bool out = receive(n, result);
        active_ = false; // a drained decoder must be flushed before it takes more
        return out ? result : nullptr;
      }
      // The target comes out when it is fed (B) or when the next reference is.
      if (at >= d && (target.type == kPictureB || (at > d && pic.type != kPictureB)))
        return nullptr;
    }
    // End of the stream: the decoder still holds the last reference picture.
    if (!drained_) {
      drained_ = true;
      avcodec_send_packet(ctx_, nullptr);
      if (receive(n, result)) {
        active_ = false; // a drained decoder must be flushed before it takes more
        return result;
      }
    }
    active_ = false;
    return nullptr;
  }

  FramePtr convert() {
    auto out = std::make_shared<Frame>();
    out->allocate(PixelFormat::YV12, info_.width, info_.height);
    const bool direct = (decoded_->format == AV_PIX_FMT_YUV420P || decoded_->format == AV_PIX_FMT_YUVJ420P) &&
                        decoded_->width == info_.width && decoded_->height == info_.height;
    if (direct) {
      for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? info_.height : (info_.height + 1) / 2;
        const int bytes = out->stride[plane];
        for (int y = 0; y < rows; ++y)
          std::memcpy(out->row(plane, y), decoded_->data[plane] + static_cast<ptrdiff_t>(y) * decoded_->linesize[plane],
                      static_cast<size_t>(bytes));
      }
      return out;
    }
    // 4:2:2 becomes 4:2:0.
    auto whole = decoded_->width == info_.width && decoded_->height == info_.height ? out : std::make_shared<Frame>();
    if (whole != out)
      whole->allocate(PixelFormat::YV12, decoded_->width, decoded_->height);
    sws_ = sws_getCachedContext(sws_, decoded_->width, decoded_->height, static_cast<AVPixelFormat>(decoded_->format),
                                decoded_->width, decoded_->height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr,
                                nullptr);
    if (!sws_)
      Fail("cannot convert the decoded picture to YV12");
    std::uint8_t *dst[4] = {whole->planes[0].data(), whole->planes[1].data(), whole->planes[2].data(), nullptr};
    int dstStride[4] = {whole->stride[0], whole->stride[1], whole->stride[2], 0};
    sws_scale(sws_, decoded_->data, decoded_->linesize, 0, decoded_->height, dst, dstStride);
    if (whole != out)
      PlaceTopLeft(*whole, *out);
    return out;
  }

  // A picture of another size than the first file's (the files change
  // picture size) is served as the project's readers serve it: the top-left
  // region of the first size, cut off where it is larger; where it is smaller
  // the rest is black.
  static void PlaceTopLeft(const Frame &picture, Frame &out) {
    std::fill(out.planes[0].begin(), out.planes[0].end(), std::uint8_t{16});
    for (int plane = 0; plane < 3; ++plane) {
      const int sub = plane == 0 ? 0 : 1;
      const int rows = std::min((picture.height + sub) >> sub, (out.height + sub) >> sub);
      const int bytes = std::min(picture.stride[plane], out.stride[plane]);
      for (int y = 0; y < rows; ++y)
        std::memcpy(out.row(plane, y), picture.row(plane, y), static_cast<size_t>(bytes));
    }
  }

  IndexPtr index_;
  std::shared_ptr<ProjectLines> lines_;
  std::vector<fs::path> paths_;
  ConcatenatedFiles files_;
  ProgramStreamReader reader_;
  ClipInfo info_;
  AVCodecContext *ctx_ = nullptr;
  AVPacket *packet_ = nullptr;
  AVFrame *decoded_ = nullptr;
  SwsContext *sws_ = nullptr;
  bool active_ = false;
  bool drained_ = false;
  bool clearBuffer_ = false; // the picture fed next may have damage to conceal
  bool rebuilt_ = false;
  std::uint32_t runStart_ = 0;
  std::uint32_t nextFeed_ = 0;
  std::uint32_t lastOutput_ = kNotShown;
  SourceStats stats_;
};

} // namespace

std::shared_ptr<Clip> MakeMpeg2SourceFromFiles(const std::vector<fs::path> &files, const ProgressFn &progress) {
  IndexPtr index = GetMpeg2Index(files, progress);
  return std::make_shared<Mpeg2Source>(files, std::move(index));
}

namespace {

// Whether a shown picture of the index repeats a field, from its header when
// it knows (a stored index), else from its tables.
bool RepeatsFields(const Mpeg2Index &index) {
  return index.repeatsFields >= 0 ? index.repeatsFields == 1 : HasPulldown(index);
}

// The project's frames from a source over its files: the frames it lists,
// numbered as its readers number them, shown as the project's field
// operation. `shown`, when given, receives the index of the project's frames
// (before the pulldown).
ClipPtr ProjectOverSource(const D2vProject &project, std::shared_ptr<Mpeg2Source> source, IndexPtr *shown = nullptr) {
  IndexPtr index = source->index();
  ClipPtr cached = std::make_shared<FrameCache>(std::move(source), 16);
  std::vector<std::uint64_t> sizes;
  for (const auto &file : project.files) {
    std::error_code ec;
    sizes.push_back(fs::file_size(file, ec));
  }
  if (const ProjectFrameMap map = MapProjectFrames(*index, sizes, project.gops); !map.identity(index->frameCount())) {
    cached = MakeProjectFramesClip(std::move(cached), map);
    index = std::make_shared<const Mpeg2Index>(IndexOfProjectFrames(*index, map));
  }
  if (shown)
    *shown = index;
  if (project.fieldOperation == 0 && RepeatsFields(*index))
    return MakePulldownClip(std::move(cached), *index);
  if (project.fieldOperation == 2 && index->rateNum == 24000 && index->rateDen == 1001 && RepeatsFields(*index))
    return MakeRateClip(std::move(cached), 30000, 1001);
  return cached;
}

// The project over the index of all of its files, from memory or the disk
// cache, else built (a stored index found damaged while opening is built
// again).
ClipPtr ProjectOverFullIndex(const D2vProject &project, const ProgressFn &progress, IndexPtr *shown = nullptr) {
  try {
    return ProjectOverSource(
        project, std::make_shared<Mpeg2Source>(project.files, GetMpeg2Index(project.files, progress)), shown);
  } catch (const StaleIndexError &) {
    return ProjectOverSource(
        project, std::make_shared<Mpeg2Source>(project.files, RebuildMpeg2Index(project.files, progress)), shown);
  }
}

// Whether two indexes of a project's frames show the same fields frame by frame.
bool SameFieldsShown(const Mpeg2Index &a, const Mpeg2Index &b) {
  if (a.frames.size() != b.frames.size())
    return false;
  for (size_t k = 0; k < a.frames.size(); ++k)
    if (a.pictures[a.frames[k]].fields != b.pictures[b.frames[k]].fields)
      return false;
  return true;
}

// A project served from its data lines. Where a line turns out not to
// describe the files, the project is served from the full index of its files
// from then on when that gives the frames the lines promised (their number,
// size, rate and field order, and each frame's fields). Else (the files are
// damaged there, or differ from the project) the frames of the groups found
// as their lines list them are still served, each checked, and a frame that
// needs a group found otherwise is refused with the reason: never shown
// wrong.
class ProjectLinesClip : public PulldownShown {
public:
  ProjectLinesClip(ClipPtr fromLines, D2vProject project, IndexPtr shown)
      : PulldownShown(std::move(fromLines)), project_(std::move(project)), shown_(std::move(shown)) {}

  FramePtr frame(int n) override {
    if (shown_) {
      try {
        return source_->frame(n);
      } catch (const ProjectLinesWrong &) {
        if (!servedByFullIndex())
          throw EngineError("mpeg2source: frame " + std::to_string(n) +
                            " cannot be decoded: the video files do not hold there what the project's data lines "
                            "list (damaged, or changed since the project was made)");
      }
    }
    return source_->frame(n);
  }

private:
  // Whether the full index (built once) gives the frames the lines promised;
  // then it serves the project from now on.
  bool servedByFullIndex() {
    if (triedFull_)
      return false;
    triedFull_ = true;
    IndexPtr shown;
    ClipPtr full = ProjectOverFullIndex(project_, {}, &shown);
    const ClipInfo &a = full->info();
    if (a.width != info_.width || a.height != info_.height || a.frameCount != info_.frameCount ||
        a.rateNum != info_.rateNum || a.rateDen != info_.rateDen || a.parity != info_.parity ||
        !SameFieldsShown(*shown, *shown_))
      return false;
    source_ = std::move(full);
    shown_.reset();
    ++gIndexChanges;
    return true;
  }

  D2vProject project_;
  IndexPtr shown_; // the frames the lines promised; null once served from the full index
  bool triedFull_ = false;
};

// The project from its own data lines, without a scan of its files, when
// OpenProjectLines accepts it; null otherwise.
ClipPtr ProjectFromLines(const D2vProject &project) {
  if (project.gops.empty())
    return nullptr;
  try {
    std::shared_ptr<ProjectLines> lines;
    {
      ConcatenatedFiles files(project.files);
      lines = OpenProjectLines(project, files);
    }
    if (!lines)
      return nullptr;
    IndexPtr shown;
    auto source = std::make_shared<Mpeg2Source>(project.files, lines->index, lines);
    ClipPtr clip = ProjectOverSource(project, std::move(source), &shown);
    return std::make_shared<ProjectLinesClip>(std::move(clip), project, std::move(shown));
  } catch (const EngineError &) {
    return nullptr; // the full index decides
  }
}

} // namespace

ClipPtr MakeMpeg2Source(const std::string &d2vPath, const ProgressFn &progress) {
  const D2vProject project = ReadD2vProjectFile(d2vPath);
  // An index of the files kept from before opens faster than the lines are
  // read into one; the lines spare the scan where there is none.
  if (!project.gops.empty() && !FindMpeg2Index(project.files))
    if (ClipPtr clip = ProjectFromLines(project))
      return clip;
  return ProjectOverFullIndex(project, progress);
}

IndexPtr IndexOfSource(const Clip &clip) {
  if (const auto *shown = dynamic_cast<const PulldownShown *>(&clip))
    return IndexOfSource(*shown->source());
  if (const auto *cache = dynamic_cast<const FrameCache *>(&clip))
    return IndexOfSource(*cache->child());
  if (const auto *source = dynamic_cast<const Mpeg2Source *>(&clip))
    return source->index();
  return nullptr;
}

std::vector<FrameRange> DamagedFramesOf(const Clip &clip) {
  if (const ProjectFrameMap *map = ProjectMapOf(clip))
    return MapDamageToProject(*map, DamagedFramesOf(*static_cast<const PulldownShown &>(clip).source()));
  if (const auto *shown = dynamic_cast<const PulldownShown *>(&clip)) {
    std::vector<FrameRange> stored = DamagedFramesOf(*shown->source());
    const IndexPtr index = IndexOfSource(*shown->source());
    if (stored.empty() || !index || shown->info().frameCount == shown->source()->info().frameCount)
      return stored;
    // Woven frames: those with a field from a stored frame near the damage,
    // the stored frames counted as the pulldown counts them (a project's own).
    const ProjectFrameMap *map = ProjectMapOf(*shown->source());
    const auto pairs = PulldownFrames(map ? IndexOfProjectFrames(*index, *map) : *index);
    std::vector<FrameRange> ranges;
    for (const FrameRange &r : stored) {
      int first = -1, last = -1;
      for (size_t f = 0; f < pairs.size(); ++f) {
        const auto a = static_cast<int>(std::min(pairs[f].first, pairs[f].second));
        const auto b = static_cast<int>(std::max(pairs[f].first, pairs[f].second));
        if (b >= r.first && a <= r.last) {
          if (first < 0)
            first = static_cast<int>(f);
          last = static_cast<int>(f);
        }
      }
      if (first < 0)
        continue;
      if (!ranges.empty() && first <= ranges.back().last + 1)
        ranges.back().last = std::max(ranges.back().last, last);
      else
        ranges.push_back(FrameRange{first, last});
    }
    return ranges;
  }
  if (const auto *cache = dynamic_cast<const FrameCache *>(&clip))
    return DamagedFramesOf(*cache->child());
  if (const auto *source = dynamic_cast<const Mpeg2Source *>(&clip))
    return source->index()->damaged;
  return {};
}

std::uint64_t SourceIndexChanges() { return gIndexChanges.load(); }

SourceStats StatsOfSource(const Clip &clip) {
  if (const auto *shown = dynamic_cast<const PulldownShown *>(&clip))
    return StatsOfSource(*shown->source());
  if (const auto *cache = dynamic_cast<const FrameCache *>(&clip))
    return StatsOfSource(*cache->child());
  if (const auto *source = dynamic_cast<const Mpeg2Source *>(&clip))
    return source->stats();
  return {};
}

} // namespace reelwork::engine
