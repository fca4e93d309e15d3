#include "sim/Kwp2000Ecu.h"

#include "sim/KLineBus.h"

namespace sim {

Kwp2000Ecu::Kwp2000Ecu(Kwp2000EcuConfig config, Kwp2000EcuData data)
    : Kwp2000Ecu(config, std::make_unique<Kwp2000EcuServices>(config.identity, std::move(data))) {}

Kwp2000Ecu::Kwp2000Ecu(const Kwp2000EcuConfig& config,
                       std::unique_ptr<Kwp2000EcuResponder> responder)
    : services_(dynamic_cast<Kwp2000EcuServices*>(responder.get())),
      model_(config, std::move(responder)) {}

std::unique_ptr<Kwp2000Ecu> Kwp2000Ecu::FromScript(const Kwp2000EcuConfig& config,
                                                   const std::string& path) {
  return std::unique_ptr<Kwp2000Ecu>(new Kwp2000Ecu(config, Kwp2000EcuScript::FromFile(path)));
}

void Kwp2000Ecu::OnLineEvent(const LineEvent& event, EcuLink& link) {
  switch (event.kind) {
    case LineEventKind::BreakOn:
      model_.OnLineLow(event.time);
      break;
    case LineEventKind::BreakOff:
      model_.OnLineHigh(event.time);
      break;
    case LineEventKind::TesterByte:
      model_.OnTesterByte(static_cast<uint8_t>(event.value), link.BaudRate(), event.End());
      break;
    default:
      return;
  }
  Flush(link);
}

void Kwp2000Ecu::OnTimer(int64_t now, EcuLink& link) {
  if (wakeAt_ && *wakeAt_ <= now) wakeAt_.reset();
  model_.OnTimer(now);
  Flush(link);
}

void Kwp2000Ecu::Flush(EcuLink& link) {
  for (const EcuByte& byte : model_.TakeOutput())
    link.SendByte(byte.value, byte.at);
  const std::optional<int64_t> next = model_.NextTimer();
  if (next && (!wakeAt_ || *next < *wakeAt_)) {
    wakeAt_ = next;
    link.WakeAt(*next);
  }
}

bool WithKwp2000Ecu(KLineBus& bus, const std::function<void(Kwp2000Ecu&)>& call) {
  bool ran = false;
  bus.Call([&](EcuModel* model) {
    if (auto* ecu = dynamic_cast<Kwp2000Ecu*>(model)) {
      call(*ecu);
      ran = true;
    }
  });
  return ran;
}

}  // namespace sim
