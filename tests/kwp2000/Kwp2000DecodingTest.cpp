#include "kwp2000/Kwp2000Decoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Iso9141Thread2.h"
#include "engine/Threadlist.h"
#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "tester/StringObjectList.h"
#include "tests/support/FakeDisplayTargets.h"
#include "tests/support/RecordingLog.h"

namespace {

using namespace testing_support;

// Where a request step sends its answer's data.
enum class To { Nowhere, Values, Dtc, TagOnly };

// A step of a test object. A request with the id kReceiveOnly is the null step that the
// protocol inserts after a response-pending answer.
constexpr int kReceiveOnly = -1;
struct Step {
  int id;
  std::vector<int16_t> bytes{};
  bool noArray = false;
  To to = To::Nowhere;
};

Step NoArray(int id) {
  return {id, {}, true};
}
Step Read(std::vector<int16_t> localIds, To to = To::Values) {
  return {0x21, std::move(localIds), false, to};
}

const Step kTesterPresent{0x3E};
const Step kLocalAnswer{0x61, {0x01, 10, 11, 12}};

// Three one-byte values, and records of a code byte and a status byte after a count byte.
const char* const kValues = "RDBLI_2000, 0x21, 0x01, Engine, 3, A, 1, 0x01, B, 1, 0x01, C, 1, 0x01";
const char* const kRecords =
    "RDTC, 0x18, 0x00, Codes, \"#list 1 2\", 2, Code, 1, 0x01, Status, 1, 0x01";

// The window's side: the log, the values and trouble-code destinations with the two group
// list boxes, and the KWP2000 decoding on them.
class Kwp2000Decoding : public ::testing::Test {
 protected:
  Kwp2000Decoding() {
    values.AddDataStream(std::make_unique<std::ostream>(&valueLines));
    values.AddDescription(valueDescription);
    dtc.AddStringsTarget(box14);
    dtc.AddStringsTarget(box17);
    dtc.AddDescription(recordDescription);
    groups14.AddObject("All groups", 0xFF00);
    groups17.AddObject("Powertrain", 0x0000);
    groups17.AddObject("Chassis", 0x4000);
  }

  std::unique_ptr<TSequence> MakeStep(const Step& s) {
    auto step =
        std::make_unique<TSequence>(s.id, s.noArray ? nullptr : std::make_unique<TSmallIntArray>());
    for (int16_t b : s.bytes)
      step->FParams->Add(b);
    if (s.to != To::Nowhere) step->FName = "DataWithDestination";
    if (s.to == To::Values) step->FDestination = &values;
    if (s.to == To::Dtc) step->FDestination = &dtc;
    step->FDestinationIndex = 0;
    return step;
  }

  // Response i arrives at 100 * (i + 1) ms.
  std::unique_ptr<TSequenceObject> Object(const std::vector<Step>& requests,
                                          const std::vector<Step>& responses,
                                          const std::string& name = "") {
    auto object = std::make_unique<TSequenceObject>(skExecuteSequence);
    for (const Step& s : requests)
      object->AddRequest(s.id == kReceiveOnly ? nullptr : MakeStep(s));
    for (const Step& s : responses) {
      object->AddResponse(MakeStep(s));
      object->SetResponseTime(object->ResponseCount() - 1, 100 * object->ResponseCount());
    }
    if (object->HasRequestList()) object->Requests()->FName = name;
    return object;
  }

