// Random description statements, decoded with random bytes, once alone and once appended.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "measurement/Cp1252.h"
#include "measurement/DataDescription.h"
#include "measurement/NamedLists.h"
#include "platform/Exceptions.h"

namespace {

TNamedLists MakeLists() {
  TNamedLists lists;
  TNamedList& bits = lists.FindOrAdd("Bits");
  bits.Add(1, {"0x01", "one"});
  bits.Add(0, {"3", "none"});
  bits.Add(2, {"x", "bad mask"});
  bits.Add(4, {"4"});
  TNamedList& states = lists.FindOrAdd("States");
  states.Add(0, {"off"});
  states.Add(1, {});
  states.Add(-1, {"all", "set"});
  return lists;
}

void DecodeAll(TDataDescription& description, const TSmallIntArray& data) {
  for (bool append : {false, true}) {
    try {
      description.Decode(data, append);
    } catch (const plat::Exception&) {
      // Conversion and list errors of formulas and list entries are the system's answer.
    }
    if (description.GetNames().size() != description.GetValueTexts().size() ||
        description.GetNames().size() != description.GetValues().size())
      __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static const TNamedLists lists = MakeLists();
  FuzzedDataProvider input(bytes, size);
  const bool withLists = input.ConsumeBool();
  const std::string statement = Cp1252ToUtf8(input.ConsumeRandomLengthString(2048));
  TSmallIntArray data;
  for (int i = 0; i < 256 && input.remaining_bytes() > 0; ++i)
    data.Add(input.ConsumeIntegral<uint8_t>());
  try {
    TDataDescription description(statement, withLists ? &lists : nullptr);
    DecodeAll(description, data);
  } catch (const plat::Exception&) {
    // A statement with a non-number or a missing word makes no description.
  }
  return 0;
}
