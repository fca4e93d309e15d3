// Construction and teardown of the KWP2000 tester's window.
#include "kwp2000/QuobrixKWP2000ProfMain.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

#include "engine/Kwp2000Protocol2.h"
#include "measurement/DataDestination.h"
#include "tester/RadioGroup.h"
#include "ui/ExceptionDisplay.h"
#include "ui/ListBox.h"

tester::TVersionStrings TQuobrixKWP2000Form::CompiledVersion() {
  return {{"ProductName", QUOBRIX_PRODUCT_NAME},
          {"CompanyName", QUOBRIX_COMPANY_NAME},
          {"FileVersion", QUOBRIX_FILE_VERSION}};
}

TQuobrixKWP2000Form::TQuobrixKWP2000Form(tester::TVersionLookup versionLookup, QWidget* parent)
    : TesterForm(TTesterProgram::Kwp2000Prof, std::move(versionLookup), parent) {
  BuildWindow(WindowControls(), kCaption);  // 1
  FindControls();
  BindHandlers();
  UseDecimalPoint();    // 2
  SizeRealtimeGraph();  // 3
  SetDirectories();     // 4
  // 5: no worker and no protocol object yet.
  CreateEvents();        // 6
  StartDisplayThread();  // 7
  // 8: no continuous reading yet.
  CreateRealtimeDestination();                            // 9, 10
  CreateIdentDestination();                               // 11
  CreateDtcDestination();                                 // 12
  FDtcDestination->AddStringsTarget(*ListBoxDTCGroup14);  // 13
  FDtcDestination->AddStringsTarget(*ListBoxDTCGroup17);
  // 14: the definition lists start empty.
  FillDefFileList(kDefaultDefinitionFile);  // 15
  // 16: an error in the definition file is shown, and the window opens all the same.
  auto load = [this] { ButtonLoadDefClick(); };
  ui::RunGuarded(load);
  ClearActiveControl();                        // 17
  FControls.SetShown("ButtonFTDIinfo", true);  // 18
  RefillPortList();                            // 19
  ShowVersionInfo();                           // 20
  CreateQueues();                              // 21
}

TQuobrixKWP2000Form::~TQuobrixKWP2000Form() {
  EndConnection();
  ReleaseConnection();    // 1, 2
  StopDisplayThread();    // 3
  ReleaseEvents();        // 4
  ReleaseDestinations();  // 5
  ReleaseQueues();        // 6
}

void TQuobrixKWP2000Form::FindControls() {
  LabelKeyWord = &FControls.Get<QLabel>("LabelKeyWord");
  LabelKeyWordDec = &FControls.Get<QLabel>("LabelKeyWordDec");
  MaskEditTesterAddress2000 = &FControls.Get<QLineEdit>("MaskEditTesterAddress2000");
  EditT2EOffset = &FControls.Get<QLineEdit>("EditT2EOffset");
  RadioInit2000 = &FControls.Get<tester::RadioGroup>("RadioInit2000");
  RadioGroupAddressMode = &FControls.Get<tester::RadioGroup>("RadioGroupAddressMode");
  RadioGroupHeaderType = &FControls.Get<tester::RadioGroup>("RadioGroupHeaderType");
  RadioGroupLengthInfo = &FControls.Get<tester::RadioGroup>("RadioGroupLengthInfo");
  ListBoxDTCGroup14 = &FControls.Get<ui::ListBox>("ListBoxDTCGroup14");
  ListBoxDTCGroup17 = &FControls.Get<ui::ListBox>("ListBoxDTCGroup17");
}

void TQuobrixKWP2000Form::BindHandlers() {
  OnClick("ButtonStartComm2000", [this] { StartComm2000(); });
  OnClick("ButtonStopComm2000", [this] { StopComm2000(); });
  OnClick("ButtonStopAll", [this] { ButtonStopAllClick(); });
  OnClick("ButtonFTDIinfo", [this] { ButtonFTDIinfoClick(); });
}

void TQuobrixKWP2000Form::ButtonLoadDefClick() {
  // The definition-file reader is wired here.
}

void TQuobrixKWP2000Form::NewDataEvent2000() {
  // The response decoder is wired here.
}
