// K-line byte transfer on the simulated bus: the byte-log lines of every operation and the timing
// of the wake-up patterns and of the gaps, read from the bus trace. The worker is not resumed;
// the test thread calls the transfer operations in its place.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ScriptedResponder.h"
#include "WorkerTestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using sim::LineEvent;
using sim::LineEventKind;

constexpr double kToleranceMs = 2.0;
// Header and the four lines of OpenPort come before the lines under test.
constexpr size_t kOpeningLines = 5;

double Ms(int64_t counts) {
  return static_cast<double>(counts) / 1e6;
}

sim::ScriptRule Rule(Bytes request, Bytes answer, double delayMs = 25) {
  sim::ScriptRule rule;
  rule.request = std::move(request);
  rule.answer = std::move(answer);
  rule.delayMs = delayMs;
  return rule;
}

class TransferTest : public WorkerFixture {
 protected:
  void SetUp() override { CreateWorker(); }
  void Script(std::vector<sim::ScriptRule> rules) {
    simulation.Bus().SetModel(std::make_unique<sim::ScriptedResponder>(std::move(rules)));
  }
  Lines LinesUnderTest() const {
    Lines lines = ByteLogLines();
    return Lines(lines.begin() + static_cast<long>(std::min(kOpeningLines, lines.size())),
                 lines.end());
  }
  std::vector<LineEvent> EventsOf(std::initializer_list<LineEventKind> kinds) {
    simulation.Bus().Drain();
    std::vector<LineEvent> events;
    for (const LineEvent& event : simulation.Bus().Trace())
      if (std::find(kinds.begin(), kinds.end(), event.kind) != kinds.end()) events.push_back(event);
    return events;
  }
  // The moments the line level changed (break on = low), first one included.
  std::vector<std::pair<bool, int64_t>> BreakEdges() {
    std::vector<std::pair<bool, int64_t>> edges;
    for (const LineEvent& event : EventsOf({LineEventKind::BreakOn, LineEventKind::BreakOff})) {
      const bool low = event.kind == LineEventKind::BreakOn;
      if (edges.empty() || edges.back().first != low) edges.emplace_back(low, event.time);
    }
    return edges;
  }
};

struct LogCase {
  const char* name;
  bool echoCheck;
  int32_t minInterByteTime;
  std::function<void(sim::KLineBus&)> arrange;
  std::function<bool(TIso9141Thread&)> act;
  bool result;
  Lines lines;
};

const Bytes kRequest{0x81, 0x10, 0xF1};

bool SendKwpRequest(TIso9141Thread& thread) {
  return thread.SendRequest(kRequest.data(), static_cast<int>(kRequest.size()));
}

bool SendAndReceive(TIso9141Thread& thread, int wanted, int expectedCount) {
  uint8_t buffer[8];
  int count = -1;
  return thread.SendByte(0x81) && thread.Receive(buffer, wanted, count, 500, nullptr) &&
         count == expectedCount;
}

void Silent(sim::KLineBus&) {}

// The ECU answers 0x81 with three bytes after 25 ms.
void AnswerC1(sim::KLineBus& bus) {
  bus.SetModel(std::make_unique<sim::ScriptedResponder>(
      std::vector<sim::ScriptRule>{Rule({0x81}, {0xC1, 0x8F, 0xE9})}));
}

const LogCase kLogCases[] = {
    {"OneWriteWithoutGap",
     true,
     0,
     Silent,
     SendKwpRequest,
     true,
     {"T send:  81 10 F1", "T echo:  81 10 F1 OK"}},
    {"ByteByByteWithGap",
     true,
     5,
     Silent,
     SendKwpRequest,
     true,
     {"T send:  81", "T echo:  81 OK", "T send:  10", "T echo:  10 OK", "T send:  F1",
      "T echo:  F1 OK"}},
    {"EchoCheckOff", false, 0, Silent, SendKwpRequest, true, {"T send:  81 10 F1"}},
    {"WrongEcho",
     true,
     0,
     [](sim::KLineBus& bus) { bus.InjectEchoFault(sim::EchoFault::Wrong, 1, 0x01); },
     [](TIso9141Thread& thread) { return thread.SendByte(0x81); },
     false,
     {"T send:  81", "T echo:  80 error"}},
    {"LostEcho",
     true,
     0,
     [](sim::KLineBus& bus) { bus.InjectEchoFault(sim::EchoFault::Lost, 1); },
     [](TIso9141Thread& thread) { return thread.SendByte(0x81); },
     false,
     {" Error Wait_timeout echo", "T send:  81", "T echo: nothing/error"}},
    {"Receive",
     true,
     0,
     AnswerC1,
     [](TIso9141Thread& t) { return SendAndReceive(t, 3, 3); },
     true,
     {"T send:  81", "T echo:  81 OK", "T  rcvd:   C1 8F E9"}},
    {"ShortReceiveSucceeds",
     true,
     0,
     AnswerC1,
     [](TIso9141Thread& t) { return SendAndReceive(t, 5, 3); },
     true,
     {"T send:  81", "T echo:  81 OK", "T  rcvd:   C1 8F E9"}},
    {"ReceiveTimeout",
     true,
     0,
     Silent,
     [](TIso9141Thread& thread) {
       uint8_t buffer[2];
       int count = -1;
       return !thread.Receive(buffer, 2, count, 100, nullptr) && count == 0;
     },
     true,
     {" Error Wait_timeout rcv", "T  rcvd:  nothing/error"}},
    {"NegativeReceiveCount",
     true,
     0,
     Silent,
     [](TIso9141Thread& thread) {
       uint8_t buffer[1] = {0x77};
       int count = -1;
       thread.Receive(buffer, -1, count, 50, nullptr);
       return count == 0 && buffer[0] == 0x77;
     },
     true,
     {"T  rcvd:  "}},
    {"BaudRate",
     true,
     0,
     Silent,
     [](TIso9141Thread& thread) {
       thread.SetBaudRate(9600);
       return true;
     },
     true,
     {"T baudrate switched to: 9600"}},
    {"FiveBaud",
     true,
     0,
     Silent,
     [](TIso9141Thread& t) { return t.FiveBaudInit(0x33); },
     true,
     {"T 5 baud init send 33"}},
    {"FastInit25ms",
     true,
     0,
     Silent,
     [](TIso9141Thread& t) { return t.FastInit25ms(); },
     true,
     {"T 25ms pulse fast init start", "T 25ms pulse fast init stop"}},
    {"FastInitWithoutLowTime",
     true,
     0,
     Silent,
     [](TIso9141Thread& t) { return t.FastInitAndSend(0.0f, 25.7f, kRequest.data(), 1); },
     true,
     {"T 0ms pulse fast init start", "T 25ms pulse fast init stop", "T send:  81",
      "T echo:  81 OK"}},
};

