// What an ECU model sees of the simulated K-line and what it can do on it. A model runs on the
// bus's own thread: every call into it comes from there, one at a time, so a model needs no
// locks of its own.
#pragma once

#include <cstdint>
#include <span>

namespace sim {

enum class LineEventKind {
  BreakOn,     // the tester holds the line low
  BreakOff,    // the line returns to idle (high)
  Rts,         // value 1 set, 0 cleared
  Dtr,         // value 1 set, 0 cleared
  TesterByte,  // value: the byte; duration: its wire time
  EcuByte,     // value: the byte; duration: its wire time
  BaudChange,  // value: the new rate
  Purge,       // the tester purged its interface (not seen on the line)
};

// One time-stamped event of the bus trace. A byte's time is the start of its start bit; it is
// readable at End(), the end of its stop bit.
struct LineEvent {
  int64_t time = 0;  // counter value (ns)
  LineEventKind kind = LineEventKind::BreakOn;
  int32_t value = 0;
  int64_t duration = 0;  // wire time of a byte, else 0

  int64_t End() const { return time + duration; }
  bool operator==(const LineEvent&) const = default;
};

// The ECU's side of the bus, given to the model with every call.
class EcuLink {
 public:
  virtual ~EcuLink() = default;

  virtual int64_t Now() const = 0;
  virtual int32_t BaudRate() const = 0;
  // Wire time of one byte (10 bits) at the current rate, in counter units.
  virtual int64_t ByteTime() const = 0;
  virtual bool BreakActive() const = 0;
  // Puts a byte on the line: its start bit begins at `startTime`, or when the ECU's previous
  // byte has ended if that is later. Returns the end of the byte's stop bit.
  virtual int64_t SendByte(uint8_t value, int64_t startTime) = 0;
  // Sends the bytes, the first starting at `startTime`, each next one `gap` counts after the end
  // of the one before. Returns the end of the last byte (startTime when there are none).
  int64_t SendBytes(std::span<const uint8_t> bytes, int64_t startTime, int64_t gap) {
    int64_t next = startTime;
    int64_t end = startTime;
    for (uint8_t value : bytes) {
      end = SendByte(value, next);
      next = end + gap;
    }
    return end;
  }
  // Drops the model's bytes that have not started yet.
  virtual void CancelPendingBytes() = 0;
  // Calls the model's OnTimer at (or just after) the moment.
  virtual void WakeAt(int64_t moment) = 0;
};

class EcuModel {
 public:
  virtual ~EcuModel() = default;
  // Every event of the line except the model's own bytes and purges, in time order: an edge
  // when it happens, a tester byte at the end of its stop bit.
  virtual void OnLineEvent(const LineEvent& event, EcuLink& link) = 0;
  virtual void OnTimer(int64_t /*now*/, EcuLink& /*link*/) {}
};

}  // namespace sim
