// Plugin functions that DVD scripts commonly use and the engine does not
// render itself: each entry gives the plugin's exact effect on size, frame
// count, rate and field order, as the plugin documents it, and shows the
// nearest filter the engine has. Every call is named to the user as
// approximated.

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>

#include "common/file_lookup.h"
#include "engine/script/evaluator.h"

#include "engine/filters/deinterlacers.h"
#include "engine/filters/filters.h"
#include "engine/script/function_support.h"

namespace reelwork::engine::script {

namespace f = reelwork::engine::filters;

namespace {

void Add(FunctionTable &t, const std::string &name, const std::string &sig, FunctionBody body) {
  FunctionDef def{name, Signature(sig), std::move(body)};
  def.approximated = true;
  t.add(std::move(def));
}

// ---- filters that keep size, count, rate and field order ------------------------
//
// They denoise, sharpen, deband, add grain or convert colour coefficients; the
// preview shows their input. Arguments are taken as given (plugin versions
// differ in them) and do not change the geometry.
struct KeepsGeometry {
  const char *name;
  const char *effect; // what the plugin does to the picture
};
const KeepsGeometry kKeepGeometry[] = {
    {"ColorMatrix", "converts between BT.601 and BT.709 colour coefficients"},
    {"RemoveGrain", "spatial denoiser / clean-up modes"},
    {"Repair", "limits a filtered clip by a reference clip"},
    {"Convolution3D", "spatio-temporal convolution denoiser"},
    {"FluxSmoothT", "temporal denoiser"},
    {"FluxSmoothST", "spatio-temporal denoiser"},
    {"FFT3DFilter", "frequency-domain denoiser and sharpener"},
    {"FFT3DGPU", "frequency-domain denoiser on the graphics card"},
    {"DeGrainMedian", "spatio-temporal median denoiser"},
    {"VagueDenoiser", "wavelet denoiser"},
    {"MCTemporalDenoise", "motion-compensated temporal denoiser"},
    {"GrainFactory3", "adds grain by brightness"},
    {"AddGrainC", "adds grain"},
    {"AddGrain", "adds grain"},
    {"GradFun2db", "debanding"},
    {"GradFun2DBmod", "debanding with grain"},
    {"GradFunkMirror", "debanding"},
    {"SeeSaw", "denoiser-sharpener pair"},
    {"aSharp", "adaptive sharpener"},
    {"MSharpen", "edge sharpener"},
    {"MipSmooth", "mip-map spatio-temporal smoother"},
    {"_2DCleanYUY2", "spatial smoother for YUY2"},
    {"Undot", "removes single-pixel noise"},
    {"Deen", "spatial and temporal denoisers"},
    {"TTempSmooth", "temporal smoother"},
    {"TTempSmoothF", "temporal smoother"},
    {"HQDN3D", "spatio-temporal denoiser"},
    {"PeachSmoother", "temporal noise smoother"},
    {"TemporalCleaner", "temporal denoiser"},
    {"Cnr2", "chroma noise reducer"},
    {"Deblock", "MPEG-2 deblocking"},
    {"Deblock_QED", "MPEG-2 deblocking"},
    {"BlindPP", "MPEG-2 deblocking and deringing"},
    {"LumaYV12", "luma gain and offset"},
    {"DeHalo_alpha", "halo remover"},
    {"FastLineDarken", "darkens lines"},
    {"Toon", "darkens lines"},
    {"ShowCombedTIVTC", "marks combed areas"},
    {"MergeHints", "copies field-matching hints from another clip"},
    {"RequestLinear", "asks its input for frames in order"},
    {"TMM", "motion mask for deinterlacers"},
};

void AddKeepsGeometry(FunctionTable &t) {
  for (const KeepsGeometry &k : kKeepGeometry) {
    FunctionDef def;
    def.name = k.name;
    def.anyArguments = true;
    def.approximated = true;
    def.body = FirstClipGoesOn;
    t.add(std::move(def));
  }
}

// ---- deinterlacing ------------------------------------------------------------

// Field order for a deinterlacer's `order` argument: 1 top first, 0 bottom
// first, -1 as the clip says.
ClipPtr WithOrder(const Args &a, ClipPtr c, int order) {
  if (order < -1 || order > 1)
    FailCall(a, "order must be -1, 0 or 1 (it is " + std::to_string(order) + ")");
  if (order >= 0)
    c = f::MakeAssumeParity(c, order ? FieldParity::Top : FieldParity::Bottom);
  return c;
}

// Each frame at twice its height (count and rate stay).
Value DoubleHeight(const Args &a, const ClipPtr &c) {
  f::ResizeParams p;
  p.width = c->info().width;
  p.height = c->info().height * 2;
  return ClipValue(f::MakeResize(c, f::ResizeKernel::Spline36, p, a.function()));
}

// A deinterlacer's result through the engine's motion-adaptive one: each
// field a frame (double rate, starting with `field`), or one frame per frame
// keeping `field`; 1 top, 0 bottom, -1 the first in time. The clip keeps its
// field order.
ClipPtr Deinterlaced(const Args &a, ClipPtr c, bool doubleRate, int field) {
  if (c->info().fieldBased)
    FailCall(a, "the clip is field-based (weave its fields first)");
  const FieldParity parity = c->info().parity;
  ClipPtr out = f::MakeSmoothDeinterlace(c, field, doubleRate, 20);
  return f::MakeAssumeParity(out, parity);
}

// Field-interpolating filters (nnedi3, eedi3): field -2 double rate from the
// clip's order, -1 same rate keeping the first field, 0/1 same rate keeping
// the bottom/top field, 2/3 double rate starting with the bottom/top field;
// dh doubles the height of each frame instead (count and rate stay).
Value Interpolated(const Args &a, int field, bool dh) {
  ClipPtr c = a.clip(0);
  if (field < -2 || field > 3)
    FailCall(a, "field must lie between -2 and 3 (it is " + std::to_string(field) + ")");
  if (dh) {
    if (field > 1 || field < -1)
      FailCall(a, "with dh=true, field must be -1, 0 or 1");
    return DoubleHeight(a, c);
  }
  const bool doubleRate = field == -2 || field >= 2;
  const int which = field < 0 ? -1 : (field & 1);
  return ClipValue(Deinterlaced(a, c, doubleRate, which));
}

void AddDeinterlacers(FunctionTable &t) {
  // Yadif: mode 0 and 2 one frame per frame, 1 and 3 one frame per field.
  Add(t, "Yadif", "clip:c mode:i? order:i? planes:a? opt:a? threads:a?", [](const Args &a, CallEnv &) {
    const int mode = a.getInt(1, 0);
    if (mode < 0 || mode > 3)
      FailCall(a, "mode must lie between 0 and 3 (it is " + std::to_string(mode) + ")");
    ClipPtr c = WithOrder(a, a.clip(0), a.getInt(2, -1));
    return ClipValue(Deinterlaced(a, c, mode & 1, -1));
  });
  // yadifmod2: as Yadif; field picks the field kept (-1 the first in time).
  Add(t, "yadifmod2", "clip:c order:i? field:i? mode:i? edeint:c? opt:a? threads:a?", [](const Args &a, CallEnv &) {
    const int mode = a.getInt(3, 0), field = a.getInt(2, -1);
    if (mode < 0 || mode > 3)
      FailCall(a, "mode must lie between 0 and 3 (it is " + std::to_string(mode) + ")");
    if (field < -1 || field > 1)
      FailCall(a, "field must be -1, 0 or 1 (it is " + std::to_string(field) + ")");
    ClipPtr c = WithOrder(a, a.clip(0), a.getInt(1, -1));
    return ClipValue(Deinterlaced(a, c, mode & 1, field));
  });
  // QTGMC: one frame per field; FPSDivisor=2 keeps one of every two (the
  // frame rate of the input). InputType 1-3 is progressive input: one frame
  // per frame. TFF overrides the clip's field order.
  Add(t, "QTGMC",
      "clip:c Preset:s? TR0:a? TR1:a? TR2:a? Rep0:a? Rep1:a? Rep2:a? EdiMode:a? RepChroma:a? NNSize:a? NNeurons:a? "
      "EdiQual:a? EdiMaxD:a? ChromaEdi:a? EdiThreads:a? EdiExt:a? Sharpness:a? SMode:a? SLMode:a? SLRad:a? SOvs:a? "
      "SVThin:a? Sbb:a? SrchClipPP:a? SubPel:a? SubPelInterp:a? BlockSize:a? Overlap:a? Search:a? SearchParam:a? "
      "PelSearch:a? ChromaMotion:a? TrueMotion:a? Lambda:a? LSAD:a? PNew:a? PLevel:a? GlobalMotion:a? DCT:a? "
      "ThSAD1:a? ThSAD2:a? ThSCD1:a? ThSCD2:a? SourceMatch:a? MatchPreset:a? MatchEdi:a? MatchPreset2:a? "
      "MatchEdi2:a? MatchTR2:a? MatchEnhance:a? Lossless:a? NoiseProcess:a? EZDenoise:a? EZKeepGrain:a? "
      "NoisePreset:a? Denoiser:a? FftThreads:a? DenoiseMC:a? NoiseTR:a? Sigma:a? ChromaNoise:a? ShowNoise:a? "
      "GrainRestore:a? NoiseRestore:a? NoiseDeint:a? StabilizeNoise:a? InputType:i? ProgSADMask:a? FPSDivisor:i? "
      "ShutterBlur:a? ShutterAngleSrc:a? ShutterAngleOut:a? SBlurLimit:a? Border:a? Precise:a? Tuning:a? "
      "ShowSettings:a? GlobalNames:a? PrevGlobals:a? ForceTR:a? Str:a? Amp:a? FastMA:a? ESearchP:a? "
      "RefineMotion:a? TFF:b? UseEdiExt:a? EdiExtra:a? opencl:a? device:a?",
      [](const Args &a, CallEnv &) {
        ClipPtr c = a.clip(0);
        const int divisor = a.getInt(a.index("FPSDivisor"), 1);
        const int inputType = a.getInt(a.index("InputType"), 0);
        if (divisor < 1)
          FailCall(a, "FPSDivisor must be 1 or more (it is " + std::to_string(divisor) + ")");
        if (inputType < 0 || inputType > 3)
          FailCall(a, "InputType must lie between 0 and 3 (it is " + std::to_string(inputType) + ")");
        if (a.has(a.index("TFF")))
          c = f::MakeAssumeParity(c, a.getBool(a.index("TFF"), true) ? FieldParity::Top : FieldParity::Bottom);
        if (inputType > 0)
          return ClipValue(c);
        ClipPtr out = Deinterlaced(a, c, true, -1);
        if (divisor > 1)
          out = f::MakeSelectEvery(out, divisor, 0, "QTGMC");
        return ClipValue(out);
      });
  Add(t, "nnedi3",
      "clip:c field:i? dh:b? Y:a? U:a? V:a? nsize:a? nns:a? qual:a? etype:a? pscrn:a? threads:a? opt:a? fapprox:a? "
      "A:a? prefetch:a? range:a? thread_prefetch:a?",
      [](const Args &a, CallEnv &) { return Interpolated(a, a.getInt(1, -1), a.getBool(2, false)); });
  Add(t, "eedi3",
      "clip:c field:i? dh:b? Y:a? U:a? V:a? alpha:a? beta:a? gamma:a? nrad:a? mdis:a? hp:a? ho:a? vcheck:a? "
      "vthresh0:a? vthresh1:a? vthresh2:a? sclip:a? threads:a? mclip:a? opt:a? A:a?",
      [](const Args &a, CallEnv &) { return Interpolated(a, a.getInt(1, -1), a.getBool(2, false)); });
  // nnedi3_rpow2: width and height times rfactor (a power of two), or
  // fwidth x fheight when a final resize is asked for with cshift.
  Add(t, "nnedi3_rpow2",
      "clip:c rfactor:i nsize:a? nns:a? qual:a? etype:a? pscrn:a? cshift:s? fwidth:i? fheight:i? ep0:a? ep1:a? "
      "threads:a? opt:a? fapprox:a? csresize:a? mpeg2:a? A:a? prefetch:a? range:a? thread_prefetch:a?",
      [](const Args &a, CallEnv &) {
        ClipPtr c = a.clip(0);
        const int r = a.getInt(1, 2);
        if (r < 2 || r > 1024 || (r & (r - 1)))
          FailCall(a, "rfactor must be a power of 2 from 2 to 1024 (it is " + std::to_string(r) + ")");
        f::ResizeParams p;
        const long long w = static_cast<long long>(c->info().width) * r, h = static_cast<long long>(c->info().height) * r;
        if (w > std::numeric_limits<int>::max() || h > std::numeric_limits<int>::max())
          FailCall(a, "the picture would be too large");
        p.width = static_cast<int>(w);
        p.height = static_cast<int>(h);
        if (a.has(7)) {
          p.width = a.getInt(8, p.width);
          p.height = a.getInt(9, p.height);
        }
        return ClipValue(f::MakeResize(c, f::ResizeKernel::Spline36, p, a.function()));
      });
  // TDeint: mode 0 (and 2) one frame per frame, 1 one frame per field,
  // -1 and -2 double the height of each frame.
  Add(t, "TDeint",
      "clip:c mode:i? order:i? field:i? mthreshL:a? mthreshC:a? map:a? ovr:a? ovrDefault:a? type:a? debug:a? "
      "mtnmode:a? sharp:a? hints:a? clip2:a? full:a? cthresh:a? chroma:a? MI:a? tryWeave:a? link:a? denoise:a? "
      "AP:a? blockx:a? blocky:a? APType:a? edeint:a? emask:a? blim:a? metric:a? expand:a? slow:a? emtn:a? "
      "tshints:a? opt:a?",
      [](const Args &a, CallEnv &) {
        const int mode = a.getInt(1, 0), field = a.getInt(3, -1);
        if (mode < -2 || mode > 2)
          FailCall(a, "mode must lie between -2 and 2 (it is " + std::to_string(mode) + ")");
        if (field < -1 || field > 1)
          FailCall(a, "field must be -1, 0 or 1 (it is " + std::to_string(field) + ")");
        ClipPtr c = WithOrder(a, a.clip(0), a.getInt(2, -1));
        if (mode < 0)
          return DoubleHeight(a, c);
        return ClipValue(Deinterlaced(a, c, mode == 1, field));
      });
  const char *kernelSig = "clip:c order:i threshold:a? sharp:a? twoway:a? map:a? linked:a? debug:a?";
  Add(t, "KernelDeint", kernelSig, [](const Args &a, CallEnv &) {
    return ClipValue(Deinterlaced(a, WithOrder(a, a.clip(0), a.getInt(1, -1)), false, -1));
  });
  Add(t, "LeakKernelDeint", kernelSig, [](const Args &a, CallEnv &) {
    return ClipValue(Deinterlaced(a, WithOrder(a, a.clip(0), a.getInt(1, -1)), false, -1));
  });
  Add(t, "KernelBob", kernelSig, [](const Args &a, CallEnv &) {
    return ClipValue(Deinterlaced(a, WithOrder(a, a.clip(0), a.getInt(1, -1)), true, -1));
  });
  Add(t, "LeakKernelBob", kernelSig, [](const Args &a, CallEnv &) {
    return ClipValue(Deinterlaced(a, WithOrder(a, a.clip(0), a.getInt(1, -1)), true, -1));
  });
}

// ---- field matching and decimation (TIVTC) --------------------------------

// A frame rate given as a float: NTSC rates (23.976, 29.97, 59.94...) as
// their exact n*1000/1001, any other as the fraction it stands for.
void RateOf(double fps, int &num, int &den) {
  const double ntsc = fps * 1.001;
  if (std::fabs(ntsc - std::round(ntsc)) < 0.01 && std::fabs(fps - std::round(fps)) > 0.01) {
    num = static_cast<int>(std::round(ntsc)) * 1000;
    den = 1001;
    return;
  }
  ReadFloatRate(fps, num, den);
}

// Names the call as not previewed: the engine cannot tell its frame count
// or rate, and shows its input.
void NotPreviewed(CallEnv &env) {
  if (env.ctx.notes)
    env.ctx.notes->notPreviewed.push_back("");
}

// A clip whose frame n is frame map[n] of another.
class FrameMap : public Clip {
public:
  FrameMap(ClipPtr child, std::vector<int> map) : child_(std::move(child)), map_(std::move(map)) {
    vi_ = child_->info();
    vi_.frameCount = static_cast<int>(map_.size());
  }
  const ClipInfo &info() const override { return vi_; }
  FramePtr frame(int n) override {
    return child_->frame(map_[static_cast<size_t>(std::clamp(n, 0, vi_.frameCount - 1))]);
  }

private:
  ClipPtr child_;
  std::vector<int> map_;
  ClipInfo vi_;
};

// TDecimate mode 6 from its metrics file ("frame metric scenemetric" lines,
// '#' and ';' comments, a "crc32 = ..." line): a frame whose metric is 0 is
// identical to the one before. A run of n identical frames gives 1 frame for
// n up to 3, n/4 for multiples of 4, n/5 for multiples of 5, else a frame
// per 5 and one for the rest; each output frame is the first of its share.
// A metrics file that is not here (a Windows path) leaves the input shown
// and named as not previewed.
ClipPtr Mode6(const Args &a, CallEnv &env, const ClipPtr &c) {
  const std::string written = a.getString(a.index("input"), "");
  const std::filesystem::path folder = env.ctx.folder.empty() ? "." : env.ctx.folder;
  const std::optional<std::filesystem::path> path = FindNamedFile(folder, written);
  if (!path) {
    NotPreviewed(env);
    return c;
  }
  std::ifstream in(*path);
  if (!in)
    FailCall(a, "input error (cannot open the input file " + written + ")");
  const int frames = c->info().frameCount;
  std::vector<signed char> identical(static_cast<size_t>(frames), -1);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '\r' || line.rfind("crc32", 0) == 0)
      continue;
    std::istringstream fields(line);
    long long n = -1;
    unsigned long long metric = 0;
    if (!(fields >> n >> metric))
      continue;
    if (n < 0 || n >= frames)
      FailCall(a, "input error (out of range frame # " + std::to_string(n) + ")");
    identical[static_cast<size_t>(n)] = metric == 0 ? 1 : 0;
  }
  // batch=true takes frames without an entry as identical to the one before.
  const bool batch = a.getBool(a.index("batch"), false);
  for (int n = 0; n < frames; ++n)
    if (identical[static_cast<size_t>(n)] < 0) {
      if (!batch)
        FailCall(a, "input error (mode 6: every frame must have an entry; frame " + std::to_string(n) +
                        " has none)");
      identical[static_cast<size_t>(n)] = 1;
    }
  std::vector<int> map;
  for (int j = 0; j < frames;) {
    const int start = j;
    ++j;
    while (j < frames && identical[static_cast<size_t>(j)] == 1)
      ++j;
    int at = start, left = j - start;
    while (left > 0) {
      const int share = left <= 3 ? left : left % 4 == 0 ? 4 : left % 5 == 0 ? 5 : 0;
      if (share == 0) { // more than 5 and neither: one frame for the first 5
        map.push_back(at);
        at += 5;
        left -= 5;
        continue;
      }
      for (int k = 0; k < left; k += share)
        map.push_back(at + k);
      left = 0;
    }
  }
  return std::make_shared<FrameMap>(c, std::move(map));
}

