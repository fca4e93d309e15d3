// The KW71/KW81 tester without its window: a definition file with every keyword, directive key
// and "#clear" target, the request bytes of each command, the activity-log lines of every block
// title, and the routing of answers (the start's identification chain, chained blocks appended).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kw71/Kw71Decoding.h"
#include "kw71/Kw71Definitions.h"
#include "kw71/Kw71Requests.h"
#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "sim/Kw71EcuModel.h"
#include "sim/SimulatedEngine.h"
#include "tests/support/FakeControlSettings.h"
#include "tests/support/FakeDisplayTargets.h"
#include "tests/support/RecordingLog.h"
#include "tests/support/RequestSteps.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

// The tester's lists, grids and log in memory, with a definition directory of its own.
class Kw71Core : public ::testing::Test {
 protected:
  Kw71Core()
      : root_(MakeRoot()),
        defs({readAll, itemsReadAll, readSel, itemsAll, identGrid, settings, log}, root_ + "/") {
    identDestination.AddGrid(identGrid);
  }
  ~Kw71Core() override { fs::remove_all(root_); }

  void Load(const std::string& text) {
    std::ofstream(root_ + "/main.def") << text;
    log.Clear();
    defs.Load(root_ + "/main.def");
  }
  static Texts Titles(const TDescriptionList& descriptions) {
    Texts titles;
    for (const auto& description : descriptions)
      titles.push_back(description->GetTitle());
    return titles;
  }
  // Decodes one result whose response list is `responses`.
  Texts Decode(std::unique_ptr<TSequenceList> requests, std::unique_ptr<TSequenceList> responses) {
    object = std::make_unique<TSequenceObject>(std::move(requests), skExecuteSequence);
    for (int i = 0; i < responses->Count(); ++i)
      object->AddResponse(responses->Items(i) ? responses->Items(i)->Clone() : nullptr);
    log.Clear();
    decoder.Decode(*object);
    return log.Lines();
  }

  static std::string MakeRoot() {
    char path[] = "/tmp/quobrix-kw71-XXXXXX";
    return mkdtemp(path);
  }

  std::string root_;
  FakeListBox readAll, itemsReadAll, readSel, itemsAll;
  FakeGrid identGrid{1};
  FakeSettings settings;
  TRecordingLog log;
  TKw71Definitions defs;
  TDataDestination identDestination;
  TKw71DecodingRules rules{defs, identDestination};
  TResultDecoder decoder{rules, log};
  std::unique_ptr<TSequenceObject> object;
};

TEST_F(Kw71Core, DefinitionKeywordsDefineKeysAndClearTargets) {
  Load(
      "#define, ECUAddress, 0x11;\n#define, port, 0x00000F11;\n#define, echoaftersend, On;\n"
      "#define, setdtr, ON;\n#define, setdtr, yes;\n#define, testeraddress, 0xF1;\n"
      "#define, inittype, 1;\n"
      "ADC_71, 8, 0x01, Early, 1, E, 1, 0x01;\n#clear, ReadData_71;\n"
      "RAM_71, 1, 0x1234, Ram, 2, Speed, 1, 0x02, Load, 1, 0x04;\n"
      "ADC_71, 8, 0x0103, Adc, 1, Volt, 1, 0x01;\n"
      "REI_71, 0, 0, Old, 1, O, 1, 0x01;\n#clear, REI_71;\n"
      "REI_71, 0, 0, Ident, 2, Part, 1, 0x01, Version, 1, 0x01;\n#clear, rei_71;\n"
      "adc_71, 8, 0x02, Lower, 1, L, 1, 0x01;\nRDTC_71, 7, 0, Dtc, 1, Code, 1, 0x01;\n");
  EXPECT_EQ(
      log.Lines(),
      Texts({"File read: " + root_ + "/main.def", "ADC_71 : Early", "clear: ListBoxReadAll->Items",
             "RAM_71 : Ram", "ADC_71 : Adc", "REI_71 : Old", "clear: REI_71", "REI_71 : Ident",
             "clear, not known: rei_71", "Not recognized : Lower", "RDTC_71 : Dtc"}));
  EXPECT_EQ(settings.calls,
            Texts({"MaskEditEcuAddress2000 = 0x11", "ComboBoxComPort = 0x00000F11",
                   "CheckBoxRcvEcho = on", "CheckBoxSetDTR = on", "CheckBoxSetDTR = off"}));
  EXPECT_EQ(readAll.AllTexts(), Texts({"Ram", "Adc"}));
  EXPECT_EQ(itemsReadAll.AllTexts(), Texts({"Speed ()", "Load ()", "Volt ()"}));
  EXPECT_EQ(Titles(defs.IdentDescriptions()), Texts({"Ident"}));
  EXPECT_EQ(Titles(defs.DtcDescriptions()), Texts({"Dtc"}));
  EXPECT_EQ(identGrid.Row(0), Texts({"Part", "", ""}));
  EXPECT_EQ(identGrid.Row(1), Texts({"Version", "", ""}));

  // A second load frees everything of the first.
  Load("RDTC_71, 7, 0, Other, 1, Code, 1, 0x01;\n");
  EXPECT_EQ(readAll.Count(), 0);
  EXPECT_TRUE(defs.IdentDescriptions().empty());
  EXPECT_EQ(Titles(defs.DtcDescriptions()), Texts({"Other"}));
}

