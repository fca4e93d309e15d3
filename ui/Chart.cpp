#include "ui/Chart.h"

#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <optional>

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
    for (const QPointF& point : line_->points())
      bounds.Add({point.x(), point.y()});
  }

 private:
  // A point with an infinite or undefined coordinate cannot be drawn and is left out.
  void Append(const TChartPoint& point) {
    if (!std::isfinite(point.X) || !std::isfinite(point.Y)) return;
    line_->append(point.X, point.Y);
    chart_.Widen(point);
  }

  Chart& chart_;
  std::unique_ptr<QLineSeries> line_;  // lent to the chart while this series exists
  TDataSourceLink link_;               // declared last: it ends before the line goes
};

Chart::Chart(QWidget* parent)
    : QChartView(parent),
      axisX_(new QValueAxis),
      axisY_(new QValueAxis),
      bounds_(std::make_unique<Bounds>()) {
  QChart* view = chart();
  view->setBackgroundBrush(Qt::black);
  view->legend()->setAlignment(Qt::AlignTop);
  view->legend()->setLabelColor(Qt::white);
  for (QValueAxis* axis : {axisX_, axisY_}) {
    axis->setLabelsColor(Qt::white);
    axis->setRange(0, 1);
  }
  axisY_->setLabelFormat("%.4g");
  view->addAxis(axisX_, Qt::AlignBottom);
  view->addAxis(axisY_, Qt::AlignLeft);
  setRenderHint(QPainter::Antialiasing);
}

// The series leave the chart before the chart itself goes.
Chart::~Chart() {
  series_.clear();
}

void Chart::AddLineSeries(const std::string& title, TDataSeries& source, int penWidth) {
  series_.push_back(std::make_unique<DisplaySeries>(*this, title, source, penWidth));
}

void Chart::DeleteSeries(int index) {
  if (index < 0 || index >= SeriesCount()) plat::ThrowListIndexError(index);
  series_.erase(series_.begin() + index);
  *bounds_ = Bounds();
  for (const auto& series : series_)
    series->AddPointsTo(*bounds_);
  FitAxes();
}

const QLineSeries& Chart::LineSeries(int index) const {
  if (index < 0 || index >= SeriesCount()) plat::ThrowListIndexError(index);
  return series_[index]->Line();
}

void Chart::Widen(const TChartPoint& point) {
  const Bounds before = *bounds_;
  bounds_->Add(point);
  if (before.min != bounds_->min || before.max != bounds_->max) FitAxes();
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
}

}  // namespace ui
