// The activity log: a read-only memo with a vertical scroll bar that takes one line at a time and
// keeps the newest line in view. Lines from other threads reach it through TActivityLog::Add.
//
// Lines added in one turn of the main thread are written into the memo together when it is back
// in its event loop (or when the lines are looked at): a burst of lines, such as a definition
// load's, is one edit with one scroll to the end.
#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <string>

#include "engine/ActivityLog.h"

namespace ui {

class ActivityLogMemo final : public QPlainTextEdit, public TActivityLog {
 public:
  explicit ActivityLogMemo(QWidget* parent = nullptr);

  // Adds one line; line breaks inside it show as the control pictures U+240A and U+240D.
  void AddLine(const std::string& line);
  void Clear();
  int LineCount() const;
  std::string Line(int index) const;

 protected:
  void AppendLine(const std::string& line) override { AddLine(line); }

 private:
  // Writes the waiting lines into the memo and shows the newest.
  void WritePending() const;

  mutable QStringList pending_;
  // An empty document holds no line, a document with one empty line looks the same.
  mutable bool hasLines_ = false;
};

}  // namespace ui
