#pragma once
// Making a DGIndex project file (format 16) from VOB files: the text that the
// Windows decoder plugins and Reelwork's own engine open as one stream.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/video.h"

namespace reelwork::engine {

struct D2vWriteOptions {
  // How decoders show film stored with pulldown flags: 0 as the flags say,
  // 1 the stored film pictures ("Force Film"), 2 the stored pictures at the
  // sequence header's rate.
  int fieldOperation = 0;
  // The inverse DCT decoders are asked to use: 1 to 7 as the indexer numbers
  // them; 5 is the IEEE-1180 reference.
  int idctAlgorithm = 5;
};

struct D2vSummary {
  int pictures = 0;     // coded pictures listed (one flag each), decoders' frames before pulldown
  int gops = 0;         // data lines ("GOP lines"), one per I-picture
  int filmHundredths = 0; // share of film with pulldown flags, in hundredths of a percent
  int width = 0, height = 0;
  int aspectCode = 0;
  int rateNum = 25, rateDen = 1; // the sequence header's rate
  bool sawNavPacks = false;
  int droppedLeading = 0; // pictures before the first I-picture, which no line can hold
};

// Scans `vobs` as one program stream (or one bare MPEG-2 video stream) and
// returns the project's text, with CR LF line ends. The files are listed by
// their absolute paths. `progress` may throw to cancel; nothing is kept then.
// Throws EngineError("d2v: ...") for files that hold no MPEG-2 video.
std::string MakeD2vProject(const std::vector<std::filesystem::path> &vobs, const D2vWriteOptions &options,
                           const ProgressFn &progress, D2vSummary *summary = nullptr);

// MakeD2vProject, then writes the text to `d2vPath`, replacing an older file
// only once the new one is complete. Throws EngineError when it cannot write.
D2vSummary WriteD2vProject(const std::filesystem::path &d2vPath, const std::vector<std::filesystem::path> &vobs,
                           const D2vWriteOptions &options = {}, const ProgressFn &progress = {});

// "12.34" for a share in hundredths of a percent.
std::string FormatHundredths(int hundredths);

} // namespace reelwork::engine
