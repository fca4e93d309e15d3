#include "ui/StringGrid.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

namespace ui {

namespace {

// Draws a cell's text word-wrapped; when the text needs more height than the row has, it grows
// the row instead and lets the repaint at the new height draw the text.
class WrappingCellDelegate : public QStyledItemDelegate {
 public:
  explicit WrappingCellDelegate(StringGrid& grid) : QStyledItemDelegate(&grid), grid_(&grid) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QString text = index.data(Qt::DisplayRole).toString();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette& palette = option.palette;
    const QBrush background = selected ? palette.highlight() : palette.base();
    const QColor textColour = selected ? palette.highlightedText().color() : palette.text().color();

    painter->save();
    painter->fillRect(option.rect, background);
    if (option.state.testFlag(QStyle::State_HasFocus)) DrawFocusRect(painter, option);

    const QRect textRect =
        option.rect.adjusted(StringGrid::kTextMargin, StringGrid::kTextMargin, 0, 0);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    const QRect needed = painter->fontMetrics().boundingRect(
        QRect(textRect.left(), textRect.top(), textRect.width(), 0), flags, text);
    const int neededHeight = needed.height() + StringGrid::kTextMargin;
    if (grid_->rowHeight(index.row()) < neededHeight) {
      GrowLater(index.row(), neededHeight);
    } else {
      painter->setPen(textColour);
      painter->drawText(textRect, flags, text);
    }
    painter->restore();
  }

 private:
  static void DrawFocusRect(QPainter* painter, const QStyleOptionViewItem& option) {
    QPen pen(option.palette.text().color(), 1, Qt::DotLine);
    painter->setPen(pen);
    painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
  }

  // The row height must not change while the view paints, so the growth is queued (and dropped
  // with the grid).
  void GrowLater(int row, int height) const {
    StringGrid* grid = grid_;
    QTimer::singleShot(0, grid, [grid, row, height] { grid->GrowRow(row, height); });
  }

  StringGrid* grid_;
};

}  // namespace

StringGrid::StringGrid(int columns, int rows, QWidget* parent)
    : QTableWidget(rows, columns, parent) {
  horizontalHeader()->hide();
  verticalHeader()->hide();
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(true);
  setItemDelegate(new WrappingCellDelegate(*this));
}

void StringGrid::SetCell(int column, int row, const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (QTableWidgetItem* cell = item(row, column)) {
    cell->setText(value);
    return;
  }
  setItem(row, column, new QTableWidgetItem(value));
}

std::string StringGrid::Cell(int column, int row) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell ? cell->text().toStdString() : std::string();
}

void StringGrid::GrowRow(int row, int height) {
  if (row < rowCount() && rowHeight(row) < height) setRowHeight(row, height);
}

}  // namespace ui
