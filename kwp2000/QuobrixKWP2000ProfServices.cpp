// The single services of the Connect and Misc and Debug tabs, and "Start + ID".
#include <QAbstractButton>
#include <QLineEdit>

#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "kwp2000/SingleServices.h"
#include "ui/ActivityLogMemo.h"

void TQuobrixKWP2000Form::BindKwp2000Handlers() {
  OnClick("ButtonStartComplete", [this] { ButtonStartCompleteClick(); });
  OnClick("ButtonIDnew", [this] { ButtonIDnewClick(); });
  OnClick("ButtonReadDTCByStatusNew", [this] { ButtonReadDTCByStatusNewClick(); });
  OnClick("ButtonClearDI", [this] { ButtonClearDIClick(); });
  OnClick("ButtonReadStatusOfDTC", [this] { ButtonReadStatusOfDTCClick(); });
  for (const char* name :
       {"ButtonReadDBLID", "ButtonEcuReset", "ButtonReadTiming", "ButtonReadTiming2",
        "ButtonSetTiming", "ButtonReadTimingLimits", "ButtonReadDBCID", "ButtonIOCtrlLI",
        "ButtonMode2000", "ButtonWriteByteLocID", "ButtonWriteWordLocID"}) {
    const auto& button = FControls.Get<QAbstractButton>(name);
    OnClick(name, [this, &button] { KWP2000ButtonClick(button); });
  }
}

void TQuobrixKWP2000Form::KWP2000ButtonClick(const QAbstractButton& sender) {
  Memo1->AddLine(sender.objectName().toStdString());
  if (!FCommThread) {
    Memo1->AddLine("Communication not running");
    return;
  }
  const TSingleService& service = SingleServiceFor(tester::Tag(sender));
  Memo1->AddLine(service.Line);
  auto fieldText = [this](const char* field) {
    return FControls.Get<QLineEdit>(field).text().toStdString();
  };
  if (std::unique_ptr<TSequenceList> request = SingleServiceRequest(service, fieldText))
    Execute(std::move(request));
}

void TQuobrixKWP2000Form::ButtonStartCompleteClick() {
  StartComm2000();
  KWP2000ButtonClick(*ButtonReadTiming);
  ButtonIDnewClick();
}
