// The KWP2000 protocol's frame layer: request frames, answer parsing and the reactions to
// answers, with a worker that is never started (no bus, no threads).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "WorkerTestSupport.h"
#include "engine/Kwp2000Protocol2.h"
#include "engine/Sequence.h"
#include "engine/Serialcomm2ftdi.h"
#include "engine/Threadlist.h"

namespace {

using Values = std::vector<int16_t>;

std::unique_ptr<TSmallIntArray> Array(const Values& values) {
  auto array = std::make_unique<TSmallIntArray>();
  for (int16_t value : values)
    array->Add(value);
  return array;
}

Values ValuesOf(const TSmallIntArray* array) {
  return array ? array->Values() : Values{};
}

class Kwp2000ProtocolTest : public ::testing::Test {
 protected:
  Kwp2000ProtocolTest() { worker->SetAddresses(0x10, 0xF1); }

  static std::string LogDirectory() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    auto dir = std::filesystem::path(::testing::TempDir()) /
               (std::string("quobrix_kwp2000_") + info->name());
    std::filesystem::create_directories(dir);
    return dir.string() + "/";
  }

  // The frame of a one-step request.
  Values Frame(int serviceId, const Values& params, int32_t headerMode, int32_t lengthMode) {
    TSequenceObject object(skExecuteSequence);
    object.AddRequest(
        std::make_unique<TSequence>(serviceId, params.empty() ? nullptr : Array(params)));
    TSmallIntArray frame{0x55};
    protocol.BuildRequestFrame(&object, &frame, 0, headerMode, lengthMode);
    return frame.Values();
  }

  // Processes `frame` as the answer to step `index` of `object`.
  void Process(TSequenceObject& object, const Values& frame, int index = 0) {
    Process(protocol, object, frame, index);
  }
  static void Process(TKwp2000Protocol& receiver, TSequenceObject& object, const Values& frame,
                      int index = 0) {
    const auto array = Array(frame);
    receiver.ProcessResponse(&object, array.get(), index);
  }
  // A frame without addresses around `payload`, with its checksum.
  static Values Framed(const Values& payload) {
    Values frame{static_cast<int16_t>(payload.size())};
    frame.insert(frame.end(), payload.begin(), payload.end());
    int sum = 0;
    for (int16_t value : frame)
      sum += value;
    frame.push_back(static_cast<int16_t>(sum & 0xFF));
    return frame;
  }

