// The worker's KWP2000 connection through the libftdi backend and an emulated FT232R instead of
// the simulated interface: the same bytes reach the simulated ECU and the same answers come back.
#include <gtest/gtest.h>

#include "EmulatedFt232r.h"
#include "Kwp2000OnBusSupport.h"
#include "platform/Conversions.h"
#include "platform/FtdiLibusb.h"

namespace {

// What one session put on the line and got back.
struct Session {
  std::vector<int> testerBytes;
  std::vector<int> ecuBytes;
  std::vector<int> answers;  // service ids of the answers to the unit of work
  int32_t baudRateAtEnd = 0;
};

struct RouteCase {
  const char* name;
  uint8_t initType;
};

class Kwp2000OnFt232r : public Kwp2000OnBus, public ::testing::WithParamInterface<RouteCase> {
 protected:
  // Through the simulated interface, or through libftdi, libusb and the emulated chip.
  void Route(bool emulated) {
    line = emulated ? &chipBus : &simulation.Bus();
    portName = emulated ? "0x" + plat::IntToHex(emulated::Ft232r::kLocationId, 8) : kPortName;
    plat::ftdi::SetActiveLibrary(
        emulated ? static_cast<plat::ftdi::Library*>(&plat::ftdi::LibftdiLibrary::Instance())
                 : &simulation.Ftdi());
  }

  // Connects, reads local data, the identification and the trouble codes at 115200 baud, and
  // stops.
  Session RunSession(uint8_t initType) {
    Session session;
    // Emulated USB adds milliseconds to every byte and edge, far more under a sanitizer on a
    // loaded machine; this test is about the bytes, so the ECU does not hold the tester to its
    // timing.
    sim::Kwp2000EcuConfig ecu;
    ecu.requestGapMs = 1000;
    ecu.fastInitLowMinMs = 15;
    ecu.fastInitLowMaxMs = 170;
    EXPECT_TRUE(Connect(initType, ecu));
    const auto result = Run(List(Step(0x10, {0x81, 0x05}), Step(0x21, {0x01}), Step(0x1A, {0x80}),
                                 Step(0x18, {0x00, 0xFF, 0x00})));
    EXPECT_TRUE(result) << ByteLogText();
    for (int i = 0; result && i < result->ResponseCount(); ++i)
      session.answers.push_back(result->ResponseServiceId(i));
    DeleteResponses();
    EXPECT_TRUE(worker->StopCommunication());
    DeleteResponses();
    if (!WaitFreed()) return session;  // TearDown ends the worker
    for (const LineEvent& event : Events(LineEventKind::TesterByte))
      session.testerBytes.push_back(event.value);
    for (const LineEvent& event : Events(LineEventKind::EcuByte))
      session.ecuBytes.push_back(event.value);
    session.baudRateAtEnd = Bus().CurrentBaudRate();
    worker = nullptr;
    memo.Clear();
    return session;
  }

  sim::KLineBus chipBus;
  emulated::Ft232r chip{chipBus};
};

TEST_P(Kwp2000OnFt232r, TheEcuSeesTheSameBytesAsThroughTheSimulatedInterface) {
  Route(false);
  const Session simulated = RunSession(GetParam().initType);
  ASSERT_EQ(worker, nullptr) << "the worker did not end";
  Route(true);
  const Session emulated = RunSession(GetParam().initType);
  ASSERT_EQ(worker, nullptr) << "the worker did not end";
  EXPECT_EQ(simulated.answers, (std::vector<int>{0x50, 0x61, 0x5A, 0x58}));
  EXPECT_EQ(emulated.answers, simulated.answers);
  EXPECT_EQ(emulated.testerBytes, simulated.testerBytes);
  EXPECT_EQ(emulated.ecuBytes, simulated.ecuBytes);
  EXPECT_NEAR(emulated.baudRateAtEnd, 115200, 115200 / 50);
  EXPECT_FALSE(chip.InterfaceClaimed());
  EXPECT_TRUE(chip.KernelDriverBound());
}

INSTANTIATE_TEST_SUITE_P(Initialisations, Kwp2000OnFt232r,
                         ::testing::Values(RouteCase{"Fast", 1}, RouteCase{"FiveBaud", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
