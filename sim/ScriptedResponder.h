// An ECU model that answers from a table: when the tester's bytes match a rule's request, the
// rule's answer goes on the line after its delay. A wake-up rule answers a break pattern instead:
// its answer starts `delayMs` after the line was released, unless the line is pulled low again
// before (so the delay must exceed the longest high phase of the pattern). Pulling the line low
// also withdraws answers not yet started and a partly received request.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/EcuModel.h"

namespace sim {

struct ScriptRule {
  enum class Trigger { Bytes, WakeUp };

  Trigger trigger = Trigger::Bytes;
  std::vector<uint8_t> request;  // the tester's bytes (Bytes rules)
  std::vector<uint8_t> answer;
  double delayMs = 25;  // from the end of the request's last byte, or the release of the line
  double gapMs = 0;     // between the end of one answer byte and the start of the next
};

class ScriptedResponder : public EcuModel {
 public:
  explicit ScriptedResponder(std::vector<ScriptRule> rules);

  void OnLineEvent(const LineEvent& event, EcuLink& link) override;

  // The requests that matched a rule, in order (read it through KLineBus::Call).
  const std::vector<std::vector<uint8_t>>& Matched() const { return matched_; }

 private:
  void OnTesterByte(uint8_t value, int64_t end, EcuLink& link);
  // Drops received bytes from the front until they begin some rule's request.
  void Resynchronise();
  bool BeginsSomeRequest() const;
  void Answer(const ScriptRule& rule, int64_t from, EcuLink& link);
  const ScriptRule* WakeUpRule() const;

  std::vector<ScriptRule> rules_;
  std::vector<uint8_t> received_;
  std::vector<std::vector<uint8_t>> matched_;
};

}  // namespace sim
