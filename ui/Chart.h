// A chart of line series. Each series draws the points of a data series and follows the points
// added to it later; the axes widen to take in every point as the data arrive.
#pragma once

#include <QChartView>
#include <memory>
#include <string>
#include <vector>

#include "measurement/DataSeries.h"
#include "measurement/DisplayTargets.h"

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

  // The drawn series at `index`, for callers that inspect what the chart shows.
  const QLineSeries& LineSeries(int index) const;
  QValueAxis& AxisX() const { return *axisX_; }
  QValueAxis& AxisY() const { return *axisY_; }

 private:
  class DisplaySeries;
  struct Bounds;

  void Widen(const TChartPoint& point);
  void FitAxes();

  QValueAxis* axisX_;  // owned by the chart
  QValueAxis* axisY_;  // owned by the chart
  std::unique_ptr<Bounds> bounds_;
  std::vector<std::unique_ptr<DisplaySeries>> series_;
};

}  // namespace ui
