#include "sim/Scheduler.h"

#include <chrono>

#include "platform/Counter.h"

namespace sim {

namespace {
constexpr int64_t kSpinCounts = plat::MsToCounts(1);

std::chrono::steady_clock::time_point ToTimePoint(int64_t counts) {
  return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(counts));
}
}  // namespace

Scheduler::Scheduler() : thread_([this] { Run(); }) {}

Scheduler::~Scheduler() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  rescan_ = true;
  changed_.notify_all();
  thread_.join();
}

Scheduler::Id Scheduler::At(int64_t moment, Action action) {
  Id id;
  {
    std::lock_guard lock(mutex_);
    id = nextId_++;
    bool first = actions_.empty() || moment < actions_.begin()->first.first;
    actions_.emplace(Key{moment, id}, std::move(action));
    if (!first) return id;
  }
  rescan_ = true;
  changed_.notify_all();
  return id;
}

Scheduler::Id Scheduler::Soon(Action action) {
  return At(plat::QueryCounter(), std::move(action));
}

bool Scheduler::Cancel(Id id) {
  std::lock_guard lock(mutex_);
  for (auto it = actions_.begin(); it != actions_.end(); ++it) {
    if (it->first.second == id) {
      actions_.erase(it);
      return true;
    }
  }
  return false;
}

void Scheduler::Drain() {
  int64_t now = plat::QueryCounter();
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [&] {
    return stopping_ || (!running_ && (actions_.empty() || actions_.begin()->first.first > now));
  });
}

void Scheduler::Run() {
  std::unique_lock lock(mutex_);
  while (WaitForDue(lock)) {
    auto first = actions_.begin();
    Action action = std::move(first->second);
    actions_.erase(first);
    running_ = true;
    lock.unlock();
    action();
    action = nullptr;
    lock.lock();
    running_ = false;
    idle_.notify_all();
  }
  idle_.notify_all();
}

bool Scheduler::WaitForDue(std::unique_lock<std::mutex>& lock) {
  while (!stopping_) {
    idle_.notify_all();
    if (actions_.empty()) {
      changed_.wait(lock);
      continue;
    }
    int64_t moment = actions_.begin()->first.first;
    if (plat::QueryCounter() >= moment) return true;
    if (moment - plat::QueryCounter() > kSpinCounts) {
      changed_.wait_until(lock, ToTimePoint(moment - kSpinCounts));
      continue;
    }
    rescan_ = false;
    lock.unlock();
    while (plat::QueryCounter() < moment && !rescan_) {
    }
    lock.lock();
  }
  return false;
}

}  // namespace sim
