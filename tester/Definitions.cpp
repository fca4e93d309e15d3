#include "tester/Definitions.h"

#include <exception>
#include <utility>

#include "measurement/CommaText.h"
#include "measurement/DataDescription.h"
#include "measurement/DisplayTargets.h"
#include "tester/GroupItems.h"

TFileAction IntoList(TDescriptionList& list) {
  return [&list](std::unique_ptr<TDataDescription> description) {
    list.push_back(std::move(description));
  };
}

TDefinitions::TDefinitions(const TDefinitionControls& controls, std::string defDir)
    : FControls(controls), FDefDir(std::move(defDir)) {}

TDefinitions::~TDefinitions() = default;

void TDefinitions::Load(const std::string& fileName) {
  FControls.ReadSel.Clear();
  ClearIdent();
  ClearRealtime();
  ClearProgramLists();
  FNamedLists.Clear();
  FReadFiles.clear();

  std::exception_ptr error;
  try {
    ReadDefinitionFile(
        {Keywords(), FNamedLists, FReadFiles, FControls.Settings, FControls.Log, FDefDir},
        fileName);
  } catch (...) {
    error = std::current_exception();
  }
  ShowGroupItems(FControls.ReadSel, FControls.ItemsAll);
  ShowGroupItems(FControls.ReadAll, FControls.ItemsReadAll);
  FillIdentGrid();
  if (error) std::rethrow_exception(error);
}

void TDefinitions::FileRealtime(std::unique_ptr<TDataDescription> description) {
  FControls.ReadAll.AddObject(description->GetTitle(),
                              reinterpret_cast<intptr_t>(description.get()));
  FRealtimeDescriptions.push_back(std::move(description));
}

void TDefinitions::FileIdent(std::unique_ptr<TDataDescription> description) {
  FIdentDescriptions.push_back(std::move(description));
}

void TDefinitions::ClearRealtime() {
  FControls.ReadAll.Clear();  // before the descriptions its entries point at are freed
  FRealtimeDescriptions.clear();
}

void TDefinitions::ClearIdent() {
  FIdentDescriptions.clear();
}

void TDefinitions::FillIdentGrid() {
  TStringGrid& grid = FControls.IdentGrid;
  grid.SetRowCount(1);
  for (int column = 0; column < 3; ++column)
    grid.SetCell(column, 0, "");
  int row = 0;
  for (const auto& description : FIdentDescriptions) {
    for (int j = 0; j < description->Count(); ++j, ++row) {
      if (row >= grid.RowCount()) grid.SetRowCount(row + 1);
      grid.SetCell(0, row, WordAt(description->GetNames(), j));
      grid.SetCell(1, row, "");
      grid.SetCell(2, row, "");
    }
  }
}
