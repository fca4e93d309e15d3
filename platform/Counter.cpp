#include "platform/Counter.h"

#include <time.h>

#include <cerrno>

namespace plat {

namespace {
constexpr int64_t kSpinMargin = 1'000'000;  // the last ms is busy-waited

timespec ToTimespec(int64_t counts) {
  return timespec{static_cast<time_t>(counts / kCounterFrequency),
                  static_cast<long>(counts % kCounterFrequency)};
}
}  // namespace

int64_t QueryCounter() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * kCounterFrequency + now.tv_nsec;
}

void PreciseWaitUntil(int64_t target) {
  int64_t wakeAt = target - kSpinMargin;
  if (wakeAt > QueryCounter()) {
    timespec at = ToTimespec(wakeAt);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
  }
  while (QueryCounter() < target) {
  }
}

void PreciseWaitMs(double ms) {
  PreciseWaitUntil(QueryCounter() + static_cast<int64_t>(ms * 1'000'000.0));
}

void SleepMs(uint32_t ms) {
  timespec duration = ToTimespec(static_cast<int64_t>(ms) * 1'000'000);
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &duration, &duration) == EINTR) {
  }
}

}  // namespace plat
