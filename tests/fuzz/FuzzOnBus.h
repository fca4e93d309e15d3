// What the fuzz targets on the simulated K-line share: an ECU that answers with the chunks of the
// fuzz input, and a session that unplugs the interface once the ECU has nothing left to say, so
// that no wait of the tester outlasts the input. A worker that is never started carries the
// protocol; the fuzzer's thread runs its request loop as the worker thread would.
#pragma once

#include <stdlib.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/ActivityLog.h"
#include "engine/Iso9141Thread2.h"
#include "engine/Serialcomm2ftdi.h"
#include "engine/Threadlist.h"
#include "platform/Counter.h"
#include "platform/Event.h"
#include "sim/EcuModel.h"
#include "sim/SimulatedFtdi.h"

namespace fuzz {

using Chunk = std::vector<uint8_t>;

class NoLog : public TActivityLog {
 protected:
  void AppendLine(const std::string&) override {}
};

// The input after `from` as chunks: a length byte, then up to that many bytes.
inline std::deque<Chunk> SplitChunks(const uint8_t* data, size_t size, size_t from,
                                     size_t maxChunks) {
  std::deque<Chunk> chunks;
  size_t pos = from;
  while (pos < size && chunks.size() < maxChunks) {
    const size_t length = data[pos++];
    const size_t end = std::min(size, pos + length);
    chunks.emplace_back(data + pos, data + end);
    pos = end;
  }
  return chunks;
}

// Sends the chunks one after the other. Frames: a chunk goes out whole once the tester's bytes
// have stopped for a moment (its request is complete). Acknowledged blocks: every byte of a chunk
// waits for the tester's complement, and the tester's own block is acknowledged byte by byte but
// its end byte. A chunk also goes out when the tester has sent nothing since its port was set up
// (a receive-only step). In both, when the line stays quiet after a chunk (the tester waits on),
// the next chunk follows anyway; when none is left, `onSilent` is called once.
class ChunkEcu : public sim::EcuModel {
 public:
  enum class Framing { Frames, AcknowledgedBlocks };

  ChunkEcu(std::deque<Chunk> chunks, Framing framing, std::function<void()> onSilent)
      : chunks_(std::move(chunks)), framing_(framing), onSilent_(std::move(onSilent)) {}

  void OnLineEvent(const sim::LineEvent& event, sim::EcuLink& link) override {
    if (event.kind != sim::LineEventKind::TesterByte) {
      // The port has been set up: without a request, the first chunk comes on its own.
      if (due_ < 0 && !sending_ && !started_) Due(event.time + kQuiet, link);
      started_ = true;
      return;
    }
    started_ = true;
    const auto value = static_cast<uint8_t>(event.value);
    const int64_t end = event.End();
    if (framing_ == Framing::Frames) return Due(end + kRequestEnded, link);
    if (sending_) return SendNextByte(end, link);  // the complement of the byte before
    // A byte of the tester's block: its length first, the end byte unanswered.
    if (received_ == 0) blockLength_ = value;
    const bool endByte = received_ > 0 && received_ >= blockLength_;
    ++received_;
    if (endByte || blockLength_ < 2) {
      received_ = 0;
      return Due(end + kRequestEnded, link);
    }
    Due(link.SendByte(Complement(value), end) + kQuiet, link);
  }

  void OnTimer(int64_t now, sim::EcuLink& link) override {
    if (due_ < 0 || now < due_) return;
    due_ = -1;
    if (sending_) return SendNextByte(now, link);
    received_ = 0;
    if (chunks_.empty()) {
      if (onSilent_) std::exchange(onSilent_, nullptr)();
      return;
    }
    current_ = std::move(chunks_.front());
    chunks_.pop_front();
    position_ = 0;
    if (framing_ == Framing::Frames) return Due(link.SendBytes(current_, now, 0) + kQuiet, link);
    sending_ = true;
    SendNextByte(now, link);
  }

 private:
  static constexpr int64_t kRequestEnded = plat::MsToCounts(1);
  static constexpr int64_t kQuiet = plat::MsToCounts(5);

  void SendNextByte(int64_t from, sim::EcuLink& link) {
    if (position_ >= current_.size()) {
      sending_ = false;
      return Due(from + kQuiet, link);
    }
    Due(link.SendByte(current_[position_++], from) + kQuiet, link);
  }
  void Due(int64_t moment, sim::EcuLink& link) {
    due_ = moment;
    link.WakeAt(moment);
  }

  std::deque<Chunk> chunks_;
  Framing framing_;
  std::function<void()> onSilent_;
  Chunk current_;
  size_t position_ = 0;
  bool sending_ = false;
  int blockLength_ = 0;
  int received_ = 0;
  bool started_ = false;
  int64_t due_ = -1;
};

// The simulated interface for the fuzzer's whole run, a never-started worker of the program's
// kind on it, and its byte log in a folder of its own.
template <typename Worker>
class Session {
 public:
  static constexpr const char* kPortName = "0x00000F11";

  Session() : worker_(&log_, &requests_, &responses_, MakeLogDirectory()) {}

  Worker& GetWorker() { return worker_; }

  // Attaches a fresh ECU with the chunks, opens the port, runs `exchange` and closes the port
  // again. Once the exchange runs and the ECU has fallen silent, the interface is unplugged, which
  // ends any wait; the exchange meets that as the worker's loop does (a port error ends it).
  void Run(std::deque<Chunk> chunks, ChunkEcu::Framing framing,
           const std::function<void()>& exchange) {
    sim::SimulatedFtdi& ftdi = simulation_.Ftdi();
    plat::Event silent;
    plat::Event running;
    std::atomic<bool> over{false};
    std::thread unplugger([&] {
      silent.WaitFor(plat::kInfinite);
      running.WaitFor(plat::kInfinite);
      if (!over) ftdi.Unplug();
    });
    ftdi.SetModel(std::make_unique<ChunkEcu>(std::move(chunks), framing, [&] { silent.Set(); }));
    worker_.OpenPort(kPortName, false);
    running.Set();
    try {
      exchange();
    } catch (const ECommError&) {
    }
    over = true;
    silent.Set();
    unplugger.join();
    worker_.ClosePort();
    ftdi.Reset();  // a fresh bus for the next run, and the ECU and its callback gone
  }

 private:
  static std::string MakeLogDirectory() {
    std::string path = (std::filesystem::temp_directory_path() / "quobrix-fuzz-XXXXXX").string();
    if (!mkdtemp(path.data())) return {};
    return path + "/";
  }

  sim::ScopedSimulation simulation_;
  NoLog log_;
  TCommThreadList requests_;
  TCommThreadList responses_;
  Worker worker_;
};

}  // namespace fuzz
