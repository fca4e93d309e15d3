// The KWP2000 tester's requests end to end on the simulated engine ECU: live data read once and
// continuously into both grids and the chart, identification and trouble codes, and the single
// services, each checked by the frames on the bus.
#include <QComboBox>
#include <QTimer>
#include <fstream>

#include "sim/Kwp2000Ecu.h"
#include "sim/Kwp2000EngineEcu.h"
#include "tests/kwp2000/Kwp2000WindowFixture.h"
#include "ui/Chart.h"
#include "ui/ListBox.h"
#include "ui/StringGrid.h"

#include <QLineSeries>

namespace {

using namespace kwp2000test;

class Kwp2000Requests : public Kwp2000Window {
 protected:
  // The shipped definition file and the engine ECU it describes.
  void OpenOnEngine() {
    std::filesystem::copy_file(
        std::filesystem::path(QUOBRIX_SOURCE_DIR) / "Def" / "QuobrixKWP2000.def",
        directory.Path() + "Def/QuobrixKWP2000.def");
    simulation.Bus().SetModel(
        std::make_unique<sim::Kwp2000Ecu>(sim::Kwp2000EcuConfig{}, sim::Kwp2000EngineData()));
    Open();
  }
  void Connect() {
    Click("ButtonStartComm2000");
    ASSERT_NE(form->CommThread(), nullptr);
  }
  // Frames of service 0x21 for local identifier `id` the tester sent.
  int ReadsOf(int id) {
    const auto payloads = TesterPayloads();
    return static_cast<int>(std::count(payloads.begin(), payloads.end(), Bytes{0x21, uint8_t(id)}));
  }
  // The requests sent from frame `first` on, without the keep-alive.
  std::vector<Bytes> RequestsSince(size_t first) {
    std::vector<Bytes> requests;
    for (const Bytes& payload : TesterPayloads(first))
      if (payload.front() != 0x3E) requests.push_back(payload);
    return requests;
  }
  bool AwaitRequests(size_t first, size_t count) {
    return ServeUntil([&] { return RequestsSince(first).size() >= count; }, 5000);
  }
  // Serves until no request but the keep-alive went on the line for a while.
  void AwaitQuietLine() {
    size_t requests = RequestsSince(0).size();
    for (int quiet = 0; quiet < 3;) {
      ServeUntil([] { return false; }, 200);
      const size_t now = RequestsSince(0).size();
      quiet = now == requests ? quiet + 1 : 0;
      requests = now;
    }
  }
};

TEST_F(Kwp2000Requests, LiveDataReachesBothGridsAndTheChartOnceAndContinuously) {
  OpenOnEngine();
  SelectGroups({0, 1, 2, 3, 4});
  EXPECT_EQ(Texts(List("ListBoxReadSel")), (Lines{"Engine basics", "Mixture control",
                                                  "Ignition and air", "Vehicle and switches"}));
  EXPECT_EQ(List("ListBoxItemsAll").Count(), 7 + 6 + 4 + 4);
  ClickEntries("ListBoxItemsAll", {8});  // an item of "Mixture control"
  EXPECT_FALSE(List("ListBoxReadSel").Selected(0));
  EXPECT_TRUE(List("ListBoxReadSel").Selected(1));

  // Without a connection the buttons do nothing and write nothing.
  const size_t lines = Log().size();
  Click("ButtonReadDataOnce");
  Click("ButtonToggleReadDataCont1");
  EXPECT_EQ(Log().size(), lines);
  EXPECT_FALSE(form->KeyPreview());

  Connect();
  const size_t first = TesterPayloads().size();
  Click("ButtonReadDataOnce");
  ASSERT_TRUE(AwaitRequests(first, 4));
  ASSERT_TRUE(
      ServeUntil([&] { return Grid("StringGrid4").Cell(0, 20) == "Engine running time"; }, 3000));
  EXPECT_EQ(RequestsSince(first), (std::vector<Bytes>{{0x21, 1}, {0x21, 2}, {0x21, 3}, {0x21, 4}}));
  EXPECT_TRUE(Logged("Send: Read data by local ID, ID = 04"));
  ui::StringGrid& values = Grid("StringGrid1");
  EXPECT_EQ(values.Cell(0, 0), "Engine speed");
  EXPECT_EQ(values.Cell(2, 0), "rpm");
  EXPECT_NE(values.Cell(1, 0), "");
  for (int column : {0, 1, 2})
    EXPECT_EQ(Column(values, column), Column(Grid("StringGrid4"), column));
  EXPECT_EQ(List("ListBoxItemsChart1").Count(), 21);
  EXPECT_EQ(ChartPoints(), 0) << "no item chosen for the chart yet";
  ClickEntries("ListBoxItemsChart1", {0});
  EXPECT_EQ(ChartPoints(), 1);

  // Continuous reading: the default item in the chart, values that change, no log lines.
  const size_t logged = Log().size();
  Click("ButtonToggleReadDataCont2");
  EXPECT_TRUE(form->KeyPreview());
  const std::string runningTime = values.Cell(1, 20);
  EXPECT_TRUE(
      ServeUntil([&] { return values.Cell(1, 20) != runningTime && ChartPoints() >= 3; }, 6000));
  EXPECT_EQ(Grid("StringGrid4").Cell(1, 20), values.Cell(1, 20));
  Click("ButtonToggleReadDataCont1");
  EXPECT_FALSE(form->KeyPreview());
  AwaitQuietLine();
  EXPECT_EQ(Log().size(), logged);
  EXPECT_TRUE(boxes.Boxes().empty());
}

// Every answered copy of the continuous-read list is replaced by one more: the copies sent are
// the answers shown while reading was on plus the two in flight, also across a quick restart,
// whose two earlier copies are answered but not shown.
TEST_F(Kwp2000Requests, ContinuousReadingKeepsTwoRequestsInFlight) {
  OpenOnEngine();
  SelectGroups({0});
  Connect();
  Click("ButtonToggleReadDataCont1");
  ASSERT_TRUE(ServeUntil([&] { return ChartPoints() >= 50; }, 20000));
  const int shownInFirstRun = ChartPoints();
  Click("ButtonToggleReadDataCont1");
  Click("ButtonToggleReadDataCont1");
  ASSERT_TRUE(ServeUntil([&] { return ChartPoints() >= 20; }, 10000));
  const int shownInSecondRun = ChartPoints();
  Click("ButtonToggleReadDataCont1");
  AwaitQuietLine();

  EXPECT_EQ(ReadsOf(1), shownInFirstRun + shownInSecondRun + 4);
  EXPECT_EQ(ChartPoints(), shownInSecondRun + 2) << "the last two copies are shown";
  EXPECT_TRUE(boxes.Boxes().empty());
}

// The ECU falling silent ends the connection and the continuous reading with it.
TEST_F(Kwp2000Requests, EcuFallingSilentDuringContinuousReadingReturnsTheWindowToIdle) {
  OpenOnEngine();
  SetText("EditT2EOffset", "-6300");  // an answer is awaited 100 ms
  SelectGroups({0, 3});
  Connect();
  Click("ButtonToggleReadDataCont1");
  ASSERT_TRUE(ServeUntil([&] { return ChartPoints() >= 2; }, 5000));
  ASSERT_TRUE(sim::WithKwp2000Ecu(simulation.Bus(),
                                  [](sim::Kwp2000Ecu& ecu) { ecu.Model().InjectSilence(1000); }));
  ASSERT_TRUE(AwaitIdle());
  ExpectIdle();
  EXPECT_FALSE(form->KeyPreview());
  const size_t lines = Log().size();
  Click("ButtonToggleReadDataCont2");
  EXPECT_EQ(Log().size(), lines);
}

// A load frees the descriptions while copies are in flight: reading stops, the copies still
// answered are not shown, and reading starts again with the new selection.
TEST_F(Kwp2000Requests, DefinitionLoadDuringContinuousReading) {
  OpenOnEngine();
  SelectGroups({0, 1, 2, 3});
  Connect();
  Click("ButtonToggleReadDataCont1");
  ASSERT_TRUE(ServeUntil([&] { return ChartPoints() >= 2; }, 5000));
  auto& files = Control<QComboBox>("ComboBoxDefFileList");
  emit files.activated(0);
  EXPECT_EQ(List("ListBoxReadSel").Count(), 0);
  AwaitQuietLine();
  EXPECT_EQ(Grid("StringGrid1").RowCount(), 1);
  EXPECT_EQ(Grid("StringGrid1").Cell(0, 0), "");

  SelectGroups({4});
  Click("ButtonToggleReadDataCont1");
  EXPECT_TRUE(ServeUntil([&] { return Grid("StringGrid1").Cell(0, 0) == "Distance"; }, 3000));
  Click("ButtonToggleReadDataCont1");
  AwaitQuietLine();
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(Kwp2000Requests, StartPlusIdThenTroubleCodesReadClearedAndReadAgain) {
  OpenOnEngine();
  // Without a connection nothing is sent and nothing written.
  const size_t lines = Log().size();
  for (const char* button :
       {"ButtonIDnew", "ButtonReadDTCByStatusNew", "ButtonReadStatusOfDTC", "ButtonClearDI"})
    Click(button);
  EXPECT_EQ(Log().size(), lines);

  const size_t first = TesterPayloads().size();
  Click("ButtonStartComplete");
  ASSERT_NE(form->CommThread(), nullptr);
  ASSERT_TRUE(AwaitRequests(first, 10));
  const std::vector<Bytes> requests = RequestsSince(first);
  EXPECT_EQ(std::vector<Bytes>(requests.begin() + 1, requests.end()),
            (std::vector<Bytes>{{0x83, 0x02},
                                {0x1A, 0x90},
                                {0x1A, 0x97},
                                {0x1A, 0x8A},
                                {0x1A, 0x91},
                                {0x1A, 0x94},
                                {0x1A, 0x95},
                                {0x1A, 0x99},
                                {0x1A, 0x9B}}));
  ui::StringGrid& ident = Grid("StringGrid2");
  ASSERT_TRUE(ServeUntil([&] { return ident.Cell(0, 7) == "Calibration"; }, 3000));
  EXPECT_EQ(ident.Cell(0, 0), "Vehicle identification number");
  EXPECT_NE(ident.Cell(1, 0), "");
  EXPECT_TRUE(Logged("Read Current Timing"));
  EXPECT_TRUE(Logged("Timing : Current values read"));

  ui::ListBox& codes = List("ListBoxDTCGroup17");
  const int defined = codes.Count();
  auto readCodes = [&](int expected) {
    return ServeUntil(
        [&] { return codes.Count() == expected && Grid("StringGrid3").RowCount() > 1; }, 3000);
  };
  for (int read = 0; read < 2; ++read) {
    const size_t before = TesterPayloads().size();
    Grid("StringGrid3").SetRowCount(1);
    Click("ButtonReadDTCByStatusNew");
    ASSERT_TRUE(readCodes(defined + 4)) << "read " << read;
    EXPECT_EQ(RequestsSince(before), (std::vector<Bytes>{{0x18, 0x02, 0xFF, 0x00}}));
  }
  EXPECT_TRUE(List("ListBoxDTCStatus18").Selected(0));
  EXPECT_TRUE(List("ListBoxDTCGroup18").Selected(0));

  codes.SetSelected(defined + 1, true);
  const int code = static_cast<int>(codes.Object(defined + 1));
  size_t before = TesterPayloads().size();
  Click("ButtonReadStatusOfDTC");
  ASSERT_TRUE(AwaitRequests(before, 1));
  EXPECT_EQ(RequestsSince(before), (std::vector<Bytes>{{0x17, uint8_t(code >> 8), uint8_t(code)}}));
  EXPECT_TRUE(ServeUntil([&] { return Grid("StringGrid3").Cell(1, 1) != ""; }, 3000));
  EXPECT_EQ(Grid("StringGrid3").Cell(0, 1), "1. Trouble code");
  ASSERT_EQ(codes.Count(), defined + 1);
  EXPECT_EQ(codes.Object(defined), code) << "the code read can be read again";

  before = TesterPayloads().size();
  Click("ButtonClearDI");
  ASSERT_TRUE(AwaitRequests(before, 2));
  EXPECT_EQ(RequestsSince(before),
            (std::vector<Bytes>{{0x14, 0xFF, 0x00}, {0x18, 0x02, 0xFF, 0x00}}));
  EXPECT_TRUE(ServeUntil([&] { return Logged("DTC's cleared for group : FF00"); }, 3000));
  EXPECT_TRUE(ServeUntil([&] { return Logged("Number of DTC's : 0"); }, 3000));
  EXPECT_EQ(codes.Count(), defined) << "none read after the clear";
  EXPECT_TRUE(boxes.Boxes().empty());
}

// Each single-service button sends its bytes from its fields; the hidden ones and a field that
// is not a number send nothing.
TEST_F(Kwp2000Requests, SingleServiceButtonsSendTheirBytes) {
  simulation.Bus().SetModel(std::make_unique<sim::Kwp2000Ecu>());
  Open();
  Click("ButtonEcuReset");
  const Lines unconnected = Log();
  EXPECT_EQ(Lines(unconnected.end() - 2, unconnected.end()),
            (Lines{"ButtonEcuReset", "Communication not running"}));
  Connect();
  struct Case {
    const char* button;
    const char* field;  // set to `text` first, if any
    const char* text;
    const char* line;
    Bytes request;  // empty: nothing sent
  };
  const Case cases[] = {
      {"ButtonReadTiming", nullptr, nullptr, "Read Current Timing", {0x83, 0x02}},
      {"ButtonReadTiming2", nullptr, nullptr, "Read Current Timing", {0x83, 0x02}},
      {"ButtonReadTimingLimits", nullptr, nullptr, "Read Timing Limits", {0x83, 0x00}},
      {"ButtonReadDBLID", "MaskEditRDBLI", "0x01", "Read Data by local ID", {0x21, 0x01}},
      {"ButtonReadDBLID", "MaskEditRDBLI", "0xZZ", "Read Data by local ID", {}},
      {"ButtonReadDBCID", "MaskEditRDBCI", "0xf190", "Read Data by common ID", {0x22, 0xF1, 0x90}},
      {"ButtonIOCtrlLI",
       "MaskEditIOCLI_LI",
       "0x10",
       "Input Output Control by local ID",
       {0x30, 0x10, 0x04}},
      {"ButtonMode2000", nullptr, nullptr, "No Action", {}},
      {"ButtonWriteByteLocID", nullptr, nullptr, "No Action", {}},
      {"ButtonWriteWordLocID", nullptr, nullptr, "No Action", {}},
      {"ButtonSetTiming",
       "MaskEditP2min",
       "0x32",
       "Set Timing",
       {0x83, 0x03, 0x32, 0x0A, 0x14, 0x14, 0x00}},
      {"ButtonEcuReset", nullptr, nullptr, "ECU Reset", {0x11, 0x01}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    if (c.field) SetText(c.field, c.text);
    const size_t before = TesterPayloads().size();
    const size_t lines = Log().size();
    auto& button = Control<QAbstractButton>(c.button);
    if (button.isEnabled())
      button.click();
    else
      form->KWP2000ButtonClick(button);  // hidden: as its handler is bound
    const Lines log = Log();
    ASSERT_GE(log.size(), lines + 2);
    EXPECT_EQ(Lines(log.begin() + lines, log.begin() + lines + 2), (Lines{c.button, c.line}));
    if (c.request.empty()) {
      ServeUntil([] { return false; }, 200);
      EXPECT_TRUE(RequestsSince(before).empty());
      continue;
    }
    ASSERT_TRUE(AwaitRequests(before, 1));
    EXPECT_EQ(RequestsSince(before), std::vector<Bytes>{c.request});
    ServeUntil([&] { return Log().size() > lines + 2; }, 2000);  // the answer
  }
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "'0xZZ' is not a valid integer value");
}

}  // namespace
