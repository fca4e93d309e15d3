// The serial port of one connection: one FTDI K-line interface, chosen by its location id, with
// the K-line line settings (10400 baud, 8 data bits, no parity, one stop bit, no flow control).
// Failures are thrown as ECommError by value. The port has no lock: the caller keeps opening and
// closing apart from transfers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FtdiInterface.h"

// Error kinds of ECommError.
enum TCommErrorKind : uint8_t {
  kCommErrorSetBaudRate = 1,
  kCommErrorPortOpen = 6,
  kCommErrorPortNotOpen = 7,
  kCommErrorOpen = 8,
  kCommErrorClose = 11,
  kCommErrorPurge = 12,
  kCommErrorGetState = 14,
  kCommErrorSetState = 15,
  kCommErrorSetupComm = 16,
  kCommErrorSetTimeouts = 17,
  kCommErrorEscape = 19,
};

// A port failure: its kind and the thread's last error at the moment it was raised.
class ECommError {
 public:
  explicit ECommError(uint8_t kind) : FKind(kind), FLastError(plat::ftdi::LastError()) {}

  uint8_t FKind;
  uint32_t FLastError;
};

class TCommPort {
 public:
  using Overlapped = plat::ftdi::Overlapped;

  // The port's settings before anything is opened.
  static constexpr int32_t kDefaultBaudRate = 10400;
  static constexpr uint32_t kQueueSize = 1024;
  static constexpr uint8_t kLatencyMs = 1;
  static constexpr uint32_t kUsbInTransferSize = 256;
  static constexpr uint32_t kUsbOutTransferSize = 0;

  TCommPort();
  // Closes an open port; never throws (a failing close still releases the device).
  ~TCommPort();
  TCommPort(const TCommPort&) = delete;
  TCommPort& operator=(const TCommPort&) = delete;

  // Opens the interface whose location id the port name holds ("0x" and hexadecimal digits, or
  // decimal). A name that is no number raises the conversion error before the device is
  // touched. A failing latency or USB-parameter call is shown in a message box and leaves the
  // port closed; the other failures throw.
  void Open();
  void Close();
  bool IsOpen() const { return FOpen; }

  void SetPortName(const std::string& name);
  std::string GetPortName() const { return FPortName; }

  // Stored while closed and applied at the next Open.
  void SetBaudRate(int32_t baudRate);
  // Aborts pending transfers and empties both buffers.
  void Purge();
  void EscapeFunction(int32_t code);
  void ClearDTR();
  void SetDTR();
  void ClearRTS();
  void SetRTS();
  // Break holds the transmit line low; clearing it returns the line to idle (high).
  void ClearBreak();
  void SetBreak();

  // Transfers: true when finished at once, false when pending or failed (the record's event is
  // set when the transfer ends). They do not check that the port is open.
  bool WriteOverlapped(const uint8_t* bytes, int32_t count, uint32_t& written,
                       Overlapped& transfer);
  bool ReadOverlapped(uint8_t* bytes, int32_t count, uint32_t& read, Overlapped& transfer);
  bool GetOverlappedResult(Overlapped& transfer, uint32_t& transferred, bool wait);
  // Ends a pending transfer so that it never takes bytes again (after a caller's time-out).
  bool CancelTransfer(Overlapped& transfer);
  // Takes, without waiting, every byte the receive buffer holds; the time-outs stay as they are.
  // Nothing on a closed port.
  std::vector<uint8_t> TakeReceived();

  // Stores the values (ms, in the order read interval, read total multiplier, read total
  // constant, write total multiplier, write total constant) and applies them when open. Never
  // throws; false when the port is closed or the device refuses them.
  bool SetTimeouts(uint32_t readInterval, uint32_t readTotalMultiplier, uint32_t readTotalConstant,
                   uint32_t writeTotalMultiplier, uint32_t writeTotalConstant);

  void CheckOpen() const;
  void CheckClosed() const;

  const plat::ftdi::LineSettings& LineSettings() const { return FDcb; }
  const plat::ftdi::CommTimeouts& Timeouts() const { return FTimeouts; }

 private:
  // Closes the half-opened device and throws the error of the failed open step.
  [[noreturn]] void AbandonOpen(uint8_t kind);
  // Closes the half-opened device after a failed configuration call and shows the message box.
  void ReportOpenFailure(const char* what, plat::ftdi::Status status);
  void ReleaseHandle();

  bool FOpen = false;
  plat::ftdi::CommTimeouts FTimeouts;
  std::string FPortName = "COM1";
  plat::ftdi::LineSettings FDcb;
  plat::ftdi::LineSettings FOldDcb;
  std::unique_ptr<plat::ftdi::Device> FHandle;
};
