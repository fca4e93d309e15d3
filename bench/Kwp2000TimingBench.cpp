// Timing of the KWP2000 protocol against the simulated ECU at 10400 baud, read from the bus
// trace: the 5-baud bit edges, the fast-initialisation pulses, the gaps P3 (after the ECU's last
// byte) and P4 (between request bytes), and the rate of back-to-back ReadDataByLocalIdentifier
// exchanges as a ratio to the wire limit. One set of figures on an idle machine, one with every
// core kept busy; each figure is printed as a line "name value".
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ScratchDirectory.h"
#include "engine/Iso9141Thread2.h"
#include "engine/Kwp2000Protocol2.h"
#include "engine/Sequence.h"
#include "engine/Threadlist.h"
#include "platform/Dispatcher.h"
#include "sim/KLineBus.h"
#include "sim/Kwp2000Ecu.h"
#include "sim/SimulatedFtdi.h"

namespace {

using bench::BusyCores;
using bench::Ms;
using bench::QuietLog;
using bench::Spread;
using bench::SpreadOf;
using sim::LineEvent;
using sim::LineEventKind;

constexpr int32_t kBaudRate = 10400;  // the line rate the protocol starts with
constexpr uint8_t kEcuAddress = 0x10;
constexpr uint8_t kTesterAddress = 0xF1;
constexpr double kBitMs = 200.0;
constexpr double kPulseMs = 25.0;
constexpr int kFiveBaudRuns = 2;
constexpr int kFastInitRuns = 5;
constexpr int kExchanges = 40;

// A connection with the protocol started by `initType`.
class Session : public bench::Connection {
 public:
  Session(plat::LoopDispatcher& dispatcher, QuietLog& memo, const std::string& logDirectory,
          uint8_t initType)
      : Connection(dispatcher, memo, logDirectory, TTesterProgram::Kwp2000Prof, kEcuAddress,
                   [&memo, initType](TIso9141Thread& worker) {
                     auto& kwp2000Worker = dynamic_cast<TKwp2000Thread&>(worker);
                     auto protocol = std::make_unique<TKwp2000Protocol>(&kwp2000Worker, &memo);
                     protocol->SetInitType(initType);
                     worker.SetProtocol(protocol.get(), 2);
                     kwp2000Worker.SetAddresses(kEcuAddress, kTesterAddress);
                     return protocol;
                   }) {}
};

// A figure stays nan when its phase failed.
struct Figures {
  double fiveBaudEdgeErrorMs = NAN;
  double fastInitLowErrorMs = NAN;
  double fastInitHighErrorMs = NAN;
  Spread p3;
  Spread p4;
  double requestRate = NAN;
};

class TimingBench {
 public:
  TimingBench() {
    sim::Kwp2000EcuConfig ecu;
    ecu.identity.address = kEcuAddress;
    simulation_.Bus().SetModel(std::make_unique<sim::Kwp2000Ecu>(ecu));
    bench::RaiseLinePriority(simulation_.Bus());
  }

  Figures Measure() {
    Figures figures;
    figures.fiveBaudEdgeErrorMs = FiveBaudEdgeError();
    FastInitErrors(figures);
    Exchanges(figures);
    return figures;
  }

 private:
  std::vector<LineEvent> Trace() {
    simulation_.Bus().Drain();
    return simulation_.Bus().Trace();
  }
  static std::vector<LineEvent> Only(const std::vector<LineEvent>& trace,
                                     std::initializer_list<LineEventKind> kinds) {
    std::vector<LineEvent> events;
    for (const LineEvent& event : trace) {
      if (std::find(kinds.begin(), kinds.end(), event.kind) != kinds.end()) {
        events.push_back(event);
      }
    }
    return events;
  }

  // Every bit of the address is driven at its start time + n * 200 ms.
  double FiveBaudEdgeError() {
    double worst = 0;
    for (int run = 0; run < kFiveBaudRuns; ++run) {
      simulation_.Bus().ClearTrace();
      Session session(dispatcher_, memo_, logDirectory_, TKwp2000Protocol::kInitFiveBaud);
      const auto edges = Only(Trace(), {LineEventKind::BreakOn, LineEventKind::BreakOff});
      if (edges.empty()) return NAN;
      for (const LineEvent& edge : edges) {
        const double atMs = Ms(edge.time - edges.front().time);
        if (atMs > 9.5 * kBitMs) break;
        worst = std::max(worst, std::abs(atMs - std::round(atMs / kBitMs) * kBitMs));
      }
    }
    return worst;
  }

