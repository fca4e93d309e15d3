// The program entry of QuobrixKWP2000Prof. With QUOBRIX_FTDI=sim it runs on the simulated
// interface with the simulated engine ECU behind it.
#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "platform/Exceptions.h"
#include "sim/SimulatedFtdi.h"
#include "ui/Application.h"
#include "ui/ExceptionDisplay.h"

int main(int argc, char** argv) {
  ui::Application application(argc, argv);
  // The title of the exception display's message boxes.
  application.setApplicationName("QuobrixKWP2000");
  sim::SelectFtdiFromEnvironment(sim::EcuKind::Kwp2000);
  try {
    TQuobrixKWP2000Form form;
    form.show();
    application.exec();
  } catch (const plat::Exception& error) {
    ui::ShowException(error.Message());
  }
  return 0;
}
