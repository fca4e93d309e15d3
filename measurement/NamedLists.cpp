#include "measurement/NamedLists.h"

#include <algorithm>
#include <utility>

#include "platform/Exceptions.h"

int CompareText(std::string_view a, std::string_view b) {
  auto lower = [](char c) -> unsigned char {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a')
                                  : static_cast<unsigned char>(c);
  };
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    int diff = lower(a[i]) - lower(b[i]);
    if (diff != 0) return diff;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void TNamedList::Add(int32_t id, std::vector<std::string> words) {
  entries_.push_back(TNamedListEntry{id, std::move(words)});
}

const TNamedListEntry* TNamedList::Find(int32_t id) const {
  for (const TNamedListEntry& entry : entries_)
    if (entry.Id == id) return &entry;
  return nullptr;
}

std::vector<std::unique_ptr<TNamedList>>::const_iterator TNamedLists::LowerBound(
    std::string_view name) const {
  return std::lower_bound(lists_.begin(), lists_.end(), name,
                          [](const std::unique_ptr<TNamedList>& list, std::string_view key) {
                            return CompareText(list->Name(), key) < 0;
                          });
}

const TNamedList* TNamedLists::Find(std::string_view name) const {
  auto it = LowerBound(name);
  if (it == lists_.end() || CompareText((*it)->Name(), name) != 0) return nullptr;
  return it->get();
}

TNamedList* TNamedLists::Find(std::string_view name) {
  return const_cast<TNamedList*>(std::as_const(*this).Find(name));
}

TNamedList& TNamedLists::FindOrAdd(std::string_view name) {
  auto it = LowerBound(name);
  if (it != lists_.end() && CompareText((*it)->Name(), name) == 0) return **it;
  return **lists_.insert(it, std::make_unique<TNamedList>(std::string(name)));
}

const TNamedList& TNamedLists::Items(int index) const {
  if (index < 0 || index >= Count()) plat::ThrowListIndexError(index);
  return *lists_[static_cast<size_t>(index)];
}
