#include "measurement/DisplayThread.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Exceptions.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Keeps each panel's text and when it last changed.
struct RecordingStatusBar : TStatusBar {
  void SetPanelText(int panel, const std::string& text) override {
    if (texts.at(panel) != text) changedAt.at(panel) = Clock::now();
    texts.at(panel) = text;
    ++writes;
  }
  bool Shows(const char* snd, const char* rcv) const { return texts[0] == snd && texts[1] == rcv; }

  std::array<std::string, 3> texts;
  std::array<Clock::time_point, 3> changedAt{};
  int writes = 0;
};

// Aborts the program when a step that must return does not: a deadlock would otherwise hang the
// suite until the test driver's time-out.
class Watchdog {
 public:
  explicit Watchdog(const char* what)
      : thread_([this, what] {
          if (done_.WaitFor(5000) != plat::WaitResult::Signaled) {
            std::fprintf(stderr, "deadlock: %s did not return\n", what);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    done_.Set();
    thread_.join();
  }

 private:
  plat::Event done_;
  std::thread thread_;
};

// Results queued by a simulated worker; the handler takes them all, as the window's handler does.
struct ResultQueue {
  void Push(int result) {
    std::lock_guard lock(mutex);
    queued.push_back(result);
  }
  std::vector<int> TakeAll() {
    std::lock_guard lock(mutex);
    return std::exchange(queued, {});
  }
  std::mutex mutex;
  std::vector<int> queued;
};

class DisplayThreadTest : public ::testing::Test {
 protected:
  DisplayThreadTest() {
    dispatcher.SetErrorDisplay([this](const std::string& message) { shown.push_back(message); });
  }
  void Start(TDisplayThread::TNotifyEvent handler) {
    started = Clock::now();
    thread = std::make_unique<TDisplayThread>(newData, sendEvent, receiveEvent, std::move(handler),
                                              &status, dispatcher);
  }
  bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs = 3000) {
    return dispatcher.RunUntil(done, timeoutMs);
  }

  plat::LoopDispatcher dispatcher;
  plat::Event newData, sendEvent, receiveEvent;
  RecordingStatusBar status;
  std::vector<std::string> shown;
  Clock::time_point started;
  std::unique_ptr<TDisplayThread> thread;  // declared last: it goes first
};

TEST_F(DisplayThreadTest, QuietSliceBlanksBothPanelsAfterOneSlice) {
  status.texts = {"Snd", "Rcv", ""};
  int calls = 0;
  Start([&](TDisplayThread&) { ++calls; });
  ASSERT_TRUE(PumpUntil([&] { return status.Shows("", ""); }));
  EXPECT_GE(status.changedAt[0] - started, 180ms);
  EXPECT_LT(status.changedAt[0] - started, 1500ms);
  EXPECT_EQ(calls, 0);
}

TEST_F(DisplayThreadTest, SignalShowsIndicatorsUntilTheNextQuietSlice) {
  for (bool withHandler : {true, false}) {
    SCOPED_TRACE(withHandler ? "with handler" : "without handler");
    status = RecordingStatusBar();
    int calls = 0;
    bool eventSetInHandler = true, inMainThread = false;
    TDisplayThread* sender = nullptr;
    TDisplayThread::TNotifyEvent handler;
    if (withHandler)
      handler = [&](TDisplayThread& from) {
        ++calls;
        sender = &from;
        eventSetInHandler = newData.IsSet();
        inMainThread = dispatcher.IsMainThread();
        EXPECT_TRUE(status.Shows("", "")) << "the indicators follow the handler";
      };
    newData.Set();
    Start(handler);

    ASSERT_TRUE(PumpUntil([&] { return status.Shows("Snd", "Rcv"); }));
    const Clock::time_point shownAt = status.changedAt[0];
    ASSERT_TRUE(PumpUntil([&] { return status.Shows("", ""); }));
    EXPECT_GE(status.changedAt[0] - shownAt, 150ms);
    EXPECT_LT(status.changedAt[0] - shownAt, 1500ms);
    EXPECT_EQ(calls, withHandler ? 1 : 0);
    if (withHandler) {
      EXPECT_EQ(sender, thread.get());
      EXPECT_FALSE(eventSetInHandler) << "the event must be reset before the handler runs";
      EXPECT_TRUE(inMainThread);
    }
    thread.reset();
  }
}

TEST_F(DisplayThreadTest, ResultQueuedWhileTheHandlerRunsGetsOneMorePass) {
  ResultQueue queue;
  std::vector<int> handled;
  int calls = 0;
  queue.Push(1);
  newData.Set();
  Start([&](TDisplayThread&) {
    for (int result : queue.TakeAll())
      handled.push_back(result);
    if (++calls > 1) return;
    std::thread worker([&] {  // queues and signals while this handler still runs
      queue.Push(2);
      newData.Set();
    });
    worker.join();
  });
  ASSERT_TRUE(PumpUntil([&] { return handled.size() == 2; }));
  EXPECT_EQ(handled, (std::vector<int>{1, 2}));
  EXPECT_EQ(calls, 2);
}

TEST_F(DisplayThreadTest, BurstDuringASlowHandlerIsDrainedCompletely) {
  constexpr int kResults = 40;
  ResultQueue queue;
  std::vector<int> handled;
  int calls = 0;
  Start([&](TDisplayThread&) {
    ++calls;
    for (int result : queue.TakeAll())
      handled.push_back(result);
    std::this_thread::sleep_for(20ms);
  });
  std::thread worker([&] {
    for (int i = 0; i < kResults; ++i) {
      queue.Push(i);
      newData.Set();
      std::this_thread::sleep_for(2ms);
    }
  });
  const bool allHandled = PumpUntil([&] { return handled.size() == kResults; }, 10000);
  worker.join();
  ASSERT_TRUE(allHandled) << handled.size() << " of " << kResults;
  for (int i = 0; i < kResults; ++i)
    EXPECT_EQ(handled[i], i);
  EXPECT_LT(calls, kResults) << "signals during a call fold into one more pass";
}

TEST_F(DisplayThreadTest, HandlerErrorIsShownAndLaterSignalsAreHandled) {
  int calls = 0;
  Start([&](TDisplayThread&) {
    if (++calls == 1) throw plat::EConvertError("'0xZZ' is not a valid integer value");
  });
  newData.Set();
  ASSERT_TRUE(PumpUntil([&] { return shown.size() == 1; }));
  EXPECT_EQ(shown[0], "'0xZZ' is not a valid integer value");
  newData.Set();
  ASSERT_TRUE(PumpUntil([&] { return calls == 2 && status.Shows("Snd", "Rcv"); }));
  EXPECT_EQ(shown.size(), 1u);
}

TEST_F(DisplayThreadTest, DeletingWhileWaitingReturnsWithinAboutOneSlice) {
  Start(nullptr);
  ASSERT_TRUE(PumpUntil([&] { return status.writes >= 2; }));  // the first slice has passed
  Watchdog watchdog("delete while waiting");
  const auto before = Clock::now();
  thread.reset();
  EXPECT_LT(Clock::now() - before, 700ms);
}

TEST_F(DisplayThreadTest, DeletingWhileACallIsQueuedDropsTheCall) {
  int calls = 0;
  newData.Set();
  Start([&](TDisplayThread&) { ++calls; });
  // The main thread serves nothing: the call stays queued while the thread waits for it.
  for (int i = 0; i < 3000 && dispatcher.PendingCount() == 0; ++i)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(dispatcher.PendingCount(), 1);
  {
    Watchdog watchdog("delete with a queued call");
    thread.reset();
  }
  EXPECT_EQ(dispatcher.ProcessPending(), 1);  // the dropped call runs without touching anything
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(status.writes, 0);
}

TEST_F(DisplayThreadTest, DeletingFromAnotherThreadWaitsForARunningHandler) {
  plat::Event inHandler;
  std::atomic<bool> handlerDone{false}, deleted{false}, handlerDoneAtDelete{false};
  newData.Set();
  Start([&](TDisplayThread&) {
    inHandler.Set();
    std::this_thread::sleep_for(150ms);
    handlerDone = true;
  });
  std::thread deleter([&] {
    inHandler.WaitFor(plat::kInfinite);
    thread.reset();
    handlerDoneAtDelete = handlerDone.load();
    deleted = true;
  });
  const bool finished = PumpUntil([&] { return deleted.load(); }, 5000);
  deleter.join();
  ASSERT_TRUE(finished);
  EXPECT_TRUE(handlerDoneAtDelete) << "the thread object went while its call was running";
}

}  // namespace
