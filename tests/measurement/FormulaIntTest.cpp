#include "measurement/FormulaInt.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "platform/Exceptions.h"

namespace {

struct FormulaCase {
  const char* formula;
  double x;
  double expected;
  bool ok;
};

void PrintTo(const FormulaCase& c, std::ostream* os) {
  *os << c.formula << " @x=" << c.x;
}

class FormulaTable : public ::testing::TestWithParam<FormulaCase> {};

TEST_P(FormulaTable, EvaluatesWithTheOperatorLevels) {
  const FormulaCase& c = GetParam();
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    std::setlocale(LC_ALL, locale);
    TFormulaInt formula(c.formula);
    double result = 12345;
    EXPECT_EQ(formula.Calculate(c.x, result), c.ok) << locale;
    EXPECT_DOUBLE_EQ(result, c.expected) << locale;
  }
  std::setlocale(LC_ALL, "C");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Formulas, FormulaTable,
    ::testing::Values(
        FormulaCase{"x * 2 ** 3", 3, 24, true},
        FormulaCase{"10-2-3", 0, 5, true},
        FormulaCase{"8-2+1", 0, 7, true},
        FormulaCase{"2^3^2", 0, 64, true},
        FormulaCase{"x/2/2", 8, 2, true},
        FormulaCase{"(x+1)*2", 4, 10, true},
        FormulaCase{"((x))", 7, 7, true},
        FormulaCase{"x>100?1:0", 101, 1, true},
        FormulaCase{"x>100?1:0", 100, 0, true},
        FormulaCase{"x>=100", 100, 1, true},
        FormulaCase{"x<=99", 100, 0, true},
        FormulaCase{"x==5", 5, 1, true},
        FormulaCase{"x=5", 5, 1, true},
        FormulaCase{"x!=5", 5, 0, true},
        FormulaCase{"x<5", 4, 1, true},
        FormulaCase{"x>>4&1", 0x30, 1, true},
        FormulaCase{"0x1F&x", 0x33, 19, true},
        FormulaCase{"x|0x0F", 0x30, 0x3F, true},
        FormulaCase{"-8>>1", 0, -4, true},
        FormulaCase{"1<<33", 0, 2, true},
        FormulaCase{"1<<31", 0, -2147483648.0, true},
        FormulaCase{"*5", 0, 0, true},
        FormulaCase{"<5", 0, 1, true},
        FormulaCase{"x*-1", 3, -1, false},
        FormulaCase{"2e-3*x", 1000, 2, true},
        FormulaCase{"1.5E+2+x", 1, 151, true},
        FormulaCase{"1?2?3:4:5", 0, 3, true},
        FormulaCase{"0?2?3:4:5", 0, 5, true},
        FormulaCase{"1?0?3:4:5", 0, 4, true},
        FormulaCase{"0?1:(0?2:3)", 0, 3, true},
        FormulaCase{"PI", 0, 3.14159265, true},
        FormulaCase{"X+0x10", 1, 17, true},
        FormulaCase{"", 1, 0, false},
        FormulaCase{"x+", 1, 1, false},
        FormulaCase{"()", 1, 0, false},
        FormulaCase{"1<<2+1", 0, 5, true},
        FormulaCase{"10-3+5-2", 0, 10, true},
        FormulaCase{"x>0?-1:1", 2, -1, true},
        FormulaCase{"x>0?-1:1", -2, 1, true},
        FormulaCase{"2*3/4", 0, 1.5, true},
        FormulaCase{"x<=-5", -5, 1, true},
        FormulaCase{"1:2<3", 0, 0, false},
        FormulaCase{"(1/0)&1", 0, 0, false},
        FormulaCase{"x|1", 1e30, 1, false},
        FormulaCase{"x>>1", -1e300, 0, false},
        FormulaCase{"2**-1", 0, 0, false},
        FormulaCase{"x^0.5", 16, 4, true}));
// clang-format on

