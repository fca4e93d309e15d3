#include "sim/SimulatedFtdi.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string_view>

#include "platform/Counter.h"
#include "platform/FtdiReceiveQueue.h"
#include "sim/Kw71Ecu.h"
#include "sim/Kwp2000Ecu.h"
#include "sim/Kwp2000EngineEcu.h"

using namespace plat::ftdi;

namespace sim {

namespace {
constexpr uint32_t kEepromWords = 128;
constexpr uint32_t kOpenHandle = 0x00A1B2C3;  // what the device list shows for an open device

constexpr const char* kManufacturer = "FTDI";

// Appends a USB string descriptor (length, type 3, UTF-16LE characters) at word `at` and returns
// its pointer word: the descriptor's byte address with bit 7 set in the low byte, its length in
// the high byte.
uint16_t PutStringDescriptor(std::vector<uint16_t>& words, uint32_t& at, const std::string& text) {
  const uint32_t bytes = 2 + 2 * static_cast<uint32_t>(text.size());
  const uint16_t pointer = static_cast<uint16_t>(bytes << 8 | 0x80 | (at * 2));
  words[at++] = static_cast<uint16_t>(0x0300 | bytes);
  for (unsigned char c : text)
    words[at++] = c;
  return pointer;
}

// The EEPROM of an FT232R as its programming tool leaves it: ids, power and string pointers, the
// three string descriptors, and the checksum in the last word of the configuration area.
std::vector<uint16_t> DefaultEeprom() {
  std::vector<uint16_t> words(kEepromWords, 0);
  words[0] = 0x4000;
  words[1] = static_cast<uint16_t>(SimulatedFtdi::kDeviceId >> 16);
  words[2] = static_cast<uint16_t>(SimulatedFtdi::kDeviceId & 0xFFFF);
  words[3] = 0x0600;  // chip release
  words[4] = 0x2DA0;  // bus powered, remote wake-up, 90 mA
  words[5] = 0x0008;
  words[10] = 0x1023;  // CBUS functions
  words[11] = 0x0005;
  uint32_t at = 12;
  words[7] = PutStringDescriptor(words, at, kManufacturer);
  words[8] = PutStringDescriptor(words, at, SimulatedFtdi::kDescription);
  words[9] = PutStringDescriptor(words, at, SimulatedFtdi::kSerialNumber);
  constexpr uint32_t kChecksumWord = 0x3F;
  uint16_t checksum = 0xAAAA;
  for (uint32_t i = 0; i < kChecksumWord; ++i) {
    checksum ^= words[i];
    checksum = static_cast<uint16_t>(checksum << 1 | checksum >> 15);
  }
  words[kChecksumWord] = checksum;
  return words;
}
}  // namespace

struct SimulatedFtdi::Slot {
  std::mutex mutex;
  Faults faults;
  InterfaceState state;
  std::shared_ptr<KLineBus> bus = std::make_shared<KLineBus>();
  std::vector<uint16_t> eeprom = DefaultEeprom();
  EepromStrings strings{kManufacturer, "QB", kDescription, kSerialNumber};
  SimulatedDevice* openDevice = nullptr;
};

using Slot = SimulatedFtdi::Slot;

// An open simulated interface.
class SimulatedDevice final : public Device, private TesterSide {
 public:
  explicit SimulatedDevice(std::shared_ptr<Slot> slot);
  ~SimulatedDevice() override;

  bool GetLineSettings(LineSettings& settings) override;
  bool SetLineSettings(const LineSettings& settings) override;
  bool SetQueueSizes(uint32_t receiveBytes, uint32_t transmitBytes) override;
  bool SetTimeouts(const CommTimeouts& timeouts) override;
  Status SetLatencyTimer(uint8_t ms) override;
  Status SetUsbParameters(uint32_t inTransferSize, uint32_t outTransferSize) override;
  bool Purge(uint32_t flags) override;
  bool Escape(uint32_t code) override;
  bool Write(const uint8_t* bytes, uint32_t count, uint32_t* written,
             Overlapped& transfer) override;
  bool Read(uint8_t* buffer, uint32_t count, uint32_t* read, Overlapped& transfer) override;
  bool CancelTransfer(Overlapped& transfer) override;
  bool Close() override;
  Status ReadEepromWord(uint32_t wordOffset, uint16_t& word) override;
  Status ReadEepromStrings(EepromStrings& strings) override;
  Status GetUserAreaSize(uint32_t& bytes) override;

