// The simulated KWP2000 ECU driven with explicit line events and times, without a bus.
#include <gtest/gtest.h>

#include "sim/Kwp2000EcuModel.h"

namespace sim {
namespace {

constexpr int kBaud = 10400;
const int64_t kByte = Kwp2000EcuModel::ByteTime(kBaud);
int64_t Ms(double ms) {
  return Kwp2000EcuModel::Ms(ms);
}
uint8_t Not(uint8_t value) {
  return static_cast<uint8_t>(0xFF - value);
}

Bytes ValuesOf(const std::vector<EcuByte>& bytes) {
  Bytes values;
  for (const EcuByte& b : bytes)
    values.push_back(b.value);
  return values;
}

// The tester's side of the line, with its own clock.
class Line {
 public:
  explicit Line(Kwp2000EcuConfig config = {})
      : services_(new Kwp2000EcuServices(config.identity, {})),
        model_(config, std::unique_ptr<Kwp2000EcuResponder>(services_)) {}

  Kwp2000EcuModel& Model() { return model_; }
  Kwp2000EcuServices& Services() { return *services_; }
  int64_t Now() const { return now_; }

  // Lets time pass, running the model's timers.
  void Wait(double ms) {
    const int64_t until = now_ + Ms(ms);
    for (auto next = model_.NextTimer(); next && *next <= until; next = model_.NextTimer()) {
      model_.OnTimer(*next);
    }
    now_ = until;
  }
  void Pulse(double lowMs, double highMs) {
    model_.OnLineLow(now_);
    Wait(lowMs);
    model_.OnLineHigh(now_);
    Wait(highMs);
  }
  // The address at 5 baud; returns the end of its stop bit.
  int64_t FiveBaud(uint8_t address) {
    const int64_t start = now_;
    bool low = false;
    for (int bit = 0; bit < 10; ++bit) {
      const bool bitLow = bit == 0 || (bit <= 8 && !(address & (1 << (bit - 1))));
      if (bitLow != low) {
        low = bitLow;
        low ? model_.OnLineLow(start + Ms(bit * 200)) : model_.OnLineHigh(start + Ms(bit * 200));
      }
    }
    Wait(2000);
    return start + Ms(2000);
  }
  // Sends the bytes `gapMs` apart; returns the end of the last one.
  int64_t Send(const Bytes& bytes, double gapMs = 5, int baud = kBaud) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (i > 0) Wait(gapMs);
      now_ += Kwp2000EcuModel::ByteTime(baud);
      model_.OnTesterByte(bytes[i], baud, now_);
    }
    return now_;
  }
  std::vector<EcuByte> Take() { return model_.TakeOutput(); }
  // Waits for the ECU's answer and takes it.
  std::vector<EcuByte> Answer() {
    Wait(500);
    return Take();
  }
  void Connect() {
    Pulse(25, 25);
    Send({0x81, 0x10, 0xF1, 0x81, 0x03});
    Answer();
  }

 private:
  Kwp2000EcuServices* services_;  // owned by the model
  Kwp2000EcuModel model_;
  int64_t now_ = Ms(1000);
};

TEST(Kwp2000EcuModelTest, FastInitPulseOpensTheSession) {
  struct Case {
    double lowMs;
    bool wakes;
  };
  const Case cases[] = {{25, true}, {21, true}, {29, true}, {15, false}, {40, false}};
  for (const Case& c : cases) {
    Line line;
    line.Pulse(c.lowMs, 25);
    const int64_t requestEnd = line.Send({0x81, 0x10, 0xF1, 0x81, 0x03});
    const std::vector<EcuByte> answer = line.Answer();
    if (!c.wakes) {
      EXPECT_TRUE(answer.empty()) << c.lowMs;
      EXPECT_EQ(line.Model().CurrentPhase(), Kwp2000EcuModel::Phase::Asleep);
      continue;
    }
    EXPECT_EQ(ValuesOf(answer), (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3})) << c.lowMs;
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(answer[0].at, requestEnd + Ms(25));
    for (size_t i = 1; i < answer.size(); ++i)
      EXPECT_EQ(answer[i].at, answer[i - 1].at + kByte);
    EXPECT_EQ(line.Model().CurrentPhase(), Kwp2000EcuModel::Phase::InSession);
  }
}

TEST(Kwp2000EcuModelTest, FiveBaudAddressIsDecodedAndAnswered) {
  struct Case {
    uint8_t ecuAddress;
    uint8_t sent;
    bool answers;
  };
  const Case cases[] = {{0x10, 0x10, true},  {0x10, 0x33, true}, {0x00, 0x00, true},
                        {0xFF, 0xFF, true},  {0x55, 0x55, true}, {0xAA, 0xAA, true},
                        {0x10, 0x11, false}, {0x10, 0x90, false}};
  for (const Case& c : cases) {
    Kwp2000EcuConfig config;
    config.identity.address = c.ecuAddress;
    Line line(config);
    const int64_t addressEnd = line.FiveBaud(c.sent);
    ASSERT_EQ(line.Model().WakeUps().size(), 1u);
    EXPECT_EQ(line.Model().WakeUps()[0].address, c.sent);
    line.Wait(300);
    const std::vector<EcuByte> keyBytes = line.Take();
    if (!c.answers) {
      EXPECT_TRUE(keyBytes.empty()) << std::hex << int(c.sent);
      continue;
    }
    ASSERT_EQ(ValuesOf(keyBytes), (Bytes{0x55, 0xEF, 0x8F})) << std::hex << int(c.sent);
    EXPECT_EQ(keyBytes[0].at, addressEnd + Ms(100));
    EXPECT_EQ(keyBytes[1].at, keyBytes[0].at + kByte + Ms(10));
    EXPECT_EQ(keyBytes[2].at, keyBytes[1].at + kByte + Ms(10));
    const int64_t complementEnd = line.Send({Not(0x8F)});
    const std::vector<EcuByte> addressComplement = line.Answer();
    EXPECT_EQ(ValuesOf(addressComplement), (Bytes{Not(c.sent)}));
    EXPECT_EQ(addressComplement.at(0).at, complementEnd + Ms(30));
    EXPECT_EQ(line.Model().CurrentPhase(), Kwp2000EcuModel::Phase::InSession);
  }
}

