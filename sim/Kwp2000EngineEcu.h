// The data of the simulated KWP2000 engine ECU: live records of the simulated engine by local
// and common identifier, identification texts, stored trouble codes and actuator states. The
// definition file Def/QuobrixKWP2000.def describes exactly these records.
//
// Local identifiers (read data by local identifier):
//   0x01 engine basics:  speed (2 bytes, rpm x 4), coolant and intake-air temperature
//                        (each (degC + 48) / 0.75), load and throttle (% x 2.55), battery
//                        (V x 10), operating mode (0 cranking, 1 idle, 2 part load, 3 full load,
//                        4 overrun)
//   0x02 mixture:        lambda (2 bytes, x 10000), oxygen sensor (V / 0.005), short- and
//                        long-term fuel trim (signed, % x 1.28), injection time (2 bytes,
//                        ms x 250), mixture flags (closed loop 0x01,
//                        full-load enrichment 0x02, fuel cut-off 0x04)
//   0x03 ignition, air:  advance ((deg + 64) x 2), air mass (2 bytes, g/s x 100), manifold
//                        pressure (kPa), idle target (rpm / 10)
//   0x04 vehicle:        speed (km/h), gear (0 neutral), switches (idle 0x01, full load 0x02,
//                        A/C request 0x04, brake 0x08, radiator fan 0x10), running time (2 bytes,
//                        s)
// Common identifier 0x0100, trip: distance (2 bytes, km x 10), fuel used (2 bytes, l x 100),
//   average speed (km/h).
// Input/output control: 0x10 fuel pump relay, 0x11 radiator fan (state 0 off, 1 on).
// Identification options: 0x8A supplier (Windows-1252), 0x90 vehicle identification number,
//   0x91 hardware number, 0x94 software number, 0x95 software version, 0x97 system name,
//   0x99 programming date (4 bytes BCD), 0x9B calibration.
// Trouble codes P0420, P0171, P0301 and U0101; reading the status of one adds engine speed
// (rpm / 40), coolant temperature and frequency counter from when it was stored.
#pragma once

#include "sim/Kwp2000EcuServices.h"

namespace sim {

Kwp2000EcuData Kwp2000EngineData();

}  // namespace sim
