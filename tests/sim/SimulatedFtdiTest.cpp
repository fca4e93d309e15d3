// The simulated interface as a device library: listing, device information, EEPROM, faults,
// the interface vanishing, and its selection.
#include "sim/SimulatedFtdi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "sim/Kwp2000Ecu.h"
#include "tests/sim/ReadsAtClose.h"

using namespace plat::ftdi;
using sim::Faults;
using sim::SimulatedFtdi;

namespace {

class SimulatedFtdiTest : public ::testing::Test {
 protected:
  SimulatedFtdi& Ftdi() { return simulation_.Ftdi(); }

  std::unique_ptr<Device> OpenIndex0() {
    std::unique_ptr<Device> device;
    EXPECT_EQ(Ftdi().OpenByIndex(0, device), kOk);
    return device;
  }

  void SetFault(void (*change)(Faults&)) {
    Faults faults;
    change(faults);
    Ftdi().SetFaults(faults);
  }

  sim::ScopedSimulation simulation_;
};

TEST_F(SimulatedFtdiTest, IsTheLibraryInUseWhileTheScopeLasts) {
  EXPECT_EQ(&ActiveLibrary(), &Ftdi());
}

TEST_F(SimulatedFtdiTest, ListsOneInterfaceAtItsLocation) {
  std::vector<uint32_t> ids{1, 2, 3};
  EXPECT_EQ(Ftdi().ListLocations(ids), kOk);
  EXPECT_EQ(ids, std::vector<uint32_t>{SimulatedFtdi::kLocationId});
}

TEST_F(SimulatedFtdiTest, DeviceInformationDescribesTheInterfaceAndWhetherItIsOpen) {
  std::vector<DeviceInfo> devices(4);
  ASSERT_EQ(Ftdi().GetDeviceInfoList(devices), kOk);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].flags, 0u);
  EXPECT_EQ(devices[0].type, kType232R);
  EXPECT_EQ(devices[0].id, 0x04036001u);
  EXPECT_EQ(devices[0].locationId, SimulatedFtdi::kLocationId);
  EXPECT_EQ(devices[0].serialNumber, SimulatedFtdi::kSerialNumber);
  EXPECT_EQ(devices[0].description, SimulatedFtdi::kDescription);
  EXPECT_EQ(devices[0].handle, 0u);

  std::unique_ptr<Device> open = Ftdi().OpenByLocation(SimulatedFtdi::kLocationId);
  ASSERT_TRUE(open);
  ASSERT_EQ(Ftdi().GetDeviceInfoList(devices), kOk);
  EXPECT_EQ(devices[0].flags & kDeviceFlagOpened, kDeviceFlagOpened);
  EXPECT_NE(devices[0].handle, 0u);
}

TEST_F(SimulatedFtdiTest, AnInterfaceOpensOnlyOnceAtATime) {
  std::unique_ptr<Device> first = Ftdi().OpenByLocation(SimulatedFtdi::kLocationId);
  ASSERT_TRUE(first);
  EXPECT_FALSE(Ftdi().OpenByLocation(SimulatedFtdi::kLocationId));
  std::unique_ptr<Device> second;
  EXPECT_EQ(Ftdi().OpenByIndex(0, second), kDeviceNotOpened);
  first.reset();
  EXPECT_TRUE(OpenIndex0());
  std::unique_ptr<Device> none;
  EXPECT_EQ(Ftdi().OpenByIndex(1, none), kDeviceNotFound);
}

TEST_F(SimulatedFtdiTest, EepromWordsStringsAndUserArea) {
  Ftdi().SetEepromWord(10, 0x4142);
  std::unique_ptr<Device> device = OpenIndex0();
  ASSERT_TRUE(device);
  uint16_t word = 0;
  EXPECT_EQ(device->ReadEepromWord(1, word), kOk);
  EXPECT_EQ(word, 0x0403);
  EXPECT_EQ(device->ReadEepromWord(10, word), kOk);
  EXPECT_EQ(word, 0x4142);
  EepromStrings strings;
  EXPECT_EQ(device->ReadEepromStrings(strings), kOk);
  EXPECT_EQ(strings.manufacturer, "FTDI");
  EXPECT_EQ(strings.serialNumber, SimulatedFtdi::kSerialNumber);
  uint32_t size = 0;
  EXPECT_EQ(device->GetUserAreaSize(size), kOk);
  EXPECT_EQ(size, SimulatedFtdi::kUserAreaSize);
}

struct InfoFaultCase {
  const char* name;
  void (*inject)(Faults&);
  Status (*call)(SimulatedFtdi&, Device*);
};

