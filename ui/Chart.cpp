#include "ui/Chart.h"

#include <QCategoryAxis>
#include <QLineSeries>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "platform/Exceptions.h"

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

constexpr int kAxisYLabels = 5;

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

// Points that draw the same line as `points` on `columns` pixel columns spanning [minX, maxX]:
// of each run of points within one column, the first, the lowest, the highest and the last, in
// their order. Few enough points are drawn as they are.
QList<QPointF> PointsToDraw(const std::vector<QPointF>& points, double minX, double maxX,
                            int columns) {
  constexpr int kPointsPerColumn = 4;
  if (points.size() <= static_cast<size_t>(kPointsPerColumn) * columns || maxX <= minX)
    return QList<QPointF>(points.begin(), points.end());
  const double scale = columns / (maxX - minX);
  auto columnOf = [&](size_t i) { return std::floor((points[i].x() - minX) * scale); };
  QList<QPointF> drawn;
  drawn.reserve(kPointsPerColumn * (columns + 1));
  for (size_t i = 0; i < points.size();) {
    const double column = columnOf(i);
    size_t low = i, high = i, last = i;
    for (size_t j = i + 1; j < points.size() && columnOf(j) == column; ++j) {
      if (points[j].y() < points[low].y()) low = j;
      if (points[j].y() > points[high].y()) high = j;
      last = j;
    }
    size_t previous = points.size();
    for (size_t pick : {i, std::min(low, high), std::max(low, high), last}) {
      if (pick != previous) drawn.append(points[pick]);
      previous = pick;
    }
    i = last + 1;
  }
  return drawn;
}

}  // namespace

// A line series in the chart fed from a data series: the points the data series holds when the
// series is made, then every point added to it until either side is deleted.
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
  }
  ~DisplaySeries() { chart_.chart()->removeSeries(line_.get()); }

  const QLineSeries& Line() const { return *line_; }
  void AddPointsTo(Bounds& bounds) const {
    for (const QPointF& point : points_)
      bounds.Add({point.x(), point.y()});
  }
  // Drops the drawn points, so that a change of the axes does not lay them out once more.
  void Undraw() { line_->clear(); }
  void Draw(double minX, double maxX, int columns) {
    line_->replace(PointsToDraw(points_, minX, maxX, columns));
  }

 private:
  // A point with an infinite or undefined coordinate cannot be drawn and is left out.
  void Append(const TChartPoint& point) {
    if (!std::isfinite(point.X) || !std::isfinite(point.Y)) return;
    points_.emplace_back(point.X, point.Y);
    chart_.Widen(point);
  }

  Chart& chart_;
  std::vector<QPointF> points_;        // every point, drawn or not
  std::unique_ptr<QLineSeries> line_;  // lent to the chart while this series exists
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
  for (QValueAxis* axis : {axisX_, static_cast<QValueAxis*>(axisY_)}) {
    axis->setLabelsColor(Qt::white);
    axis->setRange(0, 1);
  }
  axisY_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  LabelAxisY();
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
  Redraw();
  return series_[index]->Line();
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
  for (const auto& series : series_)
    series->Undraw();
  FitAxes();
  for (const auto& series : series_)
    series->Draw(axisX_->min(), axisX_->max(), Columns());
}

int Chart::Columns() const {
  // Until the chart is shown its plot area is not laid out; the view's width is never less.
  const QRectF plot = chart()->plotArea();
  const double width = isVisible() && !plot.isEmpty() ? plot.width() : this->width();
  return std::max(1, static_cast<int>(std::ceil(width * devicePixelRatioF())));
}

void Chart::FitAxes() {
  if (!bounds_->min) return;
  // A single value still gets a visible range around it.
  auto fit = [](QValueAxis* axis, double low, double high) {
    if (low == high) {
      low -= 0.5;
      high += 0.5;
    }
    axis->setRange(low, high);
  };
  fit(axisX_, bounds_->min->X, bounds_->max->X);
  fit(axisY_, bounds_->min->Y, bounds_->max->Y);
  LabelAxisY();
}

// Evenly spaced from the bottom to the top. A label that reads like the one below it is left
// out, as the axis takes each text once.
void Chart::LabelAxisY() {
  for (const QString& label : axisY_->categoriesLabels())
    axisY_->remove(label);
  const double low = axisY_->min(), high = axisY_->max();
  axisY_->setStartValue(low);
  for (int i = 0; i < kAxisYLabels; ++i) {
    const double value = low + i * (high - low) / (kAxisYLabels - 1);
    axisY_->append(AxisValueText(value), value);
  }
}

}  // namespace ui
