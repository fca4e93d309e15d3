#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "platform/SmallIntArray.h"
#include "tester/LiveDataReading.h"
#include "tester/LiveDataSelection.h"
#include "tests/support/FakeDisplayTargets.h"

namespace {

using namespace testing_support;

// Groups of 2, 1, 3, 1, 1 and 1 items; "Five" has a service no step is made for.
const char* const kGroups[] = {
    "RDBLI_2000, 0x21, 0x01, One, 2, A, 1, 0x01, B, 1, 0x01",
    "RDBLI_2000, 0x21, 0x02, Two, 1, C, 1, 0x01",
    "RDBLI_2000, 0x21, 0x03, Three, 3, D, 1, 0x01, E, 1, 0x01, F, 1, 0x01",
    "RDBLI_2000, 0x21, 0x04, FOUR, 1, G, 1, 0x01",
    "RDBLI_2000, 0x1A, 0x05, Five, 1, H, 1, 0x01",
    "RDBLI_2000, 0x21, 0x06, Six, 1, I, 1, 0x01",
};

std::unique_ptr<TSequence> ReadStep(const TDataDescription& d) {
  if (d.GetServiceId() != 0x21) return nullptr;
  return TSequence::CreateFromBytes(0x21, static_cast<int16_t>(d.GetIdentifier()), -1, -1, -1);
}

class LiveDataTest : public ::testing::Test {
 protected:
  LiveDataTest() {
    for (const char* statement : kGroups) {
      auto& d = descriptions.emplace_back(std::make_unique<TDataDescription>(statement, nullptr));
      groups.AddObject(d->GetTitle(), reinterpret_cast<intptr_t>(d.get()));
    }
    destination.AddGrid(grid);
    destination.AddChart(chart, chartBox);
  }

  void Choose(std::vector<int> indexes, FakeListBox& box) {
    for (int i = 0; i < box.Count(); ++i)
      box.SetSelected(i, false);
    for (int i : indexes)
      box.SetSelected(i, true);
  }
  void Select(std::vector<int> indexes) {
    Choose(indexes, groups);
    SelectGroups(groups, selection);
  }
  // The engine: takes lists while `running`.
  TLiveDataReading::TExecute Engine() {
    return [this](std::unique_ptr<TSequenceList>&& list) {
      ++offered;
      if (!running) return false;
      queued.push_back(std::move(list));
      return true;
    };
  }
  // Identifiers read by each step of a list, with the description index it routes to.
  static std::vector<std::pair<int, int>> Reads(const TSequenceList& list) {
    std::vector<std::pair<int, int>> reads;
    for (int i = 0; i < list.Count(); ++i)
      reads.emplace_back(list.Items(i)->FParams->Get(0), list.Items(i)->FDestinationIndex);
    return reads;
  }

