// Timing of the KWP71 and KWP81 block protocols against the simulated KW71/KW81 ECU at its usual
// baud rates, read from the bus trace: the acknowledge round trip (the keep-alive's acknowledge
// block and the ECU's acknowledge) and the bytes per second of a chain of 24 identification
// blocks, each also as a ratio to the wire limit. The wire limit is the wire time of every byte
// (in KWP71 each complement too) plus the pauses the protocol asks for: the ECU's own (before an
// answer, before each byte that follows a complement, between the bytes of a KWP81 block) and the
// tester's least gaps before and inside a KWP81 request. One set of figures on an idle machine,
// one with every core kept busy; each figure is printed as a line "name value".
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ScratchDirectory.h"
#include "kw71/Kwp71Protocol2.h"
#include "sim/Kw71Ecu.h"

namespace {

using bench::BusyCores;
using bench::Ms;
using bench::QuietLog;
using sim::LineEvent;
using sim::LineEventKind;

constexpr uint8_t kEcuAddress = 0x10;
constexpr int kChainBlocks = 24;
constexpr int kIdentificationBytes = 8;
constexpr uint32_t kKeepAliveMs = 1600;
constexpr int kBaudRates[] = {1200, 4800, 9600};

struct Framing {
  const char* name;
  uint8_t subType;
};
constexpr Framing kFramings[] = {{"kwp71", TKwp71Protocol::kSubTypeKwp71},
                                 {"kwp81", TKwp71Protocol::kSubTypeKwp81}};

// One byte on the wire with the least pause the protocol allows before it.
struct WireByte {
  LineEvent event;
  double leastGapMs = 0;
};

struct Block {
  bool fromEcu = false;
  size_t first = 0;  // index of its first byte in the wire bytes
  size_t last = 0;   // index of its last byte or of the complement of that byte
};

struct Figures {
  double ackRoundTripMs = 0;
  double ackRatio = 0;
  double chainBytesPerSecond = 0;
  double chainRatio = 0;
};

class TimingBench {
 public:
  Figures Measure(const Framing& framing, int baudRate) {
    sim::Kw71EcuConfig ecu;
    ecu.kwp81 = framing.subType == TKwp71Protocol::kSubTypeKwp81;
    ecu.baudRate = baudRate;
    ecu.identification.clear();
    for (int i = 0; i < kChainBlocks; ++i)
      ecu.identification.emplace_back(kIdentificationBytes, static_cast<uint8_t>('A' + i));
    ecu_ = ecu;
    simulation_.Bus().SetModel(std::make_unique<sim::Kw71Ecu>(ecu));
    bench::RaiseLinePriority(simulation_.Bus());
    simulation_.Bus().ClearTrace();
    {
      bench::Connection connection(dispatcher_, memo_, logDirectory_, TTesterProgram::Kwp71,
                                   kEcuAddress, [&](TIso9141Thread& worker) {
                                     auto protocol =
                                         std::make_unique<TKwp71Protocol>(&worker, &memo_);
                                     worker.SetProtocol(protocol.get(), 1);
                                     protocol->SetSubType(framing.subType);
                                     worker.SetBaudRate(baudRate);
                                     return protocol;
                                   });
      if (!connection.Started() || !connection.AwaitResult()) return {NAN, NAN, NAN, NAN};
      connection.Idle(kKeepAliveMs);
    }
    return Analyse(ecu.kwp81);
  }

 private:
  // The bytes after the complement of key byte 2, split into blocks, each byte with its least
  // gap; the stop block at the end is left out.
  void Walk(bool kwp81) {
    simulation_.Bus().Drain();
    wire_.clear();
    blocks_.clear();
    std::vector<LineEvent> bytes;
    for (const LineEvent& event : simulation_.Bus().Trace()) {
      if (event.kind == LineEventKind::TesterByte || event.kind == LineEventKind::EcuByte)
        bytes.push_back(event);
    }
    size_t at = 4;  // sync, two key bytes, the complement
    while (at < bytes.size()) {
      Block block{bytes[at].kind == LineEventKind::EcuByte, wire_.size(), 0};
      const size_t count = static_cast<size_t>(bytes[at].value) + 1;
      if (at + (kwp81 ? count : 2 * count - 1) > bytes.size()) break;
      for (size_t k = 0; k < count; ++k) {
        wire_.push_back({bytes[at++], LeastGapBefore(block.fromEcu, k, kwp81)});
        if (kwp81 || k + 1 == count) continue;
        wire_.push_back({bytes[at++], block.fromEcu ? 0.0 : ecu_.byteDelayMs});
      }
      block.last = wire_.size() - 1;
      blocks_.push_back(block);
    }
  }

