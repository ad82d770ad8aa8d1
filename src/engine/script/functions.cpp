// The built-in functions: sources, filters, clip properties and a few value
// functions. Argument checks that depend on the clip live in the filters.

#include "engine/script/functions.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <numeric>
#include <sstream>
#include <utility>

#include "common/file_lookup.h"
#include "engine/filters/deinterlacers.h"
#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"
#include "engine/filters/matrix.h"
#include "engine/mpeg2_source.h"
#include "engine/script/evaluator.h"
#include "engine/script/function_support.h"

namespace reelwork::engine::script {

namespace f = reelwork::engine::filters;

std::string Lower(const std::string &s) {
  std::string r = s;
  for (char &c : r)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string Value::describe() const {
  switch (type) {
  case Type::Void:
    return "nothing";
  case Type::Clip:
    return "a clip";
  case Type::Int:
    return "an integer (" + std::to_string(i) + ")";
  case Type::Float: {
    std::ostringstream o;
    o << "a float (" << f << ")";
    return o.str();
  }
  case Type::String:
    return "a string (\"" + s + "\")";
  case Type::Bool:
    return std::string("a boolean (") + (b ? "true" : "false") + ")";
  case Type::Array:
    return "an array of " + std::to_string(items ? items->size() : 0) + " values";
  }
  return "?";
}

size_t Args::index(const std::string &name) const {
  const std::string n = Lower(name);
  for (size_t i = 0; i < params_.size(); ++i)
    if (Lower(params_[i].name) == n)
      return i;
  throw EngineError(function_ + ": internal error: no parameter " + name);
}

void FunctionTable::add(FunctionDef def) {
  const std::string key = Lower(def.name);
  byName_[key] = std::move(def);
}

const FunctionDef *FunctionTable::find(const std::string &name) const {
  auto it = byName_.find(Lower(name));
  return it == byName_.end() ? nullptr : &it->second;
}

namespace {

// "clip:c left:i top:i width:i? ..." -> parameters; "?" marks optional ones.
std::vector<Param> Sig(const std::string &text) {
  std::vector<Param> out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    Param p;
    p.optional = word.back() == '?';
    if (p.optional)
      word.pop_back();
    const size_t colon = word.find(':');
    p.name = word.substr(0, colon);
    switch (word[colon + 1]) {
    case 'c':
      p.type = ArgType::Clip;
      break;
    case 'i':
      p.type = ArgType::Int;
      break;
    case 'f':
      p.type = ArgType::Float;
      break;
    case 's':
      p.type = ArgType::String;
      break;
    case 'b':
      p.type = ArgType::Bool;
      break;
    default:
      p.type = ArgType::Any;
    }
    out.push_back(p);
  }
  return out;
}

[[noreturn]] void Fail(const Args &a, const std::string &why) { throw EngineError(a.function() + ": " + why); }

PixelFormat ParsePixelType(const Args &a, const std::string &s) {
  const std::string t = Lower(s);
  if (t == "yv12" || t == "i420")
    return PixelFormat::YV12;
  if (t == "yuy2")
    return PixelFormat::YUY2;
  if (t == "rgb24")
    return PixelFormat::RGB24;
  if (t == "rgb32" || t == "rgb")
    return PixelFormat::RGB32;
  if (t == "yv24")
    return PixelFormat::YV24;
  if (t == "yv16")
    return PixelFormat::YV16;
  if (t == "y8")
    return PixelFormat::Y8;
  Fail(a, "pixel_type \"" + s + "\" is not supported (use YV12, YUY2, RGB24, RGB32, YV24, YV16 or Y8)");
}

// A frame rate given as a float, as an exact fraction in lowest terms.
void FloatToRate(double fps, int &num, int &den) {
  if (std::fabs(fps - std::round(fps)) < 1e-9) {
    num = static_cast<int>(std::round(fps));
    den = 1;
    return;
  }
  // Continued fraction, stopping when the fraction matches the float.
  long long h0 = 0, h1 = 1, k0 = 1, k1 = 0;
  double x = fps;
  for (int i = 0; i < 32; ++i) {
    const long long a = static_cast<long long>(std::floor(x));
    const long long h2 = a * h1 + h0, k2 = a * k1 + k0;
    if (k2 > 1000000 || h2 > std::numeric_limits<int>::max())
      break;
    h0 = h1;
    h1 = h2;
    k0 = k1;
    k1 = k2;
    if (std::fabs(static_cast<double>(h1) / k1 - fps) < 1e-6 * fps)
      break;
    const double frac = x - static_cast<double>(a);
    if (frac < 1e-12)
      break;
    x = 1.0 / frac;
  }
  num = static_cast<int>(h1);
  den = static_cast<int>(k1 == 0 ? 1 : k1);
}

// A rate given either as one number (int or float) or as numerator and
// denominator.
void ReadRate(const Args &a, size_t first, size_t second, int &num, int &den) {
  const Value &v = a.at(first);
  if (v.isClip()) {
    num = v.clip->info().rateNum;
    den = v.clip->info().rateDen;
  } else if (v.type == Value::Type::Int && a.has(second)) {
    num = v.i;
    den = a.getInt(second, 1);
  } else if (v.isNumber()) {
    if (!(v.number() > 0) || v.number() > 1e6)
      Fail(a, "the frame rate must be greater than 0");
    FloatToRate(v.number(), num, den);
  } else if (v.type == Value::Type::String) {
    const std::string s = Lower(v.s);
    if (s == "ntsc_film") {
      num = 24000;
      den = 1001;
    } else if (s == "ntsc_video") {
      num = 30000;
      den = 1001;
    } else if (s == "ntsc_double") {
      num = 60000;
      den = 1001;
    } else if (s == "pal_film") {
      num = 24;
      den = 1;
    } else if (s == "pal_video") {
      num = 25;
      den = 1;
    } else if (s == "pal_double") {
      num = 50;
      den = 1;
    } else {
      Fail(a, "unknown frame rate preset \"" + v.s + "\"");
    }
  } else {
    Fail(a, "the frame rate must be a number, not " + v.describe());
  }
  if (num <= 0 || den <= 0)
    Fail(a, "the frame rate must be greater than 0");
}

// Resolves a file named in the script as the windows find it: relative names
// against the script's folder, names matched without regard to case, a
// Windows path by its trailing components below the script's folder. A name
// that is not found is returned as written (relative ones below the folder),
// so that the error names it.
std::string ResolveScriptPath(const std::string &name, const std::string &folder) {
  namespace fs = std::filesystem;
  if (auto found = FindNamedFile(folder, name))
    return found->string();
  const bool windows = name.find('\\') != std::string::npos || (name.size() > 1 && name[1] == ':');
  fs::path p(windows ? BaseNameAnySeparator(name) : name);
  if (p.is_relative() && !folder.empty())
    p = fs::path(folder) / p;
  return p.string();
}

Value Clip(ClipPtr c) { return Value::OfClip(std::move(c)); }

void AddSources(FunctionTable &t) {
  t.add({"mpeg2source",
         Sig("d2v:s cpu:i? idct:i? iPP:b? moderate_h:a? moderate_v:a? showQ:a? fastMC:a? cpu2:a? info:a? "
             "upConv:a? i420:a? iCC:a?"),
         [](const Args &a, CallEnv &env) {
           const int idct = a.getInt(2, 0), cpu = a.getInt(1, 0);
           if (idct < 0 || idct > 7)
             Fail(a, "idct must lie between 0 and 7 (it is " + std::to_string(idct) + ")");
           if (cpu < 0 || cpu > 6)
             Fail(a, "cpu must lie between 0 and 6 (it is " + std::to_string(cpu) + ")");
           const std::string path = ResolveScriptPath(a.getString(0, ""), env.ctx.folder);
           if (!env.ctx.mpeg2)
             Fail(a, "no MPEG-2 source is available in this build");
           ClipPtr c = env.ctx.mpeg2(path, env.ctx.progress);
           if (!c)
             Fail(a, "cannot open " + a.getString(0, ""));
           if (env.ctx.notes)
             for (const FrameRange &r : DamagedFramesOf(*c))
               env.ctx.notes->damaged.push_back(r);
           if (env.ctx.sources)
             env.ctx.sources->push_back(c);
           return Clip(c);
         }});

  t.add({"BlankClip",
         Sig("clip:c? length:i? width:i? height:i? pixel_type:s? fps:f? fps_denominator:i? audio_rate:a? "
             "stereo:a? sixteen_bit:a? color:i? color_yuv:i? channels:a? sample_type:a?"),
         [](const Args &a, CallEnv &) {
           f::BlankClipParams p;
           if (ClipPtr c = a.clip(0)) {
             const ClipInfo &vi = c->info();
             p.length = vi.frameCount;
             p.width = vi.width;
             p.height = vi.height;
             p.format = vi.format;
             p.rateNum = vi.rateNum;
             p.rateDen = vi.rateDen;
             p.parity = vi.parity;
             p.fieldBased = vi.fieldBased;
           }
           p.length = a.getInt(1, p.length);
           p.width = a.getInt(2, p.width);
           p.height = a.getInt(3, p.height);
           if (a.has(4))
             p.format = ParsePixelType(a, a.getString(4, ""));
           if (a.has(5)) {
             const double fps = a.getFloat(5, 24);
             if (!(fps > 0) || fps > 1e6)
               Fail(a, "fps must be greater than 0");
             if (a.has(6)) {
               p.rateDen = a.getInt(6, 1);
               if (p.rateDen <= 0)
                 Fail(a, "fps_denominator must be greater than 0");
               // With a denominator, fps is the numerator of the rate.
               p.rateNum = static_cast<int>(std::lround(fps));
             } else {
               FloatToRate(fps, p.rateNum, p.rateDen);
             }
           } else if (a.has(6)) {
             p.rateDen = a.getInt(6, 1);
           }
           p.color = static_cast<unsigned>(a.getInt(10, 0)) & 0xffffff;
           if (a.has(11))
             p.colorYuv = static_cast<unsigned>(a.getInt(11, 0)) & 0xffffff;
           return Clip(f::MakeBlankClip(p));
         }});

  t.add({"ColorBars", Sig("width:i? height:i? pixel_type:s?"), [](const Args &a, CallEnv &) {
           const int w = a.getInt(0, 640), h = a.getInt(1, 480);
           const PixelFormat fmt = a.has(2) ? ParsePixelType(a, a.getString(2, "")) : PixelFormat::RGB32;
           return Clip(f::MakeColorBars(w, h, fmt));
         }});
}

void AddGeometry(FunctionTable &t) {
  t.add({"Crop", Sig("clip:c left:i top:i width:i height:i align:b?"), [](const Args &a, CallEnv &) {
           return Clip(f::MakeCrop(a.clip(0), a.getInt(1, 0), a.getInt(2, 0), a.getInt(3, 0), a.getInt(4, 0)));
         }});
  t.add({"CropBottom", Sig("clip:c count:i"), [](const Args &a, CallEnv &) {
           const int count = a.getInt(1, 0);
           if (count == std::numeric_limits<int>::min())
             Fail(a, "count " + std::to_string(count) + " is out of range");
           return Clip(f::MakeCrop(a.clip(0), 0, 0, 0, -count));
         }});

  struct Resizer {
    const char *name;
    f::ResizeKernel kernel;
    const char *extra; // parameters after the target size, in order
  };
  static const Resizer resizers[] = {
      {"BicubicResize", f::ResizeKernel::Bicubic, "b:f? c:f? src_left:f? src_top:f? src_width:f? src_height:f?"},
      {"BilinearResize", f::ResizeKernel::Bilinear, "src_left:f? src_top:f? src_width:f? src_height:f?"},
      {"LanczosResize", f::ResizeKernel::Lanczos, "src_left:f? src_top:f? src_width:f? src_height:f? taps:i?"},
      {"Lanczos4Resize", f::ResizeKernel::Lanczos4, "src_left:f? src_top:f? src_width:f? src_height:f?"},
      {"Spline16Resize", f::ResizeKernel::Spline16, "src_left:f? src_top:f? src_width:f? src_height:f?"},
      {"Spline36Resize", f::ResizeKernel::Spline36, "src_left:f? src_top:f? src_width:f? src_height:f?"},
      {"Spline64Resize", f::ResizeKernel::Spline64, "src_left:f? src_top:f? src_width:f? src_height:f?"},
      {"PointResize", f::ResizeKernel::Point, "src_left:f? src_top:f? src_width:f? src_height:f?"},
      {"GaussResize", f::ResizeKernel::Gauss, "src_left:f? src_top:f? src_width:f? src_height:f? p:f?"},
  };
  for (const Resizer &r : resizers) {
    const std::string name = r.name;
    const f::ResizeKernel kernel = r.kernel;
    t.add({name, Sig(std::string("clip:c target_width:i target_height:i ") + r.extra),
           [name, kernel](const Args &a, CallEnv &) {
             f::ResizeParams p;
             p.width = a.getInt(1, 0);
             p.height = a.getInt(2, 0);
             size_t src = 3;
             if (kernel == f::ResizeKernel::Bicubic) {
               p.b = a.getFloat(3, p.b);
               p.c = a.getFloat(4, p.c);
               src = 5;
             }
             p.srcLeft = a.getFloat(src, 0);
             p.srcTop = a.getFloat(src + 1, 0);
             p.srcWidth = a.getFloat(src + 2, 0);
             p.srcHeight = a.getFloat(src + 3, 0);
             if (kernel == f::ResizeKernel::Lanczos)
               p.taps = a.getInt(src + 4, 3);
             return Clip(f::MakeResize(a.clip(0), kernel, p, name));
           }});
  }

  t.add({"AssumeTFF", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeAssumeParity(a.clip(0), FieldParity::Top)); }});
  t.add({"AssumeBFF", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeAssumeParity(a.clip(0), FieldParity::Bottom)); }});
  t.add({"AssumeFieldBased", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeAssumeFieldBased(a.clip(0), true)); }});
  t.add({"AssumeFrameBased", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeAssumeFieldBased(a.clip(0), false)); }});
  t.add({"SeparateFields", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeSeparateFields(a.clip(0))); }});
  t.add({"Weave", Sig("clip:c"), [](const Args &a, CallEnv &) { return Clip(f::MakeWeave(a.clip(0))); }});
  t.add({"DoubleWeave", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeDoubleWeave(a.clip(0))); }});
  t.add({"Bob", Sig("clip:c b:f? c:f? height:i?"), [](const Args &a, CallEnv &) {
           ClipPtr c = a.clip(0);
           if (a.has(3) && a.getInt(3, 0) <= 0)
             Fail(a, "height must be greater than 0");
           ClipPtr out = f::MakeBob(c);
           if (a.has(3) && a.getInt(3, 0) != out->info().height) {
             f::ResizeParams p;
             p.width = out->info().width;
             p.height = a.getInt(3, 0);
             out = f::MakeResize(out, f::ResizeKernel::Bicubic, p, "Bob");
           }
           return Clip(out);
         }});
  t.add({"Trim", Sig("clip:c first_frame:i last_frame:i? pad:b? length:i? end:i?"), [](const Args &a, CallEnv &) {
           const int first = a.getInt(1, 0);
           int last;
           if (a.has(2))
             last = a.getInt(2, 0);
           else if (a.has(4)) {
             const int length = a.getInt(4, 0);
             if (length <= 0)
               Fail(a, "length must be greater than 0");
             last = -length;
           } else if (a.has(5)) {
             last = a.getInt(5, 0);
             if (last < first)
               Fail(a, "end lies before the first frame");
           } else {
             Fail(a, "the last frame (or length=, end=) is missing");
           }
           return Clip(f::MakeTrim(a.clip(0), first, last));
         }});
  t.add({"SelectEven", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeSelectEvery(a.clip(0), 2, 0, "SelectEven")); }});
  t.add({"SelectOdd", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeSelectEvery(a.clip(0), 2, 1, "SelectOdd")); }});
  // Any number of offsets: each gives one frame of every step, in the order given.
  std::string selectEvery = "clip:c step_size:i offset:i?";
  for (size_t k = 2; k <= kMaxOffsets; ++k)
    selectEvery += " offset" + std::to_string(k) + ":i?";
  t.add({"SelectEvery", Sig(selectEvery), [](const Args &a, CallEnv &) {
           std::vector<ClipPtr> picks;
           for (size_t k = 2; k < 2 + kMaxOffsets && a.has(k); ++k)
             picks.push_back(f::MakeSelectEvery(a.clip(0), a.getInt(1, 1), a.getInt(k, 0), "SelectEvery"));
           if (picks.empty())
             picks.push_back(f::MakeSelectEvery(a.clip(0), a.getInt(1, 1), 0, "SelectEvery"));
           return Clip(f::MakeInterleave(picks));
         }});
  t.add({"Decimate",
         Sig("clip:c cycle:i? mode:i? threshold:f? threshold2:f? quality:i? ovr:s? show:b? debug:b?"),
         [](const Args &a, CallEnv &) {
           // Mode 1 blends the repeated frame into its neighbours instead of
           // dropping it: the count stays, and so does the picture here.
           if (a.getInt(2, 0) == 1)
             return Clip(a.clip(0));
           return Clip(f::MakeDecimate(a.clip(0), a.getInt(1, 5)));
         }});
  t.add({"Reverse", Sig("clip:c"), [](const Args &a, CallEnv &) { return Clip(f::MakeReverse(a.clip(0))); }});
  t.add({"FlipVertical", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeFlipVertical(a.clip(0))); }});
  t.add({"FlipHorizontal", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeFlipHorizontal(a.clip(0))); }});
  for (const auto &[nm, quarters] : {std::pair<const char *, int>{"TurnRight", 1}, {"Turn180", 2}, {"TurnLeft", 3}}) {
    const std::string name = nm;
    const int q = quarters;
    t.add({name, Sig("clip:c"), [name, q](const Args &a, CallEnv &) { return Clip(f::MakeTurn(a.clip(0), q, name)); }});
  }
  t.add({"HorizontalReduceBy2", Sig("clip:c"), [](const Args &a, CallEnv &) {
           return Clip(f::MakeReduceBy2(a.clip(0), true, "HorizontalReduceBy2"));
         }});
  t.add({"VerticalReduceBy2", Sig("clip:c"), [](const Args &a, CallEnv &) {
           return Clip(f::MakeReduceBy2(a.clip(0), false, "VerticalReduceBy2"));
         }});
  t.add({"ReduceBy2", Sig("clip:c"), [](const Args &a, CallEnv &) {
           return Clip(f::MakeReduceBy2(f::MakeReduceBy2(a.clip(0), true, "ReduceBy2"), false, "ReduceBy2"));
         }});
  t.add({"Loop", Sig("clip:c times:i? start:i? end:i?"), [](const Args &a, CallEnv &) {
           const ClipPtr c = a.clip(0);
           return Clip(f::MakeLoop(c, a.getInt(1, -1), a.getInt(2, 0), a.getInt(3, c->info().frameCount - 1)));
         }});
  // The rate as a float, as numerator and denominator, as a preset name, or
  // as another clip's rate.
  t.add({"AssumeFPS", Sig("clip:c fps:a den:i? sync_audio:b?"), [](const Args &a, CallEnv &) {
           int num = 0, den = 1;
           ReadRate(a, 1, 2, num, den);
           return Clip(f::MakeAssumeFps(a.clip(0), num, den));
         }});
  t.add({"ChangeFPS", Sig("clip:c fps:a den:i? linear:b?"), [](const Args &a, CallEnv &) {
           int num = 0, den = 1;
           ReadRate(a, 1, 2, num, den);
           // Linear access decodes every frame it skips, so it allows at most
           // a tenth of the rate.
           const ClipInfo &vi = a.clip(0)->info();
           const long long fa = static_cast<long long>(vi.rateNum) * den;
           const long long fb = static_cast<long long>(vi.rateDen) * num;
           if (a.getBool(3, true) && (fa + (fb >> 1)) / fb > 10)
             Fail(a, "the ratio must be less than 10 for linear access (set linear=false)");
           return Clip(f::MakeChangeFps(a.clip(0), num, den));
         }});
  t.add({"ConvertFPS", Sig("clip:c new_rate:a den:i? zone:i? vbi:i?"), [](const Args &a, CallEnv &) {
           int num = 0, den = 1;
           ReadRate(a, 1, 2, num, den);
           return Clip(f::MakeConvertFps(a.clip(0), num, den, a.getInt(3, -1)));
         }});
  t.add({"AddBorders", Sig("clip:c left:i top:i right:i bottom:i color:i?"), [](const Args &a, CallEnv &) {
           return Clip(f::MakeAddBorders(a.clip(0), a.getInt(1, 0), a.getInt(2, 0), a.getInt(3, 0), a.getInt(4, 0),
                                         static_cast<unsigned>(a.getInt(5, 0)) & 0xffffff));
         }});
  t.add({"ComplementParity", Sig("clip:c"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeComplementParity(a.clip(0))); }});
  t.add({"SwapFields", Sig("clip:c"), [](const Args &a, CallEnv &) { return Clip(f::MakeSwapFields(a.clip(0))); }});
  for (const char *nm : {"StackHorizontal", "StackVertical"}) {
    const std::string name = nm;
    t.add({name, Sig("clip:c c2:c c3:c? c4:c? c5:c? c6:c? c7:c? c8:c?"), [name](const Args &a, CallEnv &) {
             std::vector<ClipPtr> clips;
             for (size_t k = 0; k < 8; ++k)
               if (a.has(k))
                 clips.push_back(a.clip(k));
             return Clip(f::MakeStack(clips, name == "StackHorizontal", name));
           }});
  }
  t.add({"DeleteFrame", Sig("clip:c frame:i"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeDeleteFrame(a.clip(0), a.getInt(1, 0))); }});
  t.add({"DuplicateFrame", Sig("clip:c frame:i"),
         [](const Args &a, CallEnv &) { return Clip(f::MakeDuplicateFrame(a.clip(0), a.getInt(1, 0))); }});
  t.add({"FreezeFrame", Sig("clip:c first_frame:i last_frame:i source_frame:i"), [](const Args &a, CallEnv &) {
           return Clip(f::MakeFreezeFrame(a.clip(0), a.getInt(1, 0), a.getInt(2, 0), a.getInt(3, 0)));
         }});
}

