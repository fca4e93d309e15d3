#include "engine/Serialcomm2ftdi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Conversions.h"
#include "platform/Exceptions.h"
#include "platform/MessageBox.h"
#include "sim/SimulatedFtdi.h"

using plat::ftdi::Overlapped;
using sim::Faults;
using sim::SimulatedFtdi;

namespace {

const std::string kSimPortName = "0x" + plat::IntToHex(SimulatedFtdi::kLocationId, 8);

class CommPortTest : public ::testing::Test {
 protected:
  void SetUp() override { port_.SetPortName(kSimPortName); }

  void InjectFaults(void (*change)(Faults&)) {
    Faults faults;
    change(faults);
    simulation_.Ftdi().SetFaults(faults);
  }

  uint8_t ThrownKind(void (TCommPort::*operation)()) {
    try {
      (port_.*operation)();
    } catch (const ECommError& error) {
      return error.FKind;
    }
    return 0;
  }

  sim::ScopedSimulation simulation_;
  std::vector<std::string> messages_;
  plat::ScopedMessageBoxHook recorder_{
      [this](const std::string& text) { messages_.push_back(text); }};
  TCommPort port_;
};

TEST_F(CommPortTest, ConstructionHoldsTheKLineDefaultsAndTouchesNoDevice) {
  TCommPort fresh;
  const plat::ftdi::LineSettings& dcb = fresh.LineSettings();
  EXPECT_EQ(dcb.length, 28u);
  EXPECT_EQ(dcb.baudRate, 10400u);
  EXPECT_TRUE(dcb.binary);
  EXPECT_TRUE(dcb.parityCheck);
  EXPECT_EQ(dcb.byteSize, 8);
  EXPECT_EQ(dcb.parity, 0);
  EXPECT_EQ(dcb.stopBits, 0);
  EXPECT_EQ(dcb.dtrControl, 0);
  EXPECT_EQ(dcb.rtsControl, 0);
  EXPECT_FALSE(dcb.outxCtsFlow || dcb.outxDsrFlow || dcb.outX || dcb.inX || dcb.abortOnError);
  EXPECT_EQ(fresh.GetPortName(), "COM1");
  EXPECT_FALSE(fresh.IsOpen());
  EXPECT_EQ(simulation_.Ftdi().State().opens, 0);
}

TEST_F(CommPortTest, OpenConfiguresTheInterfaceAsTheKLineNeeds) {
  port_.Open();
  ASSERT_TRUE(port_.IsOpen());
  sim::InterfaceState state = simulation_.Ftdi().State();
  EXPECT_TRUE(state.open);
  EXPECT_EQ(state.lineSettings, port_.LineSettings());
  EXPECT_EQ(state.receiveQueueSize, 1024u);
  EXPECT_EQ(state.transmitQueueSize, 1024u);
  EXPECT_EQ(state.timeouts, (plat::ftdi::CommTimeouts{0xFFFFFFFF, 0, 0, 0, 0}));
  EXPECT_EQ(port_.Timeouts(), state.timeouts);
  EXPECT_EQ(state.latencyMs, 1);
  EXPECT_EQ(state.usbInTransferSize, 256u);
  EXPECT_EQ(state.usbOutTransferSize, 0u);
}

TEST_F(CommPortTest, OpeningAnOpenPortDoesNotOpenTheDeviceAgain) {
  port_.Open();
  port_.Open();
  EXPECT_EQ(simulation_.Ftdi().State().opens, 1);
}

TEST_F(CommPortTest, ClosingAClosedPortDoesNothingAndReopeningWorks) {
  port_.Close();
  port_.Open();
  port_.Close();
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(simulation_.Ftdi().State().open);
  port_.Close();
  port_.Open();
  EXPECT_EQ(simulation_.Ftdi().State().opens, 2);
}

TEST_F(CommPortTest, DeletingAnOpenPortReleasesTheDevice) {
  {
    TCommPort port;
    port.SetPortName(kSimPortName);
    port.Open();
    EXPECT_TRUE(simulation_.Ftdi().State().open);
  }
  EXPECT_FALSE(simulation_.Ftdi().State().open);
}

TEST_F(CommPortTest, DeletingAPortWhoseCloseFailsThrowsNothingAndReleasesTheDevice) {
  {
    TCommPort port;
    port.SetPortName(kSimPortName);
    port.Open();
    InjectFaults([](Faults& f) { f.failClose = true; });
  }
  EXPECT_FALSE(simulation_.Ftdi().State().open);
}

TEST_F(CommPortTest, AFailedCloseThrowsKind11AndLeavesThePortOpen) {
  port_.Open();
  InjectFaults([](Faults& f) { f.failClose = true; });
  EXPECT_EQ(ThrownKind(&TCommPort::Close), kCommErrorClose);
  EXPECT_TRUE(port_.IsOpen());
  simulation_.Ftdi().SetFaults({});
  port_.Close();
  EXPECT_FALSE(simulation_.Ftdi().State().open);
}

TEST_F(CommPortTest, RenamingAnOpenPortThrowsKind6AndKeepsTheName) {
  port_.Open();
  try {
    port_.SetPortName("0x00000211");
    FAIL() << "no error";
  } catch (const ECommError& error) {
    EXPECT_EQ(error.FKind, kCommErrorPortOpen);
  }
  EXPECT_EQ(port_.GetPortName(), kSimPortName);
}

TEST_F(CommPortTest, APortNameThatIsNoNumberRaisesTheConversionErrorBeforeTheDevice) {
  TCommPort port;
  try {
    port.Open();
    FAIL() << "no error";
  } catch (const plat::EConvertError& error) {
    EXPECT_STREQ(error.what(), "'COM1' is not a valid integer value");
  }
  EXPECT_EQ(simulation_.Ftdi().State().opens, 0);
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(CommPortTest, AnUnknownLocationThrowsKind8) {
  port_.SetPortName("0x00000211");
  EXPECT_EQ(ThrownKind(&TCommPort::Open), kCommErrorOpen);
  EXPECT_FALSE(port_.IsOpen());
}

TEST_F(CommPortTest, ADecimalNameIsTheSameLocation) {
  port_.SetPortName(std::to_string(SimulatedFtdi::kLocationId));
  port_.Open();
  EXPECT_TRUE(port_.IsOpen());
}

struct OpenStepCase {
  const char* name;
  bool Faults::*fault;
  uint8_t kind;
};

class FailingOpenStep : public CommPortTest, public ::testing::WithParamInterface<OpenStepCase> {};

TEST_P(FailingOpenStep, ThrowsItsKindWithTheLastErrorAndLeavesTheDeviceClosed) {
  Faults faults;
  faults.*GetParam().fault = true;
  faults.lastError = 0x1234;
  simulation_.Ftdi().SetFaults(faults);
  try {
    port_.Open();
    FAIL() << "no error";
  } catch (const ECommError& error) {
    EXPECT_EQ(error.FKind, GetParam().kind);
    EXPECT_EQ(error.FLastError, 0x1234u);
  }
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(simulation_.Ftdi().State().open) << "handle left open";
  simulation_.Ftdi().SetFaults({});
  port_.Open();
  EXPECT_TRUE(port_.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, FailingOpenStep,
    ::testing::Values(OpenStepCase{"Create", &Faults::failOpen, kCommErrorOpen},
                      OpenStepCase{"GetState", &Faults::failGetLineSettings, kCommErrorGetState},
                      OpenStepCase{"SetState", &Faults::failSetLineSettings, kCommErrorSetState},
                      OpenStepCase{"Setup", &Faults::failSetQueueSizes, kCommErrorSetupComm},
                      OpenStepCase{"Timeouts", &Faults::failSetTimeouts, kCommErrorSetTimeouts}),
    [](const auto& info) { return std::string(info.param.name); });

struct ConfigFailureCase {
  const char* name;
  plat::ftdi::Status Faults::*status;
  const char* message;
};

class FailingConfiguration : public CommPortTest,
                             public ::testing::WithParamInterface<ConfigFailureCase> {};

TEST_P(FailingConfiguration, ShowsTheMessageLeavesThePortClosedAndThrowsNothing) {
  Faults faults;
  faults.*GetParam().status = plat::ftdi::kIoError;
  faults.lastError = 0xABC;
  simulation_.Ftdi().SetFaults(faults);
  EXPECT_NO_THROW(port_.Open());
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(simulation_.Ftdi().State().open);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], std::string("00000ABC") + GetParam().message + "4");

  simulation_.Ftdi().SetFaults({});
  port_.Open();
  EXPECT_TRUE(port_.IsOpen());
  EXPECT_EQ(simulation_.Ftdi().State().opens, 2) << "the next open starts again";
}

INSTANTIATE_TEST_SUITE_P(LatencyAndUsb, FailingConfiguration,
                         ::testing::Values(ConfigFailureCase{"Latency", &Faults::latencyStatus,
                                                             ", Error setting latency, "},
                                           ConfigFailureCase{"Usb", &Faults::usbParametersStatus,
                                                             ", Error setting USB parameters, "}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommPortTest, ABaudRateStoredWhileClosedTakesEffectAtOpen) {
  port_.SetBaudRate(9600);
  EXPECT_EQ(port_.LineSettings().baudRate, 9600u);
  EXPECT_EQ(simulation_.Ftdi().State().opens, 0);
  port_.Open();
  EXPECT_EQ(simulation_.Ftdi().State().lineSettings.baudRate, 9600u);
  EXPECT_EQ(simulation_.Bus().CurrentBaudRate(), 9600);
}

TEST_F(CommPortTest, ABaudRateChangeWhileOpenAppliesAllSettings) {
  port_.Open();
  port_.SetDTR();
  port_.SetBaudRate(19200);
  sim::InterfaceState state = simulation_.Ftdi().State();
  EXPECT_EQ(state.lineSettings.baudRate, 19200u);
  EXPECT_EQ(state.lineSettings.dtrControl, 1);
  EXPECT_EQ(simulation_.Bus().CurrentBaudRate(), 19200);
}

TEST_F(CommPortTest, ARefusedBaudRateThrowsKind1AndKeepsThePreviousRate) {
  port_.Open();
  InjectFaults([](Faults& f) { f.failSetLineSettings = true; });
  try {
    port_.SetBaudRate(4800);
    FAIL() << "no error";
  } catch (const ECommError& error) {
    EXPECT_EQ(error.FKind, kCommErrorSetBaudRate);
  }
  EXPECT_EQ(port_.LineSettings().baudRate, 10400u);
  EXPECT_TRUE(port_.IsOpen());
}

struct ClosedPortCase {
  const char* name;
  void (TCommPort::*operation)();
};

class OnAClosedPort : public CommPortTest, public ::testing::WithParamInterface<ClosedPortCase> {};

TEST_P(OnAClosedPort, ThrowsKind7) {
  EXPECT_EQ(ThrownKind(GetParam().operation), kCommErrorPortNotOpen);
}

INSTANTIATE_TEST_SUITE_P(LineOperations, OnAClosedPort,
                         ::testing::Values(ClosedPortCase{"Purge", &TCommPort::Purge},
                                           ClosedPortCase{"SetBreak", &TCommPort::SetBreak},
                                           ClosedPortCase{"ClearBreak", &TCommPort::ClearBreak},
                                           ClosedPortCase{"SetDTR", &TCommPort::SetDTR},
                                           ClosedPortCase{"ClearDTR", &TCommPort::ClearDTR},
                                           ClosedPortCase{"SetRTS", &TCommPort::SetRTS},
                                           ClosedPortCase{"ClearRTS", &TCommPort::ClearRTS}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommPortTest, SetDTROnAClosedPortStillStoresTheEnabledControl) {
  EXPECT_EQ(ThrownKind(&TCommPort::SetDTR), kCommErrorPortNotOpen);
  EXPECT_EQ(port_.LineSettings().dtrControl, 1);
  port_.Open();
  EXPECT_TRUE(simulation_.Ftdi().State().dtr) << "the stored control is applied at open";
}

TEST_F(CommPortTest, SetRTSDrivesTheLineButKeepsTheStoredControlDisabled) {
  port_.Open();
  port_.SetRTS();
  EXPECT_TRUE(simulation_.Ftdi().State().rts);
  EXPECT_EQ(port_.LineSettings().rtsControl, 0);
  port_.ClearRTS();
  EXPECT_FALSE(simulation_.Ftdi().State().rts);
}

TEST_F(CommPortTest, EscapeAndPurgeFailuresThrowTheirKinds) {
  port_.Open();
  InjectFaults([](Faults& f) { f.failEscape = true; });
  EXPECT_EQ(ThrownKind(&TCommPort::SetBreak), kCommErrorEscape);
  InjectFaults([](Faults& f) { f.failPurge = true; });
  EXPECT_EQ(ThrownKind(&TCommPort::Purge), kCommErrorPurge);
  EXPECT_TRUE(port_.IsOpen());
}

TEST_F(CommPortTest, SetTimeoutsOnAClosedPortStoresTheValuesAndReturnsFalse) {
  EXPECT_FALSE(port_.SetTimeouts(50, 1, 2, 3, 4));
  EXPECT_EQ(port_.Timeouts(), (plat::ftdi::CommTimeouts{50, 1, 2, 3, 4}));
  EXPECT_EQ(simulation_.Ftdi().State().opens, 0);
}

TEST_F(CommPortTest, SetTimeoutsOnAnOpenPortReachesTheDeviceAndReportsItsRefusal) {
  port_.Open();
  EXPECT_TRUE(port_.SetTimeouts(50, 0, 0, 0, 0));
  EXPECT_EQ(simulation_.Ftdi().State().timeouts.readInterval, 50u);
  InjectFaults([](Faults& f) { f.failSetTimeouts = true; });
  EXPECT_NO_THROW(EXPECT_FALSE(port_.SetTimeouts(60, 0, 0, 0, 0)));
  EXPECT_EQ(port_.Timeouts().readInterval, 60u);
}

TEST_F(CommPortTest, TransfersOnAClosedPortFailAndReleaseTheirWaiter) {
  Overlapped transfer;
  uint8_t bytes[2] = {1, 2};
  uint32_t count = 99;
  EXPECT_FALSE(port_.WriteOverlapped(bytes, 2, count, transfer));
  EXPECT_EQ(transfer.DoneEvent().WaitFor(0), plat::WaitResult::Signaled);
  EXPECT_FALSE(port_.GetOverlappedResult(transfer, count, false));
  EXPECT_EQ(plat::ftdi::LastError(), plat::ftdi::kErrorInvalidHandle);
  EXPECT_FALSE(port_.ReadOverlapped(bytes, 2, count, transfer));
  EXPECT_EQ(transfer.DoneEvent().WaitFor(0), plat::WaitResult::Signaled);
}

TEST_F(CommPortTest, ECommErrorCopiesAreIdentical) {
  plat::ftdi::SetLastError(0x55);
  ECommError original(kCommErrorPurge);
  plat::ftdi::SetLastError(0);
  ECommError copy = original;
  EXPECT_EQ(copy.FKind, kCommErrorPurge);
  EXPECT_EQ(copy.FLastError, 0x55u);
}

}  // namespace
