// The libftdi backend without hardware: location ids, chip families, and a machine without an
// interface.
#include "platform/FtdiLibusb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using plat::ftdi::DeviceType;
using plat::ftdi::LibftdiLibrary;

namespace {

struct LocationCase {
  uint8_t bus;
  std::vector<uint8_t> ports;
  uint32_t id;
};

class LocationId : public ::testing::TestWithParam<LocationCase> {};

TEST_P(LocationId, IsTheBusThenEachPortAsOneHexDigit) {
  EXPECT_EQ(LibftdiLibrary::LocationIdOf(GetParam().bus, GetParam().ports), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(Paths, LocationId,
                         ::testing::Values(LocationCase{2, {1, 1}, 0x211}, LocationCase{1, {}, 0x1},
                                           LocationCase{3, {2, 4, 1}, 0x3241},
                                           LocationCase{1, {10, 15}, 0x1AF},
                                           LocationCase{12, {3}, 0xC3}));

struct ReleaseCase {
  uint16_t release;
  DeviceType type;
};

class ChipFamily : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(ChipFamily, FollowsTheReleaseNumber) {
  EXPECT_EQ(LibftdiLibrary::TypeOfRelease(GetParam().release), GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(Releases, ChipFamily,
                         ::testing::Values(ReleaseCase{0x0400, plat::ftdi::kTypeBM},
                                           ReleaseCase{0x0200, plat::ftdi::kTypeAM},
                                           ReleaseCase{0x0600, plat::ftdi::kType232R},
                                           ReleaseCase{0x0700, plat::ftdi::kType2232H},
                                           ReleaseCase{0x0900, plat::ftdi::kType232H},
                                           ReleaseCase{0x1000, plat::ftdi::kTypeXSeries},
                                           ReleaseCase{0x0100, plat::ftdi::kTypeUnknown}));

TEST(LibftdiLibrary, ListingIsNoErrorAndAgreesWithTheDeviceInformation) {
  LibftdiLibrary& library = LibftdiLibrary::Instance();
  std::vector<uint32_t> ids{0xDEAD};
  ASSERT_EQ(library.ListLocations(ids), plat::ftdi::kOk);
  uint32_t count = 0;
  ASSERT_EQ(library.CreateDeviceInfoList(count), plat::ftdi::kOk);
  std::vector<plat::ftdi::DeviceInfo> devices(count);
  ASSERT_EQ(library.GetDeviceInfoList(devices), plat::ftdi::kOk);
  ASSERT_EQ(devices.size(), ids.size());
  for (size_t i = 0; i < ids.size(); ++i)
    EXPECT_EQ(devices[i].locationId, ids[i]);
}

TEST(LibftdiLibrary, AnAbsentLocationCannotBeOpened) {
  EXPECT_FALSE(LibftdiLibrary::Instance().OpenByLocation(0xFFFFFFFF));
  EXPECT_EQ(plat::ftdi::LastError(), plat::ftdi::kErrorDeviceNotConnected);
  std::unique_ptr<plat::ftdi::Device> device;
  EXPECT_EQ(LibftdiLibrary::Instance().OpenByIndex(1000, device), plat::ftdi::kDeviceNotFound);
}

TEST(LibftdiLibrary, ReportsItsVersion) {
  uint32_t version = 0;
  EXPECT_EQ(LibftdiLibrary::Instance().GetLibraryVersion(version), plat::ftdi::kOk);
  EXPECT_GE(version, 0x00010000u);
}

}  // namespace