void AddColour(FunctionTable &t) {
  struct Conversion {
    const char *name;
    PixelFormat target;
  };
  static const Conversion conversions[] = {
      {"ConvertToRGB", PixelFormat::RGB32},   {"ConvertToRGB32", PixelFormat::RGB32},
      {"ConvertToRGB24", PixelFormat::RGB24}, {"ConvertToYUY2", PixelFormat::YUY2},
      {"ConvertToYV12", PixelFormat::YV12},   {"ConvertToYV16", PixelFormat::YV16},
      {"ConvertToYV24", PixelFormat::YV24},   {"ConvertToY8", PixelFormat::Y8},
  };
  for (const Conversion &c : conversions) {
    const std::string name = c.name;
    const PixelFormat target = c.target;
    // ConvertToRGB*(clip, matrix, interlaced, ...); ConvertToY8(clip, matrix);
    // the YUV ones (clip, interlaced, matrix, ChromaInPlacement, chromaresample, ChromaOutPlacement, ...).
    const bool toRgb = target == PixelFormat::RGB24 || target == PixelFormat::RGB32;
    const bool toY8 = target == PixelFormat::Y8;
    const int matrixAt = toRgb || toY8 ? 1 : 2, interlacedAt = toRgb ? 2 : 1;
    const char *sig = toY8    ? "clip:c matrix:s?"
                      : toRgb ? "clip:c matrix:s? interlaced:b? ChromaInPlacement:s? chromaresample:s? "
                                "param1:f? param2:f? param3:f?"
                              : "clip:c interlaced:b? matrix:s? ChromaInPlacement:s? chromaresample:s? "
                                "ChromaOutPlacement:s? param1:f? param2:f? param3:f?";
    t.add({name, Sig(sig), [name, target, toRgb, toY8, matrixAt, interlacedAt](const Args &a, CallEnv &) {
             f::Matrix m;
             f::ChromaOptions chroma;
             try {
               m = f::Matrix::Make(a.getString(matrixAt, ""));
               if (!toY8) {
                 chroma.mpeg1In = f::ChromaOptions::ReadPlacement(a.getString(3, ""));
                 chroma.setKernel(a.getString(4, ""));
                 if (!toRgb)
                   chroma.mpeg1Out = f::ChromaOptions::ReadPlacement(a.getString(5, ""));
               }
             } catch (const EngineError &e) {
               Fail(a, e.what());
             }
             // param1 and param2: bicubic's b and c, or lanczos' taps.
             const int p1 = toRgb ? 5 : 6;
             if (!toY8 && chroma.kernel == f::ResizeKernel::Bicubic) {
               chroma.b = a.getFloat(p1, chroma.b);
               chroma.c = a.getFloat(p1 + 1, chroma.c);
               if (!(std::fabs(chroma.b) <= 1000 && std::fabs(chroma.c) <= 1000))
                 Fail(a, "param1 and param2 (bicubic's b and c) must lie between -1000 and 1000");
             }
             if (!toY8 && chroma.kernel == f::ResizeKernel::Lanczos && a.has(p1)) {
               const double taps = a.getFloat(p1, 3);
               if (!(taps >= 1 && taps <= 100))
                 Fail(a, "param1 (lanczos' taps) must lie between 1 and 100");
               chroma.taps = static_cast<int>(taps);
             }
             ClipPtr clip = a.clip(0);
             // RGB32 -> "ConvertToRGB" keeps RGB24 as it is, as the script language does.
             if (name == "ConvertToRGB" && f::IsRgb(clip->info().format))
               return Clip(clip);
             const bool interlaced = !toY8 && a.getBool(interlacedAt, false);
             return Clip(f::MakeConvertWith(clip, target, interlaced, m, name, chroma));
           }});
  }
  for (const char *nm : {"Sharpen", "Blur"}) {
    const std::string name = nm;
    t.add({name, Sig("clip:c amount:f amountV:f? mmx:b?"), [name](const Args &a, CallEnv &) {
             const double h = a.getFloat(1, 0);
             return Clip(f::MakeSharpen(a.clip(0), h, a.getFloat(2, h), name == "Blur", name));
           }});
  }
  t.add({"Tweak",
         Sig("clip:c hue:f? sat:f? bright:f? cont:f? coring:b? sse:b? startHue:f? endHue:f? maxSat:f? minSat:f? "
             "interp:f? dither:b?"),
         [](const Args &a, CallEnv &) {
           f::TweakParams p;
           p.hue = a.getFloat(1, 0);
           p.sat = a.getFloat(2, 1);
           p.bright = a.getFloat(3, 0);
           p.cont = a.getFloat(4, 1);
           p.coring = a.getBool(5, true);
           return Clip(f::MakeTweak(a.clip(0), p));
         }});
  t.add({"ColorYUV",
         Sig("clip:c gain_y:f? off_y:f? gamma_y:f? cont_y:f? gain_u:f? off_u:f? gamma_u:f? cont_u:f? gain_v:f? "
             "off_v:f? gamma_v:f? cont_v:f? levels:s? opt:s? matrix:s? showyuv:b? analyze:b? autowhite:b? "
             "autogain:b? conditional:b?"),
         [](const Args &a, CallEnv &) {
           f::ColorYuvParams p;
           f::ColorYuvPlane *planes[3] = {&p.y, &p.u, &p.v};
           for (int k = 0; k < 3; ++k) {
             planes[k]->gain = a.getFloat(1 + 4 * k, 0);
             planes[k]->off = a.getFloat(2 + 4 * k, 0);
             planes[k]->gamma = a.getFloat(3 + 4 * k, 0);
             planes[k]->cont = a.getFloat(4 + 4 * k, 0);
           }
           p.levels = a.getString(13, "");
           const std::string opt = Lower(a.getString(14, ""));
           if (!opt.empty() && opt != "coring")
             Fail(a, "opt must be \"coring\" or empty");
           p.coring = opt == "coring";
           return Clip(f::MakeColorYuv(a.clip(0), p));
         }});
  t.add({"RGBAdjust", Sig("clip:c r:f? g:f? b:f? a:f? rb:f? gb:f? bb:f? ab:f? rg:f? gg:f? bg:f? ag:f? "
                          "analyze:b? dither:b?"),
         [](const Args &a, CallEnv &) {
           f::RgbAdjustParams p;
           double *fields[12] = {&p.r, &p.g, &p.b, &p.a, &p.rb, &p.gb, &p.bb, &p.ab, &p.rg, &p.gg, &p.bg, &p.ag};
           for (int k = 0; k < 12; ++k)
             *fields[k] = a.getFloat(1 + k, *fields[k]);
           return Clip(f::MakeRgbAdjust(a.clip(0), p));
         }});
  t.add({"Levels", Sig("clip:c input_low:i gamma:f input_high:i output_low:i output_high:i coring:b? dither:b?"),
         [](const Args &a, CallEnv &) {
           f::LevelsParams p;
           p.inLow = a.getInt(1, 0);
           p.gamma = a.getFloat(2, 1);
           p.inHigh = a.getInt(3, 255);
           p.outLow = a.getInt(4, 0);
           p.outHigh = a.getInt(5, 255);
           p.coring = a.getBool(6, true);
           return Clip(f::MakeLevels(a.clip(0), p));
         }});
  for (const char *nm : {"Greyscale", "Grayscale"})
    t.add({nm, Sig("clip:c matrix:s?"), [](const Args &a, CallEnv &) { return Clip(f::MakeGreyscale(a.clip(0))); }});
}

