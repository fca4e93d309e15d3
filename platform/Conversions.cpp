#include "platform/Conversions.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/Exceptions.h"

namespace plat {

void ThrowListIndexError(long long index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

[[noreturn]] void ThrowNotInteger(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

// An integer as written: its magnitude (hexadecimal ones may use all 64 bits), sign and base.
struct ParsedInteger {
  uint64_t magnitude = 0;
  bool negative = false;
  bool isHex = false;

  int64_t Value() const {
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  }
};

// Parses an integer; returns false on any error.
bool ParseInteger(std::string_view text, ParsedInteger& parsed) {
  std::string t = Trim(text);
  std::string_view s = t;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    parsed.negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), parsed.magnitude, base);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  parsed.isHex = base == 16;
  const uint64_t decimalLimit =
      static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (parsed.negative ? 1 : 0);
  return parsed.isHex || parsed.magnitude <= decimalLimit;
}

}  // namespace

int32_t StrToInt(std::string_view text) {
  ParsedInteger parsed;
  if (!ParseInteger(text, parsed)) ThrowNotInteger(text);
  const int64_t value = parsed.Value();
  if (parsed.isHex) {
    // Up to 32 bits, which wrap into the sign ("$FFFFFFFF" is -1); more bits do not fit.
    if (parsed.magnitude > 0xFFFFFFFFull) ThrowNotInteger(text);
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    ThrowNotInteger(text);
  return static_cast<int32_t>(value);
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
  try {
    return StrToInt(text);
  } catch (const EConvertError&) {
    return fallback;
  }
}

int64_t StrToInt64(std::string_view text) {
  ParsedInteger parsed;
  if (!ParseInteger(text, parsed)) ThrowNotInteger(text);
  return parsed.Value();
}

bool TryStrToFloat(std::string_view text, double& value) {
  std::string t = Trim(text);
  std::string_view s = t;
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  // Only digits, one '.', a sign and an exponent are numbers; from_chars would also take
  // "inf", "nan" and hexadecimal floats.
  for (char c : s) {
    bool allowed =
        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    if (!allowed) return false;
  }
  double parsed = 0;
  auto [end, ec] =
      std::from_chars(s.data(), s.data() + s.size(), parsed, std::chars_format::general);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  value = parsed;
  return true;
}

double StrToFloat(std::string_view text) {
  double value = 0;
  if (!TryStrToFloat(text, value))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return value;
}

std::string IntToHex(uint64_t value, int digits) {
  char buffer[16];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
  std::string text(buffer, end);
  for (char& c : text)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  if (static_cast<int>(text.size()) < digits)
    text.insert(0, static_cast<size_t>(digits) - text.size(), '0');
  return text;
}

std::string Trim(std::string_view text) {
  size_t first = 0;
  while (first < text.size() && IsBlank(text[first]))
    ++first;
  size_t last = text.size();
  while (last > first && IsBlank(text[last - 1]))
    --last;
  return std::string(text.substr(first, last - first));
}

}  // namespace plat
