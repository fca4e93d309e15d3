// The libftdi backend, through real libftdi and libusb, against an emulated FT232R on the
// simulated K-line: listing and opening by location id, the chip's control requests for every
// setting, the echo, the read time-outs, a stalling endpoint, an unplug, and the kernel driver's
// return on close.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

#include "EmulatedFt232r.h"
#include "platform/Counter.h"
#include "platform/FtdiLibusb.h"
#include "sim/KLineBus.h"
#include "tests/sim/ReadsAtClose.h"

using namespace plat::ftdi;
using emulated::Ft232r;
using Bytes = std::vector<uint8_t>;
using Request = std::tuple<int, int, int>;  // bRequest, wValue, wIndex

namespace {

// The K-line settings: 8 data bits, no parity, one stop bit, DTR and RTS control disabled.
LineSettings KLine(uint32_t baudRate) {
  LineSettings settings;
  settings.length = kLineSettingsLength;
  settings.baudRate = baudRate;
  settings.binary = true;
  settings.byteSize = 8;
  return settings;
}

double Ms(int64_t counts) {
  return static_cast<double>(counts) / 1e6;
}

class LibftdiOnFt232r : public ::testing::Test {
 protected:
  std::unique_ptr<Device> Open() {
    std::unique_ptr<Device> device = library.OpenByLocation(Ft232r::kLocationId);
    EXPECT_TRUE(device) << LastError();
    chip.ClearRequests();
    return device;
  }

  std::vector<Request> VendorRequests() const {
    std::vector<Request> requests;
    for (const emulated::ControlRequest& r : chip.VendorRequests())
      requests.emplace_back(r.request, r.value, r.index);
    return requests;
  }

  // Waits for the end of the record's read; its bytes, and the moment it ended.
  Bytes Finish(Overlapped& read, const Bytes& buffer, int64_t* endedAt = nullptr) {
    EXPECT_EQ(read.DoneEvent().WaitFor(2000), plat::WaitResult::Signaled);
    if (endedAt != nullptr) *endedAt = plat::QueryCounter();
    uint32_t count = 0;
    EXPECT_TRUE(GetOverlappedResult(read, &count, false)) << LastError();
    return Bytes(buffer.begin(), buffer.begin() + count);
  }

  int64_t LastTesterByteEnd() {
    bus.Drain();
    int64_t end = 0;
    for (const sim::LineEvent& event : bus.Trace())
      if (event.kind == sim::LineEventKind::TesterByte) end = event.End();
    return end;
  }

  sim::KLineBus bus;
  Ft232r chip{bus};
  LibftdiLibrary& library = LibftdiLibrary::Instance();
};

TEST_F(LibftdiOnFt232r, ListingAndOpeningAgreeOnTheLocationOfThePortPath) {
  std::vector<uint32_t> ids;
  ASSERT_EQ(library.ListLocations(ids), kOk);
  EXPECT_EQ(ids, std::vector<uint32_t>{Ft232r::kLocationId});
  uint32_t count = 0;
  ASSERT_EQ(library.CreateDeviceInfoList(count), kOk);
  EXPECT_EQ(count, 1u);
  std::vector<DeviceInfo> devices(2);
  ASSERT_EQ(library.GetDeviceInfoList(devices), kOk);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].locationId, Ft232r::kLocationId);
  EXPECT_EQ(devices[0].id, Ft232r::kDeviceId);
  EXPECT_EQ(devices[0].type, kType232R);
  EXPECT_EQ(devices[0].flags, 0u);
  EXPECT_EQ(devices[0].description, Ft232r::kDescription);
  EXPECT_EQ(devices[0].serialNumber, Ft232r::kSerialNumber);

  EXPECT_FALSE(library.OpenByLocation(Ft232r::kLocationId + 1));
  EXPECT_EQ(LastError(), kErrorDeviceNotConnected);
  chip.ClearRequests();
  std::unique_ptr<Device> device = library.OpenByLocation(Ft232r::kLocationId);
  ASSERT_TRUE(device);
  // libftdi resets the chip and sets 9600 baud; the serial driver makes way.
  EXPECT_EQ(VendorRequests(), (std::vector<Request>{{0, 0, 1}, {3, 0x4138, 0}}));
  EXPECT_FALSE(chip.KernelDriverBound());
  EXPECT_TRUE(chip.InterfaceClaimed());
  ASSERT_EQ(library.GetDeviceInfoList(devices), kOk);
  EXPECT_EQ(devices.at(0).flags, kDeviceFlagOpened);
  EXPECT_FALSE(library.OpenByLocation(Ft232r::kLocationId));  // the interface is taken

  EXPECT_TRUE(device->Close());
  EXPECT_FALSE(chip.InterfaceClaimed());
  EXPECT_TRUE(chip.KernelDriverBound());
  std::unique_ptr<Device> again;
  EXPECT_EQ(library.OpenByIndex(0, again), kOk);
}

