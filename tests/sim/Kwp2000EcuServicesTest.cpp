// The simulated ECU's frame helpers, services and scripted replay, without a bus.
#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "sim/Kwp2000EcuFrame.h"
#include "sim/Kwp2000EcuScript.h"
#include "sim/Kwp2000EcuServices.h"

namespace sim {
namespace {

Kwp2000EcuFrame RequestFrame(const Bytes& payload, bool addressed = true) {
  Kwp2000FrameForm form{addressed, 0x10, 0xF1, true};
  return *ParseKwp2000Frame(BuildKwp2000Frame(payload, form));
}

// The payload of every answer frame.
std::vector<Bytes> Payloads(const Kwp2000EcuReply& reply) {
  std::vector<Bytes> payloads;
  for (const Bytes& frame : reply.frames)
    payloads.push_back(ParseKwp2000Frame(frame)->payload);
  return payloads;
}

TEST(Kwp2000EcuServicesTest, AnswersEachService) {
  struct Case {
    Bytes request;
    Bytes answer;  // empty: no answer
  };
  const Case cases[] = {
      {{0x81}, {0xC1, 0xEF, 0x8F}},
      {{0x82}, {0xC2}},
      {{0x3E}, {0x7E}},
      {{0x3E, 0x01}, {0x7E}},
      {{0x3E, 0x02}, {}},
      {{0x11, 0x01}, {0x51, 0x01}},
      {{0x30, 0x05, 0x07, 0x20}, {0x70, 0x05, 0x07, 0x20}},
      {{0x21, 0x01}, {0x61, 0x01, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19}},
      {{0x21, 0x02}, {0x7F, 0x21, 0x31}},
      {{0x21}, {0x7F, 0x21, 0x12}},
      {{0x22, 0xF1, 0x90}, {0x62, 0xF1, 0x90, 'W', 'Q', 'X', '1'}},
      {{0x22, 0xF1, 0x91}, {0x7F, 0x22, 0x31}},
      {{0x1A, 0x80},
       {0x5A, 0x80, 'Q', 'U', 'O', 'B', 'R', 'I', 'X', ' ', 'S', 'I', 'M', ' ', '0', '8', '1',
        '5'}},
      {{0x1A, 0x9B}, {0x7F, 0x1A, 0x31}},
      {{0x18, 0x02, 0xFF, 0x00}, {0x58, 0x02, 0x01, 0x12, 0xE0, 0x04, 0x20, 0x20}},
      {{0x18, 0x02, 0xC0, 0x00}, {0x58, 0x00}},
      {{0x18, 0x02, 0xFF}, {0x7F, 0x18, 0x12}},
      {{0x17, 0x04, 0x20}, {0x57, 0x01, 0x04, 0x20, 0x20}},
      {{0x17, 0x09, 0x99}, {0x57, 0x00}},
      {{0x14, 0x01, 0x12}, {0x54, 0x01, 0x12}},
      {{0x10, 0x81}, {0x50, 0x81}},
      {{0x10, 0x81, 0x77}, {0x7F, 0x10, 0x12}},
      {{0x83, 0x00}, {0xC3, 0x00, 0, 1, 0, 40, 0}},
      {{0x83, 0x02}, {0xC3, 0x02, 50, 2, 110, 20, 10}},
      {{0x83, 0x04}, {0x7F, 0x83, 0x12}},
      {{0x31, 0x01}, {0x7F, 0x31, 0x11}},
  };
  for (const Case& c : cases) {
    Kwp2000EcuServices services({}, {});
    Kwp2000EcuTiming timing;
    const Kwp2000EcuReply reply = services.Answer(RequestFrame(c.request), timing, 0);
    const std::vector<Bytes> expected =
        c.answer.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{c.answer};
    EXPECT_EQ(Payloads(reply), expected) << std::hex << int(c.request[0]);
    EXPECT_EQ(reply.baudRate, 0);
  }
}

TEST(Kwp2000EcuServicesTest, BaudRateIdentifierOfStartDiagnosticSession) {
  struct Case {
    Bytes request;
    int baudRate;
  };
  const Case cases[] = {{{0x10, 0x81, 0x14}, 10400},
                        {{0x10, 0x81, 0x05}, 115200},
                        {{0x10, 0x81, 0x00, 0xFA}, 187500},
                        {{0x10, 0x81, 0xA8}, 256000}};
  for (const Case& c : cases) {
    Kwp2000EcuServices services({}, {});
    Kwp2000EcuTiming timing;
    const Kwp2000EcuReply reply = services.Answer(RequestFrame(c.request), timing, 0);
    EXPECT_EQ(Payloads(reply), (std::vector<Bytes>{{0x50, 0x81}}));
    EXPECT_EQ(reply.baudRate, c.baudRate);
  }
}

TEST(Kwp2000EcuServicesTest, TimingIsSetReadBackAndReset) {
  Kwp2000EcuServices services({}, {});
  Kwp2000EcuTiming timing;
  EXPECT_EQ(Payloads(services.Answer(RequestFrame({0x83, 0x03, 0, 2, 0, 4, 0}), timing, 0)),
            (std::vector<Bytes>{{0xC3, 0x03}}));
  EXPECT_EQ(timing, (Kwp2000EcuTiming{0, 2, 0, 4, 0}));
  EXPECT_EQ(timing.P3MaxMs(), 1000);
  EXPECT_EQ(Payloads(services.Answer(RequestFrame({0x83, 0x02}), timing, 0)),
            (std::vector<Bytes>{{0xC3, 0x02, 0, 2, 0, 4, 0}}));
  services.Answer(RequestFrame({0x83, 0x01}), timing, 0);
  EXPECT_EQ(timing, Kwp2000EcuTiming{});
}

TEST(Kwp2000EcuServicesTest, NegativeAnswersOnDemand) {
  struct Case {
    uint8_t code;
    int times;
    std::vector<std::vector<Bytes>> answers;  // to three requests in a row
  };
  const Bytes pending{0x7F, 0x3E, 0x78};
  const Bytes busy{0x7F, 0x3E, 0x21};
  const Bytes positive{0x7E};
  const Case cases[] = {
      {0x78, 2, {{pending, pending, positive}, {positive}, {positive}}},
      {0x21, 2, {{busy}, {busy}, {positive}}},
      {0x23, 1, {{{0x7F, 0x3E, 0x23}}, {positive}, {positive}}},
  };
  for (const Case& c : cases) {
    Kwp2000EcuServices services({}, {});
    services.QueueNegative(0x3E, c.code, c.times);
    Kwp2000EcuTiming timing;
    for (const auto& expected : c.answers) {
      EXPECT_EQ(Payloads(services.Answer(RequestFrame({0x3E}), timing, 0)), expected)
          << std::hex << int(c.code);
    }
  }
}

TEST(Kwp2000EcuScriptTest, ParsesRequestsAnswersCommentsAndSums) {
  const auto entries = ParseKwp2000Script(
      "# start\n"
      "RQ 0x81 0x10 0xF1 0x81   # no checksum\n"
      "RP 0x83 0xF1 0x10 0xC1 0xEF 0x8F cks1\n"
      "\n"
      "RQ 0x02 0x21 0x01 0x24\n"
      "RP 0x03 0x7F 0x21 0x78 cks1\n"
      "RP 0x02 0x61 0x01 0x64\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], (Kwp2000ScriptEntry{{0x81, 0x10, 0xF1, 0x81},
                                            {{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}}}));
  EXPECT_EQ(entries[1].answers,
            (std::vector<Bytes>{{0x03, 0x7F, 0x21, 0x78, 0x1B}, {0x02, 0x61, 0x01, 0x64}}));
}

