// Our FTDI interface layer: an open K-line interface (Device), the library that finds and opens
// interfaces (Library), the record of one asynchronous transfer (Overlapped), and the choice of
// the library in use (real interfaces through libftdi, or the simulated one).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Event.h"
#include "platform/FtdiTypes.h"

namespace plat::ftdi {

// Result of one asynchronous transfer, shared by the caller's record and the device. The device
// adds bytes and finishes it; once the record has abandoned it (destroyed, or reused for another
// transfer) the device drops it, and it never touches the event or the bytes again.
class TransferState {
 public:
  TransferState(std::shared_ptr<Event> done, uint8_t* target)
      : done_(std::move(done)), target_(target) {}

  bool Abandoned() const;
  bool Finished() const;
  uint32_t Count() const;

  // Device side: a byte read, or the count a write transferred.
  void AddByte(uint8_t byte);
  void SetCount(uint32_t count);
  // Device side: ends the transfer and sets the event. Later calls do nothing.
  void Finish(bool succeeded, uint32_t error);

  // Caller side.
  void Abandon();
  // Copies the bytes read to the record's target; false with `error` when it failed or is
  // still pending.
  bool Collect(uint32_t& count, uint32_t& error);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<Event> done_;
  uint8_t* target_;
  std::vector<uint8_t> bytes_;
  uint32_t count_ = 0;
  bool finished_ = false;
  bool succeeded_ = false;
  bool abandoned_ = false;
  uint32_t error_ = 0;
};

// The caller's record of an asynchronous read or write with its manual-reset event. Bytes of a
// read reach the caller's buffer when the read completes at once or when its result is taken
// (Device::GetOverlappedResult). Destroying the record while the transfer is pending abandons
// the transfer.
class Overlapped {
 public:
  Overlapped() = default;
  ~Overlapped();
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;

  // The event that is set when the current transfer ends; reset when a transfer begins.
  Event& DoneEvent() { return *done_; }
  bool IsPending() const { return state_ && !state_->Finished(); }

  // Device side: starts a new transfer on this record (a pending one is abandoned).
  std::shared_ptr<TransferState> Begin(uint8_t* target);
  // Null before the first transfer.
  std::shared_ptr<TransferState> State() const { return state_; }

 private:
  std::shared_ptr<Event> done_ = std::make_shared<Event>();
  std::shared_ptr<TransferState> state_;
};

// The outcome of the record's last transfer: the count transferred (a read's bytes are copied to
// its buffer) and success. With `wait` it waits for the end of a pending transfer; without it a
// pending transfer gives false with kErrorIoIncomplete.
bool GetOverlappedResult(Overlapped& transfer, uint32_t* count, bool wait);

// One open interface. Calls are thread-safe. Boolean results follow the Win32 serial calls (true
// on success, the reason in LastError()); Status results follow the device library (kOk on
// success). Destroying the device releases it without the checks of Close.
class Device {
 public:
  virtual ~Device() = default;

  virtual bool GetLineSettings(LineSettings& settings) = 0;
  // Applies baud rate, framing and the DTR/RTS control of the record.
  virtual bool SetLineSettings(const LineSettings& settings) = 0;
  virtual bool SetQueueSizes(uint32_t receiveBytes, uint32_t transmitBytes) = 0;
  // Read rules: with a read interval of N ms and zero totals, a read that has at least one byte
  // completes when no byte came for N ms or when its count is reached; before the first byte it
  // does not end by itself. With kMaxDword and zero totals a read returns at once with what is
  // buffered. Non-zero totals end a read after multiplier * count + constant ms.
  virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;
  virtual Status SetLatencyTimer(uint8_t ms) = 0;
  virtual Status SetUsbParameters(uint32_t inTransferSize, uint32_t outTransferSize) = 0;
  // Flags kPurge*: abort pending transfers (they fail with kErrorOperationAborted), empty buffers.
  virtual bool Purge(uint32_t flags) = 0;
  virtual bool Escape(uint32_t code) = 0;

  // Asynchronous transfers: true when finished at once (count given back); false when pending
  // (LastError() kErrorIoPending) or failed. The record's event is set whenever the transfer
  // has ended, also at once.
  virtual bool Write(const uint8_t* bytes, uint32_t count, uint32_t* written,
                     Overlapped& transfer) = 0;
  virtual bool Read(uint8_t* buffer, uint32_t count, uint32_t* read, Overlapped& transfer) = 0;
  // Ends a pending transfer as aborted; a late byte then goes to the next read.
  virtual bool CancelTransfer(Overlapped& transfer) = 0;
  virtual bool Close() = 0;

  // EEPROM of a device opened by index.
  virtual Status ReadEepromWord(uint32_t wordOffset, uint16_t& word) = 0;
  virtual Status ReadEepromStrings(EepromStrings& strings) = 0;
  virtual Status GetUserAreaSize(uint32_t& bytes) = 0;
};

// Finds and opens interfaces. Location ids identify an interface by where it is plugged in.
class Library {
 public:
  virtual ~Library() = default;

  // Null when the interface cannot be opened (LastError() tells why).
  virtual std::unique_ptr<Device> OpenByLocation(uint32_t locationId) = 0;
  // Index into the order of ListLocations and GetDeviceInfoList.
  virtual Status OpenByIndex(uint32_t index, std::unique_ptr<Device>& device) = 0;
  virtual Status ListLocations(std::vector<uint32_t>& locationIds) = 0;
  // The number of attached devices, to size the nodes of GetDeviceInfoList by.
  virtual Status CreateDeviceInfoList(uint32_t& count) = 0;
  // One node per attached device, in `nodes` as the caller sized it: never more nodes than it
  // holds, and cut to the nodes filled.
  virtual Status GetDeviceInfoList(std::vector<DeviceInfo>& nodes) = 0;
  virtual Status GetLibraryVersion(uint32_t& version) = 0;
};

// The library in use: the one set last, else the libftdi backend.
Library& ActiveLibrary();
// Sets the library in use (null: back to libftdi); returns the one set before.
Library* SetActiveLibrary(Library* library);

}  // namespace plat::ftdi
