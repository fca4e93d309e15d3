// Construction and teardown of the KWP2000 tester's window.
#include "kwp2000/QuobrixKWP2000ProfMain.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

#include "engine/Kwp2000Protocol2.h"
#include "kwp2000/Kwp2000Decoding.h"
#include "kwp2000/Kwp2000Definitions.h"
#include "kwp2000/Kwp2000Requests.h"
#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "tester/RadioGroup.h"
#include "ui/ListBox.h"

tester::TVersionStrings TQuobrixKWP2000Form::CompiledVersion() {
  return {{"ProductName", QUOBRIX_PRODUCT_NAME},
          {"CompanyName", QUOBRIX_COMPANY_NAME},
          {"FileVersion", QUOBRIX_FILE_VERSION}};
}

TQuobrixKWP2000Form::TQuobrixKWP2000Form(tester::TVersionLookup versionLookup, QWidget* parent)
    : TesterForm(std::move(versionLookup), parent) {
  Construct({WindowControls(), kCaption, kDefaultDefinitionFile, MakeReadDataStep});
}

TQuobrixKWP2000Form::~TQuobrixKWP2000Form() {
  Teardown();
}

void TQuobrixKWP2000Form::BindProgramControls() {
  LabelKeyWord = &FControls.Get<QLabel>("LabelKeyWord");
  LabelKeyWordDec = &FControls.Get<QLabel>("LabelKeyWordDec");
  MaskEditTesterAddress2000 = &FControls.Get<QLineEdit>("MaskEditTesterAddress2000");
  EditT2EOffset = &FControls.Get<QLineEdit>("EditT2EOffset");
  RadioInit2000 = &FControls.Get<tester::RadioGroup>("RadioInit2000");
  RadioGroupAddressMode = &FControls.Get<tester::RadioGroup>("RadioGroupAddressMode");
  RadioGroupHeaderType = &FControls.Get<tester::RadioGroup>("RadioGroupHeaderType");
  RadioGroupLengthInfo = &FControls.Get<tester::RadioGroup>("RadioGroupLengthInfo");
  ListBoxDTCStatus18 = &FControls.Get<ui::ListBox>("ListBoxDTCStatus18");
  ListBoxDTCGroup18 = &FControls.Get<ui::ListBox>("ListBoxDTCGroup18");
  ListBoxDTCGroup14 = &FControls.Get<ui::ListBox>("ListBoxDTCGroup14");
  ListBoxDTCGroup17 = &FControls.Get<ui::ListBox>("ListBoxDTCGroup17");
  ButtonReadTiming = &FControls.Get<QAbstractButton>("ButtonReadTiming");
  BindKwp2000Handlers();
}

void TQuobrixKWP2000Form::CreateDefinitionsAndDecoding() {
  FDtcDestination->AddStringsTarget(*ListBoxDTCGroup14);
  FDtcDestination->AddStringsTarget(*ListBoxDTCGroup17);
  auto definitions = std::make_unique<TKwp2000Definitions>(
      DefinitionControls(),
      TKwp2000DtcControls{*ListBoxDTCStatus18, *ListBoxDTCGroup18, *ListBoxDTCGroup14,
                          *ListBoxDTCGroup17},
      FDefDir);
  UseDecoding(std::make_unique<TKwp2000DecodingRules>(
      FDtcDestination.get(),
      std::vector<TGroupListRefill>{{ListBoxDTCGroup14, &definitions->DtcGroups14()},
                                    {ListBoxDTCGroup17, &definitions->DtcGroups17()}}));
  FKwp2000Definitions = definitions.get();
  UseDefinitions(std::move(definitions));
}