void AddFieldMatching(FunctionTable &t) {
  // TFM: one frame per frame, each woven from the best matching fields; PP
  // >= 2 deinterlaces frames that still comb. Shown through the engine's own
  // field matcher.
  Add(t, "TFM",
      "clip:c order:i? field:i? mode:i? PP:i? ovr:a? input:a? output:a? outputC:a? debug:a? display:a? slow:a? "
      "mChroma:a? cNum:a? cthresh:a? MI:a? chroma:a? blockx:a? blocky:a? y0:a? y1:a? d2v:a? ovrDefault:a? "
      "flags:a? scthresh:a? micout:a? micmatching:a? trimIn:a? hint:a? metric:a? batch:a? ubsco:a? mmsco:a? "
      "clip2:a? opt:a? dclip:a?",
      [](const Args &a, CallEnv &) {
        f::TelecideParams p;
        p.order = a.getInt(1, -1);
        if (p.order < -1 || p.order > 1)
          FailCall(a, "order must be -1, 0 or 1 (it is " + std::to_string(p.order) + ")");
        const int pp = a.getInt(4, 6);
        if (pp < 0 || pp > 7)
          FailCall(a, "PP must lie between 0 and 7 (it is " + std::to_string(pp) + ")");
        p.post = pp >= 2 ? 2 : pp;
        return ClipValue(f::MakeTelecide(a.clip(0), p));
      });
  // TDecimate:
  //   mode 0, 1   cycleR of every cycle frames removed: count and rate times
  //               (cycle - cycleR) / cycle (hybrid 0 and 1); hybrid 3 blends
  //               film into video and keeps count and rate.
  //   mode 2, 7   any output rate (`rate`, default 23.976): frames picked
  //               to cover the same running time.
  //   mode 3      one-pass variable rate (hybrid=2, mkvOut): the count and
  //               rate stay, film sections end in padding frames.
  //   mode 4      the metrics pass: the input unchanged.
  //   mode 5      two-pass variable rate (hybrid=2, mkvOut): film cycles lose
  //               a frame, the rate follows the count. Without metrics and
  //               matches files every frame counts as new and every match as
  //               'c': nothing is removed. With them, the count is TDecimate's
  //               own decision: the input is shown, named as not previewed.
  //   mode 6      120 fps to variable rate (hybrid=2, mkvOut, the metrics of
  //               a mode 4 pass): each run of identical frames becomes one
  //               frame (runs of 4k or 5k: k frames); the rate stays.
  // Modes 0-2 and 7 are shown through the engine's decimator (the most
  // similar frames go).
  Add(t, "TDecimate",
      "clip:c mode:i? cycleR:i? cycle:i? rate:f? dupThresh:a? vidThresh:a? sceneThresh:a? hybrid:i? vidDetect:i? "
      "conCycle:a? conCycleTP:a? ovr:s? output:s? input:s? tfmIn:s? mkvOut:s? nt:a? blockx:a? blocky:a? debug:a? "
      "display:a? vfrDec:a? batch:b? tcfv1:a? se:a? chroma:a? exPP:a? maxndl:a? m2PA:a? denoise:a? noblend:a? "
      "ssd:a? hint:a? clip2:a? sdlim:a? opt:a? dclip:a? sceneDec:a? lowDec:a?",
      [](const Args &a, CallEnv &env) {
        ClipPtr c = a.clip(0);
        const int mode = a.getInt(1, 0), cycleR = a.getInt(2, 1), cycle = a.getInt(3, 5), hybrid = a.getInt(8, 0);
        if (mode < 0 || mode > 7)
          FailCall(a, "mode must lie between 0 and 7 (it is " + std::to_string(mode) + ")");
        if (hybrid < 0 || hybrid > 3)
          FailCall(a, "hybrid must lie between 0 and 3 (it is " + std::to_string(hybrid) + ")");
        const bool vfr = mode == 3 || mode == 5 || mode == 6;
        const std::string modeName = "mode " + std::to_string(mode);
        if (vfr && !a.has(a.index("mkvOut")))
          FailCall(a, "an mkvOut file (the timecodes) must be given in " + modeName);
        if (vfr && hybrid != 2)
          FailCall(a, modeName + " can only be used with hybrid=2");
        if ((hybrid == 1 || hybrid == 3) && mode > 1)
          FailCall(a, "hybrid=" + std::to_string(hybrid) + " can only be used with modes 0 and 1");
        if (hybrid > 0 && cycleR > 1)
          FailCall(a, "hybrid processing is limited to cycleR=1");
        if (mode < 2 && hybrid == 2)
          FailCall(a, "hybrid=2 (variable rate) is for modes 3, 5 and 6; modes 0 and 1 take hybrid 0, 1 or 3");
        if (cycle < 2 || cycle > c->info().frameCount)
          FailCall(a, "cycle must lie between 2 and the clip's frame count (it is " + std::to_string(cycle) + ")");
        if (cycleR < 1 || cycleR >= cycle)
          FailCall(a, "cycleR must lie between 1 and cycle - 1 (it is " + std::to_string(cycleR) + ")");
        if ((mode == 5 || mode == 6) && a.has(a.index("output")))
          FailCall(a, "output is not for " + modeName + " (it reads the metrics of an earlier pass)");
        if (mode == 6 && !a.has(a.index("input")))
          FailCall(a, "mode 6 needs an input file: the metrics of a mode 4 pass");
        switch (mode) {
        case 0:
        case 1:
          if (hybrid == 3)
            return ClipValue(c);
          return ClipValue(f::MakeDecimateCycle(c, cycle, cycleR, "TDecimate"));
        case 2:
        case 7: {
          const double rate = a.getFloat(4, 23.976);
          const ClipInfo &vi = c->info();
          if (!(rate > 0) || rate * vi.rateDen >= vi.rateNum)
            FailCall(a, "rate must be above 0 and below the input's rate");
          int num = 0, den = 1;
          RateOf(rate, num, den);
          return ClipValue(f::MakeChangeFps(c, num, den));
        }
        case 5:
          if (a.has(a.index("input")) || a.has(a.index("tfmIn")) || a.has(a.index("ovr")) ||
              a.getInt(a.index("vidDetect"), 3) != 3)
            NotPreviewed(env);
          return ClipValue(c);
        case 6:
          return ClipValue(Mode6(a, env, c));
        default: // 3, 4
          return ClipValue(c);
        }
      });
}

