#include "ui/Application.h"

#include "ui/ExceptionDisplay.h"

namespace ui {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv),
      dispatcher_(std::make_unique<QtDispatcher>()),
      mainDispatcher_(std::make_unique<plat::ScopedMainDispatcher>(*dispatcher_)),
      messageBoxHook_(ShowPlatformMessageBox) {
  dispatcher_->SetErrorDisplay(ShowException);
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowException(CurrentErrorMessage());
  }
  return false;
}

}  // namespace ui
