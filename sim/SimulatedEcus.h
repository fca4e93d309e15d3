// Which ECU model the simulated interface has on its line for each program.
#pragma once

namespace sim {

enum class EcuProgram { Kwp71 };

// Puts the program's ECU model on the line of the simulated interface (replacing any other).
// A program calls it after SelectFtdiFromEnvironment() has chosen the simulation.
void AttachEcuFor(EcuProgram program);

}  // namespace sim
