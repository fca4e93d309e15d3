// The activity log: a read-only memo with a vertical scroll bar that takes one line at a time and
// keeps the newest line in view.
#pragma once

#include <QPlainTextEdit>
#include <string>

namespace ui {

class ActivityLogMemo final : public QPlainTextEdit {
 public:
  explicit ActivityLogMemo(QWidget* parent = nullptr);

  void AddLine(const std::string& line);
  void Clear();
  int LineCount() const;
  std::string Line(int index) const;

 private:
  // An empty document holds no line, a document with one empty line looks the same.
  bool hasLines_ = false;
};

}  // namespace ui
