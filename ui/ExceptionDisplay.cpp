#include "ExceptionDisplay.h"

#include <QMessageBox>

namespace ui {

namespace {

MessageBoxFunction& CurrentMessageBox() {
  static MessageBoxFunction function;
  return function;
}

void ShowQtMessageBox(const std::string& caption, const std::string& text) {
  QMessageBox::critical(QApplication::activeWindow(), QString::fromStdString(caption),
                        QString::fromStdString(text));
}

}  // namespace

void SetMessageBoxFunction(MessageBoxFunction function) {
  CurrentMessageBox() = std::move(function);
}

void ShowMessageBox(const std::string& caption, const std::string& text) {
  if (CurrentMessageBox())
    CurrentMessageBox()(caption, text);
  else
    ShowQtMessageBox(caption, text);
}

void ShowException(const std::string& message) {
  ShowMessageBox(QCoreApplication::applicationName().toStdString(), message);
}

}  // namespace ui
