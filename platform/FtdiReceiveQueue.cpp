#include "platform/FtdiReceiveQueue.h"

#include <algorithm>

#include "platform/Counter.h"

namespace plat::ftdi {

ReceiveQueue::ReceiveQueue(TimerRequest requestTimer) : requestTimer_(std::move(requestTimer)) {}

void ReceiveQueue::SetTimeouts(const CommTimeouts& timeouts) {
  std::lock_guard lock(mutex_);
  timeouts_ = timeouts;
}

void ReceiveQueue::SetCapacity(uint32_t bytes) {
  std::lock_guard lock(mutex_);
  capacity_ = bytes;
}

bool ReceiveQueue::StartRead(uint8_t* buffer, uint32_t count, uint32_t* read,
                             Overlapped& transfer) {
  std::lock_guard lock(mutex_);
  if (refusedWith_) {
    transfer.Begin(nullptr)->Finish(false, *refusedWith_);
    SetLastError(*refusedWith_);
    return false;
  }
  int64_t now = QueryCounter();
  DropAbandoned();
  PendingRead pending{transfer.Begin(buffer), count, TotalDeadline(count, now), std::nullopt};
  if (reads_.empty()) Fill(pending);
  bool complete = pending.state->Count() >= count || ReturnsAtOnce() || Due(pending, now);
  if (!complete) {
    reads_.push_back(std::move(pending));
    ArmTimer();
    SetLastError(kErrorIoPending);
    return false;
  }
  pending.state->Finish(true, 0);
  uint32_t taken = 0;
  uint32_t error = 0;
  pending.state->Collect(taken, error);
  if (read != nullptr) *read = taken;
  return true;
}

void ReceiveQueue::Deliver(const uint8_t* bytes, size_t count, int64_t moment) {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < count && buffer_.size() < capacity_; ++i)
    buffer_.push_back({bytes[i], moment});
  Serve(moment);
}

void ReceiveQueue::Expire(int64_t now) {
  std::lock_guard lock(mutex_);
  if (armed_ && *armed_ <= now) armed_.reset();
  Serve(now);
}

void ReceiveQueue::AbortReads(uint32_t error) {
  std::lock_guard lock(mutex_);
  EndReads(error);
}

void ReceiveQueue::Close(uint32_t error) {
  std::lock_guard lock(mutex_);
  closed_ = true;
  Refuse(error);
}

void ReceiveQueue::Fail(uint32_t error) {
  std::lock_guard lock(mutex_);
  if (!closed_) Refuse(error);
}

void ReceiveQueue::Resume() {
  std::lock_guard lock(mutex_);
  if (!closed_) refusedWith_.reset();
}

void ReceiveQueue::Refuse(uint32_t error) {
  refusedWith_ = error;
  EndReads(error);
}

void ReceiveQueue::EndReads(uint32_t error) {
  for (PendingRead& pending : reads_)
    pending.state->Finish(false, error);
  reads_.clear();
}

void ReceiveQueue::ClearBuffer() {
  std::lock_guard lock(mutex_);
  buffer_.clear();
}

bool ReceiveQueue::Cancel(Overlapped& transfer) {
  std::lock_guard lock(mutex_);
  std::shared_ptr<TransferState> state = transfer.State();
  auto found = std::find_if(reads_.begin(), reads_.end(),
                            [&](const PendingRead& pending) { return pending.state == state; });
  if (found == reads_.end()) return false;
  found->state->Finish(false, kErrorOperationAborted);
  reads_.erase(found);
  Serve(QueryCounter());
  return true;
}

size_t ReceiveQueue::Buffered() const {
  std::lock_guard lock(mutex_);
  return buffer_.size();
}

bool ReceiveQueue::ReturnsAtOnce() const {
  return timeouts_.readInterval == kMaxDword && timeouts_.readTotalMultiplier == 0 &&
         timeouts_.readTotalConstant == 0;
}

std::optional<int64_t> ReceiveQueue::IntervalAfter(int64_t moment) const {
  if (timeouts_.readInterval == 0 || timeouts_.readInterval == kMaxDword) return std::nullopt;
  return moment + MsToCounts(timeouts_.readInterval);
}

std::optional<int64_t> ReceiveQueue::TotalDeadline(uint32_t count, int64_t start) const {
  if (timeouts_.readTotalMultiplier == 0 && timeouts_.readTotalConstant == 0) return std::nullopt;
  int64_t totalMs =
      static_cast<int64_t>(timeouts_.readTotalMultiplier) * count + timeouts_.readTotalConstant;
  return start + MsToCounts(totalMs);
}

void ReceiveQueue::Serve(int64_t now) {
  DropAbandoned();
  bool feeding = true;  // only the oldest unfinished read takes bytes
  for (auto it = reads_.begin(); it != reads_.end();) {
    if (feeding) Fill(*it);
    if (it->state->Count() >= it->wanted || Due(*it, now)) {
      it->state->Finish(true, 0);
      it = reads_.erase(it);
      continue;
    }
    feeding = false;
    ++it;
  }
  ArmTimer();
}

void ReceiveQueue::Fill(PendingRead& read) {
  std::optional<int64_t> lastMoment;
  while (!buffer_.empty() && read.state->Count() < read.wanted) {
    read.state->AddByte(buffer_.front().byte);
    lastMoment = buffer_.front().moment;
    buffer_.pop_front();
  }
  if (lastMoment) read.intervalDeadline = IntervalAfter(*lastMoment);
}

bool ReceiveQueue::Due(const PendingRead& read, int64_t now) {
  return (read.totalDeadline && now >= *read.totalDeadline) ||
         (read.intervalDeadline && now >= *read.intervalDeadline);
}

void ReceiveQueue::DropAbandoned() {
  std::erase_if(reads_, [](const PendingRead& pending) { return pending.state->Abandoned(); });
}

void ReceiveQueue::ArmTimer() {
  std::optional<int64_t> earliest;
  for (const PendingRead& pending : reads_)
    for (const std::optional<int64_t>& deadline : {pending.totalDeadline, pending.intervalDeadline})
      if (deadline && (!earliest || *deadline < *earliest)) earliest = deadline;
  if (!earliest || (armed_ && *armed_ <= *earliest)) return;
  armed_ = earliest;
  if (requestTimer_) requestTimer_(*earliest);
}

}  // namespace plat::ftdi
