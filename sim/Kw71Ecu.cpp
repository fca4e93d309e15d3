#include "sim/Kw71Ecu.h"

#include <cstdlib>
#include <string_view>

namespace sim {

std::unique_ptr<Kw71Ecu> Kw71EcuFromEnvironment() {
  const char* choice = std::getenv("QUOBRIX_SIM_ECU");
  Kw71EcuConfig config;
  config.kwp81 = choice != nullptr && std::string_view(choice) == "kw81";
  return std::make_unique<Kw71Ecu>(std::move(config));
}

}  // namespace sim
