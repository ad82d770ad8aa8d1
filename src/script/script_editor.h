#pragma once
// The script editor as the script operations see it: a list of lines with a
// caret. The window implements it over its text editor; tests and the
// command line over a plain list of lines.

#include <QString>
#include <QStringList>

namespace reelwork {

class ScriptEditor {
public:
  virtual ~ScriptEditor() = default;

  virtual QStringList lines() const = 0;
  virtual void setLines(const QStringList &lines) = 0;
  virtual int lineCount() const { return static_cast<int>(lines().size()); }
  virtual QString line(int index) const { return lines().value(index); }
  virtual void insertLine(int index, const QString &text) = 0;
  virtual void removeLine(int index) = 0;
  virtual void replaceLine(int index, const QString &text) = 0;

  // Gives the editor the focus, puts the caret at `column` of line `line` and
  // selects from there to the end of that line.
  virtual void selectFrom(int line, int column) = 0;
  // The line that holds the caret (the number of lines past the end).
  virtual int caretLine() const = 0;
};

// An editor over a plain list of lines.
class LineListEditor : public ScriptEditor {
public:
  explicit LineListEditor(QStringList lines = {}) : lines_(std::move(lines)) {}

  QStringList lines() const override { return lines_; }
  void setLines(const QStringList &lines) override { lines_ = lines; }
  int lineCount() const override { return static_cast<int>(lines_.size()); }
  QString line(int index) const override { return lines_.value(index); }
  void insertLine(int index, const QString &text) override { lines_.insert(index, text); }
  void removeLine(int index) override { lines_.removeAt(index); }
  void replaceLine(int index, const QString &text) override { lines_[index] = text; }
  void selectFrom(int line, int column) override {
    caretLine_ = line;
    selectedLine = line;
    selectedColumn = column;
  }
  int caretLine() const override { return caretLine_; }
  void setCaretLine(int line) { caretLine_ = line; }

  int selectedLine = -1; // the last selectFrom, for inspection
  int selectedColumn = -1;

private:
  QStringList lines_;
  int caretLine_ = 0;
};

} // namespace reelwork
