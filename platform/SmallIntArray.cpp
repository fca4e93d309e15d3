#include "platform/SmallIntArray.h"

#include <string>

#include "platform/Exceptions.h"

namespace {
[[noreturn]] void ThrowOutOfRange(int index) {
  throw plat::ERangeError("Array index out of range : " + std::to_string(index));
}
}  // namespace

int16_t TSmallIntArray::Get(int index) const {
  if (index < 0 || index >= Count()) ThrowOutOfRange(index);
  return values_[static_cast<size_t>(index)];
}

void TSmallIntArray::Set(int index, int16_t value) {
  if (index < 0 || index >= Count()) ThrowOutOfRange(index);
  values_[static_cast<size_t>(index)] = value;
}

std::vector<uint8_t> TSmallIntArray::Bytes() const {
  std::vector<uint8_t> bytes;
  bytes.reserve(values_.size());
  for (int16_t v : values_) bytes.push_back(static_cast<uint8_t>(v & 0xFF));
  return bytes;
}
