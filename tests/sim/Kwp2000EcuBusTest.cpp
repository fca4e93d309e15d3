// The simulated KWP2000 ECU on the K-line bus, driven from the tester's end of the wire.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Counter.h"
#include "Exceptions.h"
#include "KLineBus.h"
#include "Kwp2000Ecu.h"
#include "ScriptedResponder.h"

namespace sim {
namespace {

// The bus runs the model on a thread of normal priority: on a loaded machine it may be told of a
// byte late, and then answers late, but never early.
constexpr double kEarlyMs = 0.01;
constexpr double kLateMs = 25.0;

double Ms(int64_t counts) {
  return static_cast<double>(counts) / 1e6;
}

class Kwp2000EcuBusTest : public ::testing::Test {
 protected:
  // The test thread holds its pulse without real-time priority; a loaded machine may stretch it.
  static Kwp2000EcuConfig TolerantConfig() {
    Kwp2000EcuConfig config;
    config.fastInitLowMaxMs = 150;
    return config;
  }

  // Fast initialisation, then the request right after it.
  void WakeAndSend(const Bytes& request) {
    bus.SetBreak(true);
    plat::PreciseWaitMs(25);
    bus.SetBreak(false);
    plat::PreciseWaitMs(25);
    bus.TesterSend(request);
  }
  // Waits until `count` bytes of the ECU are on the line, or 2 s.
  void AwaitAnswer(size_t count) {
    for (int i = 0; i < 200 && Bytes(LineEventKind::EcuByte).size() < count; ++i) {
      plat::SleepMs(10);
    }
  }
  std::vector<LineEvent> Bytes(LineEventKind kind) {
    bus.Drain();
    std::vector<LineEvent> events;
    for (const LineEvent& event : bus.Trace()) {
      if (event.kind == kind) events.push_back(event);
    }
    return events;
  }
  static sim::Bytes ValuesOf(const std::vector<LineEvent>& events) {
    sim::Bytes values;
    for (const LineEvent& event : events)
      values.push_back(static_cast<uint8_t>(event.value));
    return values;
  }

  KLineBus bus;
};

TEST_F(Kwp2000EcuBusTest, AnswersStartCommunicationOnTheWireWithItsAnswerDelay) {
  Kwp2000EcuConfig config = TolerantConfig();
  config.answerDelayMs = 30;
  bus.SetModel(std::make_unique<Kwp2000Ecu>(config));
  WakeAndSend({0x81, 0x10, 0xF1, 0x81, 0x03});
  AwaitAnswer(7);
  const std::vector<LineEvent> request = Bytes(LineEventKind::TesterByte);
  const std::vector<LineEvent> answer = Bytes(LineEventKind::EcuByte);
  ASSERT_EQ(ValuesOf(answer), (sim::Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
  const double delayMs = Ms(answer.front().time - request.back().End());
  EXPECT_GT(delayMs, 30 - kEarlyMs);
  EXPECT_LT(delayMs, 30 + kLateMs);
  for (size_t i = 1; i < answer.size(); ++i) {
    const double gapMs = Ms(answer[i].time - answer[i - 1].End());
    EXPECT_GT(gapMs, -kEarlyMs);
    EXPECT_LT(gapMs, kLateMs);
  }
  bool inSession = false;
  EXPECT_TRUE(WithKwp2000Ecu(bus, [&](Kwp2000Ecu& ecu) {
    inSession = ecu.Model().CurrentPhase() == Kwp2000EcuModel::Phase::InSession;
  }));
  EXPECT_TRUE(inSession);
}

TEST_F(Kwp2000EcuBusTest, ReplaysAScriptFile) {
  const auto path = std::filesystem::path(::testing::TempDir()) / "quobrix_kwp2000_script.txt";
  std::ofstream(path)
      << "# recorded\nRQ 0x81 0x10 0xF1 0x81\nRP 0x83 0xF1 0x10 0xC1 0x6B 0x8F cks1\n";
  bus.SetModel(Kwp2000Ecu::FromScript(TolerantConfig(), path.string()));
  WakeAndSend({0x81, 0x10, 0xF1, 0x81, 0x03});
  AwaitAnswer(7);
  EXPECT_EQ(ValuesOf(Bytes(LineEventKind::EcuByte)),
            (sim::Bytes{0x83, 0xF1, 0x10, 0xC1, 0x6B, 0x8F, 0x3F}));
  EXPECT_TRUE(WithKwp2000Ecu(bus, [](Kwp2000Ecu& ecu) { EXPECT_EQ(ecu.Services(), nullptr); }));
  EXPECT_THROW(Kwp2000Ecu::FromScript({}, path.string() + ".missing"), plat::Exception);
}

TEST_F(Kwp2000EcuBusTest, OnlyReachesAKwp2000Ecu) {
  EXPECT_FALSE(WithKwp2000Ecu(bus, [](Kwp2000Ecu&) { FAIL(); }));
  bus.SetModel(std::make_unique<ScriptedResponder>(std::vector<ScriptRule>{}));
  EXPECT_FALSE(WithKwp2000Ecu(bus, [](Kwp2000Ecu&) { FAIL(); }));
}

}  // namespace
}  // namespace sim
