// The KWP2000 protocol run by the worker against the simulated KWP2000 ECU on the K-line bus:
// every initialisation variant, the request loop with its retries, busy and pending answers,
// the keep-alive and the stop, checked on the bus trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>

#include "Kwp2000OnBusSupport.h"

namespace {

// Timing tests read the trace; the machine may be loaded.
constexpr double kToleranceMs = 3.0;

double Ms(int64_t counts) {
  return static_cast<double>(counts) / 1e6;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

struct InitCase {
  const char* name;
  uint8_t initType;
  bool blockWakeUp;
  int wakeAddress;  // the 5-baud address the ECU saw last; -1: fast initialisation
  Bytes startRequest;
  int32_t lengthMode;  // after the start: chosen by the key bytes, or left at 0
};

class Kwp2000Initialisation : public Kwp2000OnBus,
                              public ::testing::WithParamInterface<InitCase> {};

TEST_P(Kwp2000Initialisation, ConnectsToTheEcu) {
  const InitCase& c = GetParam();
  sim::Kwp2000EcuConfig ecu;
  ecu.identity.functionalAddress = 0x11;  // the fixed address of variant 4
  ecu.blockWakeUp = c.blockWakeUp;
  ASSERT_TRUE(Connect(c.initType, ecu));
  EXPECT_EQ(keyBytes.Values(), (Values{0xEF, 0x8F}));
  WithEcu([&](sim::Kwp2000Ecu& model) {
    ASSERT_FALSE(model.Model().WakeUps().empty());
    EXPECT_EQ(model.Model().WakeUps().back().address, c.wakeAddress);
    EXPECT_EQ(model.Model().CurrentPhase(), sim::Kwp2000EcuModel::Phase::InSession);
  });
  EXPECT_EQ(kwp->LengthMode(), c.lengthMode);
  EXPECT_EQ(kwp->HeaderMode(), 0);
  if (!c.startRequest.empty()) {
    EXPECT_EQ(Sent(c.startRequest).size(), 1u);
    ASSERT_TRUE(startObject);
    EXPECT_EQ(startObject->RequestServiceId(0), 0x81);
    EXPECT_EQ(startObject->ResponseServiceId(0), 0xC1);
    EXPECT_EQ(ValuesOf(startObject->ResponseParams(0)), (Values{0xEF, 0x8F}));
  }
  // The link works: a request gets its answer.
  const auto result = Run(List(Step(0x21, {0x01})));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->ResponseServiceId(0), 0x61);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, Kwp2000Initialisation,
    ::testing::Values(
        InitCase{"Fast", 1, false, -1, {0x81, 0x10, 0xF1, 0x81, 0x03}, 3},
        InitCase{"FiveBaud", 2, false, 0x10, {}, 3},
        InitCase{"PulseWithLengthByte", 3, false, -1, {0x80, 0x10, 0xF1, 0x01, 0x81, 0x03}, 3},
        InitCase{"FiveBaudAtFixedAddress", 4, false, 0x11, {}, 0},
        InitCase{"BlockWakeUpThenFiveBaud", 5, true, 0x10, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Kwp2000OnBus, NoInitialisationSendsNothingAndFails) {
  EXPECT_FALSE(Connect(0));
  EXPECT_EQ(keyBytes.Count(), 0);
  EXPECT_TRUE(Events(LineEventKind::TesterByte).empty());
  EXPECT_TRUE(Events(LineEventKind::BreakOn).empty());
  EXPECT_EQ(memo.CountOf("No KeyBytes; Init not OK"), 1);
}

TEST_F(Kwp2000OnBus, PulseStartIsSentOnceMoreAfterANegativeAnswer) {
  ASSERT_TRUE(Connect(3, {}, [this](TKwp2000Protocol&) {
    sim::WithKwp2000Ecu(Bus(),
                        [](sim::Kwp2000Ecu& ecu) { ecu.Services()->QueueNegative(0x81, 0x22, 1); });
  }));
  EXPECT_EQ(Sent({0x80, 0x10, 0xF1, 0x01, 0x81, 0x03}).size(), 2u);
  ASSERT_TRUE(startObject);
  EXPECT_EQ(startObject->ResponseCount(), 1);
  EXPECT_EQ(startObject->ResponseServiceId(0), 0xC1);
}

TEST_F(Kwp2000OnBus, BlockWakeUpIsAcknowledgedEndedAndFollowedByTheFiveBaudAddress) {
  sim::Kwp2000EcuConfig ecu;
  ecu.blockWakeUp = true;
  ASSERT_TRUE(Connect(5, ecu));
  // Acknowledge blocks for the two identification blocks (counters 1 and 3), then the end block.
  const auto acknowledges = Sent({0x03, 0x02, 0x09, 0x03});
  EXPECT_EQ(acknowledges.size(), 1u);
  EXPECT_EQ(Sent({0x03, 0x04, 0x09, 0x03}).size(), 1u);
  const auto end = Sent({0x03, 0x06, 0x06, 0x03});
  ASSERT_EQ(end.size(), 1u);
  // 1500 ms after the end block the 5-baud address starts again.
  int64_t nextWakeUp = 0;
  for (const LineEvent& low : Events(LineEventKind::BreakOn)) {
    if (low.time > end[0].second.End()) {
      nextWakeUp = low.time;
      break;
    }
  }
  ASSERT_NE(nextWakeUp, 0);
  EXPECT_GE(Ms(nextWakeUp - end[0].second.End()), 1500);
  EXPECT_LT(Ms(nextWakeUp - end[0].second.End()), 1500 + 20 * kToleranceMs);
  WithEcu([](sim::Kwp2000Ecu& model) {
    ASSERT_EQ(model.Model().WakeUps().size(), 2u);
    EXPECT_EQ(model.Model().WakeUps()[0].address, 0x10);
  });
}

TEST_F(Kwp2000OnBus, ALongStartAnswerIsCutAtItsBuffer) {
  EXPECT_FALSE(ConnectToScript(
      "RQ 0x81 0x10 0xF1 0x81\n"
      "RP 0x99 0xF1 0x10 0xC1 0xEF 0x8F 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 0x09 0x0A 0x0B "
      "0x0C 0x0D 0x0E 0x0F 0x10 0x11 0x12 0x13 0x14 0x15 0x16 0x17 cks1\n"));
  EXPECT_EQ(keyBytes.Count(), 0);
  Serve([this] { return memo.CountOf("Error in length rcvd") > 0; }, 1000);
  EXPECT_EQ(memo.CountOf("Error in length rcvd"), 1);
}

TEST_F(Kwp2000OnBus, TheThreeByteReplyCountsAsAFrame) {
  ASSERT_TRUE(
      ConnectToScript("RQ 0x81 0x10 0xF1 0x81\nRP 0x83 0xF1 0x10 0xC1 0xEF 0x8F cks1\n"
                      "RQ 0x02 0x21 0x01\nRP 0xFF 0x76 0x75\n"
                      "RQ 0x01 0x82\nRP 0x01 0xC2 cks1\n"));
  const auto result = Run(List(Step(0x21, {0x01})));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->ResponseServiceId(0), 0x76);
  EXPECT_EQ(result->ResponseParams(0), nullptr);
  EXPECT_EQ(Sent({0x02, 0x21, 0x01, 0x24}).size(), 1u);
}

TEST_F(Kwp2000OnBus, FastInitialisationOnTheWire) {
  ASSERT_TRUE(Connect(1));
  const std::vector<LineEvent> low = Events(LineEventKind::BreakOn);
  const std::vector<LineEvent> high = Events(LineEventKind::BreakOff);
  ASSERT_EQ(low.size(), 1u);
  ASSERT_EQ(high.size(), 1u);
  EXPECT_NEAR(Ms(high[0].time - low[0].time), 25, kToleranceMs);
  const auto request = Sent({0x81, 0x10, 0xF1, 0x81, 0x03});
  ASSERT_EQ(request.size(), 1u);
  EXPECT_NEAR(Ms(request[0].first.time - high[0].time), 25, kToleranceMs);
}

TEST_F(Kwp2000OnBus, FiveBaudAnswersTheKeyBytesWithTheComplement) {
  ASSERT_TRUE(Connect(2));
  const auto complement = Sent({0x70});
  ASSERT_EQ(complement.size(), 1u);
  const LineEvent keyByte2 = LastEcuByteBefore(complement[0].first.time);
  EXPECT_EQ(keyByte2.value, 0x8F);
  EXPECT_GE(Ms(complement[0].first.time - keyByte2.End()), 30);
  EXPECT_LT(Ms(complement[0].first.time - keyByte2.End()), 30 + 10 * kToleranceMs);
}

TEST_F(Kwp2000OnBus, ASyncByteLateInItsHalfSecondStillConnects) {
  sim::Kwp2000EcuConfig ecu;
  ecu.syncDelayMs = 400;  // after the stop bit's end: about 450 ms into the tester's wait
  ASSERT_TRUE(Connect(2, ecu));
  LineEvent sync;
  for (const LineEvent& byte : Events(LineEventKind::EcuByte)) {
    if (byte.value == 0x55) {
      sync = byte;
      break;
    }
  }
  int64_t waitBegan = 0;  // the purge that ends the pause after the address
  for (const LineEvent& purge : Events(LineEventKind::Purge)) {
    if (purge.time < sync.time) waitBegan = purge.time;
  }
  EXPECT_GT(Ms(sync.End() - waitBegan), 400);
}

TEST_F(Kwp2000OnBus, KeyBytesChooseTheFramesOfLaterRequests) {
  struct Case {
    uint8_t keyByte1;
    uint8_t autoHeader;
    Bytes request;  // ReadDataByLocalIdentifier 0x01
  };
  const Case cases[] = {{0xEF, 0, {0x02, 0x21, 0x01, 0x24}},
                        {0xEE, 0, {0x00, 0x02, 0x21, 0x01, 0x24}},
                        {0xE9, 1, {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}}};
  for (const Case& c : cases) {
    sim::Kwp2000EcuConfig ecu;
    ecu.identity.keyByte1 = c.keyByte1;
    ASSERT_TRUE(Connect(1, ecu, [&](TKwp2000Protocol& p) { p.SetAutoHeader(c.autoHeader); }));
    const auto result = Run(List(Step(0x21, {0x01})));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ResponseServiceId(0), 0x61);
    EXPECT_EQ(Sent(c.request).size(), 1u) << std::hex << int(c.keyByte1);
    TearDown();
    memo.Clear();
    finishedCalls = 0;
    worker = nullptr;
  }
}

TEST_F(Kwp2000OnBus, ResponsePendingThenTheAnswer) {
  ASSERT_TRUE(Connect(1));
  WithEcu([](sim::Kwp2000Ecu& ecu) { ecu.Services()->QueueNegative(0x21, 0x78, 2); });
  const auto result = Run(List(Step(0x21, {0x01}), Step(0x3E)));
  ASSERT_TRUE(result);
  ASSERT_EQ(result->RequestCount(), 4);
  EXPECT_FALSE(result->HasRequest(1));
  EXPECT_FALSE(result->HasRequest(2));
  const int services[] = {0x7F, 0x7F, 0x61, 0x7E};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(result->ResponseServiceId(i), services[i]) << i;
  EXPECT_EQ(Sent({0x02, 0x21, 0x01, 0x24}).size(), 1u);
  EXPECT_EQ(kwp->MaxTester2EcuTime(), 10000);
}

TEST_F(Kwp2000OnBus, BusyAnswerRepeatsTheRequestAfterOneSecondWithoutUsingAnAttempt) {
  ASSERT_TRUE(Connect(1));
  WithEcu([](sim::Kwp2000Ecu& ecu) { ecu.Services()->QueueNegative(0x21, 0x21, 3); });
  const auto result = Run(List(Step(0x21, {0x01})), 8000);
  ASSERT_TRUE(result);
  ASSERT_EQ(result->ResponseCount(), 4);
  EXPECT_EQ(result->ResponseServiceId(3), 0x61);
  const auto sent = Sent({0x02, 0x21, 0x01, 0x24});
  ASSERT_EQ(sent.size(), 4u);
  for (size_t i = 1; i < sent.size(); ++i) {
    const double pauseMs = Ms(sent[i].first.time - LastEcuByteBefore(sent[i].first.time).End());
    EXPECT_GE(pauseMs, 1000);
    EXPECT_LT(pauseMs, 1000 + 20 * kToleranceMs);
  }
}

struct StopCase {
  const char* name;
  int pendingDelayMs;
  std::function<void(sim::Kwp2000Ecu&)> keepBusy;  // makes the step outlast the stop's wait
};

class StopOnAStepThatLastsOn : public Kwp2000OnBus, public ::testing::WithParamInterface<StopCase> {
};

// Once the stop has given up waiting, the step in progress ends at once: no further attempt,
// pause or wait, and the port is free again well within a second.
TEST_P(StopOnAStepThatLastsOn, EndsTheConnectionWithinASecond) {
  sim::Kwp2000EcuConfig ecu;
  ecu.pendingDelayMs = GetParam().pendingDelayMs;
  ASSERT_TRUE(Connect(1, ecu));
  WithEcu(GetParam().keepBusy);
  ASSERT_TRUE(worker->ExecuteSequence(List(Step(0x21, {0x01}))));
  DeleteResponses();
  const int64_t stopCalled = plat::QueryCounter();
  ASSERT_TRUE(worker->StopCommunication());
  const int64_t stopReturned = plat::QueryCounter();
  ASSERT_GE(Ms(stopReturned - stopCalled), 4000) << "the step ended within the stop's wait";
  ASSERT_TRUE(WaitFreed());
  const double closedMs = Ms(finishedAt - stopReturned);
  RecordProperty("PortClosedMsAfterStop", std::to_string(closedMs));
  EXPECT_LT(closedMs, 1000);
  for (const auto& request : Sent({0x02, 0x21, 0x01, 0x24}))
    EXPECT_LT(request.first.time, stopReturned);
  EXPECT_NE(ByteLogText().find("SeqTester: error "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopOnAStepThatLastsOn,
    ::testing::Values(
        StopCase{"SilentEcu", 200, [](sim::Kwp2000Ecu& e) { e.Model().InjectSilence(10); }},
        StopCase{"ResponsePendingStorm", 9000,
                 [](sim::Kwp2000Ecu& e) { e.Services()->QueueNegative(0x21, 0x78, 100); }},
        StopCase{"BusyStorm", 200,
                 [](sim::Kwp2000Ecu& e) { e.Services()->QueueNegative(0x21, 0x21, 100); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Kwp2000OnBus, ANegativeFirstByteTimeOutWaitsNothing) {
  const int64_t before = plat::QueryCounter();
  EXPECT_FALSE(Connect(1, {}, [](TKwp2000Protocol& p) { p.SetT2EOffset(-7000); }));
  EXPECT_LT(Ms(plat::QueryCounter() - before), 1000);
  EXPECT_NE(ByteLogText().find(" Error Wait_timeout rcv"), std::string::npos);
}

TEST_F(Kwp2000OnBus, AHugeFirstByteTimeOutWaitsAsLongAsAWaitCan) {
  EXPECT_TRUE(Connect(1, {}, [](TKwp2000Protocol& p) { p.SetT2EOffset(2147483000); }));
  EXPECT_EQ(kwp->FirstByteTimeout(), std::numeric_limits<int32_t>::max());
}

TEST_F(Kwp2000OnBus, AStepWithoutAnswerIsSentThreeTimesThenEndsTheConnection) {
  ASSERT_TRUE(Connect(1, {}, ShortAnswerWait));
  WithEcu([](sim::Kwp2000Ecu& ecu) { ecu.Model().InjectSilence(3); });
  EXPECT_FALSE(Run(List(Step(0x21, {0x01}), Step(0x3E))));
  ASSERT_TRUE(WaitFreed());
  const auto sent = Sent({0x02, 0x21, 0x01, 0x24});
  ASSERT_EQ(sent.size(), 3u);
  for (size_t i = 1; i < sent.size(); ++i) {
    // The wait for the first byte, then P3 from the end of the failed reception.
    const double gapMs = Ms(sent[i].first.time - sent[i - 1].second.End());
    EXPECT_GE(gapMs, 300 + 55);
    EXPECT_LT(gapMs, 300 + 55 + 60);
  }
  EXPECT_TRUE(Sent({0x01, 0x3E, 0x3F}).empty());
  EXPECT_NE(ByteLogText().find("SeqTester: error "), std::string::npos);
  EXPECT_EQ(finishedCalls, 1);
}

TEST_F(Kwp2000OnBus, FaultyAnswersAreRetriedOrReported) {
  struct Case {
    const char* what;
    std::function<void(sim::Kwp2000EcuModel&)> inject;
    size_t sends;
    int checksumLines;
    size_t discardLines;  // bytes left over from the failed reception, dropped before the retry
  };
  const Case cases[] = {
      {"bad checksum", [](sim::Kwp2000EcuModel& m) { m.InjectBadChecksum(1); }, 1, 1, 0},
      {"truncated", [](sim::Kwp2000EcuModel& m) { m.InjectTruncation(1, 1); }, 2, 0, 0},
      {"late byte", [](sim::Kwp2000EcuModel& m) { m.InjectLateByte(1, 3, 30); }, 1, 0, 0},
      {"byte beyond the inter-byte limit",
       [](sim::Kwp2000EcuModel& m) { m.InjectLateByte(1, 3, 80); }, 2, 0, 1},
      {"silent twice", [](sim::Kwp2000EcuModel& m) { m.InjectSilence(2); }, 3, 0, 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Connect(1, {}, ShortAnswerWait));
    WithEcu([&](sim::Kwp2000Ecu& ecu) { c.inject(ecu.Model()); });
    const auto result = Run(List(Step(0x21, {0x01})));
    ASSERT_TRUE(result) << c.what;
    EXPECT_EQ(result->ResponseServiceId(0), 0x61) << c.what;
    EXPECT_EQ(Sent({0x02, 0x21, 0x01, 0x24}).size(), c.sends) << c.what;
    Serve([] { return false; }, 50);
    EXPECT_EQ(memo.CountOf("Error in chk rcvd"), c.checksumLines) << c.what;
    EXPECT_EQ(Count(ByteLogText(), " discarded before send: "), c.discardLines) << c.what;
    TearDown();
    memo.Clear();
    finishedCalls = 0;
    worker = nullptr;
    Bus().ClearTrace();
  }
}

TEST_F(Kwp2000OnBus, KeepAliveEveryIdlePeriod) {
  ASSERT_TRUE(Connect(1));
  ServeFor(1400);
  DeleteResponses();
  const auto sent = Sent({0x01, 0x3E, 0x3F});
  ASSERT_GE(sent.size(), 3u);
  for (const auto& request : sent) {
    const double idleMs = Ms(request.first.time - LastEcuByteBefore(request.first.time).End());
    EXPECT_GE(idleMs, 400);
    EXPECT_LT(idleMs, 400 + 10 * kToleranceMs);
  }
}

TEST_F(Kwp2000OnBus, StopSendsStopCommunicationOnce) {
  ASSERT_TRUE(Connect(1));
  DeleteResponses();
  ASSERT_TRUE(worker->StopCommunication());
  DeleteResponses();
  ASSERT_TRUE(WaitFreed());
  EXPECT_EQ(Sent({0x01, 0x82, 0x83}).size(), 1u);
  WithEcu([](sim::Kwp2000Ecu& ecu) {
    EXPECT_EQ(ecu.Model().CurrentPhase(), sim::Kwp2000EcuModel::Phase::Asleep);
  });
}

TEST_F(Kwp2000OnBus, BaudRateSwitchAndNewTimingReachBothEnds) {
  ASSERT_TRUE(Connect(1));
  const auto result = Run(List(Step(0x10, {0x81, 0x05}), Step(0x83, {0x03, 0, 2, 40, 4, 0}),
                               Step(0x83, {0x02}), Step(0x21, {0x01})));
  ASSERT_TRUE(result);
  const int services[] = {0x50, 0xC3, 0xC3, 0x61};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(result->ResponseServiceId(i), services[i]) << i;
  EXPECT_EQ(Bus().CurrentBaudRate(), 115200);
  EXPECT_EQ(worker->MinEcu2TesterTime(), 20);
  EXPECT_EQ(worker->MaxEcu2TesterTime(), 1000);
  EXPECT_EQ(worker->MinInterByteTime(), 0);
  EXPECT_EQ(kwp->MaxTester2EcuTime(), 50);
  // The request after the new timing follows P3min 20 ms, sooner than the 25 ms before it (a
  // sanitizer build on a busy machine may wake a few milliseconds late).
  const auto read = Sent({0x02, 0x21, 0x01, 0x24});
  ASSERT_EQ(read.size(), 1u);
  const double p3Ms = Ms(read[0].first.time - LastEcuByteBefore(read[0].first.time).End());
  EXPECT_GE(p3Ms, 20);
  EXPECT_LT(p3Ms, 25);
}

}  // namespace
