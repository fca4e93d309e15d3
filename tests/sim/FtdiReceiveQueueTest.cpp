// The read rules of the receive queue, driven with explicit moments (no threads).
#include "platform/FtdiReceiveQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Counter.h"

using plat::ftdi::CommTimeouts;
using plat::ftdi::GetOverlappedResult;
using plat::ftdi::kErrorGenFailure;
using plat::ftdi::kErrorInvalidHandle;
using plat::ftdi::kMaxDword;
using plat::ftdi::Overlapped;
using plat::ftdi::ReceiveQueue;

namespace {

constexpr int64_t kMsCounts = 1'000'000;

struct Step {
  enum Kind { Deliver, Expire, Close, Fail, Resume } kind;
  int64_t atMs;  // relative to the start of the read; steps before it come before the read
  int bytes;     // Deliver: how many
  bool done;     // expected state after the step
};

struct ReadCase {
  const char* name;
  CommTimeouts timeouts;
  int bufferedBytes;     // delivered before the read...
  int64_t bufferedAtMs;  // ...at this moment
  uint32_t count;
  bool doneAtOnce;
  std::vector<Step> steps;
  uint32_t expectedCount;
  uint32_t expectedError = 0;  // the read fails with it
};

class ReadRules : public ::testing::TestWithParam<ReadCase> {
 protected:
  void Apply(const Step& step) {
    const int64_t moment = start_ + step.atMs * kMsCounts;
    switch (step.kind) {
      case Step::Deliver:
        for (int i = 0; i < step.bytes; ++i, ++next_) {
          queue_.Deliver(&next_, 1, moment);
          expected_.push_back(next_);
        }
        break;
      case Step::Expire:
        queue_.Expire(moment);
        break;
      case Step::Close:
        queue_.Close(kErrorInvalidHandle);
        break;
      case Step::Fail:
        queue_.Fail(kErrorGenFailure);
        break;
      case Step::Resume:
        queue_.Resume();
        break;
    }
  }

  ReceiveQueue queue_{[this](int64_t moment) { timers_.push_back(moment); }};
  std::vector<int64_t> timers_;
  int64_t start_ = plat::QueryCounter();
  uint8_t next_ = 0x10;
  std::vector<uint8_t> expected_;
};

TEST_P(ReadRules, CompleteWhenTheRulesSay) {
  const ReadCase& c = GetParam();
  queue_.SetTimeouts(c.timeouts);
  Apply({Step::Deliver, c.bufferedAtMs, c.bufferedBytes, false});
  auto step = c.steps.begin();
  for (; step != c.steps.end() && step->atMs < 0; ++step)
    Apply(*step);
  std::vector<uint8_t> buffer(c.count + 1, 0xEE);
  Overlapped transfer;
  uint32_t read = 0;
  ASSERT_EQ(queue_.StartRead(buffer.data(), c.count, &read, transfer),
            c.doneAtOnce && c.expectedError == 0);
  EXPECT_EQ(transfer.IsPending(), !c.doneAtOnce);
  for (; step != c.steps.end(); ++step) {
    Apply(*step);
    EXPECT_EQ(!transfer.IsPending(), step->done) << "after the step at " << step->atMs << " ms";
  }
  ASSERT_FALSE(transfer.IsPending());
  EXPECT_EQ(transfer.DoneEvent().WaitFor(0), plat::WaitResult::Signaled);
  uint32_t count = 0;
  plat::ftdi::SetLastError(0);
  EXPECT_EQ(GetOverlappedResult(transfer, &count, false), c.expectedError == 0);
  EXPECT_EQ(plat::ftdi::LastError(), c.expectedError);
  EXPECT_EQ(count, c.expectedCount);
  expected_.resize(c.expectedCount);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + count), expected_);
  EXPECT_EQ(buffer[count], 0xEE) << "nothing written past the count";
}

