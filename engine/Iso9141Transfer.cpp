// K-line byte transfer of the communication worker: writes with echo check, receptions with
// time-outs, the ECU's timing between messages and bytes, byte complements, the wake-up patterns
// and the byte-log entries of all of them. Worker thread only.
#include <algorithm>
#include <vector>

#include "engine/Iso9141Thread2.h"
#include "engine/Serialcomm2ftdi.h"
#include "platform/Counter.h"

namespace {

constexpr uint32_t kWriteWaitMs = 2000;
constexpr int kAckWaitMs = 500;
constexpr int64_t kFiveBaudBitMs = 200;
constexpr int kFiveBaudBits = 10;
constexpr uint32_t kFiveBaudSettleMs = 150;
constexpr int64_t kFastInitPulseMs = 25;
constexpr int64_t kSpinMarginMs = 2;  // the end of a long wait is busy-waited

enum class Direction { Write, Read };

// One overlapped transfer: started, waited for up to `waitMs`, its result taken. A transfer that
// does not end in time is cancelled before its record and buffer are released. Error texts go to
// `errors`; the result says whether it was done, `count` how many bytes it moved. Once `abort` is
// set no transfer starts, and one that was starting is cancelled (the main thread's purge ends
// those that started before).
struct TransferOutcome {
  bool done = false;
  bool timedOut = false;
  uint32_t count = 0;
};

TransferOutcome RunTransfer(TCommPort& port, const plat::Event& abort, Direction direction,
                            uint8_t* buffer, int size, uint32_t waitMs, const char* what,
                            std::string& errors) {
  TransferOutcome outcome;
  if (abort.IsSet()) return outcome;
  plat::ftdi::Overlapped overlapped;
  const bool atOnce = direction == Direction::Write
                          ? port.WriteOverlapped(buffer, size, outcome.count, overlapped)
                          : port.ReadOverlapped(buffer, size, outcome.count, overlapped);
  if (atOnce) {
    outcome.done = true;
    return outcome;
  }
  if (abort.IsSet()) port.CancelTransfer(overlapped);
  switch (overlapped.DoneEvent().WaitFor(waitMs)) {
    case plat::WaitResult::Signaled:
      // A transfer that ended in failure still reports the bytes it had moved.
      outcome.done = port.GetOverlappedResult(overlapped, outcome.count, false);
      if (!outcome.done)
        errors += bytelog::TransferErrorLine(bytelog::TransferFault::ResultFailed, what,
                                             plat::ftdi::LastError());
      break;
    case plat::WaitResult::Timeout:
      outcome.timedOut = true;
      errors += bytelog::TransferErrorLine(bytelog::TransferFault::WaitTimeout, what, 0);
      break;
    case plat::WaitResult::Failed:
      errors += bytelog::TransferErrorLine(bytelog::TransferFault::WaitFailed, what, 0);
      break;
  }
  if (!outcome.done) port.CancelTransfer(overlapped);
  return outcome;
}

}  // namespace

int32_t TIso9141Thread::TimeStampMs(int64_t counter) const {
  return static_cast<int32_t>((counter - FStartCount) * 1000 / FFrequency);
}

std::string TIso9141Thread::TimeStampText(int64_t counter) const {
  return std::to_string(TimeStampMs(counter));
}

bool TIso9141Thread::WriteWithEcho(const uint8_t* bytes, int count, int64_t* counter) {
  count = std::max(count, 0);  // a count computed from bad ECU data never reaches the buffers
  std::vector<uint8_t> transmit(bytes, bytes + count);
  std::vector<uint8_t> echo(transmit.size());
  std::string errors;
  const TransferOutcome write = RunTransfer(*FCommPort, FAbortEvent, Direction::Write,
                                            transmit.data(), count, kWriteWaitMs, "send", errors);
  const int64_t sendTime = plat::QueryCounter();
  if (counter) *counter = sendTime;
  const std::string sendLine = bytelog::SendLine(TimeStampText(sendTime), transmit.data(),
                                                 static_cast<int>(write.count), write.done);
  if (!FEchoCheck) {
    LogEntry(errors + sendLine);
    return write.done;
  }
  if (!write.done || write.count != static_cast<uint32_t>(count)) {
    LogEntry(errors + sendLine +
             bytelog::EchoLine(bytelog::kNoEchoStamp, transmit.data(), count, nullptr, 0, false));
    return false;
  }
  const TransferOutcome read = RunTransfer(*FCommPort, FAbortEvent, Direction::Read, echo.data(),
                                           count, kWriteWaitMs, "echo", errors);
  const int64_t echoTime = plat::QueryCounter();
  if (counter) *counter = echoTime;
  const int echoed = static_cast<int>(read.count);
  LogEntry(errors + sendLine +
           bytelog::EchoLine(TimeStampText(echoTime), transmit.data(), count, echo.data(), echoed,
                             read.done));
  return read.done && bytelog::EchoMatches(transmit.data(), count, echo.data(), echoed);
}

bool TIso9141Thread::Receive(uint8_t* buffer, int count, int& received, int timeoutMs,
                             int32_t* timeMs) {
  received = 0;
  count = std::max(count, 0);
  std::vector<uint8_t> readBuffer(static_cast<size_t>(count));
  std::string errors;
  const TransferOutcome read =
      RunTransfer(*FCommPort, FAbortEvent, Direction::Read, readBuffer.data(), count,
                  ClampedWaitMs(timeoutMs), "rcv", errors);
  FLastReceiveCount = plat::QueryCounter();
  if (read.timedOut) LogActivity("error rcv wait timeout");
  const int reported = static_cast<int>(std::min(read.count, static_cast<uint32_t>(count)));
  std::copy(readBuffer.begin(), readBuffer.begin() + reported, buffer);
  if (read.done) {
    if (FReceiveEvent) FReceiveEvent->Set();
    if (timeMs) *timeMs = TimeStampMs(FLastReceiveCount);
    received = reported;
  }
  LogEntry(errors + bytelog::ReceiveLine(TimeStampText(FLastReceiveCount), readBuffer.data(),
                                         reported, read.done));
  return read.done;
}