  // 25 ms low, then 25 ms high until the first byte of StartCommunication.
  void FastInitErrors(Figures& figures) {
    double lowError = 0, highError = 0;
    for (int run = 0; run < kFastInitRuns; ++run) {
      simulation_.Bus().ClearTrace();
      Session session(dispatcher_, memo_, logDirectory_, TKwp2000Protocol::kInitFast);
      const std::vector<LineEvent> trace = Trace();
      const auto low = Only(trace, {LineEventKind::BreakOn});
      const auto high = Only(trace, {LineEventKind::BreakOff});
      const auto bytes = Only(trace, {LineEventKind::TesterByte});
      if (low.empty() || high.empty() || bytes.empty()) return;
      lowError = std::max(lowError, std::abs(Ms(high[0].time - low[0].time) - kPulseMs));
      highError = std::max(highError, std::abs(Ms(bytes[0].time - high[0].time) - kPulseMs));
    }
    figures.fastInitLowErrorMs = lowError;
    figures.fastInitHighErrorMs = highError;
  }

  // Back-to-back ReadDataByLocalIdentifier: the gaps and the rate against the wire limit.
  void Exchanges(Figures& figures) {
    Session session(dispatcher_, memo_, logDirectory_, TKwp2000Protocol::kInitFast);
    auto list = std::make_unique<TSequenceList>();
    for (int i = 0; i < kExchanges; ++i) {
      list->Add(std::make_unique<TSequence>(
          0x21, std::make_unique<TSmallIntArray>(std::initializer_list<int16_t>{0x01})));
    }
    simulation_.Bus().ClearTrace();
    if (!session.Started() || !session.Run(std::move(list))) return;
    const auto bytes = Only(Trace(), {LineEventKind::TesterByte, LineEventKind::EcuByte});
    const double p3Ms = session.Worker().MinEcu2TesterTime();
    const double p4Ms = session.Worker().MinInterByteTime();
    std::vector<double> p3, p4;
    int testerBytes = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i].kind != LineEventKind::TesterByte) continue;
      ++testerBytes;
      if (i == 0) continue;
      const double gapMs = Ms(bytes[i].time - bytes[i - 1].End());
      if (bytes[i - 1].kind == LineEventKind::EcuByte) {
        p3.push_back(gapMs - p3Ms);
      } else {
        p4.push_back(gapMs - p4Ms);
      }
    }
    figures.p3 = SpreadOf(p3);
    figures.p4 = SpreadOf(p4);
    const int ecuBytes = static_cast<int>(bytes.size()) - testerBytes;
    const double byteMs = Ms(sim::KLineBus::ByteTimeAt(kBaudRate));
    const double requestMs =
        testerBytes * byteMs + (testerBytes - kExchanges) * p4Ms;  // P4 inside each request
    const double answersMs = ecuBytes * byteMs + kExchanges * answerDelayMs_;
    const double wireLimitMs = requestMs + answersMs + (kExchanges - 1) * p3Ms;
    const double actualMs = Ms(bytes.back().End() - bytes.front().time);
    figures.requestRate = wireLimitMs / actualMs;
  }

  plat::LoopDispatcher dispatcher_;
  plat::ScopedMainDispatcher scope_{dispatcher_};
  sim::ScopedSimulation simulation_;
  QuietLog memo_;
  bench::ScratchDirectory scratch_{"kwp2000-timing"};
  std::string logDirectory_ = scratch_.Directory();
  double answerDelayMs_ = sim::Kwp2000EcuConfig{}.answerDelayMs;
};

void Print(const char* set, const Figures& figures) {
  const auto line = [set](const char* name, double value) { bench::PrintFigure(set, name, value); };
  line("five_baud_edge_error_max_ms", figures.fiveBaudEdgeErrorMs);
  line("fast_init_low_error_max_ms", figures.fastInitLowErrorMs);
  line("fast_init_high_error_max_ms", figures.fastInitHighErrorMs);
  line("p3_overshoot_min_ms", figures.p3.min);
  line("p3_overshoot_median_ms", figures.p3.median);
  line("p3_overshoot_max_ms", figures.p3.max);
  line("p4_overshoot_min_ms", figures.p4.min);
  line("p4_overshoot_median_ms", figures.p4.median);
  line("p4_overshoot_max_ms", figures.p4.max);
  line("request_rate_to_wire_limit", figures.requestRate);
  std::fflush(stdout);
}

}  // namespace

int main() {
  TimingBench bench;
  Print("idle", bench.Measure());
  BusyCores busy;
  Print("loaded", bench.Measure());
  return 0;
}
