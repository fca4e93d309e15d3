#include "engine/ByteLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Exceptions.h"

namespace {

using bytelog::TransferFault;

// The texts of failures the simulated interface cannot produce; the other lines are checked on
// the bus.
TEST(ByteLogLines, TransferErrorsAndShortEcho) {
  EXPECT_EQ(bytelog::TransferErrorLine(TransferFault::WaitFailed, "send", 0),
            " Error in WaitForSingleObject send\n");
  EXPECT_EQ(bytelog::TransferErrorLine(TransferFault::ResultFailed, "rcv", 0x3E5),
            " Error in GetOverlappedResult rcv 000003E5\n");
  const uint8_t sent[] = {0x81, 0x10};
  EXPECT_EQ(bytelog::EchoLine("9", sent, 2, sent, 1, true), "9 echo:  81 error\n");
  EXPECT_EQ(bytelog::ReceiveLine("9", sent, 1, false), "9  rcvd:  nothing/error 81\n");
}

TEST(ByteLogFile, CreatedAnewAndEveryEntryOnDiskAtOnce) {
  const auto path = std::filesystem::path(::testing::TempDir()) / "quobrix_bytelog_test.log";
  std::ofstream(path) << "an older session\n";
  TByteLog log(path.string());
  log.Write("first");
  log.Write(" entry\n");
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "first entry\n");
}

TEST(ByteLogFile, UncreatableFileThrows) {
  EXPECT_THROW(TByteLog("/nonexistent-directory/Iso9141.log"), plat::Exception);
}

}  // namespace
