// A running petrol engine as a function of time, for the simulated ECUs' live data. The engine
// cranks for a second, warms up from a cold start over a few minutes and drives a repeating
// one-minute round: idle, an acceleration through the gears (full load at first), a cruise at
// 90 km/h, an overrun with fuel cut-off down to idle. Every signal is worked out from the seconds
// since the start alone, so answers read at nearby moments differ a little and tests can check
// them within ranges.
#pragma once

namespace sim {

enum class EngineMode { Cranking = 0, Idle = 1, PartLoad = 2, FullLoad = 3, Overrun = 4 };

struct EngineState {
  double seconds = 0;  // since the start
  EngineMode mode = EngineMode::Cranking;
  double rpm = 0;
  double idleTargetRpm = 0;
  double coolantC = 0;
  double intakeAirC = 0;
  double batteryV = 0;
  double throttlePercent = 0;
  double loadPercent = 0;
  double manifoldKpa = 0;
  double airMassGs = 0;
  double ignitionDeg = 0;  // advance before top dead centre
  double injectionMs = 0;
  double lambda = 0;
  double o2SensorV = 0;  // narrow-band sensor: about 0.8 V rich, 0.1 V lean
  double shortTrimPercent = 0;
  double longTrimPercent = 0;
  double speedKmh = 0;
  int gear = 0;  // 0: neutral
  double distanceKm = 0;
  double fuelLitres = 0;
  bool closedLoop = false;
  bool fullLoadEnrichment = false;
  bool fuelCut = false;
  bool idleSwitch = false;
  bool fullLoadSwitch = false;
  bool acRequest = false;
  bool brakePedal = false;
  bool radiatorFan = false;
};

// The engine `seconds` after its start (negative counts as 0).
EngineState EngineAt(double seconds);

}  // namespace sim
