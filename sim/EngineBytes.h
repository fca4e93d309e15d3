// Engine values as the bytes a simulated ECU reports them in: rounded and held to the range.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace sim {

inline uint8_t Byte(double value) {
  return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

inline uint8_t SignedByte(double value) {
  return static_cast<uint8_t>(std::clamp(std::lround(value), -128L, 127L));
}

inline uint8_t Flag(bool on, uint8_t bit) {
  return on ? bit : 0;
}

}  // namespace sim
