// Results of any shape and content: the KWP2000 decoding logs and routes them without reading
// outside their steps. The input is read as steps: a byte that picks the list (request or
// response) and the service id, a length byte, then the data bytes; a request id of 0xFF is a
// receive-only step, a length of 0xFF a step without a byte buffer.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/ActivityLog.h"
#include "engine/Sequence.h"
#include "kwp2000/Kwp2000Decoding.h"

namespace {

class NoLog : public TActivityLog {
 protected:
  void AppendLine(const std::string&) override {}
};

constexpr uint8_t kNoBuffer = 0xFF;
constexpr uint8_t kReceiveOnly = 0xFF;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NoLog log;
  static TKwp2000DecodingRules rules;
  static TResultDecoder decoder(rules, log);
  TSequenceObject object(skExecuteSequence);
  size_t pos = 0;
  while (pos + 2 < size) {
    const bool request = data[pos] & 1;
    const uint8_t serviceId = data[pos + 1];
    const uint8_t length = data[pos + 2];
    pos += 3;
    std::unique_ptr<TSmallIntArray> bytes;
    if (length != kNoBuffer) {
      bytes = std::make_unique<TSmallIntArray>();
      for (int i = 0; i < length && pos < size; ++i)
        bytes->Add(data[pos++]);
    }
    auto step = std::make_unique<TSequence>(serviceId, std::move(bytes));
    if (!request) {
      object.AddResponse(std::move(step));
    } else if (serviceId == kReceiveOnly) {
      object.AddRequest(nullptr);
    } else {
      step->FName = kDataWithDestination;
      object.AddRequest(std::move(step));
    }
  }
  if (size > 0 && (data[0] & 2) && object.HasRequestList())
    object.Requests()->FName = kContReadData;
  decoder.Decode(object);
  return 0;
}
