// The worker's connection life: start, requests, keep-alive, stop, failures and termination, on
// the simulated interface with a scripted protocol.
#include "engine/Iso9141Thread2.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "WorkerTestSupport.h"
#include "engine/Serialcomm2ftdi.h"
#include "platform/MessageBox.h"

namespace {

using Lines = std::vector<std::string>;

const Lines kStartedLines{"Init started", "Init Ready", "Init OK, keybytes present"};
const Lines kFailedStartLines{"Init started", "Init Ready", "No KeyBytes; Init not OK"};
const Lines kEndLines{"Thread terminated, COM port closed", "Thread is empty, now delete it",
                      "Thread object freed"};

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::unique_ptr<TSequenceList> ServiceList(int serviceId) {
  return TSequenceList::CreateFromService(serviceId, std::make_unique<TSmallIntArray>());
}

double MsBetween(int64_t from, int64_t to) {
  return static_cast<double>(to - from) / 1e6;
}

class WorkerTest : public WorkerFixture {
 protected:
  bool Start() { return worker->StartCommunication(0x33, keyBytes); }
  TSmallIntArray keyBytes;
  plat::Event newData;
};

struct StartCase {
  const char* name;
  bool protocolResult;
  std::vector<int16_t> keyBytes;
  bool started;
  bool startErrorLogged;
};

class StartOutcome : public WorkerTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartOutcome, KeyByteCountAloneDecides) {
  const StartCase& c = GetParam();
  CreateWorker();
  protocol->onStart = [&c](TIso9141Thread& thread, TSequenceObject&) {
    for (int16_t value : c.keyBytes)
      thread.KeyBytes().Add(value);
    return c.protocolResult;
  };
  worker->SetNewDataEvent(&newData);

