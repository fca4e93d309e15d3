#include <gtest/gtest.h>

#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLineSeries>
#include <QLocale>
#include <QRegularExpression>
#include <QValueAxis>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>
#include <thread>

#include "QtTestEnvironment.h"
#include "platform/Exceptions.h"
#include "ui/ActivityLogMemo.h"
#include "ui/Chart.h"
#include "ui/ChartLine.h"
#include "ui/ListBox.h"
#include "ui/StatusBar.h"
#include "ui/StringGrid.h"

namespace {

// Paints the widget once and lets the work queued by the paint run.
void PaintAndSettle(QWidget& widget) {
  widget.grab();
  QCoreApplication::processEvents();
}

int DarkPixels(const QImage& image, const QRect& area) {
  int dark = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.valid(x, y) && qGray(image.pixel(x, y)) < 128) ++dark;
  return dark;
}

// A 400 x 300 chart of one series of `values`, a second apart; a single value is held for a
// second.
struct ValuesChart {
  explicit ValuesChart(const std::vector<double>& values) {
    chart.resize(400, 300);
    for (size_t i = 0; i < values.size(); ++i)
      series.AddXY(static_cast<double>(i), values[i]);
    if (values.size() == 1) series.AddXY(1, values[0]);
    chart.AddLineSeries("v", series, 2);
  }
  TDataSeries series{"v"};
  ui::Chart chart;  // declared last: it goes before the series it follows
};

bool InColourOf(const QColor& pixel, const QColor& colour) {
  return std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green()) +
             std::abs(pixel.blue() - colour.blue()) <
         60;
}

// The chart's picture once its plot is laid out and its series drawn on it.
QImage ChartPicture(ui::Chart& chart) {
  PaintAndSettle(chart);
  return chart.grab().toImage();
}

// The pixels of the plot area in the colour of the chart's first series.
int SeriesPixels(ui::Chart& chart) {
  const QImage image = ChartPicture(chart);
  const QColor colour = chart.LineSeries(0).pen().color();
  const QRect area = chart.chart()->plotArea().toAlignedRect();
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      count += InColourOf(image.pixelColor(x, y), colour);
  return count;
}

std::string ListErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const plat::EListError& error) {
    return error.what();
  }
  return "no error";
}

std::vector<QPointF> PointsOf(const QList<QPointF>& points) {
  return {points.begin(), points.end()};
}

TEST(StringGrid, RowGrowsToFitWrappedTextAndNeverShrinks) {
  uitest::App();
  ui::StringGrid grid(3, 2);
  grid.resize(400, 300);
  grid.setColumnWidth(0, 90);
  const int defaultHeight = grid.rowHeight(1);
  const QFontMetrics metrics(grid.font());
  // Each word nearly fills the column, so the text wraps into three lines.
  const QString word = "W";
  QString longWord;
  while (metrics.horizontalAdvance(longWord + word) < 90 - ui::StringGrid::kTextMargin - 20)
    longWord += word;
  const std::string text = (longWord + " " + longWord + " " + longWord).toStdString();

  grid.SetCell(0, 0, text);
  grid.SetCell(0, 1, "short");
  PaintAndSettle(grid);
  PaintAndSettle(grid);

  const int grown = grid.rowHeight(0);
  EXPECT_GE(grown, 3 * metrics.height() + ui::StringGrid::kTextMargin);
  EXPECT_LT(grown, 4 * metrics.height() + ui::StringGrid::kTextMargin);
  EXPECT_EQ(grid.rowHeight(1), defaultHeight);
  // The text is drawn at the grown height, its third line included.
  const QRect cell = grid.visualRect(grid.model()->index(0, 0));
  const QRect thirdLine(cell.left(),
                        cell.top() + ui::StringGrid::kTextMargin + 2 * metrics.lineSpacing(),
                        cell.width(), metrics.height());
  EXPECT_GT(DarkPixels(grid.viewport()->grab().toImage(), thirdLine), 10);

  grid.SetCell(0, 0, "short");
  PaintAndSettle(grid);
  EXPECT_EQ(grid.rowHeight(0), grown);
}

TEST(ListBox, EntriesKeepTheirObjectsAndSeveralSelections) {
  uitest::App();
  ui::ListBox box(true);
  int series = 0;
  box.AddObject("Speed", reinterpret_cast<intptr_t>(&series));
  box.AddObject("Temp", 0);
  box.AddObject("Raw", -5);  // a record's raw value
  box.SetSelected(0, true);
  box.SetSelected(2, true);
  EXPECT_EQ(box.Text(1), "Temp");
  EXPECT_EQ(box.Object(0), reinterpret_cast<intptr_t>(&series));
  EXPECT_EQ(box.Object(2), -5);
  EXPECT_EQ((std::vector<bool>{box.Selected(0), box.Selected(1), box.Selected(2)}),
            (std::vector<bool>{true, false, true}));
}

