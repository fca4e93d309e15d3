// Scripted replay of a recorded KWP2000 session. The text has one frame a line:
//   RQ 0x81 0x10 0xF1 0x81 0x03          a request frame (it may leave out its checksum)
//   RP 0x83 0xF1 0x10 0xC1 0xEF 0x8F cks1 an answer frame; "cks1" is the 8-bit sum of the bytes
//                                        before it
// One or more RP lines follow their RQ line; '#' starts a comment. A request frame gets the
// answers of the first RQ line whose bytes it begins with, and no answer when none matches.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Kwp2000EcuServices.h"

namespace sim {

struct Kwp2000ScriptEntry {
  Bytes request;
  std::vector<Bytes> answers;
  bool operator==(const Kwp2000ScriptEntry&) const = default;
};

// Throws plat::Exception naming the line for text it does not understand.
std::vector<Kwp2000ScriptEntry> ParseKwp2000Script(std::string_view text);

class Kwp2000EcuScript : public Kwp2000EcuResponder {
 public:
  explicit Kwp2000EcuScript(std::vector<Kwp2000ScriptEntry> entries);
  // Throws plat::Exception when the file cannot be read or parsed.
  static std::unique_ptr<Kwp2000EcuScript> FromFile(const std::string& path);

  Kwp2000EcuReply Answer(const Kwp2000EcuFrame& request, Kwp2000EcuTiming& timing,
                         int64_t now) override;

 private:
  std::vector<Kwp2000ScriptEntry> entries_;
};

}  // namespace sim