// The shipped definition file's groups, read from the simulated ECU, show the simulated engine:
// cold idle, full load, cruise, overrun and the warm engine at idle.
TEST_F(Kw71Core, ShippedGroupsShowTheSimulatedEngine) {
  defs.Load(QUOBRIX_SOURCE_DIR "/Def/QuobrixKWP71.def");
  using sim::EngineState;
  // The engine's value of each item, and the resolution of the item's scaling.
  const std::map<std::string, std::pair<double EngineState::*, double>> items{
      {"Engine speed", {&EngineState::rpm, 13}},
      {"Coolant temperature", {&EngineState::coolantC, 0.51}},
      {"Throttle position", {&EngineState::throttlePercent, 0.2}},
      {"Injection time", {&EngineState::injectionMs, 0.001}},
      {"Fuel trim", {&EngineState::shortTrimPercent, 0.1}},
      {"Battery voltage", {&EngineState::batteryV, 0.01}},
      {"Lambda probe", {&EngineState::o2SensorV, 0.001}},
      {"Intake pressure", {&EngineState::manifoldKpa, 0.13}}};
  // The items shown as texts at each moment: the switches, and the trims learned in the idle
  // and the part-load cell.
  const std::map<double, std::map<std::string, std::string>> texts{
      {5.0, {{"Switches", "idle"}, {"Adaption cells", "00 00"}}},
      {13.0, {{"Switches", "full load"}, {"Adaption cells", "01 00"}}},
      {30.0, {{"Switches", "A/C request"}, {"Adaption cells", "02 01"}}},
      {45.0, {{"Switches", "idle"}, {"Adaption cells", "02 01"}}},
      {605.0, {{"Switches", "idle, closed loop"}, {"Adaption cells", "06 04"}}}};
  const sim::Kw71EcuModel ecu{{}};
  for (const auto& [seconds, textItems] : texts) {
    const auto moment = static_cast<int64_t>(seconds * 1e9);
    size_t checked = 0;
    for (const auto& group : defs.RealtimeDescriptions()) {
      const int id = group->GetIdentifier();
      const uint16_t adc = ecu.AdcValue(static_cast<uint8_t>(id), moment);
      TSmallIntArray data;
      if (group->GetServiceId() == 8) data = {int16_t(adc >> 8), int16_t(adc & 0xFF)};
      for (int i = 0; group->GetServiceId() == 1 && i < group->GetTotalNrBytes(); ++i)
        data.Add(ecu.RamByte(static_cast<uint16_t>(id + i), moment));
      if (group->GetServiceId() == 1) {
        const auto after = static_cast<uint16_t>(id + group->GetTotalNrBytes());
        EXPECT_EQ(ecu.RamByte(after, moment), ecu.RamByte(after, 0))
            << "a fixed byte after the area";
      }
      group->Decode(data, false);
      for (int i = 0; i < group->GetLineCount(); ++i) {
        if (const auto text = textItems.find(group->GetNames()[i]); text != textItems.end()) {
          ++checked;
          EXPECT_EQ(group->GetValueTexts()[i], text->second) << text->first << " at " << seconds;
        }
        const auto item = items.find(group->GetNames()[i]);
        if (item == items.end()) continue;
        ++checked;
        EXPECT_NEAR(group->GetValues()[i], sim::EngineAt(seconds).*item->second.first,
                    item->second.second)
            << item->first << " at " << seconds << " s";
      }
    }
    EXPECT_EQ(checked, items.size() + textItems.size());
  }
}

