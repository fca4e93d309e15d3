// Recorded-session scripts of any content: the replay's parser accepts them or names the line it
// does not understand, and a parsed script answers a frame made of the same bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Exceptions.h"
#include "sim/Kwp2000EcuScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    sim::Kwp2000EcuScript script(sim::ParseKwp2000Script(text));
    if (auto frame = sim::ParseKwp2000Frame(sim::Bytes(data, data + size))) {
      sim::Kwp2000EcuTiming timing;
      script.Answer(*frame, timing, 0);
    }
  } catch (const plat::Exception&) {
  }
  return 0;
}
