#include "ui/ExceptionDisplay.h"

#include <QMessageBox>

#include "engine/Serialcomm2ftdi.h"
#include "platform/Conversions.h"
#include "platform/Dispatcher.h"

namespace ui {

namespace {

MessageBoxFunction& CurrentMessageBox() {
  static MessageBoxFunction function;
  return function;
}

void ShowQtMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                  QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

}  // namespace

void SetMessageBoxFunction(MessageBoxFunction function) {
  CurrentMessageBox() = std::move(function);
}

void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  if (CurrentMessageBox())
    CurrentMessageBox()(caption, text);
  else
    ShowQtMessageBox(caption, text, icon);
}

void ShowException(const std::string& message) {
  ShowMessageBox(QApplication::applicationDisplayName().toStdString(), message, MessageIcon::Error);
}

std::string CurrentErrorMessage() {
  try {
    throw;
  } catch (const std::exception& error) {
    return error.what();
  } catch (const ECommError& error) {
    return "ECommError " + std::to_string(error.FKind) + " " + plat::IntToHex(error.FLastError, 8);
  } catch (...) {
    return "Unknown exception";
  }
}

void ShowPlatformMessageBox(const std::string& text) {
  // Widgets belong to the main thread.
  if (plat::MainDispatcher().IsMainThread()) {
    ShowMessageBox(kUntitledCaption, text);
    return;
  }
  plat::MainDispatcher().Post([text] { ShowMessageBox(kUntitledCaption, text); });
}

}  // namespace ui
