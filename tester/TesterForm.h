// The main window both testers share: the controls built from the program's table, the
// activity log, the three data destinations with their grids and chart, the queues, the events
// and the display thread, the definition-file and port lists, the version and device
// information, and the life cycle of a connection (one worker with one protocol object). A
// program derives from it, adds its protocol, its settings and its handlers, and runs the
// construction and teardown steps in its own order.
//
// Everything here runs in the main thread; the worker and the display thread reach the window
// only through the queues, the events and calls handed to the main thread.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/Iso9141Thread2.h"
#include "platform/Event.h"
#include "tester/ControlTable.h"
#include "tester/Definitions.h"
#include "tester/FtdiInformation.h"
#include "tester/TaggedRequests.h"
#include "tester/VersionInformation.h"

class QComboBox;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TCommThreadList;
class TControlSettings;
class TDataDestination;
class TDecodingRules;
class TDisplayThread;
class TKwpProtocol;
class TLiveDataReading;
class TResultDecoder;
class TSequenceList;

namespace ui {
class ActivityLogMemo;
class Chart;
class ListBox;
class StatusBar;
class StringGrid;
}  // namespace ui

namespace tester {

class TesterForm : public QMainWindow {
 public:
  ~TesterForm() override;

  // Connection handlers.
  void StartComm2000();
  void StopComm2000();
  void ButtonStopAllClick();
  // Called by the worker, in the main thread, when it has ended.
  void ThreadTerminated(TIso9141Thread* sender);

  // Definition files.
  void ButtonLoadDefClick();
  void ButtonFindFileClick();
  void DefFileListChange();
  // Enter loads the file named in the list's edit field; other keys do nothing here.
  void DefFileListOnKeyDown(int key);

  // Handles the results the worker queued; the display thread calls it in the main thread.
  void NewDataEvent2000();

  // Live data: the group selection, reading once and continuously, the chart's items.
  void ButtonSelectClick();
  void ButtonUnSelectClick();
  void ListBoxReadSelClick();
  void ListBoxReadAllClick();
  void ListBoxItemsReadAllClick();
  void ListBoxItemsAllClick();
  void ListBoxItemsChartClick(ui::ListBox& sender);
  void ButtonReadDataOnceClick();
  void ButtonToggleReadDataContClick();
  // Sees every key pressed in the window first while the key preview is on; it does nothing
  // with it, and the key goes on to the focused control.
  void FormKeyDown(int key);

  // Version and device information.
  void ShowVersionInfo();
  void FillPortList();
  void ButtonFTDIinfoClick();

  TIso9141Thread* CommThread() const { return FCommThread; }
  bool KeyPreview() const { return FKeyPreview; }

 protected:
  TesterForm(TVersionLookup versionLookup, QWidget* parent);

  // What a program's window brings to the construction both programs run.
  struct TWindowSetup {
    const ControlTable& controls;
    std::string caption;
    std::string defaultDefinitionFile;
    TReadStepMaker readStep;  // the read step of a realtime group
    // The lines of the "FTDI info" button.
    TDeviceInformation deviceInformation = DeviceInformationLines;
  };
  // The construction, step by step; the program's constructor calls it, and it calls the
  // program's hooks below at their steps. An error of the default definition file is shown, and
  // the window opens all the same.
  void Construct(const TWindowSetup& setup);
  // The teardown, step by step; the program's destructor calls it.
  void Teardown();
  // The program's controls, found and bound right after the window is built.
  virtual void BindProgramControls() = 0;
  // The program's definitions and decoding, after the destinations are made.
  virtual void CreateDefinitionsAndDecoding() = 0;
  // Runs after the port list is filled, before the version information is written.
  virtual void AfterPortList() {}

  // Construction steps, in the order Construct runs them.
  // The window and its controls: caption, 1024 x 768 centred, the tabs with "Identification"
  // shown, the status bar of three 50-pixel panels.
  void BuildWindow(const ControlTable& table, const std::string& caption);
  // Numbers are converted to and from text with '.' whatever the system's locale.
  static void UseDecimalPoint();
  // Chart and item list heights of the graph tab.
  void SizeRealtimeGraph();
  // Base directory (the current directory), its Def/ and Log/ directories.
  void SetDirectories();
  void CreateEvents();
  void StartDisplayThread();
  void CreateRealtimeDestination();
  void CreateIdentDestination();
  void CreateDtcDestination();
  // The default definition file, then every ".def" file of the definition directory.
  void FillDefFileList(const std::string& defaultFile);
  void ClearActiveControl();
  void RefillPortList();
  void CreateQueues();
  // The controls a definition load fills, for the program's definitions.
  TDefinitionControls DefinitionControls();
  void UseDefinitions(std::unique_ptr<TDefinitions> definitions);
  void UseDecoding(std::unique_ptr<TDecodingRules> rules);
  // Live-data reading of the realtime destination with the program's read step of a group;
  // after CreateRealtimeDestination and before the first definition load.
  void UseLiveData(TReadStepMaker makeStep);
  // Binds the handlers both programs have: connection, definition files, device information,
  // live data.
  void BindSharedHandlers();

