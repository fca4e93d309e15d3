#include "platform/Dispatcher.h"

#include "platform/MessageBox.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>

namespace plat {

namespace {
std::atomic<Dispatcher*> gMainDispatcher{nullptr};
constexpr auto kPollSlice = std::chrono::milliseconds(1);
}  // namespace

Dispatcher::Dispatcher() : mainThread_(std::this_thread::get_id()) {}

void Dispatcher::Synchronize(Call call) {
  if (IsMainThread()) {
    RunCall(call);
    return;
  }
  Event done;
  Post([this, &call, &done] {
    RunCall(call);
    done.Set();
  });
  done.WaitFor(kInfinite);
}

void Dispatcher::SetErrorDisplay(ErrorDisplay display) {
  std::lock_guard lock(displayMutex_);
  errorDisplay_ = std::move(display);
}

void Dispatcher::ShowError(const std::string& message) {
  ErrorDisplay display;
  {
    std::lock_guard lock(displayMutex_);
    display = errorDisplay_;
  }
  if (display)
    display(message);
  else
    ShowMessageBox(message);
}

void Dispatcher::RunCall(const Call& call) noexcept {
  try {
    call();
  } catch (const std::exception& error) {
    ShowError(error.what());
  } catch (...) {
    ShowError("Unknown exception");
  }
}

Dispatcher& MainDispatcher() {
  Dispatcher* dispatcher = gMainDispatcher.load();
  if (!dispatcher) {
    std::fprintf(stderr, "no main-thread dispatcher installed\n");
    std::terminate();
  }
  return *dispatcher;
}

void SetMainDispatcher(Dispatcher* dispatcher) { gMainDispatcher.store(dispatcher); }
bool HasMainDispatcher() { return gMainDispatcher.load() != nullptr; }

LoopDispatcher::~LoopDispatcher() {
  // Calls still queued are dropped: their senders never wait for a posted call.
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void LoopDispatcher::Post(Call call) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  queued_.notify_all();
}

bool LoopDispatcher::RunOne() {
  Call call;
  {
    std::lock_guard lock(mutex_);
    if (calls_.empty()) return false;
    call = std::move(calls_.front());
    calls_.pop_front();
  }
  RunCall(call);
  return true;
}

int LoopDispatcher::ProcessPending() {
  int ran = 0;
  while (RunOne()) ++ran;
  return ran;
}

int LoopDispatcher::PendingCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(calls_.size());
}

WaitResult LoopDispatcher::PumpWait(Event& event, uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto timeout = std::chrono::milliseconds(timeoutMs);
  auto deadline = Clock::now() + timeout;
  for (;;) {
    if (event.IsSet()) return WaitResult::Signaled;
    if (RunOne()) {
      if (timeoutMs != kInfinite) deadline = Clock::now() + timeout;
      continue;
    }
    auto now = Clock::now();
    if (timeoutMs != kInfinite && now >= deadline) return WaitResult::Timeout;
    // The event has no link to this queue, so the wait is cut into short slices.
    auto until = now + kPollSlice;
    if (timeoutMs != kInfinite && deadline < until) until = deadline;
    std::unique_lock lock(mutex_);
    queued_.wait_until(lock, until, [this] { return !calls_.empty(); });
  }
}

bool LoopDispatcher::RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (RunOne()) continue;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return done();
    std::unique_lock lock(mutex_);
    queued_.wait_until(lock, std::min(deadline, now + kPollSlice),
                       [this] { return !calls_.empty(); });
  }
  return true;
}

ScopedMainDispatcher::ScopedMainDispatcher(Dispatcher& dispatcher)
    : previous_(gMainDispatcher.exchange(&dispatcher)) {}

ScopedMainDispatcher::~ScopedMainDispatcher() { gMainDispatcher.store(previous_); }

}  // namespace plat