// Title and parameter bytes of each step.
std::vector<Values> Blocks(const TSequenceList& list) {
  std::vector<Values> blocks;
  for (int i = 0; i < list.Count(); ++i) {
    Values block{static_cast<int16_t>(list.Items(i)->FServiceId)};
    for (int16_t value : ValuesOf(list.Items(i)->FParams.get()))
      block.push_back(value);
    blocks.push_back(block);
  }
  return blocks;
}

TEST_F(Kw71Core, RequestBytes) {
  std::string big = "RAM_71, 1, 0x10, Big, 18";  // 18 items of 15 bytes: 270 bytes
  for (int i = 0; i < 18; ++i)
    big += ", T" + std::to_string(i) + ", 1, 0x6F";
  Load(
      "RAM_71, 1, 0x1234, Ram, 2, Speed, 1, 0x02, Load, 1, 0x04;\n"
      "ADC_71, 8, 0x0103, Adc, 1, Volt, 1, 0x01;\n" +
      big +
      ";\nRAM_71, 0x21, 0x05, Other, 1, X, 1, 0x01;\n"
      "REI_71, 0, 0, A, 1, P, 1, 0x01;\nREI_71, 0x1A, 0x90, B, 1, Q, 1, 0x01;\n"
      "REI_71, 5, 0, C, 1, R, 1, 0x01;\nRDTC_71, 7, 0, Dtc, 1, Code, 1, 0x01;\n");
  const TDescriptionList& groups = defs.RealtimeDescriptions();
  // A byte count above 255 ends the parameters.
  EXPECT_EQ(Blocks(*List(MakeKw71ReadStep(*groups[0]), MakeKw71ReadStep(*groups[1]),
                         MakeKw71ReadStep(*groups[2]))),
            std::vector<Values>({{0x01, 0x06, 0x12, 0x34}, {0x08, 0x03}, {0x01}}));
  EXPECT_EQ(MakeKw71ReadStep(*groups[3]), nullptr) << "a group of any other service is skipped";

  identDestination.AddDescription(*groups[0]);
  const auto ident = Kw71IdentificationRequest(defs.IdentDescriptions(), identDestination);
  EXPECT_EQ(Blocks(*ident), std::vector<Values>({{0x00}, {0x00}, {0x00}}));
  for (int i = 0; i < ident->Count(); ++i) {
    EXPECT_EQ(ident->Items(i)->FName, "DataWithDestination");
    EXPECT_EQ(ident->Items(i)->FDestination, &identDestination);
    EXPECT_EQ(ident->Items(i)->FDestinationIndex, i) << "the destination was cleared first";
  }
  TDataDestination dtcDestination;
  const auto dtc = Kw71ReadDtcRequest(*defs.DtcDescriptions()[0], dtcDestination);
  EXPECT_EQ(Blocks(*dtc), std::vector<Values>({{0x07}}));
  EXPECT_EQ(dtc->Items(0)->FDestination, &dtcDestination);
  const auto clear = Kw71ClearDtcRequest();
  EXPECT_EQ(Blocks(*clear), std::vector<Values>({{0x05}}));
  EXPECT_EQ(clear->Items(0)->FDestination, nullptr);
  EXPECT_EQ(clear->Items(0)->FName, "");
}

