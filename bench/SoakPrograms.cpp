#include "bench/SoakPrograms.h"

#include "bench/WindowBench.h"
#include "kw71/QuobrixKWP71Main.h"
#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "sim/KLineBus.h"
#include "sim/Kw71Ecu.h"
#include "sim/Kwp2000Ecu.h"
#include "sim/Kwp2000EngineEcu.h"
#include "tester/RadioGroup.h"

namespace soak {

namespace {

// The soak looks for hangs, crashes and leaks, not for timing: its KWP2000 ECU lets a request's
// bytes be spaced wider, and the fast-init pulse last longer, than a real one would, so that a
// machine busy with other work, which may keep even a real-time thread waiting 10 to 20 ms, does
// not break requests or wake-ups on the line.
constexpr int kRequestGapMs = 200;
constexpr int kFastInitLowMaxMs = 80;

sim::Kwp2000EcuConfig Kwp2000Config() {
  sim::Kwp2000EcuConfig config;
  config.requestGapMs = kRequestGapMs;
  config.fastInitLowMaxMs = kFastInitLowMaxMs;
  return config;
}

const SoakProgram kPrograms[] = {
    {"kwp2000",
     TQuobrixKWP2000Form::kDefaultDefinitionFile,
     {"fast_init", "five_baud_init"},
     [](sim::KLineBus& bus, int) {
       bus.SetModel(std::make_unique<sim::Kwp2000Ecu>(Kwp2000Config(), sim::Kwp2000EngineData()));
     },
     [] { return std::make_unique<TQuobrixKWP2000Form>(); },
     [](tester::TesterForm& window, int variant) {
       bench::Find<tester::RadioGroup>(window, "RadioInit2000").SetItemIndex(variant);
     },
     "ButtonStartComm2000",
     "ButtonIDnew"},
    {"kw71",
     TQuobrixKWP71Form::kDefaultDefinitionFile,
     {"kwp71", "kwp81"},
     [](sim::KLineBus& bus, int variant) {
       sim::Kw71EcuConfig config;
       config.kwp81 = variant == 1;
       bus.SetModel(std::make_unique<sim::Kw71Ecu>(config));
     },
     [] { return std::make_unique<TQuobrixKWP71Form>(); },
     [](tester::TesterForm& window, int variant) {
       // "KWP71" or "KWP81 ??" of the sub-types "Auto", "KWP71", "KWP81 ??"
       bench::Find<tester::RadioGroup>(window, "RadioGroupSubType").SetItemIndex(variant + 1);
     },
     "ButtonStartComm2000",
     "ButtonIDnew"},
};

}  // namespace

const SoakProgram* FindProgram(const std::string& name) {
  for (const SoakProgram& program : kPrograms)
    if (name == program.name) return &program;
  return nullptr;
}

std::string ProgramNames() {
  std::string names;
  for (const SoakProgram& program : kPrograms)
    names += (names.empty() ? "" : "|") + std::string(program.name);
  return names;
}

}  // namespace soak
