// Results of any shape for the decoding fuzz targets. The input is read as steps: a flags byte
// (bit 0: a request step, otherwise a response step; the other bits are the target's), the
// service id or title, a length byte, then the data bytes. A request id of 0xFF is a
// receive-only step, a length of 0xFF a step without a byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/Sequence.h"

// Adds the steps of the input to `object`; `tag(step, flags)` sees every request step before it
// is added.
template <class Tag>
void AddFuzzSteps(const uint8_t* data, size_t size, TSequenceObject& object, Tag&& tag) {
  constexpr uint8_t kRequest = 1;
  constexpr uint8_t kNoBuffer = 0xFF;
  constexpr uint8_t kReceiveOnly = 0xFF;
  size_t pos = 0;
  while (pos + 2 < size) {
    const uint8_t flags = data[pos];
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
    if (!(flags & kRequest)) {
      object.AddResponse(std::move(step));
    } else if (serviceId == kReceiveOnly) {
      object.AddRequest(nullptr);
    } else {
      tag(*step, flags);
      object.AddRequest(std::move(step));
    }
  }
}