  // Teardown steps. EndConnection comes first: it stops a running connection and serves the
  // main thread until the worker has ended, so nothing the worker uses is freed under it.
  void EndConnection();
  void ReleaseConnection();
  void StopDisplayThread();
  void ReleaseEvents();
  void ReleaseDestinations();
  void ReleaseQueues();

  // The program's part of a connection start.
  virtual void ResetKeyByteDisplay() = 0;
  // The program's worker on the window's activity log, queues and base directory.
  virtual std::unique_ptr<TIso9141Thread> CreateWorker() = 0;
  virtual std::unique_ptr<TKwpProtocol> CreateProtocol(TIso9141Thread& worker) = 0;
  virtual uint8_t ProtocolType() const = 0;
  // Settings from the controls; a field that is not a number raises the conversion error.
  virtual void ConfigureProtocol() = 0;
  virtual void BeforeStartCommunication() {}
  virtual void ShowStartResult(bool started, const TSmallIntArray& keyBytes) = 0;

  // Binds a button's click to a handler; an error the handler raises is shown, not passed on.
  void OnClick(std::string_view buttonName, std::function<void()> handler);
  // The same for a click on an entry of a list box.
  void OnListClick(std::string_view listBoxName, std::function<void()> handler);
  // Hands a request list to the worker, which takes it while communication runs; otherwise the
  // worker logs its refusal and the list is freed here. Needs a worker.
  bool Execute(std::unique_ptr<TSequenceList> list);
  void SetKeyPreview(bool on) { FKeyPreview = on; }
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Controls both windows have.
  ui::ActivityLogMemo* Memo1 = nullptr;
  ui::ActivityLogMemo* Memo2 = nullptr;
  ui::StatusBar* StatusBar1 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QComboBox* ComboBoxDefFileList = nullptr;
  QComboBox* ComboBoxComPort = nullptr;
  QCheckBox* CheckBoxRcvEcho = nullptr;
  QCheckBox* CheckBoxSetDTR = nullptr;
  QPushButton* ButtonStartComm2000 = nullptr;
  QPushButton* ButtonStopComm2000 = nullptr;
  QPushButton* ButtonStartComplete = nullptr;
  QPushButton* ButtonStopAll = nullptr;
  QLineEdit* MaskEditEcuAddress2000 = nullptr;
  ui::StringGrid* StringGrid1 = nullptr;
  ui::StringGrid* StringGrid2 = nullptr;
  ui::StringGrid* StringGrid3 = nullptr;
  ui::StringGrid* StringGrid4 = nullptr;
  ui::Chart* Chart1 = nullptr;
  ui::ListBox* ListBoxItemsChart1 = nullptr;
  ui::ListBox* ListBoxReadAll = nullptr;
  ui::ListBox* ListBoxItemsReadAll = nullptr;
  ui::ListBox* ListBoxReadSel = nullptr;
  ui::ListBox* ListBoxItemsAll = nullptr;

  const TVersionLookup FVersionLookup;
  TDeviceInformation FDeviceInformation = DeviceInformationLines;
  tester::Controls FControls;
  std::unique_ptr<TCommThreadList> FResponseList;
  std::unique_ptr<TCommThreadList> FRequestList;
  std::string FBaseDir;
  std::string FDefDir;
  std::string FLogDir;
  TIso9141Thread* FCommThread = nullptr;  // frees itself once it ran; see AbandonStart
  std::unique_ptr<TKwpProtocol> FProtocol;
  std::unique_ptr<plat::Event> FNewDataEvent;
  std::unique_ptr<plat::Event> FSendEvent;
  std::unique_ptr<plat::Event> FReceiveEvent;
  std::unique_ptr<TDataDestination> FRealtimeDestination;
  std::unique_ptr<TDataDestination> FIdentDestination;
  std::unique_ptr<TDataDestination> FDtcDestination;
  std::unique_ptr<TControlSettings> FSettings;
  std::unique_ptr<TDefinitions> FDefinitions;
  std::unique_ptr<TDecodingRules> FDecodingRules;
  std::unique_ptr<TResultDecoder> FDecoder;
  // Continuous reading (FContReading, FContSequence) and reading once.
  std::unique_ptr<TLiveDataReading> FLiveData;
  // Declared after what its handler uses, so it is stopped before those go.
  std::unique_ptr<TDisplayThread> FDisplayThread;

 private:
  // The definition-file list loads the file the user picks or types.
  void BindDefFileList();
  // Steps 5 to 17 of a start.
  void OpenAndStart();
  // A start that failed before its worker ran frees the worker (and with it the port) and the
  // protocol and leaves the window idle; a worker that ran is asked to end and ThreadTerminated
  // follows.
  void AbandonStart();
  void FinishStart();
  // Shows the results still queued by a worker that has ended.
  void ShowQueuedResults(TIso9141Thread* worker);
  void EnableStartControls(bool enabled);
  void BindLiveDataHandlers();
  // A continuous-read result was taken from the response queue of `worker`; the next copy goes
  // to the worker while it runs. False when the result is not to be shown.
  bool ContinuousReadAnswered(TIso9141Thread* worker);

  bool FKeyPreview = false;
  bool FStarting = false;
  bool FCloseAfterStart = false;
  plat::Event FConnectionEnded;  // set by ThreadTerminated
};

}  // namespace tester
