#include "ui/ExceptionDisplay.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>
#include <thread>

#include "QtTestEnvironment.h"
#include "engine/Serialcomm2ftdi.h"
#include "platform/Exceptions.h"
#include "platform/MessageBox.h"

namespace {

// An object whose event handler fails, as a window's handler may on a bad number.
class FailingReceiver : public QObject {
 public:
  int handled = 0;

 protected:
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QObject::event(event);
    if (++handled == 1) throw plat::EConvertError("'abc' is not a valid integer value");
    return true;
  }
};

TEST(ExceptionDisplay, ErrorsOfGuardedHandlersAreShownAndTheNextClickIsHandled) {
  struct Case {
    const char* name;
    std::function<void()> fail;
    const char* shown;
  };
  const Case cases[] = {
      {"conversion error",
       [] { throw plat::EConvertError("'1,5' is not a valid floating point value"); },
       "'1,5' is not a valid floating point value"},
      {"list error", [] { plat::ThrowListIndexError(7); }, "List index out of bounds (7)"},
      {"port error",
       [] {
         plat::ftdi::SetLastError(plat::ftdi::kErrorDeviceNotConnected);
         throw ECommError(kCommErrorOpen);
       },
       "ECommError 8 0000048F"},
      {"not a standard error", [] { throw 42; }, "Unknown exception"},
  };
  uitest::App();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uitest::MessageBoxRecorder boxes;
    QPushButton button;
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, ui::Guarded([&](bool) {
      if (++clicks == 1) c.fail();
    }));
    button.click();
    button.click();
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, "QuobrixTest");
    EXPECT_EQ(boxes.Boxes()[0].text, c.shown);
  }
}

TEST(ExceptionDisplay, ErrorEscapingAnEventHandlerIsShownByTheApplication) {
  uitest::App();
  uitest::MessageBoxRecorder boxes;
  FailingReceiver receiver;
  QEvent first(QEvent::User), second(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&receiver, &first));
  EXPECT_TRUE(QCoreApplication::sendEvent(&receiver, &second));
  EXPECT_EQ(receiver.handled, 2);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "'abc' is not a valid integer value");
}

TEST(ExceptionDisplay, LowerLayersMessageBoxIsShownInTheMainThread) {
  uitest::App();
  uitest::MessageBoxRecorder boxes;
  plat::ShowMessageBox("00000004, Error setting latency, 4");
  std::thread worker([] { plat::ShowMessageBox("from the worker"); });
  worker.join();
  ASSERT_EQ(boxes.Boxes().size(), 1u) << "a box for another thread waits for the main thread";
  plat::Event never;
  uitest::App().Dispatcher().PumpWait(never, 50);

  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
  EXPECT_EQ(boxes.Boxes()[0].text, "00000004, Error setting latency, 4");
  EXPECT_EQ(boxes.Boxes()[1].text, "from the worker");
}

}  // namespace
