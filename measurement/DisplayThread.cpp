#include "measurement/DisplayThread.h"

#include <exception>

// One call handed to the main thread. It outlives the thread object when the destructor drops
// it, so the queued call can still find out that it must not run.
class TDisplayThread::MainThreadCall {
 public:
  // Main thread: true when the call may run; it then counts as running until Finish.
  bool Begin() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Queued) return false;
    state_ = State::Running;
    return true;
  }
  void Finish() { SetState(State::Finished); }
  // Drops a call that has not begun; waits for one that is running.
  void Drop() {
    std::unique_lock lock(mutex_);
    if (state_ == State::Queued) {
      state_ = State::Dropped;
      changed_.notify_all();
      return;
    }
    changed_.wait(lock, [this] { return state_ == State::Finished || state_ == State::Dropped; });
  }
  // Display thread: waits until the call ran or was dropped.
  void AwaitEnd() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return state_ == State::Finished || state_ == State::Dropped; });
  }

 private:
  enum class State { Queued, Running, Finished, Dropped };

  void SetState(State state) {
    std::lock_guard lock(mutex_);
    state_ = state;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  State state_ = State::Queued;
};

TDisplayThread::TDisplayThread(plat::Event& newDataEvent, plat::Event& sendEvent,
                               plat::Event& receiveEvent, TNotifyEvent onNewData,
                               TStatusBar* statusBar, plat::Dispatcher& dispatcher)
    : FNewDataEvent(&newDataEvent),
      FSendEvent(&sendEvent),
      FReceiveEvent(&receiveEvent),
      FOnNewData(std::move(onNewData)),
      FStatusBar(statusBar),
      dispatcher_(dispatcher) {
  Resume();
}

TDisplayThread::~TDisplayThread() {
  std::shared_ptr<MainThreadCall> pending;
  {
    std::lock_guard lock(callMutex_);
    stopping_ = true;
    pending = pending_;
  }
  Terminate();
  if (pending) pending->Drop();
  WaitFor();
}

void TDisplayThread::Execute() {
  while (!Terminated()) {
    if (FNewDataEvent->WaitFor(kSliceMs) == plat::WaitResult::Signaled) {
      // Reset before the handler runs: a result queued meanwhile sets it again for one more pass.
      FNewDataEvent->Reset();
      Synchronize(&TDisplayThread::DoNewData);
    } else {
      Synchronize(&TDisplayThread::DoIdle);
    }
  }
}

void TDisplayThread::Synchronize(void (TDisplayThread::*member)()) {
  auto call = std::make_shared<MainThreadCall>();
  {
    std::lock_guard lock(callMutex_);
    if (stopping_) return;
    pending_ = call;
  }
  dispatcher_.Post([this, call, member] {
    if (!call->Begin()) return;  // dropped: this object may be gone
    try {
      (this->*member)();
    } catch (const std::exception& error) {
      dispatcher_.ShowError(error.what());
    } catch (...) {
      dispatcher_.ShowError("Unknown exception");
    }
    call->Finish();
  });
  call->AwaitEnd();
  std::lock_guard lock(callMutex_);
  pending_.reset();
}

void TDisplayThread::DoNewData() {
  if (FOnNewData) FOnNewData(*this);
  ShowSendIndicator();
  ShowReceiveIndicator();
}

void TDisplayThread::DoIdle() {
  ClearSendIndicator();
  ClearReceiveIndicator();
}

void TDisplayThread::SetIndicator(int panel, const char* text) {
  if (FStatusBar) FStatusBar->SetPanelText(panel, text);
}
