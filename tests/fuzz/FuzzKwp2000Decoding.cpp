// Results of any shape and content (read as in FuzzResultSteps.h; bit 1 of the first byte names
// the list "ContReadData"): the KWP2000 decoding logs and routes them without reading outside
// their steps.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/ActivityLog.h"
#include "engine/Sequence.h"
#include "kwp2000/Kwp2000Decoding.h"
#include "tests/fuzz/FuzzResultSteps.h"

namespace {

class NoLog : public TActivityLog {
 protected:
  void AppendLine(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NoLog log;
  static TKwp2000DecodingRules rules;
  static TResultDecoder decoder(rules, log);
  TSequenceObject object(skExecuteSequence);
  AddFuzzSteps(data, size, object,
               [](TSequence& step, uint8_t) { step.FName = kDataWithDestination; });
  if (size > 0 && (data[0] & 2) && object.HasRequestList())
    object.Requests()->FName = kContReadData;
  decoder.Decode(object);
  return 0;
}
