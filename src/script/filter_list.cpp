#include "script/filter_list.h"

#include "script/source_opening.h"

namespace reelwork {

QStringList SplitFilterList(const QString &setting) {
  QStringList items = setting.split(';');
  if (!items.isEmpty() && items.last().isEmpty())
    items.removeLast();
  return items;
}

QVector<bool> FilterChecks(const QStringList &items, const QStringList &scriptLines) {
  QVector<bool> checks(items.size(), false);
  for (const QString &line : scriptLines) {
    const QString upper = line.toUpper();
    for (qsizetype i = 0; i < items.size(); ++i) {
      const qsizetype paren = items[i].indexOf('(');
      if (paren >= 0 && upper.contains(items[i].left(paren).toUpper()))
        checks[i] = true;
    }
  }
  return checks;
}

bool ReadFirstNumber(const QString &line, int &value) {
  const qsizetype paren = line.indexOf('(');
  if (paren < 0)
    return false;
  value = ReadLeadingNumber(line.mid(paren + 1));
  return true;
}

int FilterList::After(const QStringList &commands) const {
  for (const QString &command : commands) {
    const int index = script_.FindCommandLine(command);
    if (index >= 0)
      return index + 1;
  }
  return -1;
}

int FilterList::LowestOf(const QStringList &commands) const {
  int lowest = -1;
  for (const QString &command : commands)
    lowest = std::max(lowest, script_.FindCommandLine(command));
  return lowest;
}

void FilterList::InsertCropLine(const QString &line) {
  if (script_.FindCommandLine("crop(") >= 0)
    return;
  editor_.insertLine(LowestOf({"mpeg2source(", "Telecide(", "Decimate(", "TomsMoComp(", "Bob(", "Repal("}) + 1, line);
}

void FilterList::InsertResizeLine(const QString &line) {
  if (script_.FindCommandLine("BicubicResize(") >= 0)
    return;
  editor_.insertLine(LowestOf({"mpeg2source(", "Telecide(", "Decimate(", "TomsMoComp(", "Bob(", "Repal(", "Crop(",
                               "MipSmooth(", "_2dcleanYUY2("}) +
                         1,
                     line);
}

void FilterList::Click(const QString &item) { script_.FindCommandLine(item, true); }

void FilterList::ClampCurrentFrame(int n) {
  if (n == 0)
    n = 1;
  if (n > state_.FrameCount)
    n = state_.FrameCount - 1;
  state_.CurrentFrame = n;
}

bool FilterList::ClickCheck(const QString &item, bool checked, QChar fieldOrder) {
  if (!script_.CheckScriptOpen())
    return false;
  QString command = item.toUpper();
  if (const qsizetype paren = command.indexOf('('); paren >= 0)
    command.truncate(paren + 1);
  // An empty item names no command; it would match every line.
  if (command.isEmpty())
    return false;
  const QString o(fieldOrder);
  bool markAfter = checked;

  if (!checked) {
    const int p = script_.FindCommandLine(command);
    if (p < 0)
      return false;
    int n = state_.CurrentFrame;
    if (command == "DECIMATE(") {
      // Removing decimation brings the dropped frames back: keep the picture.
      int k = 0;
      if (ReadFirstNumber(editor_.line(p), k) && k > 2)
        n = static_cast<int>(static_cast<long long>(state_.CurrentFrame) * k / (k - 1));
    }
    editor_.removeLine(p);
    const auto dropConversionAbove = [&](const char *conversion) {
      if (script_.FindCommandLine(conversion) == p - 1 && p > 0)
        editor_.removeLine(p - 1);
    };
    if (command == "_2DCLEANYUY2(")
      dropConversionAbove("ConvertToYUY2(");
    else if (command == "RGBADJUST(")
      dropConversionAbove("ConvertToRGB(");
    ClampCurrentFrame(n);
  } else {
    if (script_.FindCommandLine(command, true) >= 0)
      return true; // the line exists: it is only selected
    const auto insertAt = [&](int index, const QString &line) {
      editor_.insertLine(index < 0 ? editor_.lineCount() : index, line);
    };
    if (command == "MPEG2SOURCE(") {
      insertAt(0, Mpeg2SourceLine(state_.ProjectName, state_.settings[Setting::Mpeg2Source]));
    } else if (command == "TELECIDE(") {
      insertAt(std::max(0, After({"mpeg2source("})), "Telecide(order=" + o + ",post=0)");
    } else if (command == "DECIMATE(") {
      const int t = script_.FindCommandLine("Telecide(");
      if (t >= 0) {
        ClampCurrentFrame(state_.CurrentFrame - state_.CurrentFrame / 5);
        insertAt(t + 1, "Decimate(5)");
      } else {
        markAfter = false;
      }
    } else if (command == "TOMSMOCOMP(") {
      insertAt(After({"Telecide(", "mpeg2source("}), "TomsMoComp(" + o + ",5,1)");
    } else if (command == "BOB(") {
      insertAt(After({"Telecide(", "mpeg2source("}), "Bob()");
    } else if (command == "REPAL(") {
      insertAt(After({"Bob("}), "Repal()");
    } else if (command == "CROP(") {
      InsertCropLine("Crop(0,0,-0,-0)");
    } else if (command == "MIPSMOOTH(") {
      insertAt(After({"Crop("}), "MipSmooth(preset = \"movieHQ\")");
    } else if (command == "_2DCLEANYUY2(") {
      const int at = After({"ConvertToYUY2(", "Crop("});
      const bool convert = script_.FindCommandLine("ConvertToYUY2(") < 0;
      const int index = at < 0 ? editor_.lineCount() : at;
      editor_.insertLine(index, "_2dcleanYUY2(0,15,3,3)");
      if (convert)
        editor_.insertLine(index, "ConvertToYUY2()");
    } else if (command == "BICUBICRESIZE(") {
      InsertResizeLine(state_.AspectCode == 3 ? "BicubicResize(640,352)" : "BicubicResize(576,432)");
    } else if (command == "SHARPEN(") {
      const QString amount = state_.settings[Setting::Sharpen];
      insertAt(-1, "Sharpen(" + (amount.isEmpty() ? QString("0.25") : amount) + ")");
    } else if (command == "CONVERTTORGB(" || command == "CONVERTTOYUY2(") {
      const int caret = script_.CaretLineIndex();
      insertAt(caret >= 2 ? caret : -1, command == "CONVERTTORGB(" ? "ConvertToRGB()" : "ConvertToYUY2()");
    } else if (command == "RGBADJUST(") {
      if (script_.FindCommandLine("ConvertToRGB(") < 0)
        insertAt(-1, "ConvertToRGB()");
      insertAt(-1, "RGBAdjust(1.0,1.0,1.0,0)");
    } else if (command == "COLORYUV(") {
      insertAt(-1, "ColorYUV(cont_y=0, cont_u=0, cont_v=0)");
    } else if (command == "TWEAK(") {
      insertAt(-1, "Tweak(0,1.0,0,1.0)");
    } else {
      insertAt(-1, item);
    }
  }
  script_.SaveAndReload();
  return markAfter;
}

} // namespace reelwork
