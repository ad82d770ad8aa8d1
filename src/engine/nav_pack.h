#pragma once
// The packs of a DVD program stream seen from above: where each pack starts
// and what the navigation packs (private stream 2) say about the place in the
// disc's structure, the VOB and cell numbers.

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/program_stream.h"

namespace reelwork::engine {

// The numbers of a navigation pack's data search information (DSI).
struct NavIds {
  int vob = 0;  // vobu_vob_idn: the VOB the unit belongs to
  int cell = 0; // vobu_c_idn: its cell within that VOB
  bool operator==(const NavIds &) const = default;
};

// Reads the ids from the payload of a private stream 2 packet (the bytes after
// its 6-byte packet header). Empty when the packet is no DSI packet (the PCI
// packet has substream 0) or too short.
std::optional<NavIds> ReadDsiIds(const std::uint8_t *payload, size_t size);

// Walks pack and packet headers forwards through a program stream, keeping
// the start of the last pack met and the ids of the last DSI packet met. It
// follows a reader of the same files that hands out packet positions in
// rising order.
class PackTracker {
public:
  explicit PackTracker(const ConcatenatedFiles &files);

  // Walks up to (not into) the packet that starts at `packetPos`.
  void advanceTo(std::uint64_t packetPos);
  // The pack holding the last packet passed, or the packet itself when the
  // stream has no pack header before it.
  std::uint64_t packStart() const { return packStart_; }
  // Zeros until a navigation pack has been met.
  const NavIds &ids() const { return ids_; }
  bool sawNavPack() const { return sawNav_; }

private:
  // At least `n` bytes at `pos` in the window; false at the end of the files.
  bool load(std::uint64_t pos, size_t n);
  const std::uint8_t *at(std::uint64_t pos) const { return window_.data() + (pos - windowPos_); }

  const ConcatenatedFiles &files_;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowPos_ = 0;
  size_t windowLen_ = 0;
  std::uint64_t pos_ = 0;
  std::uint64_t packStart_ = 0;
  NavIds ids_;
  bool sawNav_ = false;
};

} // namespace reelwork::engine
