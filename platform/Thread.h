// Thread base with the life cycle of the class library's thread: created suspended, started by
// Resume, asked to stop by Terminate (the loop polls Terminated), an OnTerminate handler that runs
// in the main thread after Execute has returned, and an optional free on terminate.
//
// Main-thread code that calls into a thread object which may free itself wraps the call in a
// MainThreadCall: the termination (handler and free) is then held back until the call returns.
//
// A derived class whose object can be deleted while Execute still runs calls TerminateAndWait()
// at the start of its destructor.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace plat {

class Thread {
 public:
  enum class Priority { Normal, TimeCritical };

  Thread();
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts Execute on a new thread the first time; later calls do nothing.
  void Resume();
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  bool Started() const { return started_.load(); }
  // True once Execute has returned.
  bool Finished() const { return finished_.load(); }
  // Waits until Execute has returned (not from the thread itself).
  void WaitFor();

  void SetFreeOnTerminate(bool free) { freeOnTerminate_ = free; }
  bool FreeOnTerminate() const { return freeOnTerminate_; }
  void SetOnTerminate(std::function<void()> handler) { onTerminate_ = std::move(handler); }
  // Applied when the thread starts. TimeCritical asks for SCHED_FIFO and silently keeps the
  // normal policy when the system refuses it.
  void SetPriority(Priority priority) { priority_ = priority; }
  // True when the running thread got real-time scheduling.
  bool RealtimePriorityGranted() const { return realtimeGranted_.load(); }

  class MainThreadCall {
   public:
    explicit MainThreadCall(Thread& thread);
    ~MainThreadCall();
    MainThreadCall(const MainThreadCall&) = delete;
    MainThreadCall& operator=(const MainThreadCall&) = delete;

   private:
    Thread& thread_;
  };

 protected:
  virtual void Execute() = 0;
  void TerminateAndWait();

 private:
  void Run();
  void ApplyPriority();
  // Main thread: runs OnTerminate and frees the object, unless a MainThreadCall is open.
  void HandleTermination();
  void FinishTermination();

  std::thread thread_;
  // The termination posted to the main thread reaches the object through this link, which the
  // destructor cuts, so an owner may delete a thread whose termination is still queued.
  std::shared_ptr<std::atomic<Thread*>> self_;
  std::atomic<bool> started_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> realtimeGranted_{false};
  bool freeOnTerminate_ = false;
  Priority priority_ = Priority::Normal;
  std::function<void()> onTerminate_;
  int openCalls_ = 0;  // main thread only
  bool terminationPending_ = false;
};

}  // namespace plat
