#include "sim/Kwp2000EngineEcu.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "sim/EngineBytes.h"
#include "sim/SimulatedEngine.h"

namespace sim {

namespace {

void AddWord(Bytes& bytes, double value) {
  const auto word = static_cast<uint16_t>(std::clamp(std::lround(value), 0L, 65535L));
  bytes.push_back(static_cast<uint8_t>(word >> 8));
  bytes.push_back(static_cast<uint8_t>(word & 0xFF));
}

uint8_t Temperature(double celsius) {
  return Byte((celsius + 48) / 0.75);
}

uint8_t Percent(double percent) {
  return Byte(percent * 2.55);
}

Bytes EngineBasics(double seconds) {
  const EngineState s = EngineAt(seconds);
  Bytes record;
  AddWord(record, s.rpm * 4);
  record.push_back(Temperature(s.coolantC));
  record.push_back(Temperature(s.intakeAirC));
  record.push_back(Percent(s.loadPercent));
  record.push_back(Percent(s.throttlePercent));
  record.push_back(Byte(s.batteryV * 10));
  record.push_back(static_cast<uint8_t>(s.mode));
  return record;
}

Bytes Mixture(double seconds) {
  const EngineState s = EngineAt(seconds);
  Bytes record;
  AddWord(record, s.lambda * 10000);
  record.push_back(Byte(s.o2SensorV / 0.005));
  record.push_back(SignedByte(s.shortTrimPercent * 1.28));
  record.push_back(SignedByte(s.longTrimPercent * 1.28));
  AddWord(record, s.injectionMs * 250);
  record.push_back(Flag(s.closedLoop, 0x01) | Flag(s.fullLoadEnrichment, 0x02) |
                   Flag(s.fuelCut, 0x04));
  return record;
}

Bytes IgnitionAndAir(double seconds) {
  const EngineState s = EngineAt(seconds);
  Bytes record{Byte((s.ignitionDeg + 64) * 2)};
  AddWord(record, s.airMassGs * 100);
  record.push_back(Byte(s.manifoldKpa));
  record.push_back(Byte(s.idleTargetRpm / 10));
  return record;
}

Bytes Vehicle(double seconds) {
  const EngineState s = EngineAt(seconds);
  Bytes record{Byte(s.speedKmh), static_cast<uint8_t>(s.gear),
               static_cast<uint8_t>(Flag(s.idleSwitch, 0x01) | Flag(s.fullLoadSwitch, 0x02) |
                                    Flag(s.acRequest, 0x04) | Flag(s.brakePedal, 0x08) |
                                    Flag(s.radiatorFan, 0x10))};
  AddWord(record, s.seconds);
  return record;
}

Bytes Trip(double seconds) {
  const EngineState s = EngineAt(seconds);
  Bytes record;
  AddWord(record, s.distanceKm * 10);
  AddWord(record, s.fuelLitres * 100);
  record.push_back(Byte(s.seconds > 0 ? s.distanceKm * 3600 / s.seconds : 0));
  return record;
}

Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// Engine speed (rpm / 40), coolant temperature and how often the fault was seen, when it was
// stored.
Bytes Environment(double rpm, double coolantC, uint8_t count) {
  return {Byte(rpm / 40), Temperature(coolantC), count};
}

}  // namespace

Kwp2000EcuData Kwp2000EngineData() {
  Kwp2000EcuData data;
  data.identification = {
      {0x8A, Text("Quobrix Steuerger\xE4tebau")},  // Windows-1252
      {0x90, Text("WQXZZZ1KZ5W012345")},
      {0x91, Text("HW 0815.208")},
      {0x94, Text("1037360815")},
      {0x95, Text("SW 04.21")},
      {0x97, Text("QBX-M2 2.0l 16V")},
      {0x99, {0x20, 0x24, 0x03, 0x15}},  // programming date, BCD
      {0x9B, Text("CAL 0042")},
  };
  data.localData.clear();
  data.commonData.clear();
  data.liveLocalData = {
      {0x01, EngineBasics}, {0x02, Mixture}, {0x03, IgnitionAndAir}, {0x04, Vehicle}};
  data.liveCommonData = {{0x0100, Trip}};
  data.ioStates = {
      {0x10, [](double seconds) { return Bytes{Byte(EngineAt(seconds).rpm > 0)}; }},
      {0x11, [](double seconds) { return Bytes{Byte(EngineAt(seconds).radiatorFan)}; }}};
  data.troubleCodes = {
      {0x0420, 0xE0, Environment(2400, 88, 3)},  // P0420, warning lamp on, present
      {0x0171, 0xA0, Environment(840, 85, 1)},   // P0171, warning lamp on, stored
      {0x0301, 0x40, Environment(3200, 92, 5)},  // P0301, intermittent
      {0xC101, 0x20, Environment(840, 45, 2)},   // U0101, stored
  };
  return data;
}

}  // namespace sim
