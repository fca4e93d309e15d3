#include "sim/ScriptedResponder.h"

#include <algorithm>

namespace sim {

namespace {
int64_t MsToCountsExact(double ms) {
  return static_cast<int64_t>(ms * 1'000'000.0);
}

bool StartsWith(const std::vector<uint8_t>& whole, const std::vector<uint8_t>& part) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}
}  // namespace

ScriptedResponder::ScriptedResponder(std::vector<ScriptRule> rules) : rules_(std::move(rules)) {}

void ScriptedResponder::OnLineEvent(const LineEvent& event, EcuLink& link) {
  switch (event.kind) {
    case LineEventKind::TesterByte:
      OnTesterByte(static_cast<uint8_t>(event.value), event.End(), link);
      break;
    case LineEventKind::BreakOn:
      link.CancelPendingBytes();
      received_.clear();
      break;
    case LineEventKind::BreakOff:
      if (const ScriptRule* rule = WakeUpRule()) Answer(*rule, event.time, link);
      break;
    default:
      break;
  }
}

void ScriptedResponder::OnTesterByte(uint8_t value, int64_t end, EcuLink& link) {
  received_.push_back(value);
  for (const ScriptRule& rule : rules_) {
    if (rule.trigger == ScriptRule::Trigger::Bytes && rule.request == received_) {
      matched_.push_back(received_);
      received_.clear();
      Answer(rule, end, link);
      return;
    }
  }
  Resynchronise();
}

void ScriptedResponder::Resynchronise() {
  while (!received_.empty() && !BeginsSomeRequest())
    received_.erase(received_.begin());
}

bool ScriptedResponder::BeginsSomeRequest() const {
  return std::any_of(rules_.begin(), rules_.end(), [&](const ScriptRule& rule) {
    return rule.trigger == ScriptRule::Trigger::Bytes && StartsWith(rule.request, received_);
  });
}

void ScriptedResponder::Answer(const ScriptRule& rule, int64_t from, EcuLink& link) {
  link.SendBytes(rule.answer, from + MsToCountsExact(rule.delayMs), MsToCountsExact(rule.gapMs));
}

const ScriptRule* ScriptedResponder::WakeUpRule() const {
  auto found = std::find_if(rules_.begin(), rules_.end(), [](const ScriptRule& rule) {
    return rule.trigger == ScriptRule::Trigger::WakeUp;
  });
  return found == rules_.end() ? nullptr : &*found;
}

}  // namespace sim
