#include "tester/KeyBytes.h"

#include "platform/Conversions.h"

namespace tester {

std::vector<std::string> KeyByteLines(const TSmallIntArray& keyBytes) {
  std::vector<std::string> lines{"KeyBytes, count : " + std::to_string(keyBytes.Count())};
  for (int16_t value : keyBytes.Values())
    lines.push_back(plat::IntToHex(static_cast<uint8_t>(value), 2));
  return lines;
}

}  // namespace tester
