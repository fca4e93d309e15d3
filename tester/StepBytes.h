// The bytes of a request or response step as the activity-log lines show them: read by index as
// bytes and written as upper-case hexadecimal. A step may carry no byte buffer at all, which the
// lines tell apart from an empty one.
#pragma once

#include <string>
#include <vector>

class TSmallIntArray;

class TStepBytes {
 public:
  explicit TStepBytes(const TSmallIntArray* bytes) : bytes_(bytes) {}

  bool HasArray() const { return bytes_ != nullptr; }
  int Count() const;
  // The low 8 bits of the value at `index` (0 .. Count()-1).
  int operator[](int index) const;
  // Byte `index` as exactly two hexadecimal digits.
  std::string Hex(int index) const;
  // Byte `index` as two digits, or nothing when the step has no such byte.
  std::string HexIfPresent(int index) const;
  // Bytes `high` and `low` as one 16-bit value of exactly four hexadecimal digits.
  std::string Hex(int high, int low) const;
  // Two digits and one blank for each byte from `first` on, so a non-empty list ends in a blank.
  std::string ListFrom(int first) const;

 private:
  const TSmallIntArray* bytes_;
};

// `value` (its low 8 bits) as exactly two hexadecimal digits.
std::string HexByte(int value);

// An answer without lines of its own: "New Data, ServiceID : " and its service id, then one line
// per data byte.
std::vector<std::string> DumpLines(int serviceId, const TStepBytes& d);