  std::vector<std::unique_ptr<TDataDescription>> descriptions;
  FakeListBox groups, selection, chartBox;
  FakeGrid grid;
  FakeChart chart;
  TDataDestination destination;
  TLiveDataReading reading{selection, destination, ReadStep};
  bool running = true;
  int offered = 0;
  std::vector<std::unique_ptr<TSequenceList>> queued;
};

TEST_F(LiveDataTest, SelectionTakesAtMostFourTitlesOnceWhateverTheirCase) {
  Select({0, 1, 2, 3, 4, 5});
  EXPECT_EQ(selection.AllTexts(), (Texts{"One", "Two", "Three", "FOUR"}));

  Choose({1, 3}, selection);
  UnselectGroups(selection);
  EXPECT_EQ(selection.AllTexts(), (Texts{"One", "Three"}));
  EXPECT_EQ(selection.Object(1), groups.Object(2)) << "objects stay with their titles";

  groups.AddObject("one", groups.Object(5));  // same title in other letters
  Select({0, 6, 5, 4});
  EXPECT_EQ(selection.AllTexts(), (Texts{"One", "Three", "Five", "Six"}));
}

TEST_F(LiveDataTest, ItemClickSelectsTheWholeGroupAndNoOther) {
  FakeListBox items;  // blocks of 2, 1, 3, 1, 1, 1 lines
  for (const auto& d : descriptions)
    for (int i = 0; i < d->Count(); ++i)
      items.AddObject(d->Strings(i), 0);
  struct Case {
    std::vector<int> itemLines;     // selected before the click
    std::vector<int> groupsBefore;  // selected before the click
    std::vector<bool> groupsAfter;
    std::vector<int> itemsAfter;
  };
  const Case cases[] = {
      {{4}, {}, {false, false, true, false, false, false}, {3, 4, 5}},
      {{0, 8}, {2}, {true, false, false, false, false, true}, {0, 1, 8}},
      {{}, {0, 1}, {false, false, false, false, false, false}, {}},
      {{7}, {}, {false, false, false, false, true, false}, {7}},
  };
  for (const Case& c : cases) {
    Choose(c.itemLines, items);
    Choose(c.groupsBefore, groups);
    SyncGroupSelection(groups, items);
    for (int g = 0; g < groups.Count(); ++g)
      EXPECT_EQ(groups.Selected(g), c.groupsAfter[g]) << "group " << g;
    std::vector<int> selectedItems;
    for (int i = 0; i < items.Count(); ++i)
      if (items.Selected(i)) selectedItems.push_back(i);
    EXPECT_EQ(selectedItems, c.itemsAfter);
  }
}

TEST_F(LiveDataTest, ReadOnceHandsOverAListOfItsOwnAndSkipsGroupsWithoutAStep) {
  reading.ReadOnce(Engine());
  EXPECT_EQ(offered, 0) << "nothing selected, nothing read";

  Select({4, 0, 2});
  reading.ReadOnce(Engine());
  ASSERT_EQ(queued.size(), 1u);
  const TSequenceList& list = *queued[0];
  EXPECT_EQ(list.FName, "");
  EXPECT_EQ(Reads(list), (std::vector<std::pair<int, int>>{{0x01, 0}, {0x03, 1}}));
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(list.Items(i)->FName, "DataWithDestination");
    EXPECT_EQ(list.Items(i)->FDestination, &destination);
  }
  EXPECT_EQ(list.Items(1)->FData, groups.Object(2));
  EXPECT_EQ(destination.DescriptionCount(), 2) << "the skipped group is not registered";
  EXPECT_EQ(reading.ContSequence(), nullptr);

  running = false;  // a refused list is freed, nothing is kept (leak-checked)
  reading.ReadOnce(Engine());
  EXPECT_EQ(offered, 2);
}

TEST_F(LiveDataTest, ContinuousReadingKeepsTwoCopiesInFlightAcrossQuickRestarts) {
  EXPECT_EQ(reading.Toggle(Engine()), TLiveDataReading::TToggleResult::Nothing);
  Select({0, 1});
  ASSERT_EQ(reading.Toggle(Engine()), TLiveDataReading::TToggleResult::Started);
  ASSERT_EQ(queued.size(), 2u);
  for (const auto& copy : queued) {
    EXPECT_EQ(copy->FName, "ContReadData");
    EXPECT_NE(copy.get(), reading.ContSequence());
    EXPECT_EQ(Reads(*copy), Reads(*reading.ContSequence()));
  }
  EXPECT_TRUE(chartBox.Selected(0)) << "default series shown";

  for (int answer = 0; answer < 50; ++answer)
    EXPECT_TRUE(reading.CopyAnswered(Engine()));
  EXPECT_EQ(queued.size(), 52u);
  EXPECT_EQ(reading.CopiesInFlight(), 2);

  // A read once meanwhile neither replaces the master list nor clears the destination, and the
  // copies in flight are still shown.
  const TSmallIntArray answer{7, 31, 5};
  destination.NewData(0, &answer, 0, false);
  const auto shown = grid.cells;
  Select({2});
  reading.ReadOnce(Engine());
  EXPECT_EQ(Reads(*queued.back()), (std::vector<std::pair<int, int>>{{1, 0}, {2, 1}, {3, 2}}));
  EXPECT_EQ(Reads(*reading.ContSequence()), (std::vector<std::pair<int, int>>{{1, 0}, {2, 1}}));
  EXPECT_EQ(grid.cells, shown);
  EXPECT_TRUE(reading.CopyAnswered(Engine()));
  EXPECT_TRUE(reading.CopyAnswered(Engine()));

  EXPECT_EQ(reading.Toggle(Engine()), TLiveDataReading::TToggleResult::Stopped);
  EXPECT_EQ(reading.ContSequence(), nullptr);
  const size_t beforeRestart = queued.size();
  ASSERT_EQ(reading.Toggle(Engine()), TLiveDataReading::TToggleResult::Started);
  EXPECT_EQ(queued.size(), beforeRestart) << "two copies of the earlier run are still out";
  // The earlier run's copies are answered first; they name the earlier registration.
  EXPECT_FALSE(reading.CopyAnswered(Engine()));
  EXPECT_FALSE(reading.CopyAnswered(Engine()));
  EXPECT_TRUE(reading.CopyAnswered(Engine()));
  EXPECT_EQ(queued.size(), beforeRestart + 3);
  EXPECT_EQ(reading.CopiesInFlight(), 2);

  reading.Toggle(Engine());
  EXPECT_TRUE(reading.CopyAnswered(Engine())) << "answers in flight after a stop are shown";
  EXPECT_EQ(queued.size(), beforeRestart + 3) << "but not repeated";
}

