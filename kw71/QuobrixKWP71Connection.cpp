// The KW71/KW81 part of a connection: the block protocol configured from the Connect tab (sub-type,
// handshake, timing, baud rate), and the key bytes the ECU sent at its 5-baud start.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "kw71/Kwp71Protocol2.h"
#include "kw71/QuobrixKWP71Main.h"
#include "platform/Conversions.h"
#include "tester/KeyBytes.h"
#include "tester/RadioGroup.h"
#include "ui/ActivityLogMemo.h"

namespace {

constexpr const char* kNoKeyBytes = "----";

// A field's text without its blanks, as a number; raises the conversion error otherwise.
int32_t TrimmedInteger(const QLineEdit& edit) {
  return plat::StrToInt(plat::Trim(edit.text().toStdString()));
}

}  // namespace

void TQuobrixKWP71Form::ButtonStartCompleteClick() {
  StartComm2000();
}

TKwp71Protocol& TQuobrixKWP71Form::Kwp71Protocol() {
  // The protocol object of this window is always the one CreateProtocol made.
  return static_cast<TKwp71Protocol&>(*FProtocol);
}

void TQuobrixKWP71Form::ResetKeyByteDisplay() {
  LabelKeyWord->setText(kNoKeyBytes);
}

std::unique_ptr<TIso9141Thread> TQuobrixKWP71Form::CreateWorker() {
  return std::make_unique<TIso9141Thread>(Memo1, FRequestList.get(), FResponseList.get(), FBaseDir);
}

std::unique_ptr<TKwpProtocol> TQuobrixKWP71Form::CreateProtocol(TIso9141Thread& worker) {
  return std::make_unique<TKwp71Protocol>(&worker, Memo1);
}

void TQuobrixKWP71Form::ConfigureProtocol() {
  TKwp71Protocol& protocol = Kwp71Protocol();
  // No choice (-1) gives 255, which frames as KWP71.
  protocol.SetSubType(static_cast<uint8_t>(RadioGroupSubType->ItemIndex()));
  // The fields are read in this order, so the first one that is not a number raises the error.
  const int32_t maxTimeKeyBytes = TrimmedInteger(*MaskEditMaxTimeKBs);
  const int32_t keyByte2ComplTime = TrimmedInteger(*MaskEditKB2CplTime);
  const int32_t maxTime55 = TrimmedInteger(*MaskEditMaxTime55);
  const int32_t maxKeyBytes = TrimmedInteger(*MaskEditMaxNrKBs);
  protocol.SetInitParams(maxKeyBytes, maxTime55, maxTimeKeyBytes, keyByte2ComplTime);
  const int32_t maxEcu2Tester = TrimmedInteger(*MaskEditMaxEcu2Tester);
  const int32_t maxEcuInterByte = TrimmedInteger(*MaskEditMaxEcuInt);
  protocol.SetTimings(
      {{kMaxEcu2TesterTime, maxEcu2Tester}, {kMaxEcuInterByteTime, maxEcuInterByte}});
  FCommThread->SetBaudRate(plat::StrToInt(BaudRate->currentText().toStdString()));
}

void TQuobrixKWP71Form::ShowStartResult(bool started, const TSmallIntArray& keyBytes) {
  // A failed start has its lines from the worker.
  if (!started) return;
  for (const std::string& line : tester::KeyByteLines(keyBytes))
    Memo1->AddLine(line);
  // Each key byte in hexadecimal with a blank after it.
  std::string label;
  for (int16_t value : keyBytes.Values())
    label += plat::IntToHex(static_cast<uint8_t>(value), 2) + " ";
  LabelKeyWord->setText(QString::fromStdString(label));
}
