// The byte buffer used throughout for bytes sent and received: a growable array of 16-bit values.
// Reading outside 0 .. Count()-1 throws ERangeError "Array index out of range : <index>".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

class TSmallIntArray {
 public:
  TSmallIntArray() = default;
  TSmallIntArray(std::initializer_list<int16_t> values) : values_(values) {}

  void Add(int16_t value) { values_.push_back(value); }
  void Clear() { values_.clear(); }
  int Count() const { return static_cast<int>(values_.size()); }
  int16_t Get(int index) const;
  int16_t operator[](int index) const { return Get(index); }
  void Set(int index, int16_t value);

  // The values as bytes (low 8 bits each), for callers that hand them on as a block.
  std::vector<uint8_t> Bytes() const;
  const std::vector<int16_t>& Values() const { return values_; }

  bool operator==(const TSmallIntArray&) const = default;

 private:
  std::vector<int16_t> values_;
};
