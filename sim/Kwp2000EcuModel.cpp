#include "sim/Kwp2000EcuModel.h"

#include <algorithm>
#include <cstdlib>

namespace sim {

namespace {
constexpr uint8_t kSync = 0x55;
constexpr uint8_t kBlockEnd = 0x03;
constexpr uint8_t kBlockAcknowledge = 0x09;
constexpr uint8_t kBlockEndOfCommunication = 0x06;
constexpr uint8_t kBlockIdentification = 0xF6;
constexpr uint8_t kStartCommunication = 0x81;
constexpr int kStartCommunicationAnswer = 0xC1;
constexpr int kStopCommunicationAnswer = 0xC2;

uint8_t Complement(uint8_t value) {
  return static_cast<uint8_t>(0xFF - value);
}

bool IsResponsePending(const Bytes& frame) {
  const auto parsed = ParseKwp2000Frame(frame);
  return parsed && parsed->payload.size() == 3 && parsed->payload[0] == 0x7F &&
         parsed->payload[2] == 0x78;
}

// A receiver takes bytes sent at a rate within 2 % of its own: a real interface runs at the
// rate its clock divider gives, which is near the one asked for.
bool ReadableAt(int senderRate, int ownRate) {
  return std::abs(senderRate - ownRate) * 50 <= ownRate;
}

bool Consume(int& counter) {
  if (counter <= 0) return false;
  --counter;
  return true;
}
}  // namespace

Kwp2000EcuModel::Kwp2000EcuModel(Kwp2000EcuConfig config,
                                 std::unique_ptr<Kwp2000EcuResponder> responder)
    : config_(std::move(config)),
      responder_(std::move(responder)),
      baudRate_(config_.baudRate),
      timing_(config_.timing) {}

void Kwp2000EcuModel::InjectTruncation(int frames, int bytesDropped) {
  truncatedFrames_ = frames;
  truncateBy_ = bytesDropped;
}

void Kwp2000EcuModel::InjectLateByte(int frames, int byteIndex, int delayMs) {
  lateFrames_ = frames;
  lateByteIndex_ = byteIndex;
  lateByteDelayMs_ = delayMs;
}

std::optional<int64_t> Kwp2000EcuModel::NextTimer() const {
  const std::optional<int64_t> decodeAt = fiveBaud_.DecodeTime();
  if (decodeAt && deadline_) return std::min(*decodeAt, *deadline_);
  return decodeAt ? decodeAt : deadline_;
}

void Kwp2000EcuModel::OnTimer(int64_t now) {
  for (std::optional<int64_t> next = NextTimer(); next && *next <= now; next = NextTimer()) {
    if (next == fiveBaud_.DecodeTime()) {
      DecodeFiveBaud();
    } else {
      Sleep();
    }
  }
}

// --- wake-up -----------------------------------------------------------------------------

void Kwp2000EcuModel::OnLineLow(int64_t at) {
  rx_.clear();
  fiveBaud_.OnLow(at);
}

void Kwp2000EcuModel::OnLineHigh(int64_t at) {
  const std::optional<int64_t> low = fiveBaud_.OnHigh(at);
  if (low && *low >= Ms(config_.fastInitLowMinMs) && *low <= Ms(config_.fastInitLowMaxMs)) {
    fiveBaud_.Cancel();
    BeginFastInit(at);
  }
}

void Kwp2000EcuModel::DecodeFiveBaud() {
  const std::optional<FiveBaudAddress> wake = fiveBaud_.Decode();
  if (!wake) return;
  wakeUps_.push_back({Kwp2000WakeUp::Kind::FiveBaud, wake->address, wake->end});
  if (!config_.identity.Answers(wake->address) || TakeSilence()) return Sleep();
  BeginKeyBytes(wake->address, wake->end);
}

void Kwp2000EcuModel::BeginFastInit(int64_t at) {
  wakeUps_.push_back({Kwp2000WakeUp::Kind::Fast, -1, at});
  baudRate_ = config_.baudRate;
  timing_ = config_.timing;
  blockDone_ = false;
  phase_ = Phase::FastInitWait;
  deadline_ = at + Ms(config_.startWindowMs);
}

void Kwp2000EcuModel::BeginKeyBytes(uint8_t address, int64_t addressEnd) {
  baudRate_ = config_.baudRate;
  timing_ = config_.timing;
  wakeAddress_ = address;
  blockPlaying_ = config_.blockWakeUp && !blockDone_;
  const uint8_t keyByte1 = blockPlaying_ ? config_.blockKeyByte1 : config_.identity.keyByte1;
  keyByte2_ = blockPlaying_ ? config_.blockKeyByte2 : config_.identity.keyByte2;
  int64_t end = Emit(kSync, addressEnd + Ms(config_.syncDelayMs));
  end = Emit(keyByte1, end + Ms(config_.keyByteDelayMs));
  end = Emit(keyByte2_, end + Ms(config_.keyByteDelayMs));
  phase_ = Phase::KeyBytesSent;
  deadline_ = end + Ms(config_.complementWaitMs);
}

void Kwp2000EcuModel::OnKeyByteComplement(uint8_t value, int64_t end) {
  if (value != Complement(keyByte2_)) return Sleep();
  if (blockPlaying_) return BeginBlocks(end);
  const int64_t last = Emit(Complement(wakeAddress_), end + Ms(config_.complementDelayMs));
  EnterSession(last);
}

// --- requests ----------------------------------------------------------------------------

void Kwp2000EcuModel::OnTesterByte(uint8_t value, int baudRate, int64_t end) {
  if (!ReadableAt(baudRate, baudRate_)) {
    rx_.clear();
    return;
  }
  switch (phase_) {
    case Phase::FastInitWait:
    case Phase::InSession:
      return AcceptRequestByte(value, end);
    case Phase::KeyBytesSent:
      return OnKeyByteComplement(value, end);
    case Phase::BlockSend:
      return OnBlockAcknowledge(value, end);
    case Phase::BlockReceive:
      return OnBlockByte(value, end);
    case Phase::Asleep:
      return;
  }
}

void Kwp2000EcuModel::AcceptRequestByte(uint8_t value, int64_t end) {
  const int64_t longestPause = ByteTime(baudRate_) + Ms(config_.requestGapMs);
  if (!rx_.empty() && end - lastRxEnd_ > longestPause) rx_.clear();
  rx_.push_back(value);
  lastRxEnd_ = end;
  if (phase_ == Phase::InSession) KeepSessionUntil(end);
  const int size = Kwp2000FrameSize(rx_);
  if (size < 0) {
    rx_.clear();
  } else if (static_cast<size_t>(size) == rx_.size()) {
    Bytes frame;
    frame.swap(rx_);
    HandleRequest(std::move(frame), end);
  }
}

bool Kwp2000EcuModel::Accepts(const Kwp2000EcuFrame& frame) const {
  if (!frame.checksumOk || frame.payload.empty()) return false;
  if (frame.addressed && !config_.identity.Answers(frame.target)) return false;
  if (frame.ServiceId() == kStartCommunication) return true;
  return phase_ == Phase::InSession && FormOfferedByKeyByte(frame, config_.identity.keyByte1);
}

void Kwp2000EcuModel::HandleRequest(Bytes bytes, int64_t end) {
  const auto frame = ParseKwp2000Frame(std::move(bytes));
  if (!frame || !Accepts(*frame) || TakeSilence()) return;
  const int answerDelayMs = std::max(config_.answerDelayMs, timing_.P2MinMs());
  const Kwp2000EcuReply reply = responder_->Answer(*frame, timing_, end);
  const int64_t last = SendFrames(reply.frames, end, answerDelayMs);
  if (phase_ == Phase::InSession) KeepSessionUntil(last);
  ApplyEffects(reply.frames, reply.baudRate, last);
}

int64_t Kwp2000EcuModel::SendFrames(const std::vector<Bytes>& frames, int64_t requestEnd,
                                    int answerDelayMs) {
  int64_t end = requestEnd;
  int64_t pause = Ms(answerDelayMs);
  for (const Bytes& frame : frames) {
    end = SendFrame(frame, end + pause);
    pause = Ms(IsResponsePending(frame) ? config_.pendingDelayMs : answerDelayMs);
  }
  return end;
}

int64_t Kwp2000EcuModel::SendFrame(Bytes frame, int64_t at) {
  if (Consume(badChecksumFrames_) && !frame.empty()) ++frame.back();
  if (Consume(truncatedFrames_)) {
    frame.resize(frame.size() - std::min(frame.size(), static_cast<size_t>(truncateBy_)));
  }
  const bool late = Consume(lateFrames_);
  int64_t end = at;
  for (size_t i = 0; i < frame.size(); ++i) {
    int64_t start = i == 0 ? at : end + Ms(config_.interByteMs);
    if (late && static_cast<int>(i) == lateByteIndex_) start += Ms(lateByteDelayMs_);
    end = Emit(frame[i], start);
  }
  return end;
}

void Kwp2000EcuModel::ApplyEffects(const std::vector<Bytes>& frames, int baudRate, int64_t last) {
  for (const Bytes& bytes : frames) {
    const auto frame = ParseKwp2000Frame(bytes);
    if (!frame) continue;
    if (frame->ServiceId() == kStartCommunicationAnswer && phase_ == Phase::FastInitWait) {
      EnterSession(last);
    }
    if (frame->ServiceId() == kStopCommunicationAnswer) Sleep();
  }
  if (baudRate > 0) baudRate_ = baudRate;
}

void Kwp2000EcuModel::EnterSession(int64_t lastActivity) {
  phase_ = Phase::InSession;
  rx_.clear();
  KeepSessionUntil(lastActivity);
}

void Kwp2000EcuModel::KeepSessionUntil(int64_t lastActivity) {
  deadline_ = lastActivity + Ms(timing_.P3MaxMs());
}

void Kwp2000EcuModel::Sleep() {
  if (phase_ == Phase::InSession) blockDone_ = false;
  phase_ = Phase::Asleep;
  deadline_.reset();
  rx_.clear();
}

bool Kwp2000EcuModel::TakeSilence() {
  return Consume(silentAnswers_);
}

// --- block-protocol wake-up --------------------------------------------------------------

void Kwp2000EcuModel::BeginBlocks(int64_t at) {
  pendingBlocks_.clear();
  for (const Bytes& data : config_.blockIdentification) {
    Bytes block{kBlockIdentification};
    block.insert(block.end(), data.begin(), data.end());
    pendingBlocks_.push_back(std::move(block));
  }
  blockCounter_ = 0;
  const Bytes first = pendingBlocks_.empty() ? Bytes{kBlockAcknowledge} : pendingBlocks_.front();
  if (!pendingBlocks_.empty()) pendingBlocks_.pop_front();
  SendBlock(first, at + Ms(config_.blockAnswerDelayMs));
}

void Kwp2000EcuModel::SendBlock(const Bytes& content, int64_t at) {
  txBlock_.clear();
  txBlock_.push_back(static_cast<uint8_t>(content.size() + 2));
  txBlock_.push_back(++blockCounter_);
  txBlock_.insert(txBlock_.end(), content.begin(), content.end());
  txBlock_.push_back(kBlockEnd);
  txIndex_ = 0;
  phase_ = Phase::BlockSend;
  EmitBlockByte(at);
}

void Kwp2000EcuModel::EmitBlockByte(int64_t at) {
  const int64_t end = Emit(txBlock_[txIndex_], at);
  if (txIndex_ + 1 == txBlock_.size()) {
    phase_ = Phase::BlockReceive;
    rx_.clear();
  }
  deadline_ = end + Ms(config_.blockWaitMs);
}

void Kwp2000EcuModel::OnBlockAcknowledge(uint8_t value, int64_t end) {
  if (value != Complement(txBlock_[txIndex_])) return Sleep();
  ++txIndex_;
  EmitBlockByte(end + Ms(config_.blockByteDelayMs));
}

void Kwp2000EcuModel::OnBlockByte(uint8_t value, int64_t end) {
  deadline_ = end + Ms(config_.blockWaitMs);
  const bool complete = !rx_.empty() && rx_.size() == rx_[0];
  if (complete) {
    if (value != kBlockEnd) return Sleep();
    return OnBlockReceived(end);
  }
  if (rx_.empty() && value < 3) return Sleep();
  rx_.push_back(value);
  Emit(Complement(value), end + Ms(config_.blockByteDelayMs));
}

void Kwp2000EcuModel::OnBlockReceived(int64_t end) {
  blockCounter_ = rx_[1];
  const uint8_t title = rx_[2];
  rx_.clear();
  if (title == kBlockEndOfCommunication) {
    blockDone_ = true;
    phase_ = Phase::Asleep;
    deadline_.reset();
    return;
  }
  Bytes next{kBlockAcknowledge};
  if (title == kBlockAcknowledge && !pendingBlocks_.empty()) {
    next = pendingBlocks_.front();
    pendingBlocks_.pop_front();
  }
  SendBlock(next, end + Ms(config_.blockAnswerDelayMs));
}

int64_t Kwp2000EcuModel::Emit(uint8_t value, int64_t at) {
  return Put(value, at, baudRate_);
}

}  // namespace sim
