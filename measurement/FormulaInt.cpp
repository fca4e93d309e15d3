#include "measurement/FormulaInt.h"

#include <cmath>
#include <cstdint>

#include "platform/Conversions.h"

namespace {

constexpr double kPi = 3.14159265;
// Deeper nesting than this is no sensible formula; it is refused instead of exhausting the stack.
constexpr int kMaxDepth = 1000;
constexpr size_t kNone = std::string_view::npos;

// Operator levels, loosest first; kNoOperator means none found yet.
constexpr int kTernary = -2;
constexpr int kComparison = -1;
constexpr int kPlus = 0;
constexpr int kMinus = 1;
constexpr int kTimes = 2;
constexpr int kDivide = 4;
constexpr int kPower = 5;
constexpr int kAnd = 6;
constexpr int kOr = 7;
constexpr int kShiftLeft = 8;
constexpr int kShiftRight = 9;
constexpr int kNoOperator = 10;

std::string Normalise(std::string_view formula) {
  std::string text;
  for (size_t i = 0; i < formula.size(); ++i) {
    if (formula[i] == '*' && i + 1 < formula.size() && formula[i + 1] == '*') {
      text += '^';
      ++i;
    } else if (formula[i] != ' ') {
      text += formula[i];
    }
  }
  return text;
}

bool IsComparisonChar(char c) {
  return c == '<' || c == '>' || c == '=' || c == '!';
}

// The operator to split at: `op` its position, `second` the position of the ':' of a ternary or
// of the second character of a two-character operator (kNone when there is none).
struct Split {
  int level = kNoOperator;
  size_t op = kNone;
  size_t second = kNone;
};

void ScanComparison(std::string_view s, size_t i, Split& split) {
  char c = s[i];
  char next = i + 1 < s.size() ? s[i + 1] : '\0';
  if (next == '=') {
    split = {kComparison, i, i + 1};
  } else if (next == '<' || next == '>') {
    if (c == '<' && next == '<' && split.level > kShiftLeft) split = {kShiftLeft, i, i + 1};
    if (c == '>' && next == '>' && split.level > kShiftRight) split = {kShiftRight, i, i + 1};
  } else if (c != '!' && (i == 0 || !IsComparisonChar(s[i - 1]))) {
    split = {kComparison, i, kNone};
  }
}

void ScanSign(std::string_view s, size_t i, int level, Split& split) {
  if (i > 0 && s[i - 1] != 'E' && s[i - 1] != 'e') {
    split.level = level;
    split.op = i;
  }
}

void ScanBinary(size_t i, int level, Split& split) {
  if (split.level > level) {
    split.level = level;
    split.op = i;
  }
}

// Right to left at bracket depth 0: the loosest operator, the rightmost among equal levels.
Split FindOperator(std::string_view s) {
  Split split;
  int depth = 0;
  for (size_t i = s.size(); i-- > 0;) {
    char c = s[i];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth != 0) continue;
    switch (c) {
      case ':':
        if (split.level > kTernary) {
          split.level = kTernary;
          split.second = i;
        }
        break;
      case '?':
        if (split.level == kTernary) split.op = i;
        break;
      case '<':
      case '>':
      case '=':
      case '!':
        if (split.level >= 0) ScanComparison(s, i, split);
        break;
      case '+':
        if (split.level > kPlus) ScanSign(s, i, kPlus, split);
        break;
      case '-':
        if (split.level > kMinus) ScanSign(s, i, kMinus, split);
        break;
      case '*':
        ScanBinary(i, kTimes, split);
        break;
      case '/':
        ScanBinary(i, kDivide, split);
        break;
      case '^':
        ScanBinary(i, kPower, split);
        break;
      case '&':
        ScanBinary(i, kAnd, split);
        break;
      case '|':
        ScanBinary(i, kOr, split);
        break;
      default:
        break;
    }
  }
  return split;
}

// v truncated toward zero, its low 32 bits as a signed integer; a value without a 64-bit
// integer part sets the error flag and counts 0.
int32_t Trunc32(double v, bool& error) {
  if (!(v >= -9223372036854775808.0 && v < 9223372036854775808.0)) {
    error = true;
    return 0;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(v)));
}

double Leaf(std::string_view s) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) return plat::StrToInt(s);
  return plat::StrToFloat(s);
}

}  // namespace

TFormulaInt::TFormulaInt(std::string_view formula) : FFormula(Normalise(formula)) {}

bool TFormulaInt::Calculate(double x, double& result) {
  FX = x;
  bool error = false;
  result = Evaluate(FFormula, error);
  return !error;
}

double TFormulaInt::Evaluate(std::string_view text, bool& error) {
  return EvaluateAt(text, error, 0);
}

int TFormulaInt::FindClosingBracket(std::string_view text, int start) {
  int depth = 0;
  for (int i = start; i >= 1 && i <= static_cast<int>(text.size()); ++i) {
    char c = text[static_cast<size_t>(i - 1)];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth == 0) return i;
  }
  return start;
}

double TFormulaInt::EvaluateAt(std::string_view s, bool& error, int depth) {
  if (s.empty() || depth > kMaxDepth) {
    error = true;
    return 0;
  }
  if (s[0] == '(' && FindClosingBracket(s, 1) == static_cast<int>(s.size()))
    return EvaluateAt(s.substr(1, s.size() - 2), error, depth + 1);
  if (s == "PI") return kPi;
  if (s == "x" || s == "X") return FX;
  Split split = FindOperator(s);
  if (split.op == kNone || split.level >= kNoOperator) return Leaf(s);
  return EvaluateOperator(s, split.op, split.second, error, depth + 1);
}

double TFormulaInt::EvaluateOperator(std::string_view s, size_t op, size_t second, bool& error,
                                     int depth) {
  auto eval = [&](std::string_view part) { return EvaluateAt(part, error, depth); };
  std::string_view leftText = op == 0 ? std::string_view("0") : s.substr(0, op);
  std::string_view rightText = s.substr(op + 1);
  char c = s[op];
  if (c == '?') {
    std::string_view thenText = s.substr(op + 1, second - op - 1);
    return eval(leftText) != 0 ? eval(thenText) : eval(s.substr(second + 1));
  }
  if (c == '^') {
    double exponent = eval(rightText);
    return std::pow(eval(leftText), exponent);
  }
  if (c == '<' || c == '>' || c == '=' || c == '!') {
    char kind = second == kNone ? '\0' : s[second];
    if ((c == '<' || c == '>') && kind != '\0' && kind != '=' && kind != c) {
      error = true;
      return 0;
    }
    if (second != kNone) rightText = s.substr(second + 1);
    double left = eval(leftText);
    double right = eval(rightText);
    if (kind == '<') {
      uint32_t count = static_cast<uint32_t>(Trunc32(right, error)) & 31;
      return static_cast<int32_t>(static_cast<uint32_t>(Trunc32(left, error)) << count);
    }
    if (kind == '>') return Trunc32(left, error) >> (Trunc32(right, error) & 31);
    switch (c) {
      case '<':
        return kind == '=' ? left <= right : left < right;
      case '>':
        return kind == '=' ? left >= right : left > right;
      case '!':
        return left != right;
      default:
        return left == right;
    }
  }
  double left = eval(leftText);
  double right = eval(rightText);
  switch (c) {
    case '+':
      return left + right;
    case '-':
      return left - right;
    case '*':
      return left * right;
    case '/':
      return left / right;
    case '&':
      return Trunc32(left, error) & Trunc32(right, error);
    default:
      return Trunc32(left, error) | Trunc32(right, error);
  }
}
