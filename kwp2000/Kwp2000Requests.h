// The KWP2000 request lists of the tester's live-data, identification and trouble-code commands.
// Tagged steps carry the description that decodes their answer and its destination.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Sequence.h"

class TDataDescription;
class TDataDestination;
class TListBox;

// The trouble-code group asked for when the definition names none.
inline constexpr int kAllDtcGroups = 0xFF00;

// Reads a description's data: 0x21 [id] or 0x22 [id high, id low] by its service id; null for
// any other service id.
std::unique_ptr<TSequence> MakeReadDataStep(const TDataDescription& description);
// As MakeReadDataStep, and 0x1A [id] (read ECU identification) for any other service id.
std::unique_ptr<TSequence> MakeIdentificationStep(const TDataDescription& description);

// The object of the chosen line of a non-empty list box; line 0 is chosen when none is.
intptr_t ChooseLine(TListBox& box);

// One step per identification description; the destination is cleared first.
std::unique_ptr<TSequenceList> IdentificationRequest(
    const std::vector<std::unique_ptr<TDataDescription>>& descriptions,
    TDataDestination& destination);
// 0x18 [status, group high, group low] with the chosen status and group (0 and kAllDtcGroups
// when a list is empty); the destination is cleared first.
std::unique_ptr<TSequenceList> DtcByStatusRequest(TDataDescription& description,
                                                  TListBox& statusBox, TListBox& groupBox,
                                                  TDataDestination& destination);
// 0x17 [code high, code low] with the chosen code of a non-empty list; the destination is
// cleared first.
std::unique_ptr<TSequenceList> StatusOfDtcRequest(TDataDescription& description, TListBox& codeBox,
                                                  TDataDestination& destination);
// 0x14 [group high, group low], untagged: its answer is only logged.
std::unique_ptr<TSequenceList> ClearDtcRequest(int group);
