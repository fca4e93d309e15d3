#include "platform/Conversions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <optional>

#include "platform/Exceptions.h"

namespace {

struct IntCase {
  const char* text;
  std::optional<int32_t> value;  // nullopt: conversion error
};

void PrintTo(const IntCase& c, std::ostream* os) { *os << '\'' << c.text << '\''; }

class StrToIntTable : public ::testing::TestWithParam<IntCase> {};

TEST_P(StrToIntTable, ConvertsOrThrowsTheLibraryMessage) {
  const IntCase& c = GetParam();
  if (c.value) {
    EXPECT_EQ(plat::StrToInt(c.text), *c.value);
  } else {
    try {
      plat::StrToInt(c.text);
      FAIL() << "no error for '" << c.text << "'";
    } catch (const plat::EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + c.text + "' is not a valid integer value");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrToIntTable,
    ::testing::Values(IntCase{"0", 0}, IntCase{"42", 42}, IntCase{"-17", -17}, IntCase{" 12 ", 12},
                      IntCase{"0x1F", 0x1F}, IntCase{"0X1f", 0x1F}, IntCase{"$7E", 0x7E},
                      IntCase{"$FFFFFFFF", -1}, IntCase{"0x80000000", INT32_MIN},
                      IntCase{"2147483647", INT32_MAX}, IntCase{"-2147483648", INT32_MIN},
                      IntCase{"2147483648", std::nullopt}, IntCase{"0x100000000", std::nullopt},
                      IntCase{"0xFFFFFFFFFFFFFFFF", std::nullopt},
                      IntCase{"0x8000000000000000", std::nullopt},
                      IntCase{"0xFFFFFFFF00000005", std::nullopt},
                      IntCase{"-0x100000000", std::nullopt}, IntCase{"-0x5", -5},
                      IntCase{"", std::nullopt}, IntCase{"abc", std::nullopt},
                      IntCase{"12a", std::nullopt}, IntCase{"0x", std::nullopt},
                      IntCase{"$", std::nullopt}, IntCase{"1.5", std::nullopt},
                      IntCase{"- 1", std::nullopt}));

struct FloatCase {
  const char* text;
  std::optional<double> value;
};

void PrintTo(const FloatCase& c, std::ostream* os) { *os << '\'' << c.text << '\''; }

class StrToFloatTable : public ::testing::TestWithParam<FloatCase> {};

TEST_P(StrToFloatTable, ConvertsWithPointWhateverTheLocale) {
  const FloatCase& c = GetParam();
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    std::setlocale(LC_ALL, locale);
    if (c.value) {
      EXPECT_DOUBLE_EQ(plat::StrToFloat(c.text), *c.value) << locale;
    } else {
      try {
        plat::StrToFloat(c.text);
        ADD_FAILURE() << "no error for '" << c.text << "'";
      } catch (const plat::EConvertError& e) {
        EXPECT_EQ(e.Message(),
                  std::string("'") + c.text + "' is not a valid floating point value");
      }
    }
  }
  std::setlocale(LC_ALL, "C");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrToFloatTable,
    ::testing::Values(FloatCase{"1.5", 1.5}, FloatCase{"-0.25", -0.25}, FloatCase{"1E3", 1000.0},
                      FloatCase{"2.5e-2", 0.025}, FloatCase{" 7 ", 7.0}, FloatCase{".5", 0.5},
                      FloatCase{"+3", 3.0}, FloatCase{"1,5", std::nullopt},
                      FloatCase{"inf", std::nullopt}, FloatCase{"nan", std::nullopt},
                      FloatCase{"0x10", std::nullopt}, FloatCase{"", std::nullopt},
                      FloatCase{"1e", std::nullopt}));

TEST(Conversions, IntToHexPadsUpperCaseAndNeverCuts) {
  struct Case {
    uint64_t value;
    int digits;
    std::string text;
  };
  for (const Case& c : {Case{0x0A, 2, "0A"}, Case{0xFF, 4, "00FF"}, Case{0xABCD, 8, "0000ABCD"},
                        Case{0x1234, 2, "1234"}, Case{0x5, 1, "5"}, Case{0, 4, "0000"},
                        Case{0xABCDEF01, 0, "ABCDEF01"}, Case{~0ull, 2, "FFFFFFFFFFFFFFFF"},
                        Case{1, 40, std::string(39, '0') + "1"}})
    EXPECT_EQ(plat::IntToHex(c.value, c.digits), c.text);
}

TEST(Conversions, ListErrorMessage) {
  try {
    plat::ThrowListIndexError(3);
    FAIL();
  } catch (const plat::EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (3)");
  }
}

}  // namespace
