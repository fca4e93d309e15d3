// The simulated K-line interface: one interface at a fixed location id, wired to a KLineBus with
// an ECU model behind it, with faults that tests can inject. One process-wide instance; the
// environment variable QUOBRIX_FTDI=sim makes it the library in use, and tests install it with
// ScopedSimulation, which also resets it before and after.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/FtdiInterface.h"
#include "sim/EcuModel.h"
#include "sim/KLineBus.h"

namespace sim {

struct Faults {
  // Opening and configuring (each failing call leaves `lastError` as the thread's last error).
  bool failOpen = false;
  bool failGetLineSettings = false;
  bool failSetLineSettings = false;
  bool failSetQueueSizes = false;
  bool failSetTimeouts = false;
  plat::ftdi::Status latencyStatus = plat::ftdi::kOk;
  plat::ftdi::Status usbParametersStatus = plat::ftdi::kOk;
  // Operating.
  bool failPurge = false;
  bool failEscape = false;
  bool failClose = false;
  bool stallWrites = false;    // writes stay pending until cancelled or purged
  uint32_t escapeDelayMs = 0;  // each escape function reaches the line this much later
  uint32_t lastError = plat::ftdi::kErrorGenFailure;
  // Device information (failing calls give kIoError).
  bool failListing = false;
  bool failCreateDeviceInfo = false;  // the device count
  bool failFillDeviceInfo = false;    // filling the nodes
  bool failLibraryVersion = false;
  bool failOpenByIndex = false;
  int failEepromWord = -1;  // the word whose read fails
  bool failEepromStrings = false;
  bool failUserAreaSize = false;
};

// What the interface was last told, for tests.
struct InterfaceState {
  bool plugged = true;
  bool open = false;
  int opens = 0;  // successful opens so far
  plat::ftdi::LineSettings lineSettings;
  plat::ftdi::CommTimeouts timeouts;
  uint32_t receiveQueueSize = 0;
  uint32_t transmitQueueSize = 0;
  uint8_t latencyMs = 16;
  uint32_t usbInTransferSize = 0;
  uint32_t usbOutTransferSize = 0;
  bool dtr = false;
  bool rts = false;
  bool breakOn = false;
};

class SimulatedDevice;

class SimulatedFtdi final : public plat::ftdi::Library {
 public:
  static constexpr uint32_t kLocationId = 0x00000F11;
  static constexpr uint32_t kDeviceId = 0x04036001;
  static constexpr uint32_t kLibraryVersion = 0x00010500;
  static constexpr uint32_t kUserAreaSize = 0x58;
  static constexpr const char* kSerialNumber = "QBX00001";
  static constexpr const char* kDescription = "Quobrix K-line simulated";

  static SimulatedFtdi& Instance();

  // A fresh bus without a model, no faults, plugged in, nothing open. An interface still open
  // from before behaves as unplugged.
  void Reset();

  KLineBus& Bus();
  void SetModel(std::unique_ptr<EcuModel> model) { Bus().SetModel(std::move(model)); }

  Faults CurrentFaults() const;
  void SetFaults(const Faults& faults);
  InterfaceState State() const;
  // The interface disappears: every call on it fails, pending transfers end failed, the lists
  // are empty. Plug brings it back (closed).
  void Unplug();
  void Plug();
  void SetEepromWord(uint32_t offset, uint16_t word);
  void SetEepromStrings(const plat::ftdi::EepromStrings& strings);

  // plat::ftdi::Library
  std::unique_ptr<plat::ftdi::Device> OpenByLocation(uint32_t locationId) override;
  plat::ftdi::Status OpenByIndex(uint32_t index,
                                 std::unique_ptr<plat::ftdi::Device>& device) override;
  plat::ftdi::Status ListLocations(std::vector<uint32_t>& locationIds) override;
  plat::ftdi::Status CreateDeviceInfoList(uint32_t& count) override;
  plat::ftdi::Status GetDeviceInfoList(std::vector<plat::ftdi::DeviceInfo>& nodes) override;
  plat::ftdi::Status GetLibraryVersion(uint32_t& version) override;

  // The interface's shared state; a device keeps its own slot, so a reset cuts it off.
  struct Slot;

 private:
  SimulatedFtdi();
  std::shared_ptr<Slot> CurrentSlot() const;
  std::unique_ptr<plat::ftdi::Device> Open();

  mutable std::mutex mutex_;
  std::shared_ptr<Slot> slot_;
};

// The ECU model a program wants behind the simulated interface.
enum class EcuKind {
  None,     // nobody answers
  Kwp2000,  // the KWP2000 engine ECU (sim/Kwp2000EngineEcu.h)
  Kw71,     // the KW71 ECU, or with QUOBRIX_SIM_ECU=kw81 the KW81 one (sim/Kw71Ecu.h)
};

// QUOBRIX_FTDI=sim: makes the simulated interface the library in use, with a fresh ECU of the
// kind given attached, and returns true; otherwise changes nothing and returns false. A program
// calls it once at start-up, for example sim::SelectFtdiFromEnvironment(sim::EcuKind::Kwp2000).
bool SelectFtdiFromEnvironment(EcuKind ecu);

// For tests: resets the simulated interface and makes it the library in use; afterwards resets
// it again and restores the library used before.
class ScopedSimulation {
 public:
  ScopedSimulation();
  ~ScopedSimulation();
  ScopedSimulation(const ScopedSimulation&) = delete;
  ScopedSimulation& operator=(const ScopedSimulation&) = delete;

  SimulatedFtdi& Ftdi() { return SimulatedFtdi::Instance(); }
  KLineBus& Bus() { return Ftdi().Bus(); }

 private:
  plat::ftdi::Library* previous_;
};

}  // namespace sim
