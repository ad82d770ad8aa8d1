#pragma once
// What every filter of the engine shares: a child clip, its own properties,
// the parity of each frame, and small helpers for rates and frame copies.

#include <numeric>
#include <string>

#include "engine/clip.h"

namespace reelwork::engine::filters {

// Whether frame n of a clip is a top field (field-based clips) or a frame
// whose top field comes first (frame-based clips). Filters that shuffle
// frames answer for themselves; any other clip answers from its properties:
// a field-based clip alternates, starting with the field its parity names.
class ParityClip : public Clip {
public:
  virtual bool topField(int n) const = 0;
};

inline bool TopFieldOf(const Clip &clip, int n) {
  if (auto *p = dynamic_cast<const ParityClip *>(&clip))
    return p->topField(n);
  const ClipInfo &vi = clip.info();
  bool top = vi.parity == FieldParity::Top;
  if (vi.fieldBased && (n & 1))
    top = !top;
  return top;
}

// A filter with one child whose properties start as the child's.
class Filter : public ParityClip {
public:
  explicit Filter(ClipPtr child) : child_(std::move(child)), vi_(child_->info()) {}
  const ClipInfo &info() const override { return vi_; }
  bool topField(int n) const override { return TopFieldOf(*child_, n); }

protected:
  // Frame n of the child, clamped to the child's range.
  FramePtr childFrame(int n) const {
    const int count = child_->info().frameCount;
    if (n >= count)
      n = count - 1;
    if (n < 0)
      n = 0;
    return child_->frame(n);
  }
  ClipPtr child_;
  ClipInfo vi_;
};

// Multiplies a rate by mul/div and keeps it in lowest terms.
inline void ScaleRate(ClipInfo &vi, long long mul, long long div) {
  long long num = static_cast<long long>(vi.rateNum) * mul;
  long long den = static_cast<long long>(vi.rateDen) * div;
  long long g = std::gcd(num, den);
  if (g == 0)
    g = 1;
  num /= g;
  den /= g;
  // Keep within int range as the rate fields demand.
  while (num > 0x7fffffffLL || den > 0x7fffffffLL) {
    num >>= 1;
    den >>= 1;
  }
  vi.rateNum = static_cast<int>(num);
  vi.rateDen = static_cast<int>(den == 0 ? 1 : den);
}

// The largest picture the engine builds: far above any DVD, low enough that a
// mistyped size cannot exhaust memory.
constexpr int kMaxSide = 16384;
constexpr long long kMaxPixels = 4096LL * 4096LL;
inline bool SizeTooLarge(int w, int h) {
  return w > kMaxSide || h > kMaxSide || static_cast<long long>(w) * h > kMaxPixels;
}

// 0xRRGGBB as 0xYYUUVV: BT.601, studio range.
unsigned RgbToYuv(unsigned rgb);

inline bool IsYuv(PixelFormat f) { return f != PixelFormat::RGB24 && f != PixelFormat::RGB32; }
inline bool IsRgb(PixelFormat f) { return !IsYuv(f); }
const char *FormatName(PixelFormat f);

} // namespace reelwork::engine::filters
