// Editing: interleaving and range selection, fades and dissolves,
// letterboxing, subtitles and overlays; and the runtime filters, whose per-frame scripts the engine
// does not run but whose geometry is their input's.

#include <cmath>
#include <limits>

#include "engine/filters/filters.h"
#include "engine/script/function_support.h"

namespace reelwork::engine::script {

namespace f = reelwork::engine::filters;

namespace {

std::string ClipList(const char *first, const char *prefix) {
  std::string sig = first;
  for (size_t k = 2; k <= kMaxOffsets; ++k)
    sig += std::string(" ") + prefix + std::to_string(k) + ":c?";
  return sig;
}

// A black (or coloured) clip like `like`, `length` frames long.
ClipPtr ColourClip(const ClipPtr &like, int length, unsigned colour) {
  const ClipInfo &vi = like->info();
  f::BlankClipParams p;
  p.length = length;
  p.width = vi.width;
  p.height = vi.height;
  p.format = vi.format;
  p.rateNum = vi.rateNum;
  p.rateDen = vi.rateDen;
  p.parity = vi.parity;
  p.fieldBased = vi.fieldBased;
  p.color = colour & 0xffffff;
  return f::MakeBlankClip(p);
}

void AddFrameSelection(FunctionTable &t) {
  t.add({"Interleave", Signature(ClipList("clip:c", "clip")), [](const Args &a, CallEnv &) {
           std::vector<ClipPtr> clips;
           for (size_t k = 0; k < kMaxOffsets && a.has(k); ++k)
             clips.push_back(a.clip(k));
           return ClipValue(f::MakeInterleave(clips));
         }});
  // Two or more clips end to end; the + and ++ operators join two.
  for (const char *nm : {"UnalignedSplice", "AlignedSplice"}) {
    const std::string name = nm;
    t.add({name, Signature(ClipList("clip:c", "clip")), [name](const Args &a, CallEnv &) {
             if (!a.has(1))
               FailCall(a, "needs at least two clips");
             ClipPtr joined = a.clip(0);
             for (size_t k = 1; k < kMaxOffsets && a.has(k); ++k)
               joined = f::MakeSplice(joined, a.clip(k), name);
             return ClipValue(joined);
           }});
  }
  t.add({"SelectRangeEvery", Signature("clip:c every:i? length:i? offset:i? audio:b?"), [](const Args &a, CallEnv &) {
           return ClipValue(
               f::MakeSelectRangeEvery(a.clip(0), a.getInt(1, 1500), a.getInt(2, 50), a.getInt(3, 0)));
         }});
}

// FadeOut(n) blends the last n frames into colour and adds one frame of it
// (FadeOut0 adds none, FadeOut2 two); FadeIn mirrors it at the start, FadeIO
// does both.
void AddFades(FunctionTable &t) {
  struct Fade {
    const char *name;
    bool in, out;
    int extra;
  };
  static const Fade fades[] = {
      {"FadeOut0", false, true, 0}, {"FadeOut", false, true, 1}, {"FadeOut2", false, true, 2},
      {"FadeIn0", true, false, 0},  {"FadeIn", true, false, 1},  {"FadeIn2", true, false, 2},
      {"FadeIO0", true, true, 0},   {"FadeIO", true, true, 1},   {"FadeIO2", true, true, 2},
  };
  for (const Fade &fd : fades) {
    const std::string name = fd.name;
    const Fade fade = fd;
    t.add({name, Signature("clip:c num_frames:i color:i? fps:f? color_yuv:i? colors:a?"),
           [name, fade](const Args &a, CallEnv &) {
             const int frames = a.getInt(1, 0);
             if (frames < 0 || frames > std::numeric_limits<int>::max() - 2)
               FailCall(a, "num_frames must lie between 0 and " + std::to_string(std::numeric_limits<int>::max() - 2));
             ClipPtr clip = a.clip(0);
             const ClipPtr colour = ColourClip(clip, frames + fade.extra, static_cast<unsigned>(a.getInt(2, 0)));
             if (fade.in)
               clip = f::MakeDissolve(colour, clip, frames, name);
             if (fade.out)
               clip = f::MakeDissolve(clip, colour, frames, name);
             return ClipValue(clip);
           }});
  }
  // Dissolve(clip1, clip2, ..., overlap, fps): each clip dissolves into the next.
  FunctionDef dissolve;
  dissolve.name = "Dissolve";
  dissolve.anyArguments = true;
  dissolve.body = [](const Args &a, CallEnv &) {
    std::vector<ClipPtr> clips;
    size_t k = 0;
    for (; a.has(k) && a.at(k).isClip(); ++k)
      clips.push_back(a.at(k).clip);
    if (clips.size() < 2)
      FailCall(a, "needs at least two clips");
    if (!a.has(k) || a.at(k).type != Value::Type::Int)
      FailCall(a, "the overlap (a number of frames) must follow the clips");
    const int overlap = a.at(k).i;
    ClipPtr result = clips[0];
    for (size_t i = 1; i < clips.size(); ++i)
      result = f::MakeDissolve(result, clips[i], overlap, "Dissolve");
    return ClipValue(result);
  };
  t.add(std::move(dissolve));
}

void AddLetterbox(FunctionTable &t) {
  t.add({"Letterbox", Signature("clip:c top:i bottom:i x1:i? x2:i? color:i? color_yuv:i?"),
         [](const Args &a, CallEnv &) {
           ClipPtr clip = a.clip(0);
           const ClipInfo &vi = clip->info();
           const int top = a.getInt(1, 0), bottom = a.getInt(2, 0), left = a.getInt(3, 0), right = a.getInt(4, 0);
           if (top < 0 || bottom < 0 || left < 0 || right < 0)
             FailCall(a, "the bars must not be negative");
           if (static_cast<long long>(top) + bottom >= vi.height)
             FailCall(a, "the bars are taller than the picture");
           if (static_cast<long long>(left) + right >= vi.width)
             FailCall(a, "the bars are wider than the picture");
           // The picture between the bars stays; the bars are borders of the colour.
           ClipPtr inner = f::MakeCrop(clip, left, top, -right, -bottom);
           return ClipValue(f::MakeAddBorders(inner, left, top, right, bottom,
                                              static_cast<unsigned>(a.getInt(5, 0)) & 0xffffff));
         }});
}

// Subtitle's placement as the script language computes it: the alignment
// decides which point of the text x and y give; x = -1 centres.
void AddSubtitle(FunctionTable &t) {
  t.add({"Subtitle",
         Signature("clip:c text:s x:f? y:f? first_frame:i? last_frame:i? font:s? size:f? text_color:i? "
                   "halo_color:i? align:i? spc:i? lsp:i? font_width:f? font_angle:f? interlaced:b? "
                   "font_filename:s? utf8:b? bold:b? italic:b? noaa:b? placement:s? gdi:b?"),
         [](const Args &a, CallEnv &) {
           ClipPtr clip = a.clip(0);
           const ClipInfo &vi = clip->info();
           f::SubtitleParams p;
           p.text = a.getString(1, "");
           const double x = a.getFloat(2, 0);
           p.align = a.getInt(10, a.has(2) && x == -1 ? 2 : 7);
           p.size = a.getFloat(7, 18);
           auto pixels = [&a](double v) {
             if (!(std::fabs(v) < 1e6))
               FailCall(a, "x and y must lie within a million pixels");
             return static_cast<int>(std::lround(v));
           };
           const int column = (p.align - 1) % 3; // 0 left, 1 centre, 2 right
           p.x = column == 0 ? 8 : column == 1 ? vi.width / 2 : vi.width - 8;
           if (a.has(2) && !(x == -1 && column == 1))
             p.x = pixels(x);
           p.y = p.align <= 3 ? vi.height - 2 : p.align <= 6 ? vi.height / 2 : 0;
           if (a.has(3) && !(a.getFloat(3, 0) == -1 && p.align >= 4 && p.align <= 6))
             p.y = pixels(a.getFloat(3, 0));
           p.firstFrame = a.getInt(4, 0);
           p.lastFrame = a.getInt(5, vi.frameCount - 1);
           p.textColour = static_cast<unsigned>(a.getInt(8, 0xFFFF00));
           p.haloColour = static_cast<unsigned>(a.getInt(9, 0));
           p.spacing = a.getInt(11, 0);
           p.multiline = a.has(12);
           p.lineSpacing = a.getInt(12, 0) / 8;
           return ClipValue(f::MakeSubtitle(clip, p));
         }});
}

void AddOverlay(FunctionTable &t) {
  t.add({"Overlay",
         Signature("base:c overlay:c x:i? y:i? mask:c? opacity:f? mode:s? greymask:b? output:s? "
                   "ignore_conditional:b? pc_range:b? use444:b? condvarsuffix:s?"),
         [](const Args &a, CallEnv &) {
           f::OverlayParams p;
           p.x = a.getInt(2, 0);
           p.y = a.getInt(3, 0);
           p.opacity = a.getFloat(5, 1.0);
           p.mode = a.getString(6, "Blend");
           ClipPtr out = f::MakeOverlay(a.clip(0), a.clip(1), a.clip(4), p);
           if (a.has(8)) {
             const PixelFormat target = ReadPixelType(a, a.getString(8, ""));
             if (target != out->info().format)
               out = f::MakeConvert(out, target, false, "Overlay");
           }
           return ClipValue(out);
         }});
}

// Filters that run a script for every frame. Their per-frame results are not
// computed here: each shows the clip it works on, with its geometry.
void AddRuntimeFilters(FunctionTable &t) {
  auto runtime = [&t](const char *name, const char *sig, size_t shown) {
    FunctionDef def{name, Signature(sig), [shown](const Args &a, CallEnv &) { return ClipValue(a.clip(shown)); }};
    def.approximated = true;
    t.add(std::move(def));
  };
  runtime("ScriptClip", "clip:c filter:s show:b? after_frame:b? local:b?", 0);
  runtime("FrameEvaluate", "clip:c filter:s show:b? after_frame:b? local:b?", 0);
  runtime("ConditionalReader", "clip:c filename:s variablename:s show:b? condvarsuffix:s? local:b?", 0);
  runtime("ConditionalFilter",
          "testclip:c source1:c source2:c expression1:s operator:s? expression2:s? show:b? local:b?", 1);
  // Writing values to a file leaves the picture as it is.
  for (const char *name : {"WriteFile", "WriteFileIf", "WriteFileStart", "WriteFileEnd"}) {
    FunctionDef def;
    def.name = name;
    def.anyArguments = true;
    def.body = FirstClipGoesOn;
    t.add(std::move(def));
  }
}

} // namespace

void AddEditingFunctions(FunctionTable &t) {
  AddFrameSelection(t);
  AddFades(t);
  AddLetterbox(t);
  AddSubtitle(t);
  AddOverlay(t);
  AddRuntimeFilters(t);
}

} // namespace reelwork::engine::script
