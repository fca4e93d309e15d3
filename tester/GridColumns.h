// Column widths of a string grid: some columns of fixed width, one column that takes the rest of
// the grid's width, kept so when the grid is resized.
#pragma once

#include <utility>
#include <vector>

namespace ui {
class StringGrid;
}

namespace tester {

struct FixedColumn {
  int column;
  int width;
};

// The rest column's width: the grid's width less the fixed widths, one grid line per column and
// 5 pixels of frame.
void SetColumnWidths(ui::StringGrid& grid, int restColumn, std::vector<FixedColumn> fixed);

}  // namespace tester
