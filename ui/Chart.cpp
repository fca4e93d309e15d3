#include "ui/Chart.h"

#include <QCategoryAxis>
#include <QGraphicsItem>
#include <QLineSeries>
#include <QPainter>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Exceptions.h"
#include "ui/ChartLine.h"

namespace ui {

// The smallest rectangle that holds every point drawn so far; empty before the first point.
struct Chart::Bounds {
  std::optional<TChartPoint> min, max;

  void Add(const TChartPoint& point) {
    if (!min) {
      min = max = point;
      return;
    }
    min = TChartPoint{std::min(min->X, point.X), std::min(min->Y, point.Y)};
    max = TChartPoint{std::max(max->X, point.X), std::max(max->Y, point.Y)};
  }
};

namespace {

constexpr double kMostAxisYLabels = 8;
constexpr double kFinestAxisYStep = 0.001;  // the labels show three decimals
constexpr double kLeastRelativeSpan = 1e-12;
constexpr double kLargest = std::numeric_limits<double>::max();

struct Range {
  double low, high;
};

// A range that holds [low, high] and that the axes and the lines can divide by its span: a single
// value gets 0.5 either side of it, and a span too small for the doubles around large values is
// widened to a trillionth of their size either side of its middle.
Range VisibleRange(double low, double high) {
  double margin = std::max(std::abs(low), std::abs(high)) * kLeastRelativeSpan;
  if (low == high) margin = std::max(margin, 0.5);
  if (HalfSpan(low, high) >= margin) return {low, high};
  const double middle = low / 2 + high / 2;
  return {std::max(std::min(low, middle - margin), -kLargest),
          std::min(std::max(high, middle + margin), kLargest)};
}

// `value` with at most three decimals, trailing zeros and a trailing point dropped, never with
// an exponent, '.' as separator whatever the locale.
QString AxisValueText(double value) {
  std::array<char, 320> text{};  // the largest double in fixed notation fits
  const auto end =
      std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 3).ptr;
  std::string_view digits(text.data(), static_cast<size_t>(end - text.data()));
  while (digits.ends_with('0'))
    digits.remove_suffix(1);
  if (digits.ends_with('.')) digits.remove_suffix(1);
  if (digits == "-0") digits = "0";
  return QString::fromLatin1(digits.data(), static_cast<qsizetype>(digits.size()));
}

// The multiples of `step` in [low, high], give or take the rounding of the divisions: the factor
// of the first and their count.
struct Multiples {
  double first, count;
};
Multiples MultiplesWithin(double low, double high, double step) {
  constexpr double kRounding = 1e-9;
  const double first = std::ceil(low / step - kRounding);
  return {first, std::floor(high / step + kRounding) - first + 1};
}

// The smallest step of 1, 2 or 5 times a power of ten, a thousandth at least, that puts no more
// than kMostAxisYLabels multiples in [low, high].
double AxisYStep(double low, double high) {
  const double halfSpan = HalfSpan(low, high);
  double decade = kFinestAxisYStep;
  if (halfSpan > 0)
    decade = std::max(decade, std::pow(10.0, std::floor(std::log10(halfSpan / kMostAxisYLabels))));
  for (;; decade *= 10)
    for (double factor : {1.0, 2.0, 5.0})
      if (MultiplesWithin(low, high, factor * decade).count <= kMostAxisYLabels)
        return factor * decade;
}

struct AxisLabel {
  QString text;
  double value;  // the value the text reads
};

AxisLabel LabelAt(double value) {
  const QString text = AxisValueText(value);
  return {text, text.toDouble()};
}

// The value axis's range and its labels, in ascending order.
struct AxisYLayout {
  Range range;
  std::vector<AxisLabel> labels;
};

// The labels at the multiples of the step in [low, high]. A range that holds none, being narrower
// than the finest step, is widened to the multiples just below and above it.
AxisYLayout LayOutAxisY(double low, double high) {
  const double step = AxisYStep(low, high);
  const Multiples multiples = MultiplesWithin(low, high, step);
  AxisYLayout layout{{low, high}, {}};
  for (int i = 0; i < multiples.count; ++i) {
    const AxisLabel label = LabelAt((multiples.first + i) * step);
    if (low <= label.value && label.value <= high &&
        (layout.labels.empty() || layout.labels.back().text != label.text))
      layout.labels.push_back(label);
  }
  if (!layout.labels.empty()) return layout;
  const AxisLabel below = LabelAt(std::floor(low / step) * step);
  const AxisLabel above = LabelAt(std::ceil(high / step) * step);
  layout.range = {std::min(low, below.value), std::max(high, above.value)};
  layout.labels = {below};
  if (above.text != below.text) layout.labels.push_back(above);
  return layout;
}

// The line of one series as the chart draws it: straight pieces between the points to draw, in
// the pen of the series, within the plot area and half a pixel around it so that a line along an
// edge is drawn whole. Qt's line series would draw the same, but it also works out a shape for
// mouse hits from all its points whenever they change, which costs more than the drawing.
class LineItem final : public QGraphicsItem {
 public:
  LineItem(QGraphicsItem& chart, const QPen& pen) : QGraphicsItem(&chart), pen_(pen) {
    setZValue(kSeriesZValue);
  }

