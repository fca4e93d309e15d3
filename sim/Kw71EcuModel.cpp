#include "sim/Kw71EcuModel.h"

#include <algorithm>
#include <numeric>

#include "sim/Kw71EngineEcu.h"

namespace sim {

namespace {
constexpr uint8_t kSync = 0x55;
constexpr uint8_t kBlockEnd = 0x03;
// Titles of the tester's blocks.
constexpr uint8_t kReadIdentification = 0x00;
constexpr uint8_t kReadRam = 0x01;
constexpr uint8_t kClearFaultCodes = 0x05;
constexpr uint8_t kEndOfCommunication = 0x06;
constexpr uint8_t kReadFaultCodes = 0x07;
constexpr uint8_t kReadAdc = 0x08;
constexpr uint8_t kAcknowledge = 0x09;
// Titles of the ECU's blocks.
constexpr uint8_t kError = 0x0A;
constexpr uint8_t kIdentification = 0xF6;
constexpr uint8_t kValue = 0xFB;
constexpr uint8_t kFaultCodes = 0xFC;
constexpr uint8_t kRam = 0xFE;

constexpr int kMaxData = 252;  // what a length byte leaves room for in either framing

uint8_t Complement(uint8_t value) {
  return static_cast<uint8_t>(0xFF - value);
}

uint8_t Sum(const Bytes& bytes) {
  return static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0));
}

Bytes Block(uint8_t title, Bytes data = {}) {
  data.insert(data.begin(), title);
  return data;
}
}  // namespace

Kw71EcuModel::Kw71EcuModel(Kw71EcuConfig config)
    : config_(std::move(config)), faultCodes_(config_.faultCodes) {}

bool Kw71EcuModel::TakeFault(Kw71Fault::Kind kind) {
  if (fault_.kind != kind || fault_.count <= 0) return false;
  if (--fault_.count == 0) fault_.kind = Kw71Fault::Kind::None;
  return true;
}

std::optional<int64_t> Kw71EcuModel::NextTimer() const {
  const std::optional<int64_t> decodeAt = fiveBaud_.DecodeTime();
  if (decodeAt && deadline_) return std::min(*decodeAt, *deadline_);
  return decodeAt ? decodeAt : deadline_;
}

void Kw71EcuModel::OnTimer(int64_t now) {
  for (std::optional<int64_t> next = NextTimer(); next && *next <= now; next = NextTimer()) {
    if (next == fiveBaud_.DecodeTime()) {
      if (const std::optional<FiveBaudAddress> wake = fiveBaud_.Decode()) Wake(*wake);
    } else {
      Sleep();
    }
  }
}

void Kw71EcuModel::Sleep() {
  phase_ = Phase::Asleep;
  deadline_.reset();
  chain_.clear();
  rx_.clear();
}

// --- wake-up -------------------------------------------------------------------------------

void Kw71EcuModel::OnLineLow(int64_t at) {
  rx_.clear();
  fiveBaud_.OnLow(at);
}

void Kw71EcuModel::OnLineHigh(int64_t at) {
  fiveBaud_.OnHigh(at);
}

void Kw71EcuModel::Wake(const FiveBaudAddress& wake) {
  Sleep();
  if (wake.address != config_.address || TakeFault(Kw71Fault::Kind::Silence)) return;
  if (!engineStartedAt_) engineStartedAt_ = wake.end;
  counter_ = 0;
  receivedTitles_.clear();
  int64_t end = Put(kSync, wake.end + Ms(config_.syncDelayMs), config_.baudRate);
  for (uint8_t keyByte : config_.keyBytes)
    end = Put(keyByte, end + Ms(config_.keyByteDelayMs), config_.baudRate);
  phase_ = Phase::KeyBytesSent;
  deadline_ = end + Ms(config_.complementWaitMs);
}

void Kw71EcuModel::OnKeyByteComplement(uint8_t value, int64_t end) {
  if (config_.keyBytes.size() < 2 || value != Complement(config_.keyBytes[1])) return Sleep();
  std::deque<Bytes> blocks;
  for (const Bytes& data : config_.identification)
    blocks.push_back(Block(kIdentification, data));
  SendChain(std::move(blocks), end + Ms(config_.identificationDelayMs));
}

