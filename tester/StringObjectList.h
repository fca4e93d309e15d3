// A string list whose entries carry an object each: the window keeps lists such as the
// definition's trouble-code groups in it and copies them into list boxes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "measurement/DisplayTargets.h"

class TStringObjectList : public TStringsTarget {
 public:
  struct TEntry {
    std::string Text;
    intptr_t Object = 0;
  };

  void AddObject(const std::string& text, intptr_t object) override {
    entries_.push_back({text, object});
  }
  void Clear() { entries_.clear(); }
  int Count() const { return static_cast<int>(entries_.size()); }
  const std::vector<TEntry>& Entries() const { return entries_; }

  // Empties `box` and gives it every entry, texts with their objects.
  void AssignTo(TListBox& box) const {
    box.Clear();
    for (const TEntry& entry : entries_)
      box.AddObject(entry.Text, entry.Object);
  }

 private:
  std::vector<TEntry> entries_;
};
