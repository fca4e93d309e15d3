// The shipped definition file loaded by the KWP2000 tester's reader against the simulated engine
// ECU: every statement is filed without an error, the connection settings fit the simulated
// interface, and the ECU's answers decode into the engine's values, with the right units and
// list texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kwp2000/Kwp2000Definitions.h"
#include "measurement/DataDescription.h"
#include "platform/Conversions.h"
#include "sim/Kwp2000EngineEcu.h"
#include "sim/SimulatedEngine.h"
#include "sim/SimulatedFtdi.h"
#include "tests/support/FakeControlSettings.h"
#include "tests/support/FakeDisplayTargets.h"
#include "tests/support/RecordingLog.h"

namespace sim {
namespace {

using testing_support::FakeGrid;
using testing_support::FakeListBox;
using testing_support::FakeSettings;
using Texts = std::vector<std::string>;

const std::string kDefDir = QUOBRIX_SOURCE_DIR "/Def/";

// The window's part of a load of Def/QuobrixKWP2000.def.
class ShippedDefinition : public ::testing::Test {
 protected:
  ShippedDefinition() { defs.Load(kDefDir + "QuobrixKWP2000.def"); }

  FakeListBox readAll, itemsReadAll, readSel, itemsAll, status18, group18, group14, group17;
  FakeGrid identGrid;
  FakeSettings settings;
  TRecordingLog log;
  TKwp2000Definitions defs{{readAll, itemsReadAll, readSel, itemsAll, identGrid, settings, log},
                           {status18, group18, group14, group17},
                           kDefDir};
};

// The engine ECU's services at a moment after its first request.
class Ecu {
 public:
  Ecu() { Request({0x3E}); }

  // The data the window routes to a description: the answer's bytes after the service id and
  // the echoed identifier bytes.
  TSmallIntArray Answer(const Bytes& request, double atSeconds = 0) {
    const Bytes payload = Request(request, atSeconds);
    if (payload.empty() || payload[0] != (request[0] | 0x40)) {
      ADD_FAILURE() << "no positive answer to " << std::hex << int(request[0]);
      return {};
    }
    size_t first = 1;
    if (request[0] == 0x21 || request[0] == 0x1A) first = 2;
    if (request[0] == 0x22) first = 3;
    TSmallIntArray data;
    for (size_t i = first; i < payload.size(); ++i)
      data.Add(payload[i]);
    return data;
  }

  Bytes Request(const Bytes& request, double atSeconds = 0) {
    const Kwp2000FrameForm form{true, 0x10, 0xF1, true};
    const auto frame = ParseKwp2000Frame(BuildKwp2000Frame(request, form));
    const auto now = static_cast<int64_t>(atSeconds * 1e9);
    const Kwp2000EcuReply reply = services_.Answer(*frame, timing_, now);
    return reply.frames.empty() ? Bytes{} : ParseKwp2000Frame(reply.frames.back())->payload;
  }

