// The device-information block with the EEPROM dump, against the simulated interface: every
// line, with failing calls of the library and of the device, and with two interfaces attached.
#include <gtest/gtest.h>

#include <algorithm>
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

// Two interfaces that differ in location id, serial number and EEPROM words (0x3030, 0x3131);
// each index opens the simulated interface with its words. The count says `count` devices.
class TwoInterfaces final : public plat::ftdi::Library {
 public:
  TwoInterfaces(sim::SimulatedFtdi& ftdi, uint32_t count) : ftdi_(ftdi), count_(count) {}

  std::unique_ptr<plat::ftdi::Device> OpenByLocation(uint32_t) override { return nullptr; }
  plat::ftdi::Status OpenByIndex(uint32_t index,
                                 std::unique_ptr<plat::ftdi::Device>& device) override {
    opened.push_back(index);
    for (uint32_t word = 0; word < 128; ++word)
      ftdi_.SetEepromWord(word, static_cast<uint16_t>(0x3030 + 0x0101 * index));
    return index < 2 ? ftdi_.OpenByIndex(0, device) : plat::ftdi::kDeviceNotFound;
  }
  plat::ftdi::Status ListLocations(std::vector<uint32_t>&) override { return plat::ftdi::kOk; }
  plat::ftdi::Status CreateDeviceInfoList(uint32_t& count) override {
    count = count_;
    return plat::ftdi::kOk;
  }
  plat::ftdi::Status GetDeviceInfoList(std::vector<plat::ftdi::DeviceInfo>& nodes) override {
    nodes.resize(std::min<size_t>(nodes.size(), 2));
    for (uint32_t i = 0; i < nodes.size(); ++i)
      nodes[i] = {0, plat::ftdi::kType232R, 0x04036001, 0x100 + i, "SN" + std::to_string(i), "If"};
    return plat::ftdi::kOk;
  }
  plat::ftdi::Status GetLibraryVersion(uint32_t& version) override {
    return ftdi_.GetLibraryVersion(version);
  }

  std::vector<uint32_t> opened;

 private:
  sim::SimulatedFtdi& ftdi_;
  uint32_t count_;
};

// The lines of interface `i` of TwoInterfaces.
Lines InterfaceLines(uint32_t i) {
  const std::string d = std::to_string(i);
  return Concat({{"Device: " + d, "  Flags=0x00000000", "  Type=0x00000005", "  ID=0x04036001",
                  "  LocId=0x0000010" + d, "  SerialNumber=SN" + d, "  Description=If",
                  "  ftHandle=0x00000000"},
                 Lines(12, Repeat(" 3" + d + "3" + d, 8) + Repeat(" " + d + " " + d, 8)),
                 {"User EEprom size: 0x58", "  Manufacturer=FTDI", "  ManufacturerId=QB",
                  "  Description=Quobrix K-line simulated", "  SerialNumber=QBX00001"}});
}

TEST(FtdiInformation, TheCountedInterfacesEachOpenedByItsIndex) {
  // Both counted; then the count says 1 while both are attached.
  for (const std::vector<uint32_t>& counted : {std::vector<uint32_t>{0, 1}, {0}}) {
    sim::ScopedSimulation simulation;
    TwoInterfaces library(simulation.Ftdi(), static_cast<uint32_t>(counted.size()));
    Lines block{"", "Library version = 0x00010500", "",
                "Number of FTDI devices is " + std::to_string(counted.size())};
    for (uint32_t i : counted)
      block = Concat({block, InterfaceLines(i)});
    block.emplace_back();
    EXPECT_EQ(tester::DeviceInformationWithEepromLines(library), block);
    EXPECT_EQ(library.opened, counted);
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
