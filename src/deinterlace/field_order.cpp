#include "deinterlace/field_order.h"

#include <QFile>

#include "app/language.h"

namespace reelwork {

namespace {

const QString kRule = "# " + QString(57, '-');

// Starts, ends or switches to the test of one field order.
void RunFieldTest(Workbench &bench, FieldOrderView &view, bool topFirst) {
  QString mine = topFirst ? view.TffCaption() : view.BffCaption();
  QString other = topFirst ? view.BffCaption() : view.TffCaption();
  const auto show = [&] {
    if (topFirst)
      view.SetTestCaptions(mine, other);
    else
      view.SetTestCaptions(other, mine);
  };
  const bool testRunning = mine.endsWith('?') || other.endsWith('?');
  // A running test can always be ended, even when its script could not be
  // opened as video: the user's script is waiting in the backup.
  if (!testRunning && !bench.script.CheckScriptOpen())
    return;
  if (!testRunning)
    bench.script.BackupScript();
  if (other.endsWith('?'))
    other.chop(1); // the other test is abandoned; its file stays
  const QString fileName = topFirst ? "TFF.avs" : "BFF.avs";

  if (mine.endsWith('?')) {
    mine.chop(1);
    show();
    bench.script.RestoreScript();
    bench.script.SaveAndReload();
    // A user's script that itself carries the test file's name has just been
    // written back there: it is not deleted.
    if (bench.state.ScriptName != fileName)
      QFile::remove(bench.state.WorkDir + fileName);
    return;
  }

  mine += '?';
  show();
  bench.editor.setLines(FieldTestScript(bench.state.ProjectName, bench.state.settings[Setting::Mpeg2Source],
                                        topFirst, bench.state.Language));
  bench.state.ScriptName = fileName;
  if (!bench.script.SaveAndReload()) {
    // The test file could not be written (the reason has been shown): no test
    // runs, and the editor holds the user's script again.
    mine.chop(1);
    show();
    bench.script.RestoreScript();
  }
}

} // namespace

QChar FieldOrderChar(const FieldOrderView &view) { return view.Field0Checked() ? QChar('0') : QChar('1'); }

QString FullMpeg2SourceLine(const QString &projectName, const QString &parameters) {
  QString line = "mpeg2source(\"" + projectName + "\"";
  if (!parameters.isEmpty())
    line += "," + parameters;
  return line + ")";
}

QStringList FieldTestScript(const QString &projectName, const QString &parameters, bool topFirst, int language) {
  return {FullMpeg2SourceLine(projectName, parameters),
          topFirst ? "AssumeTFF().SeparateFields()" : "AssumeBFF().SeparateFields()",
          kRule,
          MessageText(MsgNoBackMoves, language),
          MessageText(MsgThenFieldOrder, language) + (topFirst ? "1" : "0"),
          kRule};
}

void BitBtn10Click(Workbench &bench, FieldOrderView &view) { RunFieldTest(bench, view, true); }
void BitBtn11Click(Workbench &bench, FieldOrderView &view) { RunFieldTest(bench, view, false); }

QString RewriteFieldOrder(const QString &line, QChar order) {
  QString out = line;
  if (out.startsWith("TELECIDE", Qt::CaseInsensitive)) {
    const qsizetype at = out.indexOf("ORDER=", 0, Qt::CaseInsensitive);
    if (at >= 0 && at + 6 < out.size() && (out[at + 6] == '0' || out[at + 6] == '1'))
      out[at + 6] = order;
  }
  if (out.startsWith("TOMSMOCOMP", Qt::CaseInsensitive)) {
    const qsizetype at = out.indexOf('(');
    if (at >= 0 && at + 1 < out.size()) {
      const QChar c = out[at + 1].toUpper();
      if (c == '0' || c == '1' || c == 'X')
        out[at + 1] = order;
    }
  }
  return out;
}

void Field0Click(Workbench &bench, const FieldOrderView &view) {
  const QChar order = FieldOrderChar(view);
  for (int i = 0; i < bench.editor.lineCount(); ++i) {
    const QString line = bench.editor.line(i);
    const QString rewritten = RewriteFieldOrder(line, order);
    if (rewritten != line)
      bench.editor.replaceLine(i, rewritten);
  }
  if (bench.script.CheckScriptOpen())
    bench.script.SaveAndReload();
}

} // namespace reelwork
