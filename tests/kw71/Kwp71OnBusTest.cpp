// The KWP71/KWP81 block protocol run by the worker against the simulated KW71/KW81 ECU on the
// K-line bus: the start, the identification chain, every request the window sends, the
// keep-alive and the stop, read back from the bus trace and the byte log; and the ECU's faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "kw71/Kwp71Protocol2.h"
#include "sim/Kw71Ecu.h"
#include "tests/engine/WorkerTestSupport.h"
#include "tests/support/RequestSteps.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::Kw71Fault;
using sim::LineEvent;
using sim::LineEventKind;

// Timing tests read the trace; the machine may be loaded.
constexpr double kToleranceMs = 30.0;

double Ms(int64_t counts) {
  return static_cast<double>(counts) / 1e6;
}

// One block on the wire without the complements that answered its bytes.
struct WireBlock {
  bool fromEcu = false;
  std::vector<LineEvent> bytes;

  uint8_t Title(bool kwp81) const { return static_cast<uint8_t>(bytes[kwp81 ? 1 : 2].value); }
  Bytes Data(bool kwp81) const {
    Bytes data;
    for (size_t i = kwp81 ? 2 : 3; i + 1 < bytes.size(); ++i)
      data.push_back(static_cast<uint8_t>(bytes[i].value));
    return data;
  }
};

// What a block should be: sender, title, data.
struct Expected {
  bool fromEcu;
  uint8_t title;
  Bytes data;
};

class Kwp71OnBus : public WorkerFixture {
 protected:
  // Sets up the connection as the window does, with the ECU model on the bus, and starts it.
  bool Connect(uint8_t subType, const sim::Kw71EcuConfig& ecu = {},
               const Kw71Fault& startFault = {}) {
    kwp81 = subType == TKwp71Protocol::kSubTypeKwp81;
    sim::Kw71EcuConfig config = ecu;
    config.kwp81 = kwp81;
    auto model = std::make_unique<sim::Kw71Ecu>(config);
    model->Model().Inject(startFault);
    simulation.Bus().SetModel(std::move(model));
    worker = new TIso9141Thread(&memo, &requests, &responses, logDirectory);
    logFileName = worker->LogFileName();
    worker->OpenPort(kPortName, false);
    kwp = std::make_unique<TKwp71Protocol>(worker, &memo);
    worker->SetProtocol(kwp.get(), 1);
    kwp->SetSubType(subType);
    kwp->SetInitParams(5, 1500, 1000, 30);
    kwp->SetTimings({{kMaxEcu2TesterTime, 400}, {kMaxEcuInterByteTime, 150}});
    worker->SetBaudRate(ecu.baudRate);
    worker->SetOnThreadFinished([this](TIso9141Thread*) { ++finishedCalls; });
    const bool started = worker->StartCommunication(0x10, keyBytes);
    DeleteResponses();  // the start object itself carries nothing
    return started;
  }

  // The next result whose first request has `title` (-1: receive-only); others are dropped.
  std::unique_ptr<TSequenceObject> Await(int title, uint32_t timeoutMs = 5000) {
    std::unique_ptr<TSequenceObject> result;
    Serve(
        [&] {
          while (!result && responses.Count() > 0) {
            std::unique_ptr<TSequenceObject> object(responses.PopFirst());
            if (object->RequestServiceId(0) == title) result = std::move(object);
          }
          return result != nullptr || Freed();
        },
        timeoutMs);
    return result;
  }
  std::unique_ptr<TSequenceObject> Run(std::unique_ptr<TSequenceList> list) {
    const int title = list->Items(0)->FServiceId;
    EXPECT_TRUE(worker->ExecuteSequence(std::move(list)));
    return Await(title);
  }

  void WithEcu(const std::function<void(sim::Kw71Ecu&)>& call) {
    ASSERT_TRUE(sim::WithModel(simulation.Bus(), call));
  }

  std::vector<LineEvent> Events(std::initializer_list<LineEventKind> kinds) {
    simulation.Bus().Drain();
    std::vector<LineEvent> events;
    for (const LineEvent& event : simulation.Bus().Trace()) {
      if (std::find(kinds.begin(), kinds.end(), event.kind) != kinds.end()) events.push_back(event);
    }
    return events;
  }

