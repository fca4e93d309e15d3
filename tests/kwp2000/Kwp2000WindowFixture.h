// The KWP2000 tester's window on the simulated interface: what the window tests share.
#pragma once

#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "sim/Kwp2000EcuFrame.h"
#include "tests/support/TesterWindowFixture.h"

namespace kwp2000test {

using windowtest::Bytes;
using windowtest::Lines;

class Kwp2000Window : public windowtest::TesterWindow<TQuobrixKWP2000Form> {
 protected:
  // The payloads (service id and data) of the frames the tester sent, from the `first` on.
  std::vector<Bytes> TesterPayloads(size_t first = 0) {
    simulation.Bus().Drain();
    const auto frames =
        sim::Kwp2000FramesOnLine(simulation.Bus().Trace(), sim::LineEventKind::TesterByte);
    std::vector<Bytes> payloads;
    for (size_t i = first; i < frames.size(); ++i)
      payloads.push_back(frames[i].frame.payload);
    return payloads;
  }
};

}  // namespace kwp2000test
