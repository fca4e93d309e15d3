#include "platform/Dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

using plat::Event;
using plat::LoopDispatcher;
using plat::WaitResult;
using namespace std::chrono_literals;

TEST(Dispatcher, PostFromAnotherThreadRunsInMainThreadInOrder) {
  LoopDispatcher dispatcher;
  std::vector<int> order;
  std::thread::id ranOn;
  std::thread producer([&] {
    for (int i = 0; i < 100; ++i)
      dispatcher.Post([&, i] {
        order.push_back(i);
        ranOn = std::this_thread::get_id();
      });
  });
  producer.join();
  EXPECT_EQ(dispatcher.ProcessPending(), 100);
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(Dispatcher, SynchronizeIsServedWhileMainThreadPumpWaits) {
  LoopDispatcher dispatcher;
  Event done;
  std::atomic<bool> ranInMain{false};
  std::thread worker([&] {
    dispatcher.Synchronize([&] { ranInMain = dispatcher.IsMainThread(); });
    done.Set();  // only reached after the main thread ran the call
  });
  EXPECT_EQ(dispatcher.PumpWait(done, 2000), WaitResult::Signaled);
  worker.join();
  EXPECT_TRUE(ranInMain);
}

TEST(Dispatcher, SynchronizeFromMainThreadRunsAtOnce) {
  LoopDispatcher dispatcher;
  int calls = 0;
  dispatcher.Synchronize([&] { ++calls; });
  EXPECT_EQ(calls, 1);
}

TEST(Dispatcher, ErrorInSynchronizedCallGoesToErrorDisplayNotToCaller) {
  LoopDispatcher dispatcher;
  std::vector<std::string> shown;
  dispatcher.SetErrorDisplay([&](const std::string& m) { shown.push_back(m); });
  Event done;
  std::atomic<bool> callerSawError{false};
  std::thread worker([&] {
    try {
      dispatcher.Synchronize([] { throw std::runtime_error("'x' is not a valid integer value"); });
    } catch (...) {
      callerSawError = true;
    }
    done.Set();
  });
  dispatcher.PumpWait(done, 2000);
  worker.join();
  EXPECT_FALSE(callerSawError);
  EXPECT_EQ(shown, std::vector<std::string>{"'x' is not a valid integer value"});
}

TEST(Dispatcher, PumpWaitTimesOutWithoutCalls) {
  LoopDispatcher dispatcher;
  Event never;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dispatcher.PumpWait(never, 60), WaitResult::Timeout);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 60ms);
  EXPECT_LT(elapsed, 1000ms);
}

TEST(Dispatcher, EachServedCallRestartsThePumpWaitTimeout) {
  LoopDispatcher dispatcher;
  Event never;
  std::atomic<bool> stop{false};
  // A call every 30 ms for about 300 ms keeps a 100 ms wait alive well past 100 ms.
  std::thread poster([&] {
    for (int i = 0; i < 10 && !stop; ++i) {
      dispatcher.Post([] {});
      std::this_thread::sleep_for(30ms);
    }
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dispatcher.PumpWait(never, 100), WaitResult::Timeout);
  auto elapsed = std::chrono::steady_clock::now() - start;
  stop = true;
  poster.join();
  EXPECT_GE(elapsed, 280ms);
}

TEST(Dispatcher, ScopedMainDispatcherInstallsAndRestores) {
  LoopDispatcher outer, inner;
  plat::ScopedMainDispatcher a(outer);
  {
    plat::ScopedMainDispatcher b(inner);
    EXPECT_EQ(&plat::MainDispatcher(), &inner);
  }
  EXPECT_EQ(&plat::MainDispatcher(), &outer);
}

TEST(Dispatcher, ShutdownWithCallsStillQueuedFreesThem) {
  auto payload = std::make_shared<int>(7);
  std::weak_ptr<int> watch = payload;
  {
    LoopDispatcher dispatcher;
    std::thread poster([&, payload] { dispatcher.Post([payload] {}); });
    poster.join();
    payload.reset();
    EXPECT_FALSE(watch.expired());
  }
  EXPECT_TRUE(watch.expired());
}
