// Answer blocks of any length, content and number, through the simulated interface: the KWP71 or
// KWP81 request loop sends its steps and receives the ECU's blocks, KWP71 ones byte by byte with
// their complements, and follows chained answers with acknowledge blocks until the input is used
// up.
//
// Input: a byte that picks the framing, one that picks up to three request steps, then the
// ECU's chunks (see SplitChunks).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "FuzzOnBus.h"
#include "engine/Sequence.h"
#include "kw71/Kwp71Protocol2.h"

namespace {

constexpr size_t kMaxChunks = 24;
constexpr int32_t kFastBaudRate = 1'000'000;
constexpr int kPatienceMs = 100;  // the tester answers at once

struct Step {
  int title;
  std::vector<int16_t> params;  // a title below 0: a receive-only step
};

const Step kSteps[] = {{-1, {}}, {0x09, {}}, {0x01, {0x02, 0x00, 0x40}}, {0xFE, {}}};

struct Tester {
  fuzz::Session<TIso9141Thread> session;
  fuzz::NoLog memo;
  TKwp71Protocol protocol{&session.GetWorker(), &memo};
};

std::unique_ptr<TSequenceObject> RequestSteps(uint8_t choice) {
  auto object = std::make_unique<TSequenceObject>(skExecuteSequence);
  const int count = 1 + (choice & 3) % 3;
  for (int i = 0; i < count; ++i) {
    const Step& step = kSteps[(choice >> (2 + 2 * i)) & 3];
    if (step.title < 0) {
      object->AddRequest(nullptr);
      continue;
    }
    auto params = std::make_unique<TSmallIntArray>();
    for (int16_t value : step.params)
      params->Add(value);
    object->AddRequest(std::make_unique<TSequence>(step.title, std::move(params)));
  }
  return object;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Tester tester;
  if (size < 2) return 0;
  const bool kwp81 = data[0] & 1;
  TKwp71Protocol& protocol = tester.protocol;
  protocol.SetSubType(kwp81 ? TKwp71Protocol::kSubTypeKwp81 : TKwp71Protocol::kSubTypeKwp71);
  // Short waits, no gaps.
  protocol.SetTimings({{kMaxTester2EcuTime, 20},
                       {kMinEcu2TesterTime, 0},
                       {kMinInterByteTime, 0},
                       {kMaxEcuInterByteTime, 20}});
  std::unique_ptr<TSequenceObject> object = RequestSteps(data[1]);
  tester.session.Run(
      fuzz::SplitChunks(data, size, 2, kMaxChunks),
      kwp81 ? fuzz::ChunkEcu::Framing::Frames : fuzz::ChunkEcu::Framing::AcknowledgedBlocks,
      [](const std::vector<uint8_t>&) { return kPatienceMs; },
      [&] {
        tester.session.GetWorker().SetBaudRate(kFastBaudRate);
        protocol.SeqTester(object.get());
      });
  return 0;
}