  // The blocks after the complement of key byte 2. In KWP71 every byte but the end byte must be
  // answered by the other side's complement before anything else happens on the line.
  std::vector<WireBlock> Conversation() {
    const std::vector<LineEvent> bytes =
        Events({LineEventKind::TesterByte, LineEventKind::EcuByte});
    auto at = std::find_if(bytes.begin(), bytes.end(),
                           [](const LineEvent& e) { return e.kind == LineEventKind::TesterByte; });
    std::vector<WireBlock> blocks;
    if (at == bytes.end()) return blocks;
    ++at;
    while (at != bytes.end()) {
      WireBlock block;
      block.fromEcu = at->kind == LineEventKind::EcuByte;
      const int count = at->value + 1;
      for (int k = 0; k < count; ++k) {
        if (at == bytes.end() || (at->kind == LineEventKind::EcuByte) != block.fromEcu) {
          ADD_FAILURE() << "block " << blocks.size() << " breaks off at byte " << k;
          return blocks;
        }
        block.bytes.push_back(*at++);
        if (kwp81 || k + 1 == count) continue;
        if (at == bytes.end() || at->value != 0xFF - block.bytes.back().value) {
          ADD_FAILURE() << "block " << blocks.size() << " byte " << k << " not answered";
          return blocks;
        }
        ++at;
      }
      blocks.push_back(std::move(block));
    }
    return blocks;
  }

  // The golden block: framing, counter, title, data and end byte or sum.
  Bytes Framed(int counter, const Expected& expected) const {
    Bytes block{static_cast<uint8_t>(expected.data.size() + (kwp81 ? 2 : 3))};
    if (!kwp81) block.push_back(static_cast<uint8_t>(counter));
    block.push_back(expected.title);
    block.insert(block.end(), expected.data.begin(), expected.data.end());
    uint8_t sum = 0;
    for (uint8_t value : block)
      sum = static_cast<uint8_t>(sum + value);
    block.push_back(kwp81 ? sum : 0x03);
    return block;
  }

  // Lines of the byte log with the time stamps replaced by "T".
  static std::vector<std::string> Sent(uint8_t value) {
    return {"T send:  " + bytelog::HexByte(value), "T echo:  " + bytelog::HexByte(value) + " OK"};
  }
  static std::string Received(const Bytes& bytes) {
    std::string line = "T  rcvd:  ";
    for (uint8_t value : bytes)
      line += " " + bytelog::HexByte(value);
    return line;
  }
  // True when `excerpt` stands in the byte log as consecutive lines.
  bool LogHas(const std::vector<std::string>& excerpt) const {
    const std::vector<std::string> lines = ByteLogLines();
    return std::search(lines.begin(), lines.end(), excerpt.begin(), excerpt.end()) != lines.end();
  }

  bool kwp81 = false;
  std::unique_ptr<TKwp71Protocol> kwp;
  TSmallIntArray keyBytes;
};

// --- a whole session in each framing ---------------------------------------------------------

struct SessionCase {
  const char* name;
  uint8_t subType;
};

class Kwp71Session : public Kwp71OnBus, public ::testing::WithParamInterface<SessionCase> {};

