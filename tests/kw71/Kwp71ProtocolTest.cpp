// The blocks of the KWP71/KWP81 protocol built and taken apart without a line, and its settings.
#include <gtest/gtest.h>

#include "kw71/Kwp71Protocol2.h"
#include "tests/engine/WorkerTestSupport.h"
#include "tests/support/RequestSteps.h"

namespace {

constexpr uint8_t kAuto = TKwp71Protocol::kSubTypeAuto;
constexpr uint8_t k71 = TKwp71Protocol::kSubTypeKwp71;
constexpr uint8_t k81 = TKwp71Protocol::kSubTypeKwp81;

// A worker that is never started, with the protocol on it.
class Kwp71ProtocolTest : public ::testing::Test {
 protected:
  TRecordingLog memo;
  TCommThreadList requests;
  TCommThreadList responses;
  TIso9141Thread worker{&memo, &requests, &responses, ::testing::TempDir()};
  TKwp71Protocol protocol{&worker, &memo};
};

TSmallIntArray Array(const Values& values) {
  TSmallIntArray array;
  for (int16_t value : values)
    array.Add(value);
  return array;
}

TEST_F(Kwp71ProtocolTest, SettingsAndTheTimingsTheWorkerGets) {
  EXPECT_EQ(worker.MinEcu2TesterTime(), 2);
  EXPECT_EQ(worker.MaxEcu2TesterTime(), 400);
  EXPECT_EQ(worker.MinInterByteTime(), 2);
  EXPECT_EQ(worker.MaxEcuInterByteTime(), 150);
  protocol.SetInitParams(12, 1500, 1000, 30);
  EXPECT_EQ(protocol.MaxKeyBytes(), 10);
  protocol.SetInitParams(-3, 1500, 1000, 30);
  EXPECT_EQ(protocol.MaxKeyBytes(), -3);
  protocol.SetTimings({{"MaxTester2EcuTime", 700},
                       {"maxecuinterbytetime", 1},
                       {"MaxEcuInterByteTime", 90},
                       {"MinEcu2TesterTime", 7}});
  EXPECT_EQ(protocol.MaxTester2EcuTime(), 700);
  EXPECT_EQ(protocol.MaxEcuInterByteTime(), 90);
  EXPECT_EQ(worker.MaxEcuInterByteTime(), 90);
  EXPECT_EQ(worker.MinEcu2TesterTime(), 7);
  EXPECT_EQ(worker.MaxEcu2TesterTime(), 400);
}

TEST_F(Kwp71ProtocolTest, RequestBlocks) {
  struct Case {
    uint8_t subType;
    Values ecuBlock;  // taken in first (KWP71: sets the block counter)
    int title;
    Values params;
    Values block;
  };
  const Case cases[] = {
      {kAuto, {0x03, 0x05, 0x09, 0x03}, 0x09, {}, {0x03, 0x06, 0x09, 0x03}},
      {k71, {0x03, 0x05, 0x09, 0x03}, 0x09, {}, {0x03, 0x06, 0x09, 0x03}},
      {k71, {0x03, 0x10, 0x09, 0x03}, 0x06, {}, {0x03, 0x11, 0x06, 0x03}},
      {k71,
       {0x03, 0xFF, 0x09, 0x03},
       0x01,
       {0x02, 0x12, 0x34},
       {0x06, 0x00, 0x01, 0x02, 0x12, 0x34, 0x03}},
      {k81, {}, 0x09, {}, {0x02, 0x09, 0x0B}},
      {k81, {}, 0x06, {}, {0x02, 0x06, 0x08}},
      {k81, {}, 0x01, {0x80, 0x90, 0xF0}, {0x05, 0x01, 0x80, 0x90, 0xF0, 0x06}},
  };
  for (const Case& c : cases) {
    protocol.SetSubType(c.subType);
    TSequenceObject object(skExecuteSequence);
    if (!c.ecuBlock.empty()) {
      ASSERT_TRUE(protocol.ParseBlock(&object, Array(c.ecuBlock), 0));
    }
    auto params = std::make_unique<TSmallIntArray>(Array(c.params));
    object.AddRequest(
        std::make_unique<TSequence>(c.title, c.params.empty() ? nullptr : std::move(params)));
    TSmallIntArray block;
    protocol.BuildBlock(&object, &block, 0);
    EXPECT_EQ(block.Values(), c.block) << int(c.subType) << " " << c.title;
  }
}

TEST_F(Kwp71ProtocolTest, NoBlockWithoutARequestListOrBeyondTheLengthByte) {
  for (const auto& [subType, most] : {std::pair{k71, 252}, std::pair{k81, 253}}) {
    protocol.SetSubType(subType);
    TSmallIntArray block{1, 2, 3};
    TSequenceObject empty(skStopCommunication);
    protocol.BuildBlock(&empty, &block, 0);
    EXPECT_EQ(block.Count(), 0);
    for (int count : {most, most + 1}) {
      TSequenceObject object(skExecuteSequence);
      object.AddRequest(std::make_unique<TSequence>(
          0x01, std::make_unique<TSmallIntArray>(Array(Values(static_cast<size_t>(count), 7)))));
      protocol.BuildBlock(&object, &block, 0);
      EXPECT_EQ(block.Count(), count > most ? 0 : count + (subType == k81 ? 3 : 4)) << count;
    }
  }
}

TEST_F(Kwp71ProtocolTest, ReceivedBlocks) {
  struct Case {
    uint8_t subType;
    Values block;
    bool ok;
    int title;
    Values data;
    int counter;   // after the block
    bool chained;  // an acknowledge request follows the step
  };
  const Case cases[] = {
      {k71, {0x03, 0x05, 0x09, 0x03}, true, 0x09, {}, 0x05, false},
      {k71, {0x05, 0x07, 0xF6, 0x41, 0x42, 0x03}, true, 0xF6, {0x41, 0x42}, 0x07, true},
      {k71, {0x04, 0x08, 0xFC, 0x00, 0x03}, true, 0xFC, {0x00}, 0x08, true},
      {k71, {0x04, 0x09, 0xF4, 0x01, 0x03}, true, 0xF4, {0x01}, 0x09, true},
      {k71, {0x02, 0x0A, 0xFB, 0x03}, true, 0xFB, {}, 0x0A, false},
      {k71, {0x01, 0x0B}, false, -1, {}, 0x00, false},
      {k81, {0x02, 0x09, 0x0B}, true, 0x09, {}, 0x00, false},
      {k81, {0x04, 0xFB, 0x01, 0x02, 0x55}, true, 0xFB, {0x01, 0x02}, 0x00, false},  // bad sum
      {k81, {0x06, 0xF6, 0x31, 0x32}, true, 0xF6, {0x31, 0x32}, 0x00, true},         // cut short
      {k81, {0x01, 0x0A}, true, 0x0A, {}, 0x00, false},
      {k81, {0x00}, false, -1, {}, 0x00, false},
  };
  for (const Case& c : cases) {
    TKwp71Protocol fresh(&worker, &memo);
    fresh.SetSubType(c.subType);
    TSequenceObject object(skExecuteSequence);
    object.AddRequest(nullptr);
    object.AddRequest(std::make_unique<TSequence>(0x05, nullptr));
    EXPECT_EQ(fresh.ParseBlock(&object, Array(c.block), 0), c.ok) << c.title;
    EXPECT_EQ(object.ResponseServiceId(0), c.title);
    EXPECT_EQ(ValuesOf(object.ResponseParams(0)), c.data) << c.title;
    EXPECT_EQ(object.ResponseParams(0) == nullptr, c.data.empty()) << c.title;
    EXPECT_EQ(fresh.BlockCounter(), c.counter) << c.title;
    EXPECT_EQ(object.RequestServiceId(1), c.chained ? 0x09 : 0x05) << c.title;
    EXPECT_EQ(object.RequestCount(), c.chained ? 3 : 2) << c.title;
  }
}

}  // namespace
