// Test doubles for the communication worker: an activity log that records its lines, a protocol
// whose operations the test scripts, and a fixture with a worker on the simulated interface.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/ActivityLog.h"
#include "engine/Iso9141Thread2.h"
#include "engine/KwpProtocol.h"
#include "engine/Sequence.h"
#include "engine/Threadlist.h"
#include "platform/Counter.h"
#include "sim/SimulatedFtdi.h"
#include "tests/support/RecordingLog.h"

namespace {
// Parameter rows of the tests print as their names (the rows live in each test file's unnamed
// namespace, where this template is found).
template <typename Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}
}  // namespace

// Records the lines; appending `slowLine` takes `slowMs`, as in a window busy repainting.
class TSlowRecordingLog : public TRecordingLog {
 public:
  std::string slowLine;
  uint32_t slowMs = 0;

 protected:
  void AppendLine(const std::string& line) override {
    if (line == slowLine) plat::SleepMs(slowMs);
    TRecordingLog::AppendLine(line);
  }
};

// A protocol whose four called operations run the hooks the test sets before the start. By
// default the start yields the key bytes 0x8F 0xE9 and succeeds, a request is answered with its
// service id + 0x40, a stop succeeds, and the keep-alive queues one 0x3E request.
class TFakeProtocol : public TKwpProtocol {
 public:
  using ObjectHook = std::function<bool(TIso9141Thread& thread, TSequenceObject& object)>;
  using IdleHook = std::function<void(TIso9141Thread& thread)>;

  explicit TFakeProtocol(TIso9141Thread* thread) : TKwpProtocol(thread) {}

  bool StartTester(TSequenceObject* object) override {
    ++starts;
    return onStart(*FThread, *object);
  }
  bool SeqTester(TSequenceObject* object) override {
    ++sequences;
    return onSequence(*FThread, *object);
  }
  bool StopTester(TSequenceObject*) override {
    ++stops;
    return true;
  }
  void IdleTimeout() override {
    {
      std::lock_guard lock(mutex_);
      idleTimes_.push_back(plat::QueryCounter());
    }
    onIdle(*FThread);
  }

  std::vector<int64_t> IdleTimes() const {
    std::lock_guard lock(mutex_);
    return idleTimes_;
  }

  static bool KeyBytesAndSucceed(TIso9141Thread& thread, TSequenceObject&) {
    thread.KeyBytes().Add(0x8F);
    thread.KeyBytes().Add(0xE9);
    return true;
  }
  static bool AnswerEachRequest(TIso9141Thread&, TSequenceObject& object) {
    for (int i = 0; i < object.RequestCount(); ++i)
      if (object.HasRequest(i))
        object.AddResponse(std::make_unique<TSequence>(object.RequestServiceId(i) + 0x40,
                                                       std::make_unique<TSmallIntArray>()));
    return true;
  }
  static void QueueKeepAlive(TIso9141Thread& thread) {
    thread.PushRequest(TSequenceObject::CreateFromService(0x3E, std::make_unique<TSmallIntArray>(),
                                                          skExecuteSequence));
  }

  ObjectHook onStart = KeyBytesAndSucceed;
  ObjectHook onSequence = AnswerEachRequest;
  IdleHook onIdle = QueueKeepAlive;
  std::atomic<int> starts{0};
  std::atomic<int> sequences{0};
  std::atomic<int> stops{0};

 private:
  mutable std::mutex mutex_;
  std::vector<int64_t> idleTimes_;
};

// A worker on the simulated interface with a fake protocol, the main thread served by a loop of
// the test's own. The worker frees itself when it ends; the fixture only watches for that.
class WorkerFixture : public ::testing::Test {
 protected:
  static constexpr const char* kPortName = "0x00000F11";

  void CreateWorker(TTesterProgram program = TTesterProgram::Kwp2000Prof) {
    if (program == TTesterProgram::Kwp71)
      worker = new TIso9141Thread(&memo, &requests, &responses, logDirectory);
    else
      worker = new TKwp2000Thread(&memo, &requests, &responses, logDirectory);
    logFileName = worker->LogFileName();
    protocol = std::make_unique<TFakeProtocol>(worker);
    worker->SetProtocol(protocol.get(), 2);
    worker->SetOnThreadFinished([this](TIso9141Thread* sender) {
      ++finishedCalls;
      byteLogOpenWhenFinished = sender->IsByteLogOpen();
      portOpenWhenFinished = simulation.Ftdi().State().open;
    });
    worker->OpenPort(kPortName, false);
  }

  // The worker CreateWorker made for QuobrixKWP2000Prof.
  TKwp2000Thread& Kwp2000Worker() { return dynamic_cast<TKwp2000Thread&>(*worker); }
  bool Freed() const { return memo.CountOf("Thread object freed") > 0; }
  bool WaitFreed(uint32_t timeoutMs = 8000) {
    return dispatcher.RunUntil([this] { return Freed(); }, timeoutMs);
  }
  bool Serve(const std::function<bool()>& done, uint32_t timeoutMs = 5000) {
    return dispatcher.RunUntil(done, timeoutMs);
  }
  void ServeFor(uint32_t ms) {
    dispatcher.RunUntil([] { return false; }, ms);
  }
  void DeleteResponses() {
    while (TSequenceObject* object = responses.PopFirst())
      delete object;
  }

  std::string ByteLogText() const {
    std::ifstream in(logFileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The byte log with every time stamp replaced by "T": those at the start of a line and those
  // that follow the worker's error entries, which end without a line feed.
  std::vector<std::string> ByteLogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ByteLogText());
    static const std::regex stamp("(^|: error )-?[0-9]+ ");
    for (std::string line; std::getline(in, line);)
      lines.push_back(std::regex_replace(line, stamp, "$1T "));
    return lines;
  }

  void TearDown() override {
    if (!worker || Freed()) return;
    if (!worker->Started()) {
      delete worker;
      return;
    }
    DeleteResponses();
    worker->StopCommunication();
    DeleteResponses();
    WaitFreed();
    DeleteResponses();
  }

  static std::string MakeLogDirectory() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    auto dir = std::filesystem::path(::testing::TempDir()) / ("quobrix_" + name);
    std::filesystem::create_directories(dir);
    return dir.string() + "/";
  }

  plat::LoopDispatcher dispatcher;
  plat::ScopedMainDispatcher scope{dispatcher};
  sim::ScopedSimulation simulation;
  TCommThreadList requests;
  TCommThreadList responses;
  TSlowRecordingLog memo;
  std::string logDirectory = MakeLogDirectory();
  std::string logFileName;
  TIso9141Thread* worker = nullptr;  // frees itself once started
  std::unique_ptr<TFakeProtocol> protocol;
  int finishedCalls = 0;
  bool byteLogOpenWhenFinished = false;
  bool portOpenWhenFinished = true;
};