TEST_P(Kwp71Session, StartsServesEveryRequestKeepsAliveAndStops) {
  const sim::Kw71EcuConfig ecu;
  ASSERT_TRUE(Connect(GetParam().subType, ecu));
  const int64_t created = worker->StartCount();
  EXPECT_EQ(keyBytes.Values(), (Values{0x01, 0x8A}));

  // The identification chain after the start: one receive-only step, then the acknowledges.
  const auto identification = Await(-1);
  ASSERT_TRUE(identification);
  ASSERT_EQ(identification->RequestCount(), 4);
  ASSERT_EQ(identification->ResponseCount(), 4);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(identification->RequestServiceId(i + 1), 0x09);
    EXPECT_EQ(identification->ResponseServiceId(i), 0xF6);
    const Bytes& part = ecu.identification[static_cast<size_t>(i)];
    EXPECT_EQ(ValuesOf(identification->ResponseParams(i)), Values(part.begin(), part.end()));
  }
  EXPECT_EQ(identification->ResponseServiceId(3), 0x09);

  // Every request of the window in one list; chained answers are fetched in order.
  const auto result = Run(
      List(Step(0x01, {0x02, 0x12, 0x34}), Step(0x08, {0x03}), Step(0x07), Step(0x05), Step(0x07)));
  ASSERT_TRUE(result);
  const int requests[] = {0x01, 0x08, 0x07, 0x09, 0x09, 0x05, 0x07, 0x09};
  const int answers[] = {0xFE, 0xFB, 0xFC, 0xFC, 0x09, 0x09, 0xFC, 0x09};
  ASSERT_EQ(result->RequestCount(), 8);
  ASSERT_EQ(result->ResponseCount(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(result->RequestServiceId(i), requests[i]) << i;
    EXPECT_EQ(result->ResponseServiceId(i), answers[i]) << i;
  }
  EXPECT_EQ(ValuesOf(result->ResponseParams(6)), (Values{0x00}));  // cleared

  ServeFor(700);  // keep-alives
  DeleteResponses();
  ASSERT_TRUE(worker->StopCommunication());
  DeleteResponses();
  ASSERT_TRUE(WaitFreed());
  WithEcu([](sim::Kw71Ecu& model) {
    EXPECT_EQ(model.Model().CurrentPhase(), sim::Kw71EcuModel::Phase::Asleep);
  });

  // The 5-baud address 0x10: low for the start bit and bits 0 to 3, high for bit 4, low for
  // bits 5 to 7, then the stop bit.
  const std::vector<LineEvent> edges = Events({LineEventKind::BreakOn, LineEventKind::BreakOff});
  const double edgeMs[] = {0, 1000, 1200, 1800};
  ASSERT_EQ(edges.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(edges[i].kind, i % 2 ? LineEventKind::BreakOff : LineEventKind::BreakOn);
    EXPECT_NEAR(Ms(edges[i].time - edges[0].time), edgeMs[i], 10.0) << i;
  }
  // Sync, key bytes, then the complement of key byte 2 once the line has been quiet for the
  // longest ECU inter-byte time and the pause has passed.
  const std::vector<LineEvent> bytes = Events({LineEventKind::TesterByte, LineEventKind::EcuByte});
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[0].value, 0x55);
  EXPECT_EQ(bytes[3].kind, LineEventKind::TesterByte);
  EXPECT_EQ(bytes[3].value, 0x75);
  EXPECT_GE(Ms(bytes[3].time - bytes[2].End()), 150 + 30);
  EXPECT_LT(Ms(bytes[3].time - bytes[2].End()), 150 + 30 + kToleranceMs);

  // The blocks on the wire, golden; the values read are the ECU's at the end of the request.
  const Bytes& id = ecu.identification[0];
  const auto& faults = ecu.faultCodes;
  Bytes twoFaults = faults[0];
  twoFaults.insert(twoFaults.end(), faults[1].begin(), faults[1].end());
  std::vector<Expected> golden = {{true, 0xF6, id},
                                  {false, 0x09, {}},
                                  {true, 0xF6, ecu.identification[1]},
                                  {false, 0x09, {}},
                                  {true, 0xF6, ecu.identification[2]},
                                  {false, 0x09, {}},
                                  {true, 0x09, {}},
                                  {false, 0x01, {0x02, 0x12, 0x34}},
                                  {true, 0xFE, {}},
                                  {false, 0x08, {0x03}},
                                  {true, 0xFB, {}},
                                  {false, 0x07, {}},
                                  {true, 0xFC, twoFaults},
                                  {false, 0x09, {}},
                                  {true, 0xFC, faults[2]},
                                  {false, 0x09, {}},
                                  {true, 0x09, {}},
                                  {false, 0x05, {}},
                                  {true, 0x09, {}},
                                  {false, 0x07, {}},
                                  {true, 0xFC, {0x00}},
                                  {false, 0x09, {}},
                                  {true, 0x09, {}}};
  const std::vector<WireBlock> blocks = Conversation();
  ASSERT_GE(blocks.size(), golden.size() + 3);  // at least one keep-alive, then the stop
  WithEcu([&](sim::Kw71Ecu& model) {
    const int64_t ramRead = blocks[7].bytes.back().End();
    golden[8].data = {model.Model().RamByte(0x1234, ramRead),
                      model.Model().RamByte(0x1235, ramRead)};
    const uint16_t adc = model.Model().AdcValue(0x03, blocks[9].bytes.back().End());
    golden[10].data = {static_cast<uint8_t>(adc >> 8), static_cast<uint8_t>(adc)};
  });
  // Keep-alives every idle period, each answered with an acknowledge; the stop block is last.
  const size_t keepAlives = (blocks.size() - golden.size() - 1) / 2;
  for (size_t i = 0; i < keepAlives; ++i) {
    golden.push_back({false, 0x09, {}});
    golden.push_back({true, 0x09, {}});
  }
  golden.push_back({false, 0x06, {}});
  ASSERT_EQ(blocks.size(), golden.size());
  for (size_t i = 0; i < blocks.size(); ++i) {
    Bytes wire;
    for (const LineEvent& event : blocks[i].bytes)
      wire.push_back(static_cast<uint8_t>(event.value));
    EXPECT_EQ(blocks[i].fromEcu, golden[i].fromEcu) << i;
    EXPECT_EQ(wire, Framed(static_cast<int>(i + 1), golden[i])) << i;
  }
  // The answers the window gets are the blocks on the wire, each timed by its length byte.
  for (int i = 0; i < 8; ++i) {
    const WireBlock& answer = blocks[8 + 2 * static_cast<size_t>(i)];
    const Bytes data = answer.Data(kwp81);
    EXPECT_EQ(ValuesOf(result->ResponseParams(i)), Values(data.begin(), data.end())) << i;
    EXPECT_NEAR(result->ResponseTime(i), Ms(answer.bytes.front().End() - created), kToleranceMs)
        << i;
  }
  const size_t firstKeepAlive = blocks.size() - 1 - 2 * keepAlives;
  for (size_t i = firstKeepAlive; i + 1 < blocks.size(); i += 2) {
    const double idleMs = Ms(blocks[i].bytes.front().time - blocks[i - 1].bytes.back().End());
    EXPECT_GE(idleMs, 300) << i;
    EXPECT_LT(idleMs, 300 + kToleranceMs) << i;
  }
  // KWP81 requests keep the least ECU-to-tester time and the least gap between their bytes.
  for (size_t i = 1; i < blocks.size(); ++i) {
    if (!kwp81 || blocks[i].fromEcu) continue;
    const std::vector<LineEvent>& request = blocks[i].bytes;
    EXPECT_GE(Ms(request.front().time - blocks[i - 1].bytes.back().End()), 2.0) << i;
    for (size_t k = 1; k < request.size(); ++k)
      EXPECT_GE(Ms(request[k].time - request[k - 1].End()), 2.0) << i;
  }

  // The byte log of the handshake, of the first block and of the stop.
  const Bytes& first = Framed(1, golden[0]);
  std::vector<std::string> start{"T 5 baud init send 10", Received({0x55}), Received({0x01, 0x8A}),
                                 Sent(0x75)[0],           Sent(0x75)[1],    Received({first[0]})};
  if (kwp81) start.push_back(Received(Bytes(first.begin() + 1, first.end())));
  std::vector<std::string> stop = Sent(0x06);
  if (!kwp81) {
    stop.push_back(Received({0xF9}));
    stop.insert(stop.end(), {Sent(0x03)[0], Sent(0x03)[1]});
  } else {
    const Bytes stopBlock = Framed(0, golden.back());
    stop.insert(stop.end(), {Sent(stopBlock[2])[0], Sent(stopBlock[2])[1]});
  }
  stop.push_back("T COM port closed");
  EXPECT_TRUE(LogHas(start));
  EXPECT_TRUE(LogHas(stop));
}