void TIso9141Thread::WaitUntil(int64_t target) {
  const int64_t sleepMs = (target - plat::QueryCounter()) * 1000 / FFrequency - kSpinMarginMs;
  if (sleepMs > 0 && !Pause(static_cast<uint32_t>(sleepMs))) return;
  if (!Aborted()) plat::PreciseWaitUntil(target);
}

void TIso9141Thread::DiscardStaleBytes() {
  const std::vector<uint8_t> stale = FCommPort->TakeReceived();
  if (stale.empty()) return;
  LogEntry(bytelog::DiscardLine(TimeStampText(plat::QueryCounter()), stale.data(),
                                static_cast<int>(stale.size())));
}

bool TIso9141Thread::SendBytesSpaced(const uint8_t* bytes, int count) {
  if (FMinInterByteTime == 0) return WriteWithEcho(bytes, count, nullptr);
  for (int i = 0; i < count; ++i) {
    int64_t byteTime = 0;
    if (!WriteWithEcho(bytes + i, 1, &byteTime)) return false;
    if (i + 1 < count) WaitUntil(byteTime + MsToCounts(FMinInterByteTime));
  }
  return true;
}

bool TIso9141Thread::SendRequest(const uint8_t* bytes, int count) {
  WaitUntil(FLastReceiveCount + MsToCounts(FMinEcu2TesterTime));
  DiscardStaleBytes();
  if (FSendEvent) FSendEvent->Set();
  return SendBytesSpaced(bytes, count);
}

bool TIso9141Thread::SendByte(uint8_t value) {
  return WriteWithEcho(&value, 1, nullptr);
}

bool TIso9141Thread::ReceiveByte(uint8_t& value, int timeoutMs, int32_t* timeMs) {
  uint8_t byte = 0;
  int received = 0;
  int32_t time = 0;
  if (!Receive(&byte, 1, received, timeoutMs, &time) || received != 1) return false;
  if (timeMs) *timeMs = time;
  value = byte;
  return true;
}

bool TIso9141Thread::ReceiveByteAndAck(uint8_t& value, int timeoutMs, int32_t* timeMs) {
  if (!ReceiveByte(value, timeoutMs, timeMs)) return false;
  return SendByte(Complement(value));
}

bool TIso9141Thread::SendByteCheckAck(uint8_t value) {
  if (!SendByte(value)) return false;
  uint8_t ack = 0;
  int received = 0;
  return Receive(&ack, 1, received, kAckWaitMs, nullptr) && received == 1 &&
         ack == Complement(value);
}

void TIso9141Thread::DriveFiveBaudBit(bool one) {
  if (one) {
    FCommPort->ClearRTS();
    FCommPort->ClearBreak();
  } else {
    FCommPort->SetRTS();
    FCommPort->SetBreak();
  }
}

bool TIso9141Thread::FiveBaudInit(uint8_t address) {
  // Start bit 0, the address least significant bit first, stop bit 1; every edge is timed from
  // the one start time so that errors do not add up.
  const int64_t start = plat::QueryCounter();
  DriveFiveBaudBit(false);
  for (int bit = 1; bit < kFiveBaudBits; ++bit) {
    WaitUntil(start + MsToCounts(bit * kFiveBaudBitMs));
    const bool one = bit == kFiveBaudBits - 1 || ((address >> (bit - 1)) & 1) != 0;
    DriveFiveBaudBit(one);
  }
  // The moment the stop bit went out, which a loaded machine or a slow interface makes later
  // than planned.
  const int64_t stopBitDriven = plat::QueryCounter();
  Pause(kFiveBaudSettleMs);
  FCommPort->Purge();
  LogEntry(TimeStampText(stopBitDriven) + " 5 baud init send " + bytelog::HexByte(address) + "\n");
  return true;
}

bool TIso9141Thread::FastInit25ms() {
  const int64_t start = plat::QueryCounter();
  FCommPort->SetBreak();
  WaitUntil(start + MsToCounts(kFastInitPulseMs));
  FCommPort->ClearBreak();
  const int64_t pulseEnd = plat::QueryCounter();
  FCommPort->Purge();
  LogEntry(TimeStampText(start) + " 25ms pulse fast init start\n");
  LogEntry(TimeStampText(pulseEnd) + " 25ms pulse fast init stop\n");
  WaitUntil(start + MsToCounts(2 * kFastInitPulseMs));
  return true;
}

bool TIso9141Thread::FastInitAndSend(float lowMs, float highMs, const uint8_t* bytes, int count) {
  const int64_t start = plat::QueryCounter();
  const double countsPerMs = static_cast<double>(FFrequency) * 0.001;
  if (lowMs != 0.0f) FCommPort->SetBreak();
  WaitUntil(start + static_cast<int64_t>(lowMs * countsPerMs));
  FCommPort->ClearBreak();
  const int64_t pulseEnd = plat::QueryCounter();
  FCommPort->Purge();
  LogEntry(TimeStampText(start) + " " + std::to_string(static_cast<int>(lowMs)) +
           "ms pulse fast init start\n");
  LogEntry(TimeStampText(pulseEnd) + " " + std::to_string(static_cast<int>(highMs)) +
           "ms pulse fast init stop\n");
  WaitUntil(start + static_cast<int64_t>((lowMs + highMs) * countsPerMs));
  const bool sent = SendBytesSpaced(bytes, count);
  if (FSendEvent) FSendEvent->Set();
  return sent;
}
