#include "tester/StepBytes.h"

#include "platform/Conversions.h"
#include "platform/SmallIntArray.h"

int TStepBytes::Count() const {
  return bytes_ ? bytes_->Count() : 0;
}

int TStepBytes::operator[](int index) const {
  return bytes_->Get(index) & 0xFF;
}

std::string TStepBytes::Hex(int index) const {
  return HexByte((*this)[index]);
}

std::string TStepBytes::HexIfPresent(int index) const {
  return index < Count() ? Hex(index) : std::string();
}

std::string TStepBytes::Hex(int high, int low) const {
  return plat::IntToHex(static_cast<uint64_t>((*this)[high] * 256 + (*this)[low]), 4);
}

std::string TStepBytes::ListFrom(int first) const {
  std::string text;
  for (int i = first; i < Count(); ++i)
    text += Hex(i) + " ";
  return text;
}

std::string HexByte(int value) {
  return plat::IntToHex(static_cast<uint64_t>(value & 0xFF), 2);
}

std::vector<std::string> DumpLines(int serviceId, const TStepBytes& d) {
  std::vector<std::string> lines{"New Data, ServiceID : " + HexByte(serviceId)};
  for (int i = 0; i < d.Count(); ++i)
    lines.push_back(d.Hex(i));
  return lines;
}
