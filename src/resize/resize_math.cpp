#include "resize/resize_math.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "common/number.h"

namespace reelwork::resize {

namespace {

// A value computed in double and stored as a 32-bit float.
float Single(double v) { return static_cast<float>(v); }

std::optional<float> Finite(double v) {
  const float f = Single(v);
  if (!std::isfinite(f))
    return std::nullopt;
  return f;
}

} // namespace

SourceSize SourceSizeOf(int sourceType) { return sourceType == 1 ? SourceSize{720, 480} : SourceSize{720, 576}; }

float AspectValueOf(int item) {
  switch (item) {
  case 0:
    return 4.0f / 3.0f; // the float nearest to 4/3, slightly above it
  case 1:
    return 1.66f;
  case 2:
    return 1.77f;
  case 3:
    return 1.85f;
  case 4:
    return 2.35f;
  default:
    return 0.0f; // "User"
  }
}

std::optional<float> SourceIdealHeight(int x, int w, int h, float aspect, const CropAmounts &crop) {
  if (aspect == 0.0f || x == 0 || w == 0)
    return std::nullopt;
  const float p = Single(static_cast<double>(w) / aspect); // height of the whole frame shown at the aspect
  const float v = Single(static_cast<double>(h) / p);      // stored lines per displayed line
  const int cw = w - (crop.left + crop.right);
  const int ch = h - (crop.top + crop.bottom);
  const float s = Single(static_cast<double>(cw) / x); // stored columns per output column
  const double lines = static_cast<double>(v) * s;
  if (lines == 0.0)
    return std::nullopt;
  return Finite(ch / lines);
}

std::optional<float> ProportionIdealHeight(int x, double xPart, double yPart) {
  if (xPart == 0.0)
    return std::nullopt;
  return Finite(static_cast<double>(x) * yPart / xPart);
}

int NearestHeight(float v) {
  double best = 1000;
  int choice = 0;
  for (int entry : kHeightSteps) {
    const double distance = std::fabs(static_cast<double>(v) - entry);
    if (distance < best) {
      best = distance;
      choice = entry;
    }
  }
  if (choice == 0) // nothing within reach: the nearer end of the table
    choice = v > kHeightSteps.front() ? kHeightSteps.front() : kHeightSteps.back();
  return choice;
}

std::optional<float> FrameQuality(int x, int y, int frameCount, float frameRate) {
  if (!(frameRate > 0.0f) || x == 0 || y == 0)
    return std::nullopt;
  const float duration = Single(frameCount / static_cast<double>(frameRate));
  const long long seconds = RoundHalfEven(duration);
  if (seconds == 0)
    return std::nullopt;
  const float audio = Single(seconds * 448.0 / 8 / 1024 / 1024 * 1000);
  const float video = Single(1400.0 - audio - 10);
  const float rate = Single(video * 1024.0 * 1024 * 8 / (seconds * 1000.0));
  return Finite(rate * 1000.0 / frameRate / x / y);
}

int StartWidth(const QString &resizeWidthSetting) {
  float value = 0;
  if (resizeWidthSetting.isEmpty() || !ParseNumber(resizeWidthSetting.toStdString(), value))
    return kDefaultWidth;
  if (!(std::fabs(value) < 1e9f))
    return kDefaultWidth;
  const long long width = RoundHalfEven(value);
  if (std::find(kAutoWidths.begin(), kAutoWidths.end(), width) == kAutoWidths.end())
    return kDefaultWidth;
  return static_cast<int>(width);
}

float QualityThreshold(const QString &goodQualitySetting) {
  float value = 0;
  if (goodQualitySetting.isEmpty() || !ParseNumber(goodQualitySetting.toStdString(), value))
    return kDefaultQuality;
  if (static_cast<double>(value) >= 0.15 && static_cast<double>(value) <= 0.35)
    return value;
  return kDefaultQuality;
}

std::optional<int> CalcHeight(const IdealFn &ideal, int x) {
  const auto v = ideal(x);
  if (!v)
    return std::nullopt;
  return NearestHeight(*v);
}

AutoSize ChooseAutoWidth(const IdealFn &ideal, const QString &resizeWidthSetting,
                         const QString &goodQualitySetting, int frameCount, float frameRate) {
  AutoSize size;
  size.width = StartWidth(resizeWidthSetting);
  const float threshold = QualityThreshold(goodQualitySetting);
  for (int step = 0; step < 2; ++step) {
    const auto y = CalcHeight(ideal, size.width);
    if (!y)
      break;
    const auto quality = FrameQuality(size.width, *y, frameCount, frameRate);
    if (quality && *quality < threshold)
      size.width -= kWidthStep;
  }
  size.height = CalcHeight(ideal, size.width);
  return size;
}

QString FormatGeneral(float value) {
  const double v = value;
  if (v == 0.0)
    return "0";
  if (!std::isfinite(v))
    return "-";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14e", v); // "-d.dddddddddddddde+XX"
  std::string text(buffer);
  const bool negative = text.front() == '-';
  if (negative)
    text.erase(0, 1);
  const size_t e = text.find('e');
  const int exponent = std::stoi(text.substr(e + 1));
  std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();

  std::string out;
  if (exponent >= 15 || std::fabs(v) < 1e-5) {
    out = digits.substr(0, 1);
    if (digits.size() > 1) {
      out += '.';
      out += digits.substr(1);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent < 0) {
    out = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else {
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) {
      out = digits + std::string(whole - digits.size(), '0');
    } else {
      out = digits.substr(0, whole) + "." + digits.substr(whole);
    }
  }
  return QString::fromStdString((negative ? "-" : "") + out);
}

RatioDisplay RatioFor(int x, int y, std::optional<float> ideal) {
  RatioDisplay shown;
  shown.ratio = y == 0 ? QString("-") : FormatGeneral(Single(static_cast<double>(x) / y));
  if (!ideal || *ideal == 0.0f) {
    shown.error = "-";
    return shown;
  }
  const float error = Single(std::fabs(static_cast<double>(*ideal) - y) * 100.0 / *ideal);
  shown.error = FormatGeneral(error);
  shown.red = error > 2.0f;
  return shown;
}

QPoint FittedWindowPosition(QSize screen, QSize window) {
  const int left = window.width() < screen.width() ? (screen.width() - window.width()) / 2 : 5;
  const int top = window.height() < screen.height() ? (screen.height() - window.height()) / 2 : 5;
  return {left, top};
}

QPoint FittedWindowPosition(QRect area, QSize window) {
  // A window fitted to the area exactly stays inside it.
  const int left = window.width() <= area.width() ? (area.width() - window.width()) / 2 : 5;
  const int top = window.height() <= area.height() ? (area.height() - window.height()) / 2 : 5;
  return area.topLeft() + QPoint(left, top);
}

QSize PreviewViewport(QSize picture, QSize room, int scrollBarExtent) {
  if (picture.width() <= room.width() && picture.height() <= room.height())
    return picture;
  // A scroll bar along one side takes room across the other.
  const bool scrollsDown = picture.height() > room.height();
  const bool scrollsAcross = picture.width() + (scrollsDown ? scrollBarExtent : 0) > room.width();
  const int width = std::min(picture.width() + (scrollsDown ? scrollBarExtent : 0), room.width());
  const int height = std::min(picture.height() + (scrollsAcross ? scrollBarExtent : 0), room.height());
  return {std::max(width, 1), std::max(height, 1)};
}

int StoredHeightOf(const QString &tvSystem, int sourceHeight) {
  return tvSystem == "PAL" || sourceHeight == 576 ? 576 : 480;
}

ManualSource ManualSourceOf(const QString &tvSystem, int sourceHeight, int aspectCode) {
  return {720, StoredHeightOf(tvSystem, sourceHeight), aspectCode == 2 ? 1.33333f : 1.85f};
}

bool TextToInt(const QString &text, int &value) { return StrToIntStrict(text.toStdString(), value); }

bool TextToFloat(const QString &text, double &value) {
  std::string s = text.toStdString();
  size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos)
    return false;
  s = s.substr(first, s.find_last_not_of(' ') - first + 1);
  float check = 0;
  if (!ParseNumber(s, check))
    return false;
  bool negative = false;
  if (s.front() == '+' || s.front() == '-') {
    negative = s.front() == '-';
    s.erase(0, 1);
  }
  // from_chars takes no sign and wants a digit before a point.
  const size_t e = s.find_first_of("eE");
  std::string mantissa = s.substr(0, e);
  const std::string exponent = e == std::string::npos ? std::string() : s.substr(e);
  // A point must be followed by digits ("1." is no number here).
  if (mantissa.empty() || mantissa.back() == '.')
    return false;
  if (mantissa.front() == '.')
    mantissa.insert(mantissa.begin(), '0');
  std::string number = mantissa + exponent;
  if (number.size() > 1 && (number.back() == '+' || number.back() == '-'))
    return false;
  double parsed = 0;
  auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), parsed);
  if (ec == std::errc::result_out_of_range) {
    parsed = 0; // tiny values underflow to 0; huge ones are refused below
    if (exponent.find('-') == std::string::npos)
      return false;
  } else if (ec != std::errc() || ptr != number.data() + number.size() || !std::isfinite(parsed)) {
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}

QString NotIntegerMessage(const QString &text) { return QString("'%1' is not a valid integer value").arg(text); }

QString NotFloatMessage(const QString &text) { return QString("'%1' is not a valid floating point value").arg(text); }

} // namespace reelwork::resize
