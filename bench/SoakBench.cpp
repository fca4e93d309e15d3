// Soak run of a tester's window (offscreen) against its simulated ECU: cycle after cycle of
// connect, identification, one read of every group, continuous reading of at least five copies
// and stop, in a fresh window each time, alternating the ways of connecting the program offers.
//
//   bench_soak <program> <cycles>
//
// The cycles run in a child process; this process supervises it, so that a crash is counted and
// the run goes on with the next cycle in a new child. A cycle that takes longer than 30 s is a
// hang; one stuck for two minutes ends its child. The child's standard error is scanned for
// sanitizer and leak reports and passed on. Figures are printed as lines "set.name value": the
// totals, the cycle times per way of connecting, and the resident memory, open files and threads
// after cycles 1, 100 and the last (and every 100th on standard error as the run goes).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QLabel>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/SoakPrograms.h"
#include "bench/WindowBench.h"
#include "measurement/DataSeries.h"
#include "platform/Counter.h"
#include "sim/KLineBus.h"
#include "sim/SimulatedFtdi.h"
#include "tester/TesterForm.h"
#include "ui/Application.h"
#include "ui/ExceptionDisplay.h"
#include "ui/ListBox.h"
#include "ui/StringGrid.h"

extern char** environ;

namespace {

using bench::Find;
using soak::SoakProgram;

constexpr int kHangMs = 30000;
constexpr int kStuckMs = 120000;
constexpr int kContinuousReads = 5;
constexpr int kMaxGroups = 4;               // a window reads at most four groups
constexpr const char* kNoData = "No data";  // a value not read yet
constexpr const char* kNoKeyBytes = "----";

bool CycleOfSample(int cycle, int last) {
  return cycle == 1 || cycle % 100 == 0 || cycle == last;
}

// --- the child: the cycles --------------------------------------------------------------------

struct Usage {
  long rssKb = 0;
  int fds = 0;
  int threads = 0;
};

Usage CurrentUsage() {
  Usage usage;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) usage.rssKb = std::atol(line.c_str() + 6);
    if (line.rfind("Threads:", 0) == 0) usage.threads = std::atoi(line.c_str() + 8);
  }
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++usage.fds;
  return usage;
}

// The last runs of bytes on the line (each direction's bytes spaced less than 30 ms apart), their
// start from `since` and their widest gap: where a cycle went wrong.
void PrintLineTail(sim::KLineBus& bus, int64_t since, size_t runs = 12) {
  struct Run {
    bool tester;
    int64_t start, end, widestGap = 0;
    std::string bytes;
  };
  std::vector<Run> line;
  for (const sim::LineEvent& event : bus.Trace()) {
    const bool tester = event.kind == sim::LineEventKind::TesterByte;
    if (!tester && event.kind != sim::LineEventKind::EcuByte) continue;
    const int64_t gap = line.empty() ? 0 : event.time - line.back().end;
    if (line.empty() || line.back().tester != tester || gap > 30000000)
      line.push_back({tester, event.time, event.End(), 0, ""});
    Run& run = line.back();
    run.widestGap = std::max(run.widestGap, event.time - run.end);
    run.end = event.End();
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", event.value);
    run.bytes += hex;
  }
  for (size_t i = line.size() > runs ? line.size() - runs : 0; i < line.size(); ++i)
    std::fprintf(stderr, "line: %9.1f ms %s%s (widest gap %.1f ms)\n",
                 bench::Ms(line[i].start - since), line[i].tester ? "tester" : "ecu   ",
                 line[i].bytes.c_str(), bench::Ms(line[i].widestGap));
}

// One cycle in a fresh window; `step` names the step that did not finish.
class Cycle {
 public:
  Cycle(const SoakProgram& program, int variant, int64_t start)
      : program_(program),
        variant_(variant),
        start_(start),
        deadline_(start + int64_t{kHangMs} * 1000000) {}

