// The simulated KWP2000 ECU on the K-line, without threads: it is told what happens on the line
// (the line pulled low and released, the tester's bytes, each with its time on the monotonic
// counter) and schedules its own bytes with their times. It recognises the fast-initialisation
// pulse and the 5-baud address, answers with sync and key bytes, optionally first plays the
// block-protocol wake-up, keeps a session until P3max passes without a request, and answers
// request frames through a responder (the built-in services or a replayed script).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "sim/FiveBaudReceiver.h"
#include "sim/Kwp2000EcuServices.h"
#include "sim/TimedEcu.h"

namespace sim {

struct Kwp2000EcuConfig {
  Kwp2000EcuIdentity identity;
  int baudRate = 10400;
  int answerDelayMs = 25;     // P2: end of a request to the first byte of the answer
  int interByteMs = 0;        // P1: pause between the bytes of an answer
  int pendingDelayMs = 200;   // after a response-pending answer, before the next frame
  int requestGapMs = 20;      // a longer pause between request bytes drops the partial request
  int fastInitLowMinMs = 20;  // accepted length of the wake-up pulse
  int fastInitLowMaxMs = 30;
  int startWindowMs = 1000;     // StartCommunication is expected this long after the pulse
  int syncDelayMs = 100;        // W1: end of the 5-baud address to the sync byte
  int keyByteDelayMs = 10;      // W2, W3: pause before each key byte
  int complementDelayMs = 30;   // W4: tester's key-byte complement to the address complement
  int complementWaitMs = 1000;  // how long the tester's key-byte complement may take
  Kwp2000EcuTiming timing;      // the timing after each wake-up

  // Block-protocol wake-up: the first 5-baud wake-up of a session is answered with these key
  // bytes and a chain of identification blocks (title 0xF6, each byte acknowledged by its
  // complement) that ends with an acknowledge block (0x09); the tester's end block (0x06) ends
  // it, and the next 5-baud wake-up is answered as KWP2000.
  bool blockWakeUp = false;
  uint8_t blockKeyByte1 = 0x01;
  uint8_t blockKeyByte2 = 0x8A;
  std::vector<Bytes> blockIdentification{{'0', '8', '1', '5'}, {'Q', 'U', 'O', 'B', 'R', 'I', 'X'}};
  int blockByteDelayMs = 2;     // before a byte that follows an acknowledge, and before an ack
  int blockAnswerDelayMs = 20;  // before the first byte of a block
  int blockWaitMs = 2000;       // how long it waits for the tester's acknowledge or block
};

struct Kwp2000WakeUp {
  enum class Kind { Fast, FiveBaud };
  Kind kind = Kind::Fast;
  int address = -1;  // the 5-baud address
  int64_t at = 0;    // when it was recognised
};

class Kwp2000EcuModel : public TimedEcuModel {
 public:
  enum class Phase { Asleep, FastInitWait, KeyBytesSent, BlockSend, BlockReceive, InSession };

  Kwp2000EcuModel(Kwp2000EcuConfig config, std::unique_ptr<Kwp2000EcuResponder> responder);

  void OnLineLow(int64_t at) override;
  void OnLineHigh(int64_t at) override;
  void OnTesterByte(uint8_t value, int baudRate, int64_t end) override;
  std::optional<int64_t> NextTimer() const override;
  void OnTimer(int64_t now) override;

  // Faults for what comes next. Silence swallows answers (to requests and wake-ups); the others
  // change answer frames.
  void InjectSilence(int answers) { silentAnswers_ = answers; }
  void InjectBadChecksum(int frames) { badChecksumFrames_ = frames; }
  void InjectTruncation(int frames, int bytesDropped);
  void InjectLateByte(int frames, int byteIndex, int delayMs);

  Phase CurrentPhase() const { return phase_; }
  const std::vector<Kwp2000WakeUp>& WakeUps() const { return wakeUps_; }

 private:
  void DecodeFiveBaud();
  void BeginFastInit(int64_t at);
  void BeginKeyBytes(uint8_t address, int64_t addressEnd);
  void OnKeyByteComplement(uint8_t value, int64_t end);
  void AcceptRequestByte(uint8_t value, int64_t end);
  void HandleRequest(Bytes bytes, int64_t end);
  bool Accepts(const Kwp2000EcuFrame& frame) const;
  int64_t SendFrames(const std::vector<Bytes>& frames, int64_t requestEnd, int answerDelayMs);
  int64_t SendFrame(Bytes frame, int64_t at);
  void ApplyEffects(const std::vector<Bytes>& frames, int baudRate, int64_t last);
  void EnterSession(int64_t lastActivity);
  void KeepSessionUntil(int64_t lastActivity);
  void Sleep();
  bool TakeSilence();

  void BeginBlocks(int64_t at);
  void SendBlock(const Bytes& content, int64_t at);
  void EmitBlockByte(int64_t at);
  void OnBlockAcknowledge(uint8_t value, int64_t end);
  void OnBlockByte(uint8_t value, int64_t end);
  void OnBlockReceived(int64_t end);

  int64_t Emit(uint8_t value, int64_t at);

  Kwp2000EcuConfig config_;
  std::unique_ptr<Kwp2000EcuResponder> responder_;
  Phase phase_ = Phase::Asleep;
  int baudRate_;
  Kwp2000EcuTiming timing_;
  std::optional<int64_t> deadline_;  // the current phase ends here

  FiveBaudReceiver fiveBaud_;
  uint8_t wakeAddress_ = 0;
  uint8_t keyByte2_ = 0;
  bool blockPlaying_ = false;  // this wake-up plays the block protocol
  bool blockDone_ = false;     // the block-protocol part of this session is over

  Bytes rx_;
  int64_t lastRxEnd_ = 0;

  std::deque<Bytes> pendingBlocks_;
  Bytes txBlock_;
  size_t txIndex_ = 0;
  uint8_t blockCounter_ = 0;

  int silentAnswers_ = 0;
  int badChecksumFrames_ = 0;
  int truncatedFrames_ = 0;
  int truncateBy_ = 0;
  int lateFrames_ = 0;
  int lateByteIndex_ = 0;
  int lateByteDelayMs_ = 0;

  std::vector<Kwp2000WakeUp> wakeUps_;
};

}  // namespace sim