TEST(Kwp2000EcuModelTest, SessionEndsWhenP3maxPassesWithoutRequest) {
  struct Case {
    double pauseMs;
    bool answered;
  };
  const Case cases[] = {{4900, true}, {5100, false}};
  for (const Case& c : cases) {
    Line line;
    line.Connect();
    line.Wait(c.pauseMs - 500);
    line.Send({0x01, 0x3E, 0x3F});
    EXPECT_EQ(line.Answer().empty(), !c.answered) << c.pauseMs;
  }
}

TEST(Kwp2000EcuModelTest, RequestsTheEcuDoesNotTakeAreNotAnswered) {
  struct Case {
    const char* what;
    Bytes request;
    double gapMs;
    int baud;
  };
  const Case cases[] = {
      {"pause between bytes", {0x01, 0x3E, 0x3F}, 30, kBaud},
      {"other baud rate", {0x01, 0x3E, 0x3F}, 5, 9600},
      {"baud rate 3 % off", {0x01, 0x3E, 0x3F}, 5, 10712},
      {"bad checksum", {0x01, 0x3E, 0x40}, 5, kBaud},
      {"other ECU", {0x81, 0x11, 0xF1, 0x3E, 0xC1}, 5, kBaud},
      {"length 0", {0x00, 0x00, 0x3E, 0x3E}, 5, kBaud},
  };
  for (const Case& c : cases) {
    Line line;
    line.Connect();
    line.Send(c.request, c.gapMs, c.baud);
    EXPECT_TRUE(line.Answer().empty()) << c.what;
    line.Send({0x01, 0x3E, 0x3F}, 5, 10399);  // what an interface's divider makes of 10400
    EXPECT_EQ(ValuesOf(line.Answer()), (Bytes{0x01, 0x7E, 0x7F})) << c.what;
  }
}

TEST(Kwp2000EcuModelTest, HeaderFormsFollowTheKeyBytes) {
  struct Case {
    uint8_t keyByte1;
    Bytes request;
    Bytes answer;
  };
  const Case cases[] = {
      {0xEF, {0x01, 0x3E, 0x3F}, {0x01, 0x7E, 0x7F}},
      {0xEF, {0x00, 0x01, 0x3E, 0x3F}, {0x01, 0x7E, 0x7F}},
      {0xEE, {0x00, 0x01, 0x3E, 0x3F}, {0x00, 0x01, 0x7E, 0x7F}},
      {0xEE, {0x01, 0x3E, 0x3F}, {}},        // length in the format byte not offered
      {0xEA, {0x00, 0x01, 0x3E, 0x3F}, {}},  // header without addresses not offered
      {0xE9, {0x01, 0x3E, 0x3F}, {}},        // header without addresses not offered
      {0xE9, {0x81, 0x10, 0xF1, 0x3E, 0xC0}, {0x81, 0xF1, 0x10, 0x7E, 0x00}},
      {0xE9, {0xC1, 0x10, 0xF1, 0x3E, 0x00}, {0x81, 0xF1, 0x10, 0x7E, 0x00}},
  };
  for (const Case& c : cases) {
    Kwp2000EcuConfig config;
    config.identity.keyByte1 = c.keyByte1;
    Line line(config);
    line.Connect();
    line.Send(c.request);
    EXPECT_EQ(ValuesOf(line.Answer()), c.answer) << std::hex << int(c.keyByte1);
  }
}

TEST(Kwp2000EcuModelTest, InjectedFaultsChangeTheNextAnswer) {
  struct Case {
    const char* what;
    void (*inject)(Kwp2000EcuModel&);
    Bytes answer;
    double lateMs;  // extra delay before byte 2
  };
  const Case cases[] = {
      {"silence", [](Kwp2000EcuModel& m) { m.InjectSilence(1); }, {}, 0},
      {"checksum", [](Kwp2000EcuModel& m) { m.InjectBadChecksum(1); }, {0x01, 0x7E, 0x80}, 0},
      {"truncation", [](Kwp2000EcuModel& m) { m.InjectTruncation(1, 2); }, {0x01}, 0},
      {"late byte",
       [](Kwp2000EcuModel& m) { m.InjectLateByte(1, 2, 100); },
       {0x01, 0x7E, 0x7F},
       100},
  };
  for (const Case& c : cases) {
    Line line;
    line.Connect();
    c.inject(line.Model());
    line.Send({0x01, 0x3E, 0x3F});
    const std::vector<EcuByte> answer = line.Answer();
    EXPECT_EQ(ValuesOf(answer), c.answer) << c.what;
    if (answer.size() == 3) {
      EXPECT_EQ(answer[2].at, answer[1].at + kByte + Ms(c.lateMs)) << c.what;
    }
    line.Send({0x01, 0x3E, 0x3F});
    EXPECT_EQ(ValuesOf(line.Answer()), (Bytes{0x01, 0x7E, 0x7F})) << c.what << ": only once";
  }
}

}  // namespace
}  // namespace sim
