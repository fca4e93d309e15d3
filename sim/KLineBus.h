// The simulated K-line: one wire between the tester's interface and an ECU model. It keeps a
// time-stamped trace of every line event, gives each byte its wire time (10 bit times at the
// current baud rate), hands the tester's bytes back to the tester (the K-line echo) and to the
// model, and the model's bytes to the tester, each at the end of its stop bit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "sim/EcuModel.h"
#include "sim/Scheduler.h"

namespace sim {

// The interface's end of the wire: receives what is on the line and the timers it asks for.
class TesterSide {
 public:
  virtual ~TesterSide() = default;
  virtual void OnLineByte(uint8_t value, int64_t moment) = 0;
  virtual void OnTimer(int64_t now) = 0;
};

enum class EchoFault {
  None,
  Lost,   // the echo of a tester byte does not come back
  Wrong,  // the echo comes back with bits flipped
};

class KLineBus : private EcuLink {
 public:
  static constexpr int32_t kInitialBaudRate = 10400;

  KLineBus();
  ~KLineBus() override;
  KLineBus(const KLineBus&) = delete;
  KLineBus& operator=(const KLineBus&) = delete;

  // Tester side. Detach returns only when no call into the old side is running.
  void AttachTester(TesterSide* side);
  void DetachTester();
  void WakeTesterAt(int64_t moment);
  // Queues the bytes behind the tester's earlier ones; the first starts now when the line is free.
  void TesterSend(std::span<const uint8_t> bytes);
  // Drops the tester's bytes that have not started yet.
  void DropUnsentTesterBytes();
  void SetBreak(bool on);
  void SetRts(bool on);
  void SetDtr(bool on);
  void SetBaudRate(int32_t baudRate);
  void NotePurge();

  // Replaces the ECU model (null: nobody answers). Waits until it is installed.
  void SetModel(std::unique_ptr<EcuModel> model);
  // Runs the call on the bus's thread and waits for it: the way to look at the model's state.
  void Call(const std::function<void(EcuModel*)>& call);

  // The next `count` tester bytes (-1: all from now on) get the echo fault; `flip` is the bit
  // mask a wrong echo is XORed with.
  void InjectEchoFault(EchoFault fault, int count = -1, uint8_t flip = 0xFF);

  // The trace ordered by time (events of equal time in the order they happened).
  std::vector<LineEvent> Trace() const;
  void ClearTrace();
  // Waits until every event due by now has been handled.
  void Drain() { scheduler_.Drain(); }

  int32_t CurrentBaudRate() const;
  bool IsBreakActive() const;
  // Wire time of one byte at a rate, in counter units.
  static int64_t ByteTimeAt(int32_t baudRate);

 private:
  struct ScheduledByte {
    int64_t start;
    int64_t end;
    Scheduler::Id id;
  };

  // EcuLink, for the model.
  int64_t Now() const override;
  int32_t BaudRate() const override { return CurrentBaudRate(); }
  int64_t ByteTime() const override;
  bool BreakActive() const override { return IsBreakActive(); }
  int64_t SendByte(uint8_t value, int64_t startTime) override;
  void CancelPendingBytes() override;
  void WakeAt(int64_t moment) override;

  // With the lock held: records the event and has the model told about it.
  void RecordEdge(LineEventKind kind, int32_t value);
  void Record(const LineEvent& event);
  void TellModel(const LineEvent& event);
  void TesterByteEnded(const LineEvent& event);
  void EcuByteEnded(const LineEvent& event);
  void DeliverToTester(uint8_t value, int64_t moment);
  // With the lock held: the value the tester reads back for its byte, or -1 when it is lost.
  int EchoOf(uint8_t value);
  static int64_t FreeAfter(std::vector<ScheduledByte>& bytes, int64_t now);
  void DropUnstarted(std::vector<ScheduledByte>& bytes);

  mutable std::mutex mutex_;
  std::vector<LineEvent> trace_;
  int32_t baudRate_ = kInitialBaudRate;
  bool breakOn_ = false;
  std::vector<ScheduledByte> testerBytes_;
  std::vector<ScheduledByte> ecuBytes_;
  EchoFault echoFault_ = EchoFault::None;
  int echoFaultCount_ = 0;
  uint8_t echoFlip_ = 0xFF;

  std::mutex testerMutex_;  // held while calling into the tester side
  TesterSide* tester_ = nullptr;

  // Only touched on the bus's thread.
  std::unique_ptr<EcuModel> model_;
  uint64_t modelGeneration_ = 0;

  Scheduler scheduler_;  // last: its thread stops before the members above go
};

// Runs `call` on the bus's thread with the bus's model when it is a `Model`; nothing when another
// model (or none) is attached. Returns whether it ran.
template <typename Model>
bool WithModel(KLineBus& bus, const std::function<void(Model&)>& call) {
  bool ran = false;
  bus.Call([&](EcuModel* model) {
    if (auto* wanted = dynamic_cast<Model*>(model)) {
      call(*wanted);
      ran = true;
    }
  });
  return ran;
}

}  // namespace sim
