#include "engine/Iso9141Thread2.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "engine/Sequence.h"
#include "engine/Serialcomm2ftdi.h"
#include "engine/Threadlist.h"
#include "platform/Counter.h"
#include "platform/ScopeExit.h"

namespace {

constexpr uint32_t kIdleWaitMs = 2000;
constexpr uint32_t kStartWaitMs = 5000;
constexpr uint32_t kStopWaitMs = 4000;
constexpr int kEmptyQueueChecks = 10;
constexpr uint32_t kEmptyQueueSleepMs = 200;

std::string LogDirectoryOrCurrent(const std::string& logDirectory) {
  if (!logDirectory.empty()) return logDirectory;
  return std::filesystem::current_path().string() + "/";
}

uint32_t WaitTime(int32_t periodMs) {
  return periodMs < 0 ? plat::kInfinite : static_cast<uint32_t>(periodMs);
}

}  // namespace

TIso9141Thread::TIso9141Thread(TActivityLog* memo, TCommThreadList* requestList,
                               TCommThreadList* responseList, const std::string& logDirectory,
                               TTesterProgram program)
    : FMemo(memo),
      FResponseList(responseList),
      FRequestList(requestList),
      FStartCount(plat::QueryCounter()),
      FFrequency(plat::CounterFrequency()),
      FLastReceiveCount(FStartCount),
      FLogFileName(LogDirectoryOrCurrent(logDirectory) + "Iso9141.log"),
      FLogStream(std::make_unique<TByteLog>(FLogFileName)),
      FProgram(program) {
  FLogStream->Write(bytelog::HeaderLine(bytelog::TimeOfDayText()));
  FCommPort = std::make_unique<TCommPort>();
  SetPriority(Priority::TimeCritical);
  SetFreeOnTerminate(true);
  SetOnTerminate([this] { OnThreadTerminate(); });
}

TIso9141Thread::~TIso9141Thread() {
  // A worker deleted while it runs (its owner drops the connection) is asked to end first; once
  // it has, nothing of the worker thread touches the members below.
  if (Started() && !Finished()) EndWorker();
  WaitFor();
  FLogStream.reset();
  LogActivity("Thread object freed");
}

void TIso9141Thread::LogEntry(const std::string& entry) {
  if (FLogStream && !entry.empty()) FLogStream->Write(entry);
}

void TIso9141Thread::LogStamped(const std::string& text) {
  LogEntry(TimeStampText(plat::QueryCounter()) + text + "\n");
}

void TIso9141Thread::LogPortLine(const std::string& what) {
  LogStamped(" COM port: " + FCommPort->GetPortName() + " " + what);
}

void TIso9141Thread::OpenPort(const std::string& portName, bool setDtr) {
  FSetDTR = setDtr;
  FCommPort->SetPortName(portName);
  LogPortLine("set");
  FCommPort->Open();
  if (!FCommPort->IsOpen()) {
    LogPortLine("problem, not opened");
    return;
  }
  LogPortLine("opened");
  FCommPort->SetTimeouts(ClampedWaitMs(FMaxEcuInterByteTime), 0, 0, 0, 0);
  LogPortLine("timeouts set");
  FCommPort->ClearRTS();
  if (FSetDTR)
    FCommPort->SetDTR();
  else
    FCommPort->ClearDTR();
  LogPortLine("RTS and DTR set/cleared");
}

void TIso9141Thread::ClosePort() {
  FCommPort->Close();
  LogStamped(" COM port closed");
}

void TIso9141Thread::SetProtocol(TKwpProtocol* protocol, uint8_t protocolType) {
  FProtocol = protocol;
  FProtocolType = protocolType;
}

void TIso9141Thread::SetTimings(const TTimingList& timings) {
  for (const TTimingParameter& timing : timings) {
    if (timing.Name == kMinEcu2TesterTime) {
      FMinEcu2TesterTime = timing.ValueMs;
    } else if (timing.Name == kMaxEcu2TesterTime) {
      FMaxEcu2TesterTime = timing.ValueMs;
    } else if (timing.Name == kMinInterByteTime) {
      FMinInterByteTime = timing.ValueMs;
    } else if (timing.Name == kMaxEcuInterByteTime) {
      FMaxEcuInterByteTime = timing.ValueMs;
      FCommPort->SetTimeouts(ClampedWaitMs(FMaxEcuInterByteTime), 0, 0, 0, 0);
    }
  }
}

void TKwp2000Thread::SetAddresses(uint8_t targetAddress, uint8_t sourceAddress) {
  SetTargetAddress(targetAddress);
  FSourceAddress = sourceAddress;
}

void TIso9141Thread::SetBaudRate(int32_t baudRate) {
  FCommPort->SetBaudRate(baudRate);
  LogStamped(" baudrate switched to: " + std::to_string(baudRate));
}

