// The backend for real interfaces, on libftdi1 and libusb-1.0. An interface's location id is its
// USB bus number followed by the port numbers of its path, one hexadecimal digit each (bus 2,
// ports 1.1: 0x211); listing and opening use the same rule. An open interface has a reader thread
// that feeds the receive queue. The kernel's serial driver is detached on open and given back on
// close.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <span>

#include "platform/FtdiInterface.h"

namespace plat::ftdi {

class LibftdiLibrary final : public Library {
 public:
  static LibftdiLibrary& Instance();

  static uint32_t LocationIdOf(uint8_t busNumber, std::span<const uint8_t> portNumbers);
  // Chip family from the USB device release number.
  static DeviceType TypeOfRelease(uint16_t releaseNumber);

  std::unique_ptr<Device> OpenByLocation(uint32_t locationId) override;
  Status OpenByIndex(uint32_t index, std::unique_ptr<Device>& device) override;
  Status ListLocations(std::vector<uint32_t>& locationIds) override;
  Status CreateDeviceInfoList(uint32_t& count) override;
  Status GetDeviceInfoList(std::vector<DeviceInfo>& nodes) override;
  Status GetLibraryVersion(uint32_t& version) override;

  // Kept by the devices: which locations this process has open.
  void NoteOpened(uint32_t locationId);
  void NoteClosed(uint32_t locationId);

 private:
  LibftdiLibrary() = default;
  bool IsOpenHere(uint32_t locationId);

  std::mutex mutex_;
  std::multiset<uint32_t> openHere_;
};

}  // namespace plat::ftdi