TEST(WidgetIndexes, OutsideTheListRaiseTheListError) {
  uitest::App();
  ui::ListBox box(true);
  box.AddObject("only", 0);
  ui::StatusBar status(3, 50);
  ui::Chart chart;
  struct Case {
    const char* name;
    std::function<void()> action;
    const char* error;
  };
  const Case cases[] = {
      {"list box text", [&] { box.Text(1); }, "List index out of bounds (1)"},
      {"list box object", [&] { box.Object(-1); }, "List index out of bounds (-1)"},
      {"list box selection", [&] { box.SetSelected(5, true); }, "List index out of bounds (5)"},
      {"status panel", [&] { status.SetPanelText(3, "x"); }, "List index out of bounds (3)"},
      {"chart series", [&] { chart.DeleteSeries(0); }, "List index out of bounds (0)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ListErrorOf(c.action), c.error) << c.name;
}

TEST(ActivityLogMemo, KeepsLinesInOrderIncludingEmptyOnes) {
  uitest::App();
  ui::ActivityLogMemo memo;
  EXPECT_TRUE(memo.isReadOnly());
  for (const char* line : {"", "Quobrix Software from Hembrowe", "", "COM Port opened"})
    memo.AddLine(line);
  ASSERT_EQ(memo.LineCount(), 4);
  EXPECT_EQ(memo.Line(0), "");
  EXPECT_EQ(memo.Line(1), "Quobrix Software from Hembrowe");
  EXPECT_EQ(memo.Line(3), "COM Port opened");
  memo.Clear();
  EXPECT_EQ(memo.LineCount(), 0);
  memo.AddLine("");
  EXPECT_EQ(memo.LineCount(), 1);
  memo.AddLine("ID : A\nB\rC");
  ASSERT_EQ(memo.LineCount(), 2);
  EXPECT_EQ(memo.Line(1), "ID : A\u240AB\u240DC");
}

TEST(ActivityLogMemo, LinesOfTheWorkerArriveThroughTheMainThreadInOrder) {
  uitest::App();
  ui::ActivityLogMemo memo;
  TActivityLog& log = memo;
  log.Add("Init started");
  std::thread worker([&] {
    for (const char* line : {"Error in chk rcvd", "error rcv wait timeout"})
      log.Add(line);
  });
  worker.join();
  EXPECT_EQ(memo.LineCount(), 1) << "the worker's lines wait for the main thread";
  plat::Event never;
  uitest::App().Dispatcher().PumpWait(never, 50);
  ASSERT_EQ(memo.LineCount(), 3);
  EXPECT_EQ(memo.Line(1), "Error in chk rcvd");
  EXPECT_EQ(memo.Line(2), "error rcv wait timeout");
}

TEST(Chart, DeletingASeriesStopsItsFollowingAndRefitsTheAxes) {
  uitest::App();
  ui::Chart chart;
  TDataSeries wide("wide"), narrow("narrow");
  wide.AddXY(0, 1000);
  narrow.AddXY(0, 1);
  narrow.AddXY(1, 2);
  chart.AddLineSeries("wide", wide, 2);
  chart.AddLineSeries("narrow", narrow, 2);
  EXPECT_GE(chart.AxisY().max(), 1000);

  chart.DeleteSeries(0);
  wide.AddXY(2, 5000);  // no longer drawn anywhere
  ASSERT_EQ(chart.SeriesCount(), 1);
  EXPECT_EQ(chart.LineSeries(0).name(), "narrow");
  EXPECT_LT(chart.AxisY().max(), 1000);
  EXPECT_GE(chart.AxisY().max(), 2);
  EXPECT_LE(chart.AxisX().max(), 1.5);
}

TEST(Chart, UndefinedValuesDoNotBreakTheAxes) {
  uitest::App();
  ui::Chart chart;
  TDataSeries values("v");
  chart.AddLineSeries("v", values, 2);
  values.AddXY(0, 3);
  values.AddXY(1, std::numeric_limits<double>::quiet_NaN());
  values.AddXY(2, std::numeric_limits<double>::infinity());
  values.AddXY(3, 4);
  EXPECT_TRUE(std::isfinite(chart.AxisY().min()));
  EXPECT_TRUE(std::isfinite(chart.AxisY().max()));
  EXPECT_LE(chart.AxisY().min(), 3);
  EXPECT_GE(chart.AxisY().max(), 4);
  EXPECT_EQ(PointsOf(chart.DrawnPoints(0)), (std::vector<QPointF>{{0, 3}, {3, 4}}));
}

// The value axis writes its labels as the pattern "###0.###" does, in every locale, at the
// round values they read, with the grid lines at the labels and the values in its range; and the
// line is drawn.
TEST(Chart, ValueAxisLabelsWithoutExponentAndAtMostThreeDecimals) {
  uitest::App();
  constexpr double kLargest = std::numeric_limits<double>::max();
  const std::pair<std::vector<double>, const char*> cases[] = {
      {{}, "0 0.2 0.4 0.6 0.8 1"},
      {{0, 10000}, "0 2000 4000 6000 8000 10000"},
      {{1234.567}, "1234.2 1234.4 1234.6 1234.8 1235"},
      {{-3, 2.25}, "-3 -2 -1 0 1 2"},
      {{0, 0.002}, "0 0.001 0.002"},
      {{0.0012, 0.0018}, "0.001 0.002"},
      {{1e-9, 2e-9}, "0 0.001"},
      {{12.3, 2579.8}, "500 1000 1500 2000 2500"},
      {{14.1, 14.2}, "14.1 14.12 14.14 14.16 14.18 14.2"},
      {{1e16},
       "9999999999990000 9999999999995000 10000000000000000 10000000000005000 10000000000010000"},
      {{-1e308, 1e308}, nullptr},  // a span beyond the largest double, hundreds of digits a label
      {{-kLargest, kLargest}, nullptr},
      {{kLargest}, nullptr},
      {{2e157}, nullptr},
  };
  const QRegularExpression pattern("^-?[0-9]+(\\.[0-9]{1,3})?$");
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    std::setlocale(LC_ALL, locale);
    QLocale::setDefault(QLocale(locale));
    for (const auto& [values, labels] : cases) {
      SCOPED_TRACE(values.empty() ? 0.0 : values.back());
      ValuesChart plotted(values);
      ui::Chart& chart = plotted.chart;
      QCategoryAxis& axis = chart.AxisY();
      const QStringList texts = axis.categoriesLabels();
      if (labels) {
        EXPECT_EQ(texts.join(' ').toStdString(), labels) << locale;
      }
      EXPECT_TRUE(!texts.empty() && texts.size() <= 8) << texts.size();
      EXPECT_EQ(axis.labelsPosition(), QCategoryAxis::AxisLabelsPositionOnValue);
      const double unit = chart.AxisYUnit();
      EXPECT_TRUE(std::isfinite(axis.max() - axis.min()));
      double gridLine = texts.value(0).toDouble();
      for (const QString& text : texts) {
        EXPECT_TRUE(pattern.match(text).hasMatch()) << text.toStdString();
        EXPECT_EQ(axis.endValue(text) * unit, text.toDouble()) << text.toStdString();
        EXPECT_EQ(axis.startValue(text) * unit, gridLine) << text.toStdString();
        gridLine = text.toDouble();
      }
      if (values.empty()) continue;
      const auto [low, high] = std::minmax_element(values.begin(), values.end());
      EXPECT_LE(axis.min() * unit, *low);
      EXPECT_GE(axis.max() * unit, *high);
      EXPECT_GT(SeriesPixels(chart), 100);
    }
  }
  std::setlocale(LC_ALL, "C");
  QLocale::setDefault(QLocale::c());
}

// A line along the highest or lowest of its values runs along that edge of the plot, painted
// over the grid lines that cross it and the one along the edge.
TEST(Chart, PaintsItsLineOverTheGridAtTheHeightOfItsValues) {
  uitest::App();
  const std::pair<std::vector<double>, bool> cases[] = {
      {{0, 10, 10, 10, 10}, true},
      {{10, 0, 0, 0, 0}, false},
  };
  for (const auto& [values, alongTop] : cases) {
    ValuesChart plotted(values);
    ui::Chart& chart = plotted.chart;
    const QImage image = ChartPicture(chart);
    const QColor colour = chart.LineSeries(0).pen().color();
    const QRectF area = chart.chart()->plotArea();
    const int edge = static_cast<int>(alongTop ? area.top() : area.bottom());
    int uncovered = 0;
    for (int x = static_cast<int>(area.left() + area.width() / 4) + 2; x < area.right() - 2; ++x) {
      bool covered = false;
      for (int y = edge - 1; y <= edge + 1; ++y)
        covered = covered || InColourOf(image.pixelColor(x, y), colour);
      uncovered += !covered;
    }
    EXPECT_EQ(uncovered, 0) << (alongTop ? "top" : "bottom");
  }
}

// The points drawn of hand-made lines on a plot 100 pixels high, by their x; x is the point's
// index but where it goes back. A line drawn before, when it held nine tenths of its points on a
// plot as wide as those, draws the same.
TEST(ChartLine, DrawsTheLowestAndHighestOfEachPixelColumn) {
  auto line = [](int count, double (*y)(int)) {
    std::vector<QPointF> points;
    for (int i = 0; i < count; ++i)
      points.emplace_back(i, y(i));
    return points;
  };
  struct Case {
    const char* name;
    std::vector<QPointF> points;
    int columns;
    const char* drawn;
  };
  std::vector<QPointF> shared;  // fifty points on each of four x
  for (int i = 0; i < 200; ++i)
    shared.emplace_back(i / 50, (i * 7) % 11);
  const Case cases[] = {
      {"spike", line(100000, [](int i) { return i == 70001 ? 5.0 : 0.0; }), 4,
       "0 25000 50000 70001 75000 99999"},
      {"step at a column's edge", line(40, [](int i) { return i < 20 ? 0.0 : 10.0; }), 4,
       "0 10 19 20 30 39"},
      {"step within a column", line(40, [](int i) { return i < 13 ? 0.0 : 10.0; }), 4,
       "0 10 13 20 30 39"},
      {"step of two pixels at a column's edge",
       line(40, [](int i) { return i < 20   ? 0.0
                                   : i < 39 ? 2.0
                                            : 100.0; }), 4, "0 10 19 20 30 39"},
      {"join that fails only in the later column",
       line(40,
            [](int i) {
              return i < 10   ? 0.0
                     : i < 20 ? (i - 10) * 0.1
                     : i < 28 ? 5.0
                     : i < 30 ? (i - 28) * 2 + 4.0
                              : (i < 39 ? 6.0 : 100.0);
            }),
       4, "0 10 19 20 28 29 30 39"},
      {"many points on one x", shared, 4, "0 0 1 1 2 2 3 3 3"},
      {"flat", line(50, [](int) { return 7.0; }), 5, "0 10 20 30 40 49"},
      {"shorter than the columns", {{0, 1}, {1, 5}, {2, 2}}, 10, "0 1 2"},
      {"back in time", {{0, 0}, {1, 1}, {2, 0}, {1, 5}, {2, 6}}, 2, "0 1 2 1 2"},
  };
  for (const Case& c : cases) {
    auto byY = [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); };
    const auto [low, high] = std::minmax_element(c.points.begin(), c.points.end(), byY);
    auto plotTo = [&](size_t end) {
      return ui::PixelPlot{0, c.points[end - 1].x(), low->y(), high->y(), c.columns, 100};
    };
    ui::ChartLine fresh, drawnBefore;
    for (size_t i = 0; i < c.points.size(); ++i) {
      fresh.Append(c.points[i]);
      drawnBefore.Append(c.points[i]);
      if (i + 1 == c.points.size() * 9 / 10) drawnBefore.PointsToDraw(plotTo(i + 1));
    }
    for (ui::ChartLine* chartLine : {&fresh, &drawnBefore}) {
      QStringList drawn;
      for (const QPointF& point : chartLine->PointsToDraw(plotTo(c.points.size())))
        drawn << QString::number(point.x());
      EXPECT_EQ(drawn.join(' ').toStdString(), c.drawn) << c.name;
    }
  }
}

}  // namespace

