#pragma once
// The script editor over the window's plain-text editor.

#include <QPlainTextEdit>

#include "script/script_editor.h"

namespace reelwork {

class MemoEditor : public ScriptEditor {
public:
  explicit MemoEditor(QPlainTextEdit *memo) : memo_(memo) {}

  QStringList lines() const override;
  void setLines(const QStringList &lines) override;
  int lineCount() const override;
  QString line(int index) const override;
  void insertLine(int index, const QString &text) override;
  void removeLine(int index) override;
  void replaceLine(int index, const QString &text) override;
  void selectFrom(int line, int column) override;
  int caretLine() const override;

private:
  QPlainTextEdit *memo_;
};

} // namespace reelwork