struct OperationCase {
  const char* name;
  std::function<bool(Device&)> operation;
  std::vector<Request> requests;
};

TEST_F(LibftdiOnFt232r, EachSettingSendsItsControlRequests) {
  const OperationCase cases[] = {
      {"10400 baud 8N1, no flow control, DTR and RTS low",
       [](Device& d) { return d.SetLineSettings(KLine(10400)); },
       {{3, 0x4120, 0}, {2, 0, 1}, {4, 0x0008, 1}, {1, 0x0100, 1}, {1, 0x0200, 1}}},
      {"latency timer 1 ms", [](Device& d) { return d.SetLatencyTimer(1) == kOk; }, {{9, 1, 1}}},
      {"set DTR", [](Device& d) { return d.Escape(kSetDtr); }, {{1, 0x0101, 1}}},
      {"clear DTR", [](Device& d) { return d.Escape(kClearDtr); }, {{1, 0x0100, 1}}},
      {"set RTS", [](Device& d) { return d.Escape(kSetRts); }, {{1, 0x0202, 1}}},
      {"clear RTS", [](Device& d) { return d.Escape(kClearRts); }, {{1, 0x0200, 1}}},
      {"break on", [](Device& d) { return d.Escape(kSetBreak); }, {{4, 0x4008, 1}}},
      {"break off", [](Device& d) { return d.Escape(kClearBreak); }, {{4, 0x0008, 1}}},
      {"purge", [](Device& d) { return d.Purge(kPurgeAll); }, {{0, 2, 1}, {0, 1, 1}}},
  };
  std::unique_ptr<Device> device = Open();
  ASSERT_TRUE(device);
  for (const OperationCase& c : cases) {
    chip.ClearRequests();
    EXPECT_TRUE(c.operation(*device)) << c.name;
    EXPECT_EQ(VendorRequests(), c.requests) << c.name;
  }
}

// The baud rates both testers use: the KWP2000 session's rate identifiers and the block
// exchange's list. The divisor is the nearest eighth of 3 MHz / rate; golden values for the
// named rates, the rule for all.
struct BaudCase {
  uint32_t rate;
  int value;
  int index;
};

std::vector<uint32_t> RatesOfBothTesters() {
  std::vector<uint32_t> rates{9600, 19200, 38400, 57600, 115200, 187500, 10400, 8192, 4800, 1200};
  for (uint32_t id = 16; id <= 168; ++id)
    rates.push_back(((id & 0x1F) + 32) * (1u << (id >> 5)) * 200);
  return rates;
}

