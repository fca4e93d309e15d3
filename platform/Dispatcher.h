// The main-thread dispatcher: other threads hand calls to the main (window) thread, either
// without waiting (Post) or waiting until the call has run (Synchronize). The main thread can
// wait for an event while it keeps serving those calls (PumpWait).
//
// Errors raised by a call that runs in the main thread go to the error display (the window's
// message box), never back to the thread that handed the call over.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Event.h"

namespace plat {

class Dispatcher {
 public:
  using Call = std::function<void()>;
  using ErrorDisplay = std::function<void(const std::string& message)>;

  Dispatcher();
  virtual ~Dispatcher() = default;
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // Queues the call for the main thread and returns at once.
  virtual void Post(Call call) = 0;
  // Runs the call in the main thread and returns after it ran; in the main thread it runs at once.
  void Synchronize(Call call);
  // Main thread only: serves queued calls until `event` is set, up to `timeoutMs` after the
  // start or after the last call served (each call served starts the time-out again).
  virtual WaitResult PumpWait(Event& event, uint32_t timeoutMs) = 0;

  bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }
  // Makes the calling thread the main thread (for dispatchers created before the loop runs).
  void BindToCurrentThread() { mainThread_ = std::this_thread::get_id(); }

  void SetErrorDisplay(ErrorDisplay display);
  // Shows a message through the error display, or the message box when none is bound.
  void ShowError(const std::string& message);

 protected:
  // Runs one call, sending any error it raises to the error display.
  void RunCall(const Call& call) noexcept;

 private:
  std::thread::id mainThread_;
  std::mutex displayMutex_;
  ErrorDisplay errorDisplay_;
};

// The dispatcher of this process; the window layer or a test installs it.
Dispatcher& MainDispatcher();
void SetMainDispatcher(Dispatcher* dispatcher);
bool HasMainDispatcher();

// A dispatcher with a loop of its own, for programs and tests without a display. The thread that
// creates it is its main thread.
class LoopDispatcher : public Dispatcher {
 public:
  LoopDispatcher() = default;
  ~LoopDispatcher() override;

  void Post(Call call) override;
  WaitResult PumpWait(Event& event, uint32_t timeoutMs) override;

  // Runs every call queued so far (and those they queue); returns how many ran.
  int ProcessPending();
  // Serves calls until `done` is true or `timeoutMs` passed; returns `done()`.
  bool RunUntil(const std::function<bool()>& done, uint32_t timeoutMs);
  int PendingCount() const;

 private:
  bool RunOne();

  mutable std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<Call> calls_;
};

// Installs a dispatcher as the process's main dispatcher for the life of this object.
class ScopedMainDispatcher {
 public:
  explicit ScopedMainDispatcher(Dispatcher& dispatcher);
  ~ScopedMainDispatcher();
  ScopedMainDispatcher(const ScopedMainDispatcher&) = delete;
  ScopedMainDispatcher& operator=(const ScopedMainDispatcher&) = delete;

 private:
  Dispatcher* previous_;
};

}  // namespace plat
