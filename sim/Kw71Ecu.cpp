#include "sim/Kw71Ecu.h"

#include <cstdlib>
#include <string_view>

#include "sim/KLineBus.h"

namespace sim {

bool WithKw71Ecu(KLineBus& bus, const std::function<void(Kw71Ecu&)>& call) {
  bool ran = false;
  bus.Call([&](EcuModel* model) {
    if (auto* ecu = dynamic_cast<Kw71Ecu*>(model)) {
      call(*ecu);
      ran = true;
    }
  });
  return ran;
}

std::unique_ptr<Kw71Ecu> Kw71EcuFromEnvironment() {
  const char* choice = std::getenv("QUOBRIX_SIM_ECU");
  Kw71EcuConfig config;
  config.kwp81 = choice != nullptr && std::string_view(choice) == "kw81";
  return std::make_unique<Kw71Ecu>(std::move(config));
}

}  // namespace sim
