// High-resolution counter on the monotonic clock and the waits built on it.
#pragma once

#include <cstdint>

namespace plat {

// Counts per second of QueryCounter (nanoseconds).
inline constexpr int64_t kCounterFrequency = 1'000'000'000;

int64_t QueryCounter();
inline int64_t CounterFrequency() { return kCounterFrequency; }

// Counts for a duration in ms, as ms * frequency / 1000 in 64 bits.
inline constexpr int64_t MsToCounts(int64_t ms) { return ms * kCounterFrequency / 1000; }
// Whole ms elapsed between two counter values.
inline constexpr int64_t CountsToMs(int64_t counts) { return counts * 1000 / kCounterFrequency; }

// Returns at (or just after) the counter value `target`: sleeps on the monotonic clock until
// about 1 ms before it, then busy-waits the rest. Returns at once when the moment has passed.
void PreciseWaitUntil(int64_t target);
// PreciseWaitUntil(QueryCounter() + MsToCounts(ms)), for short exact gaps.
void PreciseWaitMs(double ms);

// Plain sleep, no precision promised.
void SleepMs(uint32_t ms);

}  // namespace plat