TEST_F(Kw71Core, ActivityLogLinesByBlockTitle) {
  struct Case {
    const char* name;
    std::unique_ptr<TSequenceList> requests, responses;
    Texts lines;
  };
  Case cases[] = {
      {"start answer (no identification description)",
       List(nullptr, Step(0x09), Step(0x09), Step(0x09)),
       List(Step(0xF6, {0x41, 0x42, 0x43}), Step(0xF6, {0x44, 0x00, 0xE9}), Step(0xF6), Step(0x09)),
       {"", "ID after 5baud init: ", "ID : ABC , CBA",
        "ID : D\xC3\xA9 , \xC3\xA9"
        "D",
        "ID : empty , "}},
      {"stop",
       List(Step(0x06)),
       List(),
       {"", "Stop connection to ECU :", "OK, no response received"}},
      {"keep-alive", List(Step(0x09)), List(Step(0x09)), {}},
      {"RAM",
       List(Step(0x01, {0x02, 0x12, 0x34}), Step(0x01)),
       List(Step(0xFE, {0x0A, 0xFF}), Step(0xFE)),
       {"", "Read RAM : 02 12 34 ", "RAM : 0A FF ", "", "Read RAM : empty", "RAM : empty"}},
      {"ADC",
       List(Step(0x08, {0x03}), Step(0x08), Step(0x08, {0x04})),
       List(Step(0xFB, {0x00, 0x7F}), Step(0xFB, {0x05}), Step(0xFB, {0x01, 0x23, 0x45})),
       {"", "Read ADC channel 0x03 :", "Value : 0x7F", "", "Read ADC channel  :", "Value : no data",
        "", "Read ADC channel 0x04 :", "Value : 0x123"}},
      {"identification, clear, nothing received",
       List(Step(0x00), Step(0x05), Step(0x07)),
       List(Step(0x09), Step(0x09)),
       {"", "Read identification :", "OK", "", "Clear diagnostic faultcodes :", "OK", "",
        "Read diagnostic faultcodes :", "no data received"}},
      {"no fault codes",
       List(Step(0x07)),
       List(Step(0xFC, {0x00})),
       {"", "Read diagnostic faultcodes :", "Bytes received: 00", "No faultcodes"}},
      {"fault-code records and a rest",
       List(Step(0x07), Step(0x09)),
       List(Step(0xFC, {0x1F, 0x43, 0x20, 0x00, 0x05, 0x80, 0xE9, 0x01, 0x02, 0x03, 0xAA, 0xBB}),
            Step(0xFC)),
       {"", "Read diagnostic faultcodes :", "Bytes received: 1F 43 20 00 05 80 E9 01 02 03 AA BB",
        "DTC: 0x1F = 31", "     state : 2", "     type : 0x03 Short circuit at V batt",
        "     condition1 : 0x20", "     condition2 : 0x00", "     counter : 0x05",
        "DTC: 0x80 = 128", "     state : 7", "     type : 0x09 Plausibility",
        "     condition1 : 0x01", "     condition2 : 0x02", "     counter : 0x03",
        "Bytes received:"}},
      {"other titles",
       List(Step(0x02), Step(0x0A), Step(0xFF), Step(0x04), Step(0x03)),
       List(Step(0x0A, {0x01}), Step(0xF4, {0x05}), Step(0xEF, {0x01, 0x02}), Step(0xEF),
            Step(0xFD, {0xAB}), Step(0xFD)),
       {"",
        "Request: 0x02",
        "ERROR",
        "New Data, ServiceID : 0A",
        "01",
        "",
        "Request: 0x0A",
        "New Data, ServiceID : F4",
        "05",
        "",
        "Request: 0xFF",
        "EEPROM  section  : 01 02 ",
        "",
        "Request: 0x04",
        "EEPROM  section  : empty",
        "",
        "Request: 0x03",
        "ROM : AB ",
        "",
        "ID after 5baud init: ",
        "ROM : empty"}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(std::move(c.requests), std::move(c.responses)), c.lines);
  }
  // Continuous reading logs only its error blocks.
  auto requests = List(Step(0x01, {0x02, 0x00, 0x10}), Step(0x08, {0x01}));
  requests->FName = "ContReadData";
  EXPECT_EQ(Decode(std::move(requests), List(Step(0x0A), Step(0xFB, {0x00, 0x10}))),
            Texts({"ERROR"}));
}

