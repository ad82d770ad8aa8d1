#pragma once
// How the index build divides its reading of the files (see BuildMpeg2Index).

#include <cstdint>

#include "engine/mpeg2_index.h"

namespace reelwork::engine {

// Files of at least `splitFrom` bytes are read in two parts on two threads,
// the second from a pack near `splitNear` (0: the middle), and the second
// part's start codes are handed on to the scan of the first where the two
// readings meet. The index is the one a single reading gives, byte for byte;
// where the readings do not meet (damage around the split), the first goes
// on alone.
struct Mpeg2ScanOptions {
  std::uint64_t splitFrom = std::uint64_t{96} << 20;
  std::uint64_t splitNear = 0;
  // Set when the second part was read apart and joined (for tests).
  bool *joined = nullptr;
};

IndexPtr BuildMpeg2Index(const std::vector<std::filesystem::path> &files, const std::string &key,
                         const ProgressFn &progress, const Mpeg2ScanOptions &options);

} // namespace reelwork::engine