  const QList<QPointF>& Points() const { return points_; }
  // `points` on a plot whose edges stand for the values of `plot`, at `area` in the chart.
  void Show(QList<QPointF> points, const PixelPlot& plot, const QRectF& area) {
    prepareGeometryChange();
    points_ = std::move(points);
    plot_ = plot;
    area_ = area;
    update();
  }

  QRectF boundingRect() const override { return area_.adjusted(-0.5, -0.5, 0.5, 0.5); }
  void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
    painter->setPen(pen_);
    painter->setClipRect(boundingRect());
    QList<QLineF> pieces;
    pieces.reserve(points_.size());
    for (qsizetype i = 1; i < points_.size(); ++i)
      pieces.append({ToChart(points_[i - 1]), ToChart(points_[i])});
    painter->drawLines(pieces);
  }

 private:
  static constexpr int kSeriesZValue = 4;  // over the grid and axes, under the legend, as Qt's

  QPointF ToChart(const QPointF& point) const {
    return {area_.left() + plot_.ShareX(point.x()) * area_.width(),
            area_.bottom() - plot_.ShareY(point.y()) * area_.height()};
  }

  QPen pen_;
  QList<QPointF> points_;
  PixelPlot plot_{};
  QRectF area_;
};

}  // namespace

// A series in the chart fed from a data series: the points the data series holds when the series
// is made, then every point added to it until either side is deleted. Its line series gives the
// legend its name and colour; its line item draws it.
class Chart::DisplaySeries {
 public:
  DisplaySeries(Chart& chart, const std::string& title, TDataSeries& source, int penWidth)
      : chart_(chart),
        line_(std::make_unique<QLineSeries>()),
        link_(source, [this](const TChartPoint& p) { Append(p); }) {
    line_->setName(QString::fromStdString(title));
    for (const TChartPoint& point : source.Points())
      Append(point);
    chart.chart()->addSeries(line_.get());
    line_->attachAxis(chart.axisX_);
    line_->attachAxis(chart.axisY_);
    // The chart gives the series its colour when it is added; only the width is set here.
    QPen pen = line_->pen();
    pen.setWidth(penWidth);
    line_->setPen(pen);
    item_ = std::make_unique<LineItem>(*chart.chart(), pen);
  }
  ~DisplaySeries() { chart_.chart()->removeSeries(line_.get()); }

  const QLineSeries& Line() const { return *line_; }
  const QList<QPointF>& DrawnPoints() const { return item_->Points(); }
  void AddPointsTo(Bounds& bounds) const {
    for (const QPointF& point : points_.Points())
      bounds.Add({point.x(), point.y()});
  }
  void Draw(const PixelPlot& plot, const QRectF& area) {
    item_->Show(points_.PointsToDraw(plot), plot, area);
  }

 private:
  // A point with an infinite or undefined coordinate cannot be drawn and is left out.
  void Append(const TChartPoint& point) {
    if (!std::isfinite(point.X) || !std::isfinite(point.Y)) return;
    points_.Append({point.X, point.Y});
    chart_.Widen(point);
  }

  Chart& chart_;
  ChartLine points_;                   // every point, drawn or not
  std::unique_ptr<QLineSeries> line_;  // lent to the chart while this series exists
  std::unique_ptr<LineItem> item_;     // in the chart's scene while this series exists
  TDataSourceLink link_;               // declared last: it ends before the line goes
};