// --- the tester's bytes --------------------------------------------------------------------

void Kw71EcuModel::OnTesterByte(uint8_t value, int baudRate, int64_t end) {
  if (baudRate != config_.baudRate) {
    rx_.clear();
    return;
  }
  switch (phase_) {
    case Phase::KeyBytesSent:
      return OnKeyByteComplement(value, end);
    case Phase::Sending:
      return OnComplement(value, end);
    case Phase::Receiving:
      return Framing81() ? OnKwp81Byte(value, end) : OnKwp71Byte(value, end);
    case Phase::Asleep:
      return;
  }
}

void Kw71EcuModel::Receive(int64_t lastActivity) {
  phase_ = Phase::Receiving;
  rx_.clear();
  deadline_ = lastActivity + Ms(config_.sessionTimeoutMs);
}

void Kw71EcuModel::OnKwp71Byte(uint8_t value, int64_t end) {
  deadline_ = end + Ms(config_.sessionTimeoutMs);
  if (!rx_.empty() && rx_.size() == rx_[0]) {  // length, counter, title and data are in
    if (value != kBlockEnd) return Sleep();
    counter_ = rx_[1];
    const uint8_t title = rx_[2];
    Bytes data(rx_.begin() + 3, rx_.end());
    rx_.clear();
    return OnBlock(title, std::move(data), end);
  }
  if (rx_.empty() && value < 3) return Sleep();
  rx_.push_back(value);
  AnswerComplement(value, end);
}

void Kw71EcuModel::AnswerComplement(uint8_t value, int64_t end) {
  const bool faulty = static_cast<int>(rx_.size()) - 1 == fault_.byteIndex;
  if (faulty && TakeFault(Kw71Fault::Kind::MissingComplement)) return;
  uint8_t answer = Complement(value);
  if (faulty && TakeFault(Kw71Fault::Kind::WrongComplement)) answer ^= 0x01;
  Put(answer, end + Ms(config_.byteDelayMs), config_.baudRate);
}

void Kw71EcuModel::OnKwp81Byte(uint8_t value, int64_t end) {
  deadline_ = end + Ms(config_.sessionTimeoutMs);
  if (rx_.empty() && value == 0) return Sleep();
  rx_.push_back(value);
  if (rx_.size() < static_cast<size_t>(rx_[0]) + 1) return;
  Bytes block;
  block.swap(rx_);
  const uint8_t sum = block.back();
  block.pop_back();
  if (Sum(block) != sum || block.size() < 2) return;  // not understood: no answer
  OnBlock(block[1], Bytes(block.begin() + 2, block.end()), end);
}

void Kw71EcuModel::OnBlock(uint8_t title, Bytes data, int64_t end) {
  receivedTitles_.push_back(title);
  if (title == kEndOfCommunication) return Sleep();
  if (TakeFault(Kw71Fault::Kind::Silence)) return Receive(end);
  SendChain(Serve(title, data, end), end + Ms(config_.answerDelayMs));
}

// --- services ------------------------------------------------------------------------------

std::deque<Bytes> Kw71EcuModel::Serve(uint8_t title, const Bytes& data, int64_t end) {
  switch (title) {
    case kAcknowledge:
      return chain_;
    case kReadIdentification: {
      std::deque<Bytes> blocks;
      for (const Bytes& part : config_.identification)
        blocks.push_back(Block(kIdentification, part));
      return blocks;
    }
    case kReadRam: {
      if (data.size() < 3 || data[0] > kMaxData) break;
      Bytes ram;
      const uint16_t address = static_cast<uint16_t>(data[1] << 8 | data[2]);
      for (int i = 0; i < data[0]; ++i)
        ram.push_back(RamByte(static_cast<uint16_t>(address + i), end));
      return {Block(kRam, ram)};
    }
    case kReadAdc: {
      if (data.empty()) break;
      const uint16_t value = AdcValue(data[0], end);
      return {Block(kValue, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)})};
    }
    case kReadFaultCodes:
      return FaultCodeBlocks();
    case kClearFaultCodes:
      faultCodes_.clear();
      return {Block(kAcknowledge)};
    default:
      break;
  }
  return {Block(kError, {title})};
}

