// The device-information block with the EEPROM dump, against the simulated interface: every
// line, with failing calls of the library and of the device.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimulatedFtdi.h"
#include "tester/FtdiInformation.h"

namespace {

using Lines = std::vector<std::string>;

std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i)
    repeated += text;
  return repeated;
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines lines;
  for (const Lines& part : parts)
    lines.insert(lines.end(), part.begin(), part.end());
  return lines;
}

TEST(FtdiInformation, DeviceBlockWithEepromDump) {
  const Lines head = {"", "Library version = 0x00010500", ""};
  const Lines device = {"Number of FTDI devices is 1",
                        "Device: 0",
                        "  Flags=0x00000000",
                        "  Type=0x00000005",
                        "  ID=0x04036001",
                        "  LocId=0x00000F11",
                        "  SerialNumber=QBX00001",
                        "  Description=Quobrix K-line simulated",
                        "  ftHandle=0x00000000"};
  // Words 1, 2 and 9 have a zero byte, every other word is 0x4142 ("AB").
  const std::string plain = Repeat(" 4142", 8) + Repeat(" A B", 8);
  const Lines line0 = {" 4142 0042 4100" + Repeat(" 4142", 5) + " A B  B A " + Repeat(" A B", 5)};
  const Lines line1 = {" 4142 0000" + Repeat(" 4142", 6) + " A B  " + Repeat(" A B", 6)};
  const Lines lines2To10(9, plain);
  const Lines rest = {"User EEprom size: 0x58",  "  Manufacturer=FTDI",
                      "  ManufacturerId=QB",     "  Description=Quobrix K-line simulated",
                      "  SerialNumber=QBX00001", ""};
  struct Case {
    const char* name;
    std::function<void(sim::SimulatedFtdi&, sim::Faults&)> prepare;
    Lines block;
  };
  const Case cases[] = {
      {"all read", [](auto&, auto&) {},
       Concat({head, device, line0, line1, lines2To10, {plain}, rest})},
      {"word 3 fails: its line holds seven words",
       [](auto&, sim::Faults& f) { f.failEepromWord = 3; },
       Concat({head,
               device,
               {"Problem reading EEprom, wordnr 0x03 Errorcode 11",
                " 4142 0042 4100" + Repeat(" 4142", 4) + " A B  B A " + Repeat(" A B", 4)},
               line1,
               lines2To10,
               {plain},
               rest})},
      {"word 95 fails: the last words are not shown",
       [](auto&, sim::Faults& f) { f.failEepromWord = 95; },
       Concat({head,
               device,
               line0,
               line1,
               lines2To10,
               {"Problem reading EEprom, wordnr 0x5F Errorcode 11"},
               rest})},
      {"user area and strings fail",
       [](auto&, sim::Faults& f) { f.failUserAreaSize = f.failEepromStrings = true; },
       Concat({head, device, line0, line1, lines2To10, {plain, ""}})},
      {"open fails", [](auto&, sim::Faults& f) { f.failOpenByIndex = true; },
       Concat({head, device, {"Problem opening device nr. 0", ""}})},
      {"device count fails", [](auto&, sim::Faults& f) { f.failCreateDeviceInfo = true; },
       Concat({head, {"Device Info Failed", ""}})},
      {"device nodes fail", [](auto&, sim::Faults& f) { f.failFillDeviceInfo = true; },
       Concat({head, {"Number of FTDI devices is 1", ""}})},
      {"no device", [](sim::SimulatedFtdi& ftdi, auto&) { ftdi.Unplug(); },
       Concat({head, {"Number of FTDI devices is 0", ""}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::ScopedSimulation simulation;
    sim::SimulatedFtdi& ftdi = simulation.Ftdi();
    for (uint32_t word = 0; word < 128; ++word)
      ftdi.SetEepromWord(word, 0x4142);
    ftdi.SetEepromWord(1, 0x0042);
    ftdi.SetEepromWord(2, 0x4100);
    ftdi.SetEepromWord(9, 0x0000);
    sim::Faults faults;
    c.prepare(ftdi, faults);
    ftdi.SetFaults(faults);
    EXPECT_EQ(tester::DeviceInformationWithEepromLines(ftdi), c.block);
    EXPECT_FALSE(ftdi.State().open) << "each device is closed again";
  }
}

TEST(FtdiInformation, InterfaceInUseIsNotOpenedAgain) {
  sim::ScopedSimulation simulation;
  auto connection = simulation.Ftdi().OpenByLocation(sim::SimulatedFtdi::kLocationId);
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(
      tester::DeviceInformationWithEepromLines(simulation.Ftdi()),
      Lines({"", "Library version = 0x00010500", "", "Number of FTDI devices is 1", "Device: 0",
             "  Flags=0x00000001", "  Type=0x00000005", "  ID=0x04036001", "  LocId=0x00000F11",
             "  SerialNumber=QBX00001", "  Description=Quobrix K-line simulated",
             "  ftHandle=0x00A1B2C3", "Problem opening device nr. 0", ""}));
  EXPECT_TRUE(simulation.Ftdi().State().open);
}

}  // namespace
