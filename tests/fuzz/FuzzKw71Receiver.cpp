// Answer blocks of any length, content and number, through the simulated interface: the KWP71 or
// KWP81 request loop sends its steps and receives the ECU's blocks, KWP71 ones byte by byte with
// their complements, and follows chained answers with acknowledge blocks until the input is used
// up.
//
// Input: a byte that picks the framing, one that picks up to three request steps, then the
// ECU's chunks (see SplitChunks).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "FuzzOnBus.h"
#include "engine/Sequence.h"
#include "kw71/Kwp71Protocol2.h"

namespace {

constexpr size_t kMaxChunks = 24;
constexpr int kPatienceMs = 100;  // the tester answers at once

const fuzz::RequestStep kSteps[] = {{-1, {}}, {0x09, {}}, {0x01, {0x02, 0x00, 0x40}}, {0xFE, {}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Session<TIso9141Thread, TKwp71Protocol> session;
  if (size < 2) return 0;
  const bool kwp81 = data[0] & 1;
  TKwp71Protocol& protocol = session.GetProtocol();
  protocol.SetSubType(kwp81 ? TKwp71Protocol::kSubTypeKwp81 : TKwp71Protocol::kSubTypeKwp71);
  // Short waits, no gaps.
  protocol.SetTimings({{kMaxTester2EcuTime, 20},
                       {kMinEcu2TesterTime, 0},
                       {kMinInterByteTime, 0},
                       {kMaxEcuInterByteTime, 20}});
  std::unique_ptr<TSequenceObject> object = fuzz::ChooseSteps(data[1], kSteps);
  session.Run(
      fuzz::SplitChunks(data, size, 2, kMaxChunks),
      kwp81 ? fuzz::ChunkEcu::Framing::Frames : fuzz::ChunkEcu::Framing::AcknowledgedBlocks,
      [](const std::vector<uint8_t>&) { return kPatienceMs; }, *object);
  return 0;
}
