// A long session of each tester, offscreen, on the window's own widgets, destinations and
// decoding:
//  - the load of a definition file of 10,000 statements (groups, named-list entries,
//    identification descriptions);
//  - an hour of continuous reading: results made as the ECU would answer, fed as many as the
//    wire carries in an hour but without the wire, through the program's decoding into the
//    realtime grids and a chart of ten items; then resident memory.
// Each part runs in a process of its own, so that one's memory does not count for the other.
// Figures are printed as lines "program.name value".
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ScratchDirectory.h"
#include "engine/Sequence.h"
#include "kw71/Kw71Decoding.h"
#include "kw71/Kw71Definitions.h"
#include "kw71/Kw71Requests.h"
#include "kwp2000/Kwp2000Decoding.h"
#include "kwp2000/Kwp2000Definitions.h"
#include "kwp2000/Kwp2000Requests.h"
#include "measurement/DataDescription.h"
#include "measurement/DataDestination.h"
#include "platform/Counter.h"
#include "sim/KLineBus.h"
#include "tester/ControlSettings.h"
#include "tester/LiveDataReading.h"
#include "tester/LiveDataSelection.h"
#include "tester/ResultDecoder.h"
#include "ui/ActivityLogMemo.h"
#include "ui/Application.h"
#include "ui/Chart.h"
#include "ui/ListBox.h"
#include "ui/StringGrid.h"

namespace {

using bench::Ms;

constexpr int kStatements = 10000;
constexpr int kChartItems = 10;
constexpr double kSessionSeconds = 3600;
constexpr int kResultsPerTurn = 25;  // results the main thread takes between two event-loop turns

// Connection settings as "#define" sets them; a session on the window's parts has no connect
// tab, so they are taken and dropped.
class DroppedSettings final : public TControlSettings {
 public:
  void SetText(std::string_view, const std::string&) override {}
  int RadioItemCount(std::string_view) const override { return 3; }
  void SetItemIndex(std::string_view, int) override {}
  void SetChecked(std::string_view, bool) override {}
};

// The widgets of a tester window that a load and a session fill, and its realtime and
// identification destinations, as the window registers them.
struct WindowParts {
  WindowParts() {
    realtime.AddGrid(grid1);
    realtime.AddChart(chart, itemsChart);
    realtime.AddGrid(grid4);
    ident.AddGrid(identGrid);
    chart.resize(820, 337);
    chart.show();
  }
  TDefinitionControls Controls() {
    return {readAll, itemsReadAll, readSel, itemsAll, identGrid, settings, memo};
  }

