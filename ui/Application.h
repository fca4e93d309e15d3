// The application object of both programs: the Qt application, the main-thread dispatcher bound
// to its event loop, the exception display for errors of posted calls and event handlers, and the
// lower layers' message box.
#pragma once

#include <QApplication>
#include <memory>

#include "platform/Dispatcher.h"
#include "platform/MessageBox.h"
#include "ui/QtDispatcher.h"

namespace ui {

class Application final : public QApplication {
 public:
  // Installs the dispatcher as the process's main dispatcher and binds the lower layers' message
  // box, both for the life of this object; gives the text the windows' pixel size.
  Application(int& argc, char** argv);

  QtDispatcher& Dispatcher() { return *dispatcher_; }

  // Last line of defence: an error that escapes an event handler is shown, not passed on.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  // Every text in the same pixel size on every platform and desktop font setting.
  void UseLayoutTextSize();

  std::unique_ptr<QtDispatcher> dispatcher_;
  std::unique_ptr<plat::ScopedMainDispatcher> mainDispatcher_;
  plat::ScopedMessageBoxHook messageBoxHook_;
};

}  // namespace ui
