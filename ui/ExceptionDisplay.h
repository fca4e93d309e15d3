// The exception display of the window layer: every error that reaches the boundary of an event
// handler is shown with its message in a message box, and the program goes on. Nothing is thrown
// through the Qt event loop.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace ui {

enum class MessageIcon { None, Error };

// Shows a modal message box with one OK button (main thread only); the default is a QMessageBox.
// Tests replace it with a recorder; an empty function restores the default.
using MessageBoxFunction = std::function<void(const std::string& caption, const std::string& text)>;
void SetMessageBoxFunction(MessageBoxFunction function);
void ShowMessageBox(const std::string& caption, const std::string& text,
                    MessageIcon icon = MessageIcon::None);

// The message box of the lower layers (bound to their hook by the application): no caption of its
// own, so the platform's "Error". From a thread other than the main thread it is shown there later.
inline constexpr const char* kUntitledCaption = "Error";
void ShowPlatformMessageBox(const std::string& text);

// Shows an error's message in a message box captioned with the application's title.
void ShowException(const std::string& message);

// The message of the error being handled (call it in a catch block): a standard error's text,
// "ECommError" with the kind and the last error of a port error, else "Unknown exception".
std::string CurrentErrorMessage();

// Runs `handler`; an error it raises is shown by ShowException instead of travelling on.
template <class Handler, class... Args>
void RunGuarded(Handler& handler, Args&&... args) noexcept {
  try {
    handler(std::forward<Args>(args)...);
  } catch (...) {
    ShowException(CurrentErrorMessage());
  }
}

// Wraps an event handler for a signal connection so that its errors end at the exception display.
template <class Handler>
auto Guarded(Handler handler) {
  return [handler = std::move(handler)](auto&&... args) mutable {
    RunGuarded(handler, std::forward<decltype(args)>(args)...);
  };
}

}  // namespace ui
