// The simulated KW71/KW81 ECU on the K-line, without threads. It recognises its 5-baud address,
// answers with the sync byte 0x55 and its key bytes, waits for the complement of key byte 2, then
// sends its identification as a chain of blocks and serves the tester's blocks: RAM and ADC
// reads of the simulated engine, fault codes read and cleared, acknowledges that fetch the
// next block of a chain, and the end of the session, which also comes after a second without a
// block from the tester. KWP71 blocks have a block counter and an end byte, and every byte but
// the end byte is answered with its complement in both directions; KWP81 blocks end in an 8-bit
// sum. Faults can be injected into what comes next.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/FiveBaudReceiver.h"
#include "sim/TimedEcu.h"

namespace sim {

using Bytes = std::vector<uint8_t>;

struct Kw71EcuConfig {
  bool kwp81 = false;  // the framing: KWP81 blocks instead of KWP71
  uint8_t address = 0x10;
  int baudRate = 4800;
  Bytes keyBytes{0x01, 0x8A};
  std::vector<Bytes> identification{{'0', '2', '6', '1', '2', '0', '3', '0'},
                                    {'Q', 'U', 'O', 'B', 'R', 'I', 'X', ' ', '7', '1'},
                                    {'V', '1', '.', '3'}};
  // Fault-code records of 5 bytes: code, state and type, two conditions, counter.
  std::vector<Bytes> faultCodes{{0x1F, 0x43, 0x20, 0x00, 0x05},
                                {0x21, 0x26, 0x10, 0x80, 0x01},
                                {0x05, 0x61, 0x00, 0x00, 0x02}};
  int faultCodesPerBlock = 2;
  int syncDelayMs = 60;            // end of the address to the sync byte
  int keyByteDelayMs = 5;          // before each key byte
  int complementWaitMs = 1000;     // how long the complement of key byte 2 may take
  int identificationDelayMs = 40;  // that complement to the first identification block
  int answerDelayMs = 10;          // end of the tester's block to the first byte of the answer
  int byteDelayMs = 1;             // KWP71: before each byte that answers or follows a complement
  int interByteMs = 1;             // KWP81: between the bytes of a block
  int sessionTimeoutMs = 1000;     // no block from the tester for this long ends the session
};

// What goes wrong next. Counts are of the ECU's blocks (short block, late byte, wrong counter,
// bad sum), of the tester's blocks (wrong and missing complement) or of the answers (silence,
// the wake-up included).
struct Kw71Fault {
  enum class Kind {
    None,
    Silence,            // no answer at all
    WrongComplement,    // KWP71: the complement of the tester's byte `byteIndex` is wrong
    MissingComplement,  // KWP71: that complement does not come
    WrongCounter,       // KWP71: the block counter does not follow the tester's
    BadSum,             // KWP81: the sum is off by one
    ShortBlock,         // the last `bytesDropped` bytes are not sent
    LateByte,           // byte `byteIndex` comes `delayMs` late
  };
  Kind kind = Kind::None;
  int count = 1;
  int byteIndex = 0;
  int delayMs = 0;
  int bytesDropped = 1;
};

class Kw71EcuModel : public TimedEcuModel {
 public:
  enum class Phase { Asleep, KeyBytesSent, Sending, Receiving };

  explicit Kw71EcuModel(Kw71EcuConfig config);

  void OnLineLow(int64_t at) override;
  void OnLineHigh(int64_t at) override;
  void OnTesterByte(uint8_t value, int baudRate, int64_t end) override;
  std::optional<int64_t> NextTimer() const override;
  void OnTimer(int64_t now) override;

  void Inject(const Kw71Fault& fault) { fault_ = fault; }

  Phase CurrentPhase() const { return phase_; }
  const Kw71EcuConfig& Config() const { return config_; }
  // The titles of the tester's blocks since the wake-up, in order.
  const std::vector<uint8_t>& ReceivedTitles() const { return receivedTitles_; }

  // The values the reads give at `moment`: those of the simulated engine, which starts with the
  // first wake-up (before it, `moment` counts from 0) and runs on over later sessions.
  uint8_t RamByte(uint16_t address, int64_t moment) const;
  uint16_t AdcValue(uint8_t channel, int64_t moment) const;

 private:
  bool Framing81() const { return config_.kwp81; }
  double EngineSeconds(int64_t moment) const;
  bool TakeFault(Kw71Fault::Kind kind);
  void Wake(const FiveBaudAddress& wake);
  void OnKeyByteComplement(uint8_t value, int64_t end);
  void SendChain(std::deque<Bytes> blocks, int64_t at);
  void SendBlock(const Bytes& content, int64_t at);
  void SendKwp81Block(Bytes block, int64_t at);
  void EmitKwp71Byte(int64_t at);
  void OnComplement(uint8_t value, int64_t end);
  void OnKwp71Byte(uint8_t value, int64_t end);
  void OnKwp81Byte(uint8_t value, int64_t end);
  void AnswerComplement(uint8_t value, int64_t end);
  void OnBlock(uint8_t title, Bytes data, int64_t end);
  std::deque<Bytes> Serve(uint8_t title, const Bytes& data, int64_t end);
  std::deque<Bytes> FaultCodeBlocks() const;
  void Receive(int64_t lastActivity);
  void Sleep();

  Kw71EcuConfig config_;
  Phase phase_ = Phase::Asleep;
  FiveBaudReceiver fiveBaud_;
  std::optional<int64_t> deadline_;
  std::optional<int64_t> engineStartedAt_;
  uint8_t counter_ = 0;
  std::deque<Bytes> chain_;  // the blocks an acknowledge fetches next
  Bytes tx_;                 // the KWP71 block being sent
  size_t txIndex_ = 0;
  Bytes rx_;
  std::vector<Bytes> faultCodes_;
  std::vector<uint8_t> receivedTitles_;
  Kw71Fault fault_;
};

}  // namespace sim
