// K-line byte transfer on the simulated bus: the byte-log lines of every operation and the timing
// of the wake-up patterns and of the gaps, read from the bus trace. The worker is not resumed;
// the test thread calls the transfer operations in its place.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "WorkerTestSupport.h"
#include "sim/ScriptedResponder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using sim::LineEvent;
using sim::LineEventKind;

// Lower bounds are exact; upper ones allow for a loaded machine (the test thread is not real-time).
constexpr double kToleranceMs = 5.0;
constexpr size_t kOpeningLines = 5;  // the header and the four lines of OpenPort
const Bytes kRequest{0x81, 0x10, 0xF1};

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

sim::KLineBus& Bus() {
  return sim::SimulatedFtdi::Instance().Bus();
}

void Script(std::vector<sim::ScriptRule> rules) {
  Bus().SetModel(std::make_unique<sim::ScriptedResponder>(std::move(rules)));
}

class TransferTest : public WorkerFixture {
 protected:
  void SetUp() override { CreateWorker(); }
  std::vector<LineEvent> EventsOf(std::initializer_list<LineEventKind> kinds) {
    Bus().Drain();
    std::vector<LineEvent> events;
    for (const LineEvent& event : Bus().Trace())
      if (std::find(kinds.begin(), kinds.end(), event.kind) != kinds.end()) events.push_back(event);
    return events;
  }
  // The moments the line level changed (break on = low).
  std::vector<std::pair<bool, int64_t>> BreakEdges() {
    std::vector<std::pair<bool, int64_t>> edges;
    for (const LineEvent& event : EventsOf({LineEventKind::BreakOn, LineEventKind::BreakOff})) {
      const bool low = event.kind == LineEventKind::BreakOn;
      if (edges.empty() || edges.back().first != low) edges.emplace_back(low, event.time);
    }
    return edges;
  }
};

// Each action returns whether the operations gave the results the row expects.
struct LogCase {
  const char* name;
  std::function<bool(TKwp2000Thread&)> act;
  Lines lines;
};

bool Request(TIso9141Thread& thread, int32_t interByteMs, bool echoCheck) {
  thread.SetEchoCheck(echoCheck);
  thread.SetTimings({{kMinInterByteTime, interByteMs}});
  return thread.SendRequest(kRequest.data(), static_cast<int>(kRequest.size()));
}

bool SendWithEchoFault(TIso9141Thread& thread, sim::EchoFault fault) {
  Bus().InjectEchoFault(fault, 1, 0x01);
  return !thread.SendByte(0x81);
}

bool Answered(TIso9141Thread& thread, int wanted, int timeoutMs, bool done, int expected) {
  uint8_t buffer[8] = {0x77};
  int count = -1;
  return thread.Receive(buffer, wanted, count, timeoutMs, nullptr) == done && count == expected &&
         (expected > 0 || buffer[0] == 0x77);
}

// The interface vanishes while the answer's read waits for more: the failed read still shows
// and hands over the byte it had taken.
bool ReadEndedByVanishingInterface(TIso9141Thread& thread) {
  thread.SetTimings({{kMaxEcuInterByteTime, 1000}});
  Script({Rule({0x81}, {0xC1})});
  if (!thread.SendByte(0x81)) return false;
  std::thread unplug([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    sim::SimulatedFtdi::Instance().Unplug();
  });
  uint8_t buffer[3] = {};
  int count = -1;
  const bool done = thread.Receive(buffer, 3, count, 2000, nullptr);
  unplug.join();
  return !done && count == 0 && buffer[0] == 0xC1;
}

