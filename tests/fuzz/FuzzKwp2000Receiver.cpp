// Answer frames of any length, content and number, through the simulated interface: the KWP2000
// request loop sends its steps, the ECU answers each with the next chunk of the input, and the
// loop receives them and reacts (busy and routine answers repeat the request, a pending answer
// waits for the next frame, timing and session answers change the timing and the baud rate,
// broken frames and silence cost attempts) until the input is used up.
//
// Input: a byte that picks the header and length modes, one that picks up to three request
// steps, then the answer chunks (see SplitChunks). A busy or routine answer pauses the loop for
// a second or more, so an input with more than one is rejected.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "FuzzOnBus.h"
#include "engine/Kwp2000Protocol2.h"
#include "engine/Sequence.h"

namespace {

constexpr size_t kMaxChunks = 24;

const fuzz::RequestStep kSteps[] = {{0x21, {0x01}}, {0x10, {0x81, 0x05}}, {0x83, {0x02}}, {-1, {}}};

bool AsksForAPause(const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i + 2 < bytes.size(); ++i) {
    if (bytes[i] == 0x7F && (bytes[i + 2] == 0x21 || bytes[i + 2] == 0x23)) return true;
  }
  return false;
}

// Longer than the tester's pause after a busy or routine answer, else longer than its waits.
int PatienceMs(const std::vector<uint8_t>& answer) {
  return AsksForAPause(answer) ? 1600 : 150;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Session<TKwp2000Thread, TKwp2000Protocol> session;
  if (size < 2) return 0;
  std::deque<fuzz::Chunk> chunks = fuzz::SplitChunks(data, size, 2, kMaxChunks);
  int pauses = 0;
  for (const fuzz::Chunk& chunk : chunks)
    pauses += AsksForAPause(chunk.bytes);
  if (pauses > 1) return -1;

  TKwp2000Protocol& protocol = session.GetProtocol();
  protocol.SetHeaderMode(data[0] & 3);
  protocol.SetLengthMode((data[0] >> 2) & 3);
  // Short waits, no gaps: P2max 50 ms, everything else 0.
  protocol.SetTimingParameters(0, 2, 0, 0, 0);
  protocol.SetT2EOffset(0);
  session.GetWorker().KeyBytes().Clear();
  std::unique_ptr<TSequenceObject> object = fuzz::ChooseSteps(data[1], kSteps);
  session.Run(std::move(chunks), fuzz::ChunkEcu::Framing::Frames, PatienceMs, *object);
  return 0;
}
