#include "engine/nav_pack.h"

#include <algorithm>

namespace reelwork::engine {

namespace {

// A DSI packet's payload: the substream number 1, then the general
// information, in which the VOB number sits at byte 0x18 (two bytes, big
// endian) and the cell number at byte 0x1B.
constexpr std::uint8_t kDsiSubstream = 0x01;
constexpr size_t kVobIdAt = 1 + 0x18;
constexpr size_t kCellIdAt = 1 + 0x1B;

constexpr size_t kWindow = 256 * 1024;

} // namespace

std::optional<NavIds> ReadDsiIds(const std::uint8_t *payload, size_t size) {
  if (size <= kCellIdAt || payload[0] != kDsiSubstream)
    return std::nullopt;
  NavIds ids;
  ids.vob = (payload[kVobIdAt] << 8) | payload[kVobIdAt + 1];
  ids.cell = payload[kCellIdAt];
  return ids;
}

PackTracker::PackTracker(const ConcatenatedFiles &files) : files_(files), window_(kWindow) {}

bool PackTracker::load(std::uint64_t pos, size_t n) {
  if (pos >= windowPos_ && pos + n <= windowPos_ + windowLen_)
    return true;
  windowPos_ = pos;
  windowLen_ = files_.read(pos, window_.data(), window_.size());
  return windowLen_ >= n;
}

void PackTracker::advanceTo(std::uint64_t packetPos) {
  while (pos_ < packetPos) {
    if (!load(pos_, 6))
      break;
    const std::uint8_t *p = at(pos_);
    size_t length = 0;
    if (p[0] == 0 && p[1] == 0 && p[2] == 1) {
      const std::uint8_t code = p[3];
      if (code == 0xBA && load(pos_, 14)) {
        p = at(pos_);
        if ((p[4] & 0xC0) == 0x40)
          length = 14 + (p[13] & 7); // MPEG-2 pack header with its stuffing
        else if ((p[4] & 0xF0) == 0x20)
          length = 12; // MPEG-1 pack header
        if (length)
          packStart_ = pos_;
      } else if (code == 0xB9) {
        length = 4; // program end
      } else if (code >= 0xBB) {
        length = 6 + ((static_cast<size_t>(p[4]) << 8) | p[5]);
        if (code == 0xBF && load(pos_, std::min<size_t>(length, 64))) {
          const size_t have = std::min<size_t>(length, 64);
          if (auto ids = ReadDsiIds(at(pos_) + 6, have - 6)) {
            ids_ = *ids;
            sawNav_ = true;
          }
        }
      }
    }
    if (length) {
      pos_ += length;
      continue;
    }
    // Lost: the next pack header, or the packet asked for if none comes first.
    std::uint64_t next = pos_ + 1;
    bool found = false;
    while (!found && next < packetPos && load(next, 4)) {
      const std::uint8_t *q = at(next);
      const size_t avail = std::min<std::uint64_t>(windowLen_ - (next - windowPos_), packetPos - next + 3);
      size_t i = 0;
      for (; i + 3 < avail; ++i)
        if (q[i] == 0 && q[i + 1] == 0 && q[i + 2] == 1 && q[i + 3] == 0xBA) {
          found = true;
          break;
        }
      next += i;
    }
    pos_ = found ? next : packetPos;
  }
}

} // namespace reelwork::engine
