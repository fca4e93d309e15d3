// An activity log for tests that keeps its lines.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "engine/ActivityLog.h"

// Records the lines in the order they reach the main thread.
class TRecordingLog : public TActivityLog {
 public:
  const std::vector<std::string>& Lines() const { return lines_; }
  int CountOf(const std::string& line) const {
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
  }
  void Clear() { lines_.clear(); }

 protected:
  void AppendLine(const std::string& line) override { lines_.push_back(line); }

 private:
  std::vector<std::string> lines_;
};
