// The controls both testers' main windows have, with the captions and places of the KWP2000
// tester; each program merges its own controls and differences into this table.
#pragma once

#include "tester/ControlTable.h"

namespace tester {

// Edit masks: "0x" and two characters, "0x" and four characters.
inline constexpr const char* kByteMask = "\\0xAA;1;_";
inline constexpr const char* kWordMask = "\\0xAAAA;1;_";

const ControlTable& SharedControls();

}  // namespace tester