TEST_F(LiveDataTest, AfterTheConnectionEndsAnEmptySelectionRepeatsTheLastList) {
  Select({0, 1});
  reading.Toggle(Engine());
  reading.ConnectionEnded();
  EXPECT_FALSE(reading.IsOn());
  Choose({0, 1}, selection);
  UnselectGroups(selection);
  reading.ReadOnce(Engine());
  ASSERT_EQ(queued.size(), 3u) << "a read once repeats the kept list too";
  EXPECT_EQ(queued.back()->FName, "");
  EXPECT_EQ(Reads(*queued.back()), (std::vector<std::pair<int, int>>{{1, 0}, {2, 1}}));
  destination.Clear();

  running = false;  // both copies refused: on, with nothing in flight
  ASSERT_EQ(reading.Toggle(Engine()), TLiveDataReading::TToggleResult::Started);
  EXPECT_EQ(offered, 5);
  EXPECT_EQ(reading.CopiesInFlight(), 0);
  EXPECT_EQ(destination.DescriptionCount(), 2) << "the repeated list is registered again";
  EXPECT_EQ(reading.Toggle(Engine()), TLiveDataReading::TToggleResult::Stopped);
  EXPECT_EQ(reading.Toggle(Engine()), TLiveDataReading::TToggleResult::Nothing);
}

TEST_F(LiveDataTest, AnEmptySelectionReadsTheKeptListWithoutClearingWhatIsShown) {
  struct Case {
    std::vector<int> kept, readBefore;       // groups of the kept list; of a read once before it
    bool start;                              // the kept list is started rather than read once
    std::vector<std::pair<int, int>> reads;  // of the list handed over last, if any
    int descriptions;
  };
  const Case cases[] = {
      {{0}, {}, false, {{1, 0}}, 1},
      {{4}, {2}, false, {}, 1},  // a kept list of no steps
      {{0}, {2}, false, {{1, 1}}, 2},
      {{0, 1}, {2}, true, {{1, 1}, {2, 2}}, 3},
  };
  auto selectOnly = [this](std::vector<int> indexes) {
    selection.Clear();
    Select(indexes);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    reading.Reset();
    destination.Clear();
    selectOnly(c.kept);
    reading.Toggle(Engine());
    reading.ConnectionEnded();
    if (!c.readBefore.empty()) {
      selectOnly(c.readBefore);
      reading.ReadOnce(Engine());
    }
    const TSmallIntArray answer{7, 31, 5};
    destination.NewData(0, &answer, 0, false);  // "A | 7" or, after group Three, "D | 7"
    const auto shown = grid.cells;
    selectOnly({});
    const size_t before = queued.size();
    if (c.start)
      reading.Toggle(Engine());
    else
      reading.ReadOnce(Engine());
    EXPECT_EQ(grid.cells, shown);
    EXPECT_EQ(destination.DescriptionCount(), c.descriptions);
    EXPECT_EQ(queued.size() - before, c.reads.empty() ? 0u : c.start ? 2u : 1u);
    if (!c.reads.empty()) {
      EXPECT_EQ(Reads(*queued.back()), c.reads);
    }
  }
}

TEST_F(LiveDataTest, ResetBeforeALoadHidesEveryCopyInFlight) {
  Select({0});
  reading.Toggle(Engine());
  reading.Reset();
  EXPECT_FALSE(reading.IsOn());
  EXPECT_EQ(reading.ContSequence(), nullptr);
  EXPECT_FALSE(reading.CopyAnswered(Engine()));
  EXPECT_FALSE(reading.CopyAnswered(Engine()));
  EXPECT_EQ(queued.size(), 2u);
}

}  // namespace
