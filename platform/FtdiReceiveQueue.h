// The receive side of an interface, shared by the backends: the receive buffer, the pending
// reads, and the read time-out rules of Device::SetTimeouts. A backend hands in the bytes as they
// arrive and calls Expire at the moments the queue asks for.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/FtdiInterface.h"

namespace plat::ftdi {

class ReceiveQueue {
 public:
  // Called (under the queue's lock) with the counter value at which Expire must run next.
  using TimerRequest = std::function<void(int64_t moment)>;

  static constexpr uint32_t kDefaultCapacity = 4096;

  explicit ReceiveQueue(TimerRequest requestTimer);

  void SetTimeouts(const CommTimeouts& timeouts);
  // Bytes beyond the capacity are dropped on arrival.
  void SetCapacity(uint32_t bytes);

  // Device::Read on this queue.
  bool StartRead(uint8_t* buffer, uint32_t count, uint32_t* read, Overlapped& transfer);
  // Bytes that arrived at counter value `moment`.
  void Deliver(const uint8_t* bytes, size_t count, int64_t moment);
  // Ends the reads whose time has come by counter value `now`.
  void Expire(int64_t now);
  // Ends every pending read as failed with `error`.
  void AbortReads(uint32_t error);
  // Ends every pending read as failed with `error`, and every later one at once.
  void Close(uint32_t error);
  // As Close, until Resume: for a device that fails for a while.
  void Fail(uint32_t error);
  // Reads wait for bytes again after a Fail; a closed queue stays closed.
  void Resume();
  void ClearBuffer();
  bool Cancel(Overlapped& transfer);
  size_t Buffered() const;

 private:
  struct Received {
    uint8_t byte;
    int64_t moment;
  };
  struct PendingRead {
    std::shared_ptr<TransferState> state;
    uint32_t wanted = 0;
    std::optional<int64_t> totalDeadline;
    std::optional<int64_t> intervalDeadline;
  };

  bool ReturnsAtOnce() const;
  std::optional<int64_t> IntervalAfter(int64_t moment) const;
  std::optional<int64_t> TotalDeadline(uint32_t count, int64_t start) const;
  // Moves buffered bytes into the pending reads and ends those that are complete.
  void Serve(int64_t now);
  // Takes buffered bytes into `read` until it has what it wants.
  void Fill(PendingRead& read);
  static bool Due(const PendingRead& read, int64_t now);
  void DropAbandoned();
  void EndReads(uint32_t error);
  void Refuse(uint32_t error);
  void ArmTimer();

  mutable std::mutex mutex_;
  TimerRequest requestTimer_;
  CommTimeouts timeouts_;
  uint32_t capacity_ = kDefaultCapacity;
  std::deque<Received> buffer_;
  std::deque<PendingRead> reads_;
  std::optional<int64_t> armed_;         // the moment of the timer last requested, until it ran
  std::optional<uint32_t> refusedWith_;  // reads end at once with this error
  bool closed_ = false;
};

}  // namespace plat::ftdi