  TRecordingLog log;
  std::stringbuf valueLines;  // "time; A; B; C" per routed answer
  TDataDescription valueDescription{kValues, nullptr};
  TDataDescription recordDescription{kRecords, nullptr};
  TDataDestination values;
  FakeListBox box14, box17;
  TStringObjectList groups14, groups17;
  TDataDestination dtc;
  TKwp2000DecodingRules rules{&dtc, {{&box14, &groups14}, {&box17, &groups17}}};
  TResultDecoder decoder{rules, log};
};

struct Golden {
  std::string name;
  std::vector<Step> requests;
  std::vector<Step> responses;
  Texts lines;
  std::string listName = "";
};

// An answer to a request that writes no line of its own.
Golden Answer(std::string name, Step response, Texts lines) {
  return {std::move(name), {kTesterPresent}, {std::move(response)}, std::move(lines)};
}

// A request that got no answer.
Golden Request(std::string name, Step request, Texts lines) {
  lines.push_back("no data received");
  return {std::move(name), {std::move(request)}, {}, std::move(lines)};
}

TEST_F(Kwp2000Decoding, ActivityLogLines) {
  const std::string eAcute = "\xC3\xA9";
  const Golden cases[] = {
      Request("set session", {0x10, {0x81}}, {"Send: Set Session Mode : 81"}),
      Request("clear DTCs", {0x14, {0xFF, 0x00}}, {"Send: Clear DTC's, group = FF00"}),
      Request("clear DTCs, one byte short", {0x14, {0xFF}}, {}),
      Request("DTCs by status", {0x18, {0x02, 0xFF, 0x00}},
              {"Send: Read DTC by Status : 02, Group of DTC's : FF00"}),
      Request("identification", {0x1A, {0x9B}}, {"Send: request ID, subfunction : 9B"}),
      Request("local id", Read({0x0A}), {"Send: Read data by local ID, ID = 0A"}),
      Request("local id without array", NoArray(0x21), {}),
      Request("common id", {0x22, {0x10, 0x0A}}, {"Send: Read data by common ID, ID = 100A"}),
      Request("memory", {0x23, {0x12, 0x34, 0x56, 0x04}}, {"Send: Read memory : 12.3456 04"}),
      Request("memory without size", {0x23, {0x12, 0x34, 0x56}}, {}),
      Request("start", NoArray(0x81), {"Send: Start communication"}),
      Request("stop", {0x82}, {"Send: Stop communication"}),
      Request("timing request has no line", {0x83, {0x02}}, {}),
      {"keep-alive leaves no line", {kTesterPresent}, {{0x7E}}, {}},
      {"frame FF 76 75 leaves no line", {kTesterPresent}, {{0x76}}, {}},

      Answer("session mode", {0x50, {0x81}}, {"Session Mode set to : 81"}),
      Answer("session mode and baud rate", {0x50, {0x85, 0x14}},
             {"Session Mode set to : 85 baudrate code: 14"}),
      Answer("session mode, no byte", {0x50}, {"Error in Mode ?? not 1,2 byte"}),
      Answer("session mode, three bytes", {0x50, {1, 2, 3}}, {"Error in Mode ?? not 1,2 byte"}),
      Answer("DTCs cleared", {0x54, {0xFF, 0x00}}, {"DTC's cleared for group : FF00"}),
      Answer("DTCs cleared, short", {0x54, {0xFF}}, {"DTC's cleared for group : no group"}),
      Answer("first DTC", {0x57, {2, 0x12, 0x34, 0x08, 0xAA, 0x0B}},
             {"Number of DTC(s) : 2", "Assume/Show 1st DTC:", "DTC: 1234 Status : 0x08",
              "data: 0xAA 0x0B "}),
      Answer("first DTC, short", {0x57, {2, 0x12}},
             {"Number of DTC(s) : 2", "Assume/Show 1st DTC:", "More data expected "}),
      Answer("first DTC, no byte", {0x57}, {}),
      Answer("DTC list", {0x58, {2, 0x12, 0x34, 0x08, 0xC1, 0x00, 0xE0}},
             {"Number of DTC's : 2", "DTC: 1234 Status : 0x08", "DTC: C100 Status : 0xE0"}),
      Answer("DTC list, two records missing", {0x58, {3, 0x12, 0x34, 0x08}},
             {"Number of DTC's : 3", "DTC: 1234 Status : 0x08", "More data expected ",
              "More data expected "}),
      Answer("DTC list, no array", NoArray(0x58), {}),
      Answer("identification", {0x5A, {0x9B, 'A', 'B', 0x00, 0xE9}},
             {"ID ascii : AB" + eAcute, "ID bytes : 41 42 00 E9 "}),
      Answer("identification, option only", {0x5A, {0x9B}}, {"ID ascii : ", "ID bytes : "}),
      Answer("identification, no array", NoArray(0x5A), {"ID ascii : empty", "ID bytes : "}),
      Answer("local id", {0x61, {0x01, 0x0A, 0xFF}}, {"Local ID = 01, Rcvd data : 0A FF "}),
      Answer("local id, no data", {0x61, {0x01}}, {"Local ID = 01, Rcvd data : no data"}),
      Answer("local id, empty", {0x61}, {"Local ID = , Rcvd data : no data"}),
      Answer("local id, no array", NoArray(0x61), {"Local ID = empty"}),
      Answer("common id", {0x62, {0x12, 0x34, 0x56}}, {"Common ID = 1234, Rcvd data : 56 "}),
      Answer("common id, short", {0x62, {0x12}}, {"Common ID = , Rcvd data : no data"}),
      Answer("common id, no array", NoArray(0x62), {"Common ID = empty"}),
      Answer("memory", {0x63, {0x01, 0xFF}}, {"ReadMem : 01 FF "}),
      Answer("memory, empty", {0x63}, {"ReadMem : "}),
      Answer("memory, no array", NoArray(0x63), {"ReadMem : empty"}),
      Answer("io control", {0x70, {0x05, 0x03, 0x10, 0x20}},
             {"IO Ctrl by Local ID = 05, Ctrl Param : 03, Rcvd data : 10 20 "}),
      Answer("io control, short", {0x70, {0x05}},
             {"IO Ctrl by Local ID = 05, Ctrl Param : , Rcvd data : no data"}),
      Answer("io control, no array", NoArray(0x70), {"IO Ctrl by Local ID = empty"}),
      Answer("routine result", {0x73, {0x07}}, {"result ok, by local ID : 07"}),
      Answer("routine result, empty", {0x73}, {"result ok, by local ID : "}),
      Answer("start answer", {0xC1, {0xE9, 0x8F}}, {"Start communication rcvd, keybytes : E9 8F "}),
      Answer("start answer, no array", NoArray(0xC1),
             {"Start communication rcvd, keybytes : empty"}),
      Answer("stop answer", {0xC2}, {"Communication stopped"}),
      Answer("timing, current values", {0xC3, {0x02, 0x32, 0x14, 0x00, 0x14, 0x00}},
             {"Timing : Current values read", "P2min = 25 ms, 0x32", "P2max = 500 ms, 0x14",
              "P3min = 0 ms, 0x00", "P3max = 5000 ms, 0x14", "P4min = 0 ms, 0x00"}),
      Answer("timing, limits truncate", {0xC3, {0x00, 0x33, 0x01, 0x03, 0x02, 0x05}},
             {"Timing : Limits read", "P2min = 25 ms, 0x33", "P2max = 25 ms, 0x01",
              "P3min = 1 ms, 0x03", "P3max = 500 ms, 0x02", "P4min = 2 ms, 0x05"}),
      Answer("timing, limits without values", {0xC3, {0x00}}, {"Timing : Limits read"}),
      Answer("timing, current values short", {0xC3, {0x02, 1, 2, 3, 4}},
             {"Timing : Current values read"}),
      Answer("timing, defaults", {0xC3, {0x01, 1, 2, 3, 4, 5}},
             {"Timing : Parameters set to defaultvalues"}),
      Answer("timing, set", {0xC3, {0x03}}, {"Timing : Values set"}),
      Answer("timing, other option", {0xC3, {0x07}}, {"Timing : "}),
      Answer("timing, no byte", NoArray(0xC3), {"Timing : error in received data"}),
      Answer("unknown answer dumped", {0x67, {0x01, 0xAB}},
             {"New Data, ServiceID : 67", "01", "AB"}),
      Answer("unknown answer without array", NoArray(0x99), {"New Data, ServiceID : 99"}),

      Answer("negative", {0x7F, {0x21, 0x12}},
             {"Error in request : 21 type : 12, Subfunction Not Supported - Invalid Format"}),
      Answer("negative, upload type", {0x7F, {0x35, 0x51}},
             {"Error in request : 35 type : 51, Impoper Upload Type"}),
      Answer("negative, upload size", {0x7F, {0x35, 0x53}},
             {"Error in request : 35 type : 53, Can Not Upload Number of Bytes Requested"}),
      Answer("negative, block address", {0x7F, {0x36, 0x74}},
             {"Error in request : 36 type : 74, Illegal Address in Block Transfer"}),
      Answer("negative, unknown code", {0x7F, {0x21, 0x99}},
             {"Error in request : 21 type : 99, unknown error"}),
      Answer("negative, one byte", {0x7F, {0x21}}, {"Error in Error"}),
      Answer("negative, no array", NoArray(0x7F), {"Error in Error"}),

      {"two requests, one answer",
       {Read({0x01}), Read({0x02})},
       {{0x61, {0x01, 0x0A}}},
       {"Send: Read data by local ID, ID = 01", "Local ID = 01, Rcvd data : 0A ",
        "Send: Read data by local ID, ID = 02", "no data received"}},
      {"answer awaited after response pending",
       {Read({0x01}), {kReceiveOnly}},
       {{0x7F, {0x21, 0x78}}, {0x61, {0x01, 0x0A}}},
       {"Send: Read data by local ID, ID = 01",
        "Error in request : 21 type : 78, Request Correctly Received - Response Pending",
        "no data send", "Local ID = 01, Rcvd data : 0A "}},
      {"an answer beyond the requests",
       {},
       {{0xC1, {0xE9, 0x8F}}},
       {"no data send", "Start communication rcvd, keybytes : E9 8F "}},
      {"continuous reading logs only its negative answers",
       {Read({0x01}), Read({0x02})},
       {{0x61, {0x01, 0x0A}}, {0x7F, {0x21, 0x31}}},
       {"Error in request : 21 type : 31, Request Out Of Range"},
       "ContReadData"},
  };
  for (const Golden& c : cases) {
    SCOPED_TRACE(c.name);
    log.Clear();
    decoder.Decode(*Object(c.requests, c.responses, c.listName));
    EXPECT_EQ(log.Lines(), c.lines);
  }
}

TEST_F(Kwp2000Decoding, RoutingToDestinations) {
  struct Case {
    std::string name;
    std::vector<Step> requests;
    std::vector<Step> responses;
    std::string values;  // data lines of the values destination
    Texts dtcEntries;    // of box14; box17 holds its own groups before the same records
    std::string listName = "";
  };
  const Step pending{0x7F, {0x21, 0x78}};
  const Step outOfRange{0x7F, {0x21, 0x31}};
  const std::string tooShort = "Definition not correct, data received shorter than description";
  const Step dtcRead{0x18, {0x00, 0xFF, 0x00}, false, To::Dtc};
  const Step memoryRead{0x23, {}, false, To::Values};
  auto identify = [](int16_t option) { return Step{0x1A, {option}, false, To::Values}; };
  const Case cases[] = {
      {"local id dropped", {Read({0x01})}, {kLocalAnswer}, "100; 10; 11; 12\n", {}},
      {"common id dropped",
       {{0x22, {0x10, 0x0A}, false, To::Values}},
       {{0x62, {0x10, 0x0A, 5, 6, 7}}},
       "100; 5; 6; 7\n",
       {}},
      {"identification option dropped",
       {{0x1A, {0x9B}, false, To::Values}},
       {{0x5A, {0x9B, 65, 66, 67}}},
       "100; 65; 66; 67\n",
       {}},
      {"awaited identification of another option not routed",
       {identify(0x90), {kReceiveOnly}, identify(0x97)},
       {{0x7F, {0x1A, 0x78}}, {0x5A, {0x97, 65, 66, 67}}},
       "",
       {}},
      {"identifications one step behind: only the matching one routed",
       {identify(0x90), identify(0x97), identify(0x9B)},
       {{0x5A, {0x90, 1, 2, 3}}, {0x5A, {0x90, 4, 5, 6}}, {0x5A, {0x97, 7, 8, 9}}},
       "100; 1; 2; 3\n",
       {}},
      {"common id of another low byte not routed",
       {{0x22, {0x10, 0x0A}, false, To::Values}},
       {{0x62, {0x10, 0x0B, 5, 6, 7}}},
       "",
       {}},
      {"other answers whole", {memoryRead}, {{0x63, {1, 2, 3}}}, "100; 1; 2; 3\n", {}},
      {"empty answer routed",
       {memoryRead},
       {{0x63}},
       "100; " + tooShort + "; " + tooShort + "; " + tooShort + "\n",
       {}},
      {"answer without array not routed", {Read({0x01})}, {NoArray(0x61)}, "", {}},
      {"missing answer not routed", {Read({0x01})}, {}, "", {}},
      {"negative answer not routed", {Read({0x01})}, {{0x7F, {0x21, 0x12}}}, "", {}},
      {"untagged step not routed", {Read({0x01}, To::Nowhere)}, {kLocalAnswer}, "", {}},
      {"tag without destination", {Read({0x01}, To::TagOnly)}, {kLocalAnswer}, "", {}},
      {"continuous reading routed",
       {Read({0x01})},
       {kLocalAnswer},
       "100; 10; 11; 12\n",
       {},
       "ContReadData"},
      {"awaited answer routed through its request",
       {Read({0x01}), {kReceiveOnly}},
       {pending, kLocalAnswer},
       "200; 10; 11; 12\n",
       {}},
      {"pending twice",
       {Read({0x01}), {kReceiveOnly}, {kReceiveOnly}},
       {pending, pending, kLocalAnswer},
       "300; 10; 11; 12\n",
       {}},
      {"lagging answer not routed through an earlier request",
       {Read({0x01}), Read({0x02}), {kReceiveOnly}, Read({0x03}, To::Nowhere)},
       {pending, {0x61, {0x02, 20, 21, 22}}, {0x61, {0x03, 30, 31, 32}}},
       "200; 20; 21; 22\n",
       {}},
      {"answers of other requests not routed",
       {Read({0x01}), {kReceiveOnly}, Read({0x02})},
       {pending, {0x61, {0x02, 20, 21, 22}}, {0x63, {1, 2, 3}}},
       "",
       {}},
      {"no pending answer", {Read({0x01}), {kReceiveOnly}}, {outOfRange, kLocalAnswer}, "", {}},
      {"awaited answer of an untagged request not routed",
       {Read({0x01}), Read({0x02}, To::Nowhere), {kReceiveOnly}},
       {kLocalAnswer, pending, {0x61, {0x02, 20, 21, 22}}},
       "100; 10; 11; 12\n",
       {}},
      {"trouble codes refill the group lists",
       {dtcRead},
       {{0x58, {2, 0x11, 0x01, 0x22, 0x02}}},
       "",
       {"All groups", "17", "34"}},
      {"trouble codes read twice do not pile up",
       {dtcRead, dtcRead},
       {{0x58, {2, 0x11, 0x01, 0x22, 0x02}}, {0x58, {1, 0x33, 0x03}}},
       "",
       {"All groups", "51"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    valueLines.str("");
    box14.Clear();
    box17.Clear();
    decoder.Decode(*Object(c.requests, c.responses, c.listName));
    EXPECT_EQ(valueLines.str(), c.values);
    EXPECT_EQ(box14.AllTexts(), c.dtcEntries);
    Texts expected17;
    if (!c.dtcEntries.empty()) {
      expected17 = {"Powertrain", "Chassis"};
      expected17.insert(expected17.end(), c.dtcEntries.begin() + 1, c.dtcEntries.end());
    }
    EXPECT_EQ(box17.AllTexts(), expected17);
  }
  EXPECT_EQ(box17.Object(1), 0x4000) << "the groups keep their objects";
}

// The worker's result queue and run operation as the drain loop uses them. Queued lists are
// marked in the log, so their place among the decoded lines shows.
struct FakeWorker {
  explicit FakeWorker(TActivityLog& log) : log(log) {}
  int ResponseCount() const { return static_cast<int>(results.size()); }
  std::unique_ptr<TSequenceObject> PopResponse() {
    auto first = std::move(results.front());
    results.pop_front();
    if (pushedOnPop) results.push_back(std::move(pushedOnPop));
    return first;
  }
  bool ExecuteSequence(std::unique_ptr<TSequenceList>&& list) {
    log.Add("<queued " + list->FName + ", " + std::to_string(list->Count()) + " steps>");
    queued.push_back(std::move(list));
    return true;
  }
  TActivityLog& log;
  std::deque<std::unique_ptr<TSequenceObject>> results;
  std::unique_ptr<TSequenceObject> pushedOnPop;  // a result the worker adds meanwhile
  std::vector<std::unique_ptr<TSequenceList>> queued;
};

TEST_F(Kwp2000Decoding, DrainLoop) {
  TSequenceList contSequence;
  contSequence.FName = "ContReadData";
  contSequence.Add(MakeStep(Read({0x01})));
  contSequence.Add(MakeStep(Read({0x02})));
  const std::string busy = "Error in request : 21 type : 21, Busy - Repeat Request";
  const std::vector<Step> twoReads{Read({0x01}), Read({0x02})};
  const std::vector<Step> answers{kLocalAnswer, {0x7F, {0x21, 0x21}}};
  struct Case {
    std::string name;
    bool queuesCopy;  // what the window's continuous reading does with the result
    bool shown;
    std::vector<std::string> listNames;  // of the queued results; the last one arrives meanwhile
    Texts lines;
    int routed;
  };
  const Case cases[] = {
      {"continuous read queued before its decoding",
       true,
       true,
       {"ContReadData"},
       {"<queued ContReadData, 2 steps>", busy},
       1},
      {"not queued: routed", false, true, {"ContReadData"}, {busy}, 1},
      {"not shown: logged, not routed",
       true,
       false,
       {"ContReadData"},
       {"<queued ContReadData, 2 steps>", busy},
       0},
      {"other lists are not continuous reads",
       true,
       true,
       {"Identification"},
       {"Send: Read data by local ID, ID = 01", "Local ID = 01, Rcvd data : 0A 0B 0C ",
        "Send: Read data by local ID, ID = 02", busy},
       1},
      {"results queued meanwhile are taken in the same call",
       true,
       true,
       {"ContReadData", "ContReadData"},
       {"<queued ContReadData, 2 steps>", busy, "<queued ContReadData, 2 steps>", busy},
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log.Clear();
    valueLines.str("");
    FakeWorker worker(log);
    for (const std::string& name : c.listNames)
      worker.results.push_back(Object(twoReads, answers, name));
    if (c.listNames.size() > 1) {
      worker.pushedOnPop = std::move(worker.results.back());
      worker.results.pop_back();
    }
    decoder.Drain(&worker, [&](FakeWorker& w) {
      if (c.queuesCopy) w.ExecuteSequence(contSequence.Clone());
      return c.shown;
    });
    EXPECT_EQ(log.Lines(), c.lines);
    EXPECT_EQ(worker.ResponseCount(), 0);
    const std::string routed = valueLines.str();
    EXPECT_EQ(std::count(routed.begin(), routed.end(), '\n'), c.routed);
  }

  log.Clear();
  FakeWorker* noWorker = nullptr;
  decoder.Drain(noWorker, [](FakeWorker&) { return true; });
  EXPECT_TRUE(log.Lines().empty());

  // The worker itself, not running: the result is taken and decoded, the copy refused and freed.
  TCommThreadList requests, responses;
  TIso9141Thread worker(&log, &requests, &responses, ::testing::TempDir());
  responses.Push(Object(twoReads, answers, "ContReadData").release());
  decoder.Drain(&worker, [&](TIso9141Thread& w) {
    w.ExecuteSequence(contSequence.Clone());
    return true;
  });
  EXPECT_EQ(log.Lines(), (Texts{"Communication not running", busy}));
  EXPECT_EQ(responses.Count(), 0);
  EXPECT_EQ(requests.Count(), 0);
}

}  // namespace
