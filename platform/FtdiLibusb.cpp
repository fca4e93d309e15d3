#include "platform/FtdiLibusb.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "platform/Counter.h"
#include "platform/FtdiReceiveQueue.h"

namespace plat::ftdi {

namespace {

constexpr int kMaxPortDepth = 7;
constexpr uint32_t kInitialBaudRate = 9600;
constexpr size_t kModemStatusBytes = 2;  // in front of the data of every packet the chip sends
// A bulk IN transfer of the reader ends after this long even when the chip sends nothing, so
// that a silent chip holds up a close no longer.
constexpr unsigned kReaderTransferMs = 50;
constexpr auto kReaderRetryPause = std::chrono::microseconds(200);
// While bulk transfers keep failing, the reader pauses before each new try, twice as long each
// time up to the longest pause: about 20 transfers a second.
constexpr auto kFirstFailurePause = std::chrono::milliseconds(5);
constexpr auto kLongestFailurePause = std::chrono::milliseconds(50);
// Failures that last this long fail the reads until a transfer succeeds again.
constexpr int64_t kFailureMsBeforeReadsFail = 1000;

struct ContextDeleter {
  void operator()(ftdi_context* context) const { ftdi_free(context); }
};
using ContextPtr = std::unique_ptr<ftdi_context, ContextDeleter>;

struct ListDeleter {
  void operator()(ftdi_device_list* list) const { ftdi_list_free(&list); }
};
using DeviceListPtr = std::unique_ptr<ftdi_device_list, ListDeleter>;

// A failed libftdi call becomes the thread's last error.
bool Succeeded(int result) {
  if (result >= 0) return true;
  SetLastError(result == LIBUSB_ERROR_NO_DEVICE ? kErrorDeviceNotConnected : kErrorGenFailure);
  return false;
}

// The attached FTDI devices, ordered by location id. A machine without a USB subsystem has
// none attached.
class Enumeration {
 public:
  struct Attached {
    libusb_device* device;
    uint32_t locationId;
  };

  Enumeration() : context_(ftdi_new()) {
    if (!context_) return;
    ftdi_device_list* list = nullptr;
    found_ = ftdi_usb_find_all(context_.get(), &list, 0, 0);
    list_.reset(list);
    for (ftdi_device_list* node = list; node != nullptr; node = node->next)
      attached_.push_back({node->dev, LocationOf(node->dev)});
    std::sort(attached_.begin(), attached_.end(),
              [](const Attached& a, const Attached& b) { return a.locationId < b.locationId; });
  }

  // kOk unless libusb could not list the bus.
  Status Result() const { return found_ < 0 ? kIoError : kOk; }
  const std::vector<Attached>& Devices() const { return attached_; }
  ftdi_context* Context() const { return context_.get(); }
  // The context with its libusb session, for a device opened through it.
  ContextPtr TakeContext() { return std::move(context_); }

  static uint32_t LocationOf(libusb_device* device) {
    std::array<uint8_t, kMaxPortDepth> ports{};
    int depth = libusb_get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
    return LibftdiLibrary::LocationIdOf(libusb_get_bus_number(device),
                                        {ports.data(), static_cast<size_t>(std::max(depth, 0))});
  }

 private:
  ContextPtr context_;
  DeviceListPtr list_;
  int found_ = 0;
  std::vector<Attached> attached_;
};

// Calls `expire` with the counter value at the moments asked for, on a thread of its own, so
// that the read time-outs are kept whatever the USB transfers do. Of the moments asked for and
// not yet reached it keeps the earliest; the receive queue asks again for the next one.
class ExpiryTimer {
 public:
  explicit ExpiryTimer(std::function<void(int64_t)> expire)
      : expire_(std::move(expire)), thread_([this] { Run(); }) {}

  ~ExpiryTimer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  ExpiryTimer(const ExpiryTimer&) = delete;
  ExpiryTimer& operator=(const ExpiryTimer&) = delete;

