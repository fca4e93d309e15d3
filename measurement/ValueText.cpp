#include "measurement/ValueText.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace {

constexpr int kSignificantDigits = 4;

// Decimal digits of a positive finite value: value = 0.d1d2d3... x 10^exponent.
struct Digits {
  std::string digits;
  int exponent = 0;
};

Digits ScientificDigits(double value, int precision) {
  char buffer[160];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                              precision);
  std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  size_t e = text.find('e');
  Digits d;
  for (char c : text.substr(0, e))
    if (c != '.') d.digits += c;
  int exponent10 = 0;
  std::string_view exponentText = text.substr(e + 1);
  if (!exponentText.empty() && exponentText[0] == '+') exponentText.remove_prefix(1);
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent10);
  d.exponent = exponent10 + 1;
  return d;
}

// True when the digits after the rounding position might hide an exact half that a shorter
// expansion has rounded away (…4999… or …5000…).
bool NearHalf(const std::string& digits) {
  char first = digits[kSignificantDigits];
  if (first != '4' && first != '5') return false;
  char fill = first == '4' ? '9' : '0';
  return digits.find_first_not_of(fill, kSignificantDigits + 1) == std::string::npos;
}

// The 4 significant digits of a positive finite value, halves rounded up, trailing zeros dropped.
Digits RoundedDigits(double value) {
  Digits d = ScientificDigits(value, 16);
  // A float has an exact decimal expansion; 120 digits decide any half exactly.
  if (NearHalf(d.digits)) d = ScientificDigits(value, 120);
  bool roundUp = d.digits[kSignificantDigits] >= '5';
  d.digits.resize(kSignificantDigits);
  if (roundUp) {
    int i = kSignificantDigits - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9')
      d.digits[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
      d.digits.insert(d.digits.begin(), '1');
      d.digits.pop_back();
      ++d.exponent;
    } else {
      ++d.digits[static_cast<size_t>(i)];
    }
  }
  d.digits.erase(d.digits.find_last_not_of('0') + 1);
  return d;
}

std::string PlainText(const Digits& d) {
  if (d.exponent <= 0) return "0." + std::string(static_cast<size_t>(-d.exponent), '0') + d.digits;
  size_t integerDigits = static_cast<size_t>(d.exponent);
  if (d.digits.size() <= integerDigits)
    return d.digits + std::string(integerDigits - d.digits.size(), '0');
  return d.digits.substr(0, integerDigits) + "." + d.digits.substr(integerDigits);
}

std::string ScientificText(const Digits& d) {
  std::string text(1, d.digits[0]);
  if (d.digits.size() > 1) text += "." + d.digits.substr(1);
  return text + "E" + std::to_string(d.exponent - 1);
}

}  // namespace

std::string FloatToText(float value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  Digits d = RoundedDigits(std::fabs(static_cast<double>(value)));
  bool plain = d.exponent >= -3 && d.exponent <= 4;
  std::string text = plain ? PlainText(d) : ScientificText(d);
  return value < 0 ? "-" + text : text;
}
