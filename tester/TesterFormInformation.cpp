// Version information for the About tab, the port list of the attached FTDI interfaces and the
// device information in the activity log.
#include <QComboBox>

#include "platform/FtdiInterface.h"
#include "tester/FtdiInformation.h"
#include "tester/TesterForm.h"
#include "ui/ActivityLogMemo.h"

namespace tester {

void TesterForm::ShowVersionInfo() {
  Memo2->AddLine("");
  const TVersionText text = VersionText(FVersionLookup);
  for (const std::string& line : text.aboutLines)
    Memo2->AddLine(line);
  if (text.failed) Memo1->AddLine("Error getting FileInfo");
}

void TesterForm::FillPortList() {
  const std::vector<std::string> ports = PortListTexts(plat::ftdi::ActiveLibrary());
  for (const std::string& port : ports)
    ComboBoxComPort->addItem(QString::fromStdString(port));
  if (!ports.empty()) ComboBoxComPort->setCurrentIndex(0);
}

void TesterForm::ButtonFTDIinfoClick() {
  for (const std::string& line : FDeviceInformation(plat::ftdi::ActiveLibrary()))
    Memo1->AddLine(line);
}

}  // namespace tester
