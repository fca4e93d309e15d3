// An FT232R on an emulated USB bus (umockdev), so that the real libusb and libftdi code runs in
// tests. Its bulk endpoints are joined to a simulated K-line bus: bytes written go onto the line,
// and what the line carries (the echo and the ECU's bytes) comes back in bulk IN packets of at
// most 62 bytes behind the chip's two modem-status bytes. Every control request is recorded
// with its time; break on and off, DTR, RTS and the baud rate reach the bus as line events.
//
// The chip must exist before libusb is initialised, and the program must run under umockdev's
// preload library (UmockdevMain.cpp sees to that).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace sim {
class KLineBus;
}

namespace emulated {

struct ControlRequest {
  uint8_t requestType;
  uint8_t request;
  uint16_t value;
  uint16_t index;
  int64_t time;  // counter value when the request reached the chip
};

class Ft232r {
 public:
  // Bus 3, ports 1.4.
  static constexpr uint32_t kLocationId = 0x314;
  static constexpr uint32_t kDeviceId = 0x04036001;
  static constexpr const char* kManufacturer = "FTDI";
  static constexpr const char* kDescription = "FT232R USB UART";
  static constexpr const char* kSerialNumber = "QB2F41X7";

  // Plugged in, with the kernel's serial driver bound to its interface.
  explicit Ft232r(sim::KLineBus& bus);
  ~Ft232r();
  Ft232r(const Ft232r&) = delete;
  Ft232r& operator=(const Ft232r&) = delete;

  // The vendor requests (the FTDI commands) in the order they came.
  std::vector<ControlRequest> VendorRequests() const;
  void ClearRequests();

  bool KernelDriverBound() const;
  bool InterfaceClaimed() const;

  // A silent chip sends nothing on its bulk IN endpoint, not even its status packets, until it
  // speaks again; what the line carries meanwhile waits in its buffer.
  void Silence(bool silent);

  // While stalling, the bulk IN endpoint halts at every transfer. A halted endpoint ends each
  // transfer with a stall until the host clears the halt.
  void Stall(bool stalling);
  // The bulk IN transfers submitted so far.
  int BulkInTransfers() const;

  // The chip disappears: transfers in flight end with the device gone, later ones fail, and it
  // is no longer listed.
  void Unplug();

  // The baud rate that the divisor of a set-baud-rate request gives (3 MHz divided by a divisor
  // with a fraction in eighths).
  static double BaudRateOf(uint16_t value, uint16_t index);

 private:
  class Chip;
  std::unique_ptr<Chip> chip_;
};

}  // namespace emulated
