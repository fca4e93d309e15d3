// The window's chart and activity log after an hour of continuous reading, offscreen.
//
// Chart: 10 series of 36,000 points each (an hour at 10 reads a second). Adding a point is timed
// with empty series and with full ones; the full series are shown in a fresh chart, as when the
// user picks the items late in a session. A frame adds one point to every series and draws the
// chart; its time goes up to the drawn image. Frames are timed again in the same chart once the
// series hold 360,000 points each (ten hours).
// Activity log: 100,000 lines; a line's append is timed at the start and at the end, and the full
// log is scrolled to the top, the middle and the bottom, each drawn.
// Every figure is printed as a line "set.name value".
#include <QCoreApplication>
#include <QImage>
#include <QScrollBar>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "measurement/DataSeries.h"
#include "platform/Counter.h"
#include "ui/ActivityLogMemo.h"
#include "ui/Application.h"
#include "ui/Chart.h"

namespace {

using bench::Ms;

constexpr int kSeries = 10;
constexpr int kHourOfPoints = 36000;
constexpr int kTenHoursOfPoints = 360000;
constexpr double kReadSeconds = 0.1;
constexpr int kFrames = 50;
constexpr int kTimedAdds = 1000;  // per series, at the start and at the end
constexpr int kLogLines = 100000;
constexpr int kTimedLines = 1000;
// The chart's size in the window's "Realtime Graph" page.
constexpr int kChartWidth = 820;
constexpr int kChartHeight = 337;

void PrintFigure(const char* set, const char* name, double value) {
  bench::PrintFigure(set, name, value);
  std::fflush(stdout);
}

// Lets the widgets take what was posted, then draws `widget` into an image as the screen would.
double DrawMs(QWidget& widget) {
  const int64_t start = plat::QueryCounter();
  QCoreApplication::processEvents();
  QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
  widget.render(&image);
  return Ms(plat::QueryCounter() - start);
}

// A reading of an engine: a slow wave per series with some ripple.
double Value(int series, int read) {
  const double t = read * kReadSeconds;
  return 100.0 * series + 40.0 * std::sin(t / (30.0 + series)) + 3.0 * std::sin(t * 7.0);
}

class ChartBench {
 public:
  ChartBench() {
    for (int i = 0; i < kSeries; ++i)
      sources_.push_back(std::make_unique<TDataSeries>("Item " + std::to_string(i)));
  }

  void Run() {
    {
      auto chart = ShownChart();
      PrintFigure("chart", "add_point_start_us", AddPointUs(*chart));
    }
    while (reads_ < kHourOfPoints)
      AddRead();
    PrintFigure("chart", "points_per_series", reads_);
    const int64_t start = plat::QueryCounter();
    auto chart = ShownChart();
    PrintFigure("chart", "show_full_series_ms", Ms(plat::QueryCounter() - start) + DrawMs(*chart));
    PrintFigure("chart", "add_point_end_us", AddPointUs(*chart));
    TimeFrames(*chart, "chart");
    while (reads_ < kTenHoursOfPoints)
      AddRead();
    DrawMs(*chart);
    TimeFrames(*chart, "chart_10h");
  }

 private:
  std::unique_ptr<ui::Chart> ShownChart() {
    auto chart = std::make_unique<ui::Chart>();
    chart->resize(kChartWidth, kChartHeight);
    chart->show();
    for (const auto& source : sources_)
      chart->AddLineSeries(source->Title(), *source, 2);
    return chart;
  }
  void TimeFrames(ui::Chart& chart, const char* set) {
    std::vector<double> frames, cpu;
    for (int i = 0; i < kFrames; ++i) {
      const int64_t start = plat::QueryCounter();
      const double cpuStart = bench::ThreadCpuMs();
      AddRead();
      frames.push_back(Ms(plat::QueryCounter() - start) + DrawMs(chart));
      cpu.push_back(bench::ThreadCpuMs() - cpuStart);
    }
    const bench::Spread spread = bench::SpreadOf(frames);
    PrintFigure(set, "frame_median_ms", spread.median);
    PrintFigure(set, "frame_max_ms", spread.max);
    const bench::Spread cpuSpread = bench::SpreadOf(cpu);
    PrintFigure(set, "frame_cpu_median_ms", cpuSpread.median);
    PrintFigure(set, "frame_cpu_max_ms", cpuSpread.max);
  }
  void AddRead() {
    for (int i = 0; i < kSeries; ++i)
      sources_[i]->AddXY(reads_ * kReadSeconds, Value(i, reads_));
    ++reads_;
  }
  // Microseconds per point for kTimedAdds reads, with one frame drawn every 10 reads, as the
  // window draws while reading at 10 reads a second.
  double AddPointUs(ui::Chart& chart) {
    int64_t spent = 0;
    for (int i = 0; i < kTimedAdds; ++i) {
      const int64_t start = plat::QueryCounter();
      AddRead();
      spent += plat::QueryCounter() - start;
      if (i % 10 == 9) DrawMs(chart);
    }
    return Ms(spent) * 1000 / (kTimedAdds * kSeries);
  }

  std::vector<std::unique_ptr<TDataSeries>> sources_;
  int reads_ = 0;
};

class LogBench {
 public:
  LogBench() {
    memo_.resize(600, 300);
    memo_.show();
  }

  void Run() {
    PrintFigure("log", "append_start_us", AppendUs());
    while (lines_ < kLogLines - kTimedLines)
      AddLine();
    DrawMs(memo_);
    PrintFigure("log", "append_end_us", AppendUs());
    PrintFigure("log", "lines", memo_.LineCount());
    QScrollBar& bar = *memo_.verticalScrollBar();
    for (const auto& [name, position] :
         {std::pair{"scroll_top_ms", 0}, {"scroll_middle_ms", 1}, {"scroll_bottom_ms", 2}}) {
      const int64_t start = plat::QueryCounter();
      bar.setValue(bar.maximum() * position / 2);
      const double ms = Ms(plat::QueryCounter() - start) + DrawMs(memo_);
      PrintFigure("log", name, ms);
    }
    PrintFigure("log", "first_line_kept", memo_.Line(0) == LineText(0));
    PrintFigure("log", "last_line_kept", memo_.Line(kLogLines - 1) == LineText(kLogLines - 1));
  }

 private:
  static std::string LineText(int n) {
    return "10:15:42.123 Receive: 83 F1 10 61 01 1F 40 5A 3C 80 7F 7C 02 96 line " +
           std::to_string(n);
  }
  void AddLine() { memo_.AddLine(LineText(lines_++)); }
  // Microseconds per line for kTimedLines lines, written into the memo 20 at a time, with a
  // frame drawn after each 20.
  double AppendUs() {
    int64_t spent = 0;
    for (int i = 0; i < kTimedLines; ++i) {
      const int64_t start = plat::QueryCounter();
      AddLine();
      if (i % 20 == 19) memo_.LineCount();
      spent += plat::QueryCounter() - start;
      if (i % 20 == 19) DrawMs(memo_);
    }
    return Ms(spent) * 1000 / kTimedLines;
  }

  ui::ActivityLogMemo memo_;
  int lines_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ui::Application application(argc, argv);
  ChartBench().Run();
  LogBench().Run();
  return 0;
}
