#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/Dispatcher.h"
#include "platform/Event.h"

using namespace std::chrono_literals;

namespace {

// Loops until terminated, counting its rounds; reports its destruction.
class LoopingThread : public plat::Thread {
 public:
  explicit LoopingThread(std::atomic<bool>* destroyed = nullptr) : destroyed_(destroyed) {}
  ~LoopingThread() override {
    TerminateAndWait();
    if (destroyed_) *destroyed_ = true;
  }
  std::atomic<int> rounds{0};
  plat::Event started;

 protected:
  void Execute() override {
    started.Set();
    while (!Terminated()) {
      ++rounds;
      std::this_thread::sleep_for(1ms);
    }
  }

 private:
  std::atomic<bool>* destroyed_;
};

class ThreadTest : public ::testing::Test {
 protected:
  plat::LoopDispatcher dispatcher;
  plat::ScopedMainDispatcher scope{dispatcher};
};

TEST_F(ThreadTest, CreatedSuspendedRunsOnlyAfterResume) {
  LoopingThread thread;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(thread.rounds, 0);
  EXPECT_FALSE(thread.Started());
  thread.Resume();
  EXPECT_EQ(thread.started.WaitFor(2000), plat::WaitResult::Signaled);
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(thread.Finished());
}

TEST_F(ThreadTest, DeletingANeverResumedThreadIsClean) {
  std::atomic<bool> destroyed{false};
  delete new LoopingThread(&destroyed);
  EXPECT_TRUE(destroyed);
}

TEST_F(ThreadTest, TerminateHandlerRunsInMainThreadThenObjectFreesItself) {
  std::atomic<bool> destroyed{false};
  auto* thread = new LoopingThread(&destroyed);
  std::thread::id handlerThread;
  bool finishedWhenHandled = false;
  thread->SetFreeOnTerminate(true);
  thread->SetOnTerminate([&] {
    handlerThread = std::this_thread::get_id();
    finishedWhenHandled = thread->Finished();
  });
  thread->Resume();
  thread->started.WaitFor(2000);
  thread->Terminate();
  EXPECT_TRUE(dispatcher.RunUntil([&] { return destroyed.load(); }, 2000));
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
  EXPECT_TRUE(finishedWhenHandled);
}

TEST_F(ThreadTest, TerminationWaitsForAnOpenMainThreadCall) {
  std::atomic<bool> destroyed{false};
  auto* thread = new LoopingThread(&destroyed);
  thread->SetFreeOnTerminate(true);
  thread->Resume();
  thread->started.WaitFor(2000);
  {
    plat::Thread::MainThreadCall call(*thread);
    thread->Terminate();
    thread->WaitFor();  // the termination has been posted once the thread has ended
    EXPECT_GT(dispatcher.ProcessPending(), 0);
    EXPECT_FALSE(destroyed) << "freed while a main-thread call was open";
  }
  EXPECT_TRUE(destroyed);
}

TEST_F(ThreadTest, DeletingARunningThreadStopsAndJoinsIt) {
  std::atomic<bool> destroyed{false};
  auto thread = std::make_unique<LoopingThread>(&destroyed);
  thread->Resume();
  thread->started.WaitFor(2000);
  thread.reset();
  EXPECT_TRUE(destroyed);
}

TEST_F(ThreadTest, DeletingAThreadWhoseTerminationIsQueuedIsSafe) {
  int handled = 0;
  auto thread = std::make_unique<LoopingThread>();
  thread->SetOnTerminate([&] { ++handled; });
  thread->Resume();
  thread->started.WaitFor(2000);
  thread->Terminate();
  thread->WaitFor();  // the termination is now queued
  thread.reset();
  dispatcher.ProcessPending();
  EXPECT_EQ(handled, 0);
}

TEST_F(ThreadTest, TimeCriticalPriorityFallsBackSilently) {
  LoopingThread thread;
  thread.SetPriority(plat::Thread::Priority::TimeCritical);
  thread.Resume();
  EXPECT_EQ(thread.started.WaitFor(2000), plat::WaitResult::Signaled);
  // Granted or not depends on the machine's rights; either way the thread runs.
  std::this_thread::sleep_for(5ms);
  EXPECT_GT(thread.rounds, 0);
}

class ThrowingThread : public plat::Thread {
 protected:
  void Execute() override { throw std::runtime_error("port vanished"); }
};

TEST_F(ThreadTest, ErrorInExecuteIsShownNotPropagated) {
  std::vector<std::string> shown;
  dispatcher.SetErrorDisplay([&](const std::string& m) { shown.push_back(m); });
  ThrowingThread thread;
  thread.Resume();
  thread.WaitFor();
  dispatcher.ProcessPending();
  EXPECT_EQ(shown, std::vector<std::string>{"port vanished"});
}

}  // namespace