  void RequestAt(int64_t moment) {
    {
      std::lock_guard lock(mutex_);
      if (next_ && *next_ <= moment) return;
      next_ = moment;
    }
    wake_.notify_one();
  }

 private:
  // The counter runs on the monotonic clock, as the steady clock does.
  static std::chrono::steady_clock::time_point TimePointOf(int64_t moment) {
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(moment));
  }

  void Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      if (!next_) {
        wake_.wait(lock);
      } else if (QueryCounter() < *next_) {
        wake_.wait_until(lock, TimePointOf(*next_));
      } else {
        next_.reset();
        lock.unlock();
        expire_(QueryCounter());
        lock.lock();
      }
    }
  }

  std::function<void(int64_t)> expire_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<int64_t> next_;
  bool stopping_ = false;
  std::thread thread_;
};

ftdi_bits_type BitsOf(uint8_t byteSize) {
  return byteSize == 7 ? BITS_7 : BITS_8;
}

ftdi_stopbits_type StopBitsOf(uint8_t stopBits) {
  switch (stopBits) {
    case 1:
      return STOP_BIT_15;
    case 2:
      return STOP_BIT_2;
    default:
      return STOP_BIT_1;
  }
}

ftdi_parity_type ParityOf(uint8_t parity) {
  switch (parity) {
    case 1:
      return ODD;
    case 2:
      return EVEN;
    case 3:
      return MARK;
    case 4:
      return SPACE;
    default:
      return NONE;
  }
}

class LibftdiDevice final : public Device {
 public:
  LibftdiDevice(ContextPtr context, uint32_t locationId)
      : context_(std::move(context)),
        locationId_(locationId),
        queue_([this](int64_t moment) { timer_.RequestAt(moment); }),
        timer_([this](int64_t now) { queue_.Expire(now); }) {
    settings_.length = kLineSettingsLength;
    settings_.baudRate = kInitialBaudRate;
    settings_.binary = true;
    settings_.byteSize = 8;
    LibftdiLibrary::Instance().NoteOpened(locationId_);
    StartReader();
  }

  ~LibftdiDevice() override {
    if (!closed_.exchange(true)) Shutdown();
  }

  bool GetLineSettings(LineSettings& settings) override {
    std::lock_guard lock(controlMutex_);
    settings = settings_;
    return Usable();
  }

  bool SetLineSettings(const LineSettings& settings) override {
    std::lock_guard lock(controlMutex_);
    if (!Usable()) return false;
    if (settings.baudRate == 0 || settings.byteSize < 7 || settings.byteSize > 8) {
      SetLastError(kErrorInvalidParameter);
      return false;
    }
    bool applied =
        Succeeded(ftdi_set_baudrate(context_.get(), static_cast<int>(settings.baudRate))) &&
        Succeeded(ftdi_setflowctrl(context_.get(), SIO_DISABLE_FLOW_CTRL)) &&
        ApplyFraming(settings) &&
        Succeeded(ftdi_setdtr(context_.get(), settings.dtrControl == kDtrControlEnable)) &&
        Succeeded(ftdi_setrts(context_.get(), settings.rtsControl == kRtsControlEnable));
    if (applied) settings_ = settings;
    return applied;
  }

  bool SetQueueSizes(uint32_t receiveBytes, uint32_t /*transmitBytes*/) override {
    if (!Usable()) return false;
    queue_.SetCapacity(std::max<uint32_t>(receiveBytes, ReceiveQueue::kDefaultCapacity));
    return true;
  }

  bool SetTimeouts(const CommTimeouts& timeouts) override {
    if (!Usable()) return false;
    queue_.SetTimeouts(timeouts);
    return true;
  }

  Status SetLatencyTimer(uint8_t ms) override {
    std::lock_guard lock(controlMutex_);
    if (!Usable()) return kDeviceNotFound;
    return Succeeded(ftdi_set_latency_timer(context_.get(), ms)) ? kOk : kIoError;
  }

