// Construction and teardown of the KW71/KW81 tester's window.
#include "kw71/QuobrixKWP71Main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "kw71/Kw71Decoding.h"
#include "kw71/Kw71Definitions.h"
#include "kw71/Kw71Requests.h"
#include "measurement/DataDescription.h"
#include "tester/RadioGroup.h"

tester::TVersionStrings TQuobrixKWP71Form::CompiledVersion() {
  return {{"ProductName", QUOBRIX_PRODUCT_NAME},
          {"CompanyName", QUOBRIX_COMPANY_NAME},
          {"FileVersion", QUOBRIX_FILE_VERSION}};
}

TQuobrixKWP71Form::TQuobrixKWP71Form(tester::TVersionLookup versionLookup, QWidget* parent)
    : TesterForm(std::move(versionLookup), parent) {
  Construct({WindowControls(), kCaption, kDefaultDefinitionFile, MakeKw71ReadStep,
             tester::DeviceInformationWithEepromLines});
}

TQuobrixKWP71Form::~TQuobrixKWP71Form() {
  Teardown();
}

void TQuobrixKWP71Form::BindProgramControls() {
  LabelKeyWord = &FControls.Get<QLabel>("LabelKeyWord");
  BaudRate = &FControls.Get<QComboBox>("BaudRate");
  RadioGroupSubType = &FControls.Get<tester::RadioGroup>("RadioGroupSubType");
  MaskEditMaxNrKBs = &FControls.Get<QLineEdit>("MaskEditMaxNrKBs");
  MaskEditMaxTime55 = &FControls.Get<QLineEdit>("MaskEditMaxTime55");
  MaskEditMaxTimeKBs = &FControls.Get<QLineEdit>("MaskEditMaxTimeKBs");
  MaskEditKB2CplTime = &FControls.Get<QLineEdit>("MaskEditKB2CplTime");
  MaskEditMaxEcuInt = &FControls.Get<QLineEdit>("MaskEditMaxEcuInt");
  MaskEditMaxEcu2Tester = &FControls.Get<QLineEdit>("MaskEditMaxEcu2Tester");
  OnClick("ButtonStartComplete", [this] { ButtonStartCompleteClick(); });
  OnClick("ButtonIDnew", [this] { ButtonIDnewClick(); });
  OnClick("ButtonReadDTCByStatusNew", [this] { ButtonReadDTCByStatusNewClick(); });
  OnClick("ButtonClearDI", [this] { ButtonClearDIClick(); });
}

void TQuobrixKWP71Form::CreateDefinitionsAndDecoding() {
  auto definitions = std::make_unique<TKw71Definitions>(DefinitionControls(), FDefDir);
  UseDecoding(std::make_unique<TKw71DecodingRules>(*definitions, *FIdentDestination));
  FKw71Definitions = definitions.get();
  UseDefinitions(std::move(definitions));
}

void TQuobrixKWP71Form::AfterPortList() {
  // Only out of sight: a start still reads them and enables and disables them.
  CheckBoxRcvEcho->setVisible(false);
  CheckBoxSetDTR->setVisible(false);
}