void AddProperties(FunctionTable &t) {
  using Getter = std::function<Value(const ClipPtr &)>;
  auto prop = [&t](const char *name, Getter g) {
    t.add({name, Sig("clip:c"), [g](const Args &a, CallEnv &) { return g(a.clip(0)); }});
  };
  prop("Width", [](const ClipPtr &c) { return Value::OfInt(c->info().width); });
  prop("Height", [](const ClipPtr &c) { return Value::OfInt(c->info().height); });
  prop("FrameCount", [](const ClipPtr &c) { return Value::OfInt(c->info().frameCount); });
  prop("FrameRate",
       [](const ClipPtr &c) { return Value::OfFloat(static_cast<double>(c->info().rateNum) / c->info().rateDen); });
  prop("FrameRateNumerator", [](const ClipPtr &c) { return Value::OfInt(c->info().rateNum); });
  prop("FrameRateDenominator", [](const ClipPtr &c) { return Value::OfInt(c->info().rateDen); });
  prop("IsFieldBased", [](const ClipPtr &c) { return Value::OfBool(c->info().fieldBased); });
  prop("IsFrameBased", [](const ClipPtr &c) { return Value::OfBool(!c->info().fieldBased); });
  prop("IsYV12", [](const ClipPtr &c) { return Value::OfBool(c->info().format == PixelFormat::YV12); });
  prop("IsYUY2", [](const ClipPtr &c) { return Value::OfBool(c->info().format == PixelFormat::YUY2); });
  prop("IsYUV", [](const ClipPtr &c) { return Value::OfBool(f::IsYuv(c->info().format)); });
  prop("IsRGB", [](const ClipPtr &c) { return Value::OfBool(f::IsRgb(c->info().format)); });
  prop("IsRGB24", [](const ClipPtr &c) { return Value::OfBool(c->info().format == PixelFormat::RGB24); });
  prop("IsRGB32", [](const ClipPtr &c) { return Value::OfBool(c->info().format == PixelFormat::RGB32); });
  prop("IsYV24", [](const ClipPtr &c) { return Value::OfBool(c->info().format == PixelFormat::YV24); });
  prop("IsYV16", [](const ClipPtr &c) { return Value::OfBool(c->info().format == PixelFormat::YV16); });
  prop("IsY8", [](const ClipPtr &c) { return Value::OfBool(c->info().format == PixelFormat::Y8); });
  prop("IsPlanar", [](const ClipPtr &c) { return Value::OfBool(f::IsPlanar(c->info().format)); });
  prop("IsInterleaved", [](const ClipPtr &c) { return Value::OfBool(!f::IsPlanar(c->info().format)); });
  t.add({"GetParity", Sig("clip:c n:i?"), [](const Args &a, CallEnv &) {
           return Value::OfBool(f::TopFieldOf(*a.clip(0), a.getInt(1, 0)));
         }});

  auto number = [&t](const char *name, std::function<Value(const Args &)> fn) {
    t.add({name, Sig("x:f"), [fn](const Args &a, CallEnv &) { return fn(a); }});
  };
  auto toInt = [](const Args &a, double v) {
    if (!(v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max()))
      Fail(a, "the number is out of the integer range");
    return Value::OfInt(static_cast<int>(v));
  };
  number("Int", [toInt](const Args &a) { return toInt(a, std::trunc(a.getFloat(0, 0))); });
  number("Round", [toInt](const Args &a) { return toInt(a, std::floor(a.getFloat(0, 0) + 0.5)); });
  number("Floor", [toInt](const Args &a) { return toInt(a, std::floor(a.getFloat(0, 0))); });
  number("Ceil", [toInt](const Args &a) { return toInt(a, std::ceil(a.getFloat(0, 0))); });
  number("Float", [](const Args &a) { return Value::OfFloat(a.getFloat(0, 0)); });
  number("Abs", [](const Args &a) {
    const Value &v = a.at(0);
    if (v.type == Value::Type::Int && v.i != std::numeric_limits<int>::min())
      return Value::OfInt(v.i < 0 ? -v.i : v.i);
    return Value::OfFloat(std::fabs(v.number()));
  });
  t.add({"String", Sig("x:a format:s?"), [](const Args &a, CallEnv &) {
           const Value &v = a.at(0);
           switch (v.type) {
           case Value::Type::Int:
             return Value::OfString(std::to_string(v.i));
           case Value::Type::Float: {
             std::ostringstream o;
             o.setf(std::ios::fixed);
             o.precision(6);
             o << v.f;
             return Value::OfString(o.str());
           }
           case Value::Type::String:
             return v;
           case Value::Type::Bool:
             return Value::OfString(v.b ? "true" : "false");
           default:
             Fail(a, "cannot turn " + v.describe() + " into a string");
           }
         }});
}