  Status SetUsbParameters(uint32_t inTransferSize, uint32_t /*outTransferSize*/) override {
    std::lock_guard lock(readMutex_);
    if (!Usable()) return kDeviceNotFound;
    if (inTransferSize == 0) return kOk;
    return Succeeded(ftdi_read_data_set_chunksize(context_.get(), inTransferSize)) ? kOk : kIoError;
  }

  // Usable() is asked under both locks, which a close holds while it frees the context.
  bool Purge(uint32_t flags) override {
    std::scoped_lock lock(controlMutex_, readMutex_);
    if (!Usable()) return false;
    if (flags & kPurgeRxAbort) queue_.AbortReads(kErrorOperationAborted);
    bool purged = true;
    if (flags & kPurgeRxClear) {
      purged = Succeeded(ftdi_tciflush(context_.get()));
      queue_.ClearBuffer();
    }
    if (flags & kPurgeTxClear) purged = Succeeded(ftdi_tcoflush(context_.get())) && purged;
    return purged;
  }

  bool Escape(uint32_t code) override {
    std::lock_guard lock(controlMutex_);
    if (!Usable()) return false;
    switch (code) {
      case kSetRts:
        return Succeeded(ftdi_setrts(context_.get(), 1));
      case kClearRts:
        return Succeeded(ftdi_setrts(context_.get(), 0));
      case kSetDtr:
        return Succeeded(ftdi_setdtr(context_.get(), 1));
      case kClearDtr:
        return Succeeded(ftdi_setdtr(context_.get(), 0));
      case kSetBreak:
        return SetBreak(true);
      case kClearBreak:
        return SetBreak(false);
      default:
        SetLastError(kErrorInvalidParameter);
        return false;
    }
  }

  bool Write(const uint8_t* bytes, uint32_t count, uint32_t* written,
             Overlapped& transfer) override {
    std::shared_ptr<TransferState> state = transfer.Begin(nullptr);
    std::lock_guard lock(controlMutex_);
    int result = Usable() ? ftdi_write_data(context_.get(), bytes, static_cast<int>(count)) : -1;
    if (result < 0) {
      if (Usable()) Succeeded(result);
      state->Finish(false, LastError());
      return false;
    }
    state->SetCount(static_cast<uint32_t>(result));
    state->Finish(true, 0);
    if (written != nullptr) *written = static_cast<uint32_t>(result);
    return true;
  }

  bool Read(uint8_t* buffer, uint32_t count, uint32_t* read, Overlapped& transfer) override {
    if (!Usable()) {
      transfer.Begin(nullptr)->Finish(false, LastError());
      return false;
    }
    return queue_.StartRead(buffer, count, read, transfer);
  }

  bool CancelTransfer(Overlapped& transfer) override {
    if (queue_.Cancel(transfer)) return true;
    SetLastError(kErrorInvalidParameter);
    return false;
  }

  bool Close() override {
    if (closed_.exchange(true)) {
      SetLastError(kErrorInvalidHandle);
      return false;
    }
    Shutdown();
    return true;
  }

  Status ReadEepromWord(uint32_t wordOffset, uint16_t& word) override {
    std::lock_guard lock(controlMutex_);
    if (!Usable()) return kDeviceNotFound;
    unsigned short value = 0;
    if (ftdi_read_eeprom_location(context_.get(), static_cast<int>(wordOffset), &value) < 0)
      return kEepromReadFailed;
    word = value;
    return kOk;
  }

