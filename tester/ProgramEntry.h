// The program entry both testers run: the application with its title, the FTDI interface (with
// QUOBRIX_FTDI=sim the simulated one with the program's ECU behind it), the main window until it
// closes. An error of the class library that escapes is shown; the entry then returns 0.
#pragma once

#include "platform/Exceptions.h"
#include "sim/SimulatedFtdi.h"
#include "ui/Application.h"
#include "ui/ExceptionDisplay.h"

namespace tester {

template <class MainWindow>
int RunProgram(int argc, char** argv, const char* title, sim::EcuKind ecu) {
  ui::Application application(argc, argv);
  // The title of the exception display's message boxes.
  application.setApplicationName(title);
  sim::SelectFtdiFromEnvironment(ecu);
  try {
    MainWindow form;
    form.show();
    application.exec();
  } catch (const plat::Exception& error) {
    ui::ShowException(error.Message());
  }
  return 0;
}

}  // namespace tester