Chart::Chart(QWidget* parent)
    : QChartView(parent),
      axisX_(new QValueAxis),
      axisY_(new QCategoryAxis),
      bounds_(std::make_unique<Bounds>()) {
  QChart* view = chart();
  view->setBackgroundBrush(Qt::black);
  view->legend()->setAlignment(Qt::AlignTop);
  view->legend()->setLabelColor(Qt::white);
  for (QValueAxis* axis : {axisX_, static_cast<QValueAxis*>(axisY_)})
    axis->setLabelsColor(Qt::white);
  axisX_->setRange(0, 1);
  axisY_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  FitAxisY(0, 1);
  view->addAxis(axisX_, Qt::AlignBottom);
  view->addAxis(axisY_, Qt::AlignLeft);
  setRenderHint(QPainter::Antialiasing);
  connect(view, &QChart::plotAreaChanged, this, [this] { ScheduleRedraw(); });
}

// The series leave the chart before the chart itself goes.
Chart::~Chart() {
  series_.clear();
}

void Chart::AddLineSeries(const std::string& title, TDataSeries& source, int penWidth) {
  series_.push_back(std::make_unique<DisplaySeries>(*this, title, source, penWidth));
  ScheduleRedraw();
}

void Chart::DeleteSeries(int index) {
  if (index < 0 || index >= SeriesCount()) plat::ThrowListIndexError(index);
  series_.erase(series_.begin() + index);
  *bounds_ = Bounds();
  for (const auto& series : series_)
    series->AddPointsTo(*bounds_);
  ScheduleRedraw();
}

const QLineSeries& Chart::LineSeries(int index) {
  if (index < 0 || index >= SeriesCount()) plat::ThrowListIndexError(index);
  return series_[index]->Line();
}

const QList<QPointF>& Chart::DrawnPoints(int index) {
  if (index < 0 || index >= SeriesCount()) plat::ThrowListIndexError(index);
  Redraw();
  return series_[index]->DrawnPoints();
}

QValueAxis& Chart::AxisX() {
  Redraw();
  return *axisX_;
}

QCategoryAxis& Chart::AxisY() {
  Redraw();
  return *axisY_;
}

void Chart::Widen(const TChartPoint& point) {
  bounds_->Add(point);
  ScheduleRedraw();
}

void Chart::ScheduleRedraw() {
  if (redrawPending_) return;
  redrawPending_ = true;
  QTimer::singleShot(0, this, [this] { Redraw(); });
}

void Chart::Redraw() {
  if (!redrawPending_) return;
  redrawPending_ = false;
  FitAxes();
  const QSize pixels = PlotPixels();
  const PixelPlot plot{
      axisX_->min(),  axisX_->max(),  axisY_->min() * axisYUnit_, axisY_->max() * axisYUnit_,
      pixels.width(), pixels.height()};
  for (const auto& series : series_)
    series->Draw(plot, chart()->plotArea());
}

QSize Chart::PlotPixels() const {
  // Until the chart is shown its plot area is not laid out; the view's size is never less.
  const QRectF plot = chart()->plotArea();
  const QSizeF size = isVisible() && !plot.isEmpty() ? plot.size() : QSizeF(this->size());
  auto pixels = [&](double length) {
    return std::max(1, static_cast<int>(std::ceil(length * devicePixelRatioF())));
  };
  return {pixels(size.width()), pixels(size.height())};
}

void Chart::FitAxes() {
  if (!bounds_->min) return;
  const Range x = VisibleRange(bounds_->min->X, bounds_->max->X);
  axisX_->setRange(x.low, x.high);
  const Range y = VisibleRange(bounds_->min->Y, bounds_->max->Y);
  FitAxisY(y.low, y.high);
}

// The texts give the categories' names and their values the categories' ends, where the labels
// and grid lines stand; the first category starts and ends at its label.
void Chart::FitAxisY(double low, double high) {
  const AxisYLayout layout = LayOutAxisY(low, high);
  const Range& range = layout.range;
  axisYUnit_ = std::isfinite(range.high - range.low) ? 1 : 2;
  axisY_->setRange(range.low / axisYUnit_, range.high / axisYUnit_);
  for (const QString& label : axisY_->categoriesLabels())
    axisY_->remove(label);
  axisY_->setStartValue(layout.labels.front().value / axisYUnit_);
  for (const AxisLabel& label : layout.labels)
    axisY_->append(label.text, label.value / axisYUnit_);
}

}  // namespace ui
