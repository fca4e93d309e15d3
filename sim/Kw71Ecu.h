// The simulated KW71/KW81 ECU attached to the K-line bus, and the choice of the ECU that the
// QuobrixKWP71 program finds on the simulated interface.
#pragma once

#include <memory>

#include "sim/Kw71EcuModel.h"
#include "sim/TimedEcu.h"

namespace sim {

class Kw71Ecu : public TimedEcu {
 public:
  explicit Kw71Ecu(Kw71EcuConfig config = {}) : model_(std::move(config)) {}

  Kw71EcuModel& Model() { return model_; }

 private:
  TimedEcuModel& Timed() override { return model_; }

  Kw71EcuModel model_;
};

// The ECU of the QuobrixKWP71 program: KWP71 blocks, or KWP81 blocks when the environment
// variable QUOBRIX_SIM_ECU is "kw81".
std::unique_ptr<Kw71Ecu> Kw71EcuFromEnvironment();

}  // namespace sim
