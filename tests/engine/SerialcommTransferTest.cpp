// Transfers of the port on the simulated K-line: echo, the read-interval rule, purge and
// cancellation, and what the bus trace shows of them.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Conversions.h"
#include "platform/Counter.h"
#include "sim/ScriptedResponder.h"
#include "engine/Serialcomm2ftdi.h"
#include "sim/SimulatedFtdi.h"

using plat::ftdi::Overlapped;
using sim::LineEvent;
using sim::LineEventKind;
using sim::ScriptRule;

namespace {

constexpr double kMs = 1'000'000.0;

struct ReadOutcome {
  bool done = false;
  std::vector<uint8_t> bytes;
  int64_t endedAt = 0;
};

class PortOnBus : public ::testing::Test {
 protected:
  void SetUp() override {
    port_.SetPortName("0x" + plat::IntToHex(sim::SimulatedFtdi::kLocationId, 8));
    port_.Open();
    ASSERT_TRUE(port_.IsOpen());
  }

  void Answer(std::vector<ScriptRule> rules) {
    simulation_.Ftdi().SetModel(std::make_unique<sim::ScriptedResponder>(std::move(rules)));
  }

  bool Write(std::vector<uint8_t> bytes) {
    Overlapped transfer;
    uint32_t written = 0;
    if (port_.WriteOverlapped(bytes.data(), static_cast<int32_t>(bytes.size()), written, transfer))
      return written == bytes.size();
    return transfer.DoneEvent().WaitFor(2000) == plat::WaitResult::Signaled &&
           port_.GetOverlappedResult(transfer, written, false) && written == bytes.size();
  }

  // A read as the byte transfer does it: wait up to the bound, then cancel.
  ReadOutcome Read(int32_t count, uint32_t boundMs) {
    ReadOutcome outcome;
    std::vector<uint8_t> buffer(static_cast<size_t>(count), 0);
    Overlapped transfer;
    uint32_t received = 0;
    outcome.done = port_.ReadOverlapped(buffer.data(), count, received, transfer);
    if (!outcome.done) {
      if (transfer.DoneEvent().WaitFor(boundMs) == plat::WaitResult::Signaled) {
        outcome.done = port_.GetOverlappedResult(transfer, received, false);
      } else {
        port_.CancelTransfer(transfer);
        received = 0;
      }
    }
    outcome.endedAt = plat::QueryCounter();
    outcome.bytes.assign(buffer.begin(), buffer.begin() + received);
    return outcome;
  }

  // Returns once the bytes written so far have come back into the receive buffer.
  void AwaitEcho() {
    plat::SleepMs(5);
    simulation_.Bus().Drain();  // the echo is due by now: this waits until it was delivered
  }

  std::vector<LineEvent> Bytes(LineEventKind kind) {
    simulation_.Bus().Drain();
    std::vector<LineEvent> bytes;
    for (const LineEvent& event : simulation_.Bus().Trace())
      if (event.kind == kind) bytes.push_back(event);
    return bytes;
  }

  sim::ScopedSimulation simulation_;
  TCommPort port_;
};

TEST_F(PortOnBus, WrittenBytesComeBackAsEchoAfterTheirWireTime) {
  port_.SetTimeouts(50, 0, 0, 0, 0);
  int64_t start = plat::QueryCounter();
  ASSERT_TRUE(Write({0x81, 0x10, 0xF1}));
  ReadOutcome echo = Read(3, 2000);
  ASSERT_TRUE(echo.done);
  EXPECT_EQ(echo.bytes, (std::vector<uint8_t>{0x81, 0x10, 0xF1}));
  // Three bytes of 10 bits at 10400 baud take 2.88 ms on the wire.
  EXPECT_GE(echo.endedAt - start, static_cast<int64_t>(2.8 * kMs));

  std::vector<LineEvent> sent = Bytes(LineEventKind::TesterByte);
  ASSERT_EQ(sent.size(), 3u);
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].duration, 10 * 1'000'000'000LL / 10400);
    if (i > 0) {
      EXPECT_EQ(sent[i].time, sent[i - 1].End()) << "bytes follow back to back";
    }
  }
  EXPECT_EQ(sent[0].value, 0x81);
  EXPECT_EQ(sent[2].value, 0xF1);
}

TEST_F(PortOnBus, APartialReadCompletesTheReadIntervalAfterTheLastByte) {
  Answer({{ScriptRule::Trigger::Bytes, {0x01}, {0xA1, 0xA2, 0xA3, 0xA4}, 5, 0}});
  port_.SetTimeouts(30, 0, 0, 0, 0);
  ASSERT_TRUE(Write({0x01}));
  ASSERT_EQ(Read(1, 2000).bytes, std::vector<uint8_t>{0x01});
  ReadOutcome answer = Read(10, 3000);
  ASSERT_TRUE(answer.done);
  EXPECT_EQ(answer.bytes, (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 0xA4}));
  std::vector<LineEvent> ecu = Bytes(LineEventKind::EcuByte);
  ASSERT_EQ(ecu.size(), 4u);
  int64_t quietFor = answer.endedAt - ecu.back().End();
  EXPECT_GE(quietFor, static_cast<int64_t>(30 * kMs));
  EXPECT_LT(quietFor, static_cast<int64_t>(150 * kMs));
}

