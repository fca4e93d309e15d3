#include "sim/KLineBus.h"

#include <algorithm>

#include "platform/Counter.h"
#include "platform/Event.h"

namespace sim {

KLineBus::KLineBus() = default;

KLineBus::~KLineBus() = default;

void KLineBus::AttachTester(TesterSide* side) {
  std::lock_guard lock(testerMutex_);
  tester_ = side;
}

void KLineBus::DetachTester() {
  AttachTester(nullptr);
}

void KLineBus::WakeTesterAt(int64_t moment) {
  scheduler_.At(moment, [this] {
    std::lock_guard lock(testerMutex_);
    if (tester_ != nullptr) tester_->OnTimer(plat::QueryCounter());
  });
}

int64_t KLineBus::ByteTimeAt(int32_t baudRate) {
  return 10 * plat::kCounterFrequency / std::max(baudRate, 1);
}

int64_t KLineBus::Now() const {
  return plat::QueryCounter();
}

int64_t KLineBus::ByteTime() const {
  return ByteTimeAt(CurrentBaudRate());
}

int32_t KLineBus::CurrentBaudRate() const {
  std::lock_guard lock(mutex_);
  return baudRate_;
}

bool KLineBus::IsBreakActive() const {
  std::lock_guard lock(mutex_);
  return breakOn_;
}

int64_t KLineBus::FreeAfter(std::vector<ScheduledByte>& bytes, int64_t now) {
  std::erase_if(bytes, [now](const ScheduledByte& byte) { return byte.end < now; });
  int64_t free = now;
  for (const ScheduledByte& byte : bytes)
    free = std::max(free, byte.end);
  return free;
}

void KLineBus::DropUnstarted(std::vector<ScheduledByte>& bytes) {
  int64_t now = plat::QueryCounter();
  std::erase_if(bytes, [&](const ScheduledByte& byte) {
    return byte.start > now && scheduler_.Cancel(byte.id);
  });
}

void KLineBus::TesterSend(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  int64_t start = FreeAfter(testerBytes_, plat::QueryCounter());
  int64_t duration = ByteTimeAt(baudRate_);
  for (uint8_t value : bytes) {
    LineEvent event{start, LineEventKind::TesterByte, value, duration};
    Scheduler::Id id = scheduler_.At(event.End(), [this, event] { TesterByteEnded(event); });
    testerBytes_.push_back({start, event.End(), id});
    start = event.End();
  }
}

void KLineBus::DropUnsentTesterBytes() {
  std::lock_guard lock(mutex_);
  DropUnstarted(testerBytes_);
}

void KLineBus::TesterByteEnded(const LineEvent& event) {
  int echo;
  {
    std::lock_guard lock(mutex_);
    Record(event);
    echo = EchoOf(static_cast<uint8_t>(event.value));
  }
  if (echo >= 0) DeliverToTester(static_cast<uint8_t>(echo), event.End());
  TellModel(event);
}

int KLineBus::EchoOf(uint8_t value) {
  if (echoFault_ == EchoFault::None) return value;
  EchoFault fault = echoFault_;
  if (echoFaultCount_ > 0 && --echoFaultCount_ == 0) echoFault_ = EchoFault::None;
  return fault == EchoFault::Lost ? -1 : static_cast<uint8_t>(value ^ echoFlip_);
}

void KLineBus::DeliverToTester(uint8_t value, int64_t moment) {
  std::lock_guard lock(testerMutex_);
  if (tester_ != nullptr) tester_->OnLineByte(value, moment);
}

void KLineBus::SetBreak(bool on) {
  std::lock_guard lock(mutex_);
  breakOn_ = on;
  RecordEdge(on ? LineEventKind::BreakOn : LineEventKind::BreakOff, on ? 1 : 0);
}

void KLineBus::SetRts(bool on) {
  std::lock_guard lock(mutex_);
  RecordEdge(LineEventKind::Rts, on ? 1 : 0);
}

void KLineBus::SetDtr(bool on) {
  std::lock_guard lock(mutex_);
  RecordEdge(LineEventKind::Dtr, on ? 1 : 0);
}

void KLineBus::SetBaudRate(int32_t baudRate) {
  std::lock_guard lock(mutex_);
  baudRate_ = baudRate;
  RecordEdge(LineEventKind::BaudChange, baudRate);
}

void KLineBus::NotePurge() {
  std::lock_guard lock(mutex_);
  Record({plat::QueryCounter(), LineEventKind::Purge, 0, 0});
}

void KLineBus::RecordEdge(LineEventKind kind, int32_t value) {
  LineEvent event{plat::QueryCounter(), kind, value, 0};
  Record(event);
  scheduler_.At(event.time, [this, event] { TellModel(event); });
}

void KLineBus::Record(const LineEvent& event) {
  trace_.push_back(event);
}

void KLineBus::TellModel(const LineEvent& event) {
  if (model_) model_->OnLineEvent(event, *this);
}

void KLineBus::SetModel(std::unique_ptr<EcuModel> model) {
  Call([&](EcuModel*) {
    model_ = std::move(model);
    ++modelGeneration_;
  });
}

void KLineBus::Call(const std::function<void(EcuModel*)>& call) {
  if (scheduler_.OnThread()) {
    call(model_.get());
    return;
  }
  plat::Event done;
  scheduler_.Soon([&call, &done, this] {
    call(model_.get());
    done.Set();
  });
  done.WaitFor(plat::kInfinite);
}

void KLineBus::InjectEchoFault(EchoFault fault, int count, uint8_t flip) {
  std::lock_guard lock(mutex_);
  echoFault_ = count == 0 ? EchoFault::None : fault;
  echoFaultCount_ = count;
  echoFlip_ = flip;
}

std::vector<LineEvent> KLineBus::Trace() const {
  std::vector<LineEvent> trace;
  {
    std::lock_guard lock(mutex_);
    trace = trace_;
  }
  std::stable_sort(trace.begin(), trace.end(),
                   [](const LineEvent& a, const LineEvent& b) { return a.time < b.time; });
  return trace;
}

void KLineBus::ClearTrace() {
  std::lock_guard lock(mutex_);
  trace_.clear();
}

int64_t KLineBus::SendByte(uint8_t value, int64_t startTime) {
  std::lock_guard lock(mutex_);
  int64_t start = std::max(startTime, FreeAfter(ecuBytes_, plat::QueryCounter()));
  LineEvent event{start, LineEventKind::EcuByte, value, ByteTimeAt(baudRate_)};
  Scheduler::Id id = scheduler_.At(event.End(), [this, event] { EcuByteEnded(event); });
  ecuBytes_.push_back({start, event.End(), id});
  return event.End();
}

void KLineBus::EcuByteEnded(const LineEvent& event) {
  {
    std::lock_guard lock(mutex_);
    Record(event);
  }
  DeliverToTester(static_cast<uint8_t>(event.value), event.End());
}

void KLineBus::CancelPendingBytes() {
  std::lock_guard lock(mutex_);
  DropUnstarted(ecuBytes_);
}

void KLineBus::WakeAt(int64_t moment) {
  uint64_t generation = modelGeneration_;
  scheduler_.At(moment, [this, generation] {
    if (model_ && generation == modelGeneration_) model_->OnTimer(plat::QueryCounter(), *this);
  });
}

}  // namespace sim
