// The simulated KWP2000 ECU attached to the K-line bus: passes the line events to the ECU model
// and puts the model's bytes on the line at their times.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/Kwp2000EcuModel.h"
#include "sim/Kwp2000EcuScript.h"
#include "sim/TimedEcu.h"

namespace sim {

class KLineBus;

class Kwp2000Ecu : public TimedEcu {
 public:
  // An ECU with the built-in services.
  explicit Kwp2000Ecu(Kwp2000EcuConfig config = {}, Kwp2000EcuData data = {});
  // An ECU that replays the recorded session in a script file (throws plat::Exception when the
  // file cannot be read or parsed).
  static std::unique_ptr<Kwp2000Ecu> FromScript(const Kwp2000EcuConfig& config,
                                                const std::string& path);

  Kwp2000EcuModel& Model() { return model_; }
  // The built-in services; null for a scripted ECU.
  Kwp2000EcuServices* Services() { return services_; }

 private:
  Kwp2000Ecu(const Kwp2000EcuConfig& config, std::unique_ptr<Kwp2000EcuResponder> responder);
  TimedEcuModel& Timed() override { return model_; }

  Kwp2000EcuServices* services_;  // owned by the model; null for a script
  Kwp2000EcuModel model_;
};

// Runs `call` on the bus's thread with the KWP2000 ECU on `bus`; nothing when another model (or
// none) is attached. Returns whether it ran.
bool WithKwp2000Ecu(KLineBus& bus, const std::function<void(Kwp2000Ecu&)>& call);

}  // namespace sim
