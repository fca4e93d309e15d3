// Request lists whose answers a data destination decodes: each step carries the description that
// decodes its answer, the name tag that routes it and the destination with the description's
// index there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/Sequence.h"
#include "tester/RequestNames.h"

class TDataDescription;
class TDataDestination;
class TListBox;

// The step that reads the data of a description, or null when the program has none for it.
using TReadStepMaker = std::function<std::unique_ptr<TSequence>(const TDataDescription&)>;

// Tags `step` for `description` in `destination`, registering the description there unless it
// is registered already.
void TagStep(TSequence& step, TDataDescription& description, TDataDestination& destination);

// A list of the one step, tagged for `description` in `destination`.
std::unique_ptr<TSequenceList> TaggedRequest(std::unique_ptr<TSequence> step,
                                             TDataDescription& description,
                                             TDataDestination& destination);

// The high and the low byte of a 16-bit value, as parameter bytes of a step.
inline int16_t HighByte(int value) {
  return static_cast<int16_t>((value >> 8) & 0xFF);
}
inline int16_t LowByte(int value) {
  return static_cast<int16_t>(value & 0xFF);
}

// Appends the tagged step `makeStep` makes for `description`; without one nothing is appended
// and nothing registered.
void AddTaggedStep(TSequenceList& list, TDataDescription& description,
                   TDataDestination& destination, const TReadStepMaker& makeStep);

// A list (name "") of one tagged step per description (raw or owning pointers), in order.
template <class Descriptions>
std::unique_ptr<TSequenceList> BuildTaggedList(const Descriptions& descriptions,
                                               TDataDestination& destination,
                                               const TReadStepMaker& makeStep) {
  auto list = std::make_unique<TSequenceList>();
  for (const auto& description : descriptions)
    if (description) AddTaggedStep(*list, *description, destination, makeStep);
  return list;
}

// The descriptions of the first four entries of a group selection.
std::vector<TDataDescription*> SelectedGroups(const TListBox& selection);
