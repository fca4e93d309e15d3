// The shipped definition file against the simulated engine ECU: every statement parses, the
// connection settings reach the simulated interface, and the ECU's answers decode into the
// engine's values, with the right units and list texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "measurement/CommaText.h"
#include "measurement/DataDescription.h"
#include "platform/Conversions.h"
#include "sim/Kwp2000EngineEcu.h"
#include "sim/SimulatedEngine.h"
#include "sim/SimulatedFtdi.h"

namespace sim {
namespace {

using Texts = std::vector<std::string>;

// The file as the program reads it, in short: trimmed lines without '%' remarks, joined up to a
// trailing ';'; "#list" fills the named lists, "#define" is kept by key, the rest are
// descriptions.
struct Definition {
  TNamedLists lists;
  std::map<std::string, std::string> defines;
  std::vector<std::unique_ptr<TDataDescription>> descriptions;

  std::vector<TDataDescription*> Filed(const std::string& keyword, int serviceId = -1) const {
    std::vector<TDataDescription*> filed;
    for (const auto& d : descriptions)
      if (d->GetServiceName() == keyword && (serviceId < 0 || d->GetServiceId() == serviceId))
        filed.push_back(d.get());
    return filed;
  }
};

void Process(Definition& definition, const std::string& statement) {
  if (statement[0] != '#') {
    definition.descriptions.push_back(
        std::make_unique<TDataDescription>(statement, &definition.lists));
    return;
  }
  const Texts words = SplitCommaText(statement);
  if (words[0] == "#define") definition.defines[words.at(1)] = words.at(2);
  if (words[0] == "#list") {
    const Texts text(words.begin() + 3, words.end());
    definition.lists.FindOrAdd(words.at(1)).Add(plat::StrToInt(words.at(2)), text);
  }
}

std::unique_ptr<Definition> ReadShipped() {
  auto definition = std::make_unique<Definition>();
  std::ifstream file(QUOBRIX_SOURCE_DIR "/Def/QuobrixKWP2000.def");
  EXPECT_TRUE(file) << "Def/QuobrixKWP2000.def";
  std::string line;
  std::string statement;
  while (std::getline(file, line)) {
    line = plat::Trim(line);
    if (line.empty() || line[0] == '%') continue;
    statement += line;
    if (statement.back() != ';') continue;
    statement.pop_back();
    Process(*definition, statement);
    statement.clear();
  }
  EXPECT_EQ(statement, "") << "unterminated statement";
  return definition;
}

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

TEST(ShippedDefinition, StatementsParseAndSettingsFitTheSimulatedInterface) {
  const auto definition = ReadShipped();
  const Definition& def = *definition;
  const std::map<std::string, std::string> defines{
      {"port", "0x" + plat::IntToHex(SimulatedFtdi::kLocationId, 8)},
      {"ecuaddress", "0x10"},
      {"testeraddress", "0xF1"},
      {"inittype", "0"},
      {"addressmode", "0"},
      {"headertype", "0"},
      {"lengthinformation", "0"},
      {"echoaftersend", "on"},
      {"setdtr", "on"}};
  EXPECT_EQ(def.defines, defines);
  for (const auto& d : def.descriptions)
    EXPECT_FALSE(d->GetTitle().starts_with("ERROR")) << d->GetTitle();
  // Each statement is filed by the program: its keyword with a service id that keyword takes.
  const std::map<std::string, std::vector<int>> serviceIds{
      {"RDBLI_2000", {0x21}},   {"RDBCI_2000", {0x22}},
      {"REI_2000", {0x1A}},     {"ReadId_2000", {0x1A}},
      {"RDTCBS_2000", {0x18}},  {"RSODTC_2000", {0x17}},
      {"SODTCRQ_2000", {0x18}}, {"GODTC_2000", {0x18, 0x14, 0x17}}};
  std::map<std::string, size_t> counts;
  for (const auto& d : def.descriptions) {
    ASSERT_TRUE(serviceIds.contains(d->GetServiceName())) << d->GetServiceName();
    EXPECT_TRUE(std::ranges::count(serviceIds.at(d->GetServiceName()), d->GetServiceId()))
        << d->GetTitle();
    ++counts[d->GetServiceName()];
  }
  EXPECT_GE(counts["RDBLI_2000"], 4u);
  EXPECT_EQ(def.lists.Count(), 6);
}

// What each live item must show: its unit and the engine's value within the item's resolution,
// or, for list items, a text from its list.
struct LiveItem {
  const char* name;
  const char* unit;
  std::function<double(const EngineState&)> value;  // null: a list item
  double resolution;
};

TEST(ShippedDefinition, LiveGroupsShowTheEngineWithUnits) {
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
  const auto definition = ReadShipped();
  const Definition& def = *definition;
  std::vector<TDataDescription*> groups = def.Filed("RDBLI_2000");
  for (TDataDescription* d : def.Filed("RDBCI_2000"))
    groups.push_back(d);
  Ecu ecu;
  for (const Moment& moment : moments) {
    const EngineState engine = EngineAt(moment.seconds);
    std::map<std::string, std::string> shown;
    for (TDataDescription* d : groups) {
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

TEST(ShippedDefinition, IdentificationShowsTheEcuTexts) {
  const std::map<int, std::string> expected{{0x90, "WQXZZZ1KZ5W012345"},
                                            {0x97, "QBX-M2 2.0l 16V"},
                                            {0x8A, "Quobrix Steuerger\xC3\xA4tebau"},  // UTF-8
                                            {0x91, "HW 0815.208"},
                                            {0x94, "1037360815"},
                                            {0x95, "SW 04.21"},
                                            {0x99, "20 24 03 15"},
                                            {0x9B, "CAL 0042"}};
  const auto definition = ReadShipped();
  const Definition& def = *definition;
  std::vector<TDataDescription*> descriptions = def.Filed("REI_2000");
  for (TDataDescription* d : def.Filed("ReadId_2000"))
    descriptions.push_back(d);
  ASSERT_EQ(descriptions.size(), expected.size());
  Ecu ecu;
  for (TDataDescription* d : descriptions) {
    const Texts texts = d->Decode(ecu.Answer(RequestFor(*d)), false);
    EXPECT_EQ(texts, Texts{expected.at(d->GetIdentifier())}) << d->GetTitle();
  }
}

TEST(ShippedDefinition, TroubleCodesReadByGroupAndStatusAndCleared) {
  const auto definition = ReadShipped();
  const Definition& def = *definition;
  TDataDescription& byStatus = *def.Filed("RDTCBS_2000").at(0);
  TDataDescription& statusOf = *def.Filed("RSODTC_2000").at(0);
  const auto status = static_cast<uint8_t>(def.Filed("SODTCRQ_2000").at(0)->GetIdentifier());
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
  for (const TDataDescription* group : def.Filed("GODTC_2000", 0x18))
    EXPECT_EQ(readByStatus(ecu, group->GetIdentifier()), byGroup.at(group->GetIdentifier()))
        << group->GetTitle();
  EXPECT_EQ(byStatus.GetValueTexts()[0], "1");
  EXPECT_EQ(byStatus.GetRecordTexts().at(0).RawValue, 0xC101);

  // Status of one code, with the conditions when it was stored.
  const int code = def.Filed("GODTC_2000", 0x17).at(0)->GetIdentifier();
  statusOf.Decode(ecu.Answer({0x17, uint8_t(code >> 8), uint8_t(code & 0xFF)}), false);
  const std::map<std::string, std::string> expected{
      {"Number of DTCs", "1"},
      {"Trouble code", "P0420, Catalyst efficiency below threshold (bank 1)"},
      {"Status", "warning lamp on, present"},
      {"Engine speed", "2400"},
      {"Coolant temperature", "87.75"},
      {"Frequency counter", "3"}};
  EXPECT_EQ(Lines(statusOf), expected);

  // Clearing the group of the definition leaves no code to read.
  const int cleared = def.Filed("GODTC_2000", 0x14).at(0)->GetIdentifier();
  EXPECT_EQ(ecu.Request({0x14, uint8_t(cleared >> 8), uint8_t(cleared & 0xFF)}),
            (Bytes{0x54, 0xFF, 0x00}));
  EXPECT_EQ(readByStatus(ecu, 0xFF00), Texts{});
  EXPECT_EQ(byStatus.GetNames(), Texts{"Number of items"});
  EXPECT_EQ(byStatus.GetValueTexts(), Texts{"0"});
}

}  // namespace
}  // namespace sim
