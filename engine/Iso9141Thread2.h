// The communication worker: one object per connection. It owns the serial port and the byte log,
// runs the units of work of the request queue one at a time through the protocol object and
// pushes the finished ones on the response queue, keeps the link alive when idle, and offers the
// protocols the K-line byte transfer (echo check, time-outs, ECU timing, wake-up patterns).
//
// StartCommunication, ExecuteSequence, StopCommunication, OpenPort and the setters run in the main
// thread; the loop, the protocol operations and the byte transfer run in the worker thread.
// Created suspended; once resumed it frees itself after it has ended and OnThreadTerminate has
// run. A worker that was never resumed (its port did not open) is deleted by its owner.
//
// Constructed as TIso9141Thread it is the worker of QuobrixKWP71: no tester address, no fast
// initialisation, and its byte log stays open until the object is freed. TKwp2000Thread, the
// worker of QuobrixKWP2000Prof, adds those two and closes the byte log as soon as it has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/ActivityLog.h"
#include "engine/ByteLog.h"
#include "engine/KwpProtocol.h"
#include "platform/Event.h"
#include "platform/SmallIntArray.h"
#include "platform/Thread.h"

class TCommPort;
class TCommThreadList;
class TSequenceList;
class TSequenceObject;

// The program the worker serves.
enum class TTesterProgram { Kwp2000Prof, Kwp71 };

// The acknowledge of a byte on the K-line: its complement.
inline uint8_t Complement(uint8_t value) {
  return static_cast<uint8_t>(0xFF - value);
}

class TIso9141Thread : public plat::Thread {
 public:
  using TThreadFinished = std::function<void(TIso9141Thread* sender)>;

  // `memo` and the two queues are borrowed; an empty `logDirectory` means the current directory.
  TIso9141Thread(TActivityLog* memo, TCommThreadList* requestList, TCommThreadList* responseList,
                 const std::string& logDirectory)
      : TIso9141Thread(memo, requestList, responseList, logDirectory, TTesterProgram::Kwp71) {}
  ~TIso9141Thread() override;

  // Main-thread operations of a connection.
  void OpenPort(const std::string& portName, bool setDtr);
  // True when the ECU sent at least 2 key bytes, which are appended to `keyBytes`.
  bool StartCommunication(uint8_t initAddress, TSmallIntArray& keyBytes);
  // Takes the list when communication runs and queues it; otherwise leaves it with the caller.
  bool ExecuteSequence(std::unique_ptr<TSequenceList>&& list);
  bool StopCommunication();
  void ClosePort();

  void SetProtocol(TKwpProtocol* protocol, uint8_t protocolType);
  void SetTimings(const TTimingList& timings);
  uint8_t GetTargetAddress() const { return FTargetAddress; }
  void SetBaudRate(int32_t baudRate);
  void SetEchoCheck(bool on) { FEchoCheck = on; }
  void SetOnThreadFinished(TThreadFinished handler) { FOnThreadFinished = std::move(handler); }
  // Called in the main thread when the worker has ended with results still queued, before its
  // end waits for the queue to empty: the owner takes them then.
  void SetOnResultsLeft(TThreadFinished handler) { FOnResultsLeft = std::move(handler); }
  void SetNewDataEvent(plat::Event* event) { FNewDataEvent = event; }
  void SetSendEvent(plat::Event* event) { FSendEvent = event; }
  void SetReceiveEvent(plat::Event* event) { FReceiveEvent = event; }
  int ResponseCount() const;
  // The oldest result, or null when none waits.
  std::unique_ptr<TSequenceObject> PopResponse();
  // Queues without signalling: for the protocols in the worker thread (keep-alive, block start).
  void PushRequest(std::unique_ptr<TSequenceObject> object);

