// Frames as the simulated KWP2000 ECU sees them: finding where a request ends, reading its
// header, and building answer frames in the form the ECU's key bytes promise; and the frames of
// a bus trace, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/EcuModel.h"

namespace sim {

using Bytes = std::vector<uint8_t>;

// Low 8 bits of the sum of the bytes.
uint8_t Kwp2000Sum(std::span<const uint8_t> bytes);

// Total size of the frame whose first bytes are `head`: 0 while the header is not complete yet,
// -1 when the header announces an empty frame (a length byte of 0).
int Kwp2000FrameSize(std::span<const uint8_t> head);

// A complete frame taken apart.
struct Kwp2000EcuFrame {
  Bytes bytes;
  uint8_t format = 0;
  bool addressed = false;  // format bit 7: target and source follow
  uint8_t target = 0;
  uint8_t source = 0;
  bool lengthByte = false;  // the length stands in a byte of its own
  Bytes payload;            // service id and data
  bool checksumOk = false;

  int ServiceId() const { return payload.empty() ? -1 : payload[0]; }
};

// Takes a complete frame apart; nothing when its size does not match its header.
std::optional<Kwp2000EcuFrame> ParseKwp2000Frame(Bytes bytes);

// How an answer frame is laid out.
struct Kwp2000FrameForm {
  bool addressed = false;
  uint8_t target = 0;
  uint8_t source = 0;
  bool lengthInFormat = true;  // when the payload fits (at most 63 bytes)
};

// Header, payload and checksum. Payloads longer than 255 bytes are cut to 255.
Bytes BuildKwp2000Frame(std::span<const uint8_t> payload, const Kwp2000FrameForm& form);

// The form of the answer to `request` from an ECU at `address` whose first key byte is `keyByte1`:
// addresses when the request had them, the length in the format byte when the key byte offers it.
Kwp2000FrameForm AnswerFormFor(const Kwp2000EcuFrame& request, uint8_t address, uint8_t keyByte1);

// Whether a frame's header has a form that the first key byte declares as supported.
bool FormOfferedByKeyByte(const Kwp2000EcuFrame& frame, uint8_t keyByte1);

// A frame on the line: from the start of its first byte to the end of its last.
struct Kwp2000LineFrame {
  Kwp2000EcuFrame frame;
  int64_t start = 0;
  int64_t end = 0;
};

// The complete frames that one side (`TesterByte` or `EcuByte`) put on the line, in order. A
// break starts the next frame afresh.
std::vector<Kwp2000LineFrame> Kwp2000FramesOnLine(const std::vector<LineEvent>& trace,
                                                  LineEventKind side);

}  // namespace sim
