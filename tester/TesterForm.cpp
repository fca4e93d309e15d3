// Construction and teardown of the shared main window.
#include "tester/TesterForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <clocale>
#include <filesystem>

#include "engine/KwpProtocol.h"
#include "engine/Sequence.h"
#include "engine/Threadlist.h"
#include "measurement/DataDestination.h"
#include "measurement/DisplayThread.h"
#include "platform/Dispatcher.h"
#include "tester/ControlSettings.h"
#include "tester/DefinitionFileList.h"
#include "tester/GridColumns.h"
#include "tester/LiveDataReading.h"
#include "tester/ResultDecoder.h"
#include "tester/WidgetSettings.h"
#include "ui/ActivityLogMemo.h"
#include "ui/Chart.h"
#include "ui/ExceptionDisplay.h"
#include "ui/ListBox.h"
#include "ui/StatusBar.h"
#include "ui/StringGrid.h"

namespace tester {

namespace {
constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 768;
constexpr int kStatusPanels = 3;
constexpr int kStatusPanelWidth = 50;
constexpr int kChartHeight = 337;
constexpr int kChartListHeight = 313;
constexpr const char* kShownAtStart = "Identification";
}  // namespace

TesterForm::TesterForm(TVersionLookup versionLookup, QWidget* parent)
    : QMainWindow(parent), FVersionLookup(std::move(versionLookup)) {}

TesterForm::~TesterForm() = default;

void TesterForm::Construct(const TWindowSetup& setup) {
  BuildWindow(setup.controls, setup.caption);
  BindSharedHandlers();
  BindProgramControls();
  FDeviceInformation = setup.deviceInformation;
  UseDecimalPoint();
  SizeRealtimeGraph();
  SetDirectories();
  // No worker and no protocol object yet.
  CreateEvents();
  StartDisplayThread();
  CreateRealtimeDestination();
  UseLiveData(setup.readStep);
  CreateIdentDestination();
  CreateDtcDestination();
  CreateDefinitionsAndDecoding();
  FillDefFileList(setup.defaultDefinitionFile);
  auto load = [this] { ButtonLoadDefClick(); };
  ui::RunGuarded(load);
  ClearActiveControl();
  FControls.SetShown("ButtonFTDIinfo", true);
  RefillPortList();
  AfterPortList();
  ShowVersionInfo();
  CreateQueues();
}

void TesterForm::Teardown() {
  EndConnection();
  ReleaseConnection();
  StopDisplayThread();
  ReleaseEvents();
  ReleaseDestinations();
  ReleaseQueues();
  // The descriptions and every definition list.
  FDefinitions.reset();
}

void TesterForm::BuildWindow(const ControlTable& table, const std::string& caption) {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  auto* topRow = new QHBoxLayout;
  column->addLayout(topRow);
  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName("PageControl1");
  PageControl1->tabBar()->setStyleSheet("QTabBar::tab { width: 125px; height: 25px; }");
  column->addWidget(PageControl1, 1);
  setCentralWidget(central);
  FControls = BuildControls(table, *topRow, *PageControl1);
  FSettings = std::make_unique<WidgetSettings>(FControls);
  for (int i = 0; i < PageControl1->count(); ++i)
    if (PageControl1->tabText(i) == kShownAtStart) PageControl1->setCurrentIndex(i);

  StatusBar1 = new ui::StatusBar(kStatusPanels, kStatusPanelWidth, this);
  StatusBar1->setObjectName("StatusBar1");
  setStatusBar(StatusBar1);
  setWindowTitle(QString::fromStdString(caption));
  resize(kWindowWidth, kWindowHeight);
  if (const QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  Memo1 = &FControls.Get<ui::ActivityLogMemo>("Memo1");
  Memo2 = &FControls.Get<ui::ActivityLogMemo>("Memo2");
  ComboBoxDefFileList = &FControls.Get<QComboBox>("ComboBoxDefFileList");
  ComboBoxComPort = &FControls.Get<QComboBox>("ComboBoxComPort");
  CheckBoxRcvEcho = &FControls.Get<QCheckBox>("CheckBoxRcvEcho");
  CheckBoxSetDTR = &FControls.Get<QCheckBox>("CheckBoxSetDTR");
  ButtonStartComm2000 = &FControls.Get<QPushButton>("ButtonStartComm2000");
  ButtonStopComm2000 = &FControls.Get<QPushButton>("ButtonStopComm2000");
  ButtonStartComplete = &FControls.Get<QPushButton>("ButtonStartComplete");
  ButtonStopAll = &FControls.Get<QPushButton>("ButtonStopAll");
  MaskEditEcuAddress2000 = &FControls.Get<QLineEdit>("MaskEditEcuAddress2000");
  StringGrid1 = &FControls.Get<ui::StringGrid>("StringGrid1");
  StringGrid2 = &FControls.Get<ui::StringGrid>("StringGrid2");
  StringGrid3 = &FControls.Get<ui::StringGrid>("StringGrid3");
  StringGrid4 = &FControls.Get<ui::StringGrid>("StringGrid4");
  Chart1 = &FControls.Get<ui::Chart>("Chart1");
  ListBoxItemsChart1 = &FControls.Get<ui::ListBox>("ListBoxItemsChart1");
  ListBoxReadAll = &FControls.Get<ui::ListBox>("ListBoxReadAll");
  ListBoxItemsReadAll = &FControls.Get<ui::ListBox>("ListBoxItemsReadAll");
  ListBoxReadSel = &FControls.Get<ui::ListBox>("ListBoxReadSel");
  ListBoxItemsAll = &FControls.Get<ui::ListBox>("ListBoxItemsAll");
}

void TesterForm::UseDecimalPoint() {
  // The Qt application takes the number format of the system's locale; ours is the point.
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());
}

void TesterForm::SizeRealtimeGraph() {
  Chart1->setFixedHeight(kChartHeight);
  ListBoxItemsChart1->setFixedHeight(kChartListHeight);
}

void TesterForm::SetDirectories() {
  FBaseDir = std::filesystem::current_path().string() + "/";
  FDefDir = FBaseDir + "Def/";
  FLogDir = FBaseDir + "Log/";
}

void TesterForm::CreateEvents() {
  FNewDataEvent = std::make_unique<plat::Event>();
  FSendEvent = std::make_unique<plat::Event>();
  FReceiveEvent = std::make_unique<plat::Event>();
}

void TesterForm::StartDisplayThread() {
  FDisplayThread = std::make_unique<TDisplayThread>(
      *FNewDataEvent, *FSendEvent, *FReceiveEvent, [this](TDisplayThread&) { NewDataEvent2000(); },
      StatusBar1);
}

void TesterForm::CreateRealtimeDestination() {
  FRealtimeDestination = std::make_unique<TDataDestination>();
  FRealtimeDestination->AddGrid(*StringGrid1);
  FRealtimeDestination->AddChart(*Chart1, *ListBoxItemsChart1);
  FRealtimeDestination->AddGrid(*StringGrid4);
  FRealtimeDestination->FPenWidth = 2;
  for (ui::StringGrid* grid : {StringGrid1, StringGrid4})
    SetColumnWidths(*grid, 0, {{1, 150}, {2, 70}});
}

void TesterForm::CreateIdentDestination() {
  FIdentDestination = std::make_unique<TDataDestination>();
  FIdentDestination->AddGrid(*StringGrid2);
  SetColumnWidths(*StringGrid2, 0, {{1, 250}, {2, 50}});
}

void TesterForm::CreateDtcDestination() {
  FDtcDestination = std::make_unique<TDataDestination>();
  FDtcDestination->AddGrid(*StringGrid3);
  SetColumnWidths(*StringGrid3, 1, {{0, 100}, {2, 50}});
}

void TesterForm::FillDefFileList(const std::string& defaultFile) {
  ComboBoxDefFileList->clear();
  ComboBoxDefFileList->addItem(QString::fromStdString(FDefDir + defaultFile));
  ComboBoxDefFileList->setCurrentIndex(0);
  Memo1->AddLine("Directory listing of " + FDefDir + "*.def");
  for (const std::string& name : DefinitionFileNames(FDefDir)) {
    Memo1->AddLine("  " + FDefDir + name);
    ComboBoxDefFileList->addItem(QString::fromStdString(FDefDir + name));
  }
}

void TesterForm::ClearActiveControl() {
  // The window itself takes the focus, so no control has it.
  setFocusPolicy(Qt::StrongFocus);
  setFocus();
}

void TesterForm::RefillPortList() {
  ComboBoxComPort->clear();
  ComboBoxComPort->clearEditText();
  FillPortList();
}

void TesterForm::CreateQueues() {
  FResponseList = std::make_unique<TCommThreadList>();
  FRequestList = std::make_unique<TCommThreadList>();
}

void TesterForm::BindSharedHandlers() {
  OnClick("ButtonStartComm2000", [this] { StartComm2000(); });
  OnClick("ButtonStopComm2000", [this] { StopComm2000(); });
  OnClick("ButtonStopAll", [this] { ButtonStopAllClick(); });
  OnClick("BitBtn1", [this] { ButtonFindFileClick(); });
  OnClick("ButtonFTDIinfo", [this] { ButtonFTDIinfoClick(); });
  BindDefFileList();
  BindLiveDataHandlers();
}

void TesterForm::EndConnection() {
  if (!FCommThread) return;
  if (!FCommThread->Started()) {
    AbandonStart();
    return;
  }
  FCommThread->StopCommunication();
  // Posted calls keep being served meanwhile: the worker's lines, its termination, the
  // display thread's results.
  plat::MainDispatcher().PumpWait(FConnectionEnded, plat::kInfinite);
}

void TesterForm::ReleaseConnection() {
  FProtocol.reset();
  FCommThread = nullptr;
}

void TesterForm::StopDisplayThread() {
  FDisplayThread.reset();
}

void TesterForm::ReleaseEvents() {
  FNewDataEvent.reset();
  FSendEvent.reset();
  FReceiveEvent.reset();
}

void TesterForm::ReleaseDestinations() {
  FRealtimeDestination.reset();
  FIdentDestination.reset();
  FDtcDestination.reset();
}

void TesterForm::ReleaseQueues() {
  // Results the worker queued after the window stopped taking them go with the queues.
  FResponseList->DeleteAll();
  FRequestList->DeleteAll();
  FResponseList.reset();
  FRequestList.reset();
}

void TesterForm::OnClick(std::string_view buttonName, std::function<void()> handler) {
  auto guarded = ui::Guarded(std::move(handler));
  connect(&FControls.Get<QAbstractButton>(buttonName), &QAbstractButton::clicked, this,
          [guarded]() mutable { guarded(); });
}

void TesterForm::OnListClick(std::string_view listBoxName, std::function<void()> handler) {
  auto guarded = ui::Guarded(std::move(handler));
  connect(&FControls.Get<ui::ListBox>(listBoxName), &QAbstractItemView::clicked, this,
          [guarded]() mutable { guarded(); });
}

bool TesterForm::Execute(std::unique_ptr<TSequenceList> list) {
  return FCommThread->ExecuteSequence(std::move(list));
}

void TesterForm::closeEvent(QCloseEvent* event) {
  // A start serves the main thread while it waits for the worker; the window closes after it.
  if (FStarting) {
    FCloseAfterStart = true;
    event->ignore();
    return;
  }
  EndConnection();
  QMainWindow::closeEvent(event);
}

}  // namespace tester
