#include "sim/FiveBaudReceiver.h"

#include "sim/TimedEcu.h"

namespace sim {

namespace {
constexpr int kBitMs = 200;
constexpr int kAddressBits = 8;
constexpr int kMinStartBitMs = 180;

int64_t Ms(double ms) {
  return TimedEcuModel::Ms(ms);
}
}  // namespace

void FiveBaudReceiver::OnLow(int64_t at) {
  if (!start_) {
    start_ = at;
    edges_.clear();
  }
  edges_.push_back({at, true});
}

std::optional<int64_t> FiveBaudReceiver::OnHigh(int64_t at) {
  if (!start_) return std::nullopt;
  edges_.push_back({at, false});
  if (edges_.size() != 2) return std::nullopt;
  const int64_t low = at - *start_;
  if (low < Ms(kMinStartBitMs)) start_.reset();
  return low;
}

std::optional<int64_t> FiveBaudReceiver::DecodeTime() const {
  if (!start_) return std::nullopt;
  return *start_ + Ms(kBitMs * (kAddressBits + 1) + kBitMs / 2);
}

bool FiveBaudReceiver::LowAt(int64_t at) const {
  bool low = false;
  for (const Edge& edge : edges_) {
    if (edge.at > at) break;
    low = edge.low;
  }
  return low;
}

std::optional<FiveBaudAddress> FiveBaudReceiver::Decode() {
  if (!start_) return std::nullopt;
  const int64_t start = *start_;
  start_.reset();
  const auto bitLow = [&](int bit) { return LowAt(start + Ms(bit * kBitMs + kBitMs / 2)); };
  if (!bitLow(0) || bitLow(kAddressBits + 1)) return std::nullopt;
  uint8_t address = 0;
  for (int bit = 1; bit <= kAddressBits; ++bit) {
    if (!bitLow(bit)) address |= static_cast<uint8_t>(1 << (bit - 1));
  }
  return FiveBaudAddress{address, start + Ms(kBitMs * (kAddressBits + 2))};
}

}  // namespace sim
