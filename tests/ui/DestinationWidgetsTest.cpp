// A data destination feeding the real widgets: a grid, a chart with its selection list box and
// the display thread's status panels, drawn offscreen and saved as a screenshot.
#include <gtest/gtest.h>

#include <QCategoryAxis>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLineSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWidget>
#include <string>
#include <vector>

#include "QtTestEnvironment.h"
#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "platform/SmallIntArray.h"
#include "ui/Chart.h"
#include "ui/ListBox.h"
#include "ui/StringGrid.h"

namespace {

// The screenshot goes to the build directory; the test names the file it wrote.
const char* const kScreenshot = QUOBRIX_TEST_OUTPUT_DIR "/destination_widgets.png";

struct Window {
  Window() {
    auto* rows = new QVBoxLayout(&widget);
    auto* chartRow = new QHBoxLayout;
    chartRow->addWidget(chart, 1);
    chartRow->addWidget(box);
    rows->addLayout(chartRow, 2);
    rows->addWidget(grid, 1);
    box->setFixedWidth(120);
    widget.resize(900, 640);
    grid->setColumnWidth(0, 300);
    grid->setColumnWidth(1, 150);
    grid->setColumnWidth(2, 70);
  }

  QWidget widget;
  ui::Chart* chart = new ui::Chart(&widget);
  ui::ListBox* box = new ui::ListBox(true, &widget);
  ui::StringGrid* grid = new ui::StringGrid(3, 3, &widget);
};

std::vector<QPointF> PointsOf(const QList<QPointF>& points) {
  return {points.begin(), points.end()};
}

TEST(DestinationWidgets, GridAndChartFilledThroughADestination) {
  uitest::App();
  Window window;
  TDataDescription engine(
      "RDBLI_2000, 0x21, 0x01, Engine, 2, Speed, 1, 0x01, Temp, 3, 0x01, 0xA0, 0x17", nullptr);
  TDataDescription fuel(
      "RDBLI_2000, 0x21, 0x02, Fuel, 1, \"Injection time of the first cylinder bank measured "
      "over the last full engine cycle\", 1, 0x01",
      nullptr);
  {
    TDataDestination destination;
    destination.AddGrid(*window.grid);
    destination.AddChart(*window.chart, *window.box);
    EXPECT_EQ(destination.AddDescription(engine), 0);
    EXPECT_EQ(destination.AddDescription(fuel), 1);
    destination.SelectDefaultSeries();  // Speed
    window.box->SetSelected(1, true);   // and Temp
    destination.ShowSelectedSeries(*window.box);

    const std::vector<std::vector<int16_t>> answers = {
        {20, 80}, {45, 82}, {70, 85}, {60, 88}, {90, 90}};
    for (size_t i = 0; i < answers.size(); ++i) {
      TSmallIntArray data;
      for (int16_t value : answers[i])
        data.Add(value);
      destination.NewData(0, &data, static_cast<int>(500 * i), false);
      const TSmallIntArray injection{static_cast<int16_t>(30 + i)};
      destination.NewData(1, &injection, static_cast<int>(500 * i + 250), false);
    }

    window.widget.show();
    for (int pass = 0; pass < 3; ++pass) {  // rows grow on the first paint, text on the next
      window.widget.grab();
      QCoreApplication::processEvents();
    }
    const QImage screenshot = window.widget.grab().toImage();
    ASSERT_FALSE(screenshot.isNull());
    EXPECT_TRUE(screenshot.save(kScreenshot)) << kScreenshot;

    ui::StringGrid& grid = *window.grid;
    ASSERT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(grid.Cell(0, 0), "Speed");
    EXPECT_EQ(grid.Cell(1, 0), "90");
    EXPECT_EQ(grid.Cell(0, 1), "Temp");
    EXPECT_EQ(grid.Cell(1, 1), "90");
    EXPECT_EQ(grid.Cell(2, 1),
              "\xC2\xB0"
              "C");
    EXPECT_EQ(grid.Cell(1, 2), "34");
    EXPECT_GT(grid.rowHeight(2), grid.rowHeight(0)) << "the long name wraps and its row grows";
    EXPECT_EQ(window.box->Count(), 3);
  }

  ui::Chart& chart = *window.chart;
  ASSERT_EQ(chart.SeriesCount(), 2);
  EXPECT_EQ(chart.LineSeries(0).name(), "Speed");
  EXPECT_EQ(chart.LineSeries(0).pen().width(), 2);
  EXPECT_EQ(PointsOf(chart.DrawnPoints(0)),
            (std::vector<QPointF>{{0, 20}, {0.5, 45}, {1, 70}, {1.5, 60}, {2, 90}}));
  EXPECT_EQ(PointsOf(chart.DrawnPoints(1)),
            (std::vector<QPointF>{{0, 80}, {0.5, 82}, {1, 85}, {1.5, 88}, {2, 90}}));
  EXPECT_LE(chart.AxisX().min(), 0);
  EXPECT_GE(chart.AxisX().max(), 2);
  EXPECT_LE(chart.AxisY().min(), 20);
  EXPECT_GE(chart.AxisY().max(), 90);
  // The destination is gone with its data series: the chart keeps what it drew, the selection
  // list box is empty and the grid has one empty row.
  EXPECT_EQ(window.box->Count(), 0);
  EXPECT_EQ(window.grid->RowCount(), 1);
  EXPECT_EQ(window.grid->Cell(0, 0), "");
  EXPECT_EQ(chart.DrawnPoints(1).size(), 5);
  window.widget.grab();  // draws what it keeps
}

}  // namespace
