#include "engine/Serialcomm2ftdi.h"

#include <algorithm>

#include "platform/Conversions.h"
#include "platform/MessageBox.h"

using namespace plat::ftdi;

namespace {
uint32_t CountArgument(int32_t count) {
  return static_cast<uint32_t>(std::max(count, 0));
}

// A transfer on a port without a device ends at once as failed, so that its waiter is released.
bool FailWithoutDevice(TCommPort::Overlapped& transfer) {
  transfer.Begin(nullptr)->Finish(false, kErrorInvalidHandle);
  SetLastError(kErrorInvalidHandle);
  return false;
}
}  // namespace

TCommPort::TCommPort() {
  FDcb.length = kLineSettingsLength;
  FDcb.baudRate = kDefaultBaudRate;
  FDcb.binary = true;
  FDcb.parityCheck = true;
  FDcb.dtrControl = kDtrControlDisable;
  FDcb.rtsControl = kRtsControlDisable;
  FDcb.byteSize = 8;
  FDcb.parity = kNoParity;
  FDcb.stopBits = kOneStopBit;
}

TCommPort::~TCommPort() {
  if (FOpen) ReleaseHandle();
}

void TCommPort::Open() {
  if (FOpen) return;
  auto locationId = static_cast<uint32_t>(plat::StrToInt(FPortName));
  FHandle = ActiveLibrary().OpenByLocation(locationId);
  if (!FHandle) throw ECommError(kCommErrorOpen);
  if (!FHandle->GetLineSettings(FOldDcb)) AbandonOpen(kCommErrorGetState);
  if (!FHandle->SetLineSettings(FDcb)) AbandonOpen(kCommErrorSetState);
  if (!FHandle->SetQueueSizes(kQueueSize, kQueueSize)) AbandonOpen(kCommErrorSetupComm);
  FTimeouts = CommTimeouts{kMaxDword, 0, 0, 0, 0};
  if (!FHandle->SetTimeouts(FTimeouts)) AbandonOpen(kCommErrorSetTimeouts);
  if (Status status = FHandle->SetLatencyTimer(kLatencyMs); status != kOk) {
    ReportOpenFailure(", Error setting latency, ", status);
    return;
  }
  if (Status status = FHandle->SetUsbParameters(kUsbInTransferSize, kUsbOutTransferSize);
      status != kOk) {
    ReportOpenFailure(", Error setting USB parameters, ", status);
    return;
  }
  FOpen = true;
}

void TCommPort::AbandonOpen(uint8_t kind) {
  ECommError error(kind);
  ReleaseHandle();
  throw error;
}

void TCommPort::ReportOpenFailure(const char* what, Status status) {
  plat::ShowMessageBox(plat::IntToHex(LastError(), 8) + what + std::to_string(status));
  ReleaseHandle();
}

void TCommPort::ReleaseHandle() {
  if (FHandle) FHandle->Close();
  FHandle.reset();
  FOpen = false;
}

void TCommPort::Close() {
  if (!FOpen) return;
  if (!FHandle->Close()) throw ECommError(kCommErrorClose);
  FHandle.reset();
  FOpen = false;
}

void TCommPort::SetPortName(const std::string& name) {
  CheckClosed();
  FPortName = name;
}

void TCommPort::SetBaudRate(int32_t baudRate) {
  uint32_t previous = FDcb.baudRate;
  FDcb.baudRate = static_cast<uint32_t>(baudRate);
  if (FOpen && !FHandle->SetLineSettings(FDcb)) {
    ECommError error(kCommErrorSetBaudRate);
    FDcb.baudRate = previous;
    throw error;
  }
}

void TCommPort::Purge() {
  CheckOpen();
  if (!FHandle->Purge(kPurgeAll)) throw ECommError(kCommErrorPurge);
}

void TCommPort::EscapeFunction(int32_t code) {
  CheckOpen();
  if (!FHandle->Escape(static_cast<uint32_t>(code))) throw ECommError(kCommErrorEscape);
}

void TCommPort::ClearDTR() {
  FDcb.dtrControl = kDtrControlDisable;
  EscapeFunction(kClearDtr);
}

void TCommPort::SetDTR() {
  FDcb.dtrControl = kDtrControlEnable;
  EscapeFunction(kSetDtr);
}

void TCommPort::ClearRTS() {
  FDcb.rtsControl = kRtsControlDisable;
  EscapeFunction(kClearRts);
}

void TCommPort::SetRTS() {
  // The stored RTS control stays disabled: only the line is driven.
  FDcb.rtsControl = kRtsControlDisable;
  EscapeFunction(kSetRts);
}

void TCommPort::ClearBreak() {
  EscapeFunction(kClearBreak);
}

void TCommPort::SetBreak() {
  EscapeFunction(kSetBreak);
}

bool TCommPort::WriteOverlapped(const uint8_t* bytes, int32_t count, uint32_t& written,
                                Overlapped& transfer) {
  if (!FHandle) return FailWithoutDevice(transfer);
  return FHandle->Write(bytes, CountArgument(count), &written, transfer);
}

bool TCommPort::ReadOverlapped(uint8_t* bytes, int32_t count, uint32_t& read,
                               Overlapped& transfer) {
  if (!FHandle) return FailWithoutDevice(transfer);
  return FHandle->Read(bytes, CountArgument(count), &read, transfer);
}

bool TCommPort::GetOverlappedResult(Overlapped& transfer, uint32_t& transferred, bool wait) {
  return plat::ftdi::GetOverlappedResult(transfer, &transferred, wait);
}

bool TCommPort::CancelTransfer(Overlapped& transfer) {
  if (!FHandle) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return FHandle->CancelTransfer(transfer);
}

std::vector<uint8_t> TCommPort::TakeReceived() {
  std::vector<uint8_t> taken;
  if (!FOpen) return taken;
  // With these time-outs a read returns at once with what is buffered.
  FHandle->SetTimeouts(CommTimeouts{kMaxDword, 0, 0, 0, 0});
  uint8_t chunk[kQueueSize];
  uint32_t count = 0;
  do {
    Overlapped transfer;
    if (!FHandle->Read(chunk, kQueueSize, &count, transfer)) count = 0;
    taken.insert(taken.end(), chunk, chunk + count);
  } while (count == kQueueSize);
  FHandle->SetTimeouts(FTimeouts);
  return taken;
}

bool TCommPort::SetTimeouts(uint32_t readInterval, uint32_t readTotalMultiplier,
                            uint32_t readTotalConstant, uint32_t writeTotalMultiplier,
                            uint32_t writeTotalConstant) {
  FTimeouts = CommTimeouts{readInterval, readTotalMultiplier, readTotalConstant,
                           writeTotalMultiplier, writeTotalConstant};
  if (!FOpen) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return FHandle->SetTimeouts(FTimeouts);
}

void TCommPort::CheckOpen() const {
  if (!FOpen) throw ECommError(kCommErrorPortNotOpen);
}

void TCommPort::CheckClosed() const {
  if (FOpen) throw ECommError(kCommErrorPortOpen);
}
