#include "ui/ActivityLogMemo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

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
  if (pending_.isEmpty()) QTimer::singleShot(0, this, [this] { WritePending(); });
  // A line break inside a line (a byte of an ECU or an EEPROM text) would start a new line; its
  // control picture shows it instead.
  QString text = QString::fromStdString(line);
  text.replace(QChar('\n'), QChar(kLineFeedPicture)).replace(QChar('\r'), QChar(kReturnPicture));
  pending_.append(text);
}

void ActivityLogMemo::WritePending() const {
  if (pending_.isEmpty()) return;
  QTextCursor cursor(document());
  cursor.beginEditBlock();
  cursor.movePosition(QTextCursor::End);
  if (hasLines_) cursor.insertBlock();
  cursor.insertText(pending_.join(QChar::ParagraphSeparator));
  cursor.endEditBlock();
  pending_.clear();
  hasLines_ = true;
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ActivityLogMemo::Clear() {
  pending_.clear();
  clear();
  hasLines_ = false;
}

int ActivityLogMemo::LineCount() const {
  WritePending();
  return hasLines_ ? document()->blockCount() : 0;
}

std::string ActivityLogMemo::Line(int index) const {
  WritePending();
  return document()->findBlockByNumber(index).text().toStdString();
}

}  // namespace ui
