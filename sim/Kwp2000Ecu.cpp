#include "sim/Kwp2000Ecu.h"

#include "sim/KLineBus.h"

namespace sim {

Kwp2000Ecu::Kwp2000Ecu(Kwp2000EcuConfig config, Kwp2000EcuData data)
    : Kwp2000Ecu(config, std::make_unique<Kwp2000EcuServices>(config.identity, std::move(data))) {}

Kwp2000Ecu::Kwp2000Ecu(const Kwp2000EcuConfig& config,
                       std::unique_ptr<Kwp2000EcuResponder> responder)
    : services_(dynamic_cast<Kwp2000EcuServices*>(responder.get())),
      model_(config, std::move(responder)) {}

std::unique_ptr<Kwp2000Ecu> Kwp2000Ecu::FromScript(const Kwp2000EcuConfig& config,
                                                   const std::string& path) {
  return std::unique_ptr<Kwp2000Ecu>(new Kwp2000Ecu(config, Kwp2000EcuScript::FromFile(path)));
}

bool WithKwp2000Ecu(KLineBus& bus, const std::function<void(Kwp2000Ecu&)>& call) {
  return WithModel(bus, call);
}

}  // namespace sim
