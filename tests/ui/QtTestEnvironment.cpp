#include "QtTestEnvironment.h"

#include <gtest/gtest.h>

#include <QFont>
#include <memory>

#include "ui/ExceptionDisplay.h"

namespace uitest {

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setFont(QFont("Sans Serif", 12));  // as a desktop's 12-point font
    app_ = std::make_unique<ui::Application>(argc_, argv_);
    app_->setApplicationName("QuobrixTest");
  }
  void TearDown() override { app_.reset(); }
  ui::Application& App() { return *app_; }

 private:
  int argc_ = 1;
  char name_[8] = "uitests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<ui::Application> app_;
};

QtEnvironment* const gEnvironment =
    static_cast<QtEnvironment*>(::testing::AddGlobalTestEnvironment(new QtEnvironment));

}  // namespace

ui::Application& App() {
  return gEnvironment->App();
}

MessageBoxRecorder::MessageBoxRecorder() {
  ui::SetMessageBoxFunction([this](const std::string& caption, const std::string& text) {
    boxes_.push_back({caption, text});
  });
}

MessageBoxRecorder::~MessageBoxRecorder() {
  ui::SetMessageBoxFunction(nullptr);
}

}  // namespace uitest