std::deque<Bytes> Kw71EcuModel::FaultCodeBlocks() const {
  if (faultCodes_.empty()) return {Block(kFaultCodes, {0x00})};
  std::deque<Bytes> blocks;
  const size_t perBlock = static_cast<size_t>(std::max(config_.faultCodesPerBlock, 1));
  for (size_t i = 0; i < faultCodes_.size(); i += perBlock) {
    Bytes block{kFaultCodes};
    for (size_t k = i; k < std::min(i + perBlock, faultCodes_.size()); ++k)
      block.insert(block.end(), faultCodes_[k].begin(), faultCodes_[k].end());
    blocks.push_back(std::move(block));
  }
  return blocks;
}

double Kw71EcuModel::EngineSeconds(int64_t moment) const {
  return static_cast<double>(moment - engineStartedAt_.value_or(0)) / 1e9;
}

uint8_t Kw71EcuModel::RamByte(uint16_t address, int64_t moment) const {
  return Kw71EngineRam(address, EngineSeconds(moment));
}

uint16_t Kw71EcuModel::AdcValue(uint8_t channel, int64_t moment) const {
  return Kw71EngineAdc(channel, EngineSeconds(moment));
}

// --- the ECU's blocks ----------------------------------------------------------------------

void Kw71EcuModel::SendChain(std::deque<Bytes> blocks, int64_t at) {
  if (blocks.empty()) blocks.push_back(Block(kAcknowledge));
  const Bytes first = std::move(blocks.front());
  blocks.pop_front();
  chain_ = std::move(blocks);
  SendBlock(first, at);
}

void Kw71EcuModel::SendBlock(const Bytes& content, int64_t at) {
  Bytes block;
  if (Framing81()) {
    block.push_back(static_cast<uint8_t>(content.size() + 1));
    block.insert(block.end(), content.begin(), content.end());
    block.push_back(
        static_cast<uint8_t>(Sum(block) + (TakeFault(Kw71Fault::Kind::BadSum) ? 1 : 0)));
    return SendKwp81Block(std::move(block), at);
  }
  counter_ = static_cast<uint8_t>(counter_ + 1);
  block.push_back(static_cast<uint8_t>(content.size() + 2));
  block.push_back(TakeFault(Kw71Fault::Kind::WrongCounter) ? static_cast<uint8_t>(counter_ + 0x40)
                                                           : counter_);
  block.insert(block.end(), content.begin(), content.end());
  block.push_back(kBlockEnd);
  if (TakeFault(Kw71Fault::Kind::ShortBlock))
    block.resize(block.size() -
                 std::min(block.size() - 1, static_cast<size_t>(fault_.bytesDropped)));
  tx_ = std::move(block);
  txIndex_ = 0;
  phase_ = Phase::Sending;
  EmitKwp71Byte(at);
}

void Kw71EcuModel::SendKwp81Block(Bytes block, int64_t at) {
  if (TakeFault(Kw71Fault::Kind::ShortBlock))
    block.resize(block.size() -
                 std::min(block.size() - 1, static_cast<size_t>(fault_.bytesDropped)));
  const bool late = TakeFault(Kw71Fault::Kind::LateByte);
  int64_t end = at;
  for (size_t i = 0; i < block.size(); ++i) {
    int64_t start = i == 0 ? at : end + Ms(config_.interByteMs);
    if (late && static_cast<int>(i) == fault_.byteIndex) start += Ms(fault_.delayMs);
    end = Put(block[i], start, config_.baudRate);
  }
  Receive(end);
}

void Kw71EcuModel::EmitKwp71Byte(int64_t at) {
  if (static_cast<int>(txIndex_) == fault_.byteIndex && TakeFault(Kw71Fault::Kind::LateByte))
    at += Ms(fault_.delayMs);
  const int64_t end = Put(tx_[txIndex_], at, config_.baudRate);
  deadline_ = end + Ms(config_.sessionTimeoutMs);
  if (txIndex_ == tx_[0]) Receive(end);  // the end byte is not answered
}

void Kw71EcuModel::OnComplement(uint8_t value, int64_t end) {
  if (value != Complement(tx_[txIndex_])) return Sleep();
  if (++txIndex_ == tx_.size()) return Receive(end);  // a short block ends early
  EmitKwp71Byte(end + Ms(config_.byteDelayMs));
}

}  // namespace sim
