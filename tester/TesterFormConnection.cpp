// The life cycle of a connection: one worker with one protocol object, set up and started from
// the Connect tab, stopped by the stop buttons, and gone when the worker has ended.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "engine/KwpProtocol.h"
#include "engine/Serialcomm2ftdi.h"
#include "engine/Threadlist.h"
#include "measurement/DataDestination.h"
#include "platform/Conversions.h"
#include "tester/LiveDataReading.h"
#include "tester/ResultDecoder.h"
#include "tester/TesterForm.h"
#include "ui/ActivityLogMemo.h"

namespace tester {

namespace {
std::string TextOf(const QLineEdit& edit) {
  return edit.text().toStdString();
}
}  // namespace

void TesterForm::StartComm2000() {
  ButtonStopComm2000->setEnabled(false);
  ButtonStopAll->setEnabled(false);
  ResetKeyByteDisplay();
  FProtocol.reset();
  FCommThread = nullptr;
  // What an earlier connection left in the queues is nobody's any more.
  FRequestList->DeleteAll();
  FResponseList->DeleteAll();
  FStarting = true;
  try {
    OpenAndStart();
  } catch (...) {
    AbandonStart();
    FinishStart();
    throw;
  }
  FinishStart();
}

void TesterForm::OpenAndStart() {
  FConnectionEnded.Reset();
  // A worker that ran frees itself when it ends; one that never ran is freed by AbandonStart.
  FCommThread = CreateWorker().release();
  FCommThread->OpenPort(ComboBoxComPort->currentText().toStdString(), CheckBoxSetDTR->isChecked());
  if (!FCommThread->CommPort()->IsOpen()) {
    // The port has shown why (latency or USB settings refused).
    AbandonStart();
    ShowStartResult(false, TSmallIntArray());
    return;
  }
  Memo1->AddLine("COM Port opened");
  FCommThread->SetEchoCheck(CheckBoxRcvEcho->isChecked());
  EnableStartControls(false);

  FProtocol = CreateProtocol(*FCommThread);
  FCommThread->SetProtocol(FProtocol.get(), ProtocolType());
  TSmallIntArray keyBytes;
  ConfigureProtocol();
  FCommThread->SetOnThreadFinished([this](TIso9141Thread* sender) { ThreadTerminated(sender); });
  FCommThread->SetOnResultsLeft([this](TIso9141Thread* sender) { ShowQueuedResults(sender); });
  FCommThread->SetNewDataEvent(FNewDataEvent.get());
  FCommThread->SetSendEvent(FSendEvent.get());
  FCommThread->SetReceiveEvent(FReceiveEvent.get());
  BeforeStartCommunication();
  const auto address = static_cast<uint8_t>(plat::StrToInt(TextOf(*MaskEditEcuAddress2000)));
  const bool started = FCommThread->StartCommunication(address, keyBytes);
  ShowStartResult(started, keyBytes);
}

void TesterForm::AbandonStart() {
  if (!FCommThread) return;  // it ran and has ended already
  if (FCommThread->Started()) {
    FCommThread->StopCommunication();
    return;
  }
  std::unique_ptr<TIso9141Thread> unstarted(std::exchange(FCommThread, nullptr));
  unstarted.reset();
  FProtocol.reset();
  EnableStartControls(true);
}

void TesterForm::FinishStart() {
  ButtonStopComm2000->setEnabled(true);
  ButtonStopAll->setEnabled(true);
  FStarting = false;
  if (std::exchange(FCloseAfterStart, false)) QTimer::singleShot(0, this, [this] { close(); });
}

void TesterForm::StopComm2000() {
  if (FCommThread) FCommThread->StopCommunication();
}

void TesterForm::ButtonStopAllClick() {
  StopComm2000();
}

void TesterForm::ThreadTerminated(TIso9141Thread* sender) {
  // Only the worker of the current connection ends it.
  if (sender != FCommThread) return;
  // Results the worker handed over just before it ended are still shown, not repeated.
  ShowQueuedResults(sender);
  FProtocol.reset();
  FCommThread = nullptr;
  EnableStartControls(true);
  FLiveData->ConnectionEnded();
  FRealtimeDestination->CloseDataFiles();
  FDtcDestination->CloseDataFiles();
  FIdentDestination->CloseDataFiles();
  SetKeyPreview(false);
  FConnectionEnded.Set();
}

void TesterForm::ShowQueuedResults(TIso9141Thread* worker) {
  // The worker takes no further requests: a continuous read gets no next copy.
  if (FDecoder)
    FDecoder->Drain(worker, [this](TIso9141Thread&) { return ContinuousReadAnswered(nullptr); });
}

void TesterForm::EnableStartControls(bool enabled) {
  for (QWidget* control :
       std::initializer_list<QWidget*>{ComboBoxComPort, CheckBoxSetDTR, CheckBoxRcvEcho,
                                       ButtonStartComm2000, ButtonStartComplete})
    control->setEnabled(enabled);
}

}  // namespace tester
