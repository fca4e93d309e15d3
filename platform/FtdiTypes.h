// Records, codes and the thread's last-error value of our FTDI interface layer. The records are
// shaped after the Win32 serial records (line settings and time-outs) because the port hands
// them to the device unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace plat::ftdi {

// Status of a device-library call: 0 is success, every other value a failure.
enum Status : uint32_t {
  kOk = 0,
  kInvalidHandle = 1,
  kDeviceNotFound = 2,
  kDeviceNotOpened = 3,
  kIoError = 4,
  kInsufficientResources = 5,
  kInvalidParameter = 6,
  kEepromReadFailed = 11,
  kNotSupported = 17,
  kOtherError = 18,
};

// System error codes that the backends leave as the thread's last error.
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorOperationAborted = 995;
inline constexpr uint32_t kErrorIoIncomplete = 996;
inline constexpr uint32_t kErrorIoPending = 997;
inline constexpr uint32_t kErrorDeviceNotConnected = 1167;

// The last error of the calling thread, as the system keeps it per thread.
uint32_t LastError();
void SetLastError(uint32_t code);

inline constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// Line settings (the Win32 device-control block). Every field starts at 0.
struct LineSettings {
  uint32_t length = 0;
  uint32_t baudRate = 0;
  bool binary = false;
  bool parityCheck = false;
  bool outxCtsFlow = false;
  bool outxDsrFlow = false;
  uint8_t dtrControl = 0;
  bool dsrSensitivity = false;
  bool txContinueOnXoff = false;
  bool outX = false;
  bool inX = false;
  bool errorCharReplace = false;
  bool nullStrip = false;
  uint8_t rtsControl = 0;
  bool abortOnError = false;
  uint16_t xonLimit = 0;
  uint16_t xoffLimit = 0;
  uint8_t byteSize = 0;
  uint8_t parity = 0;
  uint8_t stopBits = 0;
  char xonChar = 0;
  char xoffChar = 0;
  char errorChar = 0;
  char eofChar = 0;
  char evtChar = 0;

  bool operator==(const LineSettings&) const = default;
};

inline constexpr uint32_t kLineSettingsLength = 28;
inline constexpr uint8_t kDtrControlDisable = 0;
inline constexpr uint8_t kDtrControlEnable = 1;
inline constexpr uint8_t kRtsControlDisable = 0;
inline constexpr uint8_t kRtsControlEnable = 1;
inline constexpr uint8_t kNoParity = 0;
inline constexpr uint8_t kOneStopBit = 0;

// Time-outs in ms, in the Win32 order.
struct CommTimeouts {
  uint32_t readInterval = 0;
  uint32_t readTotalMultiplier = 0;
  uint32_t readTotalConstant = 0;
  uint32_t writeTotalMultiplier = 0;
  uint32_t writeTotalConstant = 0;

  bool operator==(const CommTimeouts&) const = default;
};

// Purge flags.
inline constexpr uint32_t kPurgeTxAbort = 0x1;
inline constexpr uint32_t kPurgeRxAbort = 0x2;
inline constexpr uint32_t kPurgeTxClear = 0x4;
inline constexpr uint32_t kPurgeRxClear = 0x8;
inline constexpr uint32_t kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;

// Escape codes.
enum EscapeCode : uint32_t {
  kSetRts = 3,
  kClearRts = 4,
  kSetDtr = 5,
  kClearDtr = 6,
  kSetBreak = 8,
  kClearBreak = 9,
};

// Chip families, numbered as the device-information list reports them.
enum DeviceType : uint32_t {
  kTypeBM = 0,
  kTypeAM = 1,
  kType100AX = 2,
  kTypeUnknown = 3,
  kType2232C = 4,
  kType232R = 5,
  kType2232H = 6,
  kType4232H = 7,
  kType232H = 8,
  kTypeXSeries = 9,
};

// Flags of a device-information entry.
inline constexpr uint32_t kDeviceFlagOpened = 0x1;
inline constexpr uint32_t kDeviceFlagHighSpeed = 0x2;

// One entry of the device-information list.
struct DeviceInfo {
  uint32_t flags = 0;
  uint32_t type = kTypeUnknown;
  uint32_t id = 0;  // vendor id << 16 | product id
  uint32_t locationId = 0;
  std::string serialNumber;  // at most 15 characters
  std::string description;   // at most 63 characters
  uint32_t handle = 0;       // 0 unless this process has the device open
};

// Text limits of the device-information entry and of the EEPROM strings, terminator included.
inline constexpr size_t kSerialNumberSize = 16;
inline constexpr size_t kDescriptionSize = 64;
inline constexpr size_t kManufacturerSize = 32;
inline constexpr size_t kManufacturerIdSize = 16;

// The four strings of a device's EEPROM.
struct EepromStrings {
  std::string manufacturer;    // at most 31 characters
  std::string manufacturerId;  // at most 15 characters
  std::string description;     // at most 63 characters
  std::string serialNumber;    // at most 15 characters
};

// The text cut to fit a buffer of `size` characters with its terminating zero.
std::string FitText(const std::string& text, size_t size);

}  // namespace plat::ftdi
