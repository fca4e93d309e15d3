#include "tester/GroupItems.h"

#include "measurement/CommaText.h"
#include "measurement/DataDescription.h"
#include "measurement/DisplayTargets.h"

void ShowGroupItems(const TListBox& groups, TListBox& items) {
  items.Clear();
  for (int i = 0; i < groups.Count(); ++i) {
    const auto* description = reinterpret_cast<const TDataDescription*>(groups.Object(i));
    if (!description) continue;
    const bool selected = groups.Selected(i);
    for (int j = 0; j < description->Count(); ++j) {
      // A decoding of several records may leave fewer lines than items: the list error then.
      items.AddObject(
          WordAt(description->GetNames(), j) + " (" + WordAt(description->GetUnits(), j) + ")",
          reinterpret_cast<intptr_t>(description->Objects(j)));
      if (selected) items.SetSelected(items.Count() - 1, true);
    }
  }
}
