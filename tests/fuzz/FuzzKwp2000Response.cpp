// Answer frames of any length and content: the KWP2000 protocol takes them apart and reacts to
// them without reading outside them. Busy answers (7F xx 21 or 23) are left out: each pauses for
// a second or more.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "engine/ActivityLog.h"
#include "engine/Iso9141Thread2.h"
#include "engine/Kwp2000Protocol2.h"
#include "engine/Sequence.h"
#include "engine/Threadlist.h"

namespace {

class NoLog : public TActivityLog {
 protected:
  void AppendLine(const std::string&) override {}
};

bool AsksForAPause(const uint8_t* data, size_t size) {
  for (size_t i = 0; i + 2 < size; ++i) {
    if (data[i] == 0x7F && (data[i + 2] == 0x21 || data[i + 2] == 0x23)) return true;
  }
  return false;
}

// A worker that is never started, with the protocol on it.
struct Tester {
  NoLog memo;
  TCommThreadList requests;
  TCommThreadList responses;
  TKwp2000Thread worker{&memo, &requests, &responses,
                        (std::filesystem::temp_directory_path() / "").string()};
  TKwp2000Protocol protocol{&worker, &memo};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Tester tester;
  if (AsksForAPause(data, size)) return 0;
  TSequenceObject object(skExecuteSequence);
  object.AddRequest(std::make_unique<TSequence>(
      0x10, std::make_unique<TSmallIntArray>(std::initializer_list<int16_t>{0x81, 0x05})));
  TSmallIntArray request;
  tester.protocol.BuildRequestFrame(&object, &request, 0, 2, 2);
  TSmallIntArray answer;
  for (size_t i = 0; i < size; ++i)
    answer.Add(data[i]);
  tester.worker.KeyBytes().Clear();
  tester.protocol.ProcessResponse(&object, &answer, 0);
  return 0;
}