  std::string ByteLog() const {
    std::ifstream in(worker->LogFileName());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TRecordingLog memo;
  TCommThreadList requests;
  TCommThreadList responses;
  std::unique_ptr<TKwp2000Thread> worker =
      std::make_unique<TKwp2000Thread>(&memo, &requests, &responses, LogDirectory());
  TKwp2000Protocol protocol{worker.get(), &memo};
};

TEST_F(Kwp2000ProtocolTest, RequestFrames) {
  struct Case {
    int serviceId;
    Values params;
    int32_t headerMode;
    int32_t lengthMode;
    Values frame;
  };
  const Case cases[] = {
      {0x81, {}, 2, 2, {0x81, 0x10, 0xF1, 0x81, 0x03}},
      {0x81, {}, 2, 0, {0x80, 0x10, 0xF1, 0x01, 0x81, 0x03}},
      {0x3E, {}, 0, 2, {0x01, 0x3E, 0x3F}},
      {0x3E, {}, 1, 2, {0x41, 0x3E, 0x7F}},
      {0x3E, {}, 3, 2, {0xC1, 0x10, 0xF1, 0x3E, 0x00}},
      {0x3E, {}, 0, 1, {0x00, 0x01, 0x3E, 0x3F}},
      {0x3E, {}, 0, 3, {0x01, 0x3E, 0x3F}},
      {0x21, {0x01}, 0, 2, {0x02, 0x21, 0x01, 0x24}},
      {0x21, {0x01}, 2, 1, {0x80, 0x10, 0xF1, 0x02, 0x21, 0x01, 0xA5}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Frame(c.serviceId, c.params, c.headerMode, c.lengthMode), c.frame)
        << std::hex << c.serviceId << " header " << c.headerMode << " length " << c.lengthMode;
  }
}

TEST_F(Kwp2000ProtocolTest, LengthMovesToItsOwnByteBeyond63) {
  struct Case {
    int params;
    Values header;  // format byte, then the length byte when there is one
    size_t size;
  };
  const Case cases[] = {
      {62, {0x3F}, 1 + 63 + 1},
      {63, {0x00, 64}, 2 + 64 + 1},
      {254, {0x00, 255}, 2 + 255 + 1},
  };
  for (const Case& c : cases) {
    const Values frame = Frame(0x31, Values(static_cast<size_t>(c.params), 0x01), 0, 2);
    ASSERT_EQ(frame.size(), c.size) << c.params;
    EXPECT_EQ(Values(frame.begin(), frame.begin() + static_cast<long>(c.header.size())), c.header);
    EXPECT_EQ(frame.back(),
              (0x31 + c.params + c.header[0] + (c.header.size() > 1 ? c.header[1] : 0)) & 0xFF);
  }
}

TEST_F(Kwp2000ProtocolTest, NoFrameWithoutARequestOrBeyondTheLengthByte) {
  EXPECT_TRUE(Frame(0x31, Values(255, 0x01), 0, 2).empty());
  TSequenceObject receiveOnly(skExecuteSequence);
  receiveOnly.AddRequest(nullptr);
  TSmallIntArray frame{0x55};
  protocol.BuildRequestFrame(&receiveOnly, &frame, 0, 0, 2);
  EXPECT_EQ(frame.Count(), 0);
  frame.Add(0x55);
  protocol.BuildRequestFrame(&receiveOnly, &frame, 1, 0, 2);
  EXPECT_EQ(frame.Count(), 0);
  protocol.BuildRequestFrame(&receiveOnly, nullptr, 0, 0, 2);  // nothing to fill
}

TEST_F(Kwp2000ProtocolTest, ChecksumSumsAtMostTheArray) {
  const TSmallIntArray array{0x81, 0x10, 0xF1, 0x81};
  struct Case {
    int count;
    int32_t sum;
  };
  const Case cases[] = {{0, 0}, {2, 0x91}, {4, 0x203}, {9, 0x203}, {-1, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(TKwp2000Protocol::Checksum(array, c.count), c.sum);
}

TEST_F(Kwp2000ProtocolTest, BaudRateTable) {
  struct Case {
    uint8_t id;
    int32_t rate;
  };
  const Case cases[] = {{1, 9600},     {2, 19200},   {3, 38400},   {4, 57600},  {5, 115200},
                        {16, 9600},    {20, 10400},  {32, 12800},  {96, 51200}, {168, 256000},
                        {250, 187500}, {0, 10400},   {6, 10400},   {15, 10400}, {169, 10400},
                        {249, 10400},  {251, 10400}, {255, 10400}, {47, 18800}, {64, 25600}};
  for (const Case& c : cases)
    EXPECT_EQ(TKwp2000Protocol::BaudRateForId(c.id), c.rate) << int(c.id);
}

TEST_F(Kwp2000ProtocolTest, StartDiagnosticSessionChoosesTheBaudRateOfTheSwitch) {
  struct Case {
    Values params;
    uint8_t id;
    int32_t rate;
  };
  const Case cases[] = {{{0x81}, 20, 10400},          {{0x81, 0x14}, 0x14, 10400},
                        {{0x81, 0x05}, 0x05, 115200}, {{0x81, 0x00, 0xFA}, 0xFA, 187500},
                        {{0x81, 0x00}, 0x00, 10400},  {{0x81, 0x02, 0xFA}, 0x02, 19200}};
  for (const Case& c : cases) {
    TSequenceObject object(skExecuteSequence);
    object.AddRequest(std::make_unique<TSequence>(0x10, Array(c.params)));
    protocol.BuildRequestFrame(&object, nullptr, 0, 0, 2);
    TSmallIntArray frame;
    protocol.BuildRequestFrame(&object, &frame, 0, 0, 2);
    EXPECT_EQ(protocol.BaudRateId(), c.id);
    Process(object, {0x82, 0xF1, 0x10, 0x50, 0x81, 0x54});
    EXPECT_EQ(object.ResponseServiceId(0), 0x50);
    EXPECT_EQ(worker->CommPort()->LineSettings().baudRate, static_cast<uint32_t>(c.rate));
    EXPECT_NE(ByteLog().find(" baudrate switched to: " + std::to_string(c.rate) + "\n"),
              std::string::npos);
  }
}

TEST_F(Kwp2000ProtocolTest, TimingBytesBecomeMilliseconds) {
  struct Case {
    int32_t bytes[5];
    int32_t p2Min, p2Max, p3Min, p3Max, p4Min;
  };
  const Case cases[] = {{{50, 0xF1, 110, 20, 10}, 25, 6400, 55, 5000, 5},
                        {{0, 2, 0, 4, 0}, 0, 50, 0, 1000, 0},
                        {{51, 0xF2, 111, 1, 3}, 25, 12800, 55, 250, 1},
                        {{0, 0xF0, 0, 0, 0}, 0, 6000, 0, 0, 0},
                        {{0, 0xFF, 0, 0, 0}, 0, 96000, 0, 0, 0}};
  for (const Case& c : cases) {
    protocol.SetTimingParameters(c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3], c.bytes[4]);
    EXPECT_EQ(protocol.MinTester2EcuTime(), c.p2Min);
    EXPECT_EQ(protocol.MaxTester2EcuTime(), c.p2Max);
    EXPECT_EQ(protocol.MinEcu2TesterTime(), c.p3Min);
    EXPECT_EQ(protocol.MaxEcu2TesterTime(), c.p3Max);
    EXPECT_EQ(protocol.MinInterByteTime(), c.p4Min);
    EXPECT_EQ(worker->MinEcu2TesterTime(), c.p3Min);
    EXPECT_EQ(worker->MaxEcu2TesterTime(), c.p3Max);
    EXPECT_EQ(worker->MinInterByteTime(), c.p4Min);
    EXPECT_EQ(worker->MaxEcuInterByteTime(), 50);
  }
}

TEST_F(Kwp2000ProtocolTest, ConstructionHandsTheStandardTimingToTheWorker) {
  EXPECT_EQ(worker->MinEcu2TesterTime(), 55);
  EXPECT_EQ(worker->MaxEcu2TesterTime(), 5000);
  EXPECT_EQ(worker->MinInterByteTime(), 5);
  EXPECT_EQ(protocol.MinTester2EcuTime(), 25);
  EXPECT_EQ(protocol.MaxTester2EcuTime(), 6400);
  EXPECT_EQ(protocol.FirstByteTimeout(), 6650);
  EXPECT_EQ(protocol.InitType(), 1);
  EXPECT_EQ(protocol.BaudRateId(), 20);
}

TEST_F(Kwp2000ProtocolTest, AnswerFramesBecomeResponseSteps) {
  struct Case {
    Values frame;
    int serviceId;               // -1: no response step
    std::optional<Values> data;  // nullopt: no array
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}, 0xC1, Values{0xEF, 0x8F}, {}},
      {{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC4}, 0xC1, Values{0xEF, 0x8F}, {"Error in chk rcvd"}},
      {{0x04, 0x61, 0x01, 0x02, 0x68}, -1, std::nullopt, {"Error in length rcvd"}},
      {{0x02, 0x61, 0x01, 0x02, 0x66}, -1, std::nullopt, {"Error in length rcvd"}},
      {{0xFF, 0x76, 0x75}, 0x76, std::nullopt, {}},
      {{0x01, 0x7E, 0x7F}, 0x7E, std::nullopt, {}},
      {{0x00, 0x02, 0x61, 0x01, 0x64}, 0x61, Values{0x01}, {}},
      {{0x80, 0xF1, 0x10, 0x02, 0x61, 0x01, 0xE5}, 0x61, Values{0x01}, {}},
      {{0x80, 0xF1, 0x10, 0x00, 0x71}, -1, std::nullopt, {"Error in length rcvd"}},
      {{0x80, 0xF1, 0x10}, -1, std::nullopt, {"Error in length rcvd"}},
      {{0x81}, -1, std::nullopt, {"Error in length rcvd"}},
      {{0x01, 0x00, 0x01}, -1, std::nullopt, {}},
      {{}, -1, std::nullopt, {}},
  };
  for (const Case& c : cases) {
    memo.Clear();
    worker->KeyBytes().Add(0x01);  // key bytes present: 0xC1 takes none
    TSequenceObject object(skExecuteSequence);
    Process(object, c.frame);
    EXPECT_EQ(object.ResponseServiceId(0), c.serviceId) << ::testing::PrintToString(c.frame);
    EXPECT_EQ(object.ResponseCount(), c.serviceId < 0 ? 0 : 1);
    EXPECT_EQ(object.ResponseParams(0) != nullptr, c.data.has_value());
    if (c.data) {
      EXPECT_EQ(ValuesOf(object.ResponseParams(0)), *c.data);
    }
    EXPECT_EQ(memo.Lines(), c.lines) << ::testing::PrintToString(c.frame);
  }
}

