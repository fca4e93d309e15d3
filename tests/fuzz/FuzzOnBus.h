// What the fuzz targets on the simulated K-line share: an ECU that answers with the chunks of the
// fuzz input, and a session that unplugs the interface once the ECU has nothing left to say, so
// that no wait of the tester outlasts the input. A worker that is never started carries the
// protocol; the fuzzer's thread runs its request loop as the worker thread would.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FuzzTempFolder.h"
#include "engine/ActivityLog.h"
#include "engine/Iso9141Thread2.h"
#include "engine/Sequence.h"
#include "engine/Serialcomm2ftdi.h"
#include "engine/Threadlist.h"
#include "platform/Counter.h"
#include "platform/Event.h"
#include "platform/SmallIntArray.h"
#include "sim/EcuModel.h"
#include "sim/SimulatedFtdi.h"

namespace fuzz {

// Bytes the ECU sends as one answer; an unasked one does not wait for a request.
struct Chunk {
  bool unasked = false;
  std::vector<uint8_t> bytes;
};

class NoLog : public TActivityLog {
 protected:
  void AppendLine(const std::string&) override {}
};

// The input after `from` as chunks: a byte with the unasked flag (0x80) and the length (up to
// 127), then up to that many bytes.
inline std::deque<Chunk> SplitChunks(const uint8_t* data, size_t size, size_t from,
                                     size_t maxChunks) {
  std::deque<Chunk> chunks;
  size_t pos = from;
  while (pos < size && chunks.size() < maxChunks) {
    const bool unasked = data[pos] & 0x80;
    const size_t end = std::min(size, pos + 1 + (data[pos] & 0x7F));
    chunks.push_back({unasked, std::vector<uint8_t>(data + pos + 1, data + end)});
    pos = end;
  }
  return chunks;
}

// Sends the chunks one after the other, each when the tester's request is complete or, for an
// unasked one (the rest of a pending answer, the blocks after a start), once the line has been
// quiet for a moment. Frames: a chunk goes out whole; the tester's request is complete when its
// bytes have stopped. Acknowledged blocks: every byte of a chunk waits for the tester's
// complement (or the quiet moment), and the tester's own block is acknowledged byte by byte but
// its end byte. When the line is quiet and no chunk is left, or no request comes for the next,
// `onSilent` is called once.
class ChunkEcu : public sim::EcuModel {
 public:
  enum class Framing { Frames, AcknowledgedBlocks };

  // How long the ECU waits for a request after a chunk before it falls silent: longer than the
  // pause the tester makes after that answer before it sends again.
  using Patience = std::function<int(const std::vector<uint8_t>& answer)>;

  ChunkEcu(std::deque<Chunk> chunks, Framing framing, Patience patienceMs,
           std::function<void()> onSilent)
      : chunks_(std::move(chunks)),
        framing_(framing),
        patienceMs_(std::move(patienceMs)),
        onSilent_(std::move(onSilent)) {}

  void OnLineEvent(const sim::LineEvent& event, sim::EcuLink& link) override {
    if (event.kind != sim::LineEventKind::TesterByte) {
      // Setting the port up: the line is quiet from here.
      if (!sending_) Due(event.time + kQuiet, link);
      return;
    }
    const auto value = static_cast<uint8_t>(event.value);
    const int64_t end = event.End();
    if (framing_ == Framing::Frames) return RequestEndsAt(end + kRequestEnded, link);
    if (sending_) return SendNextByte(end, link);  // the complement of the byte before
    // A byte of the tester's block: its length first, the end byte unanswered.
    if (received_ == 0) blockLength_ = value;
    const bool endByte = received_ > 0 && received_ >= blockLength_;
    ++received_;
    if (endByte || blockLength_ < 2) return RequestEndsAt(end + kRequestEnded, link);
    Due(link.SendByte(Complement(value), end) + kQuiet, link);
  }

  void OnTimer(int64_t now, sim::EcuLink& link) override {
    if (due_ < 0 || now < due_) return;
    due_ = -1;
    if (sending_) return SendNextByte(now, link);
    received_ = 0;
    const bool requested = std::exchange(requested_, false);
    const bool waited = std::exchange(waiting_, false);
    if (chunks_.empty() || (waited && !requested)) {
      if (onSilent_) std::exchange(onSilent_, nullptr)();
      return;
    }
    if (!requested && !chunks_.front().unasked) {
      waiting_ = true;
      return Due(now + plat::MsToCounts(patienceMs_(current_)), link);
    }
    current_ = std::move(chunks_.front().bytes);
    chunks_.pop_front();
    position_ = 0;
    if (framing_ == Framing::Frames) return Due(link.SendBytes(current_, now, 0) + kQuiet, link);
    sending_ = true;
    SendNextByte(now, link);
  }

