#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kwp2000/Kwp2000Requests.h"
#include "kwp2000/SingleServices.h"
#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "platform/Exceptions.h"
#include "tester/TaggedRequests.h"
#include "tests/support/FakeDisplayTargets.h"

namespace {

using namespace testing_support;
using Bytes = std::vector<int>;

// Service id and parameter bytes of each step.
std::vector<Bytes> Frames(const TSequenceList& list) {
  std::vector<Bytes> frames;
  for (int i = 0; i < list.Count(); ++i) {
    const TSequence& step = *list.Items(i);
    Bytes frame{step.FServiceId};
    for (int j = 0; j < step.ParamCount(); ++j)
      frame.push_back(step.FParams->Get(j));
    frames.push_back(frame);
  }
  return frames;
}

TEST(SingleServices, EachTagSendsItsBytesFromTheFieldsInOrder) {
  const std::map<std::string, std::string> defaults{
      {"MaskEditRDBLI", "0x00"},    {"MaskEditRDBCI", "0x0000"},  {"MaskEditResetMode", "0x01"},
      {"MaskEditIOCLI_LI", "0x00"}, {"MaskEditIOCLI_CP", "0x04"}, {"MaskEditP2min", "0x00"},
      {"MaskEditP2max", "0x0a"},    {"MaskEditP3min", "0x14"},    {"MaskEditP3max", "0x14"},
      {"MaskEditP4min", "0x00"}};
  struct Case {
    int tag;
    std::map<std::string, std::string> fields;  // differences from the defaults
    const char* line;
    Bytes request;  // empty: nothing is sent
    std::vector<std::string> read;
  };
  const Case cases[] = {
      {1, {}, "ID 80-9F", {}, {}},
      {2, {{"MaskEditRDBLI", "0x3c"}}, "Read Data by local ID", {0x21, 0x3C}, {"MaskEditRDBLI"}},
      {5, {}, "ECU Reset", {0x11, 0x01}, {"MaskEditResetMode"}},
      {6, {}, "Read Current Timing", {0x83, 0x02}, {}},
      {7,
       {},
       "Set Timing",
       {0x83, 0x03, 0x00, 0x0A, 0x14, 0x14, 0x00},
       {"MaskEditP2min", "MaskEditP2max", "MaskEditP3min", "MaskEditP3max", "MaskEditP4min"}},
      {7,
       {{"MaskEditP2min", "0x32"}, {"MaskEditP4min", "10"}},
       "Set Timing",
       {0x83, 0x03, 0x32, 0x0A, 0x14, 0x14, 0x0A},
       {"MaskEditP2min", "MaskEditP2max", "MaskEditP3min", "MaskEditP3max", "MaskEditP4min"}},
      {8, {}, "Read Timing Limits", {0x83, 0x00}, {}},
      {10,
       {{"MaskEditRDBCI", "0x1234"}},
       "Read Data by common ID",
       {0x22, 0x12, 0x34},
       {"MaskEditRDBCI"}},
      {30,
       {{"MaskEditIOCLI_LI", "0x05"}},
       "Input Output Control by local ID",
       {0x30, 0x05, 0x04},
       {"MaskEditIOCLI_LI", "MaskEditIOCLI_CP"}},
      {3, {}, "No Action", {}, {}},
      {20, {}, "No Action", {}, {}},
      {21, {}, "No Action", {}, {}},
      {0, {}, "No Action", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    std::vector<std::string> read;
    auto fieldText = [&](const char* field) {
      read.push_back(field);
      return c.fields.contains(field) ? c.fields.at(field) : defaults.at(field);
    };
    const TSingleService& service = SingleServiceFor(c.tag);
    EXPECT_EQ(service.Line, std::string(c.line));
    std::unique_ptr<TSequenceList> request = SingleServiceRequest(service, fieldText);
    EXPECT_EQ(read, c.read);
    if (c.request.empty()) {
      EXPECT_EQ(request, nullptr);
      continue;
    }
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(Frames(*request), std::vector<Bytes>{c.request});
    EXPECT_EQ(request->FName, "");
    EXPECT_EQ(request->Items(0)->FName, "") << "answers of single services are not routed";
  }
}

TEST(SingleServices, AFieldThatIsNoNumberStopsTheRequest) {
  auto fieldText = [](const char* field) {
    return std::string(field) == "MaskEditP3min" ? "0xg1" : "0x01";
  };
  try {
    SingleServiceRequest(SingleServiceFor(7), fieldText);
    FAIL() << "no conversion error";
  } catch (const plat::EConvertError& error) {
    EXPECT_STREQ(error.what(), "'0xg1' is not a valid integer value");
  }
}

class Kwp2000RequestsTest : public ::testing::Test {
 protected:
  TDataDescription& Describe(const std::string& statement) {
    return *descriptions.emplace_back(std::make_unique<TDataDescription>(statement, nullptr));
  }
  static void Fill(FakeListBox& box, std::vector<intptr_t> objects) {
    for (intptr_t object : objects)
      box.AddObject(std::to_string(object), object);
  }
  static int ChosenLine(const FakeListBox& box) {
    for (int i = 0; i < box.Count(); ++i)
      if (box.Selected(i)) return i;
    return -1;
  }

  std::vector<std::unique_ptr<TDataDescription>> descriptions;
  FakeGrid grid{5};
  TDataDestination destination;
};

TEST_F(Kwp2000RequestsTest, ReadAndIdentificationStepsFollowTheServiceId) {
  for (const char* statement :
       {"RDBLI_2000, 0x21, 0x05, A, 1, a, 1, 0x01", "RDBCI_2000, 0x22, 0x1234, B, 1, b, 1, 0x01",
        "RDBCI_2000, 0x22, 0x10100, C, 1, c, 1, 0x01", "RDBLI_2000, 0x1A, 0x19B, D, 1, d, 1, 0x01",
        "RDBLI_2000, 0x21, 0x1FF, E, 1, e, 1, 0x01"})
    Describe(statement);
  const auto& groups = descriptions;
  destination.AddGrid(grid);
  std::unique_ptr<TSequenceList> live = BuildTaggedList(groups, destination, MakeReadDataStep);
  EXPECT_EQ(
      Frames(*live),
      (std::vector<Bytes>{{0x21, 0x05}, {0x22, 0x12, 0x34}, {0x22, 0x01, 0x00}, {0x21, 0xFF}}));
  EXPECT_EQ(live->Items(3)->FDestinationIndex, 3) << "the group without a step is not registered";

  std::unique_ptr<TSequenceList> ident = IdentificationRequest(groups, destination);
  EXPECT_EQ(Frames(*ident),
            (std::vector<Bytes>{
                {0x21, 0x05}, {0x22, 0x12, 0x34}, {0x22, 0x01, 0x00}, {0x1A, 0x9B}, {0x21, 0xFF}}));
  EXPECT_EQ(grid.RowCount(), 1) << "the destination was cleared first";
  for (int i = 0; i < ident->Count(); ++i) {
    EXPECT_EQ(ident->Items(i)->FName, "DataWithDestination");
    EXPECT_EQ(ident->Items(i)->FDestinationIndex, i);
    EXPECT_EQ(ident->Items(i)->FData, reinterpret_cast<intptr_t>(groups[i].get()));
  }
}

TEST_F(Kwp2000RequestsTest, TroubleCodeRequestsTakeTheChosenLinesOrTheFirst) {
  TDataDescription& byStatus = Describe("RDTCBS_2000, 0x18, 0x00, Codes, 1, Code, 1, 0x01");
  FakeListBox status, groups, codes;
  struct Case {
    const char* name;
    std::vector<intptr_t> statusObjects, groupObjects;
    int chosenStatus, chosenGroup;  // -1: none chosen
    Bytes request;
  };
  const Case cases[] = {
      {"empty lists", {}, {}, -1, -1, {0x18, 0x00, 0xFF, 0x00}},
      {"first lines chosen", {0x02, 0x08}, {0x1000, 0x2000}, -1, -1, {0x18, 0x02, 0x10, 0x00}},
      {"chosen lines", {0x02, 0x08}, {0x1000, 0x12000}, 1, 1, {0x18, 0x08, 0x20, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    status.Clear();
    groups.Clear();
    Fill(status, c.statusObjects);
    Fill(groups, c.groupObjects);
    if (c.chosenStatus >= 0) status.SetSelected(c.chosenStatus, true);
    if (c.chosenGroup >= 0) groups.SetSelected(c.chosenGroup, true);
    auto request = DtcByStatusRequest(byStatus, status, groups, destination);
    EXPECT_EQ(Frames(*request), std::vector<Bytes>{c.request});
    EXPECT_EQ(request->Items(0)->FDestination, &destination);
    EXPECT_EQ(destination.DescriptionCount(), 1) << "cleared, then registered once";
    EXPECT_EQ(ChosenLine(status), status.Count() > 0 ? std::max(c.chosenStatus, 0) : -1);
    EXPECT_EQ(ChosenLine(groups), groups.Count() > 0 ? std::max(c.chosenGroup, 0) : -1);
  }

  Fill(codes, {0x0130, 0x10420});
  EXPECT_EQ(Frames(*StatusOfDtcRequest(byStatus, codes, destination)),
            (std::vector<Bytes>{{0x17, 0x01, 0x30}}));
  codes.SetSelected(0, false);
  codes.SetSelected(1, true);
  EXPECT_EQ(Frames(*StatusOfDtcRequest(byStatus, codes, destination)),
            (std::vector<Bytes>{{0x17, 0x04, 0x20}}));

  for (auto [group, request] : {std::pair{kAllDtcGroups, Bytes{0x14, 0xFF, 0x00}},
                                std::pair{0x11234, Bytes{0x14, 0x12, 0x34}}}) {
    auto clear = ClearDtcRequest(group);
    EXPECT_EQ(Frames(*clear), std::vector<Bytes>{request});
    EXPECT_EQ(clear->Items(0)->FName, "") << "the clear answer is only logged";
  }
}

}  // namespace