TEST_F(LibftdiOnFt232r, BaudRateDivisorsFollowTheChipsRule) {
  const BaudCase golden[] = {
      {1200, 0x09C4, 0},  {4800, 0x0271, 0},   {8192, 0x816E, 0},   {9600, 0x4138, 0},
      {10400, 0x4120, 0}, {12800, 0x00EA, 1},  {19200, 0x809C, 0},  {38400, 0xC04E, 0},
      {57600, 0xC034, 0}, {115200, 0x001A, 0}, {187500, 0x0010, 0}, {256000, 0x800B, 1},
  };
  std::unique_ptr<Device> device = Open();
  ASSERT_TRUE(device);
  std::vector<Request> baudRequests;
  for (uint32_t rate : RatesOfBothTesters()) {
    chip.ClearRequests();
    ASSERT_TRUE(device->SetLineSettings(KLine(rate))) << rate;
    const std::vector<Request> requests = VendorRequests();
    ASSERT_FALSE(requests.empty());
    const auto [request, value, index] = requests[0];
    EXPECT_EQ(request, 3);
    const double eighths = 24e6 / Ft232r::BaudRateOf(value, index);
    EXPECT_LE(std::abs(eighths - 24e6 / rate), 0.5) << rate;
    EXPECT_EQ(bus.CurrentBaudRate(), std::lround(Ft232r::BaudRateOf(value, index))) << rate;
    for (const BaudCase& g : golden)
      if (g.rate == rate) {
        EXPECT_EQ(requests[0], (Request{3, g.value, g.index})) << rate;
      }
  }
}

TEST_F(LibftdiOnFt232r, BreakPullsTheLineLowUntilItsOffRequest) {
  std::unique_ptr<Device> device = Open();
  ASSERT_TRUE(device);
  ASSERT_TRUE(device->Escape(kSetBreak));
  EXPECT_TRUE(bus.IsBreakActive());
  plat::PreciseWaitMs(25);
  ASSERT_TRUE(device->Escape(kClearBreak));
  EXPECT_FALSE(bus.IsBreakActive());
  const std::vector<emulated::ControlRequest> requests = chip.VendorRequests();
  ASSERT_EQ(requests.size(), 2u);
  const double lowMs = Ms(requests[1].time - requests[0].time);
  EXPECT_GE(lowMs, 25);
  EXPECT_LT(lowMs, 25 + 15);
}

struct EchoCase {
  uint32_t rate;
  uint8_t latencyMs;  // 16: the chip's own; its packets fill before the timer runs out
  size_t count;
};

TEST_F(LibftdiOnFt232r, WrittenBytesComeBackAsTheEcho) {
  const EchoCase cases[] = {{10400, 1, 5}, {115200, 16, 300}};
  for (const EchoCase& c : cases) {
    std::unique_ptr<Device> device = Open();
    ASSERT_TRUE(device);
    ASSERT_TRUE(device->SetLineSettings(KLine(c.rate)));
    ASSERT_EQ(device->SetLatencyTimer(c.latencyMs), kOk);
    ASSERT_TRUE(device->SetTimeouts({50, 0, 0, 0, 0}));
    Bytes sent(c.count);
    for (size_t i = 0; i < sent.size(); ++i)
      sent[i] = static_cast<uint8_t>(i * 7 + 1);
    Overlapped write;
    uint32_t written = 0;
    ASSERT_TRUE(device->Write(sent.data(), static_cast<uint32_t>(sent.size()), &written, write));
    EXPECT_EQ(written, sent.size());
    Bytes buffer(sent.size() + 8);
    Overlapped read;
    device->Read(buffer.data(), static_cast<uint32_t>(buffer.size()), nullptr, read);
    EXPECT_EQ(Finish(read, buffer), sent) << c.rate;
    EXPECT_TRUE(device->Close());
  }
}

struct ReadCase {
  const char* name;
  CommTimeouts timeouts;
  size_t written;      // bytes sent (and echoed)
  uint32_t count;      // bytes the read asks for
  bool echoFirst;      // the read starts once the echo is in the receive buffer
  bool fromLastByte;   // the end is counted from the end of the last byte on the line
  double endsAfterMs;  // else from the start of the read
  double toleranceMs;
};

