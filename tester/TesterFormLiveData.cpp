// Live data: choosing up to four groups, reading them once or continuously into the realtime
// grids and chart, and the chart's item selection.
#include <QApplication>
#include <QKeyEvent>

#include "engine/Sequence.h"
#include "measurement/DataDestination.h"
#include "tester/GroupItems.h"
#include "tester/LiveDataReading.h"
#include "tester/LiveDataSelection.h"
#include "tester/TesterForm.h"
#include "ui/ExceptionDisplay.h"
#include "ui/ListBox.h"

namespace tester {

void TesterForm::UseLiveData(TReadStepMaker makeStep) {
  FLiveData = std::make_unique<TLiveDataReading>(*ListBoxReadSel, *FRealtimeDestination,
                                                 std::move(makeStep));
}

void TesterForm::BindLiveDataHandlers() {
  OnClick("ButtonSelect", [this] { ButtonSelectClick(); });
  OnClick("ButtonUnSelect", [this] { ButtonUnSelectClick(); });
  OnListClick("ListBoxReadSel", [this] { ListBoxReadSelClick(); });
  OnListClick("ListBoxReadAll", [this] { ListBoxReadAllClick(); });
  OnListClick("ListBoxItemsReadAll", [this] { ListBoxItemsReadAllClick(); });
  OnListClick("ListBoxItemsAll", [this] { ListBoxItemsAllClick(); });
  for (const char* name : {"ListBoxItemsChart1", "ListBoxItemsChart2", "ListBoxItemsChart3"}) {
    auto& box = FControls.Get<ui::ListBox>(name);
    OnListClick(name, [this, &box] { ListBoxItemsChartClick(box); });
  }
  OnClick("ButtonReadDataOnce", [this] { ButtonReadDataOnceClick(); });
  OnClick("ButtonToggleReadDataCont1", [this] { ButtonToggleReadDataContClick(); });
  OnClick("ButtonToggleReadDataCont2", [this] { ButtonToggleReadDataContClick(); });
  qApp->installEventFilter(this);
}

void TesterForm::ButtonSelectClick() {
  SelectGroups(*ListBoxReadAll, *ListBoxReadSel);
  ShowGroupItems(*ListBoxReadSel, *ListBoxItemsAll);
}

void TesterForm::ButtonUnSelectClick() {
  UnselectGroups(*ListBoxReadSel);
  ShowGroupItems(*ListBoxReadSel, *ListBoxItemsAll);
}

void TesterForm::ListBoxReadSelClick() {
  ShowGroupItems(*ListBoxReadSel, *ListBoxItemsAll);
}

void TesterForm::ListBoxReadAllClick() {
  ShowGroupItems(*ListBoxReadAll, *ListBoxItemsReadAll);
}

void TesterForm::ListBoxItemsReadAllClick() {
  SyncGroupSelection(*ListBoxReadAll, *ListBoxItemsReadAll);
}

void TesterForm::ListBoxItemsAllClick() {
  SyncGroupSelection(*ListBoxReadSel, *ListBoxItemsAll);
}

void TesterForm::ListBoxItemsChartClick(ui::ListBox& sender) {
  FRealtimeDestination->ShowSelectedSeries(sender);
}

void TesterForm::ButtonReadDataOnceClick() {
  if (!FCommThread) return;
  FLiveData->ReadOnce(
      [this](std::unique_ptr<TSequenceList>&& list) { return Execute(std::move(list)); });
}

void TesterForm::ButtonToggleReadDataContClick() {
  if (!FCommThread) return;
  const auto result = FLiveData->Toggle(
      [this](std::unique_ptr<TSequenceList>&& list) { return Execute(std::move(list)); });
  if (result == TLiveDataReading::TToggleResult::Stopped) SetKeyPreview(false);
  if (result == TLiveDataReading::TToggleResult::Started) {
    SetKeyPreview(true);
    ClearActiveControl();
  }
}

void TesterForm::FormKeyDown(int /*key*/) {}

// The key preview: a key pressed in a control of this window reaches FormKeyDown before the
// control.
bool TesterForm::eventFilter(QObject* watched, QEvent* event) {
  if (FKeyPreview && event->type() == QEvent::KeyPress && watched == QApplication::focusWidget() &&
      static_cast<QWidget*>(watched)->window() == this)
    FormKeyDown(static_cast<QKeyEvent*>(event)->key());
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace tester
