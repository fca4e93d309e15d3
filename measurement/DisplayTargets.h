// The display controls that the measurement layer writes to, as small interfaces of its own: the
// window layer implements them with widgets, tests with in-memory fakes. All of them are used in
// the main thread only.
#pragma once

#include <cstdint>
#include <string>

class TDataSeries;

// A list of texts that takes texts with an object each (a string list, the items of a list box).
class TStringsTarget {
 public:
  virtual ~TStringsTarget() = default;
  virtual void AddObject(const std::string& text, intptr_t object) = 0;
};

// A list box whose entries carry an object each and of which several may be selected.
class TListBox : public TStringsTarget {
 public:
  virtual int Count() const = 0;
  virtual std::string Text(int index) const = 0;
  virtual intptr_t Object(int index) const = 0;
  virtual bool Selected(int index) const = 0;
  virtual void SetSelected(int index, bool selected) = 0;
  // Removes every entry.
  virtual void Clear() = 0;
};

// A grid of texts, addressed as (column, row) like the grid's cells.
class TStringGrid {
 public:
  virtual ~TStringGrid() = default;
  virtual int RowCount() const = 0;
  virtual void SetRowCount(int rows) = 0;
  virtual void SetCell(int column, int row, const std::string& text) = 0;
};

// A chart of line series; each series draws the points of a data series, those added later too.
class TChart {
 public:
  virtual ~TChart() = default;
  virtual int SeriesCount() const = 0;
  // Removes the series at `index` (0 .. SeriesCount()-1) from the chart and deletes it.
  virtual void DeleteSeries(int index) = 0;
  virtual void AddLineSeries(const std::string& title, TDataSeries& source, int penWidth) = 0;
};

// The panels of a window's status bar.
class TStatusBar {
 public:
  virtual ~TStatusBar() = default;
  virtual void SetPanelText(int panel, const std::string& text) = 0;
};