  Status ReadEepromStrings(EepromStrings& strings) override {
    std::lock_guard lock(controlMutex_);
    if (!Usable()) return kDeviceNotFound;
    if (!DecodeEeprom()) return kEepromReadFailed;
    std::array<char, kManufacturerSize> manufacturer{};
    std::array<char, kDescriptionSize> description{};
    std::array<char, kSerialNumberSize> serial{};
    if (ftdi_eeprom_get_strings(context_.get(), manufacturer.data(), manufacturer.size(),
                                description.data(), description.size(), serial.data(),
                                serial.size()) < 0)
      return kEepromReadFailed;
    strings.manufacturer = manufacturer.data();
    strings.description = description.data();
    strings.serialNumber = serial.data();
    // The chip keeps the manufacturer id as the two-letter prefix of its serial number.
    strings.manufacturerId = FitText(strings.serialNumber.substr(0, 2), kManufacturerIdSize);
    return kOk;
  }

  Status GetUserAreaSize(uint32_t& bytes) override {
    std::lock_guard lock(controlMutex_);
    if (!Usable()) return kDeviceNotFound;
    if (!DecodeEeprom()) return kEepromReadFailed;
    int free = ftdi_eeprom_build(context_.get());
    if (free < 0) return kOtherError;
    bytes = static_cast<uint32_t>(free);
    return kOk;
  }

 private:
  bool Usable() {
    if (closed_) {
      SetLastError(kErrorInvalidHandle);
      return false;
    }
    if (!gone_) return true;
    SetLastError(kErrorDeviceNotConnected);
    return false;
  }

  bool DecodeEeprom() {
    return ftdi_read_eeprom(context_.get()) >= 0 && ftdi_eeprom_decode(context_.get(), 0) >= 0;
  }

  bool ApplyFraming(const LineSettings& settings) {
    return Succeeded(ftdi_set_line_property2(
        context_.get(), BitsOf(settings.byteSize), StopBitsOf(settings.stopBits),
        ParityOf(settings.parity), breakOn_ ? BREAK_ON : BREAK_OFF));
  }

  bool SetBreak(bool on) {
    bool previous = breakOn_;
    breakOn_ = on;
    if (ApplyFraming(settings_)) return true;
    breakOn_ = previous;
    return false;
  }

  void StartReader() {
    running_ = true;
    reader_ = std::thread([this] { ReadLoop(); });
  }

  void StopReader() {
    running_ = false;
    if (reader_.joinable()) reader_.join();
  }

  // Only a device that has gone ends the reader; a transfer that timed out is tried again
  // shortly, one that failed otherwise after a pause.
  void ReadLoop() {
    std::vector<uint8_t> received;
    while (running_) {
      int result;
      {
        std::lock_guard lock(readMutex_);
        result = ReadTransfer(received);
        // Handed over under the lock, so that no byte taken before a purge outlives it.
        if (!received.empty()) queue_.Deliver(received.data(), received.size(), QueryCounter());
      }
      if (result == LIBUSB_ERROR_NO_DEVICE) {
        gone_ = true;
        queue_.Close(kErrorDeviceNotConnected);
        return;
      }
      if (result < 0 && result != LIBUSB_ERROR_TIMEOUT) {
        PauseAfterFailure();
        continue;
      }
      EndFailure();
      if (received.empty()) std::this_thread::sleep_for(kReaderRetryPause);
    }
  }

  // Once the failures have lasted long enough, reads fail until a transfer succeeds.
  void PauseAfterFailure() {
    const int64_t now = QueryCounter();
    if (failingSince_) {
      failurePause_ = std::min(2 * failurePause_, kLongestFailurePause);
    } else {
      failingSince_ = now;
      failurePause_ = kFirstFailurePause;
    }
    if (now - *failingSince_ >= MsToCounts(kFailureMsBeforeReadsFail))
      queue_.Fail(kErrorGenFailure);
    std::this_thread::sleep_for(failurePause_);
  }

  void EndFailure() {
    if (!failingSince_) return;
    failingSince_.reset();
    queue_.Resume();
  }

