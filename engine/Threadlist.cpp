#include "engine/Threadlist.h"

#include "engine/Sequence.h"

int TCommThreadList::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(items_.size());
}

TSequenceObject* TCommThreadList::PopFirst() {
  std::lock_guard lock(mutex_);
  if (items_.empty()) return nullptr;
  TSequenceObject* first = items_.front();
  items_.pop_front();
  return first;
}

void TCommThreadList::Push(TSequenceObject* item) {
  std::lock_guard lock(mutex_);
  items_.push_back(item);
}

void TCommThreadList::Clear() {
  std::lock_guard lock(mutex_);
  items_.clear();
}

void TCommThreadList::DeleteAll() {
  while (TSequenceObject* item = PopFirst())
    delete item;
}
