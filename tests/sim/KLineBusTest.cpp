// The simulated K-line: wire times, echo, what the model sees, the model's byte timing, faults.
#include "sim/KLineBus.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Counter.h"

using sim::EchoFault;
using sim::EcuLink;
using sim::KLineBus;
using sim::LineEvent;
using sim::LineEventKind;

namespace {

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kLateTolerance = 50 * kMs;  // the machine may be loaded

struct Received {
  uint8_t value;
  int64_t moment;
  int64_t calledAt;
};

class RecordingTester : public sim::TesterSide {
 public:
  void OnLineByte(uint8_t value, int64_t moment) override {
    std::lock_guard lock(mutex_);
    bytes_.push_back({value, moment, plat::QueryCounter()});
  }
  void OnTimer(int64_t) override {}

  std::vector<Received> Bytes() {
    std::lock_guard lock(mutex_);
    return bytes_;
  }
  std::vector<uint8_t> Values() {
    std::vector<uint8_t> values;
    for (const Received& r : Bytes())
      values.push_back(r.value);
    return values;
  }

 private:
  std::mutex mutex_;
  std::vector<Received> bytes_;
};

// Records what it sees (read through KLineBus::Call) and reacts as the test says.
class RecordingModel : public sim::EcuModel {
 public:
  using Reaction = std::function<void(const LineEvent&, EcuLink&)>;
  explicit RecordingModel(Reaction react = nullptr) : react_(std::move(react)) {}

  void OnLineEvent(const LineEvent& event, EcuLink& link) override {
    events.push_back(event);
    if (react_) react_(event, link);
  }
  void OnTimer(int64_t now, EcuLink&) override { timers.push_back(now); }

  std::vector<LineEvent> events;
  std::vector<int64_t> timers;

 private:
  Reaction react_;
};

class BusTest : public ::testing::Test {
 protected:
  void SetUp() override { bus_.AttachTester(&tester_); }
  void TearDown() override { bus_.DetachTester(); }

  std::vector<LineEvent> TraceOf(LineEventKind kind) {
    std::vector<LineEvent> events;
    for (const LineEvent& event : bus_.Trace())
      if (event.kind == kind) events.push_back(event);
    return events;
  }

  // Waits (up to a bound) until the tester has received `count` bytes.
  void AwaitBytes(size_t count) {
    for (int i = 0; i < 400 && tester_.Bytes().size() < count; ++i)
      plat::SleepMs(5);
    bus_.Drain();
  }

  std::vector<LineEvent> ModelEvents() {
    std::vector<LineEvent> events;
    bus_.Call([&](sim::EcuModel* model) { events = static_cast<RecordingModel*>(model)->events; });
    return events;
  }

  std::vector<int64_t> ModelTimers() {
    std::vector<int64_t> timers;
    bus_.Call([&](sim::EcuModel* model) { timers = static_cast<RecordingModel*>(model)->timers; });
    return timers;
  }

  RecordingTester tester_;
  KLineBus bus_;
};

TEST_F(BusTest, ModelBytesKeepTheirTimingAndReachTheTesterAtTheirStopBitNeverEarly) {
  bus_.SetModel(std::make_unique<RecordingModel>([](const LineEvent& event, EcuLink& link) {
    if (event.kind != LineEventKind::TesterByte) return;
    const uint8_t answer[] = {0xA1, 0xA2, 0xA3};
    link.SendBytes(answer, event.End() + 20 * kMs, 2 * kMs);
  }));
  const uint8_t request[] = {0x01};
  bus_.TesterSend(request);
  AwaitBytes(4);

  std::vector<LineEvent> tester = TraceOf(LineEventKind::TesterByte);
  std::vector<LineEvent> ecu = TraceOf(LineEventKind::EcuByte);
  ASSERT_EQ(tester.size(), 1u);
  ASSERT_EQ(ecu.size(), 3u);
  EXPECT_EQ(ecu[0].time, tester[0].End() + 20 * kMs);
  EXPECT_EQ(ecu[1].time, ecu[0].End() + 2 * kMs);
  EXPECT_EQ(ecu[2].time, ecu[1].End() + 2 * kMs);

  std::vector<Received> received = tester_.Bytes();
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0].value, 0x01) << "the echo comes first";
  EXPECT_EQ(received[0].moment, tester[0].End());
  for (size_t i = 1; i < received.size(); ++i) {
    EXPECT_EQ(received[i].value, ecu[i - 1].value);
    EXPECT_EQ(received[i].moment, ecu[i - 1].End());
  }
  for (const Received& r : received) {
    EXPECT_GE(r.calledAt, r.moment) << "delivered before its stop bit ended";
    EXPECT_LT(r.calledAt - r.moment, kLateTolerance);
  }
}

