// The program entry of QuobrixKWP2000Prof. With QUOBRIX_FTDI=sim it runs on the simulated
// interface with the simulated engine ECU behind it.
#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "tester/ProgramEntry.h"

int main(int argc, char** argv) {
  return tester::RunProgram<TQuobrixKWP2000Form>(argc, argv, "QuobrixKWP2000",
                                                 sim::EcuKind::Kwp2000);
}
