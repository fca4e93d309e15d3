#include "sim/Kwp2000EcuFrame.h"

#include <algorithm>
#include <numeric>

namespace sim {

namespace {
constexpr uint8_t kAddressedFlag = 0x80;
constexpr uint8_t kLengthMask = 0x3F;
constexpr size_t kMaxPayloadInFormat = 63;
constexpr size_t kMaxPayload = 255;

// Key byte 1: length in the format byte, length byte, header without and with addresses.
constexpr uint8_t kOffersLengthInFormat = 0x01;
constexpr uint8_t kOffersLengthByte = 0x02;
constexpr uint8_t kOffersPlainHeader = 0x04;
constexpr uint8_t kOffersAddressedHeader = 0x08;

size_t HeaderAddressBytes(uint8_t format) {
  return (format & kAddressedFlag) ? 2 : 0;
}
}  // namespace

uint8_t Kwp2000Sum(std::span<const uint8_t> bytes) {
  return static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

int Kwp2000FrameSize(std::span<const uint8_t> head) {
  if (head.empty()) return 0;
  const uint8_t format = head[0];
  const size_t addresses = HeaderAddressBytes(format);
  const size_t inFormat = format & kLengthMask;
  if (inFormat != 0) return static_cast<int>(1 + addresses + inFormat + 1);
  const size_t lengthAt = 1 + addresses;
  if (head.size() <= lengthAt) return 0;
  if (head[lengthAt] == 0) return -1;
  return static_cast<int>(lengthAt + 1 + head[lengthAt] + 1);
}

std::optional<Kwp2000EcuFrame> ParseKwp2000Frame(Bytes bytes) {
  const int size = Kwp2000FrameSize(bytes);
  if (size <= 0 || static_cast<size_t>(size) != bytes.size()) return std::nullopt;
  Kwp2000EcuFrame frame;
  frame.format = bytes[0];
  frame.addressed = (frame.format & kAddressedFlag) != 0;
  size_t at = 1;
  if (frame.addressed) {
    frame.target = bytes[1];
    frame.source = bytes[2];
    at = 3;
  }
  frame.lengthByte = (frame.format & kLengthMask) == 0;
  if (frame.lengthByte) ++at;
  frame.payload.assign(bytes.begin() + static_cast<long>(at), bytes.end() - 1);
  frame.checksumOk = Kwp2000Sum(std::span(bytes).first(bytes.size() - 1)) == bytes.back();
  frame.bytes = std::move(bytes);
  return frame;
}

Bytes BuildKwp2000Frame(std::span<const uint8_t> payload, const Kwp2000FrameForm& form) {
  payload = payload.first(std::min(payload.size(), kMaxPayload));
  const bool inFormat =
      form.lengthInFormat && !payload.empty() && payload.size() <= kMaxPayloadInFormat;
  Bytes frame;
  uint8_t format = form.addressed ? kAddressedFlag : 0;
  if (inFormat) format |= static_cast<uint8_t>(payload.size());
  frame.push_back(format);
  if (form.addressed) {
    frame.push_back(form.target);
    frame.push_back(form.source);
  }
  if (!inFormat) frame.push_back(static_cast<uint8_t>(payload.size()));
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(Kwp2000Sum(frame));
  return frame;
}

Kwp2000FrameForm AnswerFormFor(const Kwp2000EcuFrame& request, uint8_t address, uint8_t keyByte1) {
  Kwp2000FrameForm form;
  form.addressed = request.addressed;
  form.target = request.source;
  form.source = address;
  form.lengthInFormat = (keyByte1 & kOffersLengthInFormat) != 0;
  return form;
}

bool FormOfferedByKeyByte(const Kwp2000EcuFrame& frame, uint8_t keyByte1) {
  const uint8_t header = frame.addressed ? kOffersAddressedHeader : kOffersPlainHeader;
  const uint8_t length = frame.lengthByte ? kOffersLengthByte : kOffersLengthInFormat;
  return (keyByte1 & header) != 0 && (keyByte1 & length) != 0;
}

std::vector<Kwp2000LineFrame> Kwp2000FramesOnLine(const std::vector<LineEvent>& trace,
                                                  LineEventKind side) {
  std::vector<Kwp2000LineFrame> frames;
  Bytes bytes;
  int64_t start = 0;
  for (const LineEvent& event : trace) {
    if (event.kind == LineEventKind::BreakOn) bytes.clear();
    if (event.kind != side) continue;
    if (bytes.empty()) start = event.time;
    bytes.push_back(static_cast<uint8_t>(event.value));
    const int size = Kwp2000FrameSize(bytes);
    if (size < 0) bytes.clear();
    if (size <= 0 || bytes.size() < static_cast<size_t>(size)) continue;
    if (auto frame = ParseKwp2000Frame(std::move(bytes)))
      frames.push_back({*frame, start, event.End()});
    bytes.clear();
  }
  return frames;
}

}  // namespace sim