 private:
  Kwp2000EcuServices services_{Kwp2000EcuIdentity{}, Kwp2000EngineData()};
  Kwp2000EcuTiming timing_;
};

Bytes RequestFor(const TDataDescription& d) {
  const auto id = static_cast<uint16_t>(d.GetIdentifier());
  if (d.GetServiceId() == 0x22) return {0x22, static_cast<uint8_t>(id >> 8), uint8_t(id & 0xFF)};
  return {static_cast<uint8_t>(d.GetServiceId()), static_cast<uint8_t>(id & 0xFF)};
}

// A text that shows a description or a list did not fit the answer.
bool LooksWrong(const std::string& text) {
  for (const char* sign : {"ERROR", "not valid", "not known", "not found", "no lists", "shorter"})
    if (text.find(sign) != std::string::npos) return true;
  return text.empty() || text.starts_with("0x") || text == "No data";
}

std::map<std::string, std::string> Lines(const TDataDescription& d) {
  std::map<std::string, std::string> lines;
  for (int i = 0; i < d.GetLineCount(); ++i)
    lines[d.GetNames()[i]] = d.GetValueTexts()[i];
  return lines;
}

TEST_F(ShippedDefinition, FilesEveryStatementAndSetsTheSimulatedInterface) {
  EXPECT_EQ(log.Lines().at(0), "File read: " + kDefDir + "QuobrixKWP2000.def");
  for (const std::string& line : log.Lines()) {
    EXPECT_FALSE(line.starts_with("Not recognized")) << line;
    EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;
  }
  const Texts settingsMade{"ComboBoxComPort = 0x" + plat::IntToHex(SimulatedFtdi::kLocationId, 8),
                           "MaskEditEcuAddress2000 = 0x10",
                           "MaskEditTesterAddress2000 = 0xF1",
                           "RadioInit2000 = 0",
                           "RadioGroupAddressMode = 0",
                           "RadioGroupHeaderType = 0",
                           "RadioGroupLengthInfo = 0",
                           "CheckBoxRcvEcho = on",
                           "CheckBoxSetDTR = on"};
  EXPECT_EQ(settings.calls, settingsMade);
  EXPECT_EQ(readAll.AllTexts(), (Texts{"Engine basics", "Mixture control", "Ignition and air",
                                       "Vehicle and switches", "Trip computer"}));
  EXPECT_EQ(defs.IdentDescriptions().size(), 8u);
  EXPECT_EQ(defs.NamedLists().Count(), 6);
}

// What each live item must show: its unit and the engine's value within the item's resolution,
// or, for list items, a text from its list.
struct LiveItem {
  const char* name;
  const char* unit;
  std::function<double(const EngineState&)> value;  // null: a list item
  double resolution;
};

TEST_F(ShippedDefinition, LiveGroupsShowTheEngineWithUnits) {
  const std::string degC =
      "\xC2\xB0"
      "C";
  const LiveItem items[] = {
      {"Engine speed", "rpm", [](auto& s) { return s.rpm; }, 0.25},
      {"Coolant temperature", degC.c_str(), [](auto& s) { return s.coolantC; }, 0.75},
      {"Intake air temperature", degC.c_str(), [](auto& s) { return s.intakeAirC; }, 0.75},
      {"Engine load", "%", [](auto& s) { return s.loadPercent; }, 0.4},
      {"Throttle position", "%", [](auto& s) { return s.throttlePercent; }, 0.4},
      {"Battery voltage", "V", [](auto& s) { return s.batteryV; }, 0.1},
      {"Operating mode", "", nullptr, 0},
      {"Lambda", "", [](auto& s) { return s.lambda; }, 0.0001},
      {"Oxygen sensor", "V", [](auto& s) { return s.o2SensorV; }, 0.005},
      {"Short-term fuel trim", "%", [](auto& s) { return s.shortTrimPercent; }, 0.8},
      {"Long-term fuel trim", "%", [](auto& s) { return s.longTrimPercent; }, 0.8},
      {"Injection time", "ms", [](auto& s) { return s.injectionMs; }, 0.004},
      {"Mixture status", "", nullptr, 0},
      {"Ignition advance", "\xC2\xB0", [](auto& s) { return s.ignitionDeg; }, 0.5},
      {"Air mass", "g/s", [](auto& s) { return s.airMassGs; }, 0.01},
      {"Manifold pressure", "kPa", [](auto& s) { return s.manifoldKpa; }, 1},
      {"Idle speed target", "rpm", [](auto& s) { return s.idleTargetRpm; }, 10},
      {"Vehicle speed", "km/h", [](auto& s) { return s.speedKmh; }, 1},
      {"Gear", "", nullptr, 0},
      {"Switches", "", nullptr, 0},
      {"Engine running time", "s", [](auto& s) { return s.seconds; }, 1},
      {"Distance", "km", [](auto& s) { return s.distanceKm; }, 0.1},
      {"Fuel used", "l", [](auto& s) { return s.fuelLitres; }, 0.01},
      {"Average speed", "km/h", [](auto& s) { return s.distanceKm * 3600 / s.seconds; }, 1},
  };
  // Moments of the drive and texts the engine shows then.
  struct Moment {
    double seconds;
    std::map<std::string, std::string> texts;
  };
  const Moment moments[] = {
      {5, {{"Operating mode", "idle"}, {"Gear", "neutral"}, {"Switches", "idle"}}},
      {13,
       {{"Operating mode", "full load"},
        {"Mixture status", "open loop, full-load enrichment"},
        {"Switches", "full load"},
        {"Gear", "1st gear"}}},
      {30,
       {{"Operating mode", "part load"},
        {"Vehicle speed", "90"},
        {"Gear", "5th gear"},
        {"Switches", "A/C request"}}},
      {45,
       {{"Operating mode", "overrun"},
        {"Mixture status", "open loop, fuel cut-off"},
        {"Injection time", "0"},
        {"Switches", "idle, brake"}}},
      {605, {{"Mixture status", "closed loop"}, {"Engine running time", "605"}}},
      {1923.75, {{"Switches", "idle, radiator fan"}}},
  };
  Ecu ecu;
  for (const Moment& moment : moments) {
    const EngineState engine = EngineAt(moment.seconds);
    std::map<std::string, std::string> shown;
    for (const auto& d : defs.RealtimeDescriptions()) {
      TDataDescription& group = *d;
      group.Decode(ecu.Answer(RequestFor(group), moment.seconds), false);
      for (int i = 0; i < group.GetLineCount(); ++i) {
        const std::string& name = group.GetNames()[i];
        const std::string& text = group.GetValueTexts()[i];
        shown[name] = text;
        const auto item = std::ranges::find_if(items, [&](auto& it) { return it.name == name; });
        ASSERT_NE(item, std::end(items)) << name;
        EXPECT_EQ(group.GetUnits()[i], item->unit) << name;
        EXPECT_FALSE(LooksWrong(text)) << name << ": " << text;
        if (item->value) {
          EXPECT_NEAR(group.GetValues()[i], item->value(engine), item->resolution)
              << name << " at " << moment.seconds << " s";
        }
      }
    }
    EXPECT_EQ(shown.size(), std::size(items));
    const auto fan = static_cast<uint8_t>(engine.radiatorFan);
    EXPECT_EQ(ecu.Request({0x30, 0x11, 0x04}, moment.seconds), (Bytes{0x70, 0x11, 0x04, fan}));
    for (const auto& [name, text] : moment.texts)
      EXPECT_EQ(shown[name], text) << name << " at " << moment.seconds << " s";
  }
}

TEST_F(ShippedDefinition, IdentificationShowsTheEcuTexts) {
  const std::map<int, std::string> expected{{0x90, "WQXZZZ1KZ5W012345"},
                                            {0x97, "QBX-M2 2.0l 16V"},
                                            {0x8A, "Quobrix Steuerger\xC3\xA4tebau"},  // UTF-8
                                            {0x91, "HW 0815.208"},
                                            {0x94, "1037360815"},
                                            {0x95, "SW 04.21"},
                                            {0x99, "20 24 03 15"},
                                            {0x9B, "CAL 0042"}};
  ASSERT_EQ(defs.IdentDescriptions().size(), expected.size());
  Ecu ecu;
  for (const auto& d : defs.IdentDescriptions()) {
    const Texts texts = d->Decode(ecu.Answer(RequestFor(*d)), false);
    EXPECT_EQ(texts, Texts{expected.at(d->GetIdentifier())}) << d->GetTitle();
  }
}

TEST_F(ShippedDefinition, TroubleCodesReadByGroupAndStatusAndCleared) {
  TDataDescription& byStatus = *defs.DtcByStatusDescriptions().at(0);
  TDataDescription& statusOf = *defs.StatusOfDtcDescriptions().at(0);
  const auto status = static_cast<uint8_t>(status18.Object(0));
  const auto readByStatus = [&](Ecu& ecu, int group) {
    byStatus.Decode(ecu.Answer({0x18, status, uint8_t(group >> 8), uint8_t(group & 0xFF)}), false);
    Texts records;
    for (int i = 1; i < byStatus.GetLineCount(); i += 2)
      records.push_back(byStatus.GetValueTexts()[i] + " / " + byStatus.GetValueTexts()[i + 1]);
    return records;
  };
  const Texts all{
      "P0420, Catalyst efficiency below threshold (bank 1) / warning lamp on, present",
      "P0171, System too lean (bank 1) / warning lamp on, stored (not present)",
      "P0301, Cylinder 1 misfire detected / warning lamp off, intermittent",
      "U0101, Lost communication with transmission control / warning lamp off, stored (not "
      "present)"};
  const std::map<int, Texts> byGroup{
      {0xFF00, all}, {0x0000, {all[0], all[1], all[2]}}, {0xC000, {all[3]}}};
  Ecu ecu;
  for (const FakeListBox::Entry& group : group18.entries)
    EXPECT_EQ(readByStatus(ecu, group.object), byGroup.at(group.object)) << group.text;
  EXPECT_EQ(byStatus.GetValueTexts()[0], "1");
  EXPECT_EQ(byStatus.GetRecordTexts().at(0).RawValue, 0xC101);
  // The codes offered for "Read Status of DTC" are the records read, after those of the file.
  EXPECT_EQ(defs.DtcGroups17().Count(), 0) << "a code of the file would be offered twice";
  readByStatus(ecu, 0xFF00);

  // Status of a code read, then of the code that answer offers, with the conditions when it was
  // stored.
  int code = byStatus.GetRecordTexts().at(1).RawValue;
  for (int read = 0; read < 2; ++read) {
    statusOf.Decode(ecu.Answer({0x17, uint8_t(code >> 8), uint8_t(code & 0xFF)}), false);
    ASSERT_EQ(statusOf.GetRecordTexts().size(), 1u);
    code = statusOf.GetRecordTexts()[0].RawValue;
  }
  EXPECT_EQ(code, 0x0171);
  const std::map<std::string, std::string> expected{
      {"Number of items", "1"},
      {"1. Trouble code", "P0171, System too lean (bank 1)"},
      {"Status", "warning lamp on, stored (not present)"},
      {"Engine speed", "840"},
      {"Coolant temperature", "84.75"},
      {"Frequency counter", "1"}};
  EXPECT_EQ(Lines(statusOf), expected);

  // Clearing the group of the definition leaves no code to read.
  const auto cleared = static_cast<int>(defs.DtcGroups14().Entries().at(0).Object);
  EXPECT_EQ(ecu.Request({0x14, uint8_t(cleared >> 8), uint8_t(cleared & 0xFF)}),
            (Bytes{0x54, 0xFF, 0x00}));
  EXPECT_EQ(readByStatus(ecu, 0xFF00), Texts{});
  EXPECT_EQ(byStatus.GetNames(), Texts{"Number of items"});
  EXPECT_EQ(byStatus.GetValueTexts(), Texts{"0"});
}

}  // namespace
}  // namespace sim
