// The KWP2000 tester's window end to end on the simulated interface: the window as it starts,
// the version and device information, and connections with every choice of the Connect tab
// checked on the bus, failed starts, an ECU that falls silent and closing while connected.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "sim/Kwp2000Ecu.h"
#include "sim/Kwp2000EngineEcu.h"
#include "sim/SimulatedFtdi.h"
#include "tester/RadioGroup.h"
#include "tests/kwp2000/Kwp2000WindowFixture.h"
#include "tests/ui/QtTestEnvironment.h"
#include "ui/ActivityLogMemo.h"
#include "ui/ListBox.h"
#include "ui/StatusBar.h"
#include "ui/StringGrid.h"

namespace {

namespace fs = std::filesystem;
using namespace kwp2000test;
using windowtest::ControlRow;
using windowtest::PageOf;

// --- the window as it starts -------------------------------------------------------------

const ControlRow kControls[] = {
    {"", "ButtonStartComplete", "Start + ID", 0, ""},
    {"", "ButtonStopAll", "Stop", 0, ""},
    {"", "BitBtn1", "&Open Definition File", 0, ""},
    {"Connect", "CheckBoxRcvEcho", "Echo after send [x]", 0, ""},
    {"Connect", "CheckBoxSetDTR", "Set DTR (+12V) [ ]", 0, ""},
    {"Connect", "ButtonStartComm2000", "Start Comm 2000", 0, ""},
    {"Connect", "ButtonStopComm2000", "Stop  Comm 2000", 0, ""},
    {"Connect", "RadioGroupAddressMode",
     "Address Mode: HM 2 Physical address|HM 3 Functional address #0", 0, ""},
    {"Connect", "RadioGroupHeaderType",
     "Header Type: Auto|1 byte  header|Tgt/Src address in header #0", 0, ""},
    {"Connect", "RadioInit2000", "Init Type: fast init|5 baud init #0", 0, ""},
    {"Connect", "RadioGroupLengthInfo",
     "Length Information: Auto|Length in formatbyte|Additional lengthbyte #0", 0, ""},
    {"Connect", "MaskEditTesterAddress2000", "0xf1 \\0\\xNN;_", 0, ""},
    {"Connect", "MaskEditEcuAddress2000", "0x10 \\0\\xNN;_", 0, ""},
    {"Connect", "MaskEditP2min", "0x00 \\0\\xNN;_", 0, ""},
    {"Connect", "MaskEditP2max", "0x0a \\0\\xNN;_", 0, ""},
    {"Connect", "MaskEditP3min", "0x14 \\0\\xNN;_", 0, ""},
    {"Connect", "MaskEditP3max", "0x14 \\0\\xNN;_", 0, ""},
    {"Connect", "MaskEditP4min", "0x00 \\0\\xNN;_", 0, ""},
    {"Connect", "ButtonReadTiming", "Read Timing", 6, ""},
    {"Connect", "ButtonSetTiming", "Set Timing", 7, ""},
    {"Connect", "LabelKeyWord", "----", 0, ""},
    {"Connect", "LabelKeyWordDec", "----", 0, ""},
    {"Connect", "EditT2EOffset", "250", 0, ""},
    {"Connect", "ButtonMode2000", "Set Mode", 3, "hidden"},
    {"Connect", "MaskEditMode2000", "0x86 \\0\\xNN;_", 0, "hidden"},
    {"Connect", "MaskEditModeBaud2000", "0x00 \\0\\xNN;_", 0, "hidden"},
    {"Connect", "CheckBoxMode", "Send Baud byte [ ]", 0, "hidden"},
    {"Identification", "ButtonIDnew", "Read ECU Identification", 1, ""},
    {"Diagnose", "ButtonReadDTCByStatusNew", "Read DTC by Status", 1000, ""},
    {"Diagnose", "ButtonReadStatusOfDTC", "Read Status of DTC", 1001, ""},
    {"Diagnose", "ButtonClearDI", "Clear DTC's", 4, ""},
    {"Diagnose", "ListBoxDTCStatus18", "", 0, ""},
    {"Diagnose", "ListBoxDTCGroup18", "", 0, ""},
    {"Diagnose", "ListBoxDTCGroup17", "", 0, ""},
    {"Diagnose", "ListBoxDTCGroup14", "", 0, "hidden"},
    {"Realtime Select", "ListBoxReadAll", "", 0, ""},
    {"Realtime Select", "ListBoxItemsReadAll", "", 0, ""},
    {"Realtime Select", "ButtonSelect", ">", 0, ""},
    {"Realtime Select", "ButtonUnSelect", "<", 0, ""},
    {"Realtime Select", "LabelReadSel", "Selected For Read", 0, ""},
    {"Realtime Select", "LabelItemsAll", "All Items in Selected for Read", 0, ""},
    {"Realtime Select", "ButtonReadDataOnce", "Read Selected Data Once", 3, ""},
    {"Realtime Select", "ButtonToggleReadDataCont1", "Start/Stop Read Data Continuous", 3, ""},
    {"Realtime Select", "ButtonDefineLI", "Define LI with Items Selected", 0, "hidden"},
    {"Realtime Graph", "ListBoxItemsChart1", "", 0, ""},
    {"Realtime Graph", "ButtonToggleReadDataCont2", "Start/Stop Read Data Continuous", 3, ""},
    {"Realtime Graph", "Chart2", "", 0, "hidden"},
    {"Realtime Graph", "Chart3", "", 0, "hidden"},
    {"Realtime Graph", "ListBoxItemsChart2", "", 0, "hidden"},
    {"Realtime Graph", "ListBoxItemsChart3", "", 0, "hidden"},
    {"Misc and Debug", "ButtonEcuReset", "ECU Reset", 5, ""},
    {"Misc and Debug", "MaskEditResetMode", "0x01 \\0\\xNN;_", 0, ""},
    {"Misc and Debug", "ButtonReadDBLID", "Read Data LI 21", 2, ""},
    {"Misc and Debug", "MaskEditRDBLI", "0x00 \\0\\xNN;_", 0, ""},
    {"Misc and Debug", "ButtonReadDBCID", "Read Data CI 22", 10, ""},
    {"Misc and Debug", "MaskEditRDBCI", "0x0000 \\0\\xNNNN;_", 0, ""},
    {"Misc and Debug", "ButtonIOCtrlLI", "In Out Ctrl LI 30", 30, ""},
    {"Misc and Debug", "MaskEditIOCLI_LI", "0x00 \\0\\xNN;_", 0, ""},
    {"Misc and Debug", "MaskEditIOCLI_CP", "0x04 \\0\\xNN;_", 0, "disabled"},
    {"Misc and Debug", "ButtonReadTiming2", "Read Timing", 6, ""},
    {"Misc and Debug", "ButtonReadTimingLimits", "Read Timing Limits", 8, ""},
    {"Misc and Debug", "ButtonWriteByteLocID", "Write Byte LI", 20, "hidden"},
    {"Misc and Debug", "MaskEditByteLI", "0x00 \\0\\xNN;_", 0, "hidden"},
    {"Misc and Debug", "ButtonWriteWordLocID", "Write Word LI", 21, "hidden"},
    {"Misc and Debug", "MaskEditWordLI", "0x0000 \\0\\xNNNN;_", 0, "hidden"},
    {"Misc and Debug", "ButtonFTDIinfo", "FTDI info", 0, ""},
    {"About", "StaticText1", "Quobrix", 0, ""},
    {"About", "StaticText2", "KWP2000", 0, ""},
};

// The default definition file stops at an error: it is shown, and the window opens all the same.
TEST_F(Kwp2000Window, StartsWithEveryControlTheListsAndTheVersion) {
  for (const char* name : {"a.def", "B.DEF", ".def", "notes.txt"})
    std::ofstream(directory.Path() + "Def/" + name);
  std::ofstream(directory.Path() + "Def/QuobrixKWP2000.def")
      << "RDBLI_2000 0x21 1 Group 1 Speed 1 0x01;\n#list Colours;\nREI_2000 0x1A 0x90 Id 1 V 1 "
         "0x61;\n";
  // Numbers use a point whatever the system's locale.
  std::setlocale(LC_ALL, "de_DE.utf8");
  QLocale::setDefault(QLocale(QLocale::German));
  Open();
  EXPECT_EQ(std::to_string(1.5), "1.500000");
  EXPECT_EQ(QLocale().toString(1.5), "1.5");

  EXPECT_EQ(form->windowTitle(), "Quobrix KWP2000 by Hembrowe");
  EXPECT_EQ(form->size(), QSize(1024, 768));
  auto& pages = Control<QTabWidget>("PageControl1");
  QStringList tabs;
  for (int i = 0; i < pages.count(); ++i)
    tabs << pages.tabText(i);
  EXPECT_EQ(tabs.join(","),
            "Connect,Identification,Diagnose,Realtime Select,Realtime Graph,"
            "Misc and Debug,About");
  EXPECT_EQ(pages.tabText(pages.currentIndex()), "Identification");
  ExpectControls(kControls);
  EXPECT_EQ(Control<QComboBox>("ComboBoxDefFileList").maxVisibleItems(), 15);
  auto& statusBar = Control<ui::StatusBar>("StatusBar1");
  EXPECT_EQ(statusBar.findChildren<QLabel*>().size(), 3);
  for (QLabel* panel : statusBar.findChildren<QLabel*>())
    EXPECT_EQ(panel->width(), 50);

  // The default definition file first, then the directory's in the file system's order.
  const std::string def = directory.Path() + "Def/";
  auto& files = Control<QComboBox>("ComboBoxDefFileList");
  ASSERT_EQ(files.count(), 5);
  EXPECT_EQ(files.currentIndex(), 0);
  EXPECT_EQ(files.itemText(0).toStdString(), def + "QuobrixKWP2000.def");
  const Lines log = Log();
  const auto listing = std::find(log.begin(), log.end(), "Directory listing of " + def + "*.def");
  ASSERT_EQ(Lines(listing + 5, log.end()),
            (Lines{"File read: " + def + "QuobrixKWP2000.def", "RDBLI_2000 : Group"}));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "List index out of bounds (2)");
  EXPECT_EQ(Control<ui::ListBox>("ListBoxReadAll").Count(), 1);
  EXPECT_EQ(Control<ui::ListBox>("ListBoxItemsReadAll").Count(), 1);
  std::set<std::string> listed, offered;
  for (int i = 1; i <= 4; ++i) {
    listed.insert(listing[i]);
    offered.insert("  " + files.itemText(i).toStdString());
  }
  EXPECT_EQ(listed, offered);
  EXPECT_EQ(listed, (std::set<std::string>{"  " + def + "QuobrixKWP2000.def", "  " + def + "a.def",
                                           "  " + def + "B.DEF", "  " + def + ".def"}));
  EXPECT_FALSE(Logged("Error getting FileInfo"));