  // The interface was unplugged (the slot's lock is held).
  void Vanish();

 private:
  void OnLineByte(uint8_t value, int64_t moment) override { queue_.Deliver(&value, 1, moment); }
  void OnTimer(int64_t now) override { queue_.Expire(now); }

  // False (with the last error) when the device is closed or gone, or `fault` is injected.
  bool Usable(bool Faults::*fault = nullptr);
  Status UsableStatus(bool Faults::*fault = nullptr);
  void Release();
  void EndStalledWrites(uint32_t error);
  bool SetLevel(bool InterfaceState::*level, bool on, void (KLineBus::*drive)(bool));

  std::shared_ptr<Slot> slot_;
  std::shared_ptr<KLineBus> bus_;
  ReceiveQueue queue_;
  std::mutex writesMutex_;
  std::vector<std::shared_ptr<TransferState>> stalledWrites_;
  std::atomic<bool> closed_{false};
  std::atomic<bool> gone_{false};
};

SimulatedDevice::SimulatedDevice(std::shared_ptr<Slot> slot)
    : slot_(std::move(slot)),
      bus_(slot_->bus),
      queue_([bus = bus_.get()](int64_t moment) { bus->WakeTesterAt(moment); }) {
  bus_->AttachTester(this);
}

SimulatedDevice::~SimulatedDevice() {
  Release();
}

void SimulatedDevice::Release() {
  bus_->DetachTester();
  {
    std::lock_guard lock(slot_->mutex);
    if (slot_->openDevice == this) {
      slot_->openDevice = nullptr;
      slot_->state.open = false;
    }
  }
  closed_ = true;
  // As the libftdi backend: pending reads and every later one end with an invalid handle.
  queue_.Close(kErrorInvalidHandle);
  EndStalledWrites(kErrorOperationAborted);
}

void SimulatedDevice::Vanish() {
  gone_ = true;
  queue_.AbortReads(kErrorDeviceNotConnected);
  EndStalledWrites(kErrorDeviceNotConnected);
}

void SimulatedDevice::EndStalledWrites(uint32_t error) {
  std::lock_guard lock(writesMutex_);
  for (auto& state : stalledWrites_)
    state->Finish(false, error);
  stalledWrites_.clear();
}

bool SimulatedDevice::Usable(bool Faults::*fault) {
  if (closed_) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (gone_) {
    SetLastError(kErrorDeviceNotConnected);
    return false;
  }
  if (fault == nullptr) return true;
  std::lock_guard lock(slot_->mutex);
  if (!(slot_->faults.*fault)) return true;
  SetLastError(slot_->faults.lastError);
  return false;
}

Status SimulatedDevice::UsableStatus(bool Faults::*fault) {
  if (closed_) return kInvalidHandle;
  if (gone_) return kDeviceNotFound;
  return Usable(fault) ? kOk : kIoError;
}

bool SimulatedDevice::GetLineSettings(LineSettings& settings) {
  if (!Usable(&Faults::failGetLineSettings)) return false;
  std::lock_guard lock(slot_->mutex);
  settings = slot_->state.lineSettings;
  return true;
}

bool SimulatedDevice::SetLineSettings(const LineSettings& settings) {
  if (!Usable(&Faults::failSetLineSettings)) return false;
  if (settings.baudRate == 0 || settings.byteSize < 5 || settings.byteSize > 8) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  bool baudChanged;
  {
    std::lock_guard lock(slot_->mutex);
    baudChanged = static_cast<int32_t>(settings.baudRate) != bus_->CurrentBaudRate();
    slot_->state.lineSettings = settings;
  }
  if (baudChanged) bus_->SetBaudRate(static_cast<int32_t>(settings.baudRate));
  SetLevel(&InterfaceState::dtr, settings.dtrControl == kDtrControlEnable, &KLineBus::SetDtr);
  SetLevel(&InterfaceState::rts, settings.rtsControl == kRtsControlEnable, &KLineBus::SetRts);
  return true;
}

bool SimulatedDevice::SetLevel(bool InterfaceState::*level, bool on,
                               void (KLineBus::*drive)(bool)) {
  {
    std::lock_guard lock(slot_->mutex);
    if (slot_->state.*level == on) return true;
    slot_->state.*level = on;
  }
  ((*bus_).*drive)(on);
  return true;
}

bool SimulatedDevice::SetQueueSizes(uint32_t receiveBytes, uint32_t transmitBytes) {
  if (!Usable(&Faults::failSetQueueSizes)) return false;
  queue_.SetCapacity(std::max<uint32_t>(receiveBytes, ReceiveQueue::kDefaultCapacity));
  std::lock_guard lock(slot_->mutex);
  slot_->state.receiveQueueSize = receiveBytes;
  slot_->state.transmitQueueSize = transmitBytes;
  return true;
}

bool SimulatedDevice::SetTimeouts(const CommTimeouts& timeouts) {
  if (!Usable(&Faults::failSetTimeouts)) return false;
  queue_.SetTimeouts(timeouts);
  std::lock_guard lock(slot_->mutex);
  slot_->state.timeouts = timeouts;
  return true;
}

Status SimulatedDevice::SetLatencyTimer(uint8_t ms) {
  if (Status status = UsableStatus(); status != kOk) return status;
  std::lock_guard lock(slot_->mutex);
  if (slot_->faults.latencyStatus != kOk) {
    SetLastError(slot_->faults.lastError);
    return slot_->faults.latencyStatus;
  }
  slot_->state.latencyMs = ms;
  return kOk;
}

Status SimulatedDevice::SetUsbParameters(uint32_t inTransferSize, uint32_t outTransferSize) {
  if (Status status = UsableStatus(); status != kOk) return status;
  std::lock_guard lock(slot_->mutex);
  if (slot_->faults.usbParametersStatus != kOk) {
    SetLastError(slot_->faults.lastError);
    return slot_->faults.usbParametersStatus;
  }
  slot_->state.usbInTransferSize = inTransferSize;
  slot_->state.usbOutTransferSize = outTransferSize;
  return kOk;
}

bool SimulatedDevice::Purge(uint32_t flags) {
  if (!Usable(&Faults::failPurge)) return false;
  if (flags & kPurgeRxAbort) queue_.AbortReads(kErrorOperationAborted);
  if (flags & kPurgeTxAbort) EndStalledWrites(kErrorOperationAborted);
  if (flags & kPurgeRxClear) queue_.ClearBuffer();
  if (flags & kPurgeTxClear) bus_->DropUnsentTesterBytes();
  bus_->NotePurge();
  return true;
}

bool SimulatedDevice::Escape(uint32_t code) {
  if (!Usable(&Faults::failEscape)) return false;
  uint32_t delayMs;
  {
    std::lock_guard lock(slot_->mutex);
    delayMs = slot_->faults.escapeDelayMs;
  }
  if (delayMs > 0) plat::SleepMs(delayMs);  // a busy USB
  switch (code) {
    case kSetRts:
      return SetLevel(&InterfaceState::rts, true, &KLineBus::SetRts);
    case kClearRts:
      return SetLevel(&InterfaceState::rts, false, &KLineBus::SetRts);
    case kSetDtr:
      return SetLevel(&InterfaceState::dtr, true, &KLineBus::SetDtr);
    case kClearDtr:
      return SetLevel(&InterfaceState::dtr, false, &KLineBus::SetDtr);
    case kSetBreak:
      return SetLevel(&InterfaceState::breakOn, true, &KLineBus::SetBreak);
    case kClearBreak:
      return SetLevel(&InterfaceState::breakOn, false, &KLineBus::SetBreak);
    default:
      SetLastError(kErrorInvalidParameter);
      return false;
  }
}

bool SimulatedDevice::Write(const uint8_t* bytes, uint32_t count, uint32_t* written,
                            Overlapped& transfer) {
  std::shared_ptr<TransferState> state = transfer.Begin(nullptr);
  if (!Usable()) {
    state->Finish(false, LastError());
    return false;
  }
  bool stall;
  {
    std::lock_guard lock(slot_->mutex);
    stall = slot_->faults.stallWrites;
  }
  if (stall) {
    std::lock_guard lock(writesMutex_);
    stalledWrites_.push_back(state);
    SetLastError(kErrorIoPending);
    return false;
  }
  bus_->TesterSend({bytes, count});
  state->SetCount(count);
  state->Finish(true, 0);
  if (written != nullptr) *written = count;
  return true;
}

bool SimulatedDevice::Read(uint8_t* buffer, uint32_t count, uint32_t* read, Overlapped& transfer) {
  if (!Usable()) {
    transfer.Begin(nullptr)->Finish(false, LastError());
    return false;
  }
  return queue_.StartRead(buffer, count, read, transfer);
}

bool SimulatedDevice::CancelTransfer(Overlapped& transfer) {
  if (queue_.Cancel(transfer)) return true;
  std::lock_guard lock(writesMutex_);
  auto found = std::find(stalledWrites_.begin(), stalledWrites_.end(), transfer.State());
  if (found == stalledWrites_.end()) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  (*found)->Finish(false, kErrorOperationAborted);
  stalledWrites_.erase(found);
  return true;
}

bool SimulatedDevice::Close() {
  if (closed_) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  {
    std::lock_guard lock(slot_->mutex);
    if (slot_->faults.failClose) {
      SetLastError(slot_->faults.lastError);
      return false;
    }
  }
  Release();
  return true;
}

Status SimulatedDevice::ReadEepromWord(uint32_t wordOffset, uint16_t& word) {
  if (Status status = UsableStatus(); status != kOk) return status;
  std::lock_guard lock(slot_->mutex);
  if (static_cast<int64_t>(wordOffset) == slot_->faults.failEepromWord) return kEepromReadFailed;
  if (wordOffset >= slot_->eeprom.size()) return kInvalidParameter;
  word = slot_->eeprom[wordOffset];
  return kOk;
}

Status SimulatedDevice::ReadEepromStrings(EepromStrings& strings) {
  if (Status status = UsableStatus(&Faults::failEepromStrings); status != kOk) return status;
  std::lock_guard lock(slot_->mutex);
  strings = slot_->strings;
  return kOk;
}

Status SimulatedDevice::GetUserAreaSize(uint32_t& bytes) {
  if (Status status = UsableStatus(&Faults::failUserAreaSize); status != kOk) return status;
  bytes = SimulatedFtdi::kUserAreaSize;
  return kOk;
}

// ---------------------------------------------------------------------------------------------

SimulatedFtdi& SimulatedFtdi::Instance() {
  static SimulatedFtdi instance;
  return instance;
}

SimulatedFtdi::SimulatedFtdi() : slot_(std::make_shared<Slot>()) {}

std::shared_ptr<Slot> SimulatedFtdi::CurrentSlot() const {
  std::lock_guard lock(mutex_);
  return slot_;
}

void SimulatedFtdi::Reset() {
  auto fresh = std::make_shared<Slot>();
  std::shared_ptr<Slot> old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(slot_, fresh);
  }
  std::lock_guard lock(old->mutex);
  old->state.plugged = false;
  if (old->openDevice != nullptr) old->openDevice->Vanish();
}

