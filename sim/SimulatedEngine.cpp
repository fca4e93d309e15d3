#include "sim/SimulatedEngine.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kCrankingSeconds = 1.0;
constexpr double kRoundSeconds = 60;
// The round: idle until kAccelerate, then 9 km/h per second up to kCruiseKmh, cruise, 9 km/h per
// second down again from kOverrun, idle from kIdleAgain.
constexpr double kAccelerate = 12;
constexpr double kCruise = 22;
constexpr double kOverrun = 42;
constexpr double kIdleAgain = 52;
constexpr double kCruiseKmh = 90;
constexpr double kKmhPerSecond = kCruiseKmh / (kCruise - kAccelerate);
constexpr double kFullLoadSeconds = 3;  // at the beginning of the acceleration
constexpr double kClutchKmh = 12;       // below it, slowing down, the clutch is open
constexpr double kSecondsPerHour = 3600;
constexpr double kWarmUpSeconds = 180;  // time constant of the coolant
constexpr double kLambdaPeriod = 1.1;   // the closed-loop lambda swing

// Road speed per 1000 rpm in gears 1 to 5, and the speeds at which the next gear is used.
constexpr double kKmhPer1000Rpm[] = {7, 12.5, 18.5, 25, 32};
constexpr double kShiftKmh[] = {15, 32, 52, 72};

double Wave(double seconds, double period, double phase = 0) {
  return std::sin(2 * kPi * seconds / period + phase);
}

// Position in the round and the road speed there.
struct Round {
  double at = 0;
  double speedKmh = 0;
  bool accelerating = false;
  bool cruising = false;
  bool slowing = false;
};

Round RoundAt(double seconds) {
  Round round;
  round.at = std::fmod(seconds, kRoundSeconds);
  if (round.at >= kAccelerate && round.at < kCruise) {
    round.accelerating = true;
    round.speedKmh = kKmhPerSecond * (round.at - kAccelerate);
  } else if (round.at >= kCruise && round.at < kOverrun) {
    round.cruising = true;
    round.speedKmh = kCruiseKmh;
  } else if (round.at >= kOverrun && round.at < kIdleAgain) {
    round.slowing = true;
    round.speedKmh = kCruiseKmh - kKmhPerSecond * (round.at - kOverrun);
  }
  return round;
}

// Distance driven in the round up to `at`, in km.
double RoundDistanceKm(double at) {
  const double rampKmhSeconds = kCruiseKmh * (kCruise - kAccelerate) / 2;
  const double cruiseKmhSeconds = kCruiseKmh * (kOverrun - kCruise);
  double kmhSeconds = 0;
  if (at >= kIdleAgain) {
    kmhSeconds = 2 * rampKmhSeconds + cruiseKmhSeconds;
  } else if (at >= kOverrun) {
    const double slowing = at - kOverrun;
    kmhSeconds = rampKmhSeconds + cruiseKmhSeconds + kCruiseKmh * slowing -
                 kKmhPerSecond * slowing * slowing / 2;
  } else if (at >= kCruise) {
    kmhSeconds = rampKmhSeconds + kCruiseKmh * (at - kCruise);
  } else if (at >= kAccelerate) {
    const double rising = at - kAccelerate;
    kmhSeconds = kKmhPerSecond * rising * rising / 2;
  }
  return kmhSeconds / kSecondsPerHour;
}

double DistanceKm(double seconds) {
  const double rounds = std::floor(seconds / kRoundSeconds);
  return rounds * RoundDistanceKm(kRoundSeconds) +
         RoundDistanceKm(seconds - rounds * kRoundSeconds);
}

int GearFor(const Round& round) {
  if (round.speedKmh <= 0 || (round.slowing && round.speedKmh < kClutchKmh)) return 0;
  int gear = 1;
  for (double shift : kShiftKmh)
    if (round.speedKmh >= shift) ++gear;
  return gear;
}

// 1 when cold, 0 from 70 degC on.
double ColdFactor(double coolantC) {
  return std::clamp((70 - coolantC) / 50, 0.0, 1.0);
}

void SetTemperatures(EngineState& s) {
  const double warm = 1 - std::exp(-s.seconds / kWarmUpSeconds);
  s.coolantC = 18 + 72 * warm + 2.5 * std::pow(warm, 4) * Wave(s.seconds, 95);
  s.intakeAirC = 18 + 14 * (1 - std::exp(-s.seconds / 500)) - 4 * s.speedKmh / kCruiseKmh;
  s.radiatorFan = s.coolantC > 91.5;
}

