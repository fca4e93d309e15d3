// The window's activity-log memo as the engine and the protocols see it. The window layer
// implements AppendLine with its memo; tests implement it with a recorder.
//
// Add may be called from any thread: in the main thread the line is appended at once, from any
// other thread it is posted to the main thread, so a worker never waits for the main thread
// (which may itself be blocked waiting for the worker).
#pragma once

#include <string>
#include <utility>

#include "platform/Dispatcher.h"

class TActivityLog {
 public:
  TActivityLog() = default;
  virtual ~TActivityLog() = default;
  TActivityLog(const TActivityLog&) = delete;
  TActivityLog& operator=(const TActivityLog&) = delete;

  void Add(std::string line) {
    if (!plat::HasMainDispatcher() || plat::MainDispatcher().IsMainThread()) {
      AppendLine(line);
      return;
    }
    plat::MainDispatcher().Post([this, line = std::move(line)] { AppendLine(line); });
  }

 protected:
  // Main thread only: one new line of the memo.
  virtual void AppendLine(const std::string& line) = 0;
};

// Adds a line when there is a log to add it to.
inline void AddActivityLine(TActivityLog* log, std::string line) {
  if (log) log->Add(std::move(line));
}
