#include "sim/SimulatedEcus.h"

#include "sim/Kw71Ecu.h"
#include "sim/SimulatedFtdi.h"

namespace sim {

void AttachEcuFor(EcuProgram program) {
  switch (program) {
    case EcuProgram::Kwp71:
      SimulatedFtdi::Instance().SetModel(Kw71EcuFromEnvironment());
      break;
  }
}

}  // namespace sim