  EXPECT_EQ(Start(), c.started);
  EXPECT_EQ(protocol->starts, 1);
  if (c.started) {
    EXPECT_EQ(memo.Lines(), kStartedLines);
    EXPECT_EQ(keyBytes.Values(), c.keyBytes);
    // Only a start the protocol reported as good hands its object to the window.
    EXPECT_EQ(responses.Count(), c.protocolResult ? 1 : 0);
    EXPECT_EQ(newData.IsSet(), c.protocolResult);
  } else {
    EXPECT_EQ(keyBytes.Count(), 0);
    ASSERT_TRUE(WaitFreed());
    EXPECT_EQ(memo.Lines(), Concat(kFailedStartLines, kEndLines));
    EXPECT_EQ(responses.Count(), 0);
    EXPECT_EQ(finishedCalls, 1);
  }
  EXPECT_EQ(Contains(ByteLogText(), "StartTester: error "), c.startErrorLogged);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartOutcome,
    ::testing::Values(StartCase{"FailsWithTwoKeyBytes", false, {0x8F, 0xE9}, true, true},
                      StartCase{"SucceedsWithOneKeyByte", true, {0x8F}, false, false},
                      StartCase{
                          "SucceedsWithThreeKeyBytes", true, {0x8F, 0xE9, 0x01}, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkerTest, StartRefusedWhilePortClosedOrAlreadyRunning) {
  plat::ScopedMessageBoxHook quiet([](const std::string&) {});
  sim::Faults faults;
  faults.latencyStatus = plat::ftdi::kIoError;
  simulation.Ftdi().SetFaults(faults);
  CreateWorker();
  EXPECT_FALSE(Start());
  EXPECT_EQ(memo.Lines(), Lines{"COM port not opened"});
  EXPECT_FALSE(worker->Started());
  delete worker;
  worker = nullptr;

  // A start whose purge fails leaves nothing behind that blocks the next start.
  faults = sim::Faults{};
  faults.failPurge = true;
  simulation.Ftdi().SetFaults(faults);
  memo.Clear();
  CreateWorker();
  EXPECT_THROW(Start(), ECommError);
  simulation.Ftdi().SetFaults(sim::Faults{});
  ASSERT_TRUE(Start());
  EXPECT_FALSE(Start());
  EXPECT_EQ(memo.Lines(), Concat(kStartedLines, {"Communication already running / starting"}));
  EXPECT_EQ(protocol->starts, 1);
}

TEST_F(WorkerTest, WithoutAProtocolTheStartFailsAndTheWorkerEnds) {
  CreateWorker();
  worker->SetProtocol(nullptr, 0);
  EXPECT_FALSE(Start());
  ASSERT_TRUE(WaitFreed());
  EXPECT_EQ(memo.Lines(), Concat(kFailedStartLines, kEndLines));
}

struct KeepAliveCase {
  const char* name;
  int32_t minEcu2Tester;
  int32_t maxEcu2Tester;
  double periodMs;
};

class KeepAlive : public WorkerTest, public ::testing::WithParamInterface<KeepAliveCase> {};

TEST_P(KeepAlive, EveryIdlePeriodWhileNothingIsQueued) {
  const KeepAliveCase& c = GetParam();
  CreateWorker();
  worker->SetTimings(
      {{kMinEcu2TesterTime, c.minEcu2Tester}, {kMaxEcu2TesterTime, c.maxEcu2Tester}});
  ASSERT_TRUE(Start());
  const int64_t started = plat::QueryCounter();
  ServeFor(static_cast<uint32_t>(c.periodMs * 4.5));
  const std::vector<int64_t> idle = protocol->IdleTimes();
  ASSERT_GE(idle.size(), 3u);
  EXPECT_GE(MsBetween(started, idle[0]), c.periodMs - 5);
  for (size_t i = 1; i < idle.size(); ++i) {
    const double gap = MsBetween(idle[i - 1], idle[i]);
    EXPECT_GE(gap, c.periodMs) << i;
    EXPECT_LT(gap, c.periodMs + 80) << i;
  }
  // Each keep-alive ran at once and its result came back like any other.
  EXPECT_GE(protocol->sequences, static_cast<int>(idle.size()) - 1);
  DeleteResponses();
}

INSTANTIATE_TEST_SUITE_P(Cases, KeepAlive,
                         ::testing::Values(KeepAliveCase{"Kwp2000Defaults", 55, 5000, 400},
                                           KeepAliveCase{"ShortMaximum", 25, 120, 75}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IdlePeriod, FollowsTheEcuTiming) {
  struct Case {
    int32_t min, max, expected;
  } cases[] = {{25, 500, 400}, {25, 120, 75}, {25, 501, 400}, {55, 5000, 400},
               {2, 400, 300},  {25, 125, 75}, {25, 126, 26},  {-200, -100, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(TIso9141Thread::IdlePeriodFor(c.min, c.max), c.expected) << c.min << "/" << c.max;
}

TEST_F(WorkerTest, NoKeepAliveWhileRequestsKeepTheQueueBusy) {
  CreateWorker();
  ASSERT_TRUE(Start());
  for (int i = 0; i < 12; ++i) {
    ASSERT_TRUE(worker->ExecuteSequence(ServiceList(0x21)));
    ServeFor(100);
  }
  EXPECT_TRUE(protocol->IdleTimes().empty());
  EXPECT_EQ(protocol->sequences, 12);
  EXPECT_EQ(responses.Count(), 13);
}

TEST_F(WorkerTest, KeepAliveThatQueuesNothingEndsTheWorker) {
  CreateWorker();
  protocol->onIdle = [](TIso9141Thread&) {};
  worker->SetTimings({{kMaxEcu2TesterTime, 120}});
  ASSERT_TRUE(Start());
  DeleteResponses();
  ASSERT_TRUE(WaitFreed(2000));
  EXPECT_EQ(protocol->IdleTimes().size(), 1u);
  EXPECT_EQ(finishedCalls, 1);
  EXPECT_EQ(memo.Lines(), Concat(kStartedLines, kEndLines));
}

TEST_F(WorkerTest, FailingRequestEndsTheConnection) {
  CreateWorker();
  protocol->onSequence = [](TIso9141Thread& thread, TSequenceObject& object) {
    return object.RequestServiceId(0) != 0x22 && TFakeProtocol::AnswerEachRequest(thread, object);
  };
  ASSERT_TRUE(Start());
  for (int service : {0x21, 0x22, 0x23})
    ASSERT_TRUE(worker->ExecuteSequence(ServiceList(service)));
  ASSERT_TRUE(WaitFreed(6000));

  EXPECT_EQ(protocol->sequences, 2);  // the request behind the failed one never ran
  EXPECT_EQ(finishedCalls, 1);
  EXPECT_FALSE(portOpenWhenFinished);
  EXPECT_EQ(ByteLogLines().back(), "SeqTester: error T COM port closed");
  // The start and the first result were delivered; nobody drained them, so the handler waited.
  ASSERT_EQ(responses.Count(), 2);
  DeleteResponses();
  EXPECT_EQ(memo.CountOf("Waiting until Thread is empty"), 10);
  EXPECT_EQ(memo.CountOf("Thread not empty yet, NOT expected"), 1);
  while (TSequenceObject* object = requests.PopFirst()) {
    EXPECT_EQ(object->RequestServiceId(0), 0x23);
    delete object;
  }
}

// The owner takes the results left at the end at once, so the end does not wait for them.
TEST_F(WorkerTest, ResultsLeftAtTheEndGoToTheOwnerBeforeTheWait) {
  CreateWorker();
  int taken = 0;
  worker->SetOnResultsLeft([&](TIso9141Thread*) {
    ++taken;
    DeleteResponses();
  });
  protocol->onSequence = [](TIso9141Thread& thread, TSequenceObject& object) {
    return object.RequestServiceId(0) != 0x22 && TFakeProtocol::AnswerEachRequest(thread, object);
  };
  ASSERT_TRUE(Start());
  for (int service : {0x21, 0x22})
    ASSERT_TRUE(worker->ExecuteSequence(ServiceList(service)));
  ASSERT_TRUE(WaitFreed(3000));
  EXPECT_EQ(taken, 1);
  EXPECT_EQ(memo.CountOf("Waiting until Thread is empty"), 0);
  EXPECT_EQ(memo.CountOf("Thread is empty, now delete it"), 1);
}

// Stop pressed after the worker ended by itself, before its end is handled, returns at once.
TEST_F(WorkerTest, StopAfterTheWorkerEndedByItselfDoesNotWait) {
  CreateWorker();
  protocol->onSequence = [](TIso9141Thread&, TSequenceObject&) { return false; };
  ASSERT_TRUE(Start());
  ASSERT_TRUE(worker->ExecuteSequence(ServiceList(0x21)));
  for (int i = 0; i < 2000 && !worker->Finished(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(worker->Finished());

  const int64_t before = plat::QueryCounter();
  EXPECT_TRUE(worker->StopCommunication());
  EXPECT_LT(MsBetween(before, plat::QueryCounter()), 1000);
  DeleteResponses();
  ASSERT_TRUE(WaitFreed());
}

TEST_F(WorkerTest, StopWaitsForARunningRequestAndEndsTheWorker) {
  CreateWorker();
  std::atomic<bool> inside{false};
  protocol->onSequence = [&inside](TIso9141Thread& thread, TSequenceObject& object) {
    inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return TFakeProtocol::AnswerEachRequest(thread, object);
  };
  ASSERT_TRUE(Start());
  ASSERT_TRUE(worker->ExecuteSequence(ServiceList(0x21)));
  ASSERT_TRUE(Serve([&] { return inside.load(); }));

  const int64_t before = plat::QueryCounter();
  EXPECT_TRUE(worker->StopCommunication());
  EXPECT_LT(MsBetween(before, plat::QueryCounter()), 2000);
  EXPECT_EQ(protocol->stops, 1);
  EXPECT_EQ(memo.Lines().back(), "Stop thread finished");
  // Start, the long request's result and the stop all reached the window.
  EXPECT_EQ(responses.Count(), 3);
  // A second stop before the worker has ended finds nothing running.
  EXPECT_FALSE(worker->StopCommunication());
  EXPECT_EQ(memo.Lines().back(), "Communication not running");
  EXPECT_FALSE(worker->ExecuteSequence(ServiceList(0x21)));
  DeleteResponses();
  ASSERT_TRUE(WaitFreed());
  EXPECT_EQ(protocol->stops, 1);
  EXPECT_EQ(finishedCalls, 1);
}

struct PumpCase {
  const char* name;
  bool messagesArrive;
  bool started;
};

class PumpedStartWait : public WorkerTest, public ::testing::WithParamInterface<PumpCase> {};

TEST_P(PumpedStartWait, LastsLongerWhileMessagesArrive) {
  const PumpCase& c = GetParam();
  CreateWorker();
  protocol->onStart = [](TIso9141Thread& thread, TSequenceObject& object) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5300));
    return TFakeProtocol::KeyBytesAndSucceed(thread, object);
  };
  // A slow memo holds the main thread after its wait: the start then ends before the worker is
  // told to end.
  memo.slowLine = "Init Ready";
  memo.slowMs = 1000;
  std::atomic<bool> returned{false};
  std::thread poster([&] {
    while (c.messagesArrive && !returned) {
      dispatcher.Post([] {});
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
  });
  const bool started = Start();
  returned = true;
  poster.join();
  EXPECT_EQ(started, c.started);
  if (!c.started) {
    // Given up on: the late start is neither read nor handed to the window.
    EXPECT_EQ(keyBytes.Count(), 0);
    ASSERT_TRUE(WaitFreed());
    EXPECT_EQ(responses.Count(), 0);
    EXPECT_EQ(memo.CountOf("Thread not empty yet, NOT expected"), 0);
    EXPECT_FALSE(Contains(ByteLogText(), "StartTester: error "));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PumpedStartWait,
                         ::testing::Values(PumpCase{"MessagesKeepArriving", true, true},
                                           PumpCase{"Silence", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkerTest, TerminationDuringStartIsHandledAfterItReturns) {
  CreateWorker();
  // An unknown kind ends the worker before the start request is queued; its termination
  // arrives while the start still waits.
  requests.Push(new TSequenceObject(99));
  EXPECT_FALSE(Start());
  // The object was freed when the start returned, not while it was running.
  EXPECT_TRUE(Freed());
  EXPECT_EQ(memo.Lines(), Concat(kFailedStartLines, kEndLines));
  EXPECT_EQ(requests.Count(), 0);
  EXPECT_EQ(protocol->starts, 0);
}

TEST_F(WorkerTest, AnExceptionOfAnyTypeEndsTheWorkerWithoutHoldingTheStart) {
  CreateWorker();
  protocol->onStart = [](TIso9141Thread&, TSequenceObject&) -> bool { throw 42; };
  const int64_t before = plat::QueryCounter();
  EXPECT_FALSE(Start());
  EXPECT_LT(MsBetween(before, plat::QueryCounter()), 1000);
  ASSERT_TRUE(WaitFreed());
  EXPECT_TRUE(Contains(ByteLogText(), " Error of unknown type\n"));
}

TEST_F(WorkerTest, DeletingARunningWorkerEndsItsTransferAndReturns) {
  CreateWorker();
  std::atomic<bool> inside{false};
  protocol->onSequence = [&inside](TIso9141Thread& thread, TSequenceObject&) {
    inside = true;
    uint8_t byte = 0;
    return thread.ReceiveByte(byte, 10000, nullptr);  // nothing answers
  };
  ASSERT_TRUE(Start());
  ASSERT_TRUE(worker->ExecuteSequence(ServiceList(0x21)));
  ASSERT_TRUE(Serve([&] { return inside.load(); }));
  const int64_t before = plat::QueryCounter();
  delete worker;
  worker = nullptr;
  EXPECT_LT(MsBetween(before, plat::QueryCounter()), 1000);
  EXPECT_EQ(memo.Lines().back(), "Thread object freed");
  EXPECT_FALSE(simulation.Ftdi().State().open);
  DeleteResponses();
}

TEST_F(WorkerTest, PortErrorInTheWorkerEndsTheConnection) {
  std::vector<std::string> shown;
  dispatcher.SetErrorDisplay([&shown](const std::string& text) { shown.push_back(text); });
  CreateWorker();
  protocol->onSequence = [](TIso9141Thread& thread, TSequenceObject&) {
    return thread.FiveBaudInit(0x33);
  };
  ASSERT_TRUE(Start());
  sim::Faults faults;
  faults.failEscape = true;
  simulation.Ftdi().SetFaults(faults);
  ASSERT_TRUE(worker->ExecuteSequence(ServiceList(0x21)));
  DeleteResponses();
  ASSERT_TRUE(WaitFreed());
  EXPECT_TRUE(std::regex_search(ByteLogText(), std::regex("\n-?[0-9]+ ECommError 19 ")))
      << ByteLogText();
  EXPECT_EQ(finishedCalls, 1);
  EXPECT_TRUE(shown.empty());
}

TEST_F(WorkerTest, ReceiveTimeoutReachesTheLogWhileTheMainThreadIsBlocked) {
  CreateWorker();
  std::atomic<bool> received{true};
  protocol->onSequence = [&received](TIso9141Thread& thread, TSequenceObject& object) {
    if (object.RequestServiceId(0) == 0x21) {
      uint8_t buffer[4];
      int count = 0;
      received = thread.Receive(buffer, 4, count, 100, nullptr);
    }
    return TFakeProtocol::AnswerEachRequest(thread, object);
  };
  ASSERT_TRUE(Start());
  ASSERT_TRUE(worker->ExecuteSequence(ServiceList(0x21)));
  // Not serving the main thread: the worker must finish the reception without it.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(responses.Count(), 2);
  EXPECT_FALSE(received);
  EXPECT_TRUE(Contains(ByteLogText(), " Error Wait_timeout rcv\n"));
  EXPECT_EQ(memo.CountOf("error rcv wait timeout"), 0);
  dispatcher.ProcessPending();
  EXPECT_EQ(memo.CountOf("error rcv wait timeout"), 1);
}

struct ProgramCase {
  const char* name;
  TTesterProgram program;
  bool byteLogOpenWhenFinished;
};

class ProgramVariant : public WorkerTest, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(ProgramVariant, WholeByteLogAndWhenItCloses) {
  CreateWorker(GetParam().program);
  protocol->onStart = [](TIso9141Thread&, TSequenceObject&) { return false; };
  EXPECT_FALSE(Start());
  ASSERT_TRUE(WaitFreed());
  EXPECT_EQ(byteLogOpenWhenFinished, GetParam().byteLogOpenWhenFinished);
  EXPECT_FALSE(portOpenWhenFinished);
  const Lines lines = ByteLogLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(lines[0].starts_with("Log file Iso9141Thread  "));
  EXPECT_EQ(Lines(lines.begin() + 1, lines.end()),
            (Lines{"T COM port: 0x00000F11 set", "T COM port: 0x00000F11 opened",
                   "T COM port: 0x00000F11 timeouts set",
                   "T COM port: 0x00000F11 RTS and DTR set/cleared",
                   "StartTester: error T COM port closed"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgramVariant,
                         ::testing::Values(ProgramCase{"Kwp2000Prof", TTesterProgram::Kwp2000Prof,
                                                       false},
                                           ProgramCase{"Kwp71", TTesterProgram::Kwp71, true}),
                         [](const auto& info) { return std::string(info.param.name); });

template <typename Worker>
concept OffersTesterAddress = requires(Worker& worker) {
  worker.SetAddresses(0, 0);
  worker.GetSourceAddress();
};

template <typename Worker>
concept OffersFastInitialisation = requires(Worker& worker, const uint8_t* bytes) {
  worker.FastInit25ms();
  worker.FastInitAndSend(0.0f, 0.0f, bytes, 0);
};

TEST(WorkerVariants, OnlyTheKwp2000WorkerHasATesterAddressAndFastInitialisation) {
  EXPECT_TRUE(OffersTesterAddress<TKwp2000Thread>);
  EXPECT_TRUE(OffersFastInitialisation<TKwp2000Thread>);
  EXPECT_FALSE(OffersTesterAddress<TIso9141Thread>);
  EXPECT_FALSE(OffersFastInitialisation<TIso9141Thread>);
}

}  // namespace
