#include "engine/ByteLog.h"

#include <algorithm>
#include <ctime>

#include "platform/Conversions.h"
#include "platform/Exceptions.h"

TByteLog::TByteLog(const std::string& fileName)
    : stream_(fileName, std::ios::out | std::ios::trunc | std::ios::binary) {
  if (!stream_.is_open()) throw plat::Exception("Cannot create file \"" + fileName + "\"");
}

void TByteLog::Write(const std::string& entry) {
  stream_ << entry;
  stream_.flush();
}

namespace bytelog {

namespace {

void AppendBytes(std::string& line, const uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i)
    line += " " + HexByte(bytes[i]);
}

}  // namespace

bool EchoMatches(const uint8_t* sent, int sentCount, const uint8_t* echo, int echoCount) {
  return echoCount == sentCount && std::equal(sent, sent + sentCount, echo);
}

std::string HexByte(uint8_t value) {
  return plat::IntToHex(value, 2);
}

std::string HexCode(uint32_t code) {
  return plat::IntToHex(code, 8);
}

std::string TimeOfDayText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[9];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

std::string HeaderLine(const std::string& timeOfDay) {
  return "Log file Iso9141Thread  " + timeOfDay + "\n";
}

std::string TransferErrorLine(TransferFault fault, const std::string& what, uint32_t lastError) {
  switch (fault) {
    case TransferFault::WaitTimeout:
      return " Error Wait_timeout " + what + "\n";
    case TransferFault::WaitFailed:
      return " Error in WaitForSingleObject " + what + "\n";
    case TransferFault::ResultFailed:
      break;
  }
  return " Error in GetOverlappedResult " + what + " " + HexCode(lastError) + "\n";
}

std::string SendLine(const std::string& stamp, const uint8_t* written, int count, bool done) {
  std::string line = stamp + " send: ";
  if (done)
    AppendBytes(line, written, count);
  else
    line += "nothing/error";
  return line + "\n";
}

std::string EchoLine(const std::string& stamp, const uint8_t* sent, int sentCount,
                     const uint8_t* echo, int echoCount, bool done) {
  std::string line = stamp + " echo: ";
  if (!done) return line + "nothing/error\n";
  AppendBytes(line, echo, echoCount);
  line += EchoMatches(sent, sentCount, echo, echoCount) ? " OK" : " error";
  return line + "\n";
}

std::string ReceiveLine(const std::string& stamp, const uint8_t* bytes, int count, bool done) {
  std::string line = stamp + "  rcvd:  ";
  if (!done) line += "nothing/error";
  AppendBytes(line, bytes, count);
  return line + "\n";
}

std::string DiscardLine(const std::string& stamp, const uint8_t* bytes, int count) {
  std::string line = stamp + " discarded before send:";
  AppendBytes(line, bytes, count);
  return line + "\n";
}

}  // namespace bytelog
