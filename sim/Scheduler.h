// The simulation's own thread: runs actions at given moments of the high-resolution counter, in
// time order (equal moments in the order they were given). It sleeps until about 1 ms before a
// moment and busy-waits the rest, so actions start within a few microseconds of their moment on
// an idle machine. Actions run without any lock of the scheduler held.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace sim {

class Scheduler {
 public:
  using Action = std::function<void()>;
  using Id = uint64_t;

  Scheduler();
  // Stops the thread; actions not yet run are dropped.
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  Id At(int64_t moment, Action action);
  // Runs the action as soon as possible (after those already due).
  Id Soon(Action action);
  // False when the action has run already or is unknown.
  bool Cancel(Id id);
  // Waits until every action due by now has run (not from the scheduler's thread).
  void Drain();
  bool OnThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  using Key = std::pair<int64_t, Id>;

  void Run();
  // With the lock held: waits until the first action is due; false when stopping.
  bool WaitForDue(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::condition_variable idle_;
  std::map<Key, Action> actions_;
  Id nextId_ = 1;
  bool stopping_ = false;
  bool running_ = false;  // an action is running
  std::atomic<bool> rescan_{false};
  std::thread thread_;
};

}  // namespace sim
