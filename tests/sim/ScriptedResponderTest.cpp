// The scripted ECU: answers to matching requests and to a wake-up pattern, on the bus trace.
#include "sim/ScriptedResponder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Counter.h"
#include "sim/KLineBus.h"

using sim::KLineBus;
using sim::LineEvent;
using sim::LineEventKind;
using sim::ScriptedResponder;
using sim::ScriptRule;

namespace {

constexpr int64_t kMs = 1'000'000;

class ResponderTest : public ::testing::Test {
 protected:
  void Install(std::vector<ScriptRule> rules) {
    bus_.SetModel(std::make_unique<ScriptedResponder>(std::move(rules)));
  }

  void Send(std::vector<uint8_t> bytes) {
    bus_.TesterSend(bytes);
    plat::SleepMs(static_cast<uint32_t>(bytes.size() + 1));
  }

  std::vector<LineEvent> Events(LineEventKind kind) {
    bus_.Drain();
    std::vector<LineEvent> events;
    for (const LineEvent& event : bus_.Trace())
      if (event.kind == kind) events.push_back(event);
    return events;
  }

  std::vector<uint8_t> Values(LineEventKind kind) {
    std::vector<uint8_t> values;
    for (const LineEvent& event : Events(kind))
      values.push_back(static_cast<uint8_t>(event.value));
    return values;
  }

  ScriptedResponder& Responder(sim::EcuModel* model) {
    return *static_cast<ScriptedResponder*>(model);
  }

  KLineBus bus_;
};

const std::vector<ScriptRule> kRules = {
    {ScriptRule::Trigger::Bytes, {0x81, 0x10, 0xF1}, {0xC1, 0xEF, 0x8F}, 25, 5},
    {ScriptRule::Trigger::Bytes, {0x3E}, {0x7E}, 10, 0},
};

struct MatchCase {
  const char* name;
  std::vector<uint8_t> sent;
  std::vector<uint8_t> answer;
};

class Matching : public ResponderTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(Matching, AnswersExactlyTheRequestsOfItsTable) {
  Install(kRules);
  Send(GetParam().sent);
  plat::SleepMs(60);
  EXPECT_EQ(Values(LineEventKind::EcuByte), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, Matching,
    ::testing::Values(MatchCase{"Whole", {0x81, 0x10, 0xF1}, {0xC1, 0xEF, 0x8F}},
                      MatchCase{"AfterNoise", {0x00, 0x81, 0x81, 0x10, 0xF1}, {0xC1, 0xEF, 0x8F}},
                      MatchCase{"Short", {0x3E}, {0x7E}}, MatchCase{"Incomplete", {0x81, 0x10}, {}},
                      MatchCase{"Unknown", {0x22, 0x01}, {}},
                      MatchCase{"TwoInARow", {0x3E, 0x3E}, {0x7E, 0x7E}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResponderTest, AnswerTimingFollowsTheRuleFromTheEndOfTheRequest) {
  Install(kRules);
  Send({0x81, 0x10, 0xF1});
  plat::SleepMs(60);
  std::vector<LineEvent> request = Events(LineEventKind::TesterByte);
  std::vector<LineEvent> answer = Events(LineEventKind::EcuByte);
  ASSERT_EQ(request.size(), 3u);
  ASSERT_EQ(answer.size(), 3u);
  EXPECT_EQ(answer[0].time, request[2].End() + 25 * kMs);
  EXPECT_EQ(answer[1].time, answer[0].End() + 5 * kMs);
  EXPECT_EQ(answer[2].time, answer[1].End() + 5 * kMs);
  std::vector<std::vector<uint8_t>> matched;
  bus_.Call([&](sim::EcuModel* model) { matched = Responder(model).Matched(); });
  EXPECT_EQ(matched, (std::vector<std::vector<uint8_t>>{{0x81, 0x10, 0xF1}}));
}

TEST_F(ResponderTest, AWakeUpAnswerFollowsTheLastReleaseOfTheLine) {
  Install({{ScriptRule::Trigger::WakeUp, {}, {0x55, 0x08, 0x08}, 50, 3}});
  // Low 20 ms, high 30 ms, low 20 ms, then released: only the last release is answered.
  bus_.SetBreak(true);
  plat::SleepMs(20);
  bus_.SetBreak(false);
  plat::SleepMs(30);
  bus_.SetBreak(true);
  plat::SleepMs(20);
  bus_.SetBreak(false);
  plat::SleepMs(90);
  std::vector<LineEvent> releases = Events(LineEventKind::BreakOff);
  std::vector<LineEvent> answer = Events(LineEventKind::EcuByte);
  ASSERT_EQ(releases.size(), 2u);
  ASSERT_EQ(answer.size(), 3u);
  EXPECT_EQ(answer[0].time, releases[1].time + 50 * kMs);
  EXPECT_EQ(answer[1].time, answer[0].End() + 3 * kMs);
  EXPECT_EQ(Values(LineEventKind::EcuByte), (std::vector<uint8_t>{0x55, 0x08, 0x08}));
}

TEST_F(ResponderTest, ABreakDropsAPartlyReceivedRequest) {
  Install(kRules);
  Send({0x81, 0x10});
  bus_.SetBreak(true);
  bus_.SetBreak(false);
  Send({0xF1});
  plat::SleepMs(60);
  EXPECT_TRUE(Events(LineEventKind::EcuByte).empty());
}

}  // namespace