  ui::ActivityLogMemo memo;
  ui::ListBox readAll{true}, itemsReadAll{true}, readSel{true}, itemsAll{true};
  ui::ListBox itemsChart{true};
  ui::ListBox dtc1{false}, dtc2{false}, dtc3{false}, dtc4{false};
  ui::StringGrid grid1{3, 1}, grid4{3, 1}, identGrid{3, 1};
  ui::Chart chart;
  DroppedSettings settings;
  TDataDestination realtime, ident;
};

// What differs between the testers.
struct Program {
  const char* name;
  // Group `n` of a definition file, and statement `n` of the large one.
  std::function<std::string(int n)> group;
  std::function<std::string(int n)> statement;
  std::function<std::unique_ptr<TDefinitions>(WindowParts&, const std::string& defDir)> definitions;
  std::function<std::unique_ptr<TDecodingRules>(WindowParts&, const TDefinitions&)> rules;
  TReadStepMaker readStep;
  // The answer to a read step, as the protocol files it, and its bytes on the wire (request and
  // answer, with the ECU's and the tester's minimum gaps) in ms.
  std::function<std::unique_ptr<TSequence>(const TSequence& request, int n)> answer;
  std::function<double(const TSequence& request, const TSequence& answer)> wireMs;
};

double ByteMs() {
  return Ms(sim::KLineBus::ByteTimeAt(sim::KLineBus::kInitialBaudRate));
}

std::unique_ptr<TSmallIntArray> Bytes(std::initializer_list<int> head, int count, int n) {
  auto bytes = std::make_unique<TSmallIntArray>();
  for (int value : head)
    bytes->Add(value);
  for (int i = 0; i < count; ++i)
    bytes->Add((n * (i + 3) + i * 17) & 0xFF);
  return bytes;
}

std::string Kwp2000Group(int n) {
  return "RDBLI_2000, 0x21, " + std::to_string(n % 250 + 1) + ", \"Group " + std::to_string(n) +
         "\", 4,\n  \"Engine speed\", 7, 0x02, 0x90, 0x07, 0x00, 0x04, 0xA0, 0x33,\n"
         "  \"Coolant\", 9, 0x01, 0x90, 0x00, 0xA0, 0x4B, 0x08, 0x30, 0xA0, 0x17,\n"
         "  \"Battery\", 4, 0x01, 0xA0, 0x0E, \"#formula x/10\",\n"
         "  \"Mode\", 2, 0xB1, \"#list Mode\";\n";
}

std::string Kw71Group(int n) {
  return "RAM_71, 1, " + std::to_string(0x100 + n) + ", \"Group " + std::to_string(n) +
         "\", 4,\n  \"Engine speed\", 7, 0x02, 0x90, 0x07, 0x00, 0x04, 0xA0, 0x33,\n"
         "  \"Coolant\", 9, 0x01, 0x90, 0x00, 0xA0, 0x4B, 0x08, 0x30, 0xA0, 0x17,\n"
         "  \"Battery\", 4, 0x01, 0xA0, 0x0E, \"#formula x/10\",\n"
         "  \"Mode\", 2, 0xB1, \"#list Mode\";\n";
}

// Every other statement a named-list entry, of the rest one in five an identification
// description and the others groups.
std::string Statement(int n, const char* identKeyword,
                      const std::function<std::string(int)>& group) {
  if (n % 2 == 0)
    return "#list Mode, " + std::to_string(n) + ", \"mode " + std::to_string(n) + "\";\n";
  if (n % 10 == 1)
    return std::string(identKeyword) + ", 0x1A, 0x90, \"Ident " + std::to_string(n) +
           "\", 1, \"Number\", 1, 0x6A;\n";
  return group(n);
}

const Program kPrograms[] = {
    {.name = "kwp2000",
     .group = Kwp2000Group,
     .statement = [](int n) { return Statement(n, "REI_2000", Kwp2000Group); },
     .definitions =
         [](WindowParts& parts, const std::string& defDir) {
           return std::make_unique<TKwp2000Definitions>(
               parts.Controls(),
               TKwp2000DtcControls{parts.dtc1, parts.dtc2, parts.dtc3, parts.dtc4}, defDir);
         },
     .rules = [](WindowParts&,
                 const TDefinitions&) { return std::make_unique<TKwp2000DecodingRules>(); },
     .readStep = MakeReadDataStep,
     .answer =
         [](const TSequence& request, int n) {
           return std::make_unique<TSequence>(request.FServiceId + 0x40,
                                              Bytes({request.FParams->Get(0)}, 12, n));
         },
     .wireMs =
         [](const TSequence& request, const TSequence& answer) {
           // Format, target and source bytes, the service id, its parameters and the checksum.
           const double requestBytes = 5 + request.ParamCount();
           const double answerBytes = 5 + answer.ParamCount();
           constexpr double kP4 = 5, kP2 = 25, kP3 = 25;
           return (requestBytes + answerBytes) * ByteMs() + (requestBytes - 1) * kP4 + kP2 + kP3;
         }},
    {.name = "kw71",
     .group = Kw71Group,
     .statement = [](int n) { return Statement(n, "REI_71", Kw71Group); },
     .definitions =
         [](WindowParts& parts, const std::string& defDir) {
           return std::make_unique<TKw71Definitions>(parts.Controls(), defDir);
         },
     .rules =
         [](WindowParts& parts, const TDefinitions& definitions) {
           return std::make_unique<TKw71DecodingRules>(definitions, parts.ident);
         },
     .readStep = MakeKw71ReadStep,
     .answer = [](const TSequence&,
                  int n) { return std::make_unique<TSequence>(0xFE, Bytes({}, 2, n)); },
     .wireMs =
         [](const TSequence& request, const TSequence& answer) {
           // Each block: length, counter, title, data, end; every byte but the last of a block
           // acknowledged by its complement, each way a byte time.
           const double blocks = 2 * 4 + request.ParamCount() + answer.ParamCount();
           constexpr double kAnswerDelay = 10, kBlockGap = 10;
           return 2 * blocks * ByteMs() + kAnswerDelay + kBlockGap;
         }},
};

double ResidentMb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::string(field).size())) / 1024;
  return NAN;
}

void PrintFigure(const Program& program, const char* name, double value) {
  bench::PrintFigure(program.name, name, value);
  std::fflush(stdout);
}

void MeasureLoad(const Program& program) {
  bench::ScratchDirectory directory("long-session");
  {
    std::ofstream file(directory.DefDir() + "large.def");
    file << "#define ecuaddress 0x10;\n#define echoaftersend on;\n";
    for (int n = 2; n < kStatements; ++n)
      file << program.statement(n);
  }
  WindowParts parts;
  auto definitions = program.definitions(parts, directory.DefDir());
  const int64_t start = plat::QueryCounter();
  const double cpuStart = bench::ThreadCpuMs();
  definitions->Load(directory.DefDir() + "large.def");
  QCoreApplication::processEvents();
  PrintFigure(program, "load_10000_statements_ms", Ms(plat::QueryCounter() - start));
  PrintFigure(program, "load_10000_statements_cpu_ms", bench::ThreadCpuMs() - cpuStart);
  PrintFigure(program, "groups_loaded", parts.readAll.Count());
  PrintFigure(program, "items_listed", parts.itemsReadAll.Count());
}

