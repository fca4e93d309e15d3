// Continuous reading of four live-data groups through the KWP2000 tester's window (offscreen)
// against the simulated engine ECU: the reads per second as a ratio to the wire limit, and the
// time from a response's last byte on the line to its value being in the grid, also counted from
// the last byte of the list's last response, when the worker hands the list over. One set of
// figures on an idle machine, one with every core kept busy; each figure is printed as a line
// "name value".
#include <QAbstractButton>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/WindowBench.h"
#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "measurement/DataSeries.h"
#include "platform/Counter.h"
#include "sim/Kwp2000Ecu.h"
#include "sim/Kwp2000EcuFrame.h"
#include "sim/Kwp2000EngineEcu.h"
#include "ui/ActivityLogMemo.h"
#include "ui/Application.h"
#include "ui/ListBox.h"

namespace {

using bench::Find;
using bench::Ms;
using bench::PrintLogTail;
using bench::ServeUntil;
using bench::Spread;

constexpr int32_t kBaudRate = 10400;
constexpr int kGroups = 4;
constexpr int kCopies = 30;  // of the four-group list

struct Figures {
  bool completed = false;  // the connection lasted the whole run
  int reads = 0;
  double readsPerSecond = 0;
  double rateToWireLimit = 0;
  Spread latencyMs;    // from each answer's last byte
  Spread afterListMs;  // from the last byte of the list's last answer
};

class LiveDataBench {
 public:
  LiveDataBench() {
    simulation_.Bus().SetModel(
        std::make_unique<sim::Kwp2000Ecu>(ecuConfig_, sim::Kwp2000EngineData()));
    bench::RaiseLinePriority(simulation_.Bus());
  }

  Figures Measure() {
    TQuobrixKWP2000Form form;
    auto& groups = Find<ui::ListBox>(form, "ListBoxReadAll");
    for (int i = 0; i < kGroups; ++i)
      groups.SetSelected(i, true);
    Find<QAbstractButton>(form, "ButtonSelect").click();
    Find<QAbstractButton>(form, "ButtonStartComm2000").click();
    if (!form.CommThread()) return {};
    const double p3Ms = form.CommThread()->MinEcu2TesterTime();
    const double p4Ms = form.CommThread()->MinInterByteTime();
    simulation_.Bus().ClearTrace();

    Find<QAbstractButton>(form, "ButtonToggleReadDataCont1").click();
    FollowFirstItems(Find<ui::ListBox>(form, "ListBoxItemsChart1"));
    const bool allShown = ServeUntil([this] { return shown_[kGroups - 1].size() >= kCopies; });
    const bool completed = allShown && form.CommThread() != nullptr;
    if (!completed) PrintLogTail(form);
    Find<QAbstractButton>(form, "ButtonToggleReadDataCont1").click();
    ServeUntil([this] { return false; }, 1000);  // the copies still in flight
    links_.clear();
    Find<QAbstractButton>(form, "ButtonStopAll").click();
    ServeUntil([&form] { return form.CommThread() == nullptr; });
    Figures figures = FiguresOfTrace(p3Ms, p4Ms);
    figures.completed = completed;
    return figures;
  }

 private:
  // Notes when each group's value has reached the grid: the first item's point is added just
  // before the grid rows are written, and the time is taken once the main thread is back in its
  // event loop, so the rows are there.
  void FollowFirstItems(const ui::ListBox& chartItems) {
    const int firstItems[kGroups] = {0, 7, 13, 17};  // item counts 7, 6, 4, 4
    for (int group = 0; group < kGroups; ++group) {
      auto* series = reinterpret_cast<TDataSeries*>(chartItems.Object(firstItems[group]));
      links_.push_back(
          std::make_unique<TDataSourceLink>(*series, [this, group](const TChartPoint&) {
            QTimer::singleShot(0, [this, group] { shown_[group].push_back(plat::QueryCounter()); });
          }));
    }
  }

  Figures FiguresOfTrace(double p3Ms, double p4Ms) {
    simulation_.Bus().Drain();
    const auto trace = simulation_.Bus().Trace();
    const auto requests = sim::Kwp2000FramesOnLine(trace, sim::LineEventKind::TesterByte);
    const auto answers = sim::Kwp2000FramesOnLine(trace, sim::LineEventKind::EcuByte);
    Figures figures;
    const double byteMs = Ms(sim::KLineBus::ByteTimeAt(kBaudRate));
    double wireMs = 0;
    int64_t first = -1, last = 0;
    for (const auto& request : requests) {
      if (request.frame.ServiceId() != 0x21) continue;
      if (first < 0) first = request.start;
      const double bytes = static_cast<double>(request.frame.bytes.size());
      wireMs += bytes * byteMs + (bytes - 1) * p4Ms + ecuConfig_.answerDelayMs + p3Ms;
      ++figures.reads;
    }
    std::map<int, std::vector<int64_t>> answered;  // answer ends by local identifier
    for (const auto& answer : answers) {
      if (answer.frame.ServiceId() != 0x61 || answer.frame.payload.size() < 2) continue;
      wireMs += static_cast<double>(answer.frame.bytes.size()) * byteMs;
      answered[answer.frame.payload[1]].push_back(answer.end);
      last = std::max(last, answer.end);
    }
    wireMs -= p3Ms;  // none after the last answer
    const double actualMs = Ms(last - first);
    figures.readsPerSecond = figures.reads / (actualMs / 1000);
    figures.rateToWireLimit = wireMs / actualMs;

    // The worker hands a list over once all its steps are answered: a group's value waits for
    // the answers to the groups after it in the list, and then for the window.
    std::vector<double> latencies, afterList;
    const auto& listEnds = answered[kGroups];
    for (int group = 0; group < kGroups; ++group) {
      const auto& ends = answered[group + 1];
      const auto& shown = shown_[group];
      for (size_t i = 0; i < std::min({ends.size(), shown.size(), listEnds.size()}); ++i) {
        latencies.push_back(Ms(shown[i] - ends[i]));
        afterList.push_back(Ms(shown[i] - listEnds[i]));
      }
    }
    figures.latencyMs = bench::SpreadOf(latencies);
    figures.afterListMs = bench::SpreadOf(afterList);
    for (auto& times : shown_)
      times.clear();
    return figures;
  }

  sim::Kwp2000EcuConfig ecuConfig_;
  sim::ScopedSimulation simulation_;
  std::vector<std::unique_ptr<TDataSourceLink>> links_;
  std::vector<int64_t> shown_[kGroups];
};

// A run that did not complete measured nothing: its figures print as nan.
void Print(const char* set, const Figures& figures) {
  bench::PrintFigure(set, "completed", figures.completed);
  const auto line = [&](const char* name, double value) {
    bench::PrintFigure(set, name, figures.completed ? value : NAN);
  };
  line("reads", figures.reads);
  line("reads_per_second", figures.readsPerSecond);
  line("read_rate_to_wire_limit", figures.rateToWireLimit);
  line("latency_median_ms", figures.latencyMs.median);
  line("latency_max_ms", figures.latencyMs.max);
  line("latency_after_list_median_ms", figures.afterListMs.median);
  line("latency_after_list_max_ms", figures.afterListMs.max);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ui::Application application(argc, argv);
  bench::DefinitionDirectory directory("QuobrixKWP2000.def");
  LiveDataBench bench;
  Print("idle", bench.Measure());
  bench::BusyCores busy;
  Print("loaded", bench.Measure());
  return 0;
}
