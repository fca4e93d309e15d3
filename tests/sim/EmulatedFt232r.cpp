#include "EmulatedFt232r.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/Counter.h"
#include "sim/KLineBus.h"

namespace emulated {

namespace {

constexpr const char* kChipNode = "/dev/bus/usb/003/003";
constexpr const char* kChipSysfsPath = "/sys/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1.4";
constexpr const char* kKernelDriver = "ftdi_sio";

// Device descriptor and configuration of the root hub, of the hub on its port 1, and of the chip
// on port 4 of that hub, as the kernel shows them in sysfs.
constexpr const char* kHubConfiguration =
    "09021900010100E000"  // one interface, self-powered
    "090400000109000000"  // hub class
    "0705810304000C";     // interrupt IN
constexpr const char* kRootHubDevice = "12010002090001406B1D0200000603020101";
constexpr const char* kHubDevice = "1201000209000140E3050806000100010001";
constexpr const char* kChipDescriptors =
    "120100020000000803040160000601020301"  // vendor 0x0403, product 0x6001, release 0x0600
    "09022000010100A02D"                    // one interface, bus-powered, 90 mA
    "0904000002FFFFFF02"                    // vendor class, two endpoints
    "07058102400000"                        // bulk IN 0x81, 64 bytes
    "07050202400000";                       // bulk OUT 0x02, 64 bytes

// One USB device of the testbed, in umockdev's text form.
std::string DeviceEntry(const std::string& path, int devnum, const std::string& speed,
                        const std::string& descriptors) {
  const std::string node = "bus/usb/003/00" + std::to_string(devnum);
  return "P: /devices/pci0000:00/0000:00:14.0/" + path + "\nN: " + node +
         "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=003\nE: DEVNUM=00" +
         std::to_string(devnum) + "\nE: DEVNAME=/dev/" + node +
         "\nA: busnum=3\\n\nA: devnum=" + std::to_string(devnum) +
         "\\n\nA: bConfigurationValue=1\\n\nA: speed=" + speed +
         "\\n\nH: descriptors=" + descriptors + "\n";
}

constexpr uint8_t kBulkIn = 0x81;
constexpr uint8_t kBulkOut = 0x02;
constexpr size_t kSetupSize = 8;
constexpr size_t kPacketSize = 64;
constexpr size_t kStatusSize = 2;
constexpr uint8_t kModemStatus = 0x01;  // the chip's first status byte when idle
constexpr uint8_t kLineStatus = 0x60;   // transmitter empty

constexpr uint8_t kTypeVendor = 0x40;
constexpr uint8_t kTypeMask = 0x60;
constexpr uint8_t kGetDescriptor = 6;
constexpr uint8_t kStringDescriptor = 3;
enum VendorRequest : uint8_t {
  kReset = 0,
  kModemControl = 1,
  kFlowControl = 2,
  kBaudRate = 3,
  kData = 4,
  kLatencyTimer = 9,
};
constexpr uint16_t kPurgeHostTransmit = 1;  // the chip's buffer of bytes still to be sent
constexpr uint16_t kPurgeHostReceive = 2;   // the chip's buffer of bytes the host has not read
constexpr uint16_t kBreakBit = 1 << 14;
constexpr uint8_t kDtrBit = 0x01;
constexpr uint8_t kRtsBit = 0x02;

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct DataUnref {
  void operator()(UMockdevIoctlData* data) const { umockdev_ioctl_data_unref(data); }
};
using DataPtr = std::unique_ptr<UMockdevIoctlData, DataUnref>;

// The client's argument (or a part of it) copied in; changes go back when the call completes.
DataPtr Resolve(UMockdevIoctlData* data, size_t offset, size_t length) {
  return DataPtr(umockdev_ioctl_data_resolve(data, offset, length, nullptr));
}

template <typename T>
T* As(const DataPtr& data) {
  return reinterpret_cast<T*>(data->data);
}

// A string descriptor: UTF-16LE text behind its length and type.
std::vector<uint8_t> StringDescriptor(const std::string& text) {
  std::vector<uint8_t> descriptor{static_cast<uint8_t>(2 + 2 * text.size()), kStringDescriptor};
  for (char c : text) {
    descriptor.push_back(static_cast<uint8_t>(c));
    descriptor.push_back(0);
  }
  return descriptor;
}

}  // namespace

class Ft232r::Chip : private sim::TesterSide {
 public:
  explicit Chip(sim::KLineBus& bus)
      : bus_(bus), testbed_(umockdev_testbed_new()), handler_(umockdev_ioctl_base_new()) {
    g_signal_connect_after(handler_.get(), "handle-ioctl", G_CALLBACK(&Chip::OnIoctl), this);
    // The handler must be in place before the device appears.
    const std::string hubs =
        DeviceEntry("usb3", 1, "480", std::string(kRootHubDevice) + kHubConfiguration) + "\n" +
        DeviceEntry("usb3/3-1", 2, "480", std::string(kHubDevice) + kHubConfiguration);
    const std::string chip = DeviceEntry("usb3/3-1/3-1.4", 3, "12", kChipDescriptors);
    if (!umockdev_testbed_attach_ioctl(testbed_.get(), kChipNode, handler_.get(), nullptr) ||
        !umockdev_testbed_add_from_string(testbed_.get(), hubs.c_str(), nullptr) ||
        !umockdev_testbed_add_from_string(testbed_.get(), chip.c_str(), nullptr))
      throw std::runtime_error("the emulated FT232R cannot be set up");
    bus_.AttachTester(this);
  }

