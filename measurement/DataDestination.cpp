#include "measurement/DataDestination.h"

#include <algorithm>
#include <ctime>
#include <ostream>
#include <string>

#include "measurement/DataDescription.h"
#include "platform/Conversions.h"
#include "platform/SmallIntArray.h"

namespace {

constexpr int kGridColumns = 3;  // name, value text, unit

std::string TimeOfDayText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

}  // namespace

TDataDestination::~TDataDestination() {
  Clear();
}

void TDataDestination::AddChart(TChart& chart, TListBox& selectionListBox) {
  FCharts.push_back(&chart);
  FChartListBoxes.push_back(&selectionListBox);
}

void TDataDestination::AddGrid(TStringGrid& grid) {
  FGrids.push_back(&grid);
}

void TDataDestination::AddStringsTarget(TStringsTarget& target) {
  FStringsTargets.push_back(&target);
}

void TDataDestination::AddTextStream(std::ostream& stream) {
  FTextStreams.push_back(&stream);
}

void TDataDestination::AddDataStream(std::unique_ptr<std::ostream> stream) {
  FDataStreams.push_back(std::move(stream));
}

int TDataDestination::AddDescription(TDataDescription& description) {
  auto seriesList = std::make_unique<TChartSeriesList>();
  if (description.IsSingleRecord()) {
    const auto& names = description.GetNames();
    const int items = std::min<int>(description.Count(), static_cast<int>(names.size()));
    for (int i = 0; i < items; ++i) {
      const auto& series = seriesList->emplace_back(std::make_unique<TDataSeries>(names[i]));
      for (TListBox* box : FChartListBoxes)
        box->AddObject(series->Title(), reinterpret_cast<intptr_t>(series.get()));
    }
  }
  FDescriptions.push_back(&description);
  FSeriesLists.push_back(std::move(seriesList));
  return DescriptionCount() - 1;
}

int TDataDestination::IndexOf(const TDataDescription& description) const {
  const auto found = std::find(FDescriptions.begin(), FDescriptions.end(), &description);
  return found == FDescriptions.end() ? -1 : static_cast<int>(found - FDescriptions.begin());
}

void TDataDestination::NewData(int index, const TSmallIntArray* data, int timeMs, bool append) {
  if (index < 0 || index >= DescriptionCount() || !data) return;
  TDataDescription& description = *FDescriptions[index];
  description.Decode(*data, append);
  if (description.IsSingleRecord()) AddChartPoints(index, timeMs);
  const int offset = RowOffset(index);
  WriteReportHeader(description);
  for (int line = 0; line < description.GetLineCount(); ++line) {
    for (TStringGrid* grid : FGrids)
      WriteGridRow(*grid, offset + line, description, line);
    WriteReportLine(description, line);
  }
  WriteDataLine(index, timeMs, description);
  AddRecordTexts(description);
}

void TDataDestination::AddChartPoints(int index, int timeMs) {
  const TChartSeriesList& seriesList = *FSeriesLists[index];
  const auto& values = FDescriptions[index]->GetValues();
  const size_t items = std::min(seriesList.size(), values.size());
  const double x = timeMs * 0.001;
  for (size_t i = 0; i < items; ++i)
    seriesList[i]->AddXY(x, values[i]);
}

// The descriptions share every grid, one block of rows after the other, each block as long as
// its description's present line count.
int TDataDestination::RowOffset(int index) const {
  int offset = 0;
  for (int i = 0; i < index; ++i)
    offset += FDescriptions[i]->GetLineCount();
  return offset;
}

void TDataDestination::WriteGridRow(TStringGrid& grid, int row, const TDataDescription& description,
                                    int line) {
  if (grid.RowCount() <= row) grid.SetRowCount(row + 1);
  grid.SetCell(0, row, description.GetNames()[line]);
  grid.SetCell(1, row, description.GetValueTexts()[line]);
  grid.SetCell(2, row, description.GetUnits()[line]);
}

void TDataDestination::WriteReportHeader(const TDataDescription& description) {
  if (FTextStreams.empty()) return;
  const std::string header = "\n" + TimeOfDayText() + "\n" + description.GetServiceName() + ", 0x" +
                             plat::IntToHex(static_cast<uint32_t>(description.GetServiceId()), 2) +
                             ", " + description.GetTitle() + "\n";
  for (std::ostream* stream : FTextStreams)
    *stream << header;
}

void TDataDestination::WriteReportLine(const TDataDescription& description, int line) {
  for (std::ostream* stream : FTextStreams)
    *stream << description.GetNames()[line] << " - " << description.GetValueTexts()[line] << " - "
            << description.GetUnits()[line] << "\n";
}

// One line collects the descriptions of one read cycle: each adds its time and value texts, and
// the last registered one ends the line.
void TDataDestination::WriteDataLine(int index, int timeMs, const TDataDescription& description) {
  if (FDataStreams.empty()) return;
  std::string text = index > 0 ? "; " : "";
  text += std::to_string(timeMs);
  for (const std::string& value : description.GetValueTexts())
    text += "; " + value;
  if (index + 1 >= DescriptionCount())
    text += FMarkerOn ? "; " + std::to_string(FMarkerCount) + "\n" : "\n";
  for (const auto& stream : FDataStreams)
    *stream << text;
}

void TDataDestination::AddRecordTexts(const TDataDescription& description) {
  for (TStringsTarget* target : FStringsTargets)
    for (const TRecordText& record : description.GetRecordTexts())
      target->AddObject(record.Text, record.RawValue);
}

void TDataDestination::ShowSelectedSeries(TListBox& selectionListBox) {
  const auto box = std::find(FChartListBoxes.begin(), FChartListBoxes.end(), &selectionListBox);
  if (box == FChartListBoxes.end()) return;
  TChart& chart = *FCharts[box - FChartListBoxes.begin()];
  for (int i = chart.SeriesCount() - 1; i >= 0; --i)
    chart.DeleteSeries(i);
  for (int i = 0; i < selectionListBox.Count(); ++i) {
    if (!selectionListBox.Selected(i)) continue;
    if (TDataSeries* source = FindDataSeries(selectionListBox.Object(i)))
      chart.AddLineSeries(selectionListBox.Text(i), *source, FPenWidth);
  }
}

TDataSeries* TDataDestination::FindDataSeries(intptr_t object) const {
  for (const auto& seriesList : FSeriesLists)
    for (const auto& series : *seriesList)
      if (reinterpret_cast<intptr_t>(series.get()) == object) return series.get();
  return nullptr;
}

void TDataDestination::SelectDefaultSeries() {
  for (size_t i = 0; i < FChartListBoxes.size(); ++i) {
    TListBox& box = *FChartListBoxes[i];
    if (box.Count() <= static_cast<int>(i)) continue;
    box.SetSelected(static_cast<int>(i), true);
    ShowSelectedSeries(box);
  }
}

void TDataDestination::Clear() {
  // The boxes go first, so that no entry ever names a deleted data series.
  for (TListBox* box : FChartListBoxes)
    box->Clear();
  FSeriesLists.clear();
  FDescriptions.clear();
  for (TStringGrid* grid : FGrids) {
    grid->SetRowCount(1);
    for (int column = 0; column < kGridColumns; ++column)
      grid->SetCell(column, 0, "");
  }
  CloseDataFiles();
}

void TDataDestination::CloseDataFiles() {
  FDataStreams.clear();
  FMarkerCount = 0;
}
