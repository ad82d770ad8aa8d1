#pragma once
// The calculator's two searches: the sound file's bitrate in its name, and
// the first frame of the end titles (light text on black at the end of the
// film, after a brighter film).

#include <QString>
#include <optional>

namespace reelwork {

class FramePreview;

// The index in the audio lists of the bitrate that a sound file's name gives
// as digits directly before "KBPS" (any case), or -1 when the name holds no
// such digits or they are not one of the listed rates.
int AudioRateIndexFromName(const QString &name);

// The first frame (1-based) of the end titles of a video of `frames` frames,
// searched through the preview: every frame examined is shown there and the
// last one stays on show. Nothing (and the titles cannot be told) when one of
// the last six frames is not dark or the video has no frames. Returns
// `frames` + 1 when no title start lies within the searched range. Reports
// its progress to the preview; when the user stops it, gives nothing and
// sets `*cancelled`.
std::optional<int> FindTitleStart(FramePreview &preview, int frames, bool *cancelled = nullptr);

} // namespace reelwork
