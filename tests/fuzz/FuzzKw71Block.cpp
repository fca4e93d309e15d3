// Received KWP71 and KWP81 blocks of any length and content: the protocol takes them apart
// without reading beyond the bytes received. The first byte chooses the framing.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "engine/ActivityLog.h"
#include "engine/Iso9141Thread2.h"
#include "engine/Sequence.h"
#include "engine/Threadlist.h"
#include "kw71/Kwp71Protocol2.h"

namespace {

class NoLog : public TActivityLog {
 protected:
  void AppendLine(const std::string&) override {}
};

// A worker that is never started, with the protocol on it.
struct Tester {
  NoLog memo;
  TCommThreadList requests;
  TCommThreadList responses;
  TIso9141Thread worker{&memo, &requests, &responses,
                        (std::filesystem::temp_directory_path() / "").string()};
  TKwp71Protocol protocol{&worker, &memo};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Tester tester;
  if (size == 0) return 0;
  tester.protocol.SetSubType(data[0] & 0x03);
  TSmallIntArray block;
  for (size_t i = 1; i < size; ++i)
    block.Add(data[i]);
  TSequenceObject object(skExecuteSequence);
  object.AddRequest(nullptr);
  tester.protocol.ParseBlock(&object, block, 0);
  // The next request block follows whatever counter the block left.
  tester.protocol.BuildBlock(&object, &block, object.RequestCount() - 1);
  return 0;
}
