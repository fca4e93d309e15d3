#include "kwp2000/Kwp2000Requests.h"

#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "measurement/DisplayTargets.h"
#include "tester/TaggedRequests.h"

namespace {

int ChosenOr(TListBox& box, int fallback) {
  return box.Count() > 0 ? static_cast<int>(ChooseLine(box)) : fallback;
}

}  // namespace

std::unique_ptr<TSequence> MakeReadDataStep(const TDataDescription& description) {
  const int id = description.GetIdentifier();
  switch (description.GetServiceId()) {
    case 0x21:
      return TSequence::CreateFromBytes(0x21, LowByte(id));
    case 0x22:
      return TSequence::CreateFromBytes(0x22, HighByte(id), LowByte(id));
    default:
      return nullptr;
  }
}

std::unique_ptr<TSequence> MakeIdentificationStep(const TDataDescription& description) {
  std::unique_ptr<TSequence> step = MakeReadDataStep(description);
  return step ? std::move(step)
              : TSequence::CreateFromBytes(0x1A, LowByte(description.GetIdentifier()));
}

intptr_t ChooseLine(TListBox& box) {
  for (int i = 0; i < box.Count(); ++i)
    if (box.Selected(i)) return box.Object(i);
  box.SetSelected(0, true);
  return box.Object(0);
}

std::unique_ptr<TSequenceList> IdentificationRequest(
    const std::vector<std::unique_ptr<TDataDescription>>& descriptions,
    TDataDestination& destination) {
  destination.Clear();
  return BuildTaggedList(descriptions, destination, MakeIdentificationStep);
}

std::unique_ptr<TSequenceList> DtcByStatusRequest(TDataDescription& description,
                                                  TListBox& statusBox, TListBox& groupBox,
                                                  TDataDestination& destination) {
  destination.Clear();
  const int status = ChosenOr(statusBox, 0);
  const int group = ChosenOr(groupBox, kAllDtcGroups);
  return TaggedRequest(
      TSequence::CreateFromBytes(0x18, LowByte(status), HighByte(group), LowByte(group)),
      description, destination);
}

std::unique_ptr<TSequenceList> StatusOfDtcRequest(TDataDescription& description, TListBox& codeBox,
                                                  TDataDestination& destination) {
  destination.Clear();
  const int code = static_cast<int>(ChooseLine(codeBox));
  return TaggedRequest(TSequence::CreateFromBytes(0x17, HighByte(code), LowByte(code)), description,
                       destination);
}

std::unique_ptr<TSequenceList> ClearDtcRequest(int group) {
  return TSequenceList::CreateWithStep(
      TSequence::CreateFromBytes(0x14, HighByte(group), LowByte(group)));
}
