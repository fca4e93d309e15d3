// The points of one line of a chart, kept so that a frame finds what each pixel column shows
// without visiting every point: the lowest and highest point of every block of 8, 64, 512, 4096
// and 32768 points are kept up to date as the points arrive.
#pragma once

#include <QList>
#include <QPointF>
#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace ui {

// Half the span from `low` to `high`, which stays within the doubles where the span itself would
// not.
inline double HalfSpan(double low, double high) {
  return high / 2 - low / 2;
}

// The plot a line is drawn on: the values at its edges and its size in pixels.
struct PixelPlot {
  double minX, maxX, minY, maxY;
  int columns, rows;

  // How far a value lies across the plot: 0 at its left or bottom edge, 1 at its right or top
  // edge. Taken in halves, so that values at both ends of the doubles do not overflow; a plot
  // without width or height puts every value in its middle.
  double ShareX(double x) const { return Share(x, minX, maxX); }
  double ShareY(double y) const { return Share(y, minY, maxY); }
  // The same in pixels from the left and from the bottom edge.
  double Column(double x) const { return ShareX(x) * columns; }
  double Row(double y) const { return ShareY(y) * rows; }

 private:
  static double Share(double value, double low, double high) {
    const double halfSpan = HalfSpan(low, high);
    return halfSpan > 0 ? HalfSpan(low, value) / halfSpan : 0.5;
  }
};

class ChartLine {
 public:
  void Append(const QPointF& point);
  const std::vector<QPointF>& Points() const { return points_; }

  // The points that draw this line on `plot` as all of its points would. Of each run of points
  // within one pixel column, the lowest and the highest in their order, so that the line spans
  // exactly what the column holds; the run's first and last too where the line straight on to the
  // next run would stray more than half a pixel out of either column's span. The line's ends are
  // always drawn.
  QList<QPointF> PointsToDraw(const PixelPlot& plot);

 private:
  static constexpr size_t kFanOutBits = 3;  // blocks of 8 points, then of 8 such blocks
  static constexpr size_t kLevels = 5;
  static constexpr size_t BlockBits(size_t levels) { return kFanOutBits * levels; }

  struct Extreme {
    QPointF point;
    size_t index;
  };
  // The lowest and highest point of a stretch, the earliest of equal ones.
  struct Extremes {
    Extreme low, high;
    static Extremes At(const QPointF& point, size_t index) {
      return {{point, index}, {point, index}};
    }
    const Extreme& Earlier() const { return low.index < high.index ? low : high; }
    const Extreme& Later() const { return low.index < high.index ? high : low; }
    void Add(const Extremes& later) {
      if (later.low.point.y() < low.point.y()) low = later.low;
      if (later.high.point.y() > high.point.y()) high = later.high;
    }
  };
  // Consecutive points within one pixel column.
  struct Run {
    int column;
    size_t first, last;
    Extremes extremes;
  };
  std::vector<Run> Runs(const PixelPlot& plot) const;
  // Adds the runs of the stretch of points in x order from `begin` up to `end`.
  void AddRuns(size_t begin, size_t end, const PixelPlot& plot, std::vector<Run>& runs) const;
  // The first point of the stretch from `begin` (which lies in an earlier column) up to `end` that
  // lies in `column` or a later one; `end` if none.
  size_t StartOfColumn(int column, size_t begin, size_t end, const PixelPlot& plot) const;
  // The end of the stretch of points in x order that holds `index`.
  size_t StretchEnd(size_t index) const;
  // The extremes of `run`, from those of `last`, the run of the last drawing that holds its first
  // point.
  Extremes ExtremesOf(const Run& run, const Run& last) const;
  // Of the points from `begin` up to `end`, which is further on, with `levels` of the summary.
  Extremes ExtremesOf(size_t begin, size_t end, size_t levels) const;
  Extremes ExtremesOfPoints(size_t begin, size_t end) const;
  bool JoinsDirectly(const Run& before, const Run& after, const PixelPlot& plot) const;

  std::vector<QPointF> points_;
  // levels_[k][j]: the points from j * 8^(k+1) on, 8^(k+1) of them; the last block fills up.
  std::array<std::vector<Extremes>, kLevels> levels_;
  // Indexes of the points whose x is lower than the one before: each starts a stretch in x order.
  std::vector<size_t> backSteps_;
  // The runs of the last drawing: the next one, on a plot a little wider as a rule, finds most of
  // its extremes among theirs.
  std::vector<Run> lastRuns_;
};

}  // namespace ui