  auto& ports = Control<QComboBox>("ComboBoxComPort");
  ASSERT_EQ(ports.count(), 1);
  EXPECT_EQ(ports.currentText(), "0x00000F11");
  auto& about = Control<ui::ActivityLogMemo>("Memo2");
  Lines aboutLines;
  for (int i = 0; i < about.LineCount(); ++i)
    aboutLines.push_back(about.Line(i));
  EXPECT_EQ(aboutLines,
            (Lines{"", "Quobrix Software from Hembrowe", "", "", "Product\t: QuobrixKWP2000",
                   "Author\t: Hembrowe", "Version\t: 0.5.0.11"}));

  // Sizes the layout keeps, and a screenshot of every tab.
  form->show();
  SaveTabScreenshots(QUOBRIX_TEST_OUTPUT_DIR "/kwp2000-tab-");
  EXPECT_EQ(Control("Chart1").height(), 337);
  EXPECT_EQ(Control("ListBoxItemsChart1").height(), 313);
  for (const QLabel* label : form->findChildren<QLabel*>())  // text whole in fixed heights
    EXPECT_LE(label->fontMetrics().height(), label->contentsRect().height());
  for (auto [label, list] :
       {std::pair{"LabelReadSel", "ListBoxReadSel"}, std::pair{"LabelItemsAll", "ListBoxItemsAll"}})
    EXPECT_EQ(Control(label).mapTo(form.get(), QPoint()).y() + 16,
              Control(list).mapTo(form.get(), QPoint()).y());
  pages.setCurrentIndex(pages.indexOf(PageOf(pages, Control("StringGrid1"))));
  auto& grid = Control<ui::StringGrid>("StringGrid1");
  grid.resize(706, grid.height());
  EXPECT_EQ(grid.columnWidth(0), 478);
  EXPECT_EQ(grid.columnWidth(1), 150);
  EXPECT_EQ(grid.columnWidth(2), 70);
  std::setlocale(LC_ALL, "C");
  QLocale::setDefault(QLocale::c());
}

