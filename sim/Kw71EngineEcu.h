// The data of the simulated KW71/KW81 ECU: RAM bytes and converter values of the simulated engine,
// the one the KWP2000 engine ECU also reports. The definition file Def/QuobrixKWP71.def describes
// exactly these.
//
// RAM (read by address):
//   0x0040 engine speed (rpm / 25), 0x0041 coolant temperature (degC + 40), 0x0042 throttle
//          (% x 2.55), 0x0043 switches (idle 0x01, full load 0x02, A/C request 0x04, closed
//          loop 0x08)
//   0x0120 injection time (2 bytes, us), 0x0122 short-term fuel trim (% x 5 + 128), 0x0123
//          the long-term trim learned in the idle and the part-load cell (a byte each, signed,
//          % x 1.28)
//   Every other address holds a fixed byte of its own.
// ADC channels (10 bits): 0x01 battery (V x 1023 / 20), 0x03 lambda probe (V x 1023), 0x05
//   intake pressure (kPa x 1023 / 250); every other channel reads a fixed value of its own.
#pragma once

#include <cstdint>

namespace sim {

// The byte at `address` and the value of ADC `channel`, `seconds` after the engine's start.
uint8_t Kw71EngineRam(uint16_t address, double seconds);
uint16_t Kw71EngineAdc(uint8_t channel, double seconds);

}  // namespace sim