  // True when every step finished; otherwise `Step()` names the one that did not.
  bool Run() {
    window_ = program_.openWindow();
    SelectGroups();
    program_.chooseVariant(*window_, variant_);
    const bool done = Connect() && Identify() && ReadOnce() && ReadContinuously() && Stop();
    if (!done) {
      bench::PrintLogTail(*window_);
      PrintLineTail(sim::SimulatedFtdi::Instance().Bus(), start_);
      Find<QAbstractButton>(*window_, "ButtonStopAll").click();
      Serve([this] { return window_->CommThread() == nullptr; });
    }
    window_->close();
    window_.reset();
    return done;
  }
  const char* Step() const { return step_; }
  bool TimedOut() const { return plat::QueryCounter() >= deadline_; }

 private:
  bool Serve(const std::function<bool()>& done) { return bench::ServeUntilTime(done, deadline_); }
  // Serves until `done` holds; false when it does not within the cycle's time or the connection
  // ends first.
  bool ServeConnected(const std::function<bool()>& done) {
    return Serve([&] { return done() || !window_->CommThread(); }) && window_->CommThread();
  }
  void Click(const char* name) { Find<QAbstractButton>(*window_, name).click(); }
  ui::StringGrid& Grid(const char* name) { return Find<ui::StringGrid>(*window_, name); }

  // The first groups, as many as a window reads at once.
  void SelectGroups() {
    auto& groups = Find<ui::ListBox>(*window_, "ListBoxReadAll");
    for (int i = 0; i < std::min(groups.Count(), kMaxGroups); ++i)
      groups.SetSelected(i, true);
    Click("ButtonSelect");
  }
  // The start is done when the click returns; a started window shows the key bytes.
  bool Connect() {
    step_ = "connect";
    Click(program_.startButton);
    return window_->CommThread() != nullptr &&
           Find<QLabel>(*window_, "LabelKeyWord").text() != kNoKeyBytes;
  }
  // Every row of the grid has its name and value.
  static bool Filled(const ui::StringGrid& grid, int rows) {
    if (rows == 0 || grid.RowCount() < rows) return false;
    for (int row = 0; row < rows; ++row) {
      const std::string value = grid.Cell(1, row);
      if (grid.Cell(0, row).empty() || value.empty() || value == kNoData) return false;
    }
    return true;
  }
  bool Identify() {
    step_ = "identification";
    auto& grid = Grid("StringGrid2");
    const int rows = grid.RowCount();
    Click(program_.identButton);
    return ServeConnected([&] { return Filled(grid, rows); });
  }
  bool ReadOnce() {
    step_ = "read once";
    const int items = Find<ui::ListBox>(*window_, "ListBoxItemsAll").Count();
    Click("ButtonReadDataOnce");
    return ServeConnected([&] { return Filled(Grid("StringGrid1"), items); });
  }
  // The continuous start registers the groups afresh: the chart items' series are new then.
  bool ReadContinuously() {
    step_ = "continuous reading";
    Click("ButtonToggleReadDataCont1");
    auto& chartItems = Find<ui::ListBox>(*window_, "ListBoxItemsChart1");
    if (chartItems.Count() == 0) return false;
    const auto& series = *reinterpret_cast<const TDataSeries*>(chartItems.Object(0));
    return ServeConnected([&] { return series.Points().size() >= kContinuousReads; });
  }
  bool Stop() {
    step_ = "stop";
    Click("ButtonToggleReadDataCont1");
    Click("ButtonStopAll");
    return Serve([this] { return window_->CommThread() == nullptr; });
  }

  const SoakProgram& program_;
  const int variant_;
  const int64_t start_;
  const int64_t deadline_;
  std::unique_ptr<tester::TesterForm> window_;
  const char* step_ = "";
};

// Ends the process when a cycle is stuck, so that the supervisor goes on with the next.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Watch(); }) {}
  ~Watchdog() {
    stop_ = true;
    thread_.join();
  }
  void CycleStarted(int cycle) {
    cycleStart_ = plat::QueryCounter();
    cycle_ = cycle;
  }

 private:
  void Watch() {
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      const int64_t start = cycleStart_;
      if (start != 0 && plat::QueryCounter() - start > int64_t{kStuckMs} * 1000000) {
        std::printf("stuck %d\n", cycle_.load());
        std::fflush(stdout);
        std::fprintf(stderr, "cycle %d stuck for %d s: ending the child\n", cycle_.load(),
                     kStuckMs / 1000);
        _exit(3);
      }
    }
  }

  std::atomic<bool> stop_{false};
  std::atomic<int64_t> cycleStart_{0};
  std::atomic<int> cycle_{0};
  std::thread thread_;
};

