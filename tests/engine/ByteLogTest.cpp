#include "ByteLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Exceptions.h"

namespace {

using bytelog::TransferFault;
using Bytes = std::vector<uint8_t>;

struct EchoCase {
  const char* name;
  Bytes sent;
  Bytes echo;
  bool done;
  const char* expected;
};

void PrintTo(const EchoCase& c, std::ostream* os) {
  *os << c.name;
}

class EchoLineTest : public ::testing::TestWithParam<EchoCase> {};

TEST_P(EchoLineTest, Formats) {
  const EchoCase& c = GetParam();
  EXPECT_EQ(bytelog::EchoLine("1234", c.sent.data(), static_cast<int>(c.sent.size()), c.echo.data(),
                              static_cast<int>(c.echo.size()), c.done),
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EchoLineTest,
    ::testing::Values(
        EchoCase{
            "equal", {0x81, 0x10, 0xF1}, {0x81, 0x10, 0xF1}, true, "1234 echo:  81 10 F1 OK\n"},
        EchoCase{"different", {0x81, 0x10}, {0x81, 0x11}, true, "1234 echo:  81 11 error\n"},
        EchoCase{"short", {0x81, 0x10}, {0x81}, true, "1234 echo:  81 error\n"},
        EchoCase{"none", {0x81}, {}, true, "1234 echo:  error\n"},
        EchoCase{"notDone", {0x81}, {}, false, "1234 echo: nothing/error\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ByteLogLines, SendAndReceive) {
  const Bytes bytes{0x0A, 0xFF, 0x00};
  struct Case {
    std::string actual;
    const char* expected;
  } cases[] = {
      {bytelog::SendLine("7", bytes.data(), 3, true), "7 send:  0A FF 00\n"},
      {bytelog::SendLine("7", bytes.data(), 1, true), "7 send:  0A\n"},
      {bytelog::SendLine("7", bytes.data(), 3, false), "7 send: nothing/error\n"},
      {bytelog::ReceiveLine("-3", bytes.data(), 3, true), "-3  rcvd:   0A FF 00\n"},
      {bytelog::ReceiveLine("12", bytes.data(), 0, false), "12  rcvd:  nothing/error\n"},
      {bytelog::ReceiveLine("12", bytes.data(), 1, false), "12  rcvd:  nothing/error 0A\n"},
      {bytelog::HeaderLine("09:05:01"), "Log file Iso9141Thread  09:05:01\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.actual, c.expected);
}

TEST(ByteLogLines, TransferErrors) {
  EXPECT_EQ(bytelog::TransferErrorLine(TransferFault::WaitTimeout, "send", 0),
            " Error Wait_timeout send\n");
  EXPECT_EQ(bytelog::TransferErrorLine(TransferFault::WaitFailed, "echo", 0),
            " Error in WaitForSingleObject echo\n");
  EXPECT_EQ(bytelog::TransferErrorLine(TransferFault::ResultFailed, "rcv", 0x1F),
            " Error in GetOverlappedResult rcv 0000001F\n");
  EXPECT_EQ(bytelog::HexCode(0xDEADBEEF), "DEADBEEF");
}

TEST(ByteLogLines, TimeOfDayIsTwentyFourHourClock) {
  const std::string text = bytelog::TimeOfDayText();
  ASSERT_EQ(text.size(), 8u);
  EXPECT_EQ(text[2], ':');
  EXPECT_EQ(text[5], ':');
  EXPECT_LT(std::stoi(text.substr(0, 2)), 24);
}

TEST(ByteLogFile, OverwritesAndFlushesEachEntry) {
  const auto path = std::filesystem::temp_directory_path() / "quobrix_bytelog_test.log";
  {
    std::ofstream old(path);
    old << "an older session that must disappear\n";
  }
  TByteLog log(path.string());
  log.Write("first");
  log.Write(" entry\n");
  // Read while the log is still open: every entry is on disk already.
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "first entry\n");
  std::filesystem::remove(path);
}

TEST(ByteLogFile, UncreatableFileThrows) {
  EXPECT_THROW(TByteLog("/nonexistent-directory/Iso9141.log"), plat::Exception);
}

}  // namespace
