#include <gtest/gtest.h>

#include <filesystem>

#include "Iso9141Thread2.h"
#include "KwpProtocol.h"
#include "Serialcomm2ftdi.h"
#include "Threadlist.h"

namespace {

struct TimingCase {
  const char* name;
  TTimingList timings;
  int32_t minEcu2Tester, maxEcu2Tester, minInterByte, maxEcuInterByte;
  uint32_t readInterval;  // given to the port, even while it is closed
};

void PrintTo(const TimingCase& c, std::ostream* os) {
  *os << c.name;
}

class SetTimings : public ::testing::TestWithParam<TimingCase> {};

TEST_P(SetTimings, TakesTheFourKnownNamesExactly) {
  const TimingCase& c = GetParam();
  TCommThreadList requests, responses;
  const auto dir = std::filesystem::path(::testing::TempDir()) / "quobrix_timings";
  std::filesystem::create_directories(dir);
  TIso9141Thread worker(nullptr, &requests, &responses, dir.string() + "/");
  worker.SetTimings(c.timings);
  EXPECT_EQ(worker.MinEcu2TesterTime(), c.minEcu2Tester);
  EXPECT_EQ(worker.MaxEcu2TesterTime(), c.maxEcu2Tester);
  EXPECT_EQ(worker.MinInterByteTime(), c.minInterByte);
  EXPECT_EQ(worker.MaxEcuInterByteTime(), c.maxEcuInterByte);
  EXPECT_EQ(worker.CommPort()->Timeouts().readInterval, c.readInterval);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetTimings,
    ::testing::Values(
        TimingCase{"Empty", {}, 25, 5000, 5, 50, 0},
        TimingCase{"LowerCaseName", {{"mininterbytetime", 9}}, 25, 5000, 5, 50, 0},
        TimingCase{"TesterTimesIgnored",
                   {{kMinTester2EcuTime, 1}, {kMaxTester2EcuTime, 2}},
                   25,
                   5000,
                   5,
                   50,
                   0},
        TimingCase{"Kwp71Values",
                   {{kMinEcu2TesterTime, 2},
                    {kMaxEcu2TesterTime, 400},
                    {kMinInterByteTime, 2},
                    {kMaxEcuInterByteTime, 150}},
                   2,
                   400,
                   2,
                   150,
                   150},
        TimingCase{"LastOfTwoWins",
                   {{kMinInterByteTime, 3}, {kMaxEcuInterByteTime, 70}, {kMinInterByteTime, 0}},
                   25,
                   5000,
                   0,
                   70,
                   70}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
