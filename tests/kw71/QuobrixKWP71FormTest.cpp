// The KW71/KW81 tester's window end to end on the simulated KW71 ECU: the window as it starts,
// a session in each framing (start, identification from the start's answer, RAM and ADC values
// once and continuously, fault codes read and cleared, stop), and failed starts.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QTabWidget>
#include <filesystem>
#include <string>

#include "kw71/QuobrixKWP71Main.h"
#include "sim/Kw71Ecu.h"
#include "tester/FtdiInformation.h"
#include "tests/support/TesterWindowFixture.h"

namespace {

using namespace windowtest;

// The controls that differ from the KWP2000 tester's window, and the hidden check boxes.
const ControlRow kDifferences[] = {
    {"Connect", "ButtonStartComm2000", "Start Comm", 0, ""},
    {"Connect", "ButtonStopComm2000", "Stop  Comm", 0, ""},
    {"", "ButtonStartComplete", "Start + ID", 0, ""},
    {"", "ButtonStopAll", "Stop", 0, ""},
    {"Connect", "MaskEditEcuAddress2000", "0x10 \\0\\xNN;_", 0, ""},
    {"Connect", "BaudRate", "38400|19200|10400|9600|8192|4800|1200 = 4800", 0, ""},
    {"Connect", "RadioGroupSubType", "Prot SubType: Auto|KWP71|KWP81 ?? #0", 0, ""},
    {"Connect", "MaskEditMaxNrKBs", "5 00", 0, ""},
    {"Connect", "MaskEditMaxTime55", "1500 00000", 0, ""},
    {"Connect", "MaskEditMaxTimeKBs", "1000 00000", 0, ""},
    {"Connect", "MaskEditKB2CplTime", "30 00000", 0, ""},
    {"Connect", "MaskEditMaxEcuInt", "150 00000", 0, ""},
    {"Connect", "MaskEditMaxEcu2Tester", "400 00000", 0, ""},
    {"Connect", "EditT2EOffset", "250", 0, ""},
    {"Connect", "Label18", "KeyBytes Received :", 0, ""},
    {"Connect", "LabelKeyWord", "----", 0, ""},
    {"Connect", "CheckBoxRcvEcho", "Echo after send [x]", 0, "invisible but enabled"},
    {"Connect", "CheckBoxSetDTR", "Set DTR (+12V) [ ]", 0, "invisible but enabled"},
    {"Diagnose", "ButtonReadDTCByStatusNew", "Read DTC", 1000, ""},
    {"Diagnose", "ButtonClearDI", "Clear DTC's", 4, ""},
    {"Misc and Debug", "ButtonEcuReset", "ECU Reset", 5, "hidden"},
    {"Misc and Debug", "MaskEditResetMode", "0x01 \\0\\xNN;_", 0, "hidden"},
    {"Misc and Debug", "ButtonReadDBLID", "Read Data LI 21", 2, "hidden"},
    {"Misc and Debug", "MaskEditRDBLI", "0x00 \\0\\xNN;_", 0, "hidden"},
    {"Misc and Debug", "ButtonReadDBCID", "Read Data CI 22", 10, "hidden"},
    {"Misc and Debug", "MaskEditRDBCI", "0x0000 \\0\\xNNNN;_", 0, "hidden"},
    {"Misc and Debug", "ButtonIOCtrlLI", "In Out Ctrl LI 30", 30, "hidden"},
    {"Misc and Debug", "MaskEditIOCLI_LI", "0x00 \\0\\xNN;_", 0, "hidden"},
    {"Misc and Debug", "MaskEditIOCLI_CP", "0x04 \\0\\xNN;_", 0, "hidden"},
    {"Misc and Debug", "ButtonWriteByteLocID", "Write Byte LI", 20, "hidden"},
    {"Misc and Debug", "ButtonWriteWordLocID", "Write Word LI", 21, "hidden"},
    {"Misc and Debug", "ButtonFTDIinfo", "FTDI info", 0, ""},
};

class Kw71Window : public TesterWindow<TQuobrixKWP71Form> {
 protected:
  // The shipped definition file, and the KW71 ECU of `config` behind the interface.
  void OpenOnEcu(const sim::Kw71EcuConfig& config) {
    std::filesystem::copy_file(
        std::filesystem::path(QUOBRIX_SOURCE_DIR) / "Def" / "QuobrixKWP71.def",
        directory.Path() + "Def/QuobrixKWP71.def");
    simulation.Bus().SetModel(std::make_unique<sim::Kw71Ecu>(config));
    Open();
  }
  // The titles of the tester's blocks the ECU received since its wake-up.
  std::vector<uint8_t> Titles() {
    std::vector<uint8_t> titles;
    sim::WithModel<sim::Kw71Ecu>(simulation.Bus(),
                                 [&](sim::Kw71Ecu& ecu) { titles = ecu.Model().ReceivedTitles(); });
    return titles;
  }
  int Count(uint8_t title) {
    const std::vector<uint8_t> titles = Titles();
    return static_cast<int>(std::count(titles.begin(), titles.end(), title));
  }
  // The value column of a grid's row as a number in [low, high]; fails otherwise.
  static void ExpectValue(ui::StringGrid& grid, int row, double low, double high) {
    const std::string text = grid.Cell(1, row);
    SCOPED_TRACE(grid.Cell(0, row) + " = " + text);
    size_t used = 0;
    double value = 0;
    ASSERT_NO_THROW(value = std::stod(text, &used));
    EXPECT_EQ(used, text.size());
    EXPECT_GE(value, low);
    EXPECT_LE(value, high);
  }
  // Wire time of the tester's last byte, in µs.
  int64_t LastTesterByteMicros() {
    simulation.Bus().Drain();
    const auto& trace = simulation.Bus().Trace();
    for (auto event = trace.rbegin(); event != trace.rend(); ++event)
      if (event->kind == sim::LineEventKind::TesterByte) return event->duration / 1000;
    return 0;
  }
};

TEST_F(Kw71Window, StartsWithItsOwnControlsVersionAndDeviceInformation) {
  Open();
  EXPECT_EQ(form->windowTitle(), "Quobrix KWP71/81 by Hembrowe");
  ExpectControls(kDifferences);
  // The KWP2000 tester's own controls do not exist here.
  for (const char* name :
       {"MaskEditTesterAddress2000", "RadioInit2000", "RadioGroupAddressMode",
        "RadioGroupHeaderType", "RadioGroupLengthInfo", "MaskEditP2min", "ButtonReadTiming",
        "LabelKeyWordDec", "ButtonMode2000", "ListBoxDTCStatus18", "ListBoxDTCGroup17",
        "ButtonReadStatusOfDTC", "ButtonDefineLI", "ButtonReadTiming2", "ButtonReadTimingLimits"})
    EXPECT_EQ(form->findChild<QWidget*>(name), nullptr) << name;
  EXPECT_EQ(Control<QComboBox>("ComboBoxDefFileList").itemText(0).toStdString(),
            directory.Path() + "Def/QuobrixKWP71.def");
  auto& about = Control<ui::ActivityLogMemo>("Memo2");
  Lines aboutLines;
  for (int i = 3; i < about.LineCount(); ++i)
    aboutLines.push_back(about.Line(i));
  EXPECT_EQ(aboutLines,
            (Lines{"", "Product\t: QuobrixKWP71", "Author\t: Hembrowe", "Version\t: 0.5.0.11"}));

  // "FTDI info" writes the block with the EEPROM dump.
  const size_t before = Log().size();
  Click("ButtonFTDIinfo");
  const Lines log = Log();
  const Lines block(log.begin() + before, log.end());
  Lines expected = tester::DeviceInformationWithEepromLines(simulation.Ftdi());
  for (std::string& line : expected)  // the EEPROM holds line-break bytes: one line each still
    line = QString::fromStdString(line)
               .replace(QChar('\n'), QChar(u'\u240A'))
               .replace(QChar('\r'), QChar(u'\u240D'))
               .toStdString();
  EXPECT_EQ(block, expected);
  EXPECT_NE(std::find(block.begin(), block.end(), "User EEprom size: 0x58"), block.end());
  EXPECT_TRUE(boxes.Boxes().empty());
}

struct Framing {
  const char* name;
  bool kwp81;
  int subType;  // item of "Prot SubType"
};

class Kw71Session : public Kw71Window, public ::testing::WithParamInterface<Framing> {};

TEST_P(Kw71Session, ConnectsReadsValuesAndFaultCodesAndStops) {
  sim::Kw71EcuConfig ecu;
  ecu.kwp81 = GetParam().kwp81;
  OpenOnEcu(ecu);
  ASSERT_TRUE(boxes.Boxes().empty());
  Control<tester::RadioGroup>("RadioGroupSubType").SetItemIndex(GetParam().subType);

  // "Start + ID" only starts; the identification comes with the start's answer.
  const size_t started = Log().size();
  Click("ButtonStartComplete");
  ASSERT_NE(form->CommThread(), nullptr);
  const Lines log = Log();
  const auto keyBytes = std::find(log.begin() + started, log.end(), "KeyBytes, count : 2");
  ASSERT_LE(keyBytes + 3, log.end());
  EXPECT_EQ(Lines(keyBytes + 1, keyBytes + 3), (Lines{"01", "8A"}));
  EXPECT_EQ(Control<QLabel>("LabelKeyWord").text(), "01 8A ");
  EXPECT_EQ(LastTesterByteMicros(), 2083) << "the blocks run at 4800 baud";
  EXPECT_TRUE(simulation.Ftdi().State().dtr) << "the hidden check box, ticked by the file";
  ui::StringGrid& ident = Grid("StringGrid2");
  ASSERT_TRUE(ServeUntil([&] { return ident.Cell(1, 2) == "V1.3"; }, 5000));
  EXPECT_EQ(Column(ident, 1), (Lines{"02612030", "QUOBRIX 71", "V1.3"}));
  EXPECT_TRUE(Logged("ID after 5baud init: "));
  EXPECT_EQ(Count(0x00), 0) << "no identification request";

  Click("ButtonIDnew");
  ASSERT_TRUE(ServeUntil([&] { return Count(0x00) == 1 && ident.Cell(1, 2) == "V1.3"; }, 5000));
  EXPECT_EQ(Column(ident, 1), (Lines{"02612030", "QUOBRIX 71", "V1.3"}));

  // RAM and ADC groups read once, then continuously into the grids and the chart.
  EXPECT_EQ(Texts(List("ListBoxReadAll")),
            (Lines{"Engine state", "Fuel", "Battery voltage", "Lambda probe", "Intake pressure"}));
  SelectGroups({0, 2});
  Click("ButtonReadDataOnce");
  ui::StringGrid& values = Grid("StringGrid1");
  ASSERT_TRUE(ServeUntil(
      [&] { return values.RowCount() == 5 && values.Cell(1, 4) != "No data" && Count(0x08) == 1; },
      5000));
  EXPECT_TRUE(Sent({0x01, 0x04, 0x00, 0x40}));
  EXPECT_TRUE(Sent({0x08, 0x01}));
  EXPECT_TRUE(Logged("Read RAM : 04 00 40 "));
  EXPECT_TRUE(Logged("Read ADC channel 0x01 :"));
  EXPECT_EQ(Column(values, 0), (Lines{"Engine speed", "Coolant temperature", "Throttle position",
                                      "Switches", "Battery voltage"}));
  EXPECT_EQ(Column(values, 2), (Lines{"rpm", "°C", "%", "", "V"}));
  // The engine started with the wake-up: cranking or a cold idle, the alternator charging.
  ExpectValue(values, 0, 200, 1500);
  ExpectValue(values, 1, 15, 25);
  ExpectValue(values, 2, 0, 0);
  EXPECT_EQ(values.Cell(1, 3), "idle");
  ExpectValue(values, 4, 10, 14.5);

  Click("ButtonToggleReadDataCont1");
  ASSERT_TRUE(ServeUntil([&] { return ChartPoints() >= 5; }, 10000));
  Click("ButtonToggleReadDataCont2");
  EXPECT_FALSE(form->KeyPreview());
  EXPECT_GE(Count(0x01), 6);
  EXPECT_EQ(Column(Grid("StringGrid4"), 0), Column(values, 0));

  // Fault codes read, then cleared and read again.
  ui::StringGrid& faults = Grid("StringGrid3");
  Click("ButtonReadDTCByStatusNew");
  ASSERT_TRUE(ServeUntil([&] { return faults.RowCount() == 16; }, 5000));
  EXPECT_EQ(faults.Cell(1, 0), "3");
  EXPECT_EQ(faults.Cell(1, 1), "Coolant temperature sensor");
  EXPECT_EQ(faults.Cell(1, 2), "Short circuit at V batt, stored");
  EXPECT_EQ(faults.Cell(1, 11), "Engine speed sensor");
  EXPECT_TRUE(Logged("DTC: 0x1F = 31"));
  EXPECT_TRUE(Logged("     type : 0x01 Open circuit"));
  if (!GetParam().kwp81) SaveTabScreenshots(QUOBRIX_TEST_OUTPUT_DIR "/kw71-tab-");
  Click("ButtonClearDI");
  ASSERT_TRUE(ServeUntil([&] { return faults.RowCount() == 1 && faults.Cell(1, 0) == "0"; }, 5000));
  EXPECT_EQ(Count(0x07), 2);
  EXPECT_EQ(Count(0x05), 1);
  EXPECT_TRUE(Logged("Clear diagnostic faultcodes :"));
  EXPECT_TRUE(Logged("No faultcodes"));

  Click("ButtonStopAll");
  ASSERT_TRUE(AwaitIdle());
  EXPECT_TRUE(Logged("Stop connection to ECU :"));
  EXPECT_TRUE(Logged("OK, no response received"));
  ExpectIdle();
  EXPECT_TRUE(boxes.Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Framings, Kw71Session,
                         ::testing::Values(Framing{"Kwp71ByAuto", false, 0},
                                           Framing{"Kwp81", true, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// A start that fails writes no line of the window and leaves it idle; the next start with the
// fields set right connects at the chosen baud rate.
TEST_F(Kw71Window, FailedStartsReturnToIdleAndTheChosenBaudRateConnects) {
  struct Case {
    const char* name;
    const char* emptyField;  // a field left empty, or none
    const char* shown;       // the message box, or none
  };
  const Case cases[] = {
      {"silent ECU", nullptr, nullptr},
      {"empty handshake field", "MaskEditKB2CplTime", "'' is not a valid integer value"},
      {"empty timing field", "MaskEditMaxEcuInt", "'' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simulation.Bus().SetModel(c.emptyField ? std::make_unique<sim::Kw71Ecu>()
                                           : std::unique_ptr<sim::Kw71Ecu>());
    Open();
    if (c.emptyField) SetText(c.emptyField, "");
    uitest::MessageBoxRecorder shown;
    Click("ButtonStartComm2000");
    ASSERT_TRUE(AwaitIdle());
    ExpectIdle();
    EXPECT_EQ(Control<QLabel>("LabelKeyWord").text(), "----");
    EXPECT_FALSE(Logged("KeyBytes, count : 0"));
    ASSERT_EQ(shown.Boxes().size(), c.shown ? 1u : 0u);
    if (c.shown) {
      EXPECT_EQ(shown.Boxes()[0].text, c.shown);
    }
  }
  sim::Kw71EcuConfig ecu;
  ecu.baudRate = 9600;
  simulation.Bus().SetModel(std::make_unique<sim::Kw71Ecu>(ecu));
  Open();
  Control<QComboBox>("BaudRate").setCurrentText("9600");
  Click("ButtonStartComm2000");
  ASSERT_NE(form->CommThread(), nullptr);
  EXPECT_EQ(Control<QLabel>("LabelKeyWord").text(), "01 8A ");
  EXPECT_EQ(LastTesterByteMicros(), 1041);
  Click("ButtonStopComm2000");
  ASSERT_TRUE(AwaitIdle());
}

}  // namespace
