// The KWP2000 part of a connection: the protocol object configured from the Connect tab, the
// addresses, and the key bytes with the key word the ECU sent.
#include <QLabel>
#include <QLineEdit>
#include <array>

#include "engine/Kwp2000Protocol2.h"
#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "platform/Conversions.h"
#include "tester/KeyBytes.h"
#include "tester/RadioGroup.h"
#include "ui/ActivityLogMemo.h"

namespace {

constexpr const char* kNoKeyWord = "----";

// Header modes by the items of "Header Type"; "Auto" also lets the key bytes choose.
struct HeaderChoice {
  bool automatic;
  int32_t physical;
  int32_t functional;
};
constexpr std::array<HeaderChoice, 3> kHeaderChoices{{
    {true, 0, TKwp2000Protocol::kHeaderFunctional},
    {false, 0, TKwp2000Protocol::kHeaderFunctional},
    {false, TKwp2000Protocol::kHeaderAddresses,
     TKwp2000Protocol::kHeaderAddresses | TKwp2000Protocol::kHeaderFunctional},
}};

// Length modes by the items of "Length Information": "Auto", "Length in formatbyte",
// "Additional lengthbyte".
constexpr std::array<int32_t, 3> kLengthModes{0, TKwp2000Protocol::kLengthInFormat,
                                              TKwp2000Protocol::kLengthByte};

int32_t IntegerOf(const QLineEdit& edit) {
  return plat::StrToInt(edit.text().toStdString());
}

}  // namespace

TKwp2000Protocol& TQuobrixKWP2000Form::Kwp2000Protocol() {
  // The protocol object of this window is always the one CreateProtocol made.
  return static_cast<TKwp2000Protocol&>(*FProtocol);
}

TKwp2000Thread& TQuobrixKWP2000Form::Kwp2000Worker(TIso9141Thread& worker) {
  // The worker of this window is always the one CreateWorker made.
  return static_cast<TKwp2000Thread&>(worker);
}

void TQuobrixKWP2000Form::ResetKeyByteDisplay() {
  LabelKeyWord->setText(kNoKeyWord);
  LabelKeyWordDec->setText(kNoKeyWord);
}

std::unique_ptr<TIso9141Thread> TQuobrixKWP2000Form::CreateWorker() {
  return std::make_unique<TKwp2000Thread>(Memo1, FRequestList.get(), FResponseList.get(), FBaseDir);
}

std::unique_ptr<TKwpProtocol> TQuobrixKWP2000Form::CreateProtocol(TIso9141Thread& worker) {
  return std::make_unique<TKwp2000Protocol>(&Kwp2000Worker(worker), Memo1);
}

void TQuobrixKWP2000Form::ConfigureProtocol() {
  TKwp2000Protocol& protocol = Kwp2000Protocol();
  protocol.SetT2EOffset(IntegerOf(*EditT2EOffset));
  protocol.SetInitType(static_cast<uint8_t>(RadioInit2000->ItemIndex() + 1));
  protocol.SetAutoHeader(0);
  if (const int header = RadioGroupHeaderType->ItemIndex(); header >= 0) {
    const HeaderChoice& choice = kHeaderChoices[header];
    if (choice.automatic) protocol.SetAutoHeader(1);
    const bool functional = RadioGroupAddressMode->ItemIndex() != 0;
    protocol.SetHeaderMode(functional ? choice.functional : choice.physical);
  }
  if (const int length = RadioGroupLengthInfo->ItemIndex(); length >= 0)
    protocol.SetLengthMode(kLengthModes[length]);
}

void TQuobrixKWP2000Form::BeforeStartCommunication() {
  const int32_t testerAddress = IntegerOf(*MaskEditTesterAddress2000);
  const int32_t ecuAddress = IntegerOf(*MaskEditEcuAddress2000);
  Kwp2000Worker(*FCommThread)
      .SetAddresses(static_cast<uint8_t>(ecuAddress), static_cast<uint8_t>(testerAddress));
}

void TQuobrixKWP2000Form::ShowStartResult(bool started, const TSmallIntArray& keyBytes) {
  if (!started) {
    Memo1->AddLine("No communication");
    return;
  }
  for (const std::string& line : tester::KeyByteLines(keyBytes))
    Memo1->AddLine(line);
  if (keyBytes.Count() < 2) return;
  // The key word: the second key byte first; in decimal without the parity bits.
  const int keyByte1 = keyBytes[0] & 0xFF;
  const int keyByte2 = keyBytes[1] & 0xFF;
  LabelKeyWord->setText(QString::fromStdString(plat::IntToHex(keyByte2 * 256 + keyByte1, 4)));
  LabelKeyWordDec->setText(QString::number((keyByte2 & 0x7F) * 128 + (keyByte1 & 0x7F)));
}