int RunCycles(const SoakProgram& program, int first, int last, int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ui::Application application(argc, argv);
  bench::DefinitionDirectory directory(program.definitionFile);
  sim::ScopedSimulation simulation;
  bench::RaiseLinePriority(simulation.Bus());
  ui::SetMessageBoxFunction([](const std::string& caption, const std::string& text) {
    std::printf("box %s: %s\n", caption.c_str(), text.c_str());
  });
  Watchdog watchdog;
  for (int cycle = first; cycle <= last; ++cycle) {
    const int variant = (cycle - 1) % static_cast<int>(program.variants.size());
    simulation.Bus().ClearTrace();
    program.placeEcu(simulation.Bus(), variant);
    const int64_t start = plat::QueryCounter();
    watchdog.CycleStarted(cycle);
    Cycle run(program, variant, start);
    const bool done = run.Run();
    const double ms = bench::Ms(plat::QueryCounter() - start);
    const char* outcome = ms > kHangMs || run.TimedOut() ? "hang" : done ? "done" : "failed";
    std::printf("cycle %d %d %s %.1f %s\n", cycle, variant, outcome, ms, run.Step());
    if (CycleOfSample(cycle, last)) {
      const Usage usage = CurrentUsage();
      std::printf("sample %d %ld %d %d\n", cycle, usage.rssKb, usage.fds, usage.threads);
    }
    std::fflush(stdout);
  }
  ui::SetMessageBoxFunction(nullptr);
  std::printf("end\n");
  std::fflush(stdout);
  return 0;
}

// --- the supervisor ---------------------------------------------------------------------------

struct Totals {
  int done = 0;
  int failed = 0;
  int hangs = 0;
  int crashes = 0;
  int boxes = 0;
  int sanitizerReports = 0;
  int leaks = 0;
  std::map<int, std::vector<double>> cycleMs;  // by variant
  std::map<int, Usage> samples;                // by cycle
};

// Passes a child's standard error on as it comes, counting its sanitizer and leak reports.
class ErrorScanner {
 public:
  explicit ErrorScanner(int fd) : thread_([this, fd] { Scan(fd); }) {}
  ~ErrorScanner() { Join(); }
  ErrorScanner(const ErrorScanner&) = delete;
  ErrorScanner& operator=(const ErrorScanner&) = delete;

  // Waits for the end of the stream and adds the counts.
  void AddTo(Totals& totals) {
    Join();
    totals.sanitizerReports += reports_;
    totals.leaks += leaks_;
  }

 private:
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  void Scan(int fd) {
    FILE* errors = fdopen(fd, "r");
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, errors)) {
      std::fputs(buffer, stderr);
      const std::string_view line(buffer);
      for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                                 "runtime error:", "WARNING: ThreadSanitizer"})
        if (line.find(report) != std::string_view::npos) ++reports_;
      if (line.starts_with("Direct leak of") || line.starts_with("Indirect leak of")) ++leaks_;
    }
    std::fclose(errors);
  }

  int reports_ = 0;
  int leaks_ = 0;
  std::thread thread_;
};

