// Definition files: the load, the open dialog and the definition-file list at the top.
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>

#include "engine/Sequence.h"
#include "measurement/DataDestination.h"
#include "tester/LiveDataReading.h"
#include "tester/TesterForm.h"
#include "ui/ActivityLogMemo.h"
#include "ui/ExceptionDisplay.h"
#include "ui/ListBox.h"
#include "ui/StringGrid.h"

namespace tester {

namespace {

// Hands the keys typed into the definition-file list to its handler and passes them on.
class KeyDownFilter final : public QObject {
 public:
  KeyDownFilter(QObject& watched, std::function<void(int)> onKeyDown)
      : QObject(&watched), onKeyDown_(std::move(onKeyDown)) {
    watched.installEventFilter(this);
  }

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress)
      ui::RunGuarded(onKeyDown_, static_cast<QKeyEvent*>(event)->key());
    return false;
  }

 private:
  std::function<void(int)> onKeyDown_;
};

}  // namespace

TDefinitionControls TesterForm::DefinitionControls() {
  return {*ListBoxReadAll, *ListBoxItemsReadAll, *ListBoxReadSel, *ListBoxItemsAll,
          *StringGrid2,    *FSettings,           *Memo1};
}

void TesterForm::UseDefinitions(std::unique_ptr<TDefinitions> definitions) {
  FDefinitions = std::move(definitions);
}

void TesterForm::BindDefFileList() {
  // A typed name stays in the edit field for the load instead of becoming an item.
  ComboBoxDefFileList->setInsertPolicy(QComboBox::NoInsert);
  connect(ComboBoxDefFileList, &QComboBox::activated, this, [this](int) {
    auto change = [this] { DefFileListChange(); };
    ui::RunGuarded(change);
  });
  new KeyDownFilter(*ComboBoxDefFileList->lineEdit(),
                    [this](int key) { DefFileListOnKeyDown(key); });
}

void TesterForm::ButtonLoadDefClick() {
  // The load frees every description: first nothing may still refer to one, neither a running
  // continuous read nor a data destination (the selection is emptied by the load).
  FLiveData->Reset();
  FRealtimeDestination->Clear();
  FIdentDestination->Clear();
  FDtcDestination->Clear();
  FDefinitions->Load(ComboBoxDefFileList->currentText().toStdString());
}

void TesterForm::ButtonFindFileClick() {
  QFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix("def");
  dialog.selectFile("*.def");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  ComboBoxDefFileList->addItem(dialog.selectedFiles().front());
  ComboBoxDefFileList->setCurrentIndex(ComboBoxDefFileList->count() - 1);
  ButtonLoadDefClick();
}

void TesterForm::DefFileListChange() {
  ButtonLoadDefClick();
}

void TesterForm::DefFileListOnKeyDown(int key) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) ButtonLoadDefClick();
}

}  // namespace tester
