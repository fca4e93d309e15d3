// Named lists: value lists of a definition file ("#list" statements) by which items turn
// bit masks and enumeration values into words.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One entry of a named list: its id and the words that followed the id in the statement.
struct TNamedListEntry {
  int32_t Id = 0;
  std::vector<std::string> Words;
};

// A list of entries in the order they were added; an id may occur more than once.
class TNamedList {
 public:
  explicit TNamedList(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  void Add(int32_t id, std::vector<std::string> words);
  void Clear() { entries_.clear(); }
  int Count() const { return static_cast<int>(entries_.size()); }
  const std::vector<TNamedListEntry>& Entries() const { return entries_; }
  // The first entry with `id`, or null.
  const TNamedListEntry* Find(int32_t id) const;

 private:
  std::string name_;
  std::vector<TNamedListEntry> entries_;
};

// The named lists of a window, sorted by name; names are compared without regard to letter case.
class TNamedLists {
 public:
  TNamedList* Find(std::string_view name);
  const TNamedList* Find(std::string_view name) const;
  // The list of that name; a new, empty one is inserted at its sorted place and keeps the name
  // as written here.
  TNamedList& FindOrAdd(std::string_view name);
  int Count() const { return static_cast<int>(lists_.size()); }
  // List `index` in sorted order; an index outside the lists throws the list error.
  const TNamedList& Items(int index) const;
  void Clear() { lists_.clear(); }

 private:
  std::vector<std::unique_ptr<TNamedList>>::const_iterator LowerBound(std::string_view name) const;

  std::vector<std::unique_ptr<TNamedList>> lists_;
};

// Compares two texts letter case ignored (ASCII letters): below 0, 0 or above 0.
int CompareText(std::string_view a, std::string_view b);
