#include "kw71/Kwp71Protocol2.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/Sequence.h"
#include "kw71/Kw71BlockTitles.h"

namespace {
constexpr uint8_t kBlockEnd = 0x03;
constexpr int32_t kAnswerAllowanceMs = 100;
constexpr int32_t kPerByteAllowanceMs = 10;
constexpr int kTransferBufferBytes = 262;

int ByteAt(const TSmallIntArray& array, int index) {
  return array.Get(index) & 0xFF;
}

void Append(TSmallIntArray& array, int value) {
  array.Add(static_cast<int16_t>(value & 0xFF));
}
}  // namespace

TKwp71Protocol::TKwp71Protocol(TIso9141Thread* thread, TActivityLog*) : TKwpProtocol(thread) {
  FThread->SetTimings({{kMinEcu2TesterTime, FMinEcu2TesterTime},
                       {kMaxEcu2TesterTime, FMaxEcu2TesterTime},
                       {kMinInterByteTime, FMinInterByteTime},
                       {kMaxEcuInterByteTime, FMaxEcuInterByteTime}});
}

TKwp71Protocol::~TKwp71Protocol() = default;

void TKwp71Protocol::SetSubType(uint8_t subType) {
  FSubType = subType;
  FMode = subType;
}

void TKwp71Protocol::SetInitParams(int32_t maxKeyBytes, int32_t maxTime55, int32_t maxTimeKeyBytes,
                                   int32_t keyByte2ComplTime) {
  FMaxKeyBytes = std::min(maxKeyBytes, kMaxKeyBytes);
  FMaxTime55 = maxTime55;
  FMaxTimeKeyBytes = maxTimeKeyBytes;
  FKeyByte2ComplTime = keyByte2ComplTime;
}

void TKwp71Protocol::SetTimings(const TTimingList& timings) {
  const std::pair<const char*, int32_t*> fields[] = {
      {kMinTester2EcuTime, &FMinTester2EcuTime}, {kMaxTester2EcuTime, &FMaxTester2EcuTime},
      {kMinEcu2TesterTime, &FMinEcu2TesterTime}, {kMaxEcu2TesterTime, &FMaxEcu2TesterTime},
      {kMinInterByteTime, &FMinInterByteTime},   {kMaxEcuInterByteTime, &FMaxEcuInterByteTime}};
  for (const TTimingParameter& timing : timings) {
    for (const auto& [name, field] : fields) {
      if (timing.Name == name) *field = timing.ValueMs;
    }
  }
  FThread->SetTimings(timings);
}

// --- blocks --------------------------------------------------------------------------------

void TKwp71Protocol::BuildBlock(TSequenceObject* object, TSmallIntArray* block, int index) {
  block->Clear();
  if (!object->HasRequestList()) return;
  const int paramCount = object->RequestParamCount(index);
  if (paramCount > (IsKwp81() ? kMaxKwp81Data : kMaxKwp71Data)) return;
  const TSmallIntArray* params = object->RequestParams(index);
  if (IsKwp81()) {
    Append(*block, paramCount + 2);
  } else {
    Append(*block, paramCount + 3);
    Append(*block, FBlockCounter + 1);
  }
  Append(*block, object->RequestServiceId(index));
  for (int i = 0; i < paramCount; ++i)
    Append(*block, params->Get(i));
  if (IsKwp81()) {
    int sum = 0;
    for (int16_t value : block->Values())
      sum += value;
    Append(*block, sum);
  } else {
    Append(*block, kBlockEnd);
  }
}

bool TKwp71Protocol::ParseBlock(TSequenceObject* object, const TSmallIntArray& block, int index) {
  const int titleAt = TitleOffset();
  if (block.Count() <= titleAt) return false;
  const int title = ByteAt(block, titleAt);
  // Data up to the byte before the sum or end byte, as far as it came.
  const int dataEnd = std::min(ByteAt(block, 0), block.Count());
  std::unique_ptr<TSmallIntArray> data;
  for (int i = titleAt + 1; i < dataEnd; ++i) {
    if (!data) data = std::make_unique<TSmallIntArray>();
    Append(*data, ByteAt(block, i));
  }
  if (!IsKwp81()) FBlockCounter = static_cast<uint8_t>(ByteAt(block, 1));
  object->AddResponse(std::make_unique<TSequence>(title, std::move(data)));
  if (IsKw71ChainTitle(title))
    object->InsertRequest(index, std::make_unique<TSequence>(kTitleAcknowledge, nullptr));
  return true;
}

