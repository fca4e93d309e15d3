#include "platform/Thread.h"

#include <pthread.h>
#include <sched.h>

#include <exception>
#include <string>

#include "platform/Dispatcher.h"

namespace plat {

namespace {
// Below the kernel's threaded interrupt handlers (50), so USB transfers keep being served.
constexpr int kRealtimePriority = 40;
}  // namespace

Thread::Thread() : self_(std::make_shared<std::atomic<Thread*>>(this)) {}

Thread::~Thread() {
  self_->store(nullptr);
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
    return;
  }
  Terminate();
  thread_.join();
}

void Thread::Resume() {
  bool expected = false;
  if (!started_.compare_exchange_strong(expected, true)) return;
  thread_ = std::thread(&Thread::Run, this);
}

void Thread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Thread::TerminateAndWait() {
  Terminate();
  WaitFor();
}

void Thread::ApplyPriority() {
  if (priority_ != Priority::TimeCritical) return;
  sched_param param{};
  param.sched_priority = kRealtimePriority;
  realtimeGranted_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

void Thread::Run() {
  ApplyPriority();
  try {
    Execute();
  } catch (const std::exception& error) {
    // No exception leaves a thread; the main thread shows it.
    std::string message = error.what();
    if (HasMainDispatcher()) MainDispatcher().Post([message] { MainDispatcher().ShowError(message); });
  } catch (...) {
  }
  // Read before finished_ is published: once the main thread sees it, the object may go.
  const bool notifyMainThread = onTerminate_ || freeOnTerminate_;
  finished_.store(true);
  if (notifyMainThread && HasMainDispatcher())
    MainDispatcher().Post([self = self_] {
      if (Thread* thread = self->load()) thread->HandleTermination();
    });
}

void Thread::HandleTermination() {
  if (openCalls_ > 0) {
    terminationPending_ = true;
    return;
  }
  FinishTermination();
}

void Thread::FinishTermination() {
  if (onTerminate_) {
    try {
      onTerminate_();
    } catch (const std::exception& error) {
      MainDispatcher().ShowError(error.what());
    }
  }
  if (freeOnTerminate_) delete this;
}

Thread::MainThreadCall::MainThreadCall(Thread& thread) : thread_(thread) { ++thread_.openCalls_; }

Thread::MainThreadCall::~MainThreadCall() {
  if (--thread_.openCalls_ == 0 && thread_.terminationPending_) {
    thread_.terminationPending_ = false;
    thread_.FinishTermination();
  }
}

}  // namespace plat