// A series with far more points than the plot has pixel columns draws a few per column, in
// order, and those keep every extreme; the series itself keeps every point. The plot is wide and
// low, and its zig-zag leaves every pixel column of its width two points to draw at least.
TEST(Chart, DrawsWhatThePixelsShowOfALongSeries) {
  uitest::App();
  ui::Chart chart;
  chart.resize(600, 150);
  chart.show();
  TDataSeries values("v");
  constexpr int kPoints = 20000;
  for (int i = 0; i < kPoints; ++i)
    values.AddXY(i, i == 7777 ? 100 : i == 12345 ? -100 : (i % 3) * 0.01);
  chart.AddLineSeries("v", values, 2);
  PaintAndSettle(chart);
  values.AddXY(kPoints, 50);

  const std::vector<QPointF> drawn = PointsOf(chart.DrawnPoints(0));
  const int columns = static_cast<int>(std::ceil(chart.chart()->plotArea().width()));
  std::vector<int> drawnInColumn(columns);
  for (const QPointF& point : drawn)
    ++drawnInColumn[std::min(columns - 1, static_cast<int>(point.x() * columns / kPoints))];
  EXPECT_GE(*std::min_element(drawnInColumn.begin(), drawnInColumn.end()), 2);
  EXPECT_LE(drawn.size(), 4u * columns);
  EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end(),
                             [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); }));
  for (const QPointF kept :
       {QPointF(0, 0), QPointF(7777, 100), QPointF(12345, -100), QPointF(kPoints, 50)})
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), kept), drawn.end()) << kept.x();
  EXPECT_EQ(values.Points().size(), kPoints + 1u);
  EXPECT_EQ(chart.AxisY().max(), 100);
  EXPECT_EQ(chart.AxisY().min(), -100);
}
