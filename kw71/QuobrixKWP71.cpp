// The program entry of QuobrixKWP71. With QUOBRIX_FTDI=sim it runs on the simulated interface
// with the simulated KW71 ECU behind it (KW81 with QUOBRIX_SIM_ECU=kw81).
#include "kw71/QuobrixKWP71Main.h"
#include "tester/ProgramEntry.h"

int main(int argc, char** argv) {
  return tester::RunProgram<TQuobrixKWP71Form>(argc, argv, "QuobrixKWP71", sim::EcuKind::Kw71);
}
