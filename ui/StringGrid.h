// A string grid: a table of texts without headers whose cells are drawn word-wrapped, each row
// growing to fit the tallest text it has shown (rows never shrink back).
#pragma once

#include <QTableWidget>
#include <string>

#include "measurement/DisplayTargets.h"

namespace ui {

class StringGrid final : public QTableWidget, public TStringGrid {
 public:
  // Gap between the cell's left and top edges and its text, and below the text's last line.
  static constexpr int kTextMargin = 3;

  StringGrid(int columns, int rows, QWidget* parent = nullptr);

  int RowCount() const override { return rowCount(); }
  void SetRowCount(int rows) override { setRowCount(rows); }
  void SetCell(int column, int row, const std::string& text) override;
  // The cell's text; "" for a cell never written or outside the grid.
  std::string Cell(int column, int row) const;

  // Raises the row to `height` pixels; a lower height leaves it as it is.
  void GrowRow(int row, int height);
};

}  // namespace ui
