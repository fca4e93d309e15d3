// The main window of QuobrixKWP2000Prof: the shared tester window with the KWP2000 protocol, its
// Connect-tab settings and key-word display, the trouble-code group lists and the KWP2000
// handlers. The class is split over files by concern: construction and teardown here, the
// control table, the connection, identification and trouble codes, and the single services in
// their own files.
#pragma once

#include <memory>

#include "tester/TesterForm.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class TKwp2000Definitions;
class TKwp2000Protocol;

namespace tester {
class RadioGroup;
}
namespace ui {
class ListBox;
}

class TQuobrixKWP2000Form final : public tester::TesterForm {
 public:
  static constexpr const char* kCaption = "Quobrix KWP2000 by Hembrowe";
  static constexpr const char* kDefaultDefinitionFile = "QuobrixKWP2000.def";

  // The version strings this program was built with.
  static tester::TVersionStrings CompiledVersion();
  // The controls of the window, as the window and its tests build them.
  static const tester::ControlTable& WindowControls();

  explicit TQuobrixKWP2000Form(tester::TVersionLookup versionLookup = CompiledVersion,
                               QWidget* parent = nullptr);
  ~TQuobrixKWP2000Form() override;

  // Identification and trouble codes.
  void ButtonIDnewClick();
  void ButtonReadDTCByStatusNewClick();
  void ButtonClearDIClick();
  void ButtonReadStatusOfDTCClick();

  // Single services, told apart by the pressed button's tag, and "Start + ID".
  void KWP2000ButtonClick(const QAbstractButton& sender);
  void ButtonStartCompleteClick();

 private:
  void BindProgramControls() override;
  // The trouble-code group lists as string targets, the definitions with the trouble-code lists
  // and the decoding that refills them.
  void CreateDefinitionsAndDecoding() override;
  void BindKwp2000Handlers();

  // Connection.
  void ResetKeyByteDisplay() override;
  std::unique_ptr<TIso9141Thread> CreateWorker() override;
  std::unique_ptr<TKwpProtocol> CreateProtocol(TIso9141Thread& worker) override;
  uint8_t ProtocolType() const override { return 2; }
  void ConfigureProtocol() override;
  void BeforeStartCommunication() override;
  void ShowStartResult(bool started, const TSmallIntArray& keyBytes) override;
  TKwp2000Protocol& Kwp2000Protocol();
  static TKwp2000Thread& Kwp2000Worker(TIso9141Thread& worker);

  QLabel* LabelKeyWord = nullptr;
  QLabel* LabelKeyWordDec = nullptr;
  QLineEdit* MaskEditTesterAddress2000 = nullptr;
  QLineEdit* EditT2EOffset = nullptr;
  tester::RadioGroup* RadioInit2000 = nullptr;
  tester::RadioGroup* RadioGroupAddressMode = nullptr;
  tester::RadioGroup* RadioGroupHeaderType = nullptr;
  tester::RadioGroup* RadioGroupLengthInfo = nullptr;
  ui::ListBox* ListBoxDTCStatus18 = nullptr;
  ui::ListBox* ListBoxDTCGroup18 = nullptr;
  ui::ListBox* ListBoxDTCGroup14 = nullptr;
  ui::ListBox* ListBoxDTCGroup17 = nullptr;
  QAbstractButton* ButtonReadTiming = nullptr;
  TKwp2000Definitions* FKwp2000Definitions = nullptr;  // FDefinitions, as the KWP2000 kind
};
