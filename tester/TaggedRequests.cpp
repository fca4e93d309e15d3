#include "tester/TaggedRequests.h"

#include <algorithm>

#include "measurement/DataDestination.h"
#include "measurement/DisplayTargets.h"
#include "tester/LiveDataSelection.h"

void TagStep(TSequence& step, TDataDescription& description, TDataDestination& destination) {
  const int registered = destination.IndexOf(description);
  step.FData = reinterpret_cast<intptr_t>(&description);
  step.FName = kDataWithDestination;
  step.FDestination = &destination;
  step.FDestinationIndex = registered >= 0 ? registered : destination.AddDescription(description);
}

std::unique_ptr<TSequenceList> TaggedRequest(std::unique_ptr<TSequence> step,
                                             TDataDescription& description,
                                             TDataDestination& destination) {
  TagStep(*step, description, destination);
  return TSequenceList::CreateWithStep(std::move(step));
}

void AddTaggedStep(TSequenceList& list, TDataDescription& description,
                   TDataDestination& destination, const TReadStepMaker& makeStep) {
  std::unique_ptr<TSequence> step = makeStep(description);
  if (!step) return;
  TagStep(*step, description, destination);
  list.Add(std::move(step));
}

std::vector<TDataDescription*> SelectedGroups(const TListBox& selection) {
  std::vector<TDataDescription*> groups;
  for (int i = 0; i < std::min(selection.Count(), kMaxSelectedGroups); ++i)
    groups.push_back(reinterpret_cast<TDataDescription*>(selection.Object(i)));
  return groups;
}
