// The KW71/KW81 request lists of the tester's live-data, identification and fault-code commands.
// A step's service id is the block title and its parameters are the block's data bytes. Tagged
// steps carry the description that decodes their answer and its destination.
#pragma once

#include <memory>

#include "engine/Sequence.h"
#include "tester/Definitions.h"

class TDataDescription;
class TDataDestination;

// Block titles of the tester's requests.
inline constexpr int kKw71ReadIdentification = 0x00;
inline constexpr int kKw71ReadRam = 0x01;
inline constexpr int kKw71ClearDtc = 0x05;
inline constexpr int kKw71ReadDtc = 0x07;
inline constexpr int kKw71ReadAdc = 0x08;

// Reads a group by its service id: 1 reads RAM, 0x01 [byte count, address high, address low]; 8
// reads an ADC channel, 0x08 [channel]. Null for any other service id: the group is skipped.
std::unique_ptr<TSequence> MakeKw71ReadStep(const TDataDescription& description);

// One 0x00 step per identification description; the destination is cleared first.
std::unique_ptr<TSequenceList> Kw71IdentificationRequest(const TDescriptionList& descriptions,
                                                         TDataDestination& destination);
// 0x07 for the fault-code description; the destination is cleared first.
std::unique_ptr<TSequenceList> Kw71ReadDtcRequest(TDataDescription& description,
                                                  TDataDestination& destination);
// 0x05, untagged: its answer is only logged.
std::unique_ptr<TSequenceList> Kw71ClearDtcRequest();
