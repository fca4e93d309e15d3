#include "tester/GridColumns.h"

#include <QEvent>
#include <algorithm>

#include "ui/StringGrid.h"

namespace tester {

namespace {

constexpr int kGridLineWidth = 1;
constexpr int kFrameAllowance = 5;

class ColumnFitter final : public QObject {
 public:
  ColumnFitter(ui::StringGrid& grid, int restColumn, std::vector<FixedColumn> fixed)
      : QObject(&grid), grid_(grid), restColumn_(restColumn), fixed_(std::move(fixed)) {
    grid.installEventFilter(this);
    Fit();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &grid_ && event->type() == QEvent::Resize) Fit();
    return false;
  }

 private:
  void Fit() {
    int rest = grid_.width() - grid_.columnCount() * kGridLineWidth - kFrameAllowance;
    for (const FixedColumn& column : fixed_) {
      grid_.setColumnWidth(column.column, column.width);
      rest -= column.width;
    }
    grid_.setColumnWidth(restColumn_, std::max(rest, 0));
  }

  ui::StringGrid& grid_;
  int restColumn_;
  std::vector<FixedColumn> fixed_;
};

}  // namespace

void SetColumnWidths(ui::StringGrid& grid, int restColumn, std::vector<FixedColumn> fixed) {
  new ColumnFitter(grid, restColumn, std::move(fixed));  // owned by the grid
}

}  // namespace tester