// --- exchanges -----------------------------------------------------------------------------

bool TKwp71Protocol::SendRequestBlock(TSequenceObject* object, int index) {
  BuildBlock(object, &FBlock, index);
  if (FBlock.Count() == 0) return false;
  const std::vector<uint8_t> bytes = FBlock.Bytes();
  if (IsKwp81()) return FThread->SendRequest(bytes.data(), static_cast<int>(bytes.size()));
  return SendAcknowledgedBlock(bytes);
}

bool TKwp71Protocol::ReceiveKwp81Block(int32_t& timeMs) {
  uint8_t length = 0;
  if (!FThread->ReceiveByte(length, ClampedWaitMs(int64_t{FMaxTester2EcuTime} + kAnswerAllowanceMs),
                            &timeMs)) {
    return false;
  }
  Append(FBlock, length);
  std::array<uint8_t, kTransferBufferBytes> rest{};
  int received = 0;
  const int32_t restWaitMs = ClampedWaitMs(
      (int64_t{FMaxEcuInterByteTime} + kPerByteAllowanceMs) * length + kAnswerAllowanceMs);
  if (!FThread->Receive(rest.data(), length, received, restWaitMs, nullptr)) return false;
  for (int i = 0; i < received; ++i)
    Append(FBlock, rest[static_cast<size_t>(i)]);
  return true;
}

bool TKwp71Protocol::ReceiveBlock(int32_t& timeMs) {
  FBlock.Clear();
  if (IsKwp81()) return ReceiveKwp81Block(timeMs);
  std::vector<uint8_t> bytes;
  const bool ok = ReceiveAcknowledgedBlock(
      ClampedWaitMs(int64_t{FMaxTester2EcuTime} + kAnswerAllowanceMs), bytes, &timeMs);
  for (uint8_t value : bytes)
    Append(FBlock, value);
  return ok;
}

bool TKwp71Protocol::ExchangeStep(TSequenceObject* object, int index) {
  if (object->HasRequest(index) && !SendRequestBlock(object, index)) return false;
  int32_t timeMs = 0;
  if (!ReceiveBlock(timeMs) || !ParseBlock(object, FBlock, index)) return false;
  object->SetResponseTime(index, timeMs);
  return true;
}

bool TKwp71Protocol::SeqTester(TSequenceObject* object) {
  return RunRequestSteps(object, 1, [&](int index) { return ExchangeStep(object, index); });
}

bool TKwp71Protocol::StopTester(TSequenceObject* object) {
  object->AddRequest(std::make_unique<TSequence>(kTitleEndOfCommunication, nullptr));
  return !object->HasRequest(0) || SendRequestBlock(object, 0);
}

bool TKwp71Protocol::Reserved1(intptr_t) {
  return true;
}

void TKwp71Protocol::Reserved2(intptr_t) {}

void TKwp71Protocol::Reserved3(intptr_t) {}

void TKwp71Protocol::IdleTimeout() {
  FThread->PushRequest(
      TSequenceObject::CreateFromService(kTitleAcknowledge, nullptr, skExecuteSequence));
}

// --- start ---------------------------------------------------------------------------------

bool TKwp71Protocol::StartTester(TSequenceObject*) {
  FMode = FSubType;
  std::vector<uint8_t> keyBytes;
  if (!FiveBaudHandshake(FThread->GetTargetAddress(),
                         {FMaxTime55, FMaxTimeKeyBytes, FKeyByte2ComplTime}, FMaxKeyBytes, true,
                         keyBytes)) {
    return false;
  }
  TSmallIntArray& workerKeyBytes = FThread->KeyBytes();
  workerKeyBytes.Clear();
  for (uint8_t value : keyBytes)
    workerKeyBytes.Add(value);
  // The ECU's identification blocks follow the complement: a receive-only step reads them.
  FThread->PushRequest(TSequenceObject::CreateWithStep(nullptr, skExecuteSequence));
  return true;
}
