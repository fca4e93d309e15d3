#include "ui/ChartLine.h"

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

// The pixel column an x falls in, the right edge in the last one.
int ColumnOf(const PixelPlot& plot, double x) {
  const double column = std::floor(plot.Column(x));
  if (!(column > 0)) return 0;
  return column < plot.columns - 1 ? static_cast<int>(column) : plot.columns - 1;
}

}  // namespace

void ChartLine::Append(const QPointF& point) {
  if (!points_.empty() && point.x() < points_.back().x()) backSteps_.push_back(points_.size());
  points_.push_back(point);
  const size_t index = points_.size() - 1;
  const Extremes alone = Extremes::At(point, index);
  for (size_t k = 0; k < kLevels; ++k) {
    if ((index & ((size_t{1} << BlockBits(k + 1)) - 1)) == 0)
      levels_[k].push_back(alone);
    else
      levels_[k].back().Add(alone);
  }
}

QList<QPointF> ChartLine::PointsToDraw(const PixelPlot& plot) {
  lastRuns_ = Runs(plot);
  const std::vector<Run>& runs = lastRuns_;
  QList<QPointF> drawn;
  drawn.reserve(static_cast<qsizetype>(2 * runs.size() + 2));
  size_t previous = points_.size();
  auto draw = [&](const Extreme& point) {
    if (point.index != previous) drawn.append(point.point);
    previous = point.index;
  };
  for (size_t i = 0; i < runs.size(); ++i) {
    const Run& run = runs[i];
    if (i == 0 || !JoinsDirectly(runs[i - 1], run, plot)) draw({points_[run.first], run.first});
    draw(run.extremes.Earlier());
    draw(run.extremes.Later());
    if (i + 1 == runs.size() || !JoinsDirectly(run, runs[i + 1], plot))
      draw({points_[run.last], run.last});
  }
  return drawn;
}

// The runs cover the points in their order, one after the other, and so did those of the last
// drawing: the first of those that ends at or after a run's first point holds it.
std::vector<ChartLine::Run> ChartLine::Runs(const PixelPlot& plot) const {
  std::vector<Run> runs;
  for (size_t begin = 0; begin < points_.size();) {
    const size_t end = StretchEnd(begin);
    AddRuns(begin, end, plot, runs);
    begin = end;
  }
  auto last = lastRuns_.begin();
  for (Run& run : runs) {
    while (last != lastRuns_.end() && last->last < run.first)
      ++last;
    const bool overlaps = last != lastRuns_.end() && last->first <= run.last;
    run.extremes = overlaps ? ExtremesOf(run, *last) : ExtremesOf(run.first, run.last + 1, kLevels);
  }
  return runs;
}

// Where the extremes of `last` lie among the points both runs share, they are those points'
// extremes; the points of `run` after them are added to those.
ChartLine::Extremes ChartLine::ExtremesOf(const Run& run, const Run& last) const {
  const size_t to = std::min(run.last, last.last);
  if (last.extremes.Earlier().index < run.first || last.extremes.Later().index > to)
    return ExtremesOf(run.first, run.last + 1, kLevels);
  Extremes result = last.extremes;
  if (to < run.last) result.Add(ExtremesOf(to + 1, run.last + 1, kLevels));
  return result;
}

// Each column's start is looked for on its own, so that the searches of many columns overlap.
void ChartLine::AddRuns(size_t begin, size_t end, const PixelPlot& plot,
                        std::vector<Run>& runs) const {
  const int lastColumn = ColumnOf(plot, points_[end - 1].x());
  size_t first = begin;
  for (int column = ColumnOf(plot, points_[begin].x()); column <= lastColumn; ++column) {
    const size_t next = column == lastColumn ? end : StartOfColumn(column + 1, begin, end, plot);
    if (next > first) runs.push_back({column, first, next - 1, {}});
    first = next;
  }
}

// Looks first a few points around where the column would start if the points were taken at a
// steady pace, then on the side of them where it starts.
size_t ChartLine::StartOfColumn(int column, size_t begin, size_t end, const PixelPlot& plot) const {
  constexpr size_t kNear = 4;
  auto before = [&](const QPointF& point) { return ColumnOf(plot, point.x()) < column; };
  const double first = plot.Column(points_[begin].x()), last = plot.Column(points_[end - 1].x());
  const double share = std::clamp((column - first) / (last - first), 0.0, 1.0);
  const size_t guess =
      begin + static_cast<size_t>(std::lround(share * static_cast<double>(end - 1 - begin)));
  size_t from = std::max(guess, begin + kNear) - kNear, to = std::min(guess + kNear, end);
  if (!before(points_[from])) {
    to = from;
    from = begin;
  } else if (to < end && before(points_[to])) {
    from = to;
    to = end;
  }
  const auto points = points_.begin();
  return static_cast<size_t>(std::partition_point(points + static_cast<ptrdiff_t>(from) + 1,
                                                  points + static_cast<ptrdiff_t>(to), before) -
                             points);
}

size_t ChartLine::StretchEnd(size_t index) const {
  const auto next = std::upper_bound(backSteps_.begin(), backSteps_.end(), index);
  return next == backSteps_.end() ? points_.size() : *next;
}

// The whole blocks of the highest level that the stretch holds, and its ends before and after
// them one level lower, down to single points; so a stretch costs a few steps per level however
// many points it holds.
ChartLine::Extremes ChartLine::ExtremesOf(size_t begin, size_t end, size_t levels) const {
  if (levels == 0) return ExtremesOfPoints(begin, end);
  const size_t level = levels - 1, bits = BlockBits(levels);
  const size_t firstBlock = ((begin + (size_t{1} << bits) - 1) >> bits), endBlock = end >> bits;
  if (firstBlock >= endBlock) return ExtremesOf(begin, end, level);
  const size_t blocksBegin = firstBlock << bits, blocksEnd = endBlock << bits;
  Extremes result =
      begin < blocksBegin ? ExtremesOf(begin, blocksBegin, level) : levels_[level][firstBlock];
  for (size_t block = firstBlock; block < endBlock; ++block)
    result.Add(levels_[level][block]);
  if (blocksEnd < end) result.Add(ExtremesOf(blocksEnd, end, level));
  return result;
}

ChartLine::Extremes ChartLine::ExtremesOfPoints(size_t begin, size_t end) const {
  Extremes result = Extremes::At(points_[begin], begin);
  for (size_t i = begin + 1; i < end; ++i)
    result.Add(Extremes::At(points_[i], i));
  return result;
}

// The line straight on from the later extreme of `before` to the earlier one of `after` crosses
// into the next column within both columns' spans, give or take half a pixel. Worked out in
// pixels, where no difference of values can overflow.
bool ChartLine::JoinsDirectly(const Run& before, const Run& after, const PixelPlot& plot) const {
  constexpr double kSlack = 0.5;
  if (after.column != before.column + 1) return false;
  const QPointF& from = before.extremes.Later().point;
  const QPointF& to = after.extremes.Earlier().point;
  const double fromColumn = plot.Column(from.x()), fromRow = plot.Row(from.y());
  const double edgeRow = fromRow + (plot.Row(to.y()) - fromRow) * (after.column - fromColumn) /
                                       (plot.Column(to.x()) - fromColumn);
  auto spans = [&](const Extremes& extremes) {
    return plot.Row(extremes.low.point.y()) - kSlack <= edgeRow &&
           edgeRow <= plot.Row(extremes.high.point.y()) + kSlack;
  };
  return spans(before.extremes) && spans(after.extremes);
}

}  // namespace ui