TEST_F(Kw71Core, FaultTypeTexts) {
  Values records;  // types 0 to 10 and 31
  for (int16_t type : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 31})
    records.insert(records.end(), {1, type, 0, 0, 0});
  Decode(List(Step(0x07)), List(Step(0xFC, records)));
  Texts types;
  for (const std::string& line : log.Lines())
    if (line.starts_with("     type")) types.push_back(line.substr(12));
  EXPECT_EQ(types,
            Texts({"0x00 unknown", "0x01 Open circuit", "0x02 Short circuit at GND",
                   "0x03 Short circuit at V batt", "0x04 Open/Short circuit at GND",
                   "0x05 Open/Short circuit at V batt", "0x06 Too low value", "0x07 Too high value",
                   "0x08 Constant value", "0x09 Plausibility", "0x0A unknown", "0x1F unknown"}));
}

TEST_F(Kw71Core, StartAnswerAndChainsReachTheirDestinations) {
  // Without an identification description the start's blocks are only logged.
  Decode(List(nullptr, Step(0x09)), List(Step(0xF6, {0x11}), Step(0x09)));
  EXPECT_FALSE(object->HasRequest(0));
  EXPECT_EQ(identDestination.DescriptionCount(), 0);

  Load(
      "REI_71, 0, 0, Ident, 3, A, 1, 0x01, B, 1, 0x01, C, 1, 0x01;\n"
      "REI_71, 0, 0, Second, 1, D, 1, 0x01;\n");
  // The start's chain goes to the first description as one answer: the first block afresh, the
  // others appended.
  Decode(List(nullptr, Step(0x09), Step(0x09), Step(0x09)),
         List(Step(0xF6, {0x11}), Step(0xF6, {0x22}), Step(0xF6, {0x33}), Step(0x09)));
  EXPECT_EQ(log.Lines()[1], "ID after 5baud init: ");
  EXPECT_EQ(object->RequestServiceId(0), 0x00);
  EXPECT_EQ(identDestination.DescriptionCount(), 1);
  EXPECT_EQ(identGrid.Row(0), Texts({"A", "17", ""}));
  EXPECT_EQ(identGrid.Row(1), Texts({"B", "34", ""}));
  EXPECT_EQ(identGrid.Row(2), Texts({"C", "51", ""}));
  const Texts appended = {"0", "1", "1", "0"};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(std::to_string(object->GetRequest(i)->FAppend), appended[i]) << i;
  EXPECT_EQ(object->GetRequest(3)->FName, "") << "the closing acknowledge is not routed";

  // A chain title continues only into a block of the same title; other titles never continue,
  // and a block without data is neither routed nor continued.
  auto tagged = [&](int title) {
    auto step = Step(title);
    step->FName = "DataWithDestination";
    step->FDestination = &identDestination;
    step->FDestinationIndex = 0;
    return step;
  };
  for (auto [first, second] : {std::pair{0xFE, 0xFE}, std::pair{0xFC, 0xF6}}) {
    Decode(List(tagged(0x01), Step(0x09)), List(Step(first, {0x01}), Step(second, {0x02})));
    EXPECT_EQ(object->GetRequest(1)->FName, "") << first << " " << second;
  }
  Decode(List(tagged(0x07), Step(0x09)), List(Step(0xFC), Step(0xFC, {0x02})));
  EXPECT_EQ(object->GetRequest(1)->FName, "");
}

}  // namespace
