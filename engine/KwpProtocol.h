// The interface between the communication worker and a protocol, and the timing parameter list
// through which a protocol hands the ECU's timing to the worker.
#pragma once

#include <cstdint>
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
  TIso9141Thread* FThread;  // borrowed
};