class InformationFault : public SimulatedFtdiTest,
                         public ::testing::WithParamInterface<InfoFaultCase> {};

TEST_P(InformationFault, FailsOnlyTheCallItIsFor) {
  std::unique_ptr<Device> device = OpenIndex0();
  ASSERT_TRUE(device);
  EXPECT_EQ(GetParam().call(Ftdi(), device.get()), kOk);
  SetFault(GetParam().inject);
  EXPECT_NE(GetParam().call(Ftdi(), device.get()), kOk);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, InformationFault,
    ::testing::Values(InfoFaultCase{"Listing", [](Faults& f) { f.failListing = true; },
                                    [](SimulatedFtdi& lib, Device*) {
                                      std::vector<uint32_t> ids;
                                      return lib.ListLocations(ids);
                                    }},
                      InfoFaultCase{"DeviceCount", [](Faults& f) { f.failCreateDeviceInfo = true; },
                                    [](SimulatedFtdi& lib, Device*) {
                                      uint32_t count = 0;
                                      return lib.CreateDeviceInfoList(count);
                                    }},
                      InfoFaultCase{"DeviceInfo", [](Faults& f) { f.failFillDeviceInfo = true; },
                                    [](SimulatedFtdi& lib, Device*) {
                                      std::vector<DeviceInfo> devices(1);
                                      return lib.GetDeviceInfoList(devices);
                                    }},
                      InfoFaultCase{
                          "LibraryVersion", [](Faults& f) { f.failLibraryVersion = true; },
                          [](SimulatedFtdi& lib, Device*) {
                            uint32_t version = 0;
                            Status status = lib.GetLibraryVersion(version);
                            return status == kOk && version != SimulatedFtdi::kLibraryVersion
                                       ? kOtherError
                                       : status;
                          }},
                      InfoFaultCase{"EepromWord3", [](Faults& f) { f.failEepromWord = 3; },
                                    [](SimulatedFtdi&, Device* device) {
                                      uint16_t word = 0;
                                      return device->ReadEepromWord(3, word);
                                    }},
                      InfoFaultCase{"EepromStrings", [](Faults& f) { f.failEepromStrings = true; },
                                    [](SimulatedFtdi&, Device* device) {
                                      EepromStrings strings;
                                      return device->ReadEepromStrings(strings);
                                    }},
                      InfoFaultCase{"UserArea", [](Faults& f) { f.failUserAreaSize = true; },
                                    [](SimulatedFtdi&, Device* device) {
                                      uint32_t size = 0;
                                      return device->GetUserAreaSize(size);
                                    }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedFtdiTest, AFailingEepromWordLeavesTheOthersReadable) {
  SetFault([](Faults& f) { f.failEepromWord = 3; });
  std::unique_ptr<Device> device = OpenIndex0();
  uint16_t word = 0;
  EXPECT_EQ(device->ReadEepromWord(2, word), kOk);
  EXPECT_NE(device->ReadEepromWord(3, word), kOk);
  EXPECT_EQ(device->ReadEepromWord(4, word), kOk);
}

TEST_F(SimulatedFtdiTest, OpenByIndexCanBeRefused) {
  SetFault([](Faults& f) { f.failOpenByIndex = true; });
  std::unique_ptr<Device> device;
  EXPECT_NE(Ftdi().OpenByIndex(0, device), kOk);
  EXPECT_FALSE(device);
}

TEST_F(SimulatedFtdiTest, AnUnpluggedInterfaceIsNotListedAndCannotBeOpened) {
  Ftdi().Unplug();
  std::vector<uint32_t> ids;
  EXPECT_EQ(Ftdi().ListLocations(ids), kOk);
  EXPECT_TRUE(ids.empty());
  std::vector<DeviceInfo> devices(1);
  EXPECT_EQ(Ftdi().GetDeviceInfoList(devices), kOk);
  EXPECT_TRUE(devices.empty());
  EXPECT_FALSE(Ftdi().OpenByLocation(SimulatedFtdi::kLocationId));
  EXPECT_EQ(LastError(), kErrorDeviceNotConnected);
  Ftdi().Plug();
  EXPECT_TRUE(Ftdi().OpenByLocation(SimulatedFtdi::kLocationId));
}

TEST_F(SimulatedFtdiTest, AResetCutsOffAnInterfaceLeftOpen) {
  std::unique_ptr<Device> old = Ftdi().OpenByLocation(SimulatedFtdi::kLocationId);
  ASSERT_TRUE(old);
  Ftdi().Reset();
  EXPECT_FALSE(old->Escape(kSetBreak));
  EXPECT_EQ(LastError(), kErrorDeviceNotConnected);
  std::unique_ptr<Device> fresh = Ftdi().OpenByLocation(SimulatedFtdi::kLocationId);
  ASSERT_TRUE(fresh);
  EXPECT_TRUE(fresh->Escape(kSetBreak));
  EXPECT_TRUE(Ftdi().State().breakOn);
}

TEST_F(SimulatedFtdiTest, AStalledWriteEndsWhenCancelledOrPurged) {
  SetFault([](Faults& f) { f.stallWrites = true; });
  std::unique_ptr<Device> device = Ftdi().OpenByLocation(SimulatedFtdi::kLocationId);
  const uint8_t bytes[] = {1, 2};
  Overlapped cancelled;
  EXPECT_FALSE(device->Write(bytes, 2, nullptr, cancelled));
  EXPECT_EQ(LastError(), kErrorIoPending);
  EXPECT_EQ(cancelled.DoneEvent().WaitFor(20), plat::WaitResult::Timeout);
  EXPECT_TRUE(device->CancelTransfer(cancelled));
  uint32_t count = 0;
  EXPECT_FALSE(GetOverlappedResult(cancelled, &count, false));
  EXPECT_EQ(LastError(), kErrorOperationAborted);

  Overlapped purged;
  EXPECT_FALSE(device->Write(bytes, 2, nullptr, purged));
  EXPECT_TRUE(device->Purge(kPurgeAll));
  EXPECT_EQ(purged.DoneEvent().WaitFor(0), plat::WaitResult::Signaled);
  EXPECT_FALSE(device->CancelTransfer(purged)) << "nothing left to cancel";
}

TEST_F(SimulatedFtdiTest, ReadsPendingAtCloseAndAfterItEndAtOnceWithAnInvalidHandle) {
  std::unique_ptr<Device> device = OpenIndex0();
  readchecks::ExpectReadsAtCloseEndWithAnInvalidHandle(*device);
}

TEST_F(SimulatedFtdiTest, AnUnknownEscapeCodeIsRefused) {
  std::unique_ptr<Device> device = Ftdi().OpenByLocation(SimulatedFtdi::kLocationId);
  EXPECT_FALSE(device->Escape(7));
  EXPECT_EQ(LastError(), kErrorInvalidParameter);
}

TEST_F(SimulatedFtdiTest, ABaudRateOfZeroIsRefused) {
  std::unique_ptr<Device> device = Ftdi().OpenByLocation(SimulatedFtdi::kLocationId);
  LineSettings settings;
  settings.byteSize = 8;
  EXPECT_FALSE(device->SetLineSettings(settings));
  settings.baudRate = 8192;
  EXPECT_TRUE(device->SetLineSettings(settings));
  EXPECT_EQ(Ftdi().Bus().CurrentBaudRate(), 8192);
}

TEST(SimulatedFtdiSelection, FollowsTheEnvironmentAndAttachesTheEcuAsked) {
  Library* before = SetActiveLibrary(nullptr);
  SimulatedFtdi::Instance().Reset();
  const auto kwp2000Attached = [] {
    return sim::WithKwp2000Ecu(SimulatedFtdi::Instance().Bus(), [](sim::Kwp2000Ecu&) {});
  };
  ::unsetenv("QUOBRIX_FTDI");
  EXPECT_FALSE(sim::SelectFtdiFromEnvironment(sim::EcuKind::Kwp2000));
  EXPECT_NE(&ActiveLibrary(), &SimulatedFtdi::Instance());
  ::setenv("QUOBRIX_FTDI", "usb", 1);
  EXPECT_FALSE(sim::SelectFtdiFromEnvironment(sim::EcuKind::Kwp2000));
  EXPECT_FALSE(kwp2000Attached());
  ::setenv("QUOBRIX_FTDI", "sim", 1);
  EXPECT_TRUE(sim::SelectFtdiFromEnvironment(sim::EcuKind::Kwp2000));
  EXPECT_EQ(&ActiveLibrary(), &SimulatedFtdi::Instance());
  EXPECT_TRUE(kwp2000Attached());
  EXPECT_TRUE(sim::SelectFtdiFromEnvironment(sim::EcuKind::None));
  EXPECT_FALSE(kwp2000Attached());
  ::unsetenv("QUOBRIX_FTDI");
  SimulatedFtdi::Instance().Reset();
  SetActiveLibrary(before);
}

}  // namespace
