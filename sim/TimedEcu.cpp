#include "sim/TimedEcu.h"

#include <algorithm>

namespace sim {

std::vector<EcuByte> TimedEcuModel::TakeOutput() {
  std::vector<EcuByte> taken;
  taken.swap(output_);
  std::stable_sort(taken.begin(), taken.end(),
                   [](const EcuByte& a, const EcuByte& b) { return a.at < b.at; });
  return taken;
}

int64_t TimedEcuModel::Ms(double ms) {
  return static_cast<int64_t>(ms * 1'000'000.0);
}

int64_t TimedEcuModel::ByteTime(int baudRate) {
  return 10'000'000'000LL / baudRate;
}

int64_t TimedEcuModel::Put(uint8_t value, int64_t at, int baudRate) {
  output_.push_back({at, value, baudRate});
  return at + ByteTime(baudRate);
}

void TimedEcu::OnLineEvent(const LineEvent& event, EcuLink& link) {
  TimedEcuModel& model = Timed();
  switch (event.kind) {
    case LineEventKind::BreakOn:
      model.OnLineLow(event.time);
      break;
    case LineEventKind::BreakOff:
      model.OnLineHigh(event.time);
      break;
    case LineEventKind::TesterByte:
      model.OnTesterByte(static_cast<uint8_t>(event.value), link.BaudRate(), event.End());
      break;
    default:
      return;
  }
  Flush(link);
}

void TimedEcu::OnTimer(int64_t now, EcuLink& link) {
  if (wakeAt_ && *wakeAt_ <= now) wakeAt_.reset();
  Timed().OnTimer(now);
  Flush(link);
}

void TimedEcu::Flush(EcuLink& link) {
  for (const EcuByte& byte : Timed().TakeOutput())
    link.SendByte(byte.value, byte.at);
  const std::optional<int64_t> next = Timed().NextTimer();
  if (next && (!wakeAt_ || *next < *wakeAt_)) {
    wakeAt_ = next;
    link.WakeAt(*next);
  }
}

}  // namespace sim