TEST(Kwp2000EcuScriptTest, RejectsTextItDoesNotUnderstand) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"RP 0x01 0x7E 0x7F\n", "Script line 1: RP before any RQ"},
      {"RQ 0x01 0x3E\nRQ 0x01 0x3G\n", "Script line 2: '0x3G' is not a byte"},
      {"RQ 0x01 3E\n", "Script line 1: '3E' is not a byte"},
      {"RQ 0x01 0x3E cks1\n", "Script line 1: 'cks1' is not a byte"},
      {"RQ 0x3E\nRP cks1 0x7E\n", "Script line 2: 'cks1' is not a byte"},
      {"RQ 0x100\n", "Script line 1: '0x100' is not a byte"},
      {"RQ # nothing\n", "Script line 1: no bytes"},
      {"XX 0x01\n", "Script line 1: 'XX' is neither RQ nor RP"},
  };
  for (const Case& c : cases) {
    try {
      ParseKwp2000Script(c.text);
      ADD_FAILURE() << c.text;
    } catch (const plat::Exception& error) {
      EXPECT_EQ(error.Message(), c.message);
    }
  }
}

TEST(Kwp2000EcuScriptTest, AnswersTheFirstLineTheRequestBeginsWith) {
  Kwp2000EcuScript script(
      ParseKwp2000Script("RQ 0x02 0x21 0x01\nRP 0x02 0x61 0x01 cks1\n"
                         "RQ 0x02 0x21\nRP 0x03 0x7F 0x21 0x31 cks1\n"
                         "RQ 0x02 0x21 0x01\nRP 0x01 0x7E cks1\n"));
  Kwp2000EcuTiming timing;
  const auto answer = [&](const Bytes& frame) {
    return script.Answer(*ParseKwp2000Frame(frame), timing, 0).frames;
  };
  EXPECT_EQ(answer({0x02, 0x21, 0x01, 0x24}), (std::vector<Bytes>{{0x02, 0x61, 0x01, 0x64}}));
  EXPECT_EQ(answer({0x02, 0x21, 0x05, 0x28}), (std::vector<Bytes>{{0x03, 0x7F, 0x21, 0x31, 0xD4}}));
  EXPECT_TRUE(answer({0x01, 0x3E, 0x3F}).empty());
}

}  // namespace
}  // namespace sim