  ~Chip() override {
    bus_.DetachTester();
    // A device still open (after a failed test) gets no more answers from a chip that is gone.
    g_signal_handlers_disconnect_by_data(handler_.get(), this);
    std::lock_guard lock(mutex_);
    for (Urb& urb : inFlight_)
      urb.Release();
    for (Urb& urb : done_)
      urb.Release();
  }

  std::vector<ControlRequest> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  void ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
  }
  bool KernelDriverBound() const {
    std::lock_guard lock(mutex_);
    return driverBound_;
  }
  bool InterfaceClaimed() const {
    std::lock_guard lock(mutex_);
    return claimed_;
  }

  void Silence(bool silent) {
    std::lock_guard lock(mutex_);
    silent_ = silent;
  }

  void Stall(bool stalling) {
    std::lock_guard lock(mutex_);
    stalling_ = stalling;
  }
  int BulkInTransfers() const {
    std::lock_guard lock(mutex_);
    return bulkInTransfers_;
  }

  void Unplug() {
    {
      std::lock_guard lock(mutex_);
      unplugged_ = true;
    }
    umockdev_testbed_remove_device(testbed_.get(), kChipSysfsPath);
  }

 private:
  // A submitted URB with the client (the open file) that reaps it; both are kept referenced,
  // so that no later client can take the address of one that has gone.
  struct Urb {
    UMockdevIoctlData* data;
    UMockdevIoctlClient* client;
    int64_t submitted;

    usbdevfs_urb& Fields() const { return *reinterpret_cast<usbdevfs_urb*>(data->data); }
    void Release() {
      umockdev_ioctl_data_unref(data);
      g_object_unref(client);
    }
  };

