// The KWP2000 protocol run by the worker against the simulated KWP2000 ECU on a K-line bus: a
// fixture that connects as the window does, runs units of work and reads the bus trace.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "WorkerTestSupport.h"
#include "engine/Kwp2000Protocol2.h"
#include "sim/Kwp2000Ecu.h"
#include "tests/support/RequestSteps.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::LineEvent;
using sim::LineEventKind;

// The window's display thread hands a call to the main thread every 200 ms; each one restarts the
// time-outs of the start operation's pumped waits, which the slower wake-ups need.
class DisplayTicks {
 public:
  explicit DisplayTicks(plat::Dispatcher& dispatcher)
      : thread_([&dispatcher](std::stop_token stop) {
          while (!stop.stop_requested()) {
            dispatcher.Post([] {});
            plat::SleepMs(200);
          }
        }) {}

 private:
  std::jthread thread_;
};

class Kwp2000OnBus : public WorkerFixture {
 protected:
  // Sets up the connection as the window does, with the ECU model on the bus, and starts it.
  bool Connect(uint8_t initType, const sim::Kwp2000EcuConfig& ecu = {},
               const std::function<void(TKwp2000Protocol&)>& configure = {}) {
    return ConnectTo(std::make_unique<sim::Kwp2000Ecu>(ecu), initType, configure);
  }
  // With an ECU that replays `script`.
  bool ConnectToScript(const std::string& script) {
    const std::string path = logDirectory + "session.txt";
    std::ofstream(path) << script;
    return ConnectTo(sim::Kwp2000Ecu::FromScript({}, path), 1, {});
  }
  bool ConnectTo(std::unique_ptr<sim::EcuModel> model, uint8_t initType,
                 const std::function<void(TKwp2000Protocol&)>& configure) {
    Bus().SetModel(std::move(model));
    auto* kwp2000Worker = new TKwp2000Thread(&memo, &requests, &responses, logDirectory);
    worker = kwp2000Worker;
    logFileName = worker->LogFileName();
    worker->OpenPort(portName, false);
    kwp = std::make_unique<TKwp2000Protocol>(kwp2000Worker, &memo);
    kwp->SetInitType(initType);
    if (configure) configure(*kwp);
    worker->SetProtocol(kwp.get(), 2);
    worker->SetOnThreadFinished([this](TIso9141Thread*) {
      ++finishedCalls;
      finishedAt = plat::QueryCounter();
    });
    kwp2000Worker->SetAddresses(0x10, 0xF1);
    keyBytes.Clear();
    DisplayTicks ticks(dispatcher);
    const bool started = worker->StartCommunication(0x10, keyBytes);
    startObject.reset(responses.PopFirst());
    return started;
  }

  // Runs the steps as one unit of work and returns its result (null when the worker ended).
  std::unique_ptr<TSequenceObject> Run(std::unique_ptr<TSequenceList> list,
                                       uint32_t timeoutMs = 5000) {
    const int firstService = list->Items(0)->FServiceId;
    EXPECT_TRUE(worker->ExecuteSequence(std::move(list)));
    std::unique_ptr<TSequenceObject> result;
    Serve(
        [&] {
          while (!result && responses.Count() > 0) {
            std::unique_ptr<TSequenceObject> object(responses.PopFirst());
            if (object->RequestServiceId(0) == firstService) result = std::move(object);
          }
          return result != nullptr || Freed();
        },
        timeoutMs);
    return result;
  }

  // P2max 50 ms keeps the waits for missing answers short: 300 ms for each first byte.
  static void ShortAnswerWait(TKwp2000Protocol& protocol) {
    protocol.SetTimingParameters(50, 2, 110, 20, 10);
  }

  void WithEcu(const std::function<void(sim::Kwp2000Ecu&)>& call) {
    ASSERT_TRUE(sim::WithKwp2000Ecu(Bus(), call));
  }

  std::vector<LineEvent> Events(LineEventKind kind) {
    Bus().Drain();
    std::vector<LineEvent> events;
    for (const LineEvent& event : Bus().Trace()) {
      if (event.kind == kind) events.push_back(event);
    }
    return events;
  }
  // Starts of every occurrence of `frame` among the tester's bytes, each with its last byte.
  std::vector<std::pair<LineEvent, LineEvent>> Sent(const Bytes& frame) {
    const std::vector<LineEvent> bytes = Events(LineEventKind::TesterByte);
    std::vector<std::pair<LineEvent, LineEvent>> found;
    for (size_t i = 0; i + frame.size() <= bytes.size(); ++i) {
      bool same = true;
      for (size_t k = 0; k < frame.size() && same; ++k)
        same = bytes[i + k].value == frame[k];
      if (same) found.emplace_back(bytes[i], bytes[i + frame.size() - 1]);
    }
    return found;
  }
  // The ECU's last byte before `moment`.
  LineEvent LastEcuByteBefore(int64_t moment) {
    LineEvent last;
    for (const LineEvent& event : Events(LineEventKind::EcuByte)) {
      if (event.time < moment) last = event;
    }
    return last;
  }

  // The K-line the ECU model is on.
  sim::KLineBus& Bus() { return *line; }

  sim::KLineBus* line = &simulation.Bus();
  std::string portName = kPortName;
  std::unique_ptr<TKwp2000Protocol> kwp;
  int64_t finishedAt = 0;  // when the port had been closed and the connection had ended
  TSmallIntArray keyBytes;
  std::unique_ptr<TSequenceObject> startObject;
};

}  // namespace
