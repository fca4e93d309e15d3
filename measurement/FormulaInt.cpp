#include "measurement/FormulaInt.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/Conversions.h"

namespace {

constexpr double kPi = 3.14159265;
// Deeper nesting (brackets, ternaries, an operator inside the operand of a looser one) than this
// is no sensible formula; it is refused instead of exhausting the stack. A chain of operators of
// one level, however long, counts once.
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

// The loosest level each character can stand for (the ternary's aside): a quick test before
// judging a character with its neighbours.
struct LevelTable {
  int8_t level[256];
};

constexpr LevelTable MakeLoosestLevels() {
  LevelTable table{};
  for (int8_t& level : table.level)
    level = kNoOperator;
  const std::pair<char, int> operators[] = {
      {'<', kComparison}, {'>', kComparison}, {'=', kComparison}, {'!', kComparison},
      {'+', kPlus},       {'-', kMinus},      {'*', kTimes},      {'/', kDivide},
      {'^', kPower},      {'&', kAnd},        {'|', kOr}};
  for (const auto& [c, level] : operators)
    table.level[static_cast<unsigned char>(c)] = static_cast<int8_t>(level);
  return table;
}

constexpr LevelTable kLoosestLevel = MakeLoosestLevels();

int LoosestLevel(char c) {
  return kLoosestLevel.level[static_cast<unsigned char>(c)];
}

// The operator to split at: `op` its position, `second` the position of the ':' of a ternary or
// of the second character of a two-character operator (kNone when there is none).
struct Split {
  int level = kNoOperator;
  size_t op = kNone;
  size_t second = kNone;
};

// A '+' or '-' at the start or right after an exponent's 'E' is a sign.
bool IsSign(std::string_view s, size_t i) {
  return i == 0 || s[i - 1] == 'E' || s[i - 1] == 'e';
}

Split ComparisonAt(std::string_view s, size_t i) {
  const char c = s[i];
  const char next = i + 1 < s.size() ? s[i + 1] : '\0';
  if (next == '=') return {kComparison, i, i + 1};
  if (next == '<' || next == '>') {
    if (c == '<' && next == '<') return {kShiftLeft, i, i + 1};
    if (c == '>' && next == '>') return {kShiftRight, i, i + 1};
    return {};
  }
  if (c != '!' && (i == 0 || !IsComparisonChar(s[i - 1]))) return {kComparison, i, kNone};
  return {};
}

// The operator that position i (at bracket depth 0) stands for, judged by its neighbours in s;
// none for an operand character. The ternary's ':' and '?' are the caller's.
Split OperatorAt(std::string_view s, size_t i) {
  const int level = LoosestLevel(s[i]);
  if (level == kComparison) return ComparisonAt(s, i);
  if (level == kNoOperator || ((level == kPlus || level == kMinus) && IsSign(s, i))) return {};
  return {level, i};
}

// Right to left at bracket depth 0: the loosest operator, the rightmost among equal levels. Once
// a ':' is seen only a '?' is taken, so a ternary splits at the leftmost '?' left of its last ':'.
Split FindOperator(std::string_view s) {
  Split split;
  int depth = 0;
  for (size_t i = s.size(); i-- > 0;) {
    const char c = s[i];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth != 0) continue;
    if (c == ':') {
      if (split.level > kTernary) {
        split.level = kTernary;
        split.second = i;
      }
    } else if (c == '?') {
      if (split.level == kTernary) split.op = i;
    } else if (LoosestLevel(c) < split.level) {
      if (const Split here = OperatorAt(s, i); here.level < split.level) split = here;
    }
  }
  return split;
}

// Where the left operand s[0, end) of an operator of `level` at `end` splits again at that level,
// or none. Nothing in s binds looser than `level`, but the character just before `end` has no
// right neighbour in the operand and is judged anew: when it then binds looser, the operand is no
// part of the chain.
Split NextInChain(std::string_view s, size_t end, int level) {
  const std::string_view operand = s.substr(0, end);
  int depth = 0;
  for (size_t i = end; i-- > 0;) {
    const char c = s[i];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth != 0 || LoosestLevel(c) > level) continue;
    const Split here = OperatorAt(operand, i);
    if (here.level < level) return {};
    if (here.level == level) return here;
  }
  return {};
}

// A list that keeps its first entries in place, as most chains have one or two operators.
template <typename T>
class ShortList {
 public:
  void Add(const T& value) {
    if (size_ < kInPlace)
      inPlace_[size_] = value;
    else
      more_.push_back(value);
    ++size_;
  }
  const T& operator[](size_t k) const { return k < kInPlace ? inPlace_[k] : more_[k - kInPlace]; }
  size_t Size() const { return size_; }

