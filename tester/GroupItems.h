// The item list box beside a group list box: one line per item of every group's description.
#pragma once

class TListBox;

// Empties `items`, then adds for every group of `groups` in order (its object a description) and
// every item of it the line display name + " (" + unit + ")" with the item's scaling as object,
// selected when its group is selected. The item lines of a group form one block of exactly the
// group's item count.
void ShowGroupItems(const TListBox& groups, TListBox& items);