  // sim::TesterSide: what the line carries goes into the chip's receive buffer.
  void OnLineByte(uint8_t value, int64_t) override {
    std::lock_guard lock(mutex_);
    received_.push_back(value);
  }
  void OnTimer(int64_t) override {}

  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    return static_cast<Chip*>(self)->Handle(client);
  }

  gboolean Handle(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard lock(mutex_);
    switch (umockdev_ioctl_client_get_request(client)) {
      case USBDEVFS_GET_CAPABILITIES:
        *As<uint32_t>(Resolve(arg, 0, sizeof(uint32_t))) =
            USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        return Complete(client, 0);
      case USBDEVFS_GETDRIVER:
        return GetDriver(client, arg);
      case USBDEVFS_IOCTL:
        return DriverControl(client, arg);
      case USBDEVFS_CLAIMINTERFACE:
        if (claimed_ || driverBound_) return Complete(client, EBUSY);
        claimed_ = true;
        return Complete(client, 0);
      case USBDEVFS_RELEASEINTERFACE:
        claimed_ = false;
        return Complete(client, 0);
      case USBDEVFS_SUBMITURB:
        return Submit(client, arg);
      case USBDEVFS_REAPURBNDELAY:
        return Reap(client, arg);
      case USBDEVFS_DISCARDURB:
        return Discard(client, arg);
      case USBDEVFS_CLEAR_HALT:
        if (*As<unsigned>(Resolve(arg, 0, sizeof(unsigned))) == kBulkIn) halted_ = false;
        return Complete(client, 0);
      default:
        return FALSE;
    }
  }

  // Completes the call: 0 on success, else -1 with `error`.
  gboolean Complete(UMockdevIoctlClient* client, int error) {
    if (unplugged_ && error == 0) error = ENODEV;
    umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
    return TRUE;
  }

  gboolean GetDriver(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    if (!driverBound_) return Complete(client, ENODATA);
    DataPtr data = Resolve(arg, 0, sizeof(usbdevfs_getdriver));
    std::strncpy(As<usbdevfs_getdriver>(data)->driver, kKernelDriver, USBDEVFS_MAXDRIVERNAME);
    return Complete(client, 0);
  }

  // Detaching the kernel's driver from the interface, and giving it back.
  gboolean DriverControl(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    DataPtr data = Resolve(arg, 0, sizeof(usbdevfs_ioctl));
    switch (As<usbdevfs_ioctl>(data)->ioctl_code) {
      case USBDEVFS_DISCONNECT:
        if (!driverBound_) return Complete(client, ENODATA);
        driverBound_ = false;
        return Complete(client, 0);
      case USBDEVFS_CONNECT:
        if (claimed_) return Complete(client, EBUSY);
        driverBound_ = true;
        return Complete(client, 0);
      default:
        return Complete(client, ENOTTY);
    }
  }

  gboolean Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    if (unplugged_) return Complete(client, ENODEV);
    DataPtr urbData = Resolve(arg, 0, sizeof(usbdevfs_urb));
    auto* urb = As<usbdevfs_urb>(urbData);
    // The transfer's buffer stays with the URB until it is reaped.
    DataPtr buffer = Resolve(urbData.get(), offsetof(usbdevfs_urb, buffer),
                             static_cast<size_t>(urb->buffer_length));
    const bool bulk = urb->type == USBDEVFS_URB_TYPE_BULK;
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
      Control(*urb);
    } else if (bulk && urb->endpoint == kBulkOut) {
      bus_.TesterSend(
          {static_cast<const uint8_t*>(urb->buffer), static_cast<size_t>(urb->buffer_length)});
      urb->actual_length = urb->buffer_length;
      urb->status = 0;
    } else if (!bulk || urb->endpoint != kBulkIn) {
      return Complete(client, EINVAL);
    } else {
      ++bulkInTransfers_;
      halted_ = halted_ || stalling_;
      if (halted_) urb->status = -EPIPE;
    }
    const bool waitsForTheChip = bulk && urb->endpoint == kBulkIn && !halted_;
    Urb kept{urbData.release(), static_cast<UMockdevIoctlClient*>(g_object_ref(client)),
             plat::QueryCounter()};
    (waitsForTheChip ? inFlight_ : done_).push_back(kept);
    return Complete(client, 0);
  }

  // A bulk IN transfer still waiting for the chip ends as unlinked (libusb's time-out).
  gboolean Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    const gulong address = *reinterpret_cast<const gulong*>(arg->data);
    auto found = std::find_if(inFlight_.begin(), inFlight_.end(), [&](const Urb& urb) {
      return urb.client == client && urb.data->client_addr == address;
    });
    if (found == inFlight_.end()) return Complete(client, EINVAL);
    found->Fields().actual_length = 0;
    found->Fields().status = -ECONNRESET;
    done_.push_back(*found);
    inFlight_.erase(found);
    return Complete(client, 0);
  }

  // Hands back one finished URB: control and OUT transfers at once, IN transfers when the
  // chip sends.
  gboolean Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    FillReadyInTransfers();
    auto found = std::find_if(done_.begin(), done_.end(),
                              [&](const Urb& urb) { return urb.client == client; });
    if (found == done_.end()) return Complete(client, unplugged_ ? ENODEV : EAGAIN);
    Urb urb = *found;
    done_.erase(found);
    DataPtr pointer = Resolve(arg, 0, sizeof(void*));
    umockdev_ioctl_data_set_ptr(pointer.get(), 0, urb.data);
    urb.Release();
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
  }

  // The chip sends when it has a transfer's worth of bytes or when its latency timer runs out,
  // unless it is silent; once unplugged, every transfer ends with the device gone.
  void FillReadyInTransfers() {
    const int64_t now = plat::QueryCounter();
    while (!inFlight_.empty()) {
      const Urb& first = inFlight_.front();
      usbdevfs_urb& urb = first.Fields();
      const size_t length = static_cast<size_t>(urb.buffer_length);
      const size_t packets = (length + kPacketSize - 1) / kPacketSize;
      const bool timerRanOut = now - first.submitted >= plat::MsToCounts(latencyMs_);
      if (!unplugged_ && silent_) return;
      if (!unplugged_ && !timerRanOut && received_.size() < length - packets * kStatusSize) return;
      urb.actual_length = unplugged_ ? 0 : static_cast<int>(FillPackets(urb));
      urb.status = unplugged_ ? -ESHUTDOWN : 0;
      done_.push_back(first);
      inFlight_.pop_front();
    }
  }

  // Packets of two status bytes and up to 62 received bytes; returns the length filled.
  size_t FillPackets(usbdevfs_urb& urb) {
    auto* out = static_cast<uint8_t*>(urb.buffer);
    const size_t length = static_cast<size_t>(urb.buffer_length);
    size_t filled = 0;
    size_t taken;
    do {
      out[filled++] = kModemStatus;
      out[filled++] = kLineStatus;
      taken = std::min({kPacketSize - kStatusSize, received_.size(), length - filled});
      std::copy_n(received_.begin(), taken, out + filled);
      received_.erase(received_.begin(), received_.begin() + static_cast<ptrdiff_t>(taken));
      filled += taken;
    } while (taken == kPacketSize - kStatusSize && !received_.empty() &&
             length - filled > kStatusSize);
    return filled;
  }

  void Control(usbdevfs_urb& urb) {
    const auto* setup = static_cast<const uint8_t*>(urb.buffer);
    const ControlRequest request{
        setup[0], setup[1], static_cast<uint16_t>(setup[2] | setup[3] << 8),
        static_cast<uint16_t>(setup[4] | setup[5] << 8), plat::QueryCounter()};
    requests_.push_back(request);
    urb.status = 0;
    urb.actual_length = 0;
    if ((request.requestType & kTypeMask) == kTypeVendor) {
      if (!Vendor(request)) urb.status = -EPIPE;
    } else if (request.request == kGetDescriptor && request.value >> 8 == kStringDescriptor) {
      const std::vector<uint8_t> descriptor = String(request.value & 0xFF);
      const uint16_t wanted = static_cast<uint16_t>(setup[6] | setup[7] << 8);
      const size_t length = std::min<size_t>(descriptor.size(), wanted);
      std::copy_n(descriptor.begin(), length, static_cast<uint8_t*>(urb.buffer) + kSetupSize);
      urb.actual_length = static_cast<int>(length);
    } else {
      urb.status = -EPIPE;
    }
  }

  static std::vector<uint8_t> String(int index) {
    switch (index) {
      case 0:
        return {4, kStringDescriptor, 0x09, 0x04};  // US English
      case 1:
        return StringDescriptor(kManufacturer);
      case 2:
        return StringDescriptor(kDescription);
      default:
        return StringDescriptor(kSerialNumber);
    }
  }

  // The FTDI commands; false for one the chip does not know (it stalls).
  bool Vendor(const ControlRequest& request) {
    switch (request.request) {
      case kReset:
        if (request.value != kPurgeHostReceive) bus_.DropUnsentTesterBytes();
        if (request.value != kPurgeHostTransmit) received_.clear();
        if (request.value != 0) bus_.NotePurge();
        return true;
      case kModemControl:
        DriveLevel(request.value, kDtrBit, dtr_, &sim::KLineBus::SetDtr);
        DriveLevel(request.value, kRtsBit, rts_, &sim::KLineBus::SetRts);
        return true;
      case kFlowControl:
        return true;
      case kBaudRate:
        bus_.SetBaudRate(static_cast<int32_t>(BaudRateOf(request.value, request.index) + 0.5));
        return true;
      case kData:
        if (bool on = (request.value & kBreakBit) != 0; on != breakOn_) {
          breakOn_ = on;
          bus_.SetBreak(on);
        }
        return true;
      case kLatencyTimer:
        latencyMs_ = static_cast<uint8_t>(request.value);
        return true;
      default:
        return false;
    }
  }

  // A modem-control request changes the lines whose mask bit (high byte) is set.
  void DriveLevel(uint16_t value, uint8_t bit, bool& level, void (sim::KLineBus::*drive)(bool)) {
    if (!((value >> 8) & bit)) return;
    const bool on = (value & bit) != 0;
    if (on == level) return;
    level = on;
    (bus_.*drive)(on);
  }

  sim::KLineBus& bus_;
  GObjectPtr<UMockdevTestbed> testbed_;
  GObjectPtr<UMockdevIoctlBase> handler_;

  mutable std::mutex mutex_;
  std::vector<ControlRequest> requests_;
  std::deque<uint8_t> received_;
  std::deque<Urb> inFlight_;  // bulk IN transfers waiting for the chip's next packets
  std::deque<Urb> done_;
  uint8_t latencyMs_ = 16;
  bool breakOn_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  bool driverBound_ = true;
  bool claimed_ = false;
  bool unplugged_ = false;
  bool silent_ = false;
  bool stalling_ = false;
  bool halted_ = false;
  int bulkInTransfers_ = 0;
};

