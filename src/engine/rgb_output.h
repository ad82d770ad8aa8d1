#pragma once
// The engine's output as the preview and the measuring tools read it.

#include <cstddef> // (before rgb_image.h, which uses size_t)

#include "common/rgb_image.h"
#include "engine/clip.h"

namespace reelwork::engine {

// Converts any engine frame to RGB24: YUV by ITU-R BT.601 with TV range
// expanded to full range (Y 16 -> 0, 235 -> 255), packed RGB reordered.
void FrameToRgb(const Frame &frame, RgbImage &out);

} // namespace reelwork::engine
