#include "measurement/DataDestination.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "measurement/DataDescription.h"
#include "tests/support/FakeDisplayTargets.h"
#include "platform/SmallIntArray.h"

namespace {

using namespace testing_support;

const std::string kDegreeC =
    "\xC2\xB0"
    "C";

// A data stream that hands its text over when it is deleted.
struct ClosingStream : std::ostringstream {
  ClosingStream(std::string& text, bool& closed) : text(text), closed(closed) {}
  ~ClosingStream() override {
    text = str();
    closed = true;
  }
  std::string& text;
  bool& closed;
};

// Three items of one byte each.
const char* const kThreeItems =
    "RDBLI_2000, 0x21, 0x02, Fuel, 3, A, 1, 0x01, B, 1, 0x01, C, 1, 0x01";
// Two items: Speed (one byte) and Temp (one byte in degrees C).
const char* const kTwoItems =
    "RDBLI_2000, 0x21, 0x01, Engine, 2, Speed, 1, 0x01, Temp, 3, 0x01, 0xA0, 0x17";
// Records of two bytes after one header byte: a code and its status.
const char* const kRecords =
    "RDTC, 0x18, 0x00, Codes, \"#list 1 2\", 2, Code, 1, 0x01, Status, 1, 0x01";

class DataDestinationTest : public ::testing::Test {
 protected:
  DataDestinationTest() {
    destination.AddGrid(grid);
    destination.AddChart(chart, box);
  }