TEST_F(Kwp2000ProtocolTest, KeyBytesChooseHeaderAndLengthModes) {
  struct Case {
    uint8_t autoHeader;
    int32_t headerMode;
    int32_t lengthMode;
    uint8_t keyByte1;
    uint8_t keyByte2;
    int32_t newHeaderMode;
    int32_t newLengthMode;
  };
  const Case cases[] = {
      {0, 0, 0, 0xEF, 0x8F, 0, 3}, {1, 0, 0, 0xEF, 0x8F, 0, 3}, {1, 0, 0, 0xEB, 0x8F, 2, 3},
      {1, 2, 0, 0xE7, 0x8F, 0, 3}, {1, 2, 0, 0xE3, 0x8F, 0, 3}, {1, 1, 0, 0xEB, 0x8F, 3, 3},
      {0, 0, 0, 0xEB, 0x8F, 0, 3}, {0, 0, 2, 0xEF, 0x8F, 0, 2}, {0, 0, 0, 0xE1, 0x8F, 0, 2},
      {0, 0, 0, 0xE2, 0x8F, 0, 1}, {0, 0, 0, 0xE0, 0x8F, 0, 0}, {1, 0, 0, 0xEB, 0x8E, 0, 0},
  };
  for (const Case& c : cases) {
    TKwp2000Protocol fresh(worker.get(), &memo);
    fresh.SetAutoHeader(c.autoHeader);
    fresh.SetHeaderMode(c.headerMode);
    fresh.SetLengthMode(c.lengthMode);
    worker->KeyBytes().Clear();
    TSequenceObject object(skStartCommunication);
    Process(fresh, object, Framed({0xC1, c.keyByte1, c.keyByte2}));
    EXPECT_EQ(ValuesOf(&worker->KeyBytes()), (Values{c.keyByte1, c.keyByte2}));
    EXPECT_EQ(fresh.HeaderMode(), c.newHeaderMode) << std::hex << int(c.keyByte1);
    EXPECT_EQ(fresh.LengthMode(), c.newLengthMode) << std::hex << int(c.keyByte1);
  }
}

