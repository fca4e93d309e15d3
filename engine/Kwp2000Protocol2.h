// The KWP2000 protocol object: wakes the ECU (fast or 5-baud initialisation), frames each request
// step with format byte, optional addresses, optional length byte and 8-bit sum, reads the
// answers with the ECU's timing and turns them into response steps, reacting to baud-rate
// switches, busy and pending answers, key bytes and new timing values on the way.
//
// Created and configured in the main thread for one connection; its operations then run only in
// the worker thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "engine/ActivityLog.h"
#include "engine/Iso9141Thread2.h"
#include "engine/KwpProtocol.h"
#include "platform/SmallIntArray.h"

class TSequenceObject;

class TKwp2000Protocol : public TKwpProtocol {
 public:
  // Initialisation variants of StartTester.
  static constexpr uint8_t kInitFast = 1;
  static constexpr uint8_t kInitFiveBaud = 2;
  static constexpr uint8_t kInitPulseWithLengthByte = 3;
  static constexpr uint8_t kInitFiveBaudAtFixedAddress = 4;
  static constexpr uint8_t kInitBlockWakeUpThenFiveBaud = 5;
  // Header mode bits: address bytes (format bit 0x80), format bit 0x40.
  static constexpr int32_t kHeaderAddresses = 2;
  static constexpr int32_t kHeaderFunctional = 1;
  // Length mode bits: length in the format byte when it fits, length byte supported.
  static constexpr int32_t kLengthInFormat = 2;
  static constexpr int32_t kLengthByte = 1;
  // The service id of a negative response, and its code of an ECU that has the request and
  // sends its answer later.
  static constexpr int kNegativeResponse = 0x7F;
  static constexpr int kResponsePending = 0x78;

  TKwp2000Protocol(TKwp2000Thread* thread, TActivityLog* memo);
  ~TKwp2000Protocol() override;

  void SetT2EOffset(int32_t ms) { FT2EOffset = ms; }
  void SetInitType(uint8_t type) { FInitType = type; }
  void SetHeaderMode(int32_t mode) { FHeaderMode = mode; }
  void SetAutoHeader(uint8_t on) { FAutoHeader = on; }
  void SetLengthMode(int32_t mode) { FLengthMode = mode; }
  // Timing bytes as the ECU gives them; converted to ms and handed to the worker.
  void SetTimingParameters(int32_t p2Min, int32_t p2Max, int32_t p3Min, int32_t p3Max,
                           int32_t p4Min);

  bool StartTester(TSequenceObject* object) override;
  bool SeqTester(TSequenceObject* object) override;
  bool StopTester(TSequenceObject* object) override;
  bool Reserved1(intptr_t argument) override;
  void Reserved2(intptr_t argument) override;
  void Reserved3(intptr_t argument) override;
  void IdleTimeout() override;

  // Frame layer.
  // The request frame of step `index`; stays empty without a request there, and for a request
  // whose length does not fit a length byte (more than 254 parameter bytes).
  void BuildRequestFrame(TSequenceObject* object, TSmallIntArray* frame, int index,
                         int32_t headerMode, int32_t lengthMode);
  // Sum of the first `count` values (at most the array's count).
  static int32_t Checksum(const TSmallIntArray& array, int count);
  // One answer frame into `buffer`, cut at its size; `timeMs` is the arrival of its first byte.
  bool ReceiveFrame(std::span<uint8_t> buffer, int& size, int32_t& timeMs, int32_t firstTimeoutMs);
  // Appends the response step of a received frame and reacts to its service.
  void ProcessResponse(TSequenceObject* object, const TSmallIntArray* frame, int index);
  // One block of the block-protocol wake-up, every byte but the end byte acknowledged by its
  // complement. Sends `block` (title and data) when it is not empty, then receives a block into
  // `answer` (title and data) when one is given.
  bool ExchangeBlock(std::unique_ptr<TSmallIntArray> block, uint8_t& counter,
                     TSmallIntArray* answer);

  // Baud rate of a StartDiagnosticSession baud-rate identifier.
  static int32_t BaudRateForId(uint8_t id);

  uint8_t InitType() const { return FInitType; }
  int32_t HeaderMode() const { return FHeaderMode; }
  int32_t LengthMode() const { return FLengthMode; }
  uint8_t BaudRateId() const { return FBaudRateId; }
  int32_t MinTester2EcuTime() const { return FMinTester2EcuTime; }
  int32_t MaxTester2EcuTime() const { return FMaxTester2EcuTime; }
  int32_t MinEcu2TesterTime() const { return FMinEcu2TesterTime; }
  int32_t MaxEcu2TesterTime() const { return FMaxEcu2TesterTime; }
  int32_t MinInterByteTime() const { return FMinInterByteTime; }
  int32_t T2EOffset() const { return FT2EOffset; }
  // How long the first byte of an answer is awaited; the typed offset may take the sum to
  // either end of a wait.
  int32_t FirstByteTimeout() const {
    return ClampedWaitMs(int64_t{FMaxTester2EcuTime} + FT2EOffset);
  }

 private:
  struct Reception {
    bool ok = false;
    int size = 0;
    int32_t timeMs = 0;
  };

  // The worker as the constructor was given it.
  TKwp2000Thread& Worker() const { return static_cast<TKwp2000Thread&>(*FThread); }
  // Receives `count` bytes behind the `gathered` ones; the count received (0 on failure).
  int ReceiveInto(std::span<uint8_t> work, int gathered, int count, int32_t timeoutMs,
                  int32_t* timeMs);
  // One answer frame with the current first-byte time-out; FFrame then holds what came.
  Reception ReceiveAnswer(std::span<uint8_t> buffer);
  void KeepFrame(std::span<const uint8_t> bytes);
  // Processes FFrame as the answer to step `index`, which arrived at `timeMs`.
  void Conclude(TSequenceObject* object, int index, int32_t timeMs);
  // Sends the request in FFrame with the ECU's timing; an empty frame is not sent.
  bool SendFrame();
  void ReactToNegative(TSequenceObject* object, int index, int code);
  // Inserts a copy of the request at `index`, or of the nearest one before it, after `index`.
  void RequestAgain(TSequenceObject* object, int index);
  void TakeKeyBytes(uint8_t keyByte1, uint8_t keyByte2, bool applyRules);
  void ApplyKeyByteRules(uint8_t keyByte1, uint8_t keyByte2);

  void AddStartRequest(TSequenceObject* object, int32_t lengthMode);
  bool StartFast(TSequenceObject* object);
  bool StartPulseWithLengthByte(TSequenceObject* object);
  bool StartFiveBaud(uint8_t address, bool applyRules, bool proceed);
  bool StartBlockWakeUpThenFiveBaud();
  void DrainBlocks();
  bool SendBlock(const TSmallIntArray& block, uint8_t counter);

  std::unique_ptr<TSmallIntArray> FFrame;
  TActivityLog* FMemo;  // borrowed
  uint8_t FInitType = kInitFast;
  int32_t FHeaderMode = 0;
  uint8_t FAutoHeader = 0;
  int32_t FLengthMode = 0;
  uint8_t FBaudRateId = 20;
  int32_t FMinTester2EcuTime = 25;
  int32_t FMaxTester2EcuTime = 6400;
  int32_t FMinEcu2TesterTime = 55;
  int32_t FMaxEcu2TesterTime = 5000;
  int32_t FMinInterByteTime = 5;
  int32_t FT2EOffset = 250;
  uint8_t FFiveBaudAddress = 0x11;
  int32_t FInitBaudRate = 10400;
  int32_t FAfterInitDelay = 50;
};
