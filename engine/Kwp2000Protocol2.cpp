#include "engine/Kwp2000Protocol2.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

#include "engine/Sequence.h"

namespace {
constexpr int kStartCommunication = 0x81;
constexpr int kStopCommunication = 0x82;
constexpr int kTesterPresent = 0x3E;
constexpr int kStartDiagnosticSession = 0x10;
constexpr int kStartSessionAnswer = 0x50;
constexpr int kStartCommunicationAnswer = 0xC1;
constexpr int kTimingAnswer = 0xC3;
constexpr int kEmptyFrameAnswer = 0x76;
constexpr int kBusyRepeatRequest = 0x21;
constexpr int kRoutineNotComplete = 0x23;
constexpr int kCurrentTimingValues = 2;

constexpr int kAddressedFlag = 0x80;
constexpr int kFunctionalFlag = 0x40;
constexpr int kLengthMask = 0x3F;
constexpr int kMaxLengthInFormat = 63;
constexpr int kMaxParams = 254;

constexpr uint8_t kRuleKeyByte2 = 0x8F;  // the key-byte rules apply only with this key byte 2
constexpr int kKeyByte1PlainHeader = 0x04;
constexpr int kKeyByte1AddressedHeader = 0x08;
constexpr int kKeyByte1LengthByte = 0x02;
constexpr int kKeyByte1LengthInFormat = 0x01;

constexpr uint8_t kBlockEnd = 0x03;
constexpr uint8_t kBlockAcknowledge = 0x09;
constexpr uint8_t kBlockEndOfCommunication = 0x06;
constexpr int kBlockIdentification = 0xF6;
constexpr int kMaxBlockContent = 253;
constexpr int32_t kBlockWaitMs = 1000;
constexpr int kKeyBytes = 2;

constexpr int kFrameWorkBytes = 260;
constexpr int kStartAnswerBytes = 20;
constexpr int kSequenceBufferBytes = 262;
constexpr int kAttempts = 3;
constexpr int32_t kLineBaudRate = 10400;
constexpr int32_t kPendingAnswerWaitMs = 10000;
constexpr uint32_t kBusyPauseMs = 1000;
constexpr uint32_t kRoutinePauseMs = 1500;
constexpr float kFastInitPulseMs = 25.0f;
constexpr int32_t kKeyByteComplementPauseMs = 30;
constexpr uint32_t kBlockWakeUpPauseMs = 1500;
constexpr int32_t kPerByteAllowanceMs = 22;
constexpr int32_t kExtraAllowanceMs = 100;

int ByteAt(const TSmallIntArray& array, int index) {
  return array.Get(index) & 0xFF;
}

// The three bytes FF 76 75 that count as a complete frame.
bool IsEmptyFrameReply(std::span<const uint8_t> bytes) {
  return bytes.size() == 3 && bytes[0] == 0xFF && bytes[1] == 0x76 && bytes[2] == 0x75;
}

bool IsEmptyFrameReply(const TSmallIntArray& frame) {
  const std::vector<uint8_t> bytes = frame.Bytes();
  return IsEmptyFrameReply(std::span<const uint8_t>(bytes));
}

struct ParsedFrame {
  bool lengthOk = false;
  bool checksumOk = true;
  int serviceId = 0;
  std::unique_ptr<TSmallIntArray> data;  // null when the frame carries no data bytes
};

ParsedFrame ParseFrame(const TSmallIntArray& frame) {
  ParsedFrame parsed;
  if (IsEmptyFrameReply(frame)) {
    parsed.lengthOk = true;
    parsed.serviceId = kEmptyFrameAnswer;
    return parsed;
  }
  const int count = frame.Count();
  const int format = ByteAt(frame, 0);
  int length = format & kLengthMask;
  int position = (format & kAddressedFlag) ? 3 : 1;
  if (length == 0 && position < count) length = ByteAt(frame, position++);
  if (length == 0 || length + position + 1 != count) return parsed;
  parsed.lengthOk = true;
  parsed.serviceId = ByteAt(frame, position);
  for (int i = 1; i < length; ++i) {
    if (!parsed.data) parsed.data = std::make_unique<TSmallIntArray>();
    parsed.data->Add(static_cast<int16_t>(ByteAt(frame, position + i)));
  }
  parsed.checksumOk =
      (TKwp2000Protocol::Checksum(frame, count - 1) & 0xFF) == ByteAt(frame, count - 1);
  return parsed;
}

int32_t ReceiveAllowanceMs(int count) {
  return count * kPerByteAllowanceMs + kExtraAllowanceMs;
}

std::unique_ptr<TSmallIntArray> BlockWithTitle(uint8_t title) {
  return std::make_unique<TSmallIntArray>(std::initializer_list<int16_t>{title});
}

int TitleOf(const TSmallIntArray& block) {
  return block.Count() > 0 ? ByteAt(block, 0) : -1;
}
}  // namespace