struct LeafErrorCase {
  const char* formula;
  const char* message;
};

void PrintTo(const LeafErrorCase& c, std::ostream* os) {
  *os << c.formula;
}

class LeafErrors : public ::testing::TestWithParam<LeafErrorCase> {};

TEST_P(LeafErrors, RaiseTheConversionErrorOfTheLeaf) {
  TFormulaInt formula(GetParam().formula);
  double result = 0;
  try {
    formula.Calculate(1, result);
    FAIL() << "no conversion error";
  } catch (const plat::EConvertError& e) {
    EXPECT_EQ(e.Message(), GetParam().message);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Leaves, LeafErrors,
    ::testing::Values(
        LeafErrorCase{"(x+1", "'(x' is not a valid floating point value"},
        LeafErrorCase{"x+1)", "'x+1)' is not a valid floating point value"},
        LeafErrorCase{"inf", "'inf' is not a valid floating point value"},
        LeafErrorCase{"nan*x", "'nan' is not a valid floating point value"},
        LeafErrorCase{"1,5", "'1,5' is not a valid floating point value"},
        LeafErrorCase{"pi", "'pi' is not a valid floating point value"},
        LeafErrorCase{"-x", "'-x' is not a valid floating point value"},
        LeafErrorCase{"0x0E+1", "'0x0E+1' is not a valid integer value"},
        LeafErrorCase{"x:1", "'x:1' is not a valid floating point value"}));
// clang-format on

TEST(FormulaInt, NormalisesStarsAndBlanks) {
  struct Case {
    const char* text;
    const char* stored;
  };
  for (const Case& c : {Case{"x * 2 ** 3", "x*2^3"}, Case{"x***2", "x^*2"}, Case{"x****2", "x^^2"},
                        Case{"x * *2", "x**2"}, Case{"a\tb", "a\tb"}})
    EXPECT_EQ(TFormulaInt(c.text).GetFormula(), c.stored) << c.text;
}

TEST(FormulaInt, FindsTheClosingBracketFromOne) {
  struct Case {
    const char* text;
    int start;
    int expected;
  };
  for (const Case& c :
       {Case{"(x)", 1, 3}, Case{"(a)(b)", 1, 3}, Case{"((a)b)", 1, 6}, Case{"((a)b)", 2, 4},
        Case{"(ab", 1, 1}, Case{"x(a)", 1, 1}, Case{"(a)", 0, 0}, Case{"(a)", 9, 9}})
    EXPECT_EQ(TFormulaInt::FindClosingBracket(c.text, c.start), c.expected)
        << c.text << " from " << c.start;
}

TEST(FormulaInt, EvaluateOnlySetsTheErrorFlag) {
  TFormulaInt formula("x");
  bool error = true;
  EXPECT_EQ(formula.Evaluate("2+3", error), 5);
  EXPECT_TRUE(error);
  error = false;
  EXPECT_EQ(formula.Evaluate("2+", error), 2);
  EXPECT_TRUE(error);
}

TEST(FormulaInt, LimitsNestingButNotTheLengthOfAFlatChain) {
  const auto nested = [](int depth) {
    return std::string(static_cast<size_t>(depth), '(') + "x" +
           std::string(static_cast<size_t>(depth), ')');
  };
  struct Case {
    std::string formula;
    double expected;
    bool ok;
  };
  std::string sum = "1";
  for (int i = 1; i < 100000; ++i)
    sum += "+1";
  const Case cases[] = {{nested(1000), 5, true},
                        {nested(1001), 0, false},
                        {nested(20000), 0, false},
                        {sum.substr(0, 2 * 1002 - 1), 1002, true},
                        {sum, 100000, true}};
  for (const Case& c : cases) {
    TFormulaInt formula(c.formula);
    double result = 1;
    EXPECT_EQ(formula.Calculate(5, result), c.ok) << c.formula.size();
    EXPECT_EQ(result, c.expected) << c.formula.size();
  }
}

}  // namespace