KLineBus& SimulatedFtdi::Bus() {
  return *CurrentSlot()->bus;
}

Faults SimulatedFtdi::CurrentFaults() const {
  auto slot = CurrentSlot();
  std::lock_guard lock(slot->mutex);
  return slot->faults;
}

void SimulatedFtdi::SetFaults(const Faults& faults) {
  auto slot = CurrentSlot();
  std::lock_guard lock(slot->mutex);
  slot->faults = faults;
}

InterfaceState SimulatedFtdi::State() const {
  auto slot = CurrentSlot();
  std::lock_guard lock(slot->mutex);
  return slot->state;
}

void SimulatedFtdi::Unplug() {
  auto slot = CurrentSlot();
  std::lock_guard lock(slot->mutex);
  slot->state.plugged = false;
  if (slot->openDevice != nullptr) slot->openDevice->Vanish();
}

void SimulatedFtdi::Plug() {
  auto slot = CurrentSlot();
  std::lock_guard lock(slot->mutex);
  slot->state.plugged = true;
}

void SimulatedFtdi::SetEepromWord(uint32_t offset, uint16_t word) {
  auto slot = CurrentSlot();
  std::lock_guard lock(slot->mutex);
  if (offset < slot->eeprom.size()) slot->eeprom[offset] = word;
}