TEST_F(Kwp2000ProtocolTest, KeyBytesAreTakenOnlyOnce) {
  TSequenceObject object(skStartCommunication);
  Process(object, {0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3});
  Process(object, {0x83, 0xF1, 0x10, 0xC1, 0x6B, 0x8F, 0x3F});
  EXPECT_EQ(ValuesOf(&worker->KeyBytes()), (Values{0xEF, 0x8F}));
  EXPECT_EQ(object.ResponseCount(), 2);
  Process(object, {0x82, 0xF1, 0x10, 0xC1, 0xEF, 0x55});  // one key byte only
  EXPECT_EQ(worker->KeyBytes().Count(), 2);
}

TEST_F(Kwp2000ProtocolTest, TimingAnswerSetsNewTiming) {
  struct Case {
    Values data;  // after the service id 0xC3
    int32_t p3Max;
  };
  const Case cases[] = {
      {{0x02, 0, 2, 0, 4, 0}, 1000}, {{0x00, 0, 2, 0, 4, 0}, 5000}, {{0x02, 0, 2, 0, 4}, 5000}};
  for (const Case& c : cases) {
    TKwp2000Protocol fresh(worker.get(), &memo);
    TSequenceObject object(skExecuteSequence);
    Values payload{0xC3};
    payload.insert(payload.end(), c.data.begin(), c.data.end());
    Process(fresh, object, Framed(payload));
    EXPECT_TRUE(memo.Lines().empty());
    EXPECT_EQ(fresh.MaxEcu2TesterTime(), c.p3Max);
    EXPECT_EQ(worker->MaxEcu2TesterTime(), c.p3Max);
  }
}