int TIso9141Thread::ResponseCount() const {
  return FResponseList->Count();
}

std::unique_ptr<TSequenceObject> TIso9141Thread::PopResponse() {
  return std::unique_ptr<TSequenceObject>(FResponseList->PopFirst());
}

void TIso9141Thread::PushRequest(std::unique_ptr<TSequenceObject> object) {
  FRequestList->Push(object.release());
}

void TIso9141Thread::DeleteQueued(TCommThreadList* queue) {
  while (TSequenceObject* object = queue->PopFirst())
    delete object;
}

void TIso9141Thread::EndWorker() {
  Terminate();
  FAbortEvent.Set();
  // The purge ends a transfer in progress; one that starts later sees the abort.
  if (FCommPort && FCommPort->IsOpen()) {
    try {
      FCommPort->Purge();
    } catch (const ECommError&) {
      // The transfer then ends at its own time-out.
    }
  }
  FGateEvent.Set();
  FRequestEvent.Set();
}

bool TIso9141Thread::Pause(uint32_t ms) {
  return FAbortEvent.WaitFor(ms) != plat::WaitResult::Signaled;
}

int32_t TIso9141Thread::IdlePeriodFor(int32_t minEcu2TesterTime, int32_t maxEcu2TesterTime) {
  if (maxEcu2TesterTime > 500) return 400;
  // Typed timing values may be negative; a period below 0 would mean waiting without limit.
  if (minEcu2TesterTime + 100 < maxEcu2TesterTime) return std::max(0, maxEcu2TesterTime - 100);
  return std::max(0, minEcu2TesterTime + 50);
}

bool TIso9141Thread::StartCommunication(uint8_t initAddress, TSmallIntArray& keyBytes) {
  MainThreadCall call(*this);
  if (!FCommPort->IsOpen()) {
    LogActivity("COM port not opened");
    return false;
  }
  if (FRunning || FStarting) {
    LogActivity("Communication already running / starting");
    return false;
  }
  FKeyBytes.Clear();
  FStarting = true;
  const plat::ScopeExit startingReset([this] { FStarting = false; });
  FIdlePeriod = -1;
  FTargetAddress = initAddress;
  FCommPort->Purge();
  FRequestEvent.Reset();
  FDoneEvent.Reset();
  FIdleEvent.Reset();
  FGateEvent.Set();
  Resume();

  plat::Dispatcher& dispatcher = plat::MainDispatcher();
  dispatcher.PumpWait(FIdleEvent, kIdleWaitMs);
  FRequestList->Push(new TSequenceObject(skStartCommunication));
  FRequestEvent.Set();
  LogActivity("Init started");
  // A start not handed over in time may still be filling the key bytes: then they are neither
  // read nor cleared here, and the start has failed.
  dispatcher.PumpWait(FDoneEvent, kStartWaitMs);
  const bool done = TakeStartOrGiveUp();
  FDoneEvent.Reset();
  LogActivity("Init Ready");

  if (!done || FKeyBytes.Count() < 2) {
    if (done) PopResponse();
    LogActivity("No KeyBytes; Init not OK");
    DeleteQueued(FRequestList);
    EndWorker();
    FIdlePeriod = -1;
    if (done) FKeyBytes.Clear();
    return false;
  }
  LogActivity("Init OK, keybytes present");
  for (int16_t value : FKeyBytes.Values())
    keyBytes.Add(value);
  if (FResponseList->Count() > 0 && FNewDataEvent) FNewDataEvent->Set();
  FGateEvent.Set();
  FRunning = true;
  return true;
}

bool TIso9141Thread::ExecuteSequence(std::unique_ptr<TSequenceList>&& list) {
  MainThreadCall call(*this);
  if (!FRunning) {
    LogActivity("Communication not running");
    return false;
  }
  FRequestList->Push(new TSequenceObject(std::move(list), skExecuteSequence));
  FRequestEvent.Set();
  return true;
}

bool TIso9141Thread::StopCommunication() {
  MainThreadCall call(*this);
  if (!FRunning) {
    LogActivity("Communication not running");
    EndWorker();
    return false;
  }
  if (FStopping) {
    LogActivity("Already Stopping thread");
    return false;
  }
  FStopping = true;
  FDoneEvent.Reset();
  FRequestList->Push(new TSequenceObject(skStopCommunication));
  FRequestEvent.Set();
  // A worker that has left its loop (its end not yet handled here) answers no stop: its last
  // signal may have come before the reset above.
  if (!FLoopEnded) FDoneEvent.WaitFor(kStopWaitMs);
  FDoneEvent.Reset();
  DeleteQueued(FRequestList);
  FKeyBytes.Clear();
  if (FNewDataEvent) FNewDataEvent->Set();
  LogActivity("Stop thread finished");
  EndWorker();
  FStopping = false;
  FRunning = false;
  return true;
}

