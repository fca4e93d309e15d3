#include "platform/FtdiInterface.h"

#include <algorithm>
#include <atomic>

#include "platform/FtdiLibusb.h"

namespace plat::ftdi {

namespace {
thread_local uint32_t tLastError = 0;
std::atomic<Library*> gActiveLibrary{nullptr};
}  // namespace

uint32_t LastError() {
  return tLastError;
}
void SetLastError(uint32_t code) {
  tLastError = code;
}

std::string FitText(const std::string& text, size_t size) {
  return text.substr(0, size == 0 ? 0 : std::min(text.size(), size - 1));
}

bool TransferState::Abandoned() const {
  std::lock_guard lock(mutex_);
  return abandoned_;
}

bool TransferState::Finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

uint32_t TransferState::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

void TransferState::AddByte(uint8_t byte) {
  std::lock_guard lock(mutex_);
  if (finished_ || abandoned_) return;
  bytes_.push_back(byte);
  count_ = static_cast<uint32_t>(bytes_.size());
}

void TransferState::SetCount(uint32_t count) {
  std::lock_guard lock(mutex_);
  if (!finished_) count_ = count;
}

void TransferState::Finish(bool succeeded, uint32_t error) {
  std::lock_guard lock(mutex_);
  if (finished_) return;
  finished_ = true;
  succeeded_ = succeeded;
  error_ = succeeded ? 0 : error;
  if (!abandoned_) done_->Set();
}

void TransferState::Abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
}

bool TransferState::Collect(uint32_t& count, uint32_t& error) {
  std::lock_guard lock(mutex_);
  count = count_;
  if (!finished_) {
    error = kErrorIoIncomplete;
    return false;
  }
  if (target_ != nullptr) std::copy(bytes_.begin(), bytes_.end(), target_);
  error = error_;
  return succeeded_;
}

Overlapped::~Overlapped() {
  if (state_) state_->Abandon();
}

std::shared_ptr<TransferState> Overlapped::Begin(uint8_t* target) {
  if (state_) state_->Abandon();
  done_->Reset();
  state_ = std::make_shared<TransferState>(done_, target);
  return state_;
}

bool GetOverlappedResult(Overlapped& transfer, uint32_t* count, bool wait) {
  std::shared_ptr<TransferState> state = transfer.State();
  if (!state) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  if (wait) transfer.DoneEvent().WaitFor(kInfinite);
  uint32_t transferred = 0;
  uint32_t error = 0;
  bool succeeded = state->Collect(transferred, error);
  if (count != nullptr) *count = transferred;
  if (!succeeded) SetLastError(error);
  return succeeded;
}

Library& ActiveLibrary() {
  Library* library = gActiveLibrary.load();
  return library != nullptr ? *library : LibftdiLibrary::Instance();
}

Library* SetActiveLibrary(Library* library) {
  return gActiveLibrary.exchange(library);
}

}  // namespace plat::ftdi
