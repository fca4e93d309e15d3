// The KWP71 and KWP81 block protocol object: wakes the ECU at 5 baud, answers its key bytes with
// the complement of key byte 2, then exchanges blocks whose title plays the part of a service id.
//
// KWP71 block: length, block counter, title, data, end byte 0x03; each byte but the end byte is
// answered by the receiver with its complement. KWP81 block: length, title, data, 8-bit sum. An
// ECU sends a longer answer as a chain of blocks; the tester fetches each next block with an
// acknowledge block (title 0x09), which also keeps an idle connection alive.
//
// Created and configured in the main thread for one connection; its operations then run only in
// the worker thread.
#pragma once

#include <cstdint>

#include "engine/ActivityLog.h"
#include "engine/Iso9141Thread2.h"
#include "engine/KwpProtocol.h"
#include "platform/SmallIntArray.h"

class TSequenceObject;

class TKwp71Protocol : public TKwpProtocol {
 public:
  // Sub-types: everything but KWP81 frames as KWP71.
  static constexpr uint8_t kSubTypeAuto = 0;
  static constexpr uint8_t kSubTypeKwp71 = 1;
  static constexpr uint8_t kSubTypeKwp81 = 2;
  // Titles the protocol acts on.
  static constexpr int kTitleAcknowledge = 0x09;
  static constexpr int kTitleEndOfCommunication = 0x06;
  // Most data bytes of a request block, by framing.
  static constexpr int kMaxKwp71Data = 252;
  static constexpr int kMaxKwp81Data = 253;

  // Hands the worker its default timing values. The protocol writes no activity-log line, so the
  // memo is not kept.
  TKwp71Protocol(TIso9141Thread* thread, TActivityLog* memo);
  ~TKwp71Protocol() override;

  void SetSubType(uint8_t subType);
  // The most key bytes is cut to 10.
  void SetInitParams(int32_t maxKeyBytes, int32_t maxTime55, int32_t maxTimeKeyBytes,
                     int32_t keyByte2ComplTime);
  // Takes the six timing names it knows, then hands the list to the worker.
  void SetTimings(const TTimingList& timings);

  bool StartTester(TSequenceObject* object) override;
  bool SeqTester(TSequenceObject* object) override;
  bool StopTester(TSequenceObject* object) override;
  bool Reserved1(intptr_t argument) override;
  void Reserved2(intptr_t argument) override;
  void Reserved3(intptr_t argument) override;
  void IdleTimeout() override;

  // The block of request step `index` in the framing in force; empty without a request list
  // and for a request with more data bytes than a block holds.
  void BuildBlock(TSequenceObject* object, TSmallIntArray* block, int index);
  // Appends the response step of a received block (its bytes as far as they came) to `object`
  // and, for a chained answer, the acknowledge request right after step `index`. False for a
  // block too short to hold a title.
  bool ParseBlock(TSequenceObject* object, const TSmallIntArray& block, int index);

  uint8_t Mode() const { return FMode; }
  uint8_t BlockCounter() const { return FBlockCounter; }
  int32_t MaxKeyBytes() const { return FMaxKeyBytes; }
  int32_t MaxTester2EcuTime() const { return FMaxTester2EcuTime; }
  int32_t MaxEcuInterByteTime() const { return FMaxEcuInterByteTime; }

 private:
  bool IsKwp81() const { return FMode == kSubTypeKwp81; }
  int TitleOffset() const { return IsKwp81() ? 1 : 2; }
  // One request step: its block (when the step is not empty), then the answer block.
  bool ExchangeStep(TSequenceObject* object, int index);
  bool SendRequestBlock(TSequenceObject* object, int index);
  // The answer block into FBlock; `timeMs` is the arrival of its length byte.
  bool ReceiveBlock(int32_t& timeMs);
  bool ReceiveKwp81Block(int32_t& timeMs);

  uint8_t FBlockCounter = 0;
  TSmallIntArray FBlock;
  int32_t FMaxKeyBytes = 5;
  int32_t FMaxTime55 = 1500;
  int32_t FMaxTimeKeyBytes = 1000;
  int32_t FKeyByte2ComplTime = 30;
  int32_t FMinTester2EcuTime = 2;
  int32_t FMaxTester2EcuTime = 500;
  int32_t FMinEcu2TesterTime = 2;
  int32_t FMaxEcu2TesterTime = 400;
  int32_t FMinInterByteTime = 2;
  int32_t FMaxEcuInterByteTime = 150;
  uint8_t FMode = kSubTypeAuto;
  uint8_t FSubType = kSubTypeAuto;
};