TEST_F(Kwp2000ProtocolTest, ResponsePendingWaitsForOneMoreAnswerWithALongerTimeOut) {
  TSequenceObject object(skExecuteSequence);
  object.AddRequest(std::make_unique<TSequence>(0x10, Array({0x81})));
  object.AddRequest(std::make_unique<TSequence>(0x3E, nullptr));
  Process(object, {0x03, 0x7F, 0x10, 0x78, 0x0A});
  ASSERT_EQ(object.RequestCount(), 3);
  EXPECT_TRUE(object.HasRequest(0));
  EXPECT_FALSE(object.HasRequest(1));
  EXPECT_EQ(object.RequestServiceId(2), 0x3E);
  EXPECT_EQ(protocol.MaxTester2EcuTime(), 10000);
  EXPECT_EQ(protocol.FirstByteTimeout(), 10250);
  // It stays until a timing answer brings new values.
  Process(object, {0x01, 0x7E, 0x7F}, 1);
  EXPECT_EQ(protocol.MaxTester2EcuTime(), 10000);
  Process(object, Framed({0xC3, 0x02, 50, 0xF1, 110, 20, 10}), 2);
  EXPECT_EQ(protocol.MaxTester2EcuTime(), 6400);
}

TEST_F(Kwp2000ProtocolTest, BusyAnswersPutTheRequestInAgain) {
  struct Case {
    int code;
    bool realRequest;  // a request stands at or before the index
    int requests;      // request count afterwards
    int64_t pauseMs;
  };
  const Case cases[] = {
      {0x21, true, 3, 1000}, {0x21, false, 1, 1000}, {0x23, true, 3, 1500}, {0x22, true, 2, 0}};
  for (const Case& c : cases) {
    TSequenceObject object(skExecuteSequence);
    if (c.realRequest) object.AddRequest(std::make_unique<TSequence>(0x10, Array({0x81, 0x14})));
    object.AddRequest(nullptr);  // the receive-only step of a pending answer
    const int64_t before = plat::QueryCounter();
    Process(object, Framed({0x7F, 0x10, static_cast<int16_t>(c.code)}), object.RequestCount() - 1);
    const int64_t pausedMs = plat::CountsToMs(plat::QueryCounter() - before);
    EXPECT_GE(pausedMs, c.pauseMs) << std::hex << c.code;
    EXPECT_LT(pausedMs, c.pauseMs + 500);
    ASSERT_EQ(object.RequestCount(), c.requests) << std::hex << c.code;
    if (c.requests == 3) {
      EXPECT_EQ(object.RequestServiceId(2), 0x10);
      EXPECT_EQ(ValuesOf(object.RequestParams(2)), (Values{0x81, 0x14}));
      EXPECT_NE(object.GetRequest(2), object.GetRequest(0));
    }
  }
}

TEST_F(Kwp2000ProtocolTest, ARequestTooLongForTheLengthByteFailsWithoutBeingSent) {
  auto list = std::make_unique<TSequenceList>();
  list->Add(std::make_unique<TSequence>(0x31, Array(Values(255, 0x01))));
  TSequenceObject object(std::move(list), skExecuteSequence);
  EXPECT_FALSE(protocol.SeqTester(&object));
  EXPECT_EQ(object.ResponseCount(), 0);
  EXPECT_EQ(ByteLog().find("send:"), std::string::npos);
  EXPECT_EQ(ByteLog().find("rcvd:"), std::string::npos) << "nothing sent, nothing awaited";
}

TEST_F(Kwp2000ProtocolTest, IdleTimeoutQueuesTesterPresent) {
  protocol.IdleTimeout();
  ASSERT_EQ(requests.Count(), 1);
  std::unique_ptr<TSequenceObject> keepAlive(requests.PopFirst());
  EXPECT_EQ(keepAlive->GetKind(), skExecuteSequence);
  EXPECT_EQ(keepAlive->RequestCount(), 1);
  EXPECT_EQ(keepAlive->RequestServiceId(0), 0x3E);
  EXPECT_EQ(keepAlive->RequestParams(0), nullptr);
}

}  // namespace
