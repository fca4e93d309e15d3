// A series of chart points that exists without any chart (it collects the points), and the link
// through which a series drawn in a chart follows it.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct TChartPoint {
  double X = 0;
  double Y = 0;
  bool operator==(const TChartPoint&) const = default;
};

class TDataSourceLink;

class TDataSeries {
 public:
  explicit TDataSeries(std::string title) : title_(std::move(title)) {}
  // Ends every link that still draws from this series; the linked series keep their points.
  ~TDataSeries();
  TDataSeries(const TDataSeries&) = delete;
  TDataSeries& operator=(const TDataSeries&) = delete;

  const std::string& Title() const { return title_; }
  const std::vector<TChartPoint>& Points() const { return points_; }
  // Appends a point and hands it to every linked series.
  void AddXY(double x, double y);

 private:
  friend class TDataSourceLink;

  std::string title_;
  std::vector<TChartPoint> points_;
  std::vector<TDataSourceLink*> links_;
};

// Passes every point added to `source` after the link was made to `onPoint`, until the link or
// the source is deleted, whichever comes first.
class TDataSourceLink {
 public:
  using PointHandler = std::function<void(const TChartPoint&)>;

  TDataSourceLink(TDataSeries& source, PointHandler onPoint);
  ~TDataSourceLink();
  TDataSourceLink(const TDataSourceLink&) = delete;
  TDataSourceLink& operator=(const TDataSourceLink&) = delete;

  // The series this link follows; null once that series has been deleted.
  TDataSeries* Source() const { return source_; }

 private:
  friend class TDataSeries;

  TDataSeries* source_;
  PointHandler onPoint_;
};
