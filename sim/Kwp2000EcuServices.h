// The services of the simulated KWP2000 ECU: what it answers to each request frame, with
// negative answers on demand. A scripted responder (Kwp2000EcuScript) can stand in its place.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "sim/Kwp2000EcuFrame.h"

namespace sim {

// The ECU's timing parameters as timing bytes (P2min, P3min, P4min in 0.5 ms; P2max in 25 ms;
// P3max in 250 ms). The defaults are the standard timing.
struct Kwp2000EcuTiming {
  uint8_t p2min = 50;
  uint8_t p2max = 2;
  uint8_t p3min = 110;
  uint8_t p3max = 20;
  uint8_t p4min = 10;

  int P2MinMs() const { return p2min / 2; }
  int P3MaxMs() const { return p3max * 250; }
  Bytes AsBytes() const { return {p2min, p2max, p3min, p3max, p4min}; }
  bool operator==(const Kwp2000EcuTiming&) const = default;
};

// Who the ECU is on the line.
struct Kwp2000EcuIdentity {
  uint8_t address = 0x10;
  uint8_t functionalAddress = 0x33;
  // Bit 0: length in the format byte, bit 1: length byte, bit 2: header without addresses,
  // bit 3: header with addresses.
  uint8_t keyByte1 = 0xEF;
  uint8_t keyByte2 = 0x8F;

  bool Answers(uint8_t target) const { return target == address || target == functionalAddress; }
};

// A trouble code in the two-byte form: the top two bits tell the area (00 powertrain, 01 chassis,
// 10 body, 11 network). The environment follows the status in the answer to "read status".
struct Kwp2000Dtc {
  uint16_t code = 0;
  uint8_t status = 0;
  Bytes environment;
  bool operator==(const Kwp2000Dtc&) const = default;
};

// A record worked out when it is asked for, from the seconds since the ECU's first request.
using Kwp2000LiveRecord = std::function<Bytes(double seconds)>;

// The data the ECU serves.
struct Kwp2000EcuData {
  std::map<uint8_t, Bytes> identification{
      {0x80, {'Q', 'U', 'O', 'B', 'R', 'I', 'X', ' ', 'S', 'I', 'M', ' ', '0', '8', '1', '5'}}};
  std::map<uint8_t, Bytes> localData{
      {0x01, {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19}}};
  std::map<uint16_t, Bytes> commonData{{0xF190, {'W', 'Q', 'X', '1'}}};
  // Live records; an identifier here is answered from its record instead of the fixed data.
  std::map<uint8_t, Kwp2000LiveRecord> liveLocalData;
  std::map<uint16_t, Kwp2000LiveRecord> liveCommonData;
  // The state that input/output control by local identifier reports after the echoed request.
  std::map<uint8_t, Kwp2000LiveRecord> ioStates;
  std::vector<Kwp2000Dtc> troubleCodes{{0x0112, 0xE0, {}}, {0x0420, 0x20, {}}};
  // Baud-rate identifiers of StartDiagnosticSession and the rates the ECU switches to.
  std::map<uint8_t, int> baudRates{{0x01, 9600},   {0x02, 19200},  {0x03, 38400}, {0x04, 57600},
                                   {0x05, 115200}, {0x10, 9600},   {0x14, 10400}, {0x20, 12800},
                                   {0x60, 51200},  {0xA8, 256000}, {0xFA, 187500}};
  Kwp2000EcuTiming timingLimits{0, 1, 0, 40, 0};  // the answer to "read limits"
};

// What the ECU sends for one request: complete frames in order, and a baud rate to switch to
// after the last of them (0: keep the rate).
struct Kwp2000EcuReply {
  std::vector<Bytes> frames;
  int baudRate = 0;
};

class Kwp2000EcuResponder {
 public:
  virtual ~Kwp2000EcuResponder() = default;
  // `timing` is the ECU's current timing; an answer may change it for what follows. `now` is the
  // end of the request on the counter.
  virtual Kwp2000EcuReply Answer(const Kwp2000EcuFrame& request, Kwp2000EcuTiming& timing,
                                 int64_t now) = 0;
};

class Kwp2000EcuServices : public Kwp2000EcuResponder {
 public:
  Kwp2000EcuServices(Kwp2000EcuIdentity identity, Kwp2000EcuData data);

  Kwp2000EcuReply Answer(const Kwp2000EcuFrame& request, Kwp2000EcuTiming& timing,
                         int64_t now) override;

  // The next `times` requests of `service` get the negative answer 7F service code. With the
  // code 0x78 (response pending) the next request gets `times` such answers and then its answer.
  void QueueNegative(uint8_t service, uint8_t code, int times);

 private:
  struct NegativePlan {
    uint8_t code = 0;
    int times = 0;
  };

  // The positive (or negative) answer payload; empty when the request wants no answer.
  Bytes Serve(const Bytes& request, Kwp2000EcuTiming& timing, int& baudRate, double seconds);
  Bytes AccessTiming(const Bytes& request, Kwp2000EcuTiming& timing) const;
  Bytes StartSession(const Bytes& request, int& baudRate) const;
  Bytes ReadByStatus(const Bytes& request) const;
  Bytes ReadStatusOf(const Bytes& request) const;
  // The positive answer: the number of the group's codes, then each code with its status (and
  // its environment).
  Bytes ListCodes(uint8_t service, uint16_t group, bool withEnvironment) const;
  Bytes Clear(const Bytes& request);
  Bytes ReadRecord(const Bytes& request, size_t idBytes, double seconds) const;
  Bytes Identification(const Bytes& request) const;
  Bytes ControlInputOutput(const Bytes& request, double seconds) const;

  Kwp2000EcuIdentity identity_;
  Kwp2000EcuData data_;
  std::map<uint8_t, NegativePlan> negatives_;
  std::optional<int64_t> firstRequest_;  // the moment the live records count from
};

}  // namespace sim
