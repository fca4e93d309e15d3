// Request steps and lists written the short way, and the values of a parameter array.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Sequence.h"

using Values = std::vector<int16_t>;

// A step with its parameters; without parameters it has no parameter array.
inline std::unique_ptr<TSequence> Step(int serviceId, const Values& params = {}) {
  if (params.empty()) return std::make_unique<TSequence>(serviceId, nullptr);
  auto array = std::make_unique<TSmallIntArray>();
  for (int16_t value : params)
    array->Add(value);
  return std::make_unique<TSequence>(serviceId, std::move(array));
}

template <typename... Steps>
std::unique_ptr<TSequenceList> List(Steps... steps) {
  auto list = std::make_unique<TSequenceList>();
  (list->Add(std::move(steps)), ...);
  return list;
}

inline Values ValuesOf(const TSmallIntArray* array) {
  return array ? array->Values() : Values{};
}
