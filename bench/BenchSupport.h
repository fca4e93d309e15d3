// What the timing benchmarks share: a quiet activity log, a load on every core, the spread of a
// set of figures, and real-time priority for the simulated line.
//
// The simulated line stands in for the hardware, which does not slow down when the PC is busy,
// so its thread runs at real-time priority where the system allows it, below the worker's so that
// it never takes the worker's processor.
#pragma once

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/ActivityLog.h"
#include "engine/Iso9141Thread2.h"
#include "engine/KwpProtocol.h"
#include "engine/Sequence.h"
#include "engine/Threadlist.h"
#include "platform/Dispatcher.h"
#include "sim/KLineBus.h"
#include "sim/SimulatedFtdi.h"

namespace bench {

constexpr int kLinePriority = 30;  // the worker runs at 40

inline double Ms(int64_t counts) {
  return static_cast<double>(counts) / 1e6;
}

// The activity log of a window nobody looks at; it only notes that the worker was freed.
class QuietLog : public TActivityLog {
 public:
  bool WorkerFreed() const { return freed_; }
  void Reset() { freed_ = false; }

 protected:
  void AppendLine(const std::string& line) override {
    if (line == "Thread object freed") freed_ = true;
  }

 private:
  bool freed_ = false;
};

// Keeps every core busy while it lives.
class BusyCores {
 public:
  BusyCores() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i) {
      threads_.emplace_back([this] {
        while (!stop_.load(std::memory_order_relaxed)) {
        }
      });
    }
  }
  ~BusyCores() {
    stop_ = true;
    for (std::thread& thread : threads_)
      thread.join();
  }
  BusyCores(const BusyCores&) = delete;
  BusyCores& operator=(const BusyCores&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

// CPU time of the calling thread in ms: what a piece of work costs, whatever else the machine
// runs.
inline double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// One figure as the line "set.name value".
inline void PrintFigure(const char* set, const char* name, double value) {
  std::printf("%s.%s %.3f\n", set, name, value);
}

// Not a number until measured, so a phase that failed prints nan.
struct Spread {
  double min = NAN;
  double median = NAN;
  double max = NAN;
};

inline Spread SpreadOf(std::vector<double> values) {
  if (values.empty()) return {NAN, NAN, NAN};
  std::sort(values.begin(), values.end());
  return {values.front(), values[values.size() / 2], values.back()};
}

// Runs the simulated line's thread at real-time priority below the worker's, where allowed.
inline void RaiseLinePriority(sim::KLineBus& bus) {
  bus.Call([](sim::EcuModel*) {
    sched_param param{};
    param.sched_priority = kLinePriority;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  });
}

// One connection to the simulated ECU, made the way the window makes it: `setUp` creates the
// protocol on the worker and configures both before the start.
class Connection {
 public:
  static constexpr const char* kPortName = "0x00000F11";
  static constexpr uint32_t kWaitMs = 15000;
  using SetUp = std::function<std::unique_ptr<TKwpProtocol>(TIso9141Thread& worker)>;

  Connection(plat::LoopDispatcher& dispatcher, QuietLog& memo, const std::string& logDirectory,
             TTesterProgram program, uint8_t ecuAddress, const SetUp& setUp)
      : dispatcher_(dispatcher), memo_(memo) {
    memo_.Reset();
    if (program == TTesterProgram::Kwp71)
      worker_ = new TIso9141Thread(&memo_, &requests_, &responses_, logDirectory);
    else
      worker_ = new TKwp2000Thread(&memo_, &requests_, &responses_, logDirectory);
    worker_->OpenPort(kPortName, false);
    protocol_ = setUp(*worker_);
    TSmallIntArray keyBytes;
    started_ = worker_->StartCommunication(ecuAddress, keyBytes);
    DeleteResponses();
  }
  ~Connection() {
    if (started_) worker_->StopCommunication();
    DeleteResponses();  // the stop's result, before the worker's end looks at the queue
    dispatcher_.RunUntil([this] { return memo_.WorkerFreed(); }, kWaitMs);
    DeleteResponses();
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Started() const { return started_; }
  const TIso9141Thread& Worker() const { return *worker_; }

  // Runs the list as one unit of work; false when it failed.
  bool Run(std::unique_ptr<TSequenceList> list) {
    if (!worker_->ExecuteSequence(std::move(list))) return false;
    return AwaitResult();
  }
  // Waits for the next result and drops it; false when none came.
  bool AwaitResult() {
    const bool done = dispatcher_.RunUntil(
        [this] { return responses_.Count() > 0 || memo_.WorkerFreed(); }, kWaitMs);
    const bool ok = done && responses_.Count() > 0;
    DeleteResponses();
    return ok;
  }
  // Serves the main thread for a while, dropping the results that come.
  void Idle(uint32_t ms) {
    dispatcher_.RunUntil([] { return false; }, ms);
    DeleteResponses();
  }

 private:
  void DeleteResponses() {
    while (TSequenceObject* object = responses_.PopFirst())
      delete object;
  }

  plat::LoopDispatcher& dispatcher_;
  QuietLog& memo_;
  TCommThreadList requests_;
  TCommThreadList responses_;
  TIso9141Thread* worker_;  // frees itself when it ends
  std::unique_ptr<TKwpProtocol> protocol_;
  bool started_ = false;
};

}  // namespace bench
