// A chart of line series. Each series draws the points of a data series and follows the points
// added to it later; the axes widen to take in every point as the data arrive.
//
// A series keeps every point, but the chart draws only what its pixels can show: points that
// arrive are drawn together once the main thread is back in its event loop, and each pixel column
// gets the lowest and highest of its points, which a summary of the points yields without
// visiting them (ChartLine). So a frame costs about the same after ten hours of points as after
// a minute.
#pragma once

#include <QChartView>
#include <QList>
#include <QPointF>
#include <memory>
#include <string>
#include <vector>

#include "measurement/DataSeries.h"
#include "measurement/DisplayTargets.h"

class QCategoryAxis;
class QLineSeries;
class QValueAxis;

namespace ui {

class Chart final : public QChartView, public TChart {
 public:
  explicit Chart(QWidget* parent = nullptr);
  ~Chart() override;

  int SeriesCount() const override { return static_cast<int>(series_.size()); }
  // Throws EListError "List index out of bounds (<index>)" for a series that does not exist.
  void DeleteSeries(int index) override;
  void AddLineSeries(const std::string& title, TDataSeries& source, int penWidth) override;

  // For callers that inspect what the chart shows: the line series that names the series at
  // `index` in the legend and holds its pen; and the points drawn of it and the axes, brought up
  // to date with every point added so far.
  const QLineSeries& LineSeries(int index);
  const QList<QPointF>& DrawnPoints(int index);
  QValueAxis& AxisX();
  // The value axis is labelled at the multiples of a round step (1, 2 or 5 times a power of ten,
  // a thousandth at least) that lie in its range, four to eight of them as a rule, each at the
  // value it reads: written as the pattern "###0.###" writes numbers, without exponent, with at
  // most three decimals and '.' in every locale. The grid lines stand at the labels. A range
  // narrower than a thousandth that holds none is widened to the thousandths around it.
  QCategoryAxis& AxisY();
  // The value axis counts in units of this many values: 1, or 2 where its range spans more than
  // the largest double, which the axis could not lay out.
  double AxisYUnit() const { return axisYUnit_; }

 private:
  class DisplaySeries;
  struct Bounds;

  void Widen(const TChartPoint& point);
  // Asks for one Redraw once the main thread is back in its event loop.
  void ScheduleRedraw();
  // Fits the axes and hands every series the points it draws; nothing when nothing changed.
  void Redraw();
  // Fits the axes to every point: a range too narrow to divide is widened (a single value, for
  // one), and the value axis is labelled.
  void FitAxes();
  void FitAxisY(double low, double high);
  // Pixel columns and rows of the plot area; a new plot area or size draws the series anew.
  QSize PlotPixels() const;

  QValueAxis* axisX_;     // owned by the chart
  QCategoryAxis* axisY_;  // owned by the chart
  std::unique_ptr<Bounds> bounds_;
  double axisYUnit_ = 1;
  std::vector<std::unique_ptr<DisplaySeries>> series_;
  bool redrawPending_ = false;
};

}  // namespace ui