const LogCase kLogCases[] = {
    {"OneWriteWithoutGap",
     [](auto& t) { return Request(t, 0, true); },
     {"T send:  81 10 F1", "T echo:  81 10 F1 OK"}},
    {"ByteByByteWithGap",
     [](auto& t) { return Request(t, 5, true); },
     {"T send:  81", "T echo:  81 OK", "T send:  10", "T echo:  10 OK", "T send:  F1",
      "T echo:  F1 OK"}},
    {"EchoCheckOff", [](auto& t) { return Request(t, 0, false); }, {"T send:  81 10 F1"}},
    {"WrongEcho",
     [](auto& t) { return SendWithEchoFault(t, sim::EchoFault::Wrong); },
     {"T send:  81", "T echo:  80 error"}},
    {"LostEcho",
     [](auto& t) { return SendWithEchoFault(t, sim::EchoFault::Lost); },
     {" Error Wait_timeout echo", "T send:  81", "T echo: nothing/error"}},
    {"Receive",
     [](auto& t) {
       Script({Rule({0x81}, {0xC1, 0x8F, 0xE9})});
       return t.SendByte(0x81) && Answered(t, 3, 500, true, 3);
     },
     {"T send:  81", "T echo:  81 OK", "T  rcvd:   C1 8F E9"}},
    {"ShortReceiveSucceeds",
     [](auto& t) {
       Script({Rule({0x81}, {0xC1})});
       return t.SendByte(0x81) && Answered(t, 2, 500, true, 1);
     },
     {"T send:  81", "T echo:  81 OK", "T  rcvd:   C1"}},
    {"ReceiveTimeout",
     [](auto& t) { return Answered(t, 2, 100, false, 0); },
     {" Error Wait_timeout rcv", "T  rcvd:  nothing/error"}},
    {"FailedReadShowsWhatItTook",
     ReadEndedByVanishingInterface,
     {"T send:  81", "T echo:  81 OK", " Error in GetOverlappedResult rcv 0000048F",
      "T  rcvd:  nothing/error C1"}},
    {"NegativeReceiveCount", [](auto& t) { return Answered(t, -1, 50, true, 0); }, {"T  rcvd:  "}},
    {"BaudRate",
     [](auto& t) {
       t.SetBaudRate(9600);
       return Bus().CurrentBaudRate() == 9600;
     },
     {"T baudrate switched to: 9600"}},
    {"FiveBaud", [](auto& t) { return t.FiveBaudInit(0x33); }, {"T 5 baud init send 33"}},
    {"FastInit25ms",
     [](auto& t) { return t.FastInit25ms(); },
     {"T 25ms pulse fast init start", "T 25ms pulse fast init stop"}},
    {"FastInitWithoutLowTime",
     [](auto& t) { return t.FastInitAndSend(0.0f, 25.7f, kRequest.data(), 1); },
     {"T 0ms pulse fast init start", "T 25ms pulse fast init stop", "T send:  81",
      "T echo:  81 OK"}},
};

class ByteLogLines : public TransferTest, public ::testing::WithParamInterface<LogCase> {};

TEST_P(ByteLogLines, Golden) {
  EXPECT_TRUE(GetParam().act(Kwp2000Worker()));
  const Lines lines = WorkerFixture::ByteLogLines();
  ASSERT_GE(lines.size(), kOpeningLines);
  EXPECT_EQ(Lines(lines.begin() + kOpeningLines, lines.end()), GetParam().lines);
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
  const auto rts = EventsOf({LineEventKind::Rts});
  ASSERT_FALSE(rts.empty());
  EXPECT_EQ(rts.front().value, 1);
  EXPECT_EQ(rts.back().value, 0);
  const auto purges = EventsOf({LineEventKind::Purge});
  ASSERT_FALSE(purges.empty());
  EXPECT_GE(Ms(purges.back().time - edges.back().second), 150);  // idle line before the purge
}

class FiveBaudOnASlowInterface : public TransferTest, public ::testing::WithParamInterface<int> {};

TEST_P(FiveBaudOnASlowInterface, LineStampedWhenTheStopBitWentOut) {
  // Every edge reaches the line two escape delays (RTS, then break) after its planned moment;
  // the stop bit is planned 1800 ms after the start of the address byte.
  sim::Faults slow;
  slow.escapeDelayMs = static_cast<uint32_t>(GetParam());
  simulation.Ftdi().SetFaults(slow);
  const int64_t called = plat::QueryCounter();
  ASSERT_TRUE(worker->FiveBaudInit(0x33));
  const auto edges = BreakEdges();
  ASSERT_FALSE(edges.empty());
  EXPECT_GE(Ms(edges.back().second - called), 1800 + 2 * GetParam()) << "the stop bit came late";
  std::smatch line;
  const std::string log = ByteLogText();
  ASSERT_TRUE(std::regex_search(log, line, std::regex("\\n(-?[0-9]+) 5 baud init send 33\\n")));
  EXPECT_NEAR(std::stod(line[1]), Ms(edges.back().second - worker->StartCount()), kToleranceMs);
}

