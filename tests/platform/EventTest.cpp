#include "platform/Event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using plat::Event;
using plat::WaitResult;
using Clock = std::chrono::steady_clock;

TEST(Event, TimedWaitTimesOutAfterAboutTheTimeout) {
  Event event;
  auto start = Clock::now();
  EXPECT_EQ(event.WaitFor(50), WaitResult::Timeout);
  auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(50));
  EXPECT_LT(elapsed, std::chrono::milliseconds(500));
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  Event event;
  event.Set();
  EXPECT_EQ(event.WaitFor(0), WaitResult::Signaled);
  EXPECT_EQ(event.WaitFor(0), WaitResult::Signaled);
  event.Reset();
  EXPECT_EQ(event.WaitFor(0), WaitResult::Timeout);
  EXPECT_TRUE(Event(true).IsSet());
}

TEST(Event, SetFromAnotherThreadReleasesEveryWaiter) {
  Event event;
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      if (event.WaitFor(plat::kInfinite) == WaitResult::Signaled) ++released;
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  event.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released, 4);
}