TEST_F(PortOnBus, ReadIntervalRestartsWithEveryByte) {
  // Answer bytes 20 ms apart with a 30 ms interval: all of them belong to one read.
  Answer({{ScriptRule::Trigger::Bytes, {0x02}, {0xB1, 0xB2, 0xB3}, 5, 20}});
  port_.SetTimeouts(30, 0, 0, 0, 0);
  ASSERT_TRUE(Write({0x02}));
  ASSERT_TRUE(Read(1, 2000).done);
  EXPECT_EQ(Read(8, 3000).bytes, (std::vector<uint8_t>{0xB1, 0xB2, 0xB3}));
}

TEST_F(PortOnBus, BeforeTheFirstByteAReadStaysPendingUntilTheCallersBound) {
  port_.SetTimeouts(10, 0, 0, 0, 0);
  int64_t start = plat::QueryCounter();
  ReadOutcome outcome = Read(4, 120);
  EXPECT_FALSE(outcome.done);
  EXPECT_GE(outcome.endedAt - start, static_cast<int64_t>(120 * kMs));
}

TEST_F(PortOnBus, ACancelledReadLeavesLaterBytesToTheNextRead) {
  Answer({{ScriptRule::Trigger::Bytes, {0x03}, {0xC1}, 150, 0}});
  port_.SetTimeouts(20, 0, 0, 0, 0);
  ASSERT_TRUE(Write({0x03}));
  ASSERT_TRUE(Read(1, 2000).done);
  EXPECT_FALSE(Read(1, 40).done);  // times out before the answer
  ReadOutcome late = Read(1, 2000);
  ASSERT_TRUE(late.done);
  EXPECT_EQ(late.bytes, std::vector<uint8_t>{0xC1});
}

TEST_F(PortOnBus, MaxDwordIntervalReturnsAtOnceWithWhatIsBuffered) {
  ASSERT_TRUE(Write({0x11, 0x22}));
  AwaitEcho();
  int64_t start = plat::QueryCounter();
  ReadOutcome outcome = Read(8, 0);
  EXPECT_TRUE(outcome.done);
  EXPECT_EQ(outcome.bytes, (std::vector<uint8_t>{0x11, 0x22}));
  EXPECT_TRUE(Read(8, 0).done) << "an empty buffer also returns at once";
  EXPECT_LT(plat::QueryCounter() - start, static_cast<int64_t>(100 * kMs));
}

TEST_F(PortOnBus, PurgeAbortsAPendingReadAndEmptiesTheBuffer) {
  port_.SetTimeouts(20, 0, 0, 0, 0);
  std::vector<uint8_t> buffer(4);
  Overlapped pending;
  uint32_t received = 0;
  ASSERT_FALSE(port_.ReadOverlapped(buffer.data(), 4, received, pending));
  port_.Purge();
  ASSERT_EQ(pending.DoneEvent().WaitFor(500), plat::WaitResult::Signaled);
  EXPECT_FALSE(port_.GetOverlappedResult(pending, received, false));
  EXPECT_EQ(plat::ftdi::LastError(), plat::ftdi::kErrorOperationAborted);

  ASSERT_TRUE(Write({0x44}));
  AwaitEcho();
  port_.Purge();
  EXPECT_FALSE(Read(1, 60).done) << "the echo was purged";
}

TEST_F(PortOnBus, BreakRtsAndDtrEdgesAreTracedInOrder) {
  port_.SetRTS();
  port_.SetBreak();
  plat::SleepMs(5);
  port_.ClearBreak();
  port_.ClearRTS();
  port_.SetDTR();
  simulation_.Bus().Drain();
  std::vector<std::pair<LineEventKind, int>> edges;
  for (const LineEvent& event : simulation_.Bus().Trace())
    edges.emplace_back(event.kind, event.value);
  std::vector<std::pair<LineEventKind, int>> expected = {{LineEventKind::Rts, 1},
                                                         {LineEventKind::BreakOn, 1},
                                                         {LineEventKind::BreakOff, 0},
                                                         {LineEventKind::Rts, 0},
                                                         {LineEventKind::Dtr, 1}};
  EXPECT_EQ(edges, expected);
}

TEST_F(PortOnBus, AVanishedInterfaceEndsThePendingReadAndFailsLaterCalls) {
  port_.SetTimeouts(20, 0, 0, 0, 0);
  std::vector<uint8_t> buffer(1);
  Overlapped pending;
  uint32_t received = 0;
  ASSERT_FALSE(port_.ReadOverlapped(buffer.data(), 1, received, pending));
  simulation_.Ftdi().Unplug();
  ASSERT_EQ(pending.DoneEvent().WaitFor(500), plat::WaitResult::Signaled);
  EXPECT_FALSE(port_.GetOverlappedResult(pending, received, false));
  EXPECT_EQ(plat::ftdi::LastError(), plat::ftdi::kErrorDeviceNotConnected);
  EXPECT_FALSE(Write({0x01}));
  EXPECT_THROW(port_.SetBreak(), ECommError);
  EXPECT_NO_THROW(port_.Close());
}

}  // namespace
