// The interface between the communication worker and a protocol, and the timing parameter list
// through which a protocol hands the ECU's timing to the worker.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

class TIso9141Thread;
class TSequenceObject;

// Names of the timing parameter list.
inline constexpr const char* kMinTester2EcuTime = "MinTester2EcuTime";
inline constexpr const char* kMaxTester2EcuTime = "MaxTester2EcuTime";
inline constexpr const char* kMinEcu2TesterTime = "MinEcu2TesterTime";
inline constexpr const char* kMaxEcu2TesterTime = "MaxEcu2TesterTime";
inline constexpr const char* kMinInterByteTime = "MinInterByteTime";
inline constexpr const char* kMaxEcuInterByteTime = "MaxEcuInterByteTime";

// One named timing value in ms.
struct TTimingParameter {
  std::string Name;
  int32_t ValueMs = 0;
};

// Timing names with their values, in the order the protocol lists them. The reader copies the
// values it knows and keeps nothing.
using TTimingList = std::vector<TTimingParameter>;

// A protocol: one operation for each kind of unit of work the worker runs. The worker calls the
// operations only in its own thread. The declaration order is the protocol's slot order.
class TKwpProtocol {
 public:
  // Most key bytes a 5-baud start takes.
  static constexpr int kMaxKeyBytes = 10;

  explicit TKwpProtocol(TIso9141Thread* thread) : FThread(thread) {}
  virtual ~TKwpProtocol() = default;
  TKwpProtocol(const TKwpProtocol&) = delete;
  TKwpProtocol& operator=(const TKwpProtocol&) = delete;

  // Kind 1: wakes the ECU and fills the worker's key bytes; true queues the object.
  virtual bool StartTester(TSequenceObject* object);
  // Kind 2: runs the request steps and appends the responses; false ends the connection.
  virtual bool SeqTester(TSequenceObject* object);
  // Kind 3: sends the stop message; the worker queues the object whatever the result.
  virtual bool StopTester(TSequenceObject* object);
  // Three slots the worker never calls.
  virtual bool Reserved1(intptr_t argument);
  virtual void Reserved2(intptr_t argument);
  virtual void Reserved3(intptr_t argument);
  // The keep-alive: pushes a kind-2 object with TIso9141Thread::PushRequest; pushing nothing
  // ends the worker.
  virtual void IdleTimeout();

 protected:
  // What the protocols share on the line.
  // Runs the request steps of `object` in order, the count read anew before each step so that
  // steps inserted on the way run too; each step gets up to `attempts` tries of `exchange`(index).
  // False at the first step whose tries all fail, and once the worker is told to end: a stop
  // that gave up waiting is not kept waiting for the rest of the list.
  bool RunRequestSteps(TSequenceObject* object, int attempts,
                       const std::function<bool(int index)>& exchange);
  // 5-baud address, sync byte 0x55, up to `maxKeyBytes` key bytes (at least 2) ended by the
  // line's silence, the pause, then the complement of key byte 2. The address and the pause
  // happen in any case; without `proceed` nothing else does and the result is false.
  struct TFiveBaudWaits {
    int32_t syncMs;
    int32_t keyBytesMs;
    int32_t complementPauseMs;
  };
  bool FiveBaudHandshake(uint8_t address, const TFiveBaudWaits& waits, int maxKeyBytes,
                         bool proceed, std::vector<uint8_t>& keyBytes);
  // A block whose bytes but the last are each answered by the receiver's complement.
  bool SendAcknowledgedBlock(std::span<const uint8_t> block);
  // Receives such a block (length, then that many bytes but the last acknowledged, then the
  // unanswered end byte); `timeMs` is the arrival of the length byte. A length below 2 leaves no
  // room for a title and fails at once.
  bool ReceiveAcknowledgedBlock(int32_t lengthTimeoutMs, std::vector<uint8_t>& block,
                                int32_t* timeMs);

  TIso9141Thread* FThread;  // borrowed
};

// A wait in ms computed from configured values: never negative, never beyond 32 bits.
int32_t ClampedWaitMs(int64_t ms);
