#include "platform/Counter.h"

#include <gtest/gtest.h>

TEST(Counter, MonotonicNanosecondCounts) {
  EXPECT_EQ(plat::CounterFrequency(), 1'000'000'000);
  EXPECT_EQ(plat::MsToCounts(25), 25'000'000);
  EXPECT_EQ(plat::CountsToMs(1'999'999), 1);
  int64_t a = plat::QueryCounter();
  int64_t b = plat::QueryCounter();
  EXPECT_LE(a, b);
}

TEST(Counter, PreciseWaitNeverReturnsEarly) {
  for (int64_t ms : {0, 1, 3, 10}) {
    int64_t target = plat::QueryCounter() + plat::MsToCounts(ms);
    plat::PreciseWaitUntil(target);
    int64_t now = plat::QueryCounter();
    EXPECT_GE(now, target) << ms;
    // Generous: a loaded CI machine may wake late; early is the fault this test is for.
    EXPECT_LT(now - target, plat::MsToCounts(20)) << ms;
  }
}

TEST(Counter, PastMomentReturnsAtOnce) {
  int64_t start = plat::QueryCounter();
  plat::PreciseWaitUntil(start - plat::MsToCounts(100));
  EXPECT_LT(plat::QueryCounter() - start, plat::MsToCounts(5));
}

TEST(Counter, SleepLastsAtLeastItsTime) {
  int64_t start = plat::QueryCounter();
  plat::SleepMs(15);
  EXPECT_GE(plat::QueryCounter() - start, plat::MsToCounts(15));
}
