// What the soak run needs to know of each tester: its window, its definition file, its simulated
// ECU and the ways of connecting it alternates.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sim {
class KLineBus;
}
namespace tester {
class TesterForm;
}

namespace soak {

struct SoakProgram {
  const char* name;  // on the command line
  const char* definitionFile;
  std::vector<const char*> variants;  // the ways of connecting, taken in turn
  // A fresh simulated ECU on the bus, for this way of connecting.
  std::function<void(sim::KLineBus& bus, int variant)> placeEcu;
  std::function<std::unique_ptr<tester::TesterForm>()> openWindow;
  std::function<void(tester::TesterForm& window, int variant)> chooseVariant;
  const char* startButton;
  const char* identButton;
};

// The program of that name, or null.
const SoakProgram* FindProgram(const std::string& name);
// The names, separated by "|".
std::string ProgramNames();

}  // namespace soak