// --- construction, options and timing ------------------------------------------------------

TKwp2000Protocol::TKwp2000Protocol(TKwp2000Thread* thread, TActivityLog* memo)
    : TKwpProtocol(thread), FFrame(std::make_unique<TSmallIntArray>()), FMemo(memo) {
  SetTimingParameters(50, 0xF1, 110, 20, 10);
  FT2EOffset = 250;
}

TKwp2000Protocol::~TKwp2000Protocol() = default;

void TKwp2000Protocol::SetTimingParameters(int32_t p2Min, int32_t p2Max, int32_t p3Min,
                                           int32_t p3Max, int32_t p4Min) {
  FMinTester2EcuTime = p2Min / 2;
  FMaxTester2EcuTime = p2Max <= 0xF0 ? p2Max * 25 : (p2Max & 0x0F) * 6400;
  FMinEcu2TesterTime = p3Min / 2;
  FMaxEcu2TesterTime = p3Max * 250;
  FMinInterByteTime = p4Min / 2;
  FThread->SetTimings({{kMinTester2EcuTime, FMinTester2EcuTime},
                       {kMaxTester2EcuTime, FMaxTester2EcuTime},
                       {kMinEcu2TesterTime, FMinEcu2TesterTime},
                       {kMaxEcu2TesterTime, FMaxEcu2TesterTime},
                       {kMinInterByteTime, FMinInterByteTime}});
}

int32_t TKwp2000Protocol::BaudRateForId(uint8_t id) {
  switch (id) {
    case 1:
      return 9600;
    case 2:
      return 19200;
    case 3:
      return 38400;
    case 4:
      return 57600;
    case 5:
      return 115200;
    case 250:
      return 187500;
    default:
      break;
  }
  if (id >= 16 && id <= 168) return (((id & 0x1F) + 32) << (id >> 5)) * 200;
  return kLineBaudRate;
}

// --- frame layer ---------------------------------------------------------------------------

int32_t TKwp2000Protocol::Checksum(const TSmallIntArray& array, int count) {
  const auto& values = array.Values();
  const int n = std::clamp(count, 0, array.Count());
  return std::accumulate(values.begin(), values.begin() + n, int32_t{0});
}

void TKwp2000Protocol::BuildRequestFrame(TSequenceObject* object, TSmallIntArray* frame, int index,
                                         int32_t headerMode, int32_t lengthMode) {
  if (!frame) return;
  frame->Clear();
  if (!object->HasRequest(index)) return;
  const int paramCount = object->RequestParamCount(index);
  if (paramCount > kMaxParams) return;
  const int length = paramCount + 1;
  const bool addressed = (headerMode & kHeaderAddresses) != 0;
  int format = addressed ? kAddressedFlag : 0;
  if (headerMode & kHeaderFunctional) format |= kFunctionalFlag;
  if ((lengthMode & kLengthInFormat) && length <= kMaxLengthInFormat) format += length;
  frame->Add(static_cast<int16_t>(format));
  if (addressed) {
    frame->Add(FThread->GetTargetAddress());
    frame->Add(Worker().GetSourceAddress());
  }
  if ((format & kLengthMask) == 0) frame->Add(static_cast<int16_t>(length));
  const int serviceId = object->RequestServiceId(index);
  frame->Add(static_cast<int16_t>(serviceId));
  const TSmallIntArray* params = object->RequestParams(index);
  for (int i = 0; i < paramCount; ++i)
    frame->Add(params->Get(i));
  frame->Add(static_cast<int16_t>(Checksum(*frame, frame->Count()) & 0xFF));
  if (serviceId != kStartDiagnosticSession) return;
  FBaudRateId = 20;
  if (paramCount >= 2) FBaudRateId = static_cast<uint8_t>(ByteAt(*params, 1));
  if (FBaudRateId == 0 && paramCount >= 3) FBaudRateId = static_cast<uint8_t>(ByteAt(*params, 2));
}