TEST_F(LibftdiOnFt232r, ReadsEndByTheReadIntervalAndTotalTimeouts) {
  constexpr double kByteMs = 10 * 1000.0 / 10400;
  // The reader thread sees the line every millisecond or so, much later on a loaded machine.
  const ReadCase cases[] = {
      {"a quiet line after the last byte", {20, 0, 0, 0, 0}, 3, 10, false, true, 20, 60},
      {"the total time without bytes", {0, 10, 20, 0, 0}, 0, 10, false, false, 10 * 10 + 20, 60},
      {"at once with what is buffered", {kMaxDword, 0, 0, 0, 0}, 3, 10, true, false, 0, 20},
      // 250 bytes take 240 ms on the wire; the first is there long before.
      {"a byte while the line is still busy", {0, 0, 0, 0, 0}, 250, 1, false, false, 0, 60},
  };
  std::unique_ptr<Device> device = Open();
  ASSERT_TRUE(device);
  ASSERT_TRUE(device->SetLineSettings(KLine(10400)));
  ASSERT_EQ(device->SetLatencyTimer(1), kOk);
  Bytes sent(250);
  for (size_t i = 0; i < sent.size(); ++i)
    sent[i] = static_cast<uint8_t>(i);
  for (const ReadCase& c : cases) {
    ASSERT_TRUE(device->SetTimeouts(c.timeouts));
    Overlapped write;
    ASSERT_TRUE(device->Write(sent.data(), static_cast<uint32_t>(c.written), nullptr, write));
    if (c.echoFirst) plat::SleepMs(static_cast<uint32_t>(c.written * kByteMs) + 10);
    Bytes buffer(c.count);
    Overlapped read;
    int64_t started = plat::QueryCounter();
    device->Read(buffer.data(), c.count, nullptr, read);
    int64_t ended = 0;
    const size_t received = std::min<size_t>(c.written, c.count);
    EXPECT_EQ(Finish(read, buffer, &ended), Bytes(sent.begin(), sent.begin() + received)) << c.name;
    if (c.fromLastByte) started = LastTesterByteEnd();
    EXPECT_GE(Ms(ended - started), c.endsAfterMs) << c.name;
    EXPECT_LT(Ms(ended - started), c.endsAfterMs + c.toleranceMs) << c.name;
  }
}

TEST_F(LibftdiOnFt232r, ASilentChipKeepsTheReadTimeoutAndIsNotTakenForUnplugged) {
  std::unique_ptr<Device> device = Open();
  ASSERT_TRUE(device);
  ASSERT_TRUE(device->SetTimeouts({0, 0, 250, 0, 0}));
  chip.Silence(true);
  Bytes buffer(2);
  // Five reads in a row, past the second after which failing transfers fail the reads: the
  // reader's timed-out transfers are no failures.
  for (int i = 0; i < 5; ++i) {
    Overlapped quiet;
    const int64_t started = plat::QueryCounter();
    device->Read(buffer.data(), 2, nullptr, quiet);
    int64_t ended = 0;
    EXPECT_EQ(Finish(quiet, buffer, &ended), Bytes{}) << i;
    EXPECT_GE(Ms(ended - started), 250) << i;
    EXPECT_LT(Ms(ended - started), 250 + 60) << i;
  }
  chip.Silence(false);
  const Bytes sent{0x81, 0x7E};
  Overlapped write;
  ASSERT_TRUE(device->Write(sent.data(), 2, nullptr, write)) << LastError();
  Overlapped echo;
  device->Read(buffer.data(), 2, nullptr, echo);
  EXPECT_EQ(Finish(echo, buffer), sent);
  chip.Silence(true);
  plat::SleepMs(10);  // the reader waits in its next transfer
  const int64_t closing = plat::QueryCounter();
  EXPECT_TRUE(device->Close());
  EXPECT_LT(Ms(plat::QueryCounter() - closing), 110);
}