  // What the protocols use of the worker.
  TSmallIntArray& KeyBytes() { return FKeyBytes; }
  TActivityLog* Memo() const { return FMemo; }
  uint8_t ProtocolType() const { return FProtocolType; }
  TTesterProgram Program() const { return FProgram; }
  int32_t MinEcu2TesterTime() const { return FMinEcu2TesterTime; }
  int32_t MaxEcu2TesterTime() const { return FMaxEcu2TesterTime; }
  int32_t MinInterByteTime() const { return FMinInterByteTime; }
  int32_t MaxEcuInterByteTime() const { return FMaxEcuInterByteTime; }
  int32_t IdlePeriod() const { return FIdlePeriod.load(); }
  bool IsRunning() const { return FRunning; }
  bool IsByteLogOpen() const { return FLogStream != nullptr; }
  const std::string& LogFileName() const { return FLogFileName; }
  TCommPort* CommPort() const { return FCommPort.get(); }

  // Set once the main thread has given up on a start or stop that the worker did not finish in
  // time, or deletes the running worker: the transfer or pause in progress ends at once and every
  // later one ends without waiting, so the worker reaches its end soon.
  bool Aborted() const { return FAbortEvent.IsSet(); }
  // The protocols' pauses between steps: sleeps `ms`; false, at once, when the worker is aborted.
  bool Pause(uint32_t ms);

  // K-line byte transfer, worker thread only. Failures are false results and byte-log lines.
  // Sends the bytes in one write and, with the echo check on, reads them back and compares.
  // `counter` receives the send time, then (with the echo check) the echo time.
  bool WriteWithEcho(const uint8_t* bytes, int count, int64_t* counter);
  // One read of up to `count` bytes within `timeoutMs`; a short read succeeds with its count.
  // `timeMs` receives the end of the reception in ms since the worker's creation.
  bool Receive(uint8_t* buffer, int count, int& received, int timeoutMs, int32_t* timeMs);
  // Waits the ECU-to-tester gap after the last reception, then sends with the inter-byte gap.
  bool SendRequest(const uint8_t* bytes, int count);
  bool SendByte(uint8_t value);
  bool ReceiveByte(uint8_t& value, int timeoutMs, int32_t* timeMs);
  // Receives one byte and answers it with its complement.
  bool ReceiveByteAndAck(uint8_t& value, int timeoutMs, int32_t* timeMs);
  // Sends one byte and expects its complement back within 500 ms.
  bool SendByteCheckAck(uint8_t value);
  // The address at 5 baud on the K-line (break for 0 bits), then 150 ms idle and a purge.
  bool FiveBaudInit(uint8_t address);
  // Ms since the worker's creation of a counter value, as decimal text.
  std::string TimeStampText(int64_t counter) const;
  int32_t TimeStampMs(int64_t counter) const;
  int64_t StartCount() const { return FStartCount; }
  int64_t LastReceiveCount() const { return FLastReceiveCount; }

  // The keep-alive period after a start request, from the ECU's timing.
  static int32_t IdlePeriodFor(int32_t minEcu2TesterTime, int32_t maxEcu2TesterTime);

 protected:
  TIso9141Thread(TActivityLog* memo, TCommThreadList* requestList, TCommThreadList* responseList,
                 const std::string& logDirectory, TTesterProgram program);
  void Execute() override;
  void SetTargetAddress(uint8_t address) { FTargetAddress = address; }
  // The fast initialisation, which TKwp2000Thread alone offers: 25 ms low, 25 ms high; and
  // `lowMs` low, `highMs` high, then the bytes without the P3 wait.
  bool FastInit25ms();
  bool FastInitAndSend(float lowMs, float highMs, const uint8_t* bytes, int count);

