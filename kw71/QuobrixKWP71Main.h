// The main window of QuobrixKWP71: the shared tester window with the KWP71/KWP81 block protocol,
// its sub-type, handshake and timing settings, the key bytes of the start, the fault codes of the
// "Diagnose" tab and the FTDI information with the EEPROM dump. The class is split over files by
// concern: construction and teardown here, the control table, the connection, identification and
// fault codes in their own files.
#pragma once

#include <memory>

#include "tester/TesterForm.h"

class QLabel;
class QLineEdit;
class QComboBox;
class TKw71Definitions;
class TKwp71Protocol;

namespace tester {
class RadioGroup;
}

class TQuobrixKWP71Form final : public tester::TesterForm {
 public:
  static constexpr const char* kCaption = "Quobrix KWP71/81 by Hembrowe";
  static constexpr const char* kDefaultDefinitionFile = "QuobrixKWP71.def";

  // The version strings this program was built with.
  static tester::TVersionStrings CompiledVersion();
  // The controls of the window, as the window and its tests build them.
  static const tester::ControlTable& WindowControls();

  explicit TQuobrixKWP71Form(tester::TVersionLookup versionLookup = CompiledVersion,
                             QWidget* parent = nullptr);
  ~TQuobrixKWP71Form() override;

  // "Start + ID" only starts: the identification comes with the start's answer.
  void ButtonStartCompleteClick();

  // Identification and fault codes.
  void ButtonIDnewClick();
  void ButtonReadDTCByStatusNewClick();
  void ButtonClearDIClick();

 private:
  void BindProgramControls() override;
  void CreateDefinitionsAndDecoding() override;
  // The echo and DTR check boxes are hidden; "#define" still sets them and a start reads them.
  void AfterPortList() override;

  // Connection.
  void ResetKeyByteDisplay() override;
  std::unique_ptr<TIso9141Thread> CreateWorker() override;
  std::unique_ptr<TKwpProtocol> CreateProtocol(TIso9141Thread& worker) override;
  uint8_t ProtocolType() const override { return 1; }
  void ConfigureProtocol() override;
  void ShowStartResult(bool started, const TSmallIntArray& keyBytes) override;
  TKwp71Protocol& Kwp71Protocol();

  QLabel* LabelKeyWord = nullptr;
  QComboBox* BaudRate = nullptr;
  tester::RadioGroup* RadioGroupSubType = nullptr;
  QLineEdit* MaskEditMaxNrKBs = nullptr;
  QLineEdit* MaskEditMaxTime55 = nullptr;
  QLineEdit* MaskEditMaxTimeKBs = nullptr;
  QLineEdit* MaskEditKB2CplTime = nullptr;
  QLineEdit* MaskEditMaxEcuInt = nullptr;
  QLineEdit* MaskEditMaxEcu2Tester = nullptr;
  TKw71Definitions* FKw71Definitions = nullptr;  // FDefinitions, as the KW71 kind
};
