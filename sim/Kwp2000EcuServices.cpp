#include "sim/Kwp2000EcuServices.h"

#include <algorithm>

namespace sim {

namespace {
constexpr uint8_t kPositiveBit = 0x40;
constexpr uint8_t kNegative = 0x7F;
constexpr uint8_t kServiceNotSupported = 0x11;
constexpr uint8_t kInvalidFormat = 0x12;
constexpr uint8_t kOutOfRange = 0x31;
constexpr uint8_t kResponsePending = 0x78;

constexpr uint8_t kReadLimits = 0x00;
constexpr uint8_t kSetDefaults = 0x01;
constexpr uint8_t kReadCurrent = 0x02;
constexpr uint8_t kSetValues = 0x03;
constexpr uint8_t kNoAnswerWanted = 0x02;
constexpr uint16_t kAllGroups = 0xFF00;
constexpr uint16_t kAllGroupsToo = 0xFFFF;
constexpr uint16_t kAreaBits = 0xC000;

Bytes Kwp2000Negative(uint8_t service, uint8_t code) {
  return {kNegative, service, code};
}

uint8_t Positive(uint8_t service) {
  return static_cast<uint8_t>(service | kPositiveBit);
}

// The positive answer that repeats the request's parameters.
Bytes Echoed(const Bytes& request) {
  Bytes answer = request;
  answer[0] = Positive(request[0]);
  return answer;
}

uint16_t Word(const Bytes& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void AppendDtc(Bytes& answer, const Kwp2000Dtc& dtc) {
  answer.push_back(static_cast<uint8_t>(dtc.code >> 8));
  answer.push_back(static_cast<uint8_t>(dtc.code & 0xFF));
  answer.push_back(dtc.status);
}

void Append(Bytes& answer, const Bytes& more) {
  answer.insert(answer.end(), more.begin(), more.end());
}

// A group of trouble codes: all of them (0xFF00 or 0xFFFF), an area (0x0000, 0x4000, 0x8000,
// 0xC000), or else the one code.
bool InGroup(const Kwp2000Dtc& dtc, uint16_t group) {
  if (group == kAllGroups || group == kAllGroupsToo) return true;
  if ((group & ~kAreaBits) == 0) return (dtc.code & kAreaBits) == group;
  return dtc.code == group;
}

template <typename Key>
std::optional<Bytes> Lookup(const std::map<Key, Kwp2000LiveRecord>& live,
                            const std::map<Key, Bytes>& fixed, Key key, double seconds) {
  if (const auto record = live.find(key); record != live.end()) return record->second(seconds);
  if (const auto record = fixed.find(key); record != fixed.end()) return record->second;
  return std::nullopt;
}
}  // namespace

Kwp2000EcuServices::Kwp2000EcuServices(Kwp2000EcuIdentity identity, Kwp2000EcuData data)
    : identity_(identity), data_(std::move(data)) {}

void Kwp2000EcuServices::QueueNegative(uint8_t service, uint8_t code, int times) {
  negatives_[service] = NegativePlan{code, times};
}

Kwp2000EcuReply Kwp2000EcuServices::Answer(const Kwp2000EcuFrame& request, Kwp2000EcuTiming& timing,
                                           int64_t now) {
  Kwp2000EcuReply reply;
  if (request.payload.empty()) return reply;
  if (!firstRequest_) firstRequest_ = now;
  const double seconds = static_cast<double>(now - *firstRequest_) / 1e9;
  const Kwp2000FrameForm form = AnswerFormFor(request, identity_.address, identity_.keyByte1);
  const auto send = [&](const Bytes& payload) {
    reply.frames.push_back(BuildKwp2000Frame(payload, form));
  };
  const uint8_t service = request.payload[0];
  if (auto plan = negatives_.find(service); plan != negatives_.end()) {
    const NegativePlan negative = plan->second;
    if (negative.code == kResponsePending) {
      negatives_.erase(plan);
      for (int i = 0; i < negative.times; ++i)
        send(Kwp2000Negative(service, negative.code));
    } else {
      if (--plan->second.times <= 0) negatives_.erase(plan);
      send(Kwp2000Negative(service, negative.code));
      return reply;
    }
  }
  Bytes answer = Serve(request.payload, timing, reply.baudRate, seconds);
  if (!answer.empty()) send(answer);
  return reply;
}

Bytes Kwp2000EcuServices::Serve(const Bytes& request, Kwp2000EcuTiming& timing, int& baudRate,
                                double seconds) {
  const uint8_t service = request[0];
  switch (service) {
    case 0x81:  // StartCommunication
      return {Positive(service), identity_.keyByte1, identity_.keyByte2};
    case 0x82:  // StopCommunication
    case 0x11:  // EcuReset
      return Echoed(request);
    case 0x30:
      return ControlInputOutput(request, seconds);
    case 0x83:
      return AccessTiming(request, timing);
    case 0x10:
      return StartSession(request, baudRate);
    case 0x18:
      return ReadByStatus(request);
    case 0x17:
      return ReadStatusOf(request);
    case 0x14:
      return Clear(request);
    case 0x1A:
      return Identification(request);
    case 0x21:
      return ReadRecord(request, 1, seconds);
    case 0x22:
      return ReadRecord(request, 2, seconds);
    case 0x3E:  // TesterPresent
      if (request.size() > 1 && request[1] == kNoAnswerWanted) return {};
      return {Positive(service)};
    default:
      return Kwp2000Negative(service, kServiceNotSupported);
  }
}

Bytes Kwp2000EcuServices::AccessTiming(const Bytes& request, Kwp2000EcuTiming& timing) const {
  const uint8_t service = request[0];
  const uint8_t which = request.size() > 1 ? request[1] : 0xFF;
  Bytes answer{Positive(service), which};
  const auto appendTiming = [&answer](const Kwp2000EcuTiming& values) {
    const Bytes bytes = values.AsBytes();
    answer.insert(answer.end(), bytes.begin(), bytes.end());
  };
  if (which == kReadLimits && request.size() == 2) {
    appendTiming(data_.timingLimits);
  } else if (which == kReadCurrent && request.size() == 2) {
    appendTiming(timing);
  } else if (which == kSetDefaults && request.size() == 2) {
    timing = Kwp2000EcuTiming{};
  } else if (which == kSetValues && request.size() == 7) {
    timing = Kwp2000EcuTiming{request[2], request[3], request[4], request[5], request[6]};
  } else {
    return Kwp2000Negative(service, kInvalidFormat);
  }
  return answer;
}

Bytes Kwp2000EcuServices::StartSession(const Bytes& request, int& baudRate) const {
  if (request.size() < 2) return Kwp2000Negative(request[0], kInvalidFormat);
  if (request.size() >= 3) {
    uint8_t id = request[2];
    if (id == 0 && request.size() >= 4) id = request[3];
    const auto rate = data_.baudRates.find(id);
    if (rate == data_.baudRates.end()) return Kwp2000Negative(request[0], kInvalidFormat);
    baudRate = rate->second;
  }
  return {Positive(request[0]), request[1]};
}

// Every stored code of the group, whatever status the request asks for.
Bytes Kwp2000EcuServices::ReadByStatus(const Bytes& request) const {
  if (request.size() != 4) return Kwp2000Negative(request[0], kInvalidFormat);
  return ListCodes(request[0], Word(request, 2), false);
}

Bytes Kwp2000EcuServices::ReadStatusOf(const Bytes& request) const {
  if (request.size() != 3) return Kwp2000Negative(request[0], kInvalidFormat);
  return ListCodes(request[0], Word(request, 1), true);
}

Bytes Kwp2000EcuServices::ListCodes(uint8_t service, uint16_t group, bool withEnvironment) const {
  Bytes answer{Positive(service), 0};
  for (const Kwp2000Dtc& dtc : data_.troubleCodes) {
    if (!InGroup(dtc, group)) continue;
    ++answer[1];
    AppendDtc(answer, dtc);
    if (withEnvironment) Append(answer, dtc.environment);
  }
  return answer;
}

Bytes Kwp2000EcuServices::Clear(const Bytes& request) {
  if (request.size() != 3) return Kwp2000Negative(request[0], kInvalidFormat);
  const uint16_t group = Word(request, 1);
  std::erase_if(data_.troubleCodes, [group](const Kwp2000Dtc& dtc) { return InGroup(dtc, group); });
  return Echoed(request);
}

Bytes Kwp2000EcuServices::ReadRecord(const Bytes& request, size_t idBytes, double seconds) const {
  if (request.size() != 1 + idBytes) return Kwp2000Negative(request[0], kInvalidFormat);
  const std::optional<Bytes> record =
      idBytes == 1 ? Lookup(data_.liveLocalData, data_.localData, request[1], seconds)
                   : Lookup(data_.liveCommonData, data_.commonData, Word(request, 1), seconds);
  if (!record) return Kwp2000Negative(request[0], kOutOfRange);
  Bytes answer = Echoed(request);
  Append(answer, *record);
  return answer;
}

Bytes Kwp2000EcuServices::Identification(const Bytes& request) const {
  if (request.size() != 2) return Kwp2000Negative(request[0], kInvalidFormat);
  const auto found = data_.identification.find(request[1]);
  if (found == data_.identification.end()) return Kwp2000Negative(request[0], kOutOfRange);
  Bytes answer = Echoed(request);
  Append(answer, found->second);
  return answer;
}

Bytes Kwp2000EcuServices::ControlInputOutput(const Bytes& request, double seconds) const {
  Bytes answer = Echoed(request);
  if (request.size() < 2) return answer;
  if (const auto state = data_.ioStates.find(request[1]); state != data_.ioStates.end()) {
    Append(answer, state->second(seconds));
  }
  return answer;
}

}  // namespace sim
