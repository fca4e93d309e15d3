#include "kw71/Kw71Requests.h"

#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "tester/TaggedRequests.h"

namespace {

constexpr int kRamService = 1;
constexpr int kAdcService = 8;

// A byte count above 255 is no parameter byte: the step then ends before it.
int16_t ParamByte(int value) {
  return value >= 0 && value <= 0xFF ? static_cast<int16_t>(value) : -1;
}

std::unique_ptr<TSequence> IdentificationStep(const TDataDescription&) {
  return TSequence::CreateFromBytes(kKw71ReadIdentification);
}

}  // namespace

std::unique_ptr<TSequence> MakeKw71ReadStep(const TDataDescription& description) {
  const int address = description.GetIdentifier();
  switch (description.GetServiceId()) {
    case kRamService:
      return TSequence::CreateFromBytes(kKw71ReadRam, ParamByte(description.GetTotalNrBytes()),
                                        HighByte(address), LowByte(address));
    case kAdcService:
      return TSequence::CreateFromBytes(kKw71ReadAdc, LowByte(address));
    default:
      return nullptr;
  }
}

std::unique_ptr<TSequenceList> Kw71IdentificationRequest(const TDescriptionList& descriptions,
                                                         TDataDestination& destination) {
  destination.Clear();
  return BuildTaggedList(descriptions, destination, IdentificationStep);
}

std::unique_ptr<TSequenceList> Kw71ReadDtcRequest(TDataDescription& description,
                                                  TDataDestination& destination) {
  destination.Clear();
  return TaggedRequest(TSequence::CreateFromBytes(kKw71ReadDtc), description, destination);
}

std::unique_ptr<TSequenceList> Kw71ClearDtcRequest() {
  return TSequenceList::CreateWithStep(TSequence::CreateFromBytes(kKw71ClearDtc));
}