Ft232r::Ft232r(sim::KLineBus& bus) : chip_(std::make_unique<Chip>(bus)) {}

Ft232r::~Ft232r() = default;

std::vector<ControlRequest> Ft232r::VendorRequests() const {
  std::vector<ControlRequest> vendor = chip_->Requests();
  std::erase_if(vendor,
                [](const ControlRequest& r) { return (r.requestType & kTypeMask) != kTypeVendor; });
  return vendor;
}

void Ft232r::ClearRequests() {
  chip_->ClearRequests();
}

bool Ft232r::KernelDriverBound() const {
  return chip_->KernelDriverBound();
}

bool Ft232r::InterfaceClaimed() const {
  return chip_->InterfaceClaimed();
}

void Ft232r::Silence(bool silent) {
  chip_->Silence(silent);
}

void Ft232r::Stall(bool stalling) {
  chip_->Stall(stalling);
}

int Ft232r::BulkInTransfers() const {
  return chip_->BulkInTransfers();
}

void Ft232r::Unplug() {
  chip_->Unplug();
}

double Ft232r::BaudRateOf(uint16_t value, uint16_t index) {
  // The three fraction bits (wValue bits 14 and 15, wIndex bit 0) code eighths out of order.
  static constexpr int kEighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
  const int integer = value & 0x3FFF;
  const int code = (value >> 14) | (index & 1) << 2;
  if (integer == 0 && code == 0) return 3'000'000.0;
  if (integer == 1 && code == 0) return 2'000'000.0;
  return 24'000'000.0 / (integer * 8 + kEighths[code]);
}

}  // namespace emulated
