#include "platform/Event.h"

#include <chrono>

namespace plat {

void Event::Set() {
  // Notified under the lock: a waiter that sees the event set may destroy it right away, so
  // Set must not touch the event after the lock is released.
  std::lock_guard lock(mutex_);
  set_ = true;
  changed_.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

WaitResult Event::WaitFor(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  if (timeoutMs == kInfinite) {
    changed_.wait(lock, [this] { return set_; });
    return WaitResult::Signaled;
  }
  bool signaled =
      changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; });
  return signaled ? WaitResult::Signaled : WaitResult::Timeout;
}

}  // namespace plat
