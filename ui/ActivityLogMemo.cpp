#include "ui/ActivityLogMemo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace ui {

namespace {
constexpr char16_t kLineFeedPicture = u'\u240A';
constexpr char16_t kReturnPicture = u'\u240D';
}  // namespace

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
  // A line break inside a line (a byte of an ECU or an EEPROM text) would start a new line; its
  // control picture shows it instead.
  QString text = QString::fromStdString(line);
  text.replace(QChar('\n'), QChar(kLineFeedPicture)).replace(QChar('\r'), QChar(kReturnPicture));
  cursor.insertText(text);
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
