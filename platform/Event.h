// Manual-reset event: stays signalled from Set until Reset; any number of waiters are released.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace plat {

enum class WaitResult { Signaled, Timeout, Failed };

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Event {
 public:
  explicit Event(bool initiallySet = false) : set_(initiallySet) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // Waits up to `timeoutMs` (kInfinite: without limit). A time-out of 0 only tests the state.
  WaitResult WaitFor(uint32_t timeoutMs);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool set_;
};

}  // namespace plat
