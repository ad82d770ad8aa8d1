#pragma once
// Writing RGB24 pictures as binary PPM or PNG (libavcodec's PNG encoder).

#include <string>

#include <cstddef> // (before rgb_image.h, which uses size_t)

#include "common/rgb_image.h"

namespace reelwork::cli {

bool WritePpm(const std::string &path, const RgbImage &image, std::string *error);
bool WritePng(const std::string &path, const RgbImage &image, std::string *error);

} // namespace reelwork::cli