TEST_F(BusTest, TheModelSeesEveryLineEventButItsOwnBytesAndPurges) {
  bus_.SetModel(std::make_unique<RecordingModel>([](const LineEvent& event, EcuLink& link) {
    if (event.kind == LineEventKind::TesterByte) link.SendByte(0x99, link.Now());
  }));
  bus_.SetBreak(true);
  bus_.SetBreak(false);
  bus_.SetRts(true);
  bus_.SetDtr(true);
  bus_.SetBaudRate(9600);
  bus_.NotePurge();
  const uint8_t byte[] = {0x55};
  bus_.TesterSend(byte);
  AwaitBytes(2);

  std::vector<LineEvent> events = ModelEvents();
  std::vector<std::pair<LineEventKind, int>> seen;
  for (const LineEvent& e : events)
    seen.emplace_back(e.kind, e.value);
  std::vector<std::pair<LineEventKind, int>> expected = {
      {LineEventKind::BreakOn, 1},       {LineEventKind::BreakOff, 0},
      {LineEventKind::Rts, 1},           {LineEventKind::Dtr, 1},
      {LineEventKind::BaudChange, 9600}, {LineEventKind::TesterByte, 0x55}};
  EXPECT_EQ(seen, expected);
  for (size_t i = 1; i < events.size(); ++i)
    EXPECT_GE(events[i].time, events[i - 1].time);
  EXPECT_EQ(TraceOf(LineEventKind::Purge).size(), 1u);
  EXPECT_EQ(TraceOf(LineEventKind::EcuByte).size(), 1u);
}

struct BaudCase {
  int32_t rate;
  int64_t byteTime;
};

class WireTime : public BusTest, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(WireTime, IsTenBitTimesAtTheRate) {
  EXPECT_EQ(KLineBus::ByteTimeAt(GetParam().rate), GetParam().byteTime);
  bus_.SetBaudRate(GetParam().rate);
  const uint8_t byte[] = {0x33};
  bus_.TesterSend(byte);
  AwaitBytes(1);
  std::vector<LineEvent> sent = TraceOf(LineEventKind::TesterByte);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].duration, GetParam().byteTime);
}

INSTANTIATE_TEST_SUITE_P(Rates, WireTime,
                         ::testing::Values(BaudCase{10400, 961538}, BaudCase{9600, 1041666},
                                           BaudCase{4800, 2083333}, BaudCase{38400, 260416},
                                           BaudCase{1200, 8333333}),
                         [](const auto& info) { return std::to_string(info.param.rate); });

struct EchoCase {
  const char* name;
  EchoFault fault;
  int count;
  uint8_t flip;
  std::vector<uint8_t> echo;
};