 private:
  static constexpr int64_t kRequestEnded = plat::MsToCounts(1);
  static constexpr int64_t kQuiet = plat::MsToCounts(5);

  void RequestEndsAt(int64_t moment, sim::EcuLink& link) {
    received_ = 0;
    requested_ = true;
    Due(moment, link);
  }
  // The chunk's last byte is its end byte: no complement is awaited, the tester's next byte
  // begins its block.
  void SendNextByte(int64_t from, sim::EcuLink& link) {
    if (position_ < current_.size()) from = link.SendByte(current_[position_++], from);
    sending_ = position_ < current_.size();
    Due(from + kQuiet, link);
  }
  void Due(int64_t moment, sim::EcuLink& link) {
    due_ = moment;
    link.WakeAt(moment);
  }

  std::deque<Chunk> chunks_;
  Framing framing_;
  Patience patienceMs_;
  std::function<void()> onSilent_;
  std::vector<uint8_t> current_;
  size_t position_ = 0;
  bool sending_ = false;
  bool requested_ = false;
  bool waiting_ = false;  // for a request, with the next chunk due only on one
  int blockLength_ = 0;
  int received_ = 0;
  int64_t due_ = -1;
};

// One request step an input can choose: its service id or block title and its parameters; an
// id below 0 makes a receive-only step.
struct RequestStep {
  int id;
  std::vector<int16_t> params;
};

// One to three of the four steps, as `choice` picks them: its low two bits the count, then two
// bits for each step.
inline std::unique_ptr<TSequenceObject> ChooseSteps(uint8_t choice, const RequestStep (&steps)[4]) {
  auto object = std::make_unique<TSequenceObject>(skExecuteSequence);
  const int count = 1 + (choice & 3) % 3;
  for (int i = 0; i < count; ++i) {
    const RequestStep& step = steps[(choice >> (2 + 2 * i)) & 3];
    if (step.id < 0) {
      object->AddRequest(nullptr);
      continue;
    }
    auto params = std::make_unique<TSmallIntArray>();
    for (int16_t value : step.params)
      params->Add(value);
    object->AddRequest(std::make_unique<TSequence>(step.id, std::move(params)));
  }
  return object;
}

// The simulated interface for the fuzzer's whole run, a never-started worker of the program's
// kind on it with the program's protocol, and the worker's byte log in a folder of its own.
template <typename Worker, typename Protocol>
class Session {
 public:
  static constexpr const char* kPortName = "0x00000F11";
  // Bytes take 10 us on the line, so an exchange costs little more than the tester's waits.
  static constexpr int32_t kFastBaudRate = 1'000'000;

  Session() : worker_(&log_, &requests_, &responses_, logFolder_.Path()) {}

  Worker& GetWorker() { return worker_; }
  Protocol& GetProtocol() { return protocol_; }

  // Attaches a fresh ECU with the chunks, opens the port, runs the request steps of `object` and
  // closes the port again. Once the steps run and the ECU has fallen silent, the interface is
  // unplugged, which ends any wait; the steps meet that as the worker's loop does (a port error
  // ends them).
  void Run(std::deque<Chunk> chunks, ChunkEcu::Framing framing, ChunkEcu::Patience patienceMs,
           TSequenceObject& object) {
    sim::SimulatedFtdi& ftdi = simulation_.Ftdi();
    plat::Event silent;
    plat::Event running;
    std::atomic<bool> over{false};
    std::thread unplugger([&] {
      silent.WaitFor(plat::kInfinite);
      running.WaitFor(plat::kInfinite);
      if (!over) ftdi.Unplug();
    });
    ftdi.SetModel(std::make_unique<ChunkEcu>(std::move(chunks), framing, std::move(patienceMs),
                                             [&] { silent.Set(); }));
    worker_.OpenPort(kPortName, false);
    running.Set();
    try {
      worker_.SetBaudRate(kFastBaudRate);
      protocol_.SeqTester(&object);
    } catch (const ECommError&) {
    }
    over = true;
    silent.Set();
    unplugger.join();
    worker_.ClosePort();
    ftdi.Reset();  // a fresh bus for the next run, and the ECU and its callback gone
  }

 private:
  TempFolder logFolder_;
  sim::ScopedSimulation simulation_;
  NoLog log_;
  TCommThreadList requests_;
  TCommThreadList responses_;
  Worker worker_;
  Protocol protocol_{&worker_, &log_};
};

}  // namespace fuzz