const CommTimeouts kInterval20{20, 0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Timeouts, ReadRules,
    ::testing::Values(
        ReadCase{"QuietIntervalEndsAPartialRead",
                 kInterval20,
                 0,
                 0,
                 4,
                 false,
                 {{Step::Deliver, 5, 2, false},
                  {Step::Expire, 24, 0, false},
                  {Step::Expire, 25, 0, true}},
                 2},
        ReadCase{"EveryByteRestartsTheInterval",
                 kInterval20,
                 0,
                 0,
                 4,
                 false,
                 {{Step::Deliver, 5, 1, false},
                  {Step::Deliver, 20, 1, false},
                  {Step::Expire, 30, 0, false},
                  {Step::Expire, 40, 0, true}},
                 2},
        ReadCase{"TheCountEndsTheReadAtOnce",
                 kInterval20,
                 0,
                 0,
                 3,
                 false,
                 {{Step::Deliver, 5, 2, false}, {Step::Deliver, 6, 2, true}},
                 3},
        ReadCase{"NoByteNoEnd",
                 kInterval20,
                 0,
                 0,
                 1,
                 false,
                 {{Step::Expire, 100000, 0, false}, {Step::Deliver, 100001, 1, true}},
                 1},
        ReadCase{"MaxDwordReturnsWhatIsBuffered", {kMaxDword, 0, 0, 0, 0}, 2, -1, 5, true, {}, 2},
        ReadCase{"MaxDwordReturnsAtOnceWhenEmpty", {kMaxDword, 0, 0, 0, 0}, 0, 0, 5, true, {}, 0},
        ReadCase{"NoTimeoutsWaitForTheCount",
                 {0, 0, 0, 0, 0},
                 0,
                 0,
                 2,
                 false,
                 {{Step::Deliver, 5, 1, false},
                  {Step::Expire, 100000, 0, false},
                  {Step::Deliver, 100001, 1, true}},
                 2},
        ReadCase{"TotalTimeoutEndsEvenWithoutBytes",
                 {0, 10, 50, 0, 0},
                 0,
                 0,
                 3,
                 false,
                 {{Step::Expire, 70, 0, false}, {Step::Expire, 200, 0, true}},
                 0},
        ReadCase{"BytesQuietLongEnoughCompleteAtOnce", kInterval20, 2, -100, 4, true, {}, 2},
        ReadCase{"RecentBytesStartTheInterval",
                 kInterval20,
                 1,
                 -5,
                 4,
                 false,
                 {{Step::Expire, 14, 0, false}, {Step::Expire, 15, 0, true}},
                 1},
        ReadCase{"BufferedBytesBeyondTheCountStay", kInterval20, 5, -1, 2, true, {}, 2},
        ReadCase{"ACloseEndsAPendingReadWithItsBytes",
                 kInterval20,
                 0,
                 0,
                 4,
                 false,
                 {{Step::Deliver, 5, 1, false}, {Step::Close, 6, 0, true}},
                 1,
                 kErrorInvalidHandle},
        ReadCase{"AReadAfterACloseFailsAtOnceWithoutBytes",
                 kInterval20,
                 2,
                 -5,
                 4,
                 true,
                 {{Step::Close, -1, 0, true}},
                 0,
                 kErrorInvalidHandle},
        ReadCase{"AClosedQueueStaysClosed",
                 kInterval20,
                 0,
                 0,
                 4,
                 true,
                 {{Step::Close, -2, 0, true}, {Step::Resume, -1, 0, true}},
                 0,
                 kErrorInvalidHandle},
        ReadCase{"AFailEndsAPendingReadWithItsBytes",
                 kInterval20,
                 0,
                 0,
                 4,
                 false,
                 {{Step::Deliver, 5, 1, false}, {Step::Fail, 6, 0, true}},
                 1,
                 kErrorGenFailure},
        ReadCase{"AReadAfterAFailFailsAtOnceWithoutBytes",
                 kInterval20,
                 2,
                 -5,
                 4,
                 true,
                 {{Step::Fail, -1, 0, true}},
                 0,
                 kErrorGenFailure},
        ReadCase{"AFailAfterACloseKeepsTheClosesError",
                 kInterval20,
                 0,
                 0,
                 4,
                 true,
                 {{Step::Close, -2, 0, true}, {Step::Fail, -1, 0, true}},
                 0,
                 kErrorInvalidHandle},
        ReadCase{
            "AResumeAfterAFailWaitsForBytesAgain",
            kInterval20,
            0,
            0,
            2,
            false,
            {{Step::Fail, -2, 0, true}, {Step::Resume, -1, 0, true}, {Step::Deliver, 5, 2, true}},
            2}),
    [](const auto& info) { return std::string(info.param.name); });

class ReceiveQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { queue_.SetTimeouts(kInterval20); }

  void Deliver(std::vector<uint8_t> bytes, int64_t moment = plat::QueryCounter()) {
    queue_.Deliver(bytes.data(), bytes.size(), moment);
  }

  std::vector<uint8_t> Result(Overlapped& transfer, std::vector<uint8_t>& buffer) {
    uint32_t count = 0;
    GetOverlappedResult(transfer, &count, false);
    return {buffer.begin(), buffer.begin() + count};
  }

  ReceiveQueue queue_{[this](int64_t moment) { timers_.push_back(moment); }};
  std::vector<int64_t> timers_;
};

TEST_F(ReceiveQueueTest, AskesForATimerAtTheIntervalDeadline) {
  std::vector<uint8_t> buffer(4);
  Overlapped transfer;
  queue_.StartRead(buffer.data(), 4, nullptr, transfer);
  EXPECT_TRUE(timers_.empty()) << "no deadline before the first byte";
  int64_t moment = plat::QueryCounter();
  Deliver({1}, moment);
  ASSERT_EQ(timers_.size(), 1u);
  EXPECT_EQ(timers_[0], moment + 20 * kMsCounts);
}