int TKwp2000Protocol::ReceiveInto(std::span<uint8_t> work, int gathered, int count,
                                  int32_t timeoutMs, int32_t* timeMs) {
  int received = 0;
  if (!FThread->Receive(work.data() + gathered, count, received, timeoutMs, timeMs)) return 0;
  return received;
}

bool TKwp2000Protocol::ReceiveFrame(std::span<uint8_t> buffer, int& size, int32_t& timeMs,
                                    int32_t firstTimeoutMs) {
  std::array<uint8_t, kFrameWorkBytes> work{};
  int gathered = 0;
  bool ok = ReceiveInto(work, 0, 1, firstTimeoutMs, &timeMs) == 1;
  if (ok) {
    gathered = 1;
    const uint8_t format = work[0];
    int length = format & kLengthMask;
    int addresses = (format & kAddressedFlag) ? 2 : 0;
    if (length == 0) {
      const int header = addresses + 1;
      ok = ReceiveInto(work, gathered, header, ReceiveAllowanceMs(header), nullptr) == header;
      if (ok) {
        gathered += header;
        length = work[gathered - 1];
        addresses = 0;
      }
    }
    if (ok) {
      const int rest = length + addresses + 1;
      const int got = ReceiveInto(work, gathered, rest, ReceiveAllowanceMs(rest), nullptr);
      ok = got == rest || (got == 2 && IsEmptyFrameReply(std::span<const uint8_t>(work).first(3)));
      if (ok) gathered += got;
    }
  }
  size = std::min(gathered, static_cast<int>(buffer.size()));
  std::copy_n(work.begin(), size, buffer.begin());
  return ok;
}

void TKwp2000Protocol::ProcessResponse(TSequenceObject* object, const TSmallIntArray* frame,
                                       int index) {
  if (!frame || frame->Count() == 0) return;
  ParsedFrame parsed = ParseFrame(*frame);
  if (!parsed.lengthOk) {
    AddActivityLine(FMemo, "Error in length rcvd");
    return;
  }
  if (!parsed.checksumOk) AddActivityLine(FMemo, "Error in chk rcvd");
  if (parsed.serviceId == 0) return;
  const TSmallIntArray data = parsed.data ? *parsed.data : TSmallIntArray{};
  object->AddResponse(std::make_unique<TSequence>(parsed.serviceId, std::move(parsed.data)));
  switch (parsed.serviceId) {
    case kStartSessionAnswer:
      FThread->SetBaudRate(BaudRateForId(FBaudRateId));
      break;
    case kNegativeResponse:
      if (data.Count() >= 2) ReactToNegative(object, index, ByteAt(data, 1));
      break;
    case kStartCommunicationAnswer:
      if (data.Count() >= 2 && FThread->KeyBytes().Count() == 0) {
        TakeKeyBytes(static_cast<uint8_t>(ByteAt(data, 0)), static_cast<uint8_t>(ByteAt(data, 1)),
                     true);
      }
      break;
    case kTimingAnswer:
      if (data.Count() >= 6 && ByteAt(data, 0) == kCurrentTimingValues) {
        SetTimingParameters(ByteAt(data, 1), ByteAt(data, 2), ByteAt(data, 3), ByteAt(data, 4),
                            ByteAt(data, 5));
      }
      break;
    default:
      break;
  }
}

void TKwp2000Protocol::ReactToNegative(TSequenceObject* object, int index, int code) {
  switch (code) {
    case kBusyRepeatRequest:
      FThread->Pause(kBusyPauseMs);
      RequestAgain(object, index);
      break;
    case kRoutineNotComplete:
      FThread->Pause(kRoutinePauseMs);
      RequestAgain(object, index);
      break;
    case kResponsePending:
      object->InsertEmptyRequest(index);
      FMaxTester2EcuTime = kPendingAnswerWaitMs;
      break;
    default:
      break;
  }
}

void TKwp2000Protocol::RequestAgain(TSequenceObject* object, int index) {
  int k = index;
  while (!object->HasRequest(k) && k > 0)
    --k;
  if (object->HasRequest(k)) object->InsertRequest(index, object->GetRequest(k)->Clone());
}

void TKwp2000Protocol::TakeKeyBytes(uint8_t keyByte1, uint8_t keyByte2, bool applyRules) {
  FThread->KeyBytes().Add(keyByte1);
  FThread->KeyBytes().Add(keyByte2);
  if (applyRules) ApplyKeyByteRules(keyByte1, keyByte2);
}