  // One bulk IN transfer, which the chip ends with a short packet when its latency timer runs
  // out; `data` gets the bytes of its packets without their modem-status bytes. One transfer at
  // a time hands each byte over as it comes: libftdi's own read goes on with further transfers
  // as long as they carry data, which holds back every byte until the line falls quiet. The
  // packets that came before a time-out count. Returns libusb's result; a halted endpoint is
  // cleared for the next transfer.
  int ReadTransfer(std::vector<uint8_t>& data) {
    ftdi_context* context = context_.get();
    transfer_.resize(context->readbuffer_chunksize);
    int length = 0;
    const auto endpoint = static_cast<unsigned char>(context->out_ep);  // libftdi's name for IN
    const int result =
        libusb_bulk_transfer(context->usb_dev, endpoint, transfer_.data(),
                             static_cast<int>(transfer_.size()), &length, kReaderTransferMs);
    data.clear();
    if (result == LIBUSB_ERROR_PIPE) libusb_clear_halt(context->usb_dev, endpoint);
    const size_t packetSize = context->max_packet_size;
    for (size_t start = 0; start < static_cast<size_t>(length); start += packetSize) {
      const size_t end = std::min(start + packetSize, static_cast<size_t>(length));
      if (end > start + kModemStatusBytes)
        data.insert(data.end(),
                    transfer_.begin() + static_cast<ptrdiff_t>(start + kModemStatusBytes),
                    transfer_.begin() + static_cast<ptrdiff_t>(end));
    }
    return result;
  }

  // Every pending and later read ends at once; calls that began before the close finish first.
  void Shutdown() {
    queue_.Close(kErrorInvalidHandle);
    StopReader();
    std::scoped_lock lock(controlMutex_, readMutex_);
    ftdi_usb_close(context_.get());
    context_.reset();
    LibftdiLibrary::Instance().NoteClosed(locationId_);
  }

  ContextPtr context_;
  uint32_t locationId_;
  // The queue asks the timer for its moments and the timer's thread calls the queue: the timer
  // comes second so that it stops before the queue goes.
  ReceiveQueue queue_;
  ExpiryTimer timer_;
  std::mutex controlMutex_;        // control requests, writes and the EEPROM
  std::mutex readMutex_;           // the reader's transfers and the receive buffer's purge
  std::vector<uint8_t> transfer_;  // the reader's
  // The reader's, while its transfers fail: since when, and the pause before the next try.
  std::optional<int64_t> failingSince_;
  std::chrono::milliseconds failurePause_{};
  LineSettings settings_;
  bool breakOn_ = false;
  std::atomic<bool> running_{false};
  std::atomic<bool> gone_{false};
  std::atomic<bool> closed_{false};
  std::thread reader_;
};

// Opens a device of the enumeration, which hands its context over to the device.
std::unique_ptr<Device> OpenAttached(Enumeration& enumeration,
                                     const Enumeration::Attached& attached) {
  ftdi_context* context = enumeration.Context();
  context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
  if (!Succeeded(ftdi_set_interface(context, INTERFACE_A)) ||
      !Succeeded(ftdi_usb_open_dev(context, attached.device)))
    return nullptr;
  return std::make_unique<LibftdiDevice>(enumeration.TakeContext(), attached.locationId);
}

DeviceInfo InfoOf(const Enumeration& enumeration, const Enumeration::Attached& attached,
                  bool openHere) {
  DeviceInfo info;
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(attached.device, &descriptor) == 0) {
    info.id = static_cast<uint32_t>(descriptor.idVendor) << 16 | descriptor.idProduct;
    info.type = LibftdiLibrary::TypeOfRelease(descriptor.bcdDevice);
  }
  if (info.type == kType2232H || info.type == kType4232H || info.type == kType232H)
    info.flags |= kDeviceFlagHighSpeed;
  if (openHere) info.flags |= kDeviceFlagOpened;
  info.locationId = attached.locationId;
  std::array<char, kDescriptionSize> description{};
  std::array<char, kSerialNumberSize> serial{};
  if (ftdi_usb_get_strings(enumeration.Context(), attached.device, nullptr, 0, description.data(),
                           description.size(), serial.data(), serial.size()) == 0) {
    info.description = description.data();
    info.serialNumber = serial.data();
  }
  return info;
}

}  // namespace