void SimulatedFtdi::SetEepromStrings(const EepromStrings& strings) {
  auto slot = CurrentSlot();
  std::lock_guard lock(slot->mutex);
  slot->strings = strings;
}

std::unique_ptr<Device> SimulatedFtdi::Open() {
  auto slot = CurrentSlot();
  std::lock_guard lock(slot->mutex);
  if (!slot->state.plugged || slot->state.open) {
    SetLastError(kErrorDeviceNotConnected);
    return nullptr;
  }
  if (slot->faults.failOpen) {
    SetLastError(slot->faults.lastError);
    return nullptr;
  }
  auto device = std::make_unique<SimulatedDevice>(slot);
  slot->openDevice = device.get();
  slot->state.open = true;
  ++slot->state.opens;
  return device;
}

std::unique_ptr<Device> SimulatedFtdi::OpenByLocation(uint32_t locationId) {
  if (locationId != kLocationId) {
    SetLastError(kErrorDeviceNotConnected);
    return nullptr;
  }
  return Open();
}

Status SimulatedFtdi::OpenByIndex(uint32_t index, std::unique_ptr<Device>& device) {
  if (CurrentFaults().failOpenByIndex) return kDeviceNotOpened;
  if (index != 0 || !State().plugged) return kDeviceNotFound;
  device = Open();
  return device ? kOk : kDeviceNotOpened;
}

