#include "ui/Application.h"

#include <exception>

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
  } catch (const std::exception& error) {
    ShowException(error.what());
  } catch (...) {
    ShowException("Unknown exception");
  }
  return false;
}

}  // namespace ui
