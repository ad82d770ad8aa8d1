#pragma once
// A synthetic DVD rip made with FFmpeg's encoders: VOB files, a DVD2AVI
// project naming them, a ripper's info file and an AC3 file. The command line
// tool writes one for newcomers; the tests and the benchmark make their media
// with it.

#include <filesystem>
#include <string>
#include <vector>

#include "engine/clip.h"

namespace reelwork::engine {

struct SampleOptions {
  bool ntsc = false;     // 720x480 at 30000/1001 instead of 720x576 at 25
  int width = 0;         // 0: the TV system's size
  int height = 0;
  double seconds = 30;
  bool bFrames = true;   // open GOPs with two B-frames, as DVDs have them
  int vobCount = 1;      // more than one: the stream is split inside GOPs
  bool clockRestart = false; // the second half is a recording of its own whose clock starts again
  int quantizer = 4;     // fixed MPEG-2 quantizer (2 = best)
  bool withAudioFile = true; // the AC3 file beside the VOBs
  bool audioInVob = true;    // silent AC3 sound interleaved in the VOBs
  int grain = 0;             // film grain: noise of this amplitude (luma steps) over the picture
  bool chroma422 = false;    // 4:2:2 video, as studio masters have it (DVDs are 4:2:0)
  bool pan = false;          // the scene pans sideways: every frame combs across the picture
  // NTSC film as discs store it: 24000/1001 progressive pictures in a 30000/1001
  // stream, the pulldown given by flags (top and repeat first field in the
  // 3:2 pattern). Implies ntsc and no B-frames; `frames` counts the pictures.
  bool softPulldown = false;
};

struct SampleRip {
  std::filesystem::path d2v;
  std::vector<std::filesystem::path> vobs;
  std::filesystem::path info;
  std::filesystem::path ac3;
  int frames = 0;
  int clockRestartFrame = -1;         // first frame of the second recording
  int titleStart = 0;                 // first picture of the end titles (from 0)
};

// The picture of a sample of `total` pictures where the end titles begin
// (from 0): the first of its last fifth.
int SampleTitleStart(int total);

// Writes the rip into `folder` (created if needed). The first VOB carries its
// sequence header at byte 2084, as DVD authoring writes it. Every picture
// shows its own frame number as a row of big black and white blocks.
// Throws EngineError("sample: ...").
SampleRip WriteSampleRip(const std::filesystem::path &folder, const SampleOptions &options = {});

// The frame number a sample picture shows, or -1 when the blocks cannot be
// read (not a sample picture, or damaged).
int ReadFrameNumber(const Frame &frame);

// Draws sample picture n of `total` into a YV12 frame of the given size,
// with film grain of the given amplitude over the picture (not the bars).
// The picture is a test card for the tools: black bars above and below, a
// dark scene (the first 35 %) and a bright one, each with a fence of boards
// passing by that combs over the upper three fifths of the scene and a bright
// disc below it; then end titles, small light text between moments of black.
// With `pan` the whole scene is a pattern of stripes moving sideways, the
// second field half a frame later, with a narrow bar and the disc over it.
void DrawSamplePicture(int n, int total, Frame &frame, int grain = 0, bool pan = false);

} // namespace reelwork::engine