INSTANTIATE_TEST_SUITE_P(EscapeDelayMs, FiveBaudOnASlowInterface, ::testing::Values(20, 1));

TEST_F(TransferTest, FastInitPulsesThenDataAtFiftyMs) {
  // The worker times each pattern from the counter it reads before its first edge; the lower
  // bounds count from a moment before that, never from an edge stamped after it.
  const int64_t firstCalled = plat::QueryCounter();
  ASSERT_TRUE(Kwp2000Worker().FastInit25ms());
  const int64_t secondCalled = plat::QueryCounter();
  ASSERT_TRUE(Kwp2000Worker().FastInitAndSend(25.0f, 25.0f, kRequest.data(), 1));
  const auto edges = BreakEdges();
  const auto bytes = EventsOf({LineEventKind::TesterByte});
  ASSERT_EQ(edges.size(), 4u);
  ASSERT_EQ(bytes.size(), 1u);
  EXPECT_NEAR(Ms(edges[1].second - edges[0].second), 25, kToleranceMs);
  EXPECT_GE(edges[2].second - firstCalled, 50'000'000);  // the first pattern's high time
  EXPECT_NEAR(Ms(edges[3].second - edges[2].second), 25, kToleranceMs);
  EXPECT_GE(bytes[0].time - secondCalled, 50'000'000);
  EXPECT_LT(Ms(bytes[0].time - edges[2].second), 50 + kToleranceMs);
}

class EcuToTesterGap : public TransferTest, public ::testing::WithParamInterface<int> {};

// A request starts when P3 has passed since the end of the last reception, or at once when it
// has passed already.
TEST_P(EcuToTesterGap, CountsFromTheEndOfTheLastReception) {
  worker->SetTimings({{kMinEcu2TesterTime, 55}});
  // Nothing answers: a failed reception moves the moment too.
  ASSERT_TRUE(Answered(*worker, 1, 100, false, 0));
  const int64_t earliest = worker->LastReceiveCount() + 55'000'000;
  std::this_thread::sleep_for(std::chrono::milliseconds(GetParam()));
  const int64_t called = plat::QueryCounter();
  ASSERT_TRUE(worker->SendRequest(kRequest.data(), 1));
  const auto bytes = EventsOf({LineEventKind::TesterByte});
  ASSERT_EQ(bytes.size(), 1u);
  EXPECT_GE(bytes[0].time, earliest);
  EXPECT_LT(Ms(bytes[0].time - std::max(earliest, called)), kToleranceMs);
}

INSTANTIATE_TEST_SUITE_P(PauseMs, EcuToTesterGap, ::testing::Values(20, 80));

TEST_F(TransferTest, GapsBetweenRequestBytesAtLeastTheMinimum) {
  worker->SetTimings({{kMinInterByteTime, 5}});
  const Bytes request{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  ASSERT_TRUE(worker->SendRequest(request.data(), static_cast<int>(request.size())));
  const auto bytes = EventsOf({LineEventKind::TesterByte});
  ASSERT_EQ(bytes.size(), request.size());
  for (size_t i = 1; i < bytes.size(); ++i) {
    EXPECT_EQ(bytes[i].value, request[i]);
    EXPECT_GE(Ms(bytes[i].time - bytes[i - 1].End()), 5.0) << i;
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
  EXPECT_EQ(worker->SendByteCheckAck(0x55), GetParam().result);
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
  ASSERT_TRUE(worker->ReceiveByteAndAck(value, 500, nullptr));
  EXPECT_EQ(value, 0x5A);
  const auto bytes = EventsOf({LineEventKind::TesterByte});
  ASSERT_EQ(bytes.size(), 2u);
  EXPECT_EQ(bytes[1].value, 0xA5);
}

}  // namespace