INSTANTIATE_TEST_SUITE_P(Framings, Kwp71Session,
                         ::testing::Values(SessionCase{"Auto", TKwp71Protocol::kSubTypeAuto},
                                           SessionCase{"Kwp71", TKwp71Protocol::kSubTypeKwp71},
                                           SessionCase{"Kwp81", TKwp71Protocol::kSubTypeKwp81}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Kwp71OnBus, TheSimulatedInterfaceOffersTheProgramItsEcu) {
  ::setenv("QUOBRIX_FTDI", "sim", 1);
  for (const char* framing : {"kw81", "kw71"}) {
    ::setenv("QUOBRIX_SIM_ECU", framing, 1);
    ASSERT_TRUE(sim::SelectFtdiFromEnvironment(sim::EcuKind::Kw71));
    WithEcu([&](sim::Kw71Ecu& ecu) {
      EXPECT_EQ(ecu.Model().Config().kwp81, std::string(framing) == "kw81");
    });
  }
  ::unsetenv("QUOBRIX_SIM_ECU");
  ::unsetenv("QUOBRIX_FTDI");
}

// --- the ECU's faults ------------------------------------------------------------------------

enum class Outcome { StartFails, StepFails, Accepted };

struct FaultCase {
  const char* name;
  uint8_t subType;
  Kw71Fault fault;
  bool duringStart;
  Outcome outcome;
  int adcBytes;  // data bytes of an accepted ADC answer
};

constexpr uint8_t k71 = TKwp71Protocol::kSubTypeKwp71;
constexpr uint8_t k81 = TKwp71Protocol::kSubTypeKwp81;
using K = Kw71Fault::Kind;

class Kwp71Faults : public Kwp71OnBus, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Kwp71Faults, HaveTheirEffect) {
  const FaultCase& c = GetParam();
  if (c.duringStart) {
    EXPECT_FALSE(Connect(c.subType, {}, c.fault));
    EXPECT_EQ(keyBytes.Count(), 0);
    EXPECT_TRUE(Events({LineEventKind::TesterByte}).empty());
    ASSERT_TRUE(WaitFreed());
    EXPECT_EQ(finishedCalls, 1);
    // The pause before the complement passes even though the sync byte never came.
    const std::string log = ByteLogText();
    const std::regex failed(
        "\\n(-?[0-9]+)  rcvd:  nothing/error\\nStartTester: error "
        "(-?[0-9]+) COM port closed");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(log, match, failed)) << log;
    EXPECT_GE(std::stoi(match[2]) - std::stoi(match[1]), 30);
    return;
  }
  ASSERT_TRUE(Connect(c.subType));
  ASSERT_TRUE(Await(-1));
  WithEcu([&](sim::Kw71Ecu& ecu) { ecu.Model().Inject(c.fault); });
  const auto result = Run(List(Step(0x08, {0x03})));
  if (c.outcome == Outcome::Accepted) {
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ResponseServiceId(0), 0xFB);
    EXPECT_EQ(result->ResponseParamCount(0), c.adcBytes);
    // The ECU's counter is taken as it comes.
    if (c.fault.kind == K::WrongCounter) {
      EXPECT_GE(kwp->BlockCounter(), 0x40);
    }
    return;
  }
  EXPECT_FALSE(result);
  ASSERT_TRUE(WaitFreed());
  EXPECT_EQ(finishedCalls, 1);
  EXPECT_NE(ByteLogText().find("SeqTester: error "), std::string::npos);
  // The ECU ends its session once the tester has gone quiet.
  Serve(
      [this] {
        bool asleep = false;
        sim::WithModel<sim::Kw71Ecu>(simulation.Bus(), [&](sim::Kw71Ecu& ecu) {
          asleep = ecu.Model().CurrentPhase() == sim::Kw71EcuModel::Phase::Asleep;
        });
        return asleep;
      },
      2000);
  WithEcu([](sim::Kw71Ecu& ecu) {
    EXPECT_EQ(ecu.Model().CurrentPhase(), sim::Kw71EcuModel::Phase::Asleep);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Kwp71Faults,
    ::testing::Values(
        FaultCase{"SilentWakeUp", k71, {K::Silence}, true, Outcome::StartFails, 0},
        FaultCase{"Kwp71Silence", k71, {K::Silence}, false, Outcome::StepFails, 0},
        FaultCase{"WrongComplement", k71, {K::WrongComplement, 1, 2}, false, Outcome::StepFails, 0},
        FaultCase{
            "MissingComplement", k71, {K::MissingComplement, 1, 0}, false, Outcome::StepFails, 0},
        FaultCase{
            "Kwp71ShortBlock", k71, {K::ShortBlock, 1, 0, 0, 1}, false, Outcome::StepFails, 0},
        FaultCase{"Kwp71LateByte", k71, {K::LateByte, 1, 3, 1100}, false, Outcome::StepFails, 0},
        FaultCase{
            "Kwp71LateByteInTime", k71, {K::LateByte, 1, 3, 700}, false, Outcome::Accepted, 2},
        FaultCase{"WrongCounter", k71, {K::WrongCounter}, false, Outcome::Accepted, 2},
        FaultCase{"Kwp81Silence", k81, {K::Silence}, false, Outcome::StepFails, 0},
        FaultCase{"Kwp81LateLength", k81, {K::LateByte, 1, 0, 700}, false, Outcome::StepFails, 0},
        FaultCase{"BadSum", k81, {K::BadSum}, false, Outcome::Accepted, 2},
        FaultCase{
            "Kwp81ShortBlock", k81, {K::ShortBlock, 1, 0, 0, 2}, false, Outcome::Accepted, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