void SetSpeedAndGear(EngineState& s, const Round& round) {
  s.speedKmh = round.speedKmh;
  s.gear = GearFor(round);
  const double cold = ColdFactor(s.coolantC);
  s.idleTargetRpm = 800 + 200 * cold;
  const double flare = std::max(0.0, 450 * (1 - (s.seconds - kCrankingSeconds) / 3));
  const double idleRpm = s.idleTargetRpm + flare + 12 * Wave(s.seconds, 1.7);
  if (s.seconds < kCrankingSeconds) {
    s.rpm = 220 + 20 * Wave(s.seconds, 0.25);
  } else if (s.gear == 0) {
    s.rpm = idleRpm;
  } else {
    const double wheelRpm = 1000 * s.speedKmh / kKmhPer1000Rpm[s.gear - 1];
    s.rpm = std::max(1100.0, wheelRpm) + 10 * Wave(s.seconds, 2.3);
  }
}

void SetDriverInputs(EngineState& s, const Round& round) {
  const double cold = ColdFactor(s.coolantC);
  if (round.accelerating) {
    s.throttlePercent =
        round.at - kAccelerate < kFullLoadSeconds ? 88 : 45 + 5 * Wave(s.seconds, 3);
  } else if (round.cruising) {
    s.throttlePercent = 17 + 2 * Wave(s.seconds, 7);
  } else {
    s.throttlePercent = 0;
  }
  s.idleSwitch = s.throttlePercent < 0.5;
  s.fullLoadSwitch = s.throttlePercent > 80;
  s.acRequest = round.cruising;
  s.brakePedal = round.slowing;
  if (s.seconds < kCrankingSeconds) {
    s.mode = EngineMode::Cranking;
  } else if (s.gear == 0) {
    s.mode = EngineMode::Idle;
  } else if (round.slowing) {
    s.mode = EngineMode::Overrun;
  } else {
    s.mode = s.fullLoadSwitch ? EngineMode::FullLoad : EngineMode::PartLoad;
  }
  switch (s.mode) {
    case EngineMode::Cranking:
      s.loadPercent = 40;
      break;
    case EngineMode::Idle:
      s.loadPercent = 18 + 6 * cold;
      break;
    case EngineMode::Overrun:
      s.loadPercent = 8;
      break;
    default:
      s.loadPercent = 30 + 0.7 * s.throttlePercent;
      break;
  }
}

void SetMixture(EngineState& s) {
  const double cold = ColdFactor(s.coolantC);
  s.fuelCut = s.mode == EngineMode::Overrun;
  s.fullLoadEnrichment = s.mode == EngineMode::FullLoad;
  s.closedLoop = false;
  if (s.mode == EngineMode::Cranking) {
    s.lambda = 0.8;
  } else if (s.fuelCut) {
    s.lambda = 1.99;  // the sensor's limit: air only
  } else if (s.fullLoadEnrichment) {
    s.lambda = 0.88;
  } else if (s.coolantC < 35) {
    s.lambda = 0.95;
  } else {
    s.closedLoop = true;
    s.lambda = 1 + 0.025 * Wave(s.seconds, kLambdaPeriod);
  }
  s.o2SensorV = 0.45 - 0.4 * std::tanh((s.lambda - 1) * 80);
  s.shortTrimPercent = s.closedLoop ? 6 * Wave(s.seconds, kLambdaPeriod) : 0;
  s.longTrimPercent = 4.7 * (1 - std::exp(-s.seconds / 90));
  s.injectionMs = s.fuelCut ? 0 : (1.2 + 0.095 * s.loadPercent * (1 + 0.3 * cold)) / s.lambda;
}

void SetAirAndIgnition(EngineState& s) {
  s.manifoldKpa = s.fuelCut ? 22 : 28 + 0.72 * s.loadPercent;
  s.airMassGs = s.rpm / 60 * 1.18 * s.loadPercent / 100;  // 2 l per two revolutions
  s.ignitionDeg = s.fuelCut ? 5 : std::clamp(8 + s.rpm / 250 - s.loadPercent / 12, 2.0, 40.0);
}

void SetElectricsAndTrip(EngineState& s) {
  if (s.seconds < kCrankingSeconds) {
    s.batteryV = 10.4;
  } else {
    s.batteryV = 14.15 - (s.radiatorFan ? 0.25 : 0) - 0.1 * ColdFactor(s.coolantC) +
                 0.04 * Wave(s.seconds, 0.9);
  }
  s.distanceKm = DistanceKm(s.seconds);
  s.fuelLitres = 0.07 * s.distanceKm + 0.8 * s.seconds / kSecondsPerHour;
}

}  // namespace

EngineState EngineAt(double seconds) {
  EngineState s;
  s.seconds = std::max(0.0, seconds);
  const Round round = RoundAt(s.seconds);
  s.speedKmh = round.speedKmh;
  SetTemperatures(s);
  SetSpeedAndGear(s, round);
  SetDriverInputs(s, round);
  SetMixture(s);
  SetAirAndIgnition(s);
  SetElectricsAndTrip(s);
  return s;
}

}  // namespace sim
