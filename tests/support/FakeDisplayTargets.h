// In-memory display controls for tests: a grid, a list box and a chart that record what the
// measurement layer and the windows' shared code write into them.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "measurement/DataSeries.h"
#include "measurement/DisplayTargets.h"

namespace testing_support {

using Texts = std::vector<std::string>;
using Points = std::vector<TChartPoint>;

struct FakeGrid : TStringGrid {
  explicit FakeGrid(int rows = 3) : rows(rows) {}
  int RowCount() const override { return rows; }
  void SetRowCount(int count) override { rows = count; }
  void SetCell(int column, int row, const std::string& text) override {
    ASSERT_LT(row, rows) << "cell written below the last row";
    cells[{column, row}] = text;
  }
  // The three cells of a row; "<unset>" for a cell never written.
  Texts Row(int row) const {
    Texts texts;
    for (int column = 0; column < 3; ++column)
      texts.push_back(cells.contains({column, row}) ? cells.at({column, row}) : "<unset>");
    return texts;
  }
  int rows;
  std::map<std::pair<int, int>, std::string> cells;
};

struct FakeListBox : TListBox {
  struct Entry {
    std::string text;
    intptr_t object;
    bool selected = false;
    bool operator==(const Entry&) const = default;
  };
  void AddObject(const std::string& text, intptr_t object) override {
    entries.push_back({text, object});
  }
  int Count() const override { return static_cast<int>(entries.size()); }
  std::string Text(int index) const override { return entries.at(index).text; }
  intptr_t Object(int index) const override { return entries.at(index).object; }
  bool Selected(int index) const override { return entries.at(index).selected; }
  void SetSelected(int index, bool selected) override { entries.at(index).selected = selected; }
  void Clear() override { entries.clear(); }
  Texts AllTexts() const {
    Texts texts;
    for (const Entry& entry : entries)
      texts.push_back(entry.text);
    return texts;
  }
  std::vector<Entry> entries;
};

// A chart whose series copy their data series' points and follow the ones added later.
struct FakeChart : TChart {
  struct Series {
    Series(const std::string& title, TDataSeries& source, int penWidth)
        : title(title),
          penWidth(penWidth),
          points(source.Points()),
          link(source, [this](const TChartPoint& p) { points.push_back(p); }) {}
    std::string title;
    int penWidth;
    Points points;
    TDataSourceLink link;
  };
  int SeriesCount() const override { return static_cast<int>(series.size()); }
  void DeleteSeries(int index) override {
    deleted.push_back(series.at(index)->title);
    series.erase(series.begin() + index);
  }
  void AddLineSeries(const std::string& title, TDataSeries& source, int penWidth) override {
    series.push_back(std::make_unique<Series>(title, source, penWidth));
  }
  Texts Titles() const {
    Texts titles;
    for (const auto& s : series)
      titles.push_back(s->title);
    return titles;
  }
  std::vector<std::unique_ptr<Series>> series;
  Texts deleted;  // in the order of deletion
};

}  // namespace testing_support