 private:
  // Runs one cycle of the loop after the gate; errors for the byte log go to `cycleText`.
  // Returns true when the worker is to end after the cycle.
  bool RunCycle(std::string& cycleText);
  void WaitForRequestOrIdle(std::string& cycleText);
  bool RunObject(std::unique_ptr<TSequenceObject> object, std::string& cycleText);
  void FinishHandshake();
  // Worker: hands a finished start (its object null when it is not to be queued) to the main
  // thread, unless the main thread has given up on it; then the object is deleted.
  void HandOverStart(std::unique_ptr<TSequenceObject> object);
  // Main thread, after the wait for a start: true when the worker has handed it over; otherwise
  // the start is given up on, in the same step, so that a late one is never queued.
  bool TakeStartOrGiveUp();
  void OnThreadTerminate();
  // Asks the worker to end and wakes it wherever it waits: at the gate, for requests, or in the
  // transfer or pause of a step, which ends at once (see Aborted).
  void EndWorker();
  void DeleteQueued(TCommThreadList* queue);
  void LogActivity(std::string line) { AddActivityLine(FMemo, std::move(line)); }
  void LogEntry(const std::string& entry);
  void LogStamped(const std::string& text);
  void LogPortLine(const std::string& what);
  int64_t MsToCounts(int64_t ms) const { return ms * FFrequency / 1000; }
  // Busy-waits until the counter reaches `target`, sleeping first where the wait is long; returns
  // at once when the worker is aborted.
  void WaitUntil(int64_t target);
  // Drops what the receive buffer holds before a request goes out (late bytes of an earlier
  // answer are no echo and no answer of this request), with one byte-log line.
  void DiscardStaleBytes();
  bool SendBytesSpaced(const uint8_t* bytes, int count);
  void DriveFiveBaudBit(bool one);

  std::unique_ptr<TCommPort> FCommPort;
  TActivityLog* FMemo;
  plat::Event FRequestEvent;
  plat::Event FDoneEvent;
  plat::Event FGateEvent;
  plat::Event FIdleEvent;
  plat::Event FAbortEvent;
  plat::Event* FNewDataEvent = nullptr;
  plat::Event* FSendEvent = nullptr;
  plat::Event* FReceiveEvent = nullptr;
  uint8_t FProtocolType = 0;
  uint8_t FTargetAddress = 0;
  TCommThreadList* FResponseList;
  TCommThreadList* FRequestList;
  std::atomic<int32_t> FIdlePeriod{0};
  bool FRunning = false;
  bool FStarting = false;
  bool FStopping = false;
  std::atomic<bool> FLoopEnded{false};  // set by the worker as it leaves its loop
  TKwpProtocol* FProtocol = nullptr;
  bool FEchoCheck = true;
  bool FSetDTR = false;
  int32_t FMinEcu2TesterTime = 25;
  int32_t FMaxEcu2TesterTime = 5000;
  int32_t FMinInterByteTime = 5;
  int32_t FMaxEcuInterByteTime = 50;
  int64_t FStartCount;
  int64_t FFrequency;
  int64_t FLastReceiveCount;
  std::string FLogFileName;
  std::unique_ptr<TByteLog> FLogStream;
  TThreadFinished FOnThreadFinished;
  TThreadFinished FOnResultsLeft;
  TSmallIntArray FKeyBytes;
  TTesterProgram FProgram;
  std::mutex FStartHandOver;  // orders the hand-over of a start with the main thread's giving up
  bool FStartGivenUp = false;
};

// The worker of QuobrixKWP2000Prof: with the tester address and the fast initialisation.
class TKwp2000Thread : public TIso9141Thread {
 public:
  TKwp2000Thread(TActivityLog* memo, TCommThreadList* requestList, TCommThreadList* responseList,
                 const std::string& logDirectory)
      : TIso9141Thread(memo, requestList, responseList, logDirectory, TTesterProgram::Kwp2000Prof) {
  }

  void SetAddresses(uint8_t targetAddress, uint8_t sourceAddress);
  uint8_t GetSourceAddress() const { return FSourceAddress; }
  using TIso9141Thread::FastInit25ms;
  using TIso9141Thread::FastInitAndSend;

 private:
  uint8_t FSourceAddress = 0;
};
