#include "sim/Kwp2000EcuScript.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "platform/Exceptions.h"

namespace sim {

namespace {
[[noreturn]] void Fail(int line, const std::string& why) {
  throw plat::Exception("Script line " + std::to_string(line) + ": " + why);
}

std::string_view WithoutComment(std::string_view line) {
  return line.substr(0, line.find('#'));
}

std::vector<std::string> Words(std::string_view line) {
  std::istringstream stream{std::string(line)};
  std::vector<std::string> words;
  for (std::string word; stream >> word;)
    words.push_back(word);
  return words;
}

// "0xNN" with one or two hexadecimal digits.
bool ParseByte(const std::string& word, uint8_t& value) {
  if (word.size() < 3 || word.size() > 4 || word[0] != '0' || (word[1] != 'x' && word[1] != 'X'))
    return false;
  unsigned result = 0;
  for (size_t i = 2; i < word.size(); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(word[i])));
    if (c >= '0' && c <= '9') {
      result = result * 16 + static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      result = result * 16 + static_cast<unsigned>(c - 'a' + 10);
    } else {
      return false;
    }
  }
  value = static_cast<uint8_t>(result);
  return true;
}

Bytes ParseFrameWords(const std::vector<std::string>& words, bool checksumAllowed, int line) {
  Bytes frame;
  for (size_t i = 1; i < words.size(); ++i) {
    uint8_t value = 0;
    if (ParseByte(words[i], value)) {
      frame.push_back(value);
    } else if (checksumAllowed && words[i] == "cks1" && i + 1 == words.size()) {
      frame.push_back(Kwp2000Sum(frame));
    } else {
      Fail(line, "'" + words[i] + "' is not a byte");
    }
  }
  if (frame.empty()) Fail(line, "no bytes");
  return frame;
}
}  // namespace

std::vector<Kwp2000ScriptEntry> ParseKwp2000Script(std::string_view text) {
  std::vector<Kwp2000ScriptEntry> entries;
  std::istringstream lines{std::string(text)};
  int lineNumber = 0;
  for (std::string line; std::getline(lines, line);) {
    ++lineNumber;
    const std::vector<std::string> words = Words(WithoutComment(line));
    if (words.empty()) continue;
    if (words[0] == "RQ") {
      entries.push_back({ParseFrameWords(words, false, lineNumber), {}});
    } else if (words[0] == "RP") {
      if (entries.empty()) Fail(lineNumber, "RP before any RQ");
      entries.back().answers.push_back(ParseFrameWords(words, true, lineNumber));
    } else {
      Fail(lineNumber, "'" + words[0] + "' is neither RQ nor RP");
    }
  }
  return entries;
}

Kwp2000EcuScript::Kwp2000EcuScript(std::vector<Kwp2000ScriptEntry> entries)
    : entries_(std::move(entries)) {}

std::unique_ptr<Kwp2000EcuScript> Kwp2000EcuScript::FromFile(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw plat::Exception("Cannot read script " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return std::make_unique<Kwp2000EcuScript>(ParseKwp2000Script(text.str()));
}

Kwp2000EcuReply Kwp2000EcuScript::Answer(const Kwp2000EcuFrame& request, Kwp2000EcuTiming&,
                                         int64_t) {
  const auto matches = [&request](const Kwp2000ScriptEntry& entry) {
    return entry.request.size() <= request.bytes.size() &&
           std::equal(entry.request.begin(), entry.request.end(), request.bytes.begin());
  };
  const auto found = std::find_if(entries_.begin(), entries_.end(), matches);
  if (found == entries_.end()) return {};
  return {found->answers, 0};
}

}  // namespace sim
