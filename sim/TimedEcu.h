// The shape the ECU models share: a model without threads is told what happens on the line, each
// event with its time on the monotonic counter, and schedules its own bytes with their times;
// TimedEcu attaches such a model to the bus.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/EcuModel.h"

namespace sim {

// One byte the ECU puts on the line.
struct EcuByte {
  int64_t at = 0;  // start of its start bit
  uint8_t value = 0;
  int baudRate = 0;
  bool operator==(const EcuByte&) const = default;
};

class TimedEcuModel {
 public:
  virtual ~TimedEcuModel() = default;

  // Line events, in time order.
  virtual void OnLineLow(int64_t at) = 0;
  virtual void OnLineHigh(int64_t at) = 0;
  // A byte of the tester, complete at `end`, sent at `baudRate`.
  virtual void OnTesterByte(uint8_t value, int baudRate, int64_t end) = 0;
  // The next moment at which OnTimer has something to do.
  virtual std::optional<int64_t> NextTimer() const = 0;
  virtual void OnTimer(int64_t now) = 0;

  // The bytes scheduled since the last call, in time order.
  std::vector<EcuByte> TakeOutput();

  // Counter ticks for a duration in ms, and the time of one byte (10 bits) at a rate.
  static int64_t Ms(double ms);
  static int64_t ByteTime(int baudRate);

 protected:
  // Schedules a byte; returns the end of its stop bit.
  int64_t Put(uint8_t value, int64_t at, int baudRate);

 private:
  std::vector<EcuByte> output_;
};

// Passes the bus's line events to a model, puts the model's bytes on the line at their times and
// wakes the model at its timers.
class TimedEcu : public EcuModel {
 public:
  void OnLineEvent(const LineEvent& event, EcuLink& link) override;
  void OnTimer(int64_t now, EcuLink& link) override;

 protected:
  virtual TimedEcuModel& Timed() = 0;

 private:
  void Flush(EcuLink& link);

  std::optional<int64_t> wakeAt_;
};

}  // namespace sim
