#include "ui/Application.h"

#include <QFont>

#include "ui/ExceptionDisplay.h"

namespace ui {

namespace {
// The windows' positions and sizes are in pixels, laid out for text of this height.
constexpr int kTextPixels = 12;
}  // namespace

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv),
      dispatcher_(std::make_unique<QtDispatcher>()),
      mainDispatcher_(std::make_unique<plat::ScopedMainDispatcher>(*dispatcher_)),
      messageBoxHook_(ShowPlatformMessageBox) {
  dispatcher_->SetErrorDisplay(ShowException);
  UseLayoutTextSize();
}

void Application::UseLayoutTextSize() {
  // Another platform's dpi or a desktop's larger font would grow the text past the fixed layout.
  // Only the size is changed: the family stays the one Qt chose.
  QFont text = font();
  text.setPixelSize(kTextPixels);
  setFont(text);
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