void TIso9141Thread::Execute() {
  // However the loop ends, a main thread still waiting for a start or stop learns that nothing
  // will come.
  const plat::ScopeExit signalDone([this] {
    FLoopEnded = true;
    FDoneEvent.Set();
  });
  while (!Terminated()) {
    FGateEvent.WaitFor(plat::kInfinite);
    FRequestEvent.Reset();
    if (Terminated()) break;
    std::string cycleText;
    bool endAfterCycle;
    try {
      endAfterCycle = RunCycle(cycleText);
    } catch (const ECommError& error) {
      cycleText += TimeStampText(plat::QueryCounter()) + " ECommError " +
                   std::to_string(error.FKind) + " " + bytelog::HexCode(error.FLastError) + "\n";
      endAfterCycle = true;
    } catch (const std::exception& error) {
      cycleText += TimeStampText(plat::QueryCounter()) + " Error " + error.what() + "\n";
      endAfterCycle = true;
    } catch (...) {
      cycleText += TimeStampText(plat::QueryCounter()) + " Error of unknown type\n";
      endAfterCycle = true;
    }
    LogEntry(cycleText);
    if (endAfterCycle) Terminate();
  }
}

bool TIso9141Thread::RunCycle(std::string& cycleText) {
  if (!FProtocol) return true;  // nothing could run the work: the connection ends
  if (FRequestList->Count() == 0) WaitForRequestOrIdle(cycleText);
  std::unique_ptr<TSequenceObject> object(FRequestList->PopFirst());
  if (!object) return true;
  return RunObject(std::move(object), cycleText);
}

void TIso9141Thread::WaitForRequestOrIdle(std::string& cycleText) {
  const int32_t idlePeriod = FIdlePeriod;
  if (idlePeriod == -1) FIdleEvent.Set();
  switch (FRequestEvent.WaitFor(WaitTime(idlePeriod))) {
    case plat::WaitResult::Timeout:
      FProtocol->IdleTimeout();
      break;
    case plat::WaitResult::Failed:
      cycleText += " WaitForSingleObject: default error, wrError / wrAbondoned\n";
      break;
    case plat::WaitResult::Signaled:
      break;
  }
  FRequestEvent.Reset();
}

void TIso9141Thread::FinishHandshake() {
  FGateEvent.Reset();
  FDoneEvent.Set();
}

void TIso9141Thread::HandOverStart(std::unique_ptr<TSequenceObject> object) {
  std::lock_guard lock(FStartHandOver);
  if (object && !FStartGivenUp) FResponseList->Push(object.release());
  FinishHandshake();
}

bool TIso9141Thread::TakeStartOrGiveUp() {
  std::lock_guard lock(FStartHandOver);
  FStartGivenUp = !FDoneEvent.IsSet();
  return !FStartGivenUp;
}

bool TIso9141Thread::RunObject(std::unique_ptr<TSequenceObject> object, std::string& cycleText) {
  switch (object->GetKind()) {
    case skStartCommunication: {
      const bool started = FProtocol->StartTester(object.get());
      if (!started) cycleText += "StartTester: error ";
      FIdlePeriod = IdlePeriodFor(FMinEcu2TesterTime, FMaxEcu2TesterTime);
      HandOverStart(started ? std::move(object) : nullptr);
      return false;
    }
    case skExecuteSequence:
      if (!FProtocol->SeqTester(object.get())) {
        cycleText += "SeqTester: error ";
        return true;
      }
      FResponseList->Push(object.release());
      if (FNewDataEvent) FNewDataEvent->Set();
      return false;
    case skStopCommunication:
      FProtocol->StopTester(object.get());
      FResponseList->Push(object.release());
      FIdlePeriod = -1;
      FinishHandshake();
      return false;
    default:
      return true;
  }
}

void TIso9141Thread::OnThreadTerminate() {
  FRunning = false;
  try {
    ClosePort();
  } catch (const ECommError& error) {
    // The port is released below whatever its close reported.
    LogStamped(" ECommError " + std::to_string(error.FKind) + " " +
               bytelog::HexCode(error.FLastError));
  }
  LogActivity("Thread terminated, COM port closed");
  FCommPort.reset();
  if (FProgram == TTesterProgram::Kwp2000Prof) FLogStream.reset();
  // Results handed over just before the end may not have reached the owner yet; nothing drains
  // the queue while this thread sleeps below.
  if (FResponseList->Count() > 0 && FOnResultsLeft) FOnResultsLeft(this);
  for (int i = 0; i < kEmptyQueueChecks && FResponseList->Count() > 0; ++i) {
    LogActivity("Waiting until Thread is empty");
    plat::SleepMs(kEmptyQueueSleepMs);
  }
  LogActivity(FResponseList->Count() == 0 ? "Thread is empty, now delete it"
                                          : "Thread not empty yet, NOT expected");
  if (FOnThreadFinished) FOnThreadFinished(this);
}
