// Where decoded responses become visible. A window registers its display controls once (string
// grids, charts each paired with a series-selection list box, strings targets) and, before each
// read, the descriptions of the values it requests; NewData then lets a description decode a
// response and writes its lines into every grid, one time-stamped point per item into the item's
// data series, and its record texts into every strings target. Main thread only.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <vector>

#include "measurement/DataSeries.h"
#include "measurement/DisplayTargets.h"

class TDataDescription;
class TSmallIntArray;

class TDataDestination {
 public:
  TDataDestination() = default;
  // Clears; the registered controls, streams and descriptions are borrowed and stay.
  ~TDataDestination();
  TDataDestination(const TDataDestination&) = delete;
  TDataDestination& operator=(const TDataDestination&) = delete;

  // Registrations; every registered object must outlive the destination.
  void AddChart(TChart& chart, TListBox& selectionListBox);
  void AddGrid(TStringGrid& grid);
  void AddStringsTarget(TStringsTarget& target);
  // A stream that receives a text report of every response.
  void AddTextStream(std::ostream& stream);
  // A stream, owned from now on, that receives one "; "-separated data line per read cycle.
  void AddDataStream(std::unique_ptr<std::ostream> stream);

  // Registers the description with one data series per item (single-record descriptions only),
  // each offered as an entry of every selection list box; returns the description's index.
  int AddDescription(TDataDescription& description);
  // Decodes and shows one response of the description at `index`. An index outside the
  // registered descriptions or null data change nothing.
  void NewData(int index, const TSmallIntArray* data, int timeMs, bool append);
  // Rebuilds the series of the chart paired with `selectionListBox` from its selected entries; a
  // box that was never registered changes nothing.
  void ShowSelectedSeries(TListBox& selectionListBox);
  // Selects entry i of the i-th selection list box, where it exists, and shows it.
  void SelectDefaultSeries();
  // Forgets the descriptions and their data series (series drawn in a chart keep their points),
  // empties the selection list boxes and the grids, and closes the data streams.
  void Clear();
  void CloseDataFiles();

  int DescriptionCount() const { return static_cast<int>(FDescriptions.size()); }
  // The index the description is registered at, or -1.
  int IndexOf(const TDataDescription& description) const;

  int32_t FMarkerCount = 0;
  bool FMarkerOn = false;  // adds FMarkerCount to the end of each data line
  int32_t FPenWidth = 2;   // line width of the series that ShowSelectedSeries draws

 private:
  using TChartSeriesList = std::vector<std::unique_ptr<TDataSeries>>;

  void AddChartPoints(int index, int timeMs);
  int RowOffset(int index) const;
  void WriteGridRow(TStringGrid& grid, int row, const TDataDescription& description, int line);
  void WriteReportHeader(const TDataDescription& description);
  void WriteReportLine(const TDataDescription& description, int line);
  void WriteDataLine(int index, int timeMs, const TDataDescription& description);
  void AddRecordTexts(const TDataDescription& description);
  // The data series of this destination that a list-box entry's object names, or null.
  TDataSeries* FindDataSeries(intptr_t object) const;

  std::vector<TChart*> FCharts;
  std::vector<TListBox*> FChartListBoxes;  // at the same index as its chart
  std::vector<TStringGrid*> FGrids;
  std::vector<std::ostream*> FTextStreams;
  std::vector<std::unique_ptr<TChartSeriesList>> FSeriesLists;  // at the description's index
  std::vector<TDataDescription*> FDescriptions;
  std::vector<std::unique_ptr<std::ostream>> FDataStreams;
  std::vector<TStringsTarget*> FStringsTargets;
};