// ---- sharpeners that resize --------------------------------------------------

// The result is dest_x x dest_y (default the input's size).
Value Resized(const Args &a, size_t destX, size_t destY) {
  ClipPtr c = a.clip(0);
  f::ResizeParams p;
  p.width = a.getInt(destX, c->info().width);
  p.height = a.getInt(destY, c->info().height);
  if (p.width == c->info().width && p.height == c->info().height)
    return ClipValue(c);
  return ClipValue(f::MakeResize(c, f::ResizeKernel::Spline36, p, a.function()));
}

void AddSharpeners(FunctionTable &t) {
  Add(t, "LimitedSharpenFaster",
      "clip:c ss_x:a? ss_y:a? dest_x:i? dest_y:i? Smode:a? strength:a? radius:a? Lmode:a? wide:a? overshoot:a? "
      "undershoot:a? soft:a? edgemode:a? special:a? exborder:a?",
      [](const Args &a, CallEnv &) { return Resized(a, 3, 4); });
  Add(t, "LSFMod",
      "clip:c strength:a? Smode:a? Smethod:a? kernel:a? preblur:a? secure:a? source:a? Szrp:a? Spwr:a? SdmpLo:a? "
      "SdmpHi:a? Lmode:a? overshoot:a? undershoot:a? overshoot2:a? undershoot2:a? soft:a? soothe:a? keep:a? "
      "edgemode:a? edgemaskHQ:a? ss_x:a? ss_y:a? dest_x:i? dest_y:i? show:a? screenW:a? screenH:a? screenX:a? "
      "screenY:a? defaults:a? Y:a? U:a? V:a?",
      [](const Args &a, CallEnv &) { return Resized(a, a.index("dest_x"), a.index("dest_y")); });
}

} // namespace

void AddPluginFunctions(FunctionTable &t) {
  AddKeepsGeometry(t);
  AddDeinterlacers(t);
  AddFieldMatching(t);
  AddSharpeners(t);
}

} // namespace reelwork::engine::script
