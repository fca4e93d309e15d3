#include "DisplayThread.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Exceptions.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Status bar that keeps the texts of its panels and when each was written.
class RecordingStatusBar : public TStatusBar {
 public:
  struct Write {
    int panel;
    std::string text;
    Clock::time_point at;
  };

  void SetPanelText(int panel, const std::string& text) override {
    texts_.at(panel) = text;
    writes_.push_back({panel, text, Clock::now()});
  }
  const std::string& Text(int panel) const { return texts_.at(panel); }
  const std::vector<Write>& Writes() const { return writes_; }
  // Time of the first write of `text` to `panel` at or after `from`; nullopt when none.
  std::optional<Clock::time_point> FirstWrite(int panel, const std::string& text,
                                              Clock::time_point from) const {
    for (const Write& write : writes_)
      if (write.panel == panel && write.text == text && write.at >= from) return write.at;
    return std::nullopt;
  }

 private:
  std::array<std::string, 3> texts_;
  std::vector<Write> writes_;
};

// Aborts the test program when a step that must return does not (a deadlock would otherwise
// hang the suite until the test driver's time-out).
class Watchdog {
 public:
  Watchdog(const char* what, std::chrono::milliseconds limit)
      : thread_([this, what, limit] {
          if (done_.WaitFor(static_cast<uint32_t>(limit.count())) != plat::WaitResult::Signaled) {
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

// Results queued by a simulated worker; the handler drains them all, like the window's handler.
class ResultQueue {
 public:
  void Push(int result) {
    std::lock_guard lock(mutex_);
    queued_.push_back(result);
  }
  std::deque<int> TakeAll() {
    std::lock_guard lock(mutex_);
    return std::exchange(queued_, {});
  }

 private:
  std::mutex mutex_;
  std::deque<int> queued_;
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
  void PumpFor(uint32_t ms) {
    dispatcher.RunUntil([] { return false; }, ms);
  }

  plat::LoopDispatcher dispatcher;
  plat::Event newData, sendEvent, receiveEvent;
  RecordingStatusBar status;
  std::vector<std::string> shown;
  Clock::time_point started;
  std::unique_ptr<TDisplayThread> thread;  // declared last: it goes first
};

TEST_F(DisplayThreadTest, QuietSliceBlanksBothPanelsAfterOneSlice) {
  status.SetPanelText(0, "Snd");
  status.SetPanelText(1, "Rcv");
  int calls = 0;
  Start([&](TDisplayThread&) { ++calls; });

  ASSERT_TRUE(PumpUntil([&] { return status.Text(0).empty() && status.Text(1).empty(); }));
  const auto blanked = *status.FirstWrite(0, "", started) - started;
  EXPECT_GE(blanked, 180ms);
  EXPECT_LT(blanked, 1500ms);
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(sendEvent.IsSet());
  EXPECT_FALSE(receiveEvent.IsSet());
}

TEST_F(DisplayThreadTest, SignalShowsIndicatorsUntilTheNextQuietSlice) {
  struct Case {
    const char* name;
    bool withHandler;
    int expectedCalls;
  };
  for (const Case& c : {Case{"with handler", true, 1}, Case{"without handler", false, 0}}) {
    SCOPED_TRACE(c.name);
    status = RecordingStatusBar();
    int calls = 0;
    bool eventSetInHandler = true, inMainThread = false;
    TDisplayThread* sender = nullptr;
    TDisplayThread::TNotifyEvent handler;
    if (c.withHandler)
      handler = [&](TDisplayThread& from) {
        ++calls;
        sender = &from;
        eventSetInHandler = newData.IsSet();
        inMainThread = dispatcher.IsMainThread();
        EXPECT_EQ(status.Text(0), "");  // the indicators follow the handler
      };
    newData.Set();
    Start(handler);

    ASSERT_TRUE(PumpUntil([&] { return status.Text(0) == "Snd" && status.Text(1) == "Rcv"; }));
    const auto shownAt = Clock::now();
    EXPECT_FALSE(newData.IsSet());
    ASSERT_TRUE(PumpUntil([&] { return status.Text(0).empty() && status.Text(1).empty(); }));
    const auto blankedAfter = *status.FirstWrite(0, "", shownAt) - shownAt;
    EXPECT_GE(blankedAfter, 150ms);
    EXPECT_LT(blankedAfter, 1500ms);

    EXPECT_EQ(calls, c.expectedCalls);
    if (c.withHandler) {
      EXPECT_EQ(sender, thread.get());
      EXPECT_FALSE(eventSetInHandler) << "the event must be reset before the handler runs";
      EXPECT_TRUE(inMainThread);
    }
    thread.reset();
  }
}

TEST_F(DisplayThreadTest, ResultQueuedWhileHandlerRunsGetsOneMorePass) {
  ResultQueue queue;
  std::vector<int> handled;
  int calls = 0;
  queue.Push(1);
  newData.Set();
  Start([&](TDisplayThread&) {
    ++calls;
    for (int result : queue.TakeAll())
      handled.push_back(result);
    if (calls == 1) {
      // The worker queues a result and signals while this handler is still running.
      std::thread worker([&] {
        queue.Push(2);
        newData.Set();
      });
      worker.join();
    }
  });

  ASSERT_TRUE(PumpUntil([&] { return handled.size() == 2; }));
  EXPECT_EQ(handled, (std::vector<int>{1, 2}));
  EXPECT_EQ(calls, 2);
}

TEST_F(DisplayThreadTest, ResultsQueuedTogetherAreHandledInOnePass) {
  for (int results : {2, 5}) {
    SCOPED_TRACE(results);
    ResultQueue queue;
    std::vector<int> handled;
    int calls = 0;
    for (int i = 0; i < results; ++i) {
      queue.Push(i);
      newData.Set();
    }
    Start([&](TDisplayThread&) {
      ++calls;
      for (int result : queue.TakeAll())
        handled.push_back(result);
    });
    ASSERT_TRUE(PumpUntil([&] { return static_cast<int>(handled.size()) == results; }));
    // Two further slices: no call without a signal.
    PumpFor(2 * TDisplayThread::kSliceMs);
    EXPECT_EQ(calls, 1);
    thread.reset();
  }
}

TEST_F(DisplayThreadTest, BurstDuringSlowHandlerIsDrainedCompletely) {
  constexpr int kResults = 40;
  ResultQueue queue;
  std::vector<int> handled;
  std::atomic<int> calls{0};
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
  EXPECT_LT(calls.load(), kResults);  // signals that arrive during a call are folded into one pass
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
  ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
  ASSERT_TRUE(PumpUntil([&] { return status.Text(0) == "Snd"; }));
  EXPECT_EQ(shown.size(), 1u);
}

TEST_F(DisplayThreadTest, DeletingWhileWaitingReturnsWithinAboutOneSlice) {
  Start(nullptr);
  ASSERT_TRUE(PumpUntil([&] { return status.Writes().size() >= 2; }));  // first slice done
  Watchdog watchdog("delete while waiting", 5s);
  const auto before = Clock::now();
  thread.reset();
  EXPECT_LT(Clock::now() - before, 700ms);
}

TEST_F(DisplayThreadTest, DeletingWhileACallIsQueuedDropsTheCall) {
  int calls = 0;
  newData.Set();
  Start([&](TDisplayThread&) { ++calls; });
  // The main thread serves nothing: the handler call stays queued and the thread waits for it.
  const auto deadline = Clock::now() + 3s;
  while (dispatcher.PendingCount() == 0 && Clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(dispatcher.PendingCount(), 1);
  {
    Watchdog watchdog("delete with a queued call", 5s);
    thread.reset();
  }
  EXPECT_EQ(dispatcher.ProcessPending(), 1);  // the dropped call runs without touching anything
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(status.Writes().empty());
}

TEST_F(DisplayThreadTest, DeletingFromAnotherThreadWaitsForARunningHandler) {
  plat::Event inHandler;
  std::atomic<bool> handlerDone{false};
  newData.Set();
  Start([&](TDisplayThread&) {
    inHandler.Set();
    std::this_thread::sleep_for(150ms);
    handlerDone = true;
  });
  std::atomic<bool> deleted{false};
  std::atomic<bool> handlerDoneAtDelete{false};
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