 private:
  static constexpr size_t kInPlace = 4;
  std::array<T, kInPlace> inPlace_{};
  std::vector<T> more_;
  size_t size_ = 0;
};

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

// Where the right operand of a split that is no ternary begins.
size_t RightOperandAt(const Split& split) {
  return (split.second != kNone ? split.second : split.op) + 1;
}

// `left` and `right` joined by the operator `c` (no ternary); `kind` is the character at its
// second position ('\0' for none).
double Combine(char c, char kind, double left, double right, bool& error) {
  switch (c) {
    case '<':
      if (kind == '<') {
        const uint32_t count = static_cast<uint32_t>(Trunc32(right, error)) & 31;
        return static_cast<int32_t>(static_cast<uint32_t>(Trunc32(left, error)) << count);
      }
      return kind == '=' ? left <= right : left < right;
    case '>':
      if (kind == '>') return Trunc32(left, error) >> (Trunc32(right, error) & 31);
      return kind == '=' ? left >= right : left > right;
    case '!':
      return left != right;
    case '=':
      return left == right;
    case '+':
      return left + right;
    case '-':
      return left - right;
    case '*':
      return left * right;
    case '/':
      return left / right;
    case '^':
      return std::pow(left, right);
    case '&':
      return Trunc32(left, error) & Trunc32(right, error);
    default:
      return Trunc32(left, error) | Trunc32(right, error);
  }
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
  const Split split = FindOperator(s);
  if (split.op == kNone || split.level >= kNoOperator) return Leaf(s);
  if (split.level == kTernary) return EvaluateOperator(s, split.op, split.second, error, depth + 1);
  return EvaluateChain(s, split.op, error, depth + 1);
}

double TFormulaInt::EvaluateOperator(std::string_view s, size_t op, size_t second, bool& error,
                                     int depth) {
  auto eval = [&](std::string_view part) { return EvaluateAt(part, error, depth); };
  std::string_view leftText = op == 0 ? std::string_view("0") : s.substr(0, op);
  std::string_view rightText = s.substr(op + 1);
  const char c = s[op];
  if (c == '?') {
    std::string_view thenText = s.substr(op + 1, second - op - 1);
    return eval(leftText) != 0 ? eval(thenText) : eval(s.substr(second + 1));
  }
  // An operator left of a ':' that has no '?': `second` is that ':'.
  const char kind = second == kNone ? '\0' : s[second];
  const bool comparison = c == '<' || c == '>' || c == '=' || c == '!';
  if (comparison) {
    if ((c == '<' || c == '>') && kind != '\0' && kind != '=' && kind != c) {
      error = true;
      return 0;
    }
    if (second != kNone) rightText = s.substr(second + 1);
  }
  if (c == '^') {
    const double exponent = eval(rightText);
    return std::pow(eval(leftText), exponent);
  }
  const double left = eval(leftText);
  return Combine(c, kind, left, eval(rightText), error);
}

double TFormulaInt::EvaluateChain(std::string_view s, size_t op, bool& error, int depth) {
  // The operators from the right, as the nested splits would find them one after the other.
  ShortList<Split> chain;
  for (Split next = OperatorAt(s, op); next.op != kNone;) {
    chain.Add(next);
    if (next.op == 0) break;
    next = NextInChain(s, next.op, next.level);
  }
  const size_t count = chain.Size();
  // Operand k lies right of operator k and left of operator k - 1; the leftmost is "0" when the
  // text begins with its operator.
  const auto operand = [&](size_t k) {
    const size_t begin = k == count ? 0 : RightOperandAt(chain[k]);
    const size_t end = k == 0 ? s.size() : chain[k - 1].op;
    if (k == count && end == 0) return std::string_view("0");
    return s.substr(begin, end - begin);
  };
  const auto evaluate = [&](size_t k) { return EvaluateAt(operand(k), error, depth); };
  const auto combine = [&](size_t k, double left, double right) {
    const Split& split = chain[k];
    const char kind = split.second == kNone ? '\0' : s[split.second];
    return Combine(s[split.op], kind, left, right, error);
  };
  if (s[op] == '^') {
    // A power takes its right operand first: the operands are evaluated from the right.
    ShortList<double> values;
    for (size_t k = 0; k <= count; ++k)
      values.Add(evaluate(k));
    double result = values[count];
    for (size_t k = count; k-- > 0;)
      result = combine(k, result, values[k]);
    return result;
  }
  double result = evaluate(count);
  for (size_t k = count; k-- > 0;)
    result = combine(k, result, evaluate(k));
  return result;
}
