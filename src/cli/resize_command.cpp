// reelwork-cli resize: the resize dialogs' arithmetic without a window.
//
//   resize auto --source pal|ntsc --aspect 1.33|1.66|1.77|1.85|2.35|user
//               [--user-aspect I.F] [--crop L,T,R,B] [--width X]
//               [--frames N --rate R] [--resize-width TEXT] [--good-quality TEXT]
//   resize exact --proportion X:Y [--width X] [--frames N --rate R] [...]
//   resize manual [--tv PAL|NTSC] [--source-height H] [--aspect-code C]
//               [--crop L,T,R,B] --frames N --rate R [...]
//
// Prints "width=X height=Y ratio=R error=E" (manual: no error).

#include "cli/resize_command.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "common/number.h"
#include "resize/resize_math.h"

namespace reelwork {

namespace {

using namespace resize;

int ResizeUsage(const std::string &problem) {
  std::fprintf(stderr, "reelwork-cli resize: %s\n", problem.c_str());
  std::fprintf(stderr,
               "usage: reelwork-cli resize auto --source pal|ntsc --aspect 1.33|1.66|1.77|1.85|2.35|user\n"
               "                               [--user-aspect I.F] [--crop L,T,R,B] [--width X]\n"
               "                               [--frames N --rate R] [--resize-width TEXT] [--good-quality TEXT]\n"
               "       reelwork-cli resize exact --proportion X:Y [--width X] [--frames N --rate R]\n"
               "                               [--resize-width TEXT] [--good-quality TEXT]\n"
               "       reelwork-cli resize manual [--tv PAL|NTSC] [--source-height H] [--aspect-code C]\n"
               "                               [--crop L,T,R,B] --frames N --rate R\n"
               "                               [--resize-width TEXT] [--good-quality TEXT]\n");
  return 2;
}

bool ParseCrop(const std::string &text, CropAmounts &crop) {
  const QStringList parts = QString::fromStdString(text).split(',');
  if (parts.size() != 4)
    return false;
  int v[4];
  for (int i = 0; i < 4; ++i)
    if (!StrToIntStrict(parts[i].toStdString(), v[i]) || v[i] < 0)
      return false;
  crop = {v[0], v[1], v[2], v[3]};
  return true;
}

} // namespace

int RunResizeCommand(const std::vector<std::string> &args) {
  if (args.empty())
    return ResizeUsage("missing mode");
  const std::string mode = args[0];
  if (mode != "auto" && mode != "exact" && mode != "manual")
    return ResizeUsage("unknown mode '" + mode + "'");

  static const std::map<std::string, std::vector<std::string>> allowed = {
      {"auto",
       {"--source", "--aspect", "--user-aspect", "--crop", "--width", "--frames", "--rate", "--resize-width",
        "--good-quality"}},
      {"exact", {"--proportion", "--width", "--frames", "--rate", "--resize-width", "--good-quality"}},
      {"manual",
       {"--tv", "--source-height", "--aspect-code", "--crop", "--frames", "--rate", "--resize-width",
        "--good-quality"}},
  };
  std::map<std::string, std::string> options;
  for (size_t i = 1; i < args.size(); i += 2) {
    const auto &names = allowed.at(mode);
    if (std::find(names.begin(), names.end(), args[i]) == names.end())
      return ResizeUsage("unknown option '" + args[i] + "' for " + mode);
    if (i + 1 >= args.size())
      return ResizeUsage("option '" + args[i] + "' needs a value");
    options[args[i]] = args[i + 1];
  }
  auto option = [&](const std::string &name) -> std::optional<std::string> {
    auto it = options.find(name);
    if (it == options.end())
      return std::nullopt;
    return it->second;
  };

  const QString resizeWidth = QString::fromStdString(option("--resize-width").value_or("640"));
  const QString goodQuality = QString::fromStdString(option("--good-quality").value_or("0.225"));

  CropAmounts crop;
  if (auto text = option("--crop"); text && !ParseCrop(*text, crop))
    return ResizeUsage("--crop wants four amounts L,T,R,B");

  int frames = 0;
  float rate = 0;
  const bool haveFrames = option("--frames").has_value();
  const bool haveRate = option("--rate").has_value();
  if (haveFrames != haveRate)
    return ResizeUsage("--frames and --rate go together");
  if (haveFrames) {
    double r = 0;
    if (!StrToIntStrict(*option("--frames"), frames) || frames < 0)
      return ResizeUsage("--frames wants a whole number");
    if (!TextToFloat(QString::fromStdString(*option("--rate")), r) || !(r > 0))
      return ResizeUsage("--rate wants a positive number");
    rate = static_cast<float>(r);
  }

  IdealFn ideal;
  if (mode == "auto") {
    const auto source = option("--source");
    const auto aspectName = option("--aspect");
    if (!source || (*source != "pal" && *source != "ntsc"))
      return ResizeUsage("--source wants pal or ntsc");
    static const std::vector<std::string> aspects = {"1.33", "1.66", "1.77", "1.85", "2.35", "user"};
    const auto item = aspectName ? std::find(aspects.begin(), aspects.end(), *aspectName) : aspects.end();
    if (item == aspects.end())
      return ResizeUsage("--aspect wants 1.33, 1.66, 1.77, 1.85, 2.35 or user");
    const SourceSize size = SourceSizeOf(*source == "pal" ? 0 : 1);
    float aspect = AspectValueOf(static_cast<int>(item - aspects.begin()));
    if (aspect == 0.0f) {
      const QString text = QString::fromStdString(option("--user-aspect").value_or("1.85"));
      double value = 0;
      if (!TextToFloat(text, value)) {
        std::fprintf(stderr, "%s\n", NotFloatMessage(text).toUtf8().constData());
        return 1;
      }
      aspect = static_cast<float>(value);
    }
    ideal = [=](int x) { return SourceIdealHeight(x, size.width, size.height, aspect, crop); };
  } else if (mode == "exact") {
    const auto proportion = option("--proportion");
    if (!proportion)
      return ResizeUsage("--proportion X:Y is needed");
    const QStringList parts = QString::fromStdString(*proportion).split(':');
    if (parts.size() != 2)
      return ResizeUsage("--proportion wants X:Y");
    double xPart = 0, yPart = 0;
    for (int i : {1, 0}) {
      double &part = i == 0 ? xPart : yPart;
      if (!TextToFloat(parts[i], part)) {
        std::fprintf(stderr, "%s\n", NotFloatMessage(parts[i]).toUtf8().constData());
        return 1;
      }
    }
    ideal = [=](int x) { return ProportionIdealHeight(x, xPart, yPart); };
  } else {
    int sourceHeight = 0, aspectCode = 0;
    if (auto h = option("--source-height"); h && !StrToIntStrict(*h, sourceHeight))
      return ResizeUsage("--source-height wants a whole number");
    if (auto c = option("--aspect-code"); c && !StrToIntStrict(*c, aspectCode))
      return ResizeUsage("--aspect-code wants a whole number");
    if (!haveFrames)
      return ResizeUsage("manual needs --frames and --rate");
    const ManualSource source =
        ManualSourceOf(QString::fromStdString(option("--tv").value_or("")), sourceHeight, aspectCode);
    ideal = [=](int x) { return SourceIdealHeight(x, source.width, source.height, source.aspect, crop); };
  }

  // The dialog's fields start at 640 by 480; an undefined ideal height
  // leaves the height field as it is.
  int x = 640;
  int y = 480;
  if (auto width = option("--width")) {
    const QString text = QString::fromStdString(*width);
    if (!TextToInt(text, x)) {
      std::fprintf(stderr, "%s\n", NotIntegerMessage(text).toUtf8().constData());
      return 1;
    }
    if (auto h = CalcHeight(ideal, x))
      y = *h;
  } else {
    if (!haveFrames)
      return ResizeUsage("without --width, --frames and --rate are needed");
    const AutoSize size = ChooseAutoWidth(ideal, resizeWidth, goodQuality, frames, rate);
    x = size.width;
    if (size.height)
      y = *size.height;
  }

  const RatioDisplay shown = RatioFor(x, y, ideal(x));
  if (mode == "manual")
    std::printf("width=%d height=%d ratio=%s\n", x, y, shown.ratio.toUtf8().constData());
  else
    std::printf("width=%d height=%d ratio=%s error=%s\n", x, y, shown.ratio.toUtf8().constData(),
                shown.error.toUtf8().constData());
  std::fflush(stdout);
  return 0;
}

} // namespace reelwork