  TDataDescription three{kThreeItems, nullptr};
  TDataDescription two{kTwoItems, nullptr};
  TDataDescription records{kRecords, nullptr};
  FakeGrid grid;
  FakeChart chart, secondChart, thirdChart;
  FakeListBox box, secondBox, thirdBox;  // the second and third are registered by some tests
  TDataDestination destination;          // declared last: it goes first
};

TEST_F(DataDestinationTest, SingleRecordDescriptionsOfferOneSeriesPerItem) {
  destination.AddChart(secondChart, secondBox);

  EXPECT_EQ(destination.AddDescription(three), 0);
  EXPECT_EQ(destination.AddDescription(two), 1);
  EXPECT_EQ(destination.AddDescription(records), 2);

  const Texts expected{"A", "B", "C", "Speed", "Temp"};
  EXPECT_EQ(box.AllTexts(), expected);
  EXPECT_EQ(secondBox.AllTexts(), expected);
  for (int i = 0; i < 5; ++i) {
    EXPECT_NE(box.Object(i), 0);
    EXPECT_EQ(box.Object(i), secondBox.Object(i)) << "both boxes offer the same series";
    for (int j = 0; j < i; ++j)
      EXPECT_NE(box.Object(i), box.Object(j));
  }
}

TEST_F(DataDestinationTest, DescriptionsShareTheGridsOneBlockAfterAnother) {
  const TSmallIntArray threeBytes{1, 2, 3}, twoRecords{2, 0x11, 0x01, 0x22, 0x02};
  struct Case {
    const char* name;
    const char* first;                // description 0
    const TSmallIntArray* firstData;  // its answer before description 1's, if any
    int initialRows;
    int firstRow;  // where description 1's lines land
    int rowsAfter;
  };
  const Case cases[] = {
      {"rows raised to fit", kThreeItems, &threeBytes, 3, 3, 5},
      {"more rows than needed stay", kThreeItems, &threeBytes, 8, 3, 8},
      {"item count before any decode", kThreeItems, nullptr, 1, 3, 5},
      {"line count of the last decode", kRecords, &twoRecords, 3, 5, 7},
      {"records before any decode", kRecords, nullptr, 3, 2, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeGrid sharedGrid(c.initialRows);
    TDataDestination shared;
    shared.AddGrid(sharedGrid);
    TDataDescription first(c.first, nullptr), second(kTwoItems, nullptr);
    shared.AddDescription(first);
    shared.AddDescription(second);
    if (c.firstData) shared.NewData(0, c.firstData, 100, false);
    const TSmallIntArray secondData{0x50, 0x5A};
    shared.NewData(1, &secondData, 200, false);

    EXPECT_EQ(sharedGrid.RowCount(), c.rowsAfter);
    EXPECT_EQ(sharedGrid.Row(c.firstRow), (Texts{"Speed", "80", ""}));
    EXPECT_EQ(sharedGrid.Row(c.firstRow + 1), (Texts{"Temp", "90", kDegreeC}));
  }
}

TEST_F(DataDestinationTest, MultiRecordAnswerThenAShorterOneKeepsTheOlderRowsBelow) {
  FakeListBox strings;  // the items of a list box as strings target
  destination.AddStringsTarget(strings);
  const int index = destination.AddDescription(records);
  const TSmallIntArray threeRecords{3, 0x11, 0x01, 0x22, 0x02, 0x33, 0x03};
  destination.NewData(index, &threeRecords, 1000, false);

  EXPECT_EQ(grid.RowCount(), 7);
  EXPECT_EQ(grid.Row(0), (Texts{"Number of items", "3", ""}));
  EXPECT_EQ(grid.Row(1), (Texts{"1. Code", "17", ""}));
  EXPECT_EQ(grid.Row(6), (Texts{"Status", "3", ""}));
  EXPECT_TRUE(box.entries.empty());
  using Entries = std::vector<FakeListBox::Entry>;
  EXPECT_EQ(strings.entries, (Entries{{"17", 0x11}, {"34", 0x22}, {"51", 0x33}}));

  const TSmallIntArray oneRecord{1, 0x44, 0x04};
  destination.NewData(index, &oneRecord, 2000, false);
  EXPECT_EQ(grid.RowCount(), 7);
  EXPECT_EQ(grid.Row(0), (Texts{"Number of items", "1", ""}));
  EXPECT_EQ(grid.Row(1), (Texts{"1. Code", "68", ""}));
  EXPECT_EQ(grid.Row(2), (Texts{"Status", "4", ""}));
  EXPECT_EQ(grid.Row(3), (Texts{"2. Code", "34", ""})) << "rows of the longer answer stay";
  EXPECT_EQ(strings.entries.size(), 4u);
  EXPECT_EQ(strings.entries.back(), (FakeListBox::Entry{"68", 0x44}));
}

TEST_F(DataDestinationTest, PointsAreTimedInSecondsAndFollowedByTheShownSeries) {
  destination.AddDescription(two);
  box.SetSelected(1, true);  // Temp
  destination.ShowSelectedSeries(box);
  ASSERT_EQ(chart.Titles(), (Texts{"Temp"}));
  EXPECT_EQ(chart.series[0]->penWidth, 2);

  const TSmallIntArray first{0x50, 0x5A}, second{0x51, 0x5B};
  destination.NewData(0, &first, 1500, false);
  destination.NewData(0, &second, 1750, false);

  EXPECT_EQ(chart.series[0]->points, (Points{{1.5, 90}, {1.75, 91}}));
  // The series of an item shown later starts with the points collected so far.
  box.SetSelected(0, true);
  destination.FPenWidth = 3;
  destination.ShowSelectedSeries(box);
  ASSERT_EQ(chart.Titles(), (Texts{"Speed", "Temp"}));
  EXPECT_EQ(chart.series[0]->points, (Points{{1.5, 80}, {1.75, 81}}));
  EXPECT_EQ(chart.series[0]->penWidth, 3);
  EXPECT_EQ(chart.deleted, (Texts{"Temp"}));
}

TEST_F(DataDestinationTest, RequestsThatNameNoDescriptionChangeNothing) {
  destination.AddDescription(two);
  box.SetSelected(0, true);
  destination.ShowSelectedSeries(box);
  const TSmallIntArray data{0x50, 0x5A};
  struct Case {
    const char* name;
    int index;
    const TSmallIntArray* data;
  };
  for (const Case& c : {Case{"index equal to the count", 1, &data}, Case{"index -1", -1, &data},
                        Case{"no data", 0, nullptr}}) {
    SCOPED_TRACE(c.name);
    destination.NewData(c.index, c.data, 1000, false);
    EXPECT_EQ(two.GetValueTexts(), (Texts{"No data", "No data"}));
    EXPECT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(grid.Row(0), (Texts{"<unset>", "<unset>", "<unset>"}));
    EXPECT_TRUE(chart.series[0]->points.empty());
  }
}

TEST_F(DataDestinationTest, ClearResetsGridsAndBoxesAndDetachesShownSeries) {
  destination.AddDescription(three);
  destination.AddDescription(two);
  box.SetSelected(3, true);  // Speed
  destination.ShowSelectedSeries(box);
  const TSmallIntArray data{0x50, 0x5A};
  destination.NewData(1, &data, 500, false);

  destination.Clear();
  EXPECT_EQ(grid.RowCount(), 1);
  EXPECT_EQ(grid.Row(0), (Texts{"", "", ""}));
  EXPECT_TRUE(box.entries.empty());
  EXPECT_EQ(destination.DescriptionCount(), 0);
  // The shown series stays with its points until the box is shown again; it no longer follows
  // the (deleted) data series.
  ASSERT_EQ(chart.SeriesCount(), 1);
  EXPECT_EQ(chart.series[0]->link.Source(), nullptr);
  EXPECT_EQ(chart.series[0]->points, (Points{{0.5, 80}}));

  EXPECT_EQ(destination.AddDescription(two), 0) << "indexes restart after Clear";
  destination.NewData(0, &data, 600, false);
  EXPECT_EQ(chart.series[0]->points, (Points{{0.5, 80}}));
  EXPECT_EQ(grid.Row(0), (Texts{"Speed", "80", ""}));
}

TEST_F(DataDestinationTest, ShowSelectedSeriesIgnoresUnknownBoxesAndForeignEntries) {
  destination.AddDescription(two);
  FakeListBox stranger;
  stranger.AddObject("Speed", box.Object(0));
  stranger.SetSelected(0, true);
  destination.ShowSelectedSeries(stranger);
  EXPECT_EQ(chart.SeriesCount(), 0);

  int notASeries = 0;
  box.AddObject("Other", reinterpret_cast<intptr_t>(&notASeries));
  box.SetSelected(0, true);
  box.SetSelected(2, true);
  destination.ShowSelectedSeries(box);
  EXPECT_EQ(chart.Titles(), (Texts{"Speed"}));

  destination.Clear();
  box.AddObject("Stale", stranger.Object(0));  // names a data series that Clear deleted
  box.SetSelected(0, true);
  destination.ShowSelectedSeries(box);
  EXPECT_EQ(chart.SeriesCount(), 0);
}

TEST_F(DataDestinationTest, SelectDefaultSeriesShowsEntryIOfTheIthBox) {
  destination.AddChart(secondChart, secondBox);
  destination.AddChart(thirdChart, thirdBox);

  destination.SelectDefaultSeries();  // no entries anywhere
  EXPECT_EQ(chart.SeriesCount() + secondChart.SeriesCount() + thirdChart.SeriesCount(), 0);

  destination.AddDescription(two);  // two entries per box
  box.SetSelected(1, true);
  destination.SelectDefaultSeries();
  EXPECT_EQ(chart.Titles(), (Texts{"Speed", "Temp"})) << "other selections remain";
  EXPECT_EQ(secondChart.Titles(), (Texts{"Temp"}));
  EXPECT_EQ(thirdChart.SeriesCount(), 0);
  EXPECT_FALSE(thirdBox.Selected(0) || thirdBox.Selected(1));
}

TEST_F(DataDestinationTest, StreamsReceiveTheReportAndOneDataLinePerCycle) {
  std::ostringstream report;
  destination.AddTextStream(report);
  std::string closedText;
  bool closed = false;
  destination.AddDataStream(std::make_unique<ClosingStream>(closedText, closed));
  destination.AddDescription(three);
  destination.AddDescription(two);

  const TSmallIntArray a{1, 2, 3}, b{0x50, 0x5A};
  for (bool marker : {false, true}) {
    destination.FMarkerOn = marker;
    destination.FMarkerCount = 7;
    destination.NewData(0, &a, 100, false);
    destination.NewData(1, &b, 120, false);
  }
  const std::string header = "\n\\d\\d:\\d\\d:\\d\\d\n";
  const std::string cycle = header + "RDBLI_2000, 0x21, Fuel\nA - 1 - \nB - 2 - \nC - 3 - \n" +
                            header + "RDBLI_2000, 0x21, Engine\nSpeed - 80 - \nTemp - 90 - " +
                            kDegreeC + "\n";
  EXPECT_TRUE(std::regex_match(report.str(), std::regex(cycle + cycle))) << report.str();

  destination.CloseDataFiles();
  EXPECT_TRUE(closed);
  EXPECT_EQ(closedText, "100; 1; 2; 3; 120; 80; 90\n100; 1; 2; 3; 120; 80; 90; 7\n");
  EXPECT_EQ(destination.FMarkerCount, 0);
}

TEST_F(DataDestinationTest, TheReportHeaderShowsTheWholeServiceId) {
  struct Case {
    const char* serviceId;
    const char* shown;
  };
  for (const Case& c : {Case{"0x5", "05"}, Case{"0x1234", "1234"}, Case{"0xFFFFFFFF", "FFFFFFFF"}}) {
    TDataDescription description(std::string("S, ") + c.serviceId + ", 1, T, 1, A, 1, 0x01",
                                 nullptr);
    TDataDestination local;
    std::ostringstream report;
    local.AddTextStream(report);
    const TSmallIntArray data{7};
    local.NewData(local.AddDescription(description), &data, 0, false);
    EXPECT_NE(report.str().find(std::string("\nS, 0x") + c.shown + ", T\n"), std::string::npos)
        << report.str();
  }
}

TEST_F(DataDestinationTest, DestroyingADestinationLeavesNoRowOrEntryBehind) {
  {
    TDataDestination local;
    local.AddGrid(grid);
    local.AddChart(secondChart, secondBox);
    local.AddDescription(two);
    const TSmallIntArray data{0x50, 0x5A};
    local.NewData(0, &data, 500, false);
    ASSERT_EQ(secondBox.Count(), 2);
  }
  EXPECT_TRUE(secondBox.entries.empty()) << "no entry names a deleted data series";
  EXPECT_EQ(grid.RowCount(), 1);
  EXPECT_EQ(grid.Row(0), (Texts{"", "", ""}));
}

}  // namespace