// Statements about the environment, not the picture: accepted and ignored.
void AddEnvironment(FunctionTable &t) {
  for (const char *name : {"LoadPlugin", "LoadCPlugin", "Load_Stdcall_Plugin", "LoadVirtualdubPlugin",
                           "LoadVFAPIPlugin", "Import", "SetMemoryMax", "SetMTMode", "SetWorkingDir",
                           "SetPlanarLegacyAlignment", "SetCacheMode", "SetFilterMTMode", "Prefetch"}) {
    FunctionDef def;
    def.name = name;
    def.anyArguments = true;
    const bool keepsClip = std::string(name) == "Prefetch";
    def.body = [keepsClip](const Args &a, CallEnv &) {
      if (keepsClip && a.has(0) && a.at(0).isClip())
        return a.at(0);
      return Value{};
    };
    t.add(std::move(def));
  }
}

// Sound work leaves the picture as it is: the first clip goes on, and the
// name is not reported, since nothing visible is missing.
void AddAudio(FunctionTable &t) {
  for (const char *name : {"KillAudio", "KillVideo", "AudioDub", "AudioDubEx", "DelayAudio", "Amplify", "AmplifydB",
                           "Normalize", "ResampleAudio", "SSRC", "GetChannel", "GetChannels", "MixAudio",
                           "ConvertAudioTo8bit", "ConvertAudioTo16bit", "ConvertAudioTo24bit", "ConvertAudioTo32bit",
                           "ConvertAudioToFloat", "ConvertToMono", "EnsureVBRMP3Sync", "TimeStretch"}) {
    FunctionDef def;
    def.name = name;
    def.anyArguments = true;
    def.body = FirstClipGoesOn;
    t.add(std::move(def));
  }
}