class ByteLogLines : public TransferTest, public ::testing::WithParamInterface<LogCase> {};

TEST_P(ByteLogLines, Golden) {
  const LogCase& c = GetParam();
  c.arrange(simulation.Bus());
  worker->SetEchoCheck(c.echoCheck);
  worker->SetTimings({{kMinInterByteTime, c.minInterByteTime}});
  EXPECT_EQ(c.act(*worker), c.result);
  EXPECT_EQ(LinesUnderTest(), c.lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteLogLines, ::testing::ValuesIn(kLogCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, ReceiveTimeoutAlsoGoesToTheActivityLog) {
  uint8_t byte = 0;
  EXPECT_FALSE(worker->ReceiveByte(byte, 50, nullptr));
  EXPECT_EQ(memo.Lines(), Lines{"error rcv wait timeout"});
}

TEST_F(TransferTest, LateByteAfterATimeOutGoesToTheNextReception) {
  Script({Rule({0x81}, {0xC1}, 150)});
  ASSERT_TRUE(worker->SendByte(0x81));
  uint8_t value = 0;
  EXPECT_FALSE(worker->ReceiveByte(value, 50, nullptr));
  EXPECT_TRUE(worker->ReceiveByte(value, 500, nullptr));
  EXPECT_EQ(value, 0xC1);
}

TEST_F(TransferTest, TimeStampsCountFromCreation) {
  const int64_t start = worker->StartCount();
  EXPECT_EQ(worker->TimeStampText(start + 1'999'999), "1");
  EXPECT_EQ(worker->TimeStampText(start + 2'000'000'000), "2000");
  EXPECT_EQ(worker->TimeStampText(start - 1'000'000), "-1");
}

TEST_F(TransferTest, FiveBaudEdgesFromOneStartTime) {
  // 0x33: start bit 0, 1 1 0 0 1 1 0 0, stop bit 1.
  EXPECT_TRUE(worker->FiveBaudInit(0x33));
  const auto edges = BreakEdges();
  const std::vector<std::pair<bool, int>> expected{{true, 0},     {false, 200}, {true, 600},
                                                   {false, 1000}, {true, 1400}, {false, 1800}};
  ASSERT_EQ(edges.size(), expected.size());
  const int64_t start = edges[0].second;
  for (size_t i = 0; i < edges.size(); ++i) {
    EXPECT_EQ(edges[i].first, expected[i].first) << i;
    EXPECT_NEAR(Ms(edges[i].second - start), expected[i].second, kToleranceMs) << i;
  }
  // RTS follows the bits; the purge comes after 150 ms of idle line.
  const auto rts = EventsOf({LineEventKind::Rts});
  ASSERT_FALSE(rts.empty());
  EXPECT_EQ(rts.front().value, 1);
  EXPECT_EQ(rts.back().value, 0);
  const auto purges = EventsOf({LineEventKind::Purge});
  ASSERT_FALSE(purges.empty());
  EXPECT_GE(Ms(purges.back().time - start), 1800 + 150);
  EXPECT_FALSE(simulation.Bus().IsBreakActive());
}

struct PulseCase {
  const char* name;
  std::function<bool(TIso9141Thread&)> act;
  bool sendsByte;
};

class FastInitPulse : public TransferTest, public ::testing::WithParamInterface<PulseCase> {};

TEST_P(FastInitPulse, LowAndHighTwentyFiveMs) {
  ASSERT_TRUE(GetParam().act(*worker));
  const int64_t returned = plat::QueryCounter();
  const auto edges = BreakEdges();
  ASSERT_EQ(edges.size(), 2u);
  const int64_t start = edges[0].second;
  EXPECT_NEAR(Ms(edges[1].second - start), 25, kToleranceMs);
  const auto bytes = EventsOf({LineEventKind::TesterByte});
  if (GetParam().sendsByte) {
    ASSERT_EQ(bytes.size(), 1u);
    EXPECT_NEAR(Ms(bytes[0].time - start), 50, kToleranceMs);
    EXPECT_GE(bytes[0].time - start, 50'000'000);
  } else {
    EXPECT_TRUE(bytes.empty());
    EXPECT_GE(Ms(returned - start), 50);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FastInitPulse,
    ::testing::Values(PulseCase{"FastInit25ms", [](TIso9141Thread& t) { return t.FastInit25ms(); },
                                false},
                      PulseCase{"FastInitAndSend",
                                [](TIso9141Thread& t) {
                                  return t.FastInitAndSend(25.0f, 25.0f, kRequest.data(), 1);
                                },
                                true}),
    [](const auto& info) { return std::string(info.param.name); });

struct GapCase {
  const char* name;
  int pauseMs;             // between the end of the reception and the request
  double expectedDelayMs;  // from the call of SendRequest to the first byte
};

class EcuToTesterGap : public TransferTest, public ::testing::WithParamInterface<GapCase> {};

TEST_P(EcuToTesterGap, CountsFromTheEndOfTheLastReception) {
  const GapCase& c = GetParam();
  worker->SetTimings({{kMinEcu2TesterTime, 55}});
  uint8_t buffer[1];
  int count = 0;
  // Nothing answers: a failed reception moves the moment too.
  ASSERT_FALSE(worker->Receive(buffer, 1, count, 100, nullptr));
  const int64_t received = worker->LastReceiveCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
  const int64_t called = plat::QueryCounter();
  ASSERT_TRUE(worker->SendRequest(kRequest.data(), 1));
  const auto bytes = EventsOf({LineEventKind::TesterByte});
  ASSERT_EQ(bytes.size(), 1u);
  EXPECT_GE(Ms(bytes[0].time - received), 55);
  EXPECT_NEAR(Ms(bytes[0].time - called), c.expectedDelayMs, kToleranceMs);
}

INSTANTIATE_TEST_SUITE_P(Cases, EcuToTesterGap,
                         ::testing::Values(GapCase{"SentEarlyWaits", 20, 35},
                                           GapCase{"SentLateGoesAtOnce", 80, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, GapsBetweenRequestBytesAtLeastTheMinimum) {
  worker->SetTimings({{kMinInterByteTime, 5}});
  const Bytes request{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  ASSERT_TRUE(worker->SendRequest(request.data(), static_cast<int>(request.size())));
  const auto bytes = EventsOf({LineEventKind::TesterByte});
  ASSERT_EQ(bytes.size(), request.size());
  for (size_t i = 1; i < bytes.size(); ++i) {
    EXPECT_EQ(bytes[i].value, request[i]);
    const double gap = Ms(bytes[i].time - bytes[i - 1].End());
    EXPECT_GE(gap, 5.0) << i;
    EXPECT_LT(gap, 5.0 + 2 * kToleranceMs) << i;
  }
}

struct AckCase {
  const char* name;
  std::vector<sim::ScriptRule> rules;
  bool result;
};

class SendByteCheckAck : public TransferTest, public ::testing::WithParamInterface<AckCase> {};

TEST_P(SendByteCheckAck, WantsTheComplementWithinHalfASecond) {
  Script(GetParam().rules);
  const int64_t before = plat::QueryCounter();
  EXPECT_EQ(worker->SendByteCheckAck(0x55), GetParam().result);
  EXPECT_LT(Ms(plat::QueryCounter() - before), 500 + 100);
}

INSTANTIATE_TEST_SUITE_P(Cases, SendByteCheckAck,
                         ::testing::Values(AckCase{"Complement", {Rule({0x55}, {0xAA})}, true},
                                           AckCase{"OtherByte", {Rule({0x55}, {0xAB})}, false},
                                           AckCase{"TooLate", {Rule({0x55}, {0xAA}, 600)}, false},
                                           AckCase{"Silence", {}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, ReceiveByteAndAckAnswersWithTheComplement) {
  Script({Rule({0x01}, {0x5A})});
  ASSERT_TRUE(worker->SendByte(0x01));
  uint8_t value = 0;
  int32_t time = -1;
  ASSERT_TRUE(worker->ReceiveByteAndAck(value, 500, &time));
  EXPECT_EQ(value, 0x5A);
  EXPECT_GT(time, 0);
  const auto bytes = EventsOf({LineEventKind::TesterByte});
  ASSERT_EQ(bytes.size(), 2u);
  EXPECT_EQ(bytes[1].value, 0xA5);
}

}  // namespace
