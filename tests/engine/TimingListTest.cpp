#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Iso9141Thread2.h"
#include "engine/KwpProtocol.h"
#include "engine/Serialcomm2ftdi.h"
#include "engine/Threadlist.h"

namespace {

struct TimingCase {
  const char* name;
  TTimingList timings;
  std::array<int32_t, 4> expected;  // P3 min, P3 max, P4 min, the ECU's longest byte gap
  uint32_t readInterval;            // given to the port, even while it is closed
};

void PrintTo(const TimingCase& c, std::ostream* os) {
  *os << c.name;
}

class SetTimings : public ::testing::TestWithParam<TimingCase> {};

TEST_P(SetTimings, TakesTheFourKnownNamesExactly) {
  TCommThreadList requests, responses;
  TIso9141Thread worker(nullptr, &requests, &responses, ::testing::TempDir());
  worker.SetTimings(GetParam().timings);
  const std::array<int32_t, 4> taken{worker.MinEcu2TesterTime(), worker.MaxEcu2TesterTime(),
                                     worker.MinInterByteTime(), worker.MaxEcuInterByteTime()};
  EXPECT_EQ(taken, GetParam().expected);
  EXPECT_EQ(worker.CommPort()->Timeouts().readInterval, GetParam().readInterval);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetTimings,
    ::testing::Values(
        TimingCase{"Empty", {}, {25, 5000, 5, 50}, 0},
        TimingCase{"LowerCaseName", {{"mininterbytetime", 9}}, {25, 5000, 5, 50}, 0},
        TimingCase{"TesterTimesIgnored",
                   {{kMinTester2EcuTime, 1}, {kMaxTester2EcuTime, 2}},
                   {25, 5000, 5, 50},
                   0},
        TimingCase{"AllFour",
                   {{kMinEcu2TesterTime, 2},
                    {kMaxEcu2TesterTime, 400},
                    {kMinInterByteTime, 2},
                    {kMaxEcuInterByteTime, 150}},
                   {2, 400, 2, 150},
                   150},
        TimingCase{"LastOfTwoWins",
                   {{kMinInterByteTime, 3}, {kMaxEcuInterByteTime, 70}, {kMinInterByteTime, 0}},
                   {25, 5000, 0, 70},
                   70},
        // 0 is no interval time-out; a negative gap gives none either.
        TimingCase{"ZeroByteGap",
                   {{kMaxEcuInterByteTime, 70}, {kMaxEcuInterByteTime, 0}},
                   {25, 5000, 5, 0},
                   0},
        TimingCase{"NegativeByteGap",
                   {{kMaxEcuInterByteTime, 70}, {kMaxEcuInterByteTime, -5}},
                   {25, 5000, 5, -5},
                   0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