// An hour of continuous reading of the first four groups of the session's definition file.
class Session {
 public:
  Session(const Program& program, const std::string& defDir)
      : program_(program), definitions_(program.definitions(parts_, defDir)) {
    definitions_->Load(defDir + "session.def");
    rules_ = program.rules(parts_, *definitions_);
    decoder_ = std::make_unique<TResultDecoder>(*rules_, parts_.memo);
    reading_ =
        std::make_unique<TLiveDataReading>(parts_.readSel, parts_.realtime, program.readStep);
  }

  void Run() {
    for (int i = 0; i < std::min(4, parts_.readAll.Count()); ++i)
      parts_.readAll.SetSelected(i, true);
    SelectGroups(parts_.readAll, parts_.readSel);
    reading_->Toggle(Engine());
    for (int i = 0; i < std::min(kChartItems, parts_.itemsChart.Count()); ++i)
      parts_.itemsChart.SetSelected(i, true);
    parts_.realtime.ShowSelectedSeries(parts_.itemsChart);
    PrintFigure(program_, "resident_start_mb", ResidentMb("VmRSS:"));

    const int64_t start = plat::QueryCounter();
    double wireMs = 0;
    int results = 0, reads = 0;
    while (wireMs < kSessionSeconds * 1000) {
      wireMs += Answer(results++, reads);
      if (results % kResultsPerTurn == 0) QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    PrintFigure(program_, "session_hours", wireMs / 3.6e6);
    PrintFigure(program_, "reads_per_second", reads / (wireMs / 1000));
    PrintFigure(program_, "results", results);
    PrintFigure(program_, "chart_series", parts_.chart.SeriesCount());
    const auto* firstItem = reinterpret_cast<const TDataSeries*>(parts_.itemsChart.Object(0));
    PrintFigure(program_, "chart_points_per_series",
                static_cast<double>(firstItem->Points().size()));
    PrintFigure(program_, "log_lines", parts_.memo.LineCount());
    PrintFigure(program_, "feed_seconds", Ms(plat::QueryCounter() - start) / 1000);
    PrintFigure(program_, "resident_end_mb", ResidentMb("VmRSS:"));
    PrintFigure(program_, "resident_peak_mb", ResidentMb("VmHWM:"));
  }

 private:
  TLiveDataReading::TExecute Engine() {
    return [this](std::unique_ptr<TSequenceList>&& list) {
      queued_.push_back(std::move(list));
      return true;
    };
  }
  // Answers the oldest copy in flight as the worker hands it back; its wire time in ms.
  double Answer(int n, int& reads) {
    auto object = std::make_unique<TSequenceObject>(std::move(queued_.front()), skExecuteSequence);
    queued_.pop_front();
    double wireMs = 0;
    for (int i = 0; i < object->RequestCount(); ++i) {
      const TSequence& request = *object->GetRequest(i);
      auto answer = program_.answer(request, n);
      wireMs += program_.wireMs(request, *answer);
      object->AddResponse(std::move(answer));
      object->SetResponseTime(i, static_cast<int>(n * 100 + i));
      ++reads;
    }
    decoder_->Decode(*object, reading_->CopyAnswered(Engine()));
    return wireMs;
  }

  const Program& program_;
  WindowParts parts_;
  std::unique_ptr<TDefinitions> definitions_;
  std::unique_ptr<TDecodingRules> rules_;
  std::unique_ptr<TResultDecoder> decoder_;
  std::unique_ptr<TLiveDataReading> reading_;
  std::deque<std::unique_ptr<TSequenceList>> queued_;
};

void MeasureSession(const Program& program) {
  bench::ScratchDirectory directory("long-session");
  {
    std::ofstream file(directory.DefDir() + "session.def");
    file << "#list Mode, 0, idle;\n";
    for (int n = 1; n <= 4; ++n)
      file << program.group(n);
  }
  Session session(program, directory.DefDir());
  session.Run();
}

// Runs `part` in a child process with an application of its own.
void InChild(int argc, char** argv, const std::function<void()>& part) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    ui::Application application(argc, argv);
    part();
    std::fflush(stdout);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("part failed: %d\n", status);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // An argument "session" or "load" runs that part only.
  const std::string only = argc > 1 ? argv[1] : "";
  for (const Program& program : kPrograms) {
    if (only != "load") InChild(argc, argv, [&] { MeasureSession(program); });
    if (only != "session") InChild(argc, argv, [&] { MeasureLoad(program); });
  }
  return 0;
}