class EchoFaults : public BusTest, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(EchoFaults, ChangeOnlyWhatTheTesterReadsBack) {
  bus_.SetModel(std::make_unique<RecordingModel>());
  bus_.InjectEchoFault(GetParam().fault, GetParam().count, GetParam().flip);
  const uint8_t sent[] = {0x01, 0x02, 0x03};
  bus_.TesterSend(sent);
  plat::SleepMs(15);
  bus_.Drain();
  EXPECT_EQ(tester_.Values(), GetParam().echo);
  std::vector<uint8_t> seen;
  for (const LineEvent& event : ModelEvents())
    seen.push_back(static_cast<uint8_t>(event.value));
  EXPECT_EQ(seen, (std::vector<uint8_t>{1, 2, 3})) << "the ECU sees the real bytes";
  EXPECT_EQ(TraceOf(LineEventKind::TesterByte).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EchoFaults,
    ::testing::Values(EchoCase{"None", EchoFault::None, -1, 0, {1, 2, 3}},
                      EchoCase{"FirstLost", EchoFault::Lost, 1, 0, {2, 3}},
                      EchoCase{"AllLost", EchoFault::Lost, -1, 0, {}},
                      EchoCase{"FirstWrong", EchoFault::Wrong, 1, 0x01, {0, 2, 3}},
                      EchoCase{"TwoWrong", EchoFault::Wrong, 2, 0xFF, {0xFE, 0xFD, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BusTest, DroppingUnsentBytesKeepsOnlyThoseAlreadyOnTheWire) {
  bus_.SetBaudRate(1200);  // 8.3 ms a byte
  const uint8_t bytes[] = {1, 2, 3, 4, 5};
  bus_.TesterSend(bytes);
  plat::SleepMs(2);
  bus_.DropUnsentTesterBytes();
  // A byte that started while the drop was being made may stay; none may start after it.
  int64_t droppedAt = plat::QueryCounter();
  plat::SleepMs(60);
  bus_.Drain();
  std::vector<LineEvent> sent = TraceOf(LineEventKind::TesterByte);
  ASSERT_FALSE(sent.empty()) << "the byte on the wire is finished";
  EXPECT_LT(sent.size(), 5u);
  std::vector<uint8_t> values;
  for (const LineEvent& event : sent) {
    EXPECT_LE(event.time, droppedAt);
    values.push_back(static_cast<uint8_t>(event.value));
  }
  EXPECT_EQ(tester_.Values(), values);
}

TEST_F(BusTest, QueuedTesterBytesFollowBackToBack) {
  const uint8_t first[] = {1, 2};
  const uint8_t second[] = {3};
  bus_.TesterSend(first);
  bus_.TesterSend(second);
  AwaitBytes(3);
  std::vector<LineEvent> sent = TraceOf(LineEventKind::TesterByte);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1].time, sent[0].End());
  EXPECT_EQ(sent[2].time, sent[1].End());
}

TEST_F(BusTest, TheModelCanWithdrawBytesThatHaveNotStarted) {
  bus_.SetModel(std::make_unique<RecordingModel>([](const LineEvent& event, EcuLink& link) {
    if (event.kind == LineEventKind::TesterByte) {
      const uint8_t answer[] = {0xA1, 0xA2};
      link.SendBytes(answer, event.End() + 300 * kMs, 0);
    }
    if (event.kind == LineEventKind::BreakOn) link.CancelPendingBytes();
  }));
  const uint8_t request[] = {0x01};
  bus_.TesterSend(request);
  AwaitBytes(1);
  bus_.SetBreak(true);
  plat::SleepMs(350);  // past the moment the answer was due
  bus_.Drain();
  EXPECT_TRUE(TraceOf(LineEventKind::EcuByte).empty());
  EXPECT_EQ(tester_.Values(), std::vector<uint8_t>{1});
}

TEST_F(BusTest, TimersReachOnlyTheModelThatSetThem) {
  int64_t asked = 0;
  bus_.SetModel(std::make_unique<RecordingModel>([&](const LineEvent& event, EcuLink& link) {
    if (event.kind != LineEventKind::Rts) return;
    asked = event.time + 20 * kMs;
    link.WakeAt(asked);
  }));
  bus_.SetRts(true);
  plat::SleepMs(40);
  bus_.Drain();
  std::vector<int64_t> timers = ModelTimers();
  ASSERT_EQ(timers.size(), 1u);
  EXPECT_GE(timers[0], asked);

  bus_.SetRts(false);  // asks for another timer...
  bus_.Drain();
  bus_.SetModel(std::make_unique<RecordingModel>());  // ...that the next model never gets
  plat::SleepMs(40);
  bus_.Drain();
  EXPECT_TRUE(ModelTimers().empty());
}

TEST_F(BusTest, TheTraceIsOrderedByTime) {
  bus_.SetBaudRate(1200);
  const uint8_t byte[] = {0x42};
  bus_.TesterSend(byte);  // recorded when it ends, 8.3 ms later
  plat::SleepMs(2);
  bus_.SetDtr(true);  // recorded at once, while the byte is on the wire
  AwaitBytes(1);
  std::vector<LineEvent> trace = bus_.Trace();
  ASSERT_EQ(trace.size(), 3u);
  EXPECT_EQ(trace[0].kind, LineEventKind::BaudChange);
  EXPECT_EQ(trace[1].kind, LineEventKind::TesterByte);
  EXPECT_EQ(trace[2].kind, LineEventKind::Dtr);
  bus_.ClearTrace();
  EXPECT_TRUE(bus_.Trace().empty());
}

TEST_F(BusTest, ADetachedTesterReceivesNothing) {
  bus_.DetachTester();
  const uint8_t byte[] = {0x42};
  bus_.TesterSend(byte);
  plat::SleepMs(10);
  bus_.Drain();
  EXPECT_TRUE(tester_.Bytes().empty());
  EXPECT_EQ(TraceOf(LineEventKind::TesterByte).size(), 1u);
}

}  // namespace
