#include "script/memo_editor.h"

#include <QTextBlock>
#include <QTextCursor>

namespace reelwork {

// The editor's document ends without a line break; an empty document has no
// lines at all.

QStringList MemoEditor::lines() const {
  const QString text = memo_->toPlainText();
  if (text.isEmpty())
    return {};
  return text.split('\n');
}

void MemoEditor::setLines(const QStringList &lines) { memo_->setPlainText(lines.join('\n')); }

int MemoEditor::lineCount() const { return memo_->document()->isEmpty() ? 0 : memo_->document()->blockCount(); }

QString MemoEditor::line(int index) const {
  if (index < 0 || index >= lineCount())
    return {};
  return memo_->document()->findBlockByNumber(index).text();
}

void MemoEditor::insertLine(int index, const QString &text) {
  QStringList all = lines();
  all.insert(qBound(0, index, static_cast<int>(all.size())), text);
  setLines(all);
}

void MemoEditor::removeLine(int index) {
  QStringList all = lines();
  if (index >= 0 && index < all.size()) {
    all.removeAt(index);
    setLines(all);
  }
}

void MemoEditor::replaceLine(int index, const QString &text) {
  QStringList all = lines();
  if (index >= 0 && index < all.size()) {
    all[index] = text;
    setLines(all);
  }
}

void MemoEditor::selectFrom(int line, int column) {
  const QTextBlock block = memo_->document()->findBlockByNumber(line);
  if (!block.isValid())
    return;
  QTextCursor cursor(block);
  cursor.setPosition(block.position() + column);
  cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  memo_->setFocus();
  memo_->setTextCursor(cursor);
}

int MemoEditor::caretLine() const {
  const QTextCursor cursor = memo_->textCursor();
  return cursor.blockNumber();
}

} // namespace reelwork
