#include "tester/LiveDataSelection.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "measurement/DataDescription.h"
#include "measurement/NamedLists.h"

namespace {

bool HoldsTitle(const TListBox& list, const std::string& title) {
  for (int i = 0; i < list.Count(); ++i)
    if (CompareText(list.Text(i), title) == 0) return true;
  return false;
}

int ItemCountOf(const TListBox& groups, int index) {
  const auto* description = reinterpret_cast<const TDataDescription*>(groups.Object(index));
  return description ? description->Count() : 0;
}

bool AnySelected(const TListBox& list, int first, int end) {
  for (int i = first; i < end; ++i)
    if (list.Selected(i)) return true;
  return false;
}

}  // namespace

void SelectGroups(const TListBox& groups, TListBox& selection) {
  for (int i = 0; i < groups.Count(); ++i) {
    if (!groups.Selected(i)) continue;
    const std::string title = groups.Text(i);
    if (selection.Count() < kMaxSelectedGroups && !HoldsTitle(selection, title))
      selection.AddObject(title, groups.Object(i));
  }
}

void UnselectGroups(TListBox& selection) {
  std::vector<std::pair<std::string, intptr_t>> kept;
  for (int i = 0; i < selection.Count(); ++i)
    if (!selection.Selected(i)) kept.emplace_back(selection.Text(i), selection.Object(i));
  selection.Clear();
  for (const auto& [title, description] : kept)
    selection.AddObject(title, description);
}

void SyncGroupSelection(TListBox& groups, TListBox& items) {
  int first = 0;
  for (int group = 0; group < groups.Count(); ++group) {
    const int next = first + ItemCountOf(groups, group);
    const int end = std::min(next, items.Count());
    const bool chosen = AnySelected(items, first, end);
    groups.SetSelected(group, chosen);
    if (chosen)
      for (int line = first; line < end; ++line)
        items.SetSelected(line, true);
    first = next;
  }
}
