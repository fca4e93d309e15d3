// The byte log "Iso9141.log": the file the worker writes every K-line transfer to, and the texts
// of its entries. Every entry reaches the file the moment it is complete.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

class TByteLog {
 public:
  // Creates the file anew (an existing one is overwritten); throws plat::Exception when it cannot
  // be created.
  explicit TByteLog(const std::string& fileName);
  // Writes the entry unchanged and flushes it.
  void Write(const std::string& entry);

 private:
  std::ofstream stream_;
};

namespace bytelog {

// How a transfer that did not complete at once went wrong.
enum class TransferFault { WaitTimeout, WaitFailed, ResultFailed };

// "XX": a byte as 2 upper-case hexadecimal digits.
std::string HexByte(uint8_t value);
// "HHHHHHHH": a system error code as 8 upper-case hexadecimal digits.
std::string HexCode(uint32_t code);
// The time of day as hh:mm:ss (24-hour).
std::string TimeOfDayText();

// The first line of the file.
std::string HeaderLine(const std::string& timeOfDay);
// The error entry of a send, echo or rcv transfer (`what`); `lastError` only for ResultFailed.
std::string TransferErrorLine(TransferFault fault, const std::string& what, uint32_t lastError);
// The bytes written, or "nothing/error" when the write was not done.
std::string SendLine(const std::string& stamp, const uint8_t* written, int count, bool done);
// The bytes read back, then " OK" when they equal the bytes sent and " error" otherwise, or
// "nothing/error" when the read was not done. `stamp` is "------" when no echo was read.
std::string EchoLine(const std::string& stamp, const uint8_t* sent, int sentCount,
                     const uint8_t* echo, int echoCount, bool done);
// The bytes received; a read that was not done shows "nothing/error" and what it reported.
std::string ReceiveLine(const std::string& stamp, const uint8_t* bytes, int count, bool done);
// The bytes found in the receive buffer before a request, which were dropped.
std::string DiscardLine(const std::string& stamp, const uint8_t* bytes, int count);
// The stamp that stands for an echo that was never read.
inline constexpr const char* kNoEchoStamp = "------";
// True when the echo holds exactly the bytes sent.
bool EchoMatches(const uint8_t* sent, int sentCount, const uint8_t* echo, int echoCount);

}  // namespace bytelog