// Runs a child from cycle `first`; the last cycle it reported, or first - 1.
int RunChild(const char* self, const std::string& program, int first, int last, Totals& totals) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  for (int fd : {out[0], out[1], err[0], err[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  const std::string firstText = std::to_string(first), lastText = std::to_string(last);
  const char* args[] = {self,      program.c_str(),   lastText.c_str(),
                        "--child", firstText.c_str(), nullptr};
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, self, &actions, nullptr, const_cast<char**>(args), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) throw std::runtime_error("cannot start the child");
  ErrorScanner scanner(err[0]);

  FILE* lines = fdopen(out[0], "r");
  int reported = first - 1;
  bool ended = false, stuck = false;
  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, lines)) {
    std::istringstream line(buffer);
    std::string kind;
    line >> kind;
    if (kind == "cycle") {
      int cycle, variant;
      std::string outcome;
      double ms;
      line >> cycle >> variant >> outcome >> ms;
      reported = cycle;
      totals.cycleMs[variant].push_back(ms);
      if (outcome == "done") ++totals.done;
      if (outcome == "failed") ++totals.failed;
      if (outcome == "hang") ++totals.hangs;
      if (outcome != "done") std::fprintf(stderr, "%s", buffer);
    } else if (kind == "sample") {
      int cycle;
      Usage usage;
      line >> cycle >> usage.rssKb >> usage.fds >> usage.threads;
      totals.samples[cycle] = usage;
      std::fprintf(stderr, "after cycle %d: rss %.1f MB, %d fds, %d threads, %d done\n", cycle,
                   usage.rssKb / 1024.0, usage.fds, usage.threads, totals.done);
    } else if (kind == "box") {
      ++totals.boxes;
      std::fprintf(stderr, "%s", buffer);
    } else if (kind == "stuck") {
      stuck = true;
    } else if (kind == "end") {
      ended = true;
    }
  }
  std::fclose(lines);
  int status = 0;
  waitpid(child, &status, 0);
  if (stuck) {
    ++totals.hangs;
    ++reported;  // the stuck cycle
  } else if (!ended) {
    ++totals.crashes;
    std::fprintf(stderr, "child crashed after cycle %d (%s %d)\n", reported,
                 WIFSIGNALED(status) ? "signal" : "exit",
                 WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
    ++reported;  // the cycle it crashed in
  }
  scanner.AddTo(totals);
  return reported;
}

void PrintTotals(int cycles, const Totals& totals, const SoakProgram& program) {
  const auto figure = [](const char* set, const char* name, double value) {
    bench::PrintFigure(set, name, value);
  };
  figure("soak", "cycles", cycles);
  figure("soak", "done", totals.done);
  figure("soak", "failed", totals.failed);
  figure("soak", "hangs", totals.hangs);
  figure("soak", "crashes", totals.crashes);
  figure("soak", "message_boxes", totals.boxes);
  figure("soak", "sanitizer_reports", totals.sanitizerReports);
  figure("soak", "leaks", totals.leaks);
  for (const auto& [variant, times] : totals.cycleMs) {
    const bench::Spread spread = bench::SpreadOf(times);
    const std::string set = std::string("cycle_ms.") + program.variants[variant];
    figure(set.c_str(), "median", spread.median);
    figure(set.c_str(), "max", spread.max);
  }
  for (const auto& [cycle, usage] : totals.samples) {
    if (!CycleOfSample(cycle, cycles) || (cycle % 100 == 0 && cycle != 100 && cycle != cycles))
      continue;
    const std::string set = "after_cycle_" + std::to_string(cycle);
    figure(set.c_str(), "rss_mb", usage.rssKb / 1024.0);
    figure(set.c_str(), "fds", usage.fds);
    figure(set.c_str(), "threads", usage.threads);
  }
}

int Supervise(const char* self, const SoakProgram& program, int cycles) {
  Totals totals;
  for (int next = 1; next <= cycles;)
    next = RunChild(self, program.name, next, cycles, totals) + 1;
  PrintTotals(cycles, totals, program);
  const bool clean = totals.done == cycles && totals.sanitizerReports == 0 && totals.leaks == 0;
  return clean ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const SoakProgram* program = argc >= 3 ? soak::FindProgram(argv[1]) : nullptr;
  const int cycles = argc >= 3 ? std::atoi(argv[2]) : 0;
  if (!program || cycles <= 0) {
    std::fprintf(stderr, "usage: bench_soak <%s> <cycles>\n", soak::ProgramNames().c_str());
    return 2;
  }
  if (argc == 5 && std::strcmp(argv[3], "--child") == 0)
    return RunCycles(*program, std::atoi(argv[4]), cycles, argc, argv);
  signal(SIGPIPE, SIG_IGN);
  return Supervise("/proc/self/exe", *program, cycles);
}
