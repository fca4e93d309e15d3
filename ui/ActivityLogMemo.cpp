#include "ui/ActivityLogMemo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace ui {

ActivityLogMemo::ActivityLogMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setUndoRedoEnabled(false);
}

void ActivityLogMemo::AddLine(const std::string& line) {
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  if (hasLines_) cursor.insertBlock();
  cursor.insertText(QString::fromStdString(line));
  hasLines_ = true;
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ActivityLogMemo::Clear() {
  clear();
  hasLines_ = false;
}

int ActivityLogMemo::LineCount() const {
  return hasLines_ ? document()->blockCount() : 0;
}

std::string ActivityLogMemo::Line(int index) const {
  return document()->findBlockByNumber(index).text().toStdString();
}

}  // namespace ui