void TKwp2000Protocol::ApplyKeyByteRules(uint8_t keyByte1, uint8_t keyByte2) {
  if (keyByte2 != kRuleKeyByte2) return;
  if (FAutoHeader == 1) {
    if (!(keyByte1 & kKeyByte1PlainHeader)) FHeaderMode |= kHeaderAddresses;
    if (!(keyByte1 & kKeyByte1AddressedHeader)) FHeaderMode &= ~kHeaderAddresses;
  }
  if (FLengthMode == 0) {
    if (keyByte1 & kKeyByte1LengthByte) FLengthMode |= kLengthByte;
    if (keyByte1 & kKeyByte1LengthInFormat) FLengthMode |= kLengthInFormat;
  }
}

// --- exchanges -----------------------------------------------------------------------------

bool TKwp2000Protocol::SendFrame() {
  if (FFrame->Count() == 0) return false;
  const std::vector<uint8_t> bytes = FFrame->Bytes();
  return FThread->SendRequest(bytes.data(), static_cast<int>(bytes.size()));
}

TKwp2000Protocol::Reception TKwp2000Protocol::ReceiveAnswer(std::span<uint8_t> buffer) {
  Reception reception;
  reception.ok = ReceiveFrame(buffer, reception.size, reception.timeMs, FirstByteTimeout());
  KeepFrame(buffer.first(static_cast<size_t>(reception.size)));
  return reception;
}

void TKwp2000Protocol::KeepFrame(std::span<const uint8_t> bytes) {
  FFrame->Clear();
  for (uint8_t value : bytes)
    FFrame->Add(value);
}

void TKwp2000Protocol::Conclude(TSequenceObject* object, int index, int32_t timeMs) {
  ProcessResponse(object, FFrame.get(), index);
  object->SetResponseTime(index, timeMs);
}

bool TKwp2000Protocol::SeqTester(TSequenceObject* object) {
  std::array<uint8_t, kSequenceBufferBytes> buffer{};
  // The frame is built again for each attempt.
  return RunRequestSteps(object, kAttempts, [&](int index) {
    if (object->HasRequest(index)) {
      BuildRequestFrame(object, FFrame.get(), index, FHeaderMode, FLengthMode);
      if (!SendFrame()) return false;
    }
    const Reception answer = ReceiveAnswer(buffer);
    if (answer.ok) Conclude(object, index, answer.timeMs);
    return answer.ok;
  });
}

bool TKwp2000Protocol::StopTester(TSequenceObject* object) {
  std::array<uint8_t, kSequenceBufferBytes> buffer{};
  object->AddRequest(std::make_unique<TSequence>(kStopCommunication, nullptr));
  Reception answer;
  if (object->HasRequest(0)) {
    BuildRequestFrame(object, FFrame.get(), 0, FHeaderMode, FLengthMode);
    if (SendFrame()) answer = ReceiveAnswer(buffer);
  }
  KeepFrame(std::span<const uint8_t>(buffer).first(static_cast<size_t>(answer.size)));
  Conclude(object, 0, answer.timeMs);
  return answer.ok;
}

bool TKwp2000Protocol::Reserved1(intptr_t) {
  return true;
}

void TKwp2000Protocol::Reserved2(intptr_t) {}

void TKwp2000Protocol::Reserved3(intptr_t) {}

void TKwp2000Protocol::IdleTimeout() {
  FThread->PushRequest(
      TSequenceObject::CreateFromService(kTesterPresent, nullptr, skExecuteSequence));
}

// --- initialisation ------------------------------------------------------------------------

bool TKwp2000Protocol::StartTester(TSequenceObject* object) {
  FThread->SetBaudRate(kLineBaudRate);
  FThread->KeyBytes().Clear();
  switch (FInitType) {
    case kInitFast:
      return StartFast(object);
    case kInitFiveBaud:
      return StartFiveBaud(FThread->GetTargetAddress(), true, true);
    case kInitPulseWithLengthByte:
      return StartPulseWithLengthByte(object);
    case kInitFiveBaudAtFixedAddress:
      return StartFiveBaud(FFiveBaudAddress, false, true);
    case kInitBlockWakeUpThenFiveBaud:
      return StartBlockWakeUpThenFiveBaud();
    default:
      return true;
  }
}

void TKwp2000Protocol::AddStartRequest(TSequenceObject* object, int32_t lengthMode) {
  object->AddRequest(std::make_unique<TSequence>(kStartCommunication, nullptr));
  BuildRequestFrame(object, FFrame.get(), 0, FHeaderMode | kHeaderAddresses, lengthMode);
}

