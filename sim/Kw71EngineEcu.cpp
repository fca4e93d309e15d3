#include "sim/Kw71EngineEcu.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "sim/EngineBytes.h"
#include "sim/SimulatedEngine.h"

namespace sim {

namespace {

using Bytes = std::vector<uint8_t>;

uint16_t Converter(double value) {
  return static_cast<uint16_t>(std::clamp(std::lround(value), 0L, 1023L));
}

Bytes EngineStateArea(const EngineState& s) {
  return {Byte(s.rpm / 25), Byte(s.coolantC + 40), Byte(s.throttlePercent * 2.55),
          static_cast<uint8_t>(Flag(s.idleSwitch, 0x01) | Flag(s.fullLoadSwitch, 0x02) |
                               Flag(s.acRequest, 0x04) | Flag(s.closedLoop, 0x08))};
}

Bytes FuelArea(const EngineState& s) {
  const auto micros = static_cast<uint16_t>(std::lround(s.injectionMs * 1000));
  return {static_cast<uint8_t>(micros >> 8), static_cast<uint8_t>(micros & 0xFF),
          Byte(s.shortTrimPercent * 5 + 128), SignedByte(s.longTrimPercent * 1.28),
          SignedByte(s.longTrimPercent * 0.6 * 1.28)};
}

struct Area {
  uint16_t start;
  Bytes (*bytes)(const EngineState&);
};

constexpr Area kAreas[] = {{0x0040, EngineStateArea}, {0x0120, FuelArea}};

}  // namespace

uint8_t Kw71EngineRam(uint16_t address, double seconds) {
  for (const Area& area : kAreas) {
    if (address < area.start) continue;
    const Bytes bytes = area.bytes(EngineAt(seconds));
    const size_t offset = address - area.start;
    if (offset < bytes.size()) return bytes[offset];
  }
  return static_cast<uint8_t>(address * 7 + (address >> 8));
}

uint16_t Kw71EngineAdc(uint8_t channel, double seconds) {
  const EngineState s = EngineAt(seconds);
  switch (channel) {
    case 0x01:
      return Converter(s.batteryV * 1023 / 20);
    case 0x03:
      return Converter(s.o2SensorV * 1023);
    case 0x05:
      return Converter(s.manifoldKpa * 1023 / 250);
    default:
      return static_cast<uint16_t>(channel * 97 % 1024);
  }
}

}  // namespace sim