TEST_F(ReceiveQueueTest, AnAbandonedReadTakesNoBytesFromTheNextOne) {
  {
    std::vector<uint8_t> gone(4);
    Overlapped abandoned;
    EXPECT_FALSE(queue_.StartRead(gone.data(), 4, nullptr, abandoned));
  }
  std::vector<uint8_t> buffer(2);
  Overlapped transfer;
  EXPECT_FALSE(queue_.StartRead(buffer.data(), 2, nullptr, transfer));
  Deliver({7, 8});
  ASSERT_FALSE(transfer.IsPending());
  EXPECT_EQ(Result(transfer, buffer), (std::vector<uint8_t>{7, 8}));
}

TEST_F(ReceiveQueueTest, ReadsArePendingInTurn) {
  std::vector<uint8_t> first(2), second(2);
  Overlapped a, b;
  queue_.StartRead(first.data(), 2, nullptr, a);
  queue_.StartRead(second.data(), 2, nullptr, b);
  Deliver({1, 2, 3});
  EXPECT_FALSE(a.IsPending());
  EXPECT_TRUE(b.IsPending());
  EXPECT_EQ(Result(a, first), (std::vector<uint8_t>{1, 2}));
  Deliver({4});
  EXPECT_EQ(Result(b, second), (std::vector<uint8_t>{3, 4}));
}

TEST_F(ReceiveQueueTest, ACancelledReadFailsAndKeepsItsBytesForTheCaller) {
  std::vector<uint8_t> buffer(4, 0);
  Overlapped transfer;
  queue_.StartRead(buffer.data(), 4, nullptr, transfer);
  Deliver({9}, plat::QueryCounter() + 1000 * kMsCounts);
  EXPECT_TRUE(queue_.Cancel(transfer));
  EXPECT_FALSE(queue_.Cancel(transfer)) << "already ended";
  uint32_t count = 0;
  EXPECT_FALSE(GetOverlappedResult(transfer, &count, false));
  EXPECT_EQ(plat::ftdi::LastError(), plat::ftdi::kErrorOperationAborted);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(buffer[0], 9);
  Deliver({10});
  EXPECT_EQ(queue_.Buffered(), 1u) << "later bytes wait for the next read";
}

TEST_F(ReceiveQueueTest, AResultTakenWhilePendingIsIncomplete) {
  std::vector<uint8_t> buffer(1);
  Overlapped transfer;
  queue_.StartRead(buffer.data(), 1, nullptr, transfer);
  uint32_t count = 5;
  EXPECT_FALSE(GetOverlappedResult(transfer, &count, false));
  EXPECT_EQ(plat::ftdi::LastError(), plat::ftdi::kErrorIoIncomplete);
  queue_.AbortReads(plat::ftdi::kErrorDeviceNotConnected);
  EXPECT_FALSE(GetOverlappedResult(transfer, &count, true));
  EXPECT_EQ(plat::ftdi::LastError(), plat::ftdi::kErrorDeviceNotConnected);
}

TEST_F(ReceiveQueueTest, AReadAfterAnAbortGetsTheNextBytes) {
  std::vector<uint8_t> aborted(2), buffer(2);
  Overlapped first, next;
  queue_.StartRead(aborted.data(), 2, nullptr, first);
  queue_.AbortReads(plat::ftdi::kErrorOperationAborted);
  EXPECT_FALSE(queue_.StartRead(buffer.data(), 2, nullptr, next));
  Deliver({5, 6});
  ASSERT_FALSE(next.IsPending());
  EXPECT_EQ(Result(next, buffer), (std::vector<uint8_t>{5, 6}));
}

TEST_F(ReceiveQueueTest, BytesBeyondTheCapacityAreDropped) {
  queue_.SetCapacity(2);
  Deliver({1, 2, 3});
  EXPECT_EQ(queue_.Buffered(), 2u);
  queue_.ClearBuffer();
  EXPECT_EQ(queue_.Buffered(), 0u);
}

TEST_F(ReceiveQueueTest, AReusedRecordStartsClean) {
  std::vector<uint8_t> buffer(2);
  Overlapped transfer;
  queue_.StartRead(buffer.data(), 2, nullptr, transfer);
  Deliver({1, 2});
  EXPECT_FALSE(queue_.StartRead(buffer.data(), 2, nullptr, transfer));
  EXPECT_EQ(transfer.DoneEvent().WaitFor(0), plat::WaitResult::Timeout);
  EXPECT_EQ(transfer.State()->Count(), 0u);
}

}  // namespace