LibftdiLibrary& LibftdiLibrary::Instance() {
  static LibftdiLibrary instance;
  return instance;
}

uint32_t LibftdiLibrary::LocationIdOf(uint8_t busNumber, std::span<const uint8_t> portNumbers) {
  uint32_t id = busNumber;
  for (uint8_t port : portNumbers)
    id = id << 4 | (port & 0xF);
  return id;
}

DeviceType LibftdiLibrary::TypeOfRelease(uint16_t releaseNumber) {
  switch (releaseNumber >> 8) {
    case 0x02:
      return kTypeAM;
    case 0x04:
      return kTypeBM;
    case 0x05:
      return kType2232C;
    case 0x06:
      return kType232R;
    case 0x07:
      return kType2232H;
    case 0x08:
      return kType4232H;
    case 0x09:
      return kType232H;
    case 0x10:
      return kTypeXSeries;
    default:
      return kTypeUnknown;
  }
}

std::unique_ptr<Device> LibftdiLibrary::OpenByLocation(uint32_t locationId) {
  Enumeration enumeration;
  for (const Enumeration::Attached& attached : enumeration.Devices())
    if (attached.locationId == locationId) return OpenAttached(enumeration, attached);
  SetLastError(kErrorDeviceNotConnected);
  return nullptr;
}

Status LibftdiLibrary::OpenByIndex(uint32_t index, std::unique_ptr<Device>& device) {
  Enumeration enumeration;
  if (index >= enumeration.Devices().size()) return kDeviceNotFound;
  device = OpenAttached(enumeration, enumeration.Devices()[index]);
  return device ? kOk : kDeviceNotOpened;
}

Status LibftdiLibrary::ListLocations(std::vector<uint32_t>& locationIds) {
  locationIds.clear();
  Enumeration enumeration;
  for (const Enumeration::Attached& attached : enumeration.Devices())
    locationIds.push_back(attached.locationId);
  return enumeration.Result();
}

Status LibftdiLibrary::CreateDeviceInfoList(uint32_t& count) {
  Enumeration enumeration;
  count = static_cast<uint32_t>(enumeration.Devices().size());
  return enumeration.Result();
}

Status LibftdiLibrary::GetDeviceInfoList(std::vector<DeviceInfo>& nodes) {
  Enumeration enumeration;
  const std::vector<Enumeration::Attached>& attached = enumeration.Devices();
  nodes.resize(std::min(nodes.size(), attached.size()));
  for (size_t i = 0; i < nodes.size(); ++i)
    nodes[i] = InfoOf(enumeration, attached[i], IsOpenHere(attached[i].locationId));
  return enumeration.Result();
}

Status LibftdiLibrary::GetLibraryVersion(uint32_t& version) {
  ftdi_version_info info = ftdi_get_library_version();
  version = static_cast<uint32_t>(info.major) << 16 | static_cast<uint32_t>(info.minor) << 8 |
            static_cast<uint32_t>(info.micro);
  return kOk;
}

void LibftdiLibrary::NoteOpened(uint32_t locationId) {
  std::lock_guard lock(mutex_);
  openHere_.insert(locationId);
}

void LibftdiLibrary::NoteClosed(uint32_t locationId) {
  std::lock_guard lock(mutex_);
  auto found = openHere_.find(locationId);
  if (found != openHere_.end()) openHere_.erase(found);
}

bool LibftdiLibrary::IsOpenHere(uint32_t locationId) {
  std::lock_guard lock(mutex_);
  return openHere_.contains(locationId);
}

}  // namespace plat::ftdi