bool TKwp2000Protocol::StartFast(TSequenceObject* object) {
  AddStartRequest(object, kLengthInFormat);
  const std::vector<uint8_t> request = FFrame->Bytes();
  if (!Worker().FastInitAndSend(kFastInitPulseMs, kFastInitPulseMs, request.data(),
                                static_cast<int>(request.size()))) {
    return false;
  }
  std::array<uint8_t, kStartAnswerBytes> buffer{};
  const Reception answer = ReceiveAnswer(buffer);
  if (answer.ok) Conclude(object, 0, answer.timeMs);
  return answer.ok;
}

bool TKwp2000Protocol::StartPulseWithLengthByte(TSequenceObject* object) {
  AddStartRequest(object, 0);
  const std::vector<uint8_t> request = FFrame->Bytes();
  const auto send = [&] {
    return FThread->SendRequest(request.data(), static_cast<int>(request.size()));
  };
  Worker().FastInit25ms();
  if (!send()) return false;
  std::array<uint8_t, kStartAnswerBytes> buffer{};
  Reception answer = ReceiveAnswer(buffer);
  if (answer.ok && answer.size > 3 && buffer[3] == kNegativeResponse) {
    answer = send() ? ReceiveAnswer(buffer) : Reception{};
  }
  if (answer.ok) Conclude(object, 0, answer.timeMs);
  return answer.ok;
}

bool TKwp2000Protocol::StartFiveBaud(uint8_t address, bool applyRules, bool proceed) {
  std::vector<uint8_t> keyBytes;
  bool ok = FiveBaudHandshake(address, {500, 500, kKeyByteComplementPauseMs}, kKeyBytes, proceed,
                              keyBytes);
  uint8_t addressComplement = 0;
  ok = ok && FThread->ReceiveByte(addressComplement, 1500, nullptr);
  if (ok) TakeKeyBytes(keyBytes[0], keyBytes[1], applyRules);
  FThread->Pause(static_cast<uint32_t>(ClampedWaitMs(FAfterInitDelay)));
  return ok;
}

bool TKwp2000Protocol::StartBlockWakeUpThenFiveBaud() {
  FThread->SetBaudRate(FInitBaudRate);
  std::vector<uint8_t> keyBytes;
  const bool woke =
      FiveBaudHandshake(FThread->GetTargetAddress(), {1500, 1000, kKeyByteComplementPauseMs},
                        kKeyBytes, true, keyBytes);
  if (woke) DrainBlocks();
  FThread->Pause(kBlockWakeUpPauseMs);
  FThread->SetBaudRate(kLineBaudRate);
  return StartFiveBaud(FThread->GetTargetAddress(), false, woke);
}

void TKwp2000Protocol::DrainBlocks() {
  uint8_t counter = 0;
  TSmallIntArray answer;
  bool received = ExchangeBlock(std::make_unique<TSmallIntArray>(), counter, &answer);
  while (received && TitleOf(answer) == kBlockIdentification) {
    received = ExchangeBlock(BlockWithTitle(kBlockAcknowledge), counter, &answer);
  }
  ExchangeBlock(BlockWithTitle(kBlockEndOfCommunication), counter, nullptr);
}

bool TKwp2000Protocol::ExchangeBlock(std::unique_ptr<TSmallIntArray> block, uint8_t& counter,
                                     TSmallIntArray* answer) {
  const bool ok = !block || block->Count() == 0 || SendBlock(*block, counter);
  block.reset();
  if (!answer || !ok) return ok;
  std::vector<uint8_t> received;  // length, counter, title, data, end byte
  if (!ReceiveAcknowledgedBlock(kBlockWaitMs, received, nullptr)) return false;
  counter = received[1];
  answer->Clear();
  for (size_t i = 2; i + 1 < received.size(); ++i)
    answer->Add(received[i]);
  return true;
}

bool TKwp2000Protocol::SendBlock(const TSmallIntArray& block, uint8_t counter) {
  if (block.Count() > kMaxBlockContent) return false;
  std::vector<uint8_t> bytes{static_cast<uint8_t>(block.Count() + 2),
                             static_cast<uint8_t>(counter + 1)};
  const std::vector<uint8_t> content = block.Bytes();
  bytes.insert(bytes.end(), content.begin(), content.end());
  bytes.push_back(kBlockEnd);
  return SendAcknowledgedBlock(bytes);
}
