#include "engine/KwpProtocol.h"

#include <algorithm>
#include <limits>

#include "engine/Iso9141Thread2.h"
#include "engine/Sequence.h"

namespace {
constexpr uint8_t kSync = 0x55;
constexpr int32_t kBlockByteWaitMs = 1000;
constexpr int32_t kBlockEndWaitMs = 500;
constexpr uint8_t kShortestBlockLength = 2;  // counter and title
}  // namespace

int32_t ClampedWaitMs(int64_t ms) {
  return static_cast<int32_t>(std::clamp<int64_t>(ms, 0, std::numeric_limits<int32_t>::max()));
}

// The base protocol does nothing and reports failure; only its descendants are handed to a worker.

bool TKwpProtocol::StartTester(TSequenceObject*) {
  return false;
}

bool TKwpProtocol::SeqTester(TSequenceObject*) {
  return false;
}

bool TKwpProtocol::StopTester(TSequenceObject*) {
  return false;
}

bool TKwpProtocol::Reserved1(intptr_t) {
  return false;
}

void TKwpProtocol::Reserved2(intptr_t) {}

void TKwpProtocol::Reserved3(intptr_t) {}

void TKwpProtocol::IdleTimeout() {}

bool TKwpProtocol::RunRequestSteps(TSequenceObject* object, int attempts,
                                   const std::function<bool(int index)>& exchange) {
  for (int i = 0; i < object->RequestCount(); ++i) {
    if (FThread->Terminated()) return false;
    bool ok = false;
    // An aborted worker starts no further attempt.
    for (int attempt = 0; attempt < attempts && !ok && !FThread->Aborted(); ++attempt)
      ok = exchange(i);
    if (!ok) return false;
  }
  return true;
}

bool TKwpProtocol::FiveBaudHandshake(uint8_t address, const TFiveBaudWaits& waits, int maxKeyBytes,
                                     bool proceed, std::vector<uint8_t>& keyBytes) {
  FThread->FiveBaudInit(address);
  uint8_t sync = 0;
  uint8_t received[kMaxKeyBytes]{};
  int count = 0;
  const bool ok = proceed && FThread->ReceiveByte(sync, ClampedWaitMs(waits.syncMs), nullptr) &&
                  sync == kSync &&
                  FThread->Receive(received, std::clamp(maxKeyBytes, 0, kMaxKeyBytes), count,
                                   ClampedWaitMs(waits.keyBytesMs), nullptr) &&
                  count >= 2;
  FThread->Pause(static_cast<uint32_t>(ClampedWaitMs(waits.complementPauseMs)));
  if (!ok || !FThread->SendByte(Complement(received[1]))) return false;
  keyBytes.assign(received, received + count);
  return true;
}

bool TKwpProtocol::SendAcknowledgedBlock(std::span<const uint8_t> block) {
  if (block.empty()) return false;
  for (uint8_t value : block.first(block.size() - 1)) {
    if (!FThread->SendByteCheckAck(value)) return false;
  }
  return FThread->SendByte(block.back());
}

bool TKwpProtocol::ReceiveAcknowledgedBlock(int32_t lengthTimeoutMs, std::vector<uint8_t>& block,
                                            int32_t* timeMs) {
  block.clear();
  uint8_t value = 0;
  if (!FThread->ReceiveByteAndAck(value, ClampedWaitMs(lengthTimeoutMs), timeMs)) return false;
  block.push_back(value);
  if (value < kShortestBlockLength) return false;
  for (int i = 1; i < block.front(); ++i) {
    if (!FThread->ReceiveByteAndAck(value, kBlockByteWaitMs, nullptr)) return false;
    block.push_back(value);
  }
  if (!FThread->ReceiveByte(value, kBlockEndWaitMs, nullptr)) return false;
  block.push_back(value);
  return true;
}