TEST_F(LibftdiOnFt232r, AStallingChipFailsReadsAfterASecondAndIsReadAgainOnceItAnswers) {
  std::unique_ptr<Device> device = Open();
  ASSERT_TRUE(device);
  ASSERT_TRUE(device->SetTimeouts({0, 0, 0, 0, 0}));
  Bytes buffer(2);
  Overlapped endless;
  ASSERT_FALSE(device->Read(buffer.data(), 2, nullptr, endless));
  ASSERT_TRUE(device->SetTimeouts({0, 0, 300, 0, 0}));
  chip.Stall(true);
  const int transfers = chip.BulkInTransfers();
  const int64_t stalled = plat::QueryCounter();
  Overlapped bounded;
  device->Read(buffer.data(), 2, nullptr, bounded);
  int64_t ended = 0;
  EXPECT_EQ(Finish(bounded, buffer, &ended), Bytes{});
  EXPECT_GE(Ms(ended - stalled), 300);
  EXPECT_LT(Ms(ended - stalled), 300 + 60);
  EXPECT_EQ(endless.DoneEvent().WaitFor(2000), plat::WaitResult::Signaled);
  ended = plat::QueryCounter();
  EXPECT_GE(Ms(ended - stalled), 1000);
  EXPECT_LT(Ms(ended - stalled), 1000 + 250);
  EXPECT_LE(chip.BulkInTransfers() - transfers, 30) << "about 20 a second";
  Overlapped meanwhile;
  EXPECT_FALSE(device->Read(buffer.data(), 2, nullptr, meanwhile));
  readchecks::ExpectEndedWith({&endless, &meanwhile}, kErrorGenFailure);
  chip.Stall(false);
  const Bytes sent{0x81, 0x7E};
  Overlapped write;
  ASSERT_TRUE(device->Write(sent.data(), 2, nullptr, write)) << LastError();
  // Reads fail at once until the reader has seen the endpoint answer again.
  Overlapped echo;
  const int64_t lifted = plat::QueryCounter();
  while (!device->Read(buffer.data(), 2, nullptr, echo) && LastError() == kErrorGenFailure &&
         Ms(plat::QueryCounter() - lifted) < 500)
    plat::SleepMs(5);
  EXPECT_EQ(Finish(echo, buffer), sent);
}

TEST_F(LibftdiOnFt232r, ReadsPendingAtCloseAndAfterItEndAtOnceWithAnInvalidHandle) {
  std::unique_ptr<Device> device = Open();
  ASSERT_TRUE(device);
  readchecks::ExpectReadsAtCloseEndWithAnInvalidHandle(*device);
  EXPECT_FALSE(device->Close());
  EXPECT_EQ(LastError(), kErrorInvalidHandle);
}

TEST_F(LibftdiOnFt232r, AnUnplugEndsAPendingRead) {
  std::unique_ptr<Device> device = Open();
  ASSERT_TRUE(device);
  ASSERT_TRUE(device->SetTimeouts({0, 0, 0, 0, 0}));
  Bytes buffer(10);
  Overlapped read;
  ASSERT_FALSE(device->Read(buffer.data(), 10, nullptr, read));
  EXPECT_EQ(LastError(), kErrorIoPending);
  chip.Unplug();
  ASSERT_EQ(read.DoneEvent().WaitFor(2000), plat::WaitResult::Signaled);
  uint32_t count = 0;
  EXPECT_FALSE(GetOverlappedResult(read, &count, false));
  EXPECT_EQ(LastError(), kErrorDeviceNotConnected);
  Overlapped write;
  EXPECT_FALSE(device->Write(buffer.data(), 1, nullptr, write));
  std::vector<uint32_t> ids{1};
  EXPECT_EQ(library.ListLocations(ids), kOk);
  EXPECT_TRUE(ids.empty());
  EXPECT_TRUE(device->Close());
}

}  // namespace