  double LeastGapBefore(bool fromEcu, size_t index, bool kwp81) const {
    if (fromEcu) {
      if (index == 0) return ecu_.answerDelayMs;
      return kwp81 ? ecu_.interByteMs : ecu_.byteDelayMs;
    }
    return kwp81 ? 2.0 : 0.0;  // the least ECU-to-tester and inter-byte times of the tester
  }

  // Actual time and wire limit of the bytes from `first` to `last`.
  std::pair<double, double> Span(size_t first, size_t last) const {
    double limitMs = 0;
    for (size_t i = first; i <= last; ++i) {
      limitMs += Ms(wire_[i].event.duration);
      if (i > first) limitMs += wire_[i].leastGapMs;
    }
    return {Ms(wire_[last].event.End() - wire_[first].event.time), limitMs};
  }

  Figures Analyse(bool kwp81) {
    Walk(kwp81);
    Figures figures{NAN, NAN, NAN, NAN};
    // The chain: identification blocks and acknowledges up to the ECU's closing acknowledge.
    const size_t chainEnd = 2 * kChainBlocks;
    if (blocks_.size() < chainEnd + 3) return figures;
    const auto [chainMs, chainLimitMs] = Span(blocks_[0].first, blocks_[chainEnd].last);
    const size_t chainBytes = blocks_[chainEnd].last - blocks_[0].first + 1;
    figures.chainBytesPerSecond = static_cast<double>(chainBytes) * 1000.0 / chainMs;
    figures.chainRatio = chainLimitMs / chainMs;
    // Keep-alives: the tester's acknowledge block and the ECU's answer.
    std::vector<double> roundTrips;
    std::vector<double> ratios;
    for (size_t i = chainEnd + 1; i + 1 < blocks_.size(); i += 2) {
      if (blocks_[i].fromEcu || !blocks_[i + 1].fromEcu) break;
      const auto [ms, limitMs] = Span(blocks_[i].first, blocks_[i + 1].last);
      roundTrips.push_back(ms);
      ratios.push_back(limitMs / ms);
    }
    figures.ackRoundTripMs = bench::SpreadOf(roundTrips).median;
    figures.ackRatio = bench::SpreadOf(ratios).median;
    return figures;
  }

  plat::LoopDispatcher dispatcher_;
  plat::ScopedMainDispatcher scope_{dispatcher_};
  sim::ScopedSimulation simulation_;
  QuietLog memo_;
  bench::ScratchDirectory scratch_{"kw71-timing"};
  std::string logDirectory_ = scratch_.Directory();
  sim::Kw71EcuConfig ecu_;
  std::vector<WireByte> wire_;
  std::vector<Block> blocks_;
};

void MeasureAll(TimingBench& bench, const char* set) {
  for (const Framing& framing : kFramings) {
    for (int baudRate : kBaudRates) {
      const Figures figures = bench.Measure(framing, baudRate);
      const auto line = [&](const char* name, double value) {
        std::printf("%s.%s.%d.%s %.3f\n", set, framing.name, baudRate, name, value);
      };
      line("ack_round_trip_ms", figures.ackRoundTripMs);
      line("ack_round_trip_to_wire_limit", figures.ackRatio);
      line("chain_bytes_per_s", figures.chainBytesPerSecond);
      line("chain_to_wire_limit", figures.chainRatio);
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main() {
  TimingBench bench;
  MeasureAll(bench, "idle");
  BusyCores busy;
  MeasureAll(bench, "loaded");
  return 0;
}