// --- version and device information ------------------------------------------------------

TEST_F(Kwp2000Window, VersionLinesOfWhatTheLookupFinds) {
  struct Case {
    const char* name;
    tester::TVersionLookup lookup;
    Lines about;  // after the fixed lines and the empty line
    int errors;
  };
  const Case cases[] = {
      {"compiled in",
       TQuobrixKWP2000Form::CompiledVersion,
       {"Product\t: QuobrixKWP2000", "Author\t: Hembrowe", "Version\t: 0.5.0.11"},
       0},
      {"no company",
       [] {
         return std::optional<tester::TVersionStrings>(
             {{"ProductName", "QuobrixKWP2000"}, {"FileVersion", "0.5.0.11"}});
       },
       {"Product\t: QuobrixKWP2000", "Version\t: 0.5.0.11"},
       1},
      {"no version information", [] { return std::optional<tester::TVersionStrings>(); }, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(c.lookup);
    auto& about = Control<ui::ActivityLogMemo>("Memo2");
    Lines lines;
    for (int i = 4; i < about.LineCount(); ++i)
      lines.push_back(about.Line(i));
    EXPECT_EQ(about.Line(3), "");
    EXPECT_EQ(lines, c.about);
    const Lines log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Error getting FileInfo"), c.errors);
  }
}

TEST_F(Kwp2000Window, DeviceInformationBlocksAndThePortList) {
  const Lines device = {"Number of FTDI devices is 1",
                        "Device: 0",
                        "  Flags=0x00000000",
                        "  Type=0x00000005",
                        "  ID=0x04036001",
                        "  LocId=0x00000F11",
                        "  SerialNumber=QBX00001",
                        "  Description=Quobrix K-line simulated"};
  struct Case {
    const char* name;
    std::function<void(sim::SimulatedFtdi&)> prepare;
    Lines block;
    const char* port;  // the port list's only entry, or none
  };
  auto withFaults = [](auto change) {
    return [change](sim::SimulatedFtdi& ftdi) {
      sim::Faults faults;
      change(faults);
      ftdi.SetFaults(faults);
    };
  };
  Lines attached{"", "Library version = 0x00010500", ""};
  attached.insert(attached.end(), device.begin(), device.end());
  attached.push_back("");
  Lines noVersion = attached;
  noVersion[1] = "error reading library version";
  const Case cases[] = {
      {"one interface", [](sim::SimulatedFtdi&) {}, attached, "0x00000F11"},
      {"library version fails", withFaults([](sim::Faults& f) { f.failLibraryVersion = true; }),
       noVersion, "0x00000F11"},
      {"device count fails",
       withFaults([](sim::Faults& f) { f.failCreateDeviceInfo = true; }),
       {"", "Library version = 0x00010500", "", ""},
       "0x00000F11"},
      {"device nodes fail",
       withFaults([](sim::Faults& f) { f.failFillDeviceInfo = true; }),
       {"", "Library version = 0x00010500", "", "Number of FTDI devices is 1", ""},
       "0x00000F11"},
      {"listing fails", withFaults([](sim::Faults& f) { f.failListing = true; }), attached,
       nullptr},
      {"nothing attached",
       [](sim::SimulatedFtdi& ftdi) { ftdi.Unplug(); },
       {"", "Library version = 0x00010500", "", "Number of FTDI devices is 0", ""},
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simulation.Ftdi().Reset();
    c.prepare(simulation.Ftdi());
    Open();
    auto& ports = Control<QComboBox>("ComboBoxComPort");
    if (c.port) {
      ASSERT_EQ(ports.count(), 1);
      EXPECT_EQ(ports.currentText(), c.port);
    } else {
      EXPECT_EQ(ports.count(), 0);
      EXPECT_EQ(ports.currentIndex(), -1);
    }
    // Each press adds a fresh block.
    for (int press = 0; press < 2; ++press) {
      const size_t before = Log().size();
      Click("ButtonFTDIinfo");
      const Lines log = Log();
      EXPECT_EQ(Lines(log.begin() + before, log.end()), c.block);
    }
  }
}

// --- connections ---------------------------------------------------------------------------

struct ConnectCase {
  const char* name;
  int initType;  // items of the Connect tab's radio groups
  int addressMode;
  int headerType;
  int lengthInfo;
  uint8_t keyByte1;    // the ECU's first key byte (header and length forms it offers)
  Bytes startRequest;  // empty for the 5-baud initialisation
  Bytes stopRequest;   // framed with the header and length the choices and key bytes give
  const char* keyWord;
  const char* keyWordDec;
};

class Kwp2000Connection : public Kwp2000Window,
                          public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(Kwp2000Connection, ConnectsWithTheChosenInitHeaderAndLengthAndStops) {
  const ConnectCase& c = GetParam();
  sim::Kwp2000EcuConfig ecu;
  ecu.identity.keyByte1 = c.keyByte1;
  simulation.Bus().SetModel(std::make_unique<sim::Kwp2000Ecu>(ecu));
  Open();
  Control<tester::RadioGroup>("RadioInit2000").SetItemIndex(c.initType);
  Control<tester::RadioGroup>("RadioGroupAddressMode").SetItemIndex(c.addressMode);
  Control<tester::RadioGroup>("RadioGroupHeaderType").SetItemIndex(c.headerType);
  Control<tester::RadioGroup>("RadioGroupLengthInfo").SetItemIndex(c.lengthInfo);
  const size_t before = Log().size();
  Click("ButtonStartComm2000");

  ASSERT_NE(form->CommThread(), nullptr);
  const Lines log = Log();
  const Lines started(log.begin() + before, log.end());
  EXPECT_EQ(std::count(started.begin(), started.end(), "COM Port opened"), 1);
  const auto keyBytes = std::find(started.begin(), started.end(), "KeyBytes, count : 2");
  ASSERT_LE(keyBytes + 3, started.end());
  char keyByte1[3];
  std::snprintf(keyByte1, sizeof keyByte1, "%02X", c.keyByte1);
  EXPECT_EQ(keyBytes[1], keyByte1);
  EXPECT_EQ(keyBytes[2], "8F");
  EXPECT_EQ(Control<QLabel>("LabelKeyWord").text(), c.keyWord);
  EXPECT_EQ(Control<QLabel>("LabelKeyWordDec").text(), c.keyWordDec);
  for (const char* name : {"ComboBoxComPort", "CheckBoxSetDTR", "CheckBoxRcvEcho",
                           "ButtonStartComm2000", "ButtonStartComplete"})
    EXPECT_FALSE(Control(name).isEnabled()) << name;
  EXPECT_TRUE(Control("ButtonStopComm2000").isEnabled());
  EXPECT_TRUE(Control("ButtonStopAll").isEnabled());
  ASSERT_TRUE(sim::WithKwp2000Ecu(simulation.Bus(), [&](sim::Kwp2000Ecu& model) {
    const auto& wakeUps = model.Model().WakeUps();
    ASSERT_EQ(wakeUps.size(), 1u);
    EXPECT_EQ(wakeUps[0].address, c.startRequest.empty() ? 0x10 : -1);
  }));
  if (!c.startRequest.empty()) {
    EXPECT_TRUE(Sent(c.startRequest));
  }

  Click("ButtonStopAll");
  ASSERT_TRUE(AwaitIdle());
  EXPECT_TRUE(Sent(c.stopRequest));
  // The answers were decoded into the log.
  if (!c.startRequest.empty()) {
    EXPECT_TRUE(Logged(std::string("Start communication rcvd, keybytes : ") + keyByte1 + " 8F "));
  }
  EXPECT_TRUE(Logged("Send: Stop communication"));
  EXPECT_TRUE(Logged("Communication stopped"));
  ExpectIdle();
  EXPECT_TRUE(boxes.Boxes().empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Choices, Kwp2000Connection,
    ::testing::Values(
        // name, init, address mode, header type, length info, key byte 1, start, stop, key words
        ConnectCase{"FastAutoPhysical", 0, 0, 0, 0, 0xEF,
                    {0x81, 0x10, 0xF1, 0x81, 0x03}, {0x01, 0x82, 0x83}, "8FEF", "2031"},
        // "Auto" takes the addressed header an ECU offers alone.
        ConnectCase{"FastAutoAddressesByKeyBytes", 0, 0, 0, 0, 0xE9,
                    {0x81, 0x10, 0xF1, 0x81, 0x03}, {0x81, 0x10, 0xF1, 0x82, 0x04}, "8FE9", "2025"},
        ConnectCase{"FastOneByteFunctional", 0, 1, 1, 0, 0xEF,
                    {0xC1, 0x10, 0xF1, 0x81, 0x43}, {0x41, 0x82, 0xC3}, "8FEF", "2031"},
        ConnectCase{"FastOneByteLengthByte", 0, 0, 1, 2, 0xEF,
                    {0x81, 0x10, 0xF1, 0x81, 0x03}, {0x00, 0x01, 0x82, 0x83}, "8FEF", "2031"},
        ConnectCase{"FastTgtSrcPhysicalLengthByte", 0, 0, 2, 2, 0xEF,
                    {0x81, 0x10, 0xF1, 0x81, 0x03}, {0x80, 0x10, 0xF1, 0x01, 0x82, 0x04}, "8FEF", "2031"},
        ConnectCase{"FastTgtSrcFunctionalLengthInFormat", 0, 1, 2, 1, 0xEF,
                    {0xC1, 0x10, 0xF1, 0x81, 0x43}, {0xC1, 0x10, 0xF1, 0x82, 0x44}, "8FEF", "2031"},
        ConnectCase{"FiveBaudAutoPhysical", 1, 0, 0, 0, 0xEF,
                    {}, {0x01, 0x82, 0x83}, "8FEF", "2031"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// A start that fails at any step leaves no worker, port or protocol behind and the window idle,
// so the next start works.
TEST_F(Kwp2000Window, FailedStartsReturnToIdleAndTheNextStartConnects) {
  struct Case {
    const char* name;
    std::function<void()> spoil;  // undone by opening the window afresh
    const char* shown;            // the message box, or none
    bool portOpened;              // "COM Port opened" written
    bool noCommunication;         // "No communication" written
  };
  const Case cases[] = {
      {"silent ECU",
       [this] {
         simulation.Bus().SetModel(nullptr);
         SetText("EditT2EOffset", "-6300");  // the first byte is awaited 100 ms
       },
       nullptr, true, true},
      {"unknown location id",
       [this] { Control<QComboBox>("ComboBoxComPort").setEditText("0x00000123"); },
       "ECommError 8 0000048F", false, false},
      {"latency refused",
       [this] {
         sim::Faults faults;
         faults.latencyStatus = plat::ftdi::kIoError;
         simulation.Ftdi().SetFaults(faults);
       },
       "0000001F, Error setting latency, 4", false, true},
      {"offset not a number", [this] { SetText("EditT2EOffset", "abc"); },
       "'abc' is not a valid integer value", true, false},
      {"tester address not a number", [this] { SetText("MaskEditTesterAddress2000", "0xzz"); },
       "'0xzz' is not a valid integer value", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simulation.Ftdi().Reset();
    simulation.Bus().SetModel(std::make_unique<sim::Kwp2000Ecu>());
    Open();
    c.spoil();
    uitest::MessageBoxRecorder shown;
    const size_t before = Log().size();
    Click("ButtonStartComm2000");
    ASSERT_TRUE(AwaitIdle());
    ExpectIdle();
    const Lines log = Log();
    const Lines lines(log.begin() + before, log.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "COM Port opened"), c.portOpened ? 1 : 0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "No communication"), c.noCommunication);
    ASSERT_EQ(shown.Boxes().size(), c.shown ? 1u : 0u);
    if (c.shown) {
      EXPECT_EQ(shown.Boxes()[0].text, c.shown);
    }
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Thread object freed"), 1);

    // The next start with good settings connects.
    Open();
    simulation.Ftdi().SetFaults({});
    simulation.Bus().SetModel(std::make_unique<sim::Kwp2000Ecu>());
    Click("ButtonStartComm2000");
    EXPECT_EQ(Control<QLabel>("LabelKeyWord").text(), "8FEF");
    Click("ButtonStopComm2000");
    ASSERT_TRUE(AwaitIdle());
  }
}

// An ECU that falls silent ends the connection through the worker; closing the window while
// connected, or while it connects, stops the connection before anything the worker uses goes.
TEST_F(Kwp2000Window, EcuFallingSilentEndsTheConnectionAndClosingStopsIt) {
  simulation.Bus().SetModel(std::make_unique<sim::Kwp2000Ecu>());
  Open();
  SetText("EditT2EOffset", "-6300");  // each keep-alive answer is awaited 100 ms
  Click("ButtonStartComm2000");
  ASSERT_NE(form->CommThread(), nullptr);
  ASSERT_TRUE(sim::WithKwp2000Ecu(simulation.Bus(),
                                  [](sim::Kwp2000Ecu& ecu) { ecu.Model().InjectSilence(1000); }));
  ASSERT_TRUE(AwaitIdle());
  ExpectIdle();
  EXPECT_TRUE(Logged("Thread terminated, COM port closed"));
  EXPECT_TRUE(Sent({0x01, 0x3E, 0x3F}));

  simulation.Bus().SetModel(std::make_unique<sim::Kwp2000Ecu>());
  Click("ButtonStartComm2000");
  ASSERT_NE(form->CommThread(), nullptr);
  form->close();
  EXPECT_EQ(form->CommThread(), nullptr);
  EXPECT_FALSE(simulation.Ftdi().State().open);
  EXPECT_TRUE(Sent({0x01, 0x82, 0x83}));

  // Closing while the start waits for the ECU closes the window once the start is done.
  Open();
  QTimer::singleShot(20, [this] { form->close(); });
  Click("ButtonStartComm2000");
  EXPECT_TRUE(ServeUntil([this] { return form->CommThread() == nullptr; }, 5000));
  EXPECT_FALSE(simulation.Ftdi().State().open);

  // Deleting the window while connected does the same.
  Open();
  simulation.Bus().SetModel(std::make_unique<sim::Kwp2000Ecu>());
  Click("ButtonStartComm2000");
  ASSERT_NE(form->CommThread(), nullptr);
  form.reset();
  EXPECT_FALSE(simulation.Ftdi().State().open);
}

// The file picked in the list, typed and entered, or chosen in the open dialog is loaded; a
// load empties the selection and fills the group, item and identification lists afresh.
TEST_F(Kwp2000Window, DefinitionFilesPickedTypedOrChosenAreLoaded) {
  const std::string def = directory.Path() + "Def/";
  std::ofstream(def + "one.def") << "RDBLI_2000 0x21 1 One 2 Speed 1 0x01 Rpm 1 0x01;\n"
                                    "REI_2000 0x1A 0x90 Ident 1 Vin 1 0x61;\n";
  std::ofstream(def + "two.def") << "RDBLI_2000 0x21 2 Two 1 Load 1 0x01;\n";
  Open();
  auto& files = Control<QComboBox>("ComboBoxDefFileList");
  auto& groups = Control<ui::ListBox>("ListBoxReadAll");
  auto& items = Control<ui::ListBox>("ListBoxItemsReadAll");
  auto& selection = Control<ui::ListBox>("ListBoxReadSel");
  auto& ident = Control<ui::StringGrid>("StringGrid2");
  auto loaded = [&](const std::string& group, int itemCount) {
    return groups.Count() == 1 && groups.Text(0) == group && items.Count() == itemCount &&
           selection.Count() == 0;
  };

  files.setCurrentIndex(files.findText(QString::fromStdString(def + "one.def")));
  selection.AddObject("left from before", 0);
  emit files.activated(files.currentIndex());
  EXPECT_TRUE(loaded("One", 2));
  EXPECT_EQ(ident.Cell(0, 0), "Vin");

  files.setEditText(QString::fromStdString(def + "two.def"));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(files.lineEdit(), &enter);
  EXPECT_TRUE(loaded("Two", 1));
  EXPECT_EQ(ident.RowCount(), 1);
  EXPECT_EQ(ident.Cell(0, 0), "");

  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(QString::fromStdString(def + "one.def"));
    static_cast<QDialog*>(dialog)->accept();
  });
  const int listed = files.count();
  Click("BitBtn1");
  ASSERT_EQ(files.count(), listed + 1);
  EXPECT_EQ(files.currentIndex(), listed);
  EXPECT_EQ(files.currentText().toStdString(), def + "one.def");
  EXPECT_TRUE(loaded("One", 2));
  EXPECT_TRUE(boxes.Boxes().empty());
}

// What a user sees first: the shipped definition file for the simulated engine ECU loads
// without an error, sets the Connect tab, and the window connects to that ECU.
TEST_F(Kwp2000Window, ShippedDefinitionFileConnectsToTheSimulatedEngine) {
  fs::copy_file(fs::path(QUOBRIX_SOURCE_DIR) / "Def" / "QuobrixKWP2000.def",
                directory.Path() + "Def/QuobrixKWP2000.def");
  simulation.Bus().SetModel(
      std::make_unique<sim::Kwp2000Ecu>(sim::Kwp2000EcuConfig{}, sim::Kwp2000EngineData()));
  Open();
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_GE(Control<ui::ListBox>("ListBoxReadAll").Count(), 4);
  EXPECT_GT(Control<ui::ListBox>("ListBoxDTCGroup18").Count(), 0);
  EXPECT_TRUE(Control<QCheckBox>("CheckBoxSetDTR").isChecked());

  Click("ButtonStartComm2000");
  ASSERT_NE(form->CommThread(), nullptr);
  EXPECT_EQ(Control<QLabel>("LabelKeyWord").text(), "8FEF");
  EXPECT_TRUE(
      ServeUntil([this] { return Logged("Start communication rcvd, keybytes : EF 8F "); }, 2000));
  form->show();
  auto& pages = Control<QTabWidget>("PageControl1");
  for (int i : {0, 3, 5}) {
    pages.setCurrentIndex(i);
    QCoreApplication::processEvents();
    const std::string file = std::string(QUOBRIX_TEST_OUTPUT_DIR) + "/kwp2000-connected-tab-" +
                             std::to_string(i + 1) + ".png";
    EXPECT_TRUE(form->grab().save(QString::fromStdString(file)));
  }
  Click("ButtonStopComm2000");
  ASSERT_TRUE(AwaitIdle());
  EXPECT_TRUE(Logged("Communication stopped"));
}

}  // namespace
