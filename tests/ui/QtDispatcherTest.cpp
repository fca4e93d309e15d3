#include "ui/QtDispatcher.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "QtTestEnvironment.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

ui::QtDispatcher& Dispatcher() {
  return uitest::App().Dispatcher();
}

TEST(QtDispatcher, SynchronizedCallIsServedWhileThePumpedWaitRuns) {
  plat::Event done;
  std::atomic<bool> ranInMain{false};
  std::thread worker([&] {
    Dispatcher().Synchronize([&] { ranInMain = Dispatcher().IsMainThread(); });
    done.Set();
  });
  EXPECT_EQ(Dispatcher().PumpWait(done, 3000), plat::WaitResult::Signaled);
  worker.join();
  EXPECT_TRUE(ranInMain);
}

TEST(QtDispatcher, PumpedWaitTimeOutRestartsWithEveryCallServed) {
  struct Case {
    const char* name;
    int calls;  // posted 40 ms apart from another thread
    std::chrono::milliseconds minimum, maximum;
  };
  for (const Case& c :
       {Case{"no calls", 0, 100ms, 1000ms}, Case{"calls for 400 ms", 10, 400ms, 2000ms}}) {
    SCOPED_TRACE(c.name);
    std::atomic<int> served{0};
    std::thread poster([&] {
      for (int i = 0; i < c.calls; ++i) {
        std::this_thread::sleep_for(40ms);
        Dispatcher().Post([&] { ++served; });
      }
    });
    plat::Event never;
    const auto start = Clock::now();
    EXPECT_EQ(Dispatcher().PumpWait(never, 100), plat::WaitResult::Timeout);
    const auto elapsed = Clock::now() - start;
    poster.join();
    EXPECT_GE(elapsed, c.minimum);
    EXPECT_LT(elapsed, c.maximum);
    EXPECT_EQ(served.load(), c.calls);
  }
}

TEST(QtDispatcher, PaintAndTimerEventsDoNotHoldThePumpedWaitOpen) {
  QTimer ticking;
  int ticks = 0;
  QObject::connect(&ticking, &QTimer::timeout, [&] { ++ticks; });
  ticking.start(10);
  plat::Event never;
  const auto start = Clock::now();
  EXPECT_EQ(Dispatcher().PumpWait(never, 150), plat::WaitResult::Timeout);
  EXPECT_LT(Clock::now() - start, 1500ms);
  EXPECT_GT(ticks, 3);  // the Qt loop ran while waiting
}

TEST(QtDispatcher, EventSetByAnotherThreadEndsTheWaitEarly) {
  plat::Event event;
  std::thread setter([&] {
    std::this_thread::sleep_for(30ms);
    event.Set();
  });
  const auto start = Clock::now();
  EXPECT_EQ(Dispatcher().PumpWait(event, 5000), plat::WaitResult::Signaled);
  setter.join();
  EXPECT_LT(Clock::now() - start, 2000ms);
}

TEST(QtDispatcher, ErrorOfAPostedCallIsShownAndTheLoopGoesOn) {
  uitest::MessageBoxRecorder boxes;
  bool laterCallRan = false;
  Dispatcher().Post([] { throw std::runtime_error("'0x1G' is not a valid integer value"); });
  Dispatcher().Post([&] { laterCallRan = true; });
  plat::Event never;
  Dispatcher().PumpWait(never, 50);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "QuobrixTest");
  EXPECT_EQ(boxes.Boxes()[0].text, "'0x1G' is not a valid integer value");
  EXPECT_TRUE(laterCallRan);
}

}  // namespace
