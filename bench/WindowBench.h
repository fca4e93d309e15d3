// What the benchmarks that drive a tester's window share: a working directory with a shipped
// definition file, finding a control, serving the main thread until a condition holds, and the
// tail of the activity log for a run that went wrong.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "bench/ScratchDirectory.h"
#include "platform/Counter.h"
#include "ui/ActivityLogMemo.h"

namespace bench {

// A working directory whose Def/ holds the named shipped definition file, current while it
// exists.
class DefinitionDirectory {
 public:
  explicit DefinitionDirectory(const std::string& definitionFile) : scratch_("bench") {
    namespace fs = std::filesystem;
    fs::copy_file(fs::path(QUOBRIX_SOURCE_DIR) / "Def" / definitionFile,
                  scratch_.Path() / "Def" / definitionFile, fs::copy_options::overwrite_existing);
  }

 private:
  ScratchDirectory scratch_;
};

template <class T>
T& Find(const QObject& window, const char* name) {
  T* control = window.findChild<T*>(name);
  if (!control) throw std::logic_error(std::string("no control ") + name);
  return *control;
}

// Serves the main thread until `done` holds or the counter passes `end`; whether it holds. The
// thread sleeps until an event comes; a tick every millisecond looks at the condition and time.
inline bool ServeUntilTime(const std::function<bool()>& done, int64_t end) {
  QTimer tick;
  tick.start(1);
  while (!done()) {
    if (plat::QueryCounter() >= end) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

inline bool ServeUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
  return ServeUntilTime(done, plat::QueryCounter() + int64_t{timeoutMs} * 1000000);
}

inline void PrintLogTail(const QObject& window, int lines = 10) {
  const auto& memo = Find<ui::ActivityLogMemo>(window, "Memo1");
  for (int i = std::max(0, memo.LineCount() - lines); i < memo.LineCount(); ++i)
    std::fprintf(stderr, "log: %s\n", memo.Line(i).c_str());
}

}  // namespace bench
