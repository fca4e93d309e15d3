// The live-data group selection both testers share. The groups of the definition file stand in
// one list box (text: title, object: the group's TDataDescription), at most four of them are
// chosen into a second one, and item lists show the items of a group list in blocks: one line
// per item, the blocks in the order of the groups.
#pragma once

#include "measurement/DisplayTargets.h"

inline constexpr int kMaxSelectedGroups = 4;

// Appends each selected group of `groups`, in order, to `selection` unless `selection` already
// holds its title (letter case ignored) or is full; further groups are dropped silently.
void SelectGroups(const TListBox& groups, TListBox& selection);

// Removes the selected entries of `selection`; the descriptions stay with the group list.
void UnselectGroups(TListBox& selection);

// After a click in `items`: a group is selected, with all its item lines, when any of its item
// lines is selected, and deselected otherwise.
void SyncGroupSelection(TListBox& groups, TListBox& items);