Status SimulatedFtdi::ListLocations(std::vector<uint32_t>& locationIds) {
  locationIds.clear();
  if (CurrentFaults().failListing) return kIoError;
  if (State().plugged) locationIds.push_back(kLocationId);
  return kOk;
}

Status SimulatedFtdi::CreateDeviceInfoList(uint32_t& count) {
  if (CurrentFaults().failCreateDeviceInfo) return kIoError;
  count = State().plugged ? 1 : 0;
  return kOk;
}

Status SimulatedFtdi::GetDeviceInfoList(std::vector<DeviceInfo>& nodes) {
  if (CurrentFaults().failFillDeviceInfo) return kIoError;
  InterfaceState state = State();
  nodes.resize(std::min<size_t>(nodes.size(), state.plugged ? 1 : 0));
  if (nodes.empty()) return kOk;
  DeviceInfo info;
  info.flags = state.open ? kDeviceFlagOpened : 0;
  info.type = kType232R;
  info.id = kDeviceId;
  info.locationId = kLocationId;
  info.serialNumber = kSerialNumber;
  info.description = kDescription;
  info.handle = state.open ? kOpenHandle : 0;
  nodes[0] = info;
  return kOk;
}

Status SimulatedFtdi::GetLibraryVersion(uint32_t& version) {
  if (CurrentFaults().failLibraryVersion) return kIoError;
  version = kLibraryVersion;
  return kOk;
}

namespace {
std::unique_ptr<EcuModel> MakeEcu(EcuKind kind) {
  switch (kind) {
    case EcuKind::Kwp2000:
      return std::make_unique<Kwp2000Ecu>(Kwp2000EcuConfig{}, Kwp2000EngineData());
    case EcuKind::Kw71:
      return Kw71EcuFromEnvironment();
    case EcuKind::None:
      break;
  }
  return nullptr;
}
}  // namespace

bool SelectFtdiFromEnvironment(EcuKind ecu) {
  const char* choice = std::getenv("QUOBRIX_FTDI");
  if (choice == nullptr || std::string_view(choice) != "sim") return false;
  SimulatedFtdi::Instance().SetModel(MakeEcu(ecu));
  SetActiveLibrary(&SimulatedFtdi::Instance());
  return true;
}

ScopedSimulation::ScopedSimulation() {
  SimulatedFtdi::Instance().Reset();
  previous_ = SetActiveLibrary(&SimulatedFtdi::Instance());
}

ScopedSimulation::~ScopedSimulation() {
  SetActiveLibrary(previous_);
  SimulatedFtdi::Instance().Reset();
}

}  // namespace sim