// Field matching and deinterlacing, with the arguments their scripts carry;
// arguments that tune only the original's speed or its on-screen reports are
// accepted and have no effect.
void AddDeinterlacers(FunctionTable &t) {
  // The field matchers and deinterlacers scripts call by these names take the
  // older formats only (the engine's own filters behind them take any).
  auto older = [](const Args &a) {
    ClipPtr c = a.clip(0);
    if (f::IsPlanarBesidesYv12(c->info().format))
      Fail(a, std::string(f::FormatName(c->info().format)) + " is not supported (use YV12, YUY2, RGB24 or RGB32)");
    return c;
  };
  t.add({"Telecide",
         Sig("clip:c order:i? guide:i? gthresh:f? post:i? chroma:b? vthresh:f? vthresh_saved:f? bthresh:f? "
             "dthresh:f? blend:b? map:b? hints:b? ovr:s? show:b? debug:b? nt:i? y0:i? y1:i? back:i? back_saved:i?"),
         [older](const Args &a, CallEnv &) {
           f::TelecideParams p;
           p.order = a.getInt(a.index("order"), -1);
           p.post = a.getInt(a.index("post"), 2);
           p.vthresh = static_cast<int>(std::lround(a.getFloat(a.index("vthresh"), 50)));
           p.dthresh = static_cast<int>(std::lround(a.getFloat(a.index("dthresh"), 7)));
           return Clip(f::MakeTelecide(older(a), p));
         }});
  t.add({"TomsMoComp", Sig("clip:c TopFirst:i? SearchEffort:i? VerticalFilter:i?"), [older](const Args &a, CallEnv &) {
           return Clip(f::MakeTomsMoComp(older(a), a.getInt(1, -1), a.getInt(2, 5)));
         }});
  t.add({"FieldDeinterlace",
         Sig("clip:c full:b? threshold:i? dthreshold:i? map:b? blend:b? chroma:b? ovr:s? show:b? debug:b?"),
         [older](const Args &a, CallEnv &) {
           f::FieldDeinterlaceParams p;
           p.full = a.getBool(1, true);
           p.threshold = a.getInt(2, 20);
           p.dthreshold = a.getInt(3, 7);
           p.blend = a.getBool(5, true);
           return Clip(f::MakeFieldDeinterlace(older(a), p));
         }});
  t.add({"SmoothDeinterlace",
         Sig("clip:c tff:b? doublerate:b? blend:b? lacethresh:f? edgethresh:f? staticthresh:f? staticavg:b? "
             "cpu:a? showlace:b?"),
         [older](const Args &a, CallEnv &) {
           const int tff = a.has(1) ? (a.getBool(1, true) ? 1 : 0) : -1;
           const int lacethresh = static_cast<int>(std::lround(a.getFloat(4, 20)));
           return Clip(f::MakeSmoothDeinterlace(older(a), tff, a.getBool(2, false), lacethresh));
         }});
  t.add({"Repal", Sig("clip:c"), [](const Args &a, CallEnv &) { return Clip(f::MakeRepal(a.clip(0))); }});
}

} // namespace

// The helpers shared by the families kept in other files.
std::vector<Param> Signature(const std::string &text) { return Sig(text); }
[[noreturn]] void FailCall(const Args &a, const std::string &why) { Fail(a, why); }
Value FirstClipGoesOn(const Args &a, CallEnv &) {
  if (a.has(0) && a.at(0).isClip())
    return a.at(0);
  Fail(a, "needs a clip as its first argument");
}
void ReadRateArgs(const Args &a, size_t first, size_t second, int &num, int &den) {
  ReadRate(a, first, second, num, den);
}
void ReadFloatRate(double fps, int &num, int &den) { FloatToRate(fps, num, den); }
PixelFormat ReadPixelType(const Args &a, const std::string &name) { return ParsePixelType(a, name); }

const FunctionTable &BuiltinFunctions() {
  static const FunctionTable table = [] {
    FunctionTable t;
    AddSources(t);
    AddGeometry(t);
    AddColour(t);
    AddDeinterlacers(t);
    AddEditingFunctions(t);
    AddProperties(t);
    AddEnvironment(t);
    AddAudio(t);
    AddLanguageFunctions(t);
    AddPluginFunctions(t);
    return t;
  }();
  return table;
}

} // namespace reelwork::engine::script
