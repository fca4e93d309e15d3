// A locked first-in first-out queue of units of work. It never owns what it holds: an object
// belongs to whoever pushed it until somebody pops it.
#pragma once

#include <deque>
#include <mutex>

class TSequenceObject;

class TCommThreadList {
 public:
  int Count() const;
  // Removes and returns the first item; null when the queue is empty.
  TSequenceObject* PopFirst();
  void Push(TSequenceObject* item);
  // Removes every item without deleting any.
  void Clear();
  // Removes and deletes every item: for the owner of what nobody took.
  void DeleteAll();

 private:
  mutable std::mutex mutex_;
  std::deque<TSequenceObject*> items_;
};
