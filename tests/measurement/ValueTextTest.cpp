#include "measurement/ValueText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

namespace {

struct NumberCase {
  float value;
  const char* text;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
  *os << c.text;
}

class NumberFormat : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberFormat, FourSignificantDigitsWithPointInEveryLocale) {
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    std::setlocale(LC_ALL, locale);
    EXPECT_EQ(FloatToText(GetParam().value), GetParam().text) << locale;
  }
  std::setlocale(LC_ALL, "C");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Values, NumberFormat,
    ::testing::Values(
        NumberCase{0.0f, "0"},
        NumberCase{-0.0f, "0"},
        NumberCase{2.5f, "2.5"},
        NumberCase{-40.0f, "-40"},
        NumberCase{1234.0f, "1234"},
        NumberCase{9999.0f, "9999"},
        NumberCase{12346.0f, "1.235E4"},
        NumberCase{99999.0f, "1E5"},
        NumberCase{0.0001234f, "0.0001234"},
        NumberCase{0.00001234f, "1.234E-5"},
        NumberCase{1.0f / 3.0f, "0.3333"},
        NumberCase{1234.5f, "1235"},
        NumberCase{9999.5f, "1E4"},
        NumberCase{-0.5f, "-0.5"},
        NumberCase{0.0001f, "0.0001"},
        NumberCase{0.00009999f, "9.999E-5"},
        NumberCase{10000.0f, "1E4"},
        NumberCase{100.0f, "100"},
        NumberCase{0.1f, "0.1"},
        NumberCase{1.0006f, "1.001"},
        NumberCase{2.0005f, "2"},
        NumberCase{-1234.5f, "-1235"},
        NumberCase{123456789.0f, "1.235E8"},
        NumberCase{-0.00001234f, "-1.234E-5"},
        NumberCase{32767.0f, "3.277E4"},
        NumberCase{std::numeric_limits<float>::max(), "3.403E38"},
        NumberCase{std::numeric_limits<float>::denorm_min(), "1.401E-45"},
        NumberCase{std::numeric_limits<float>::infinity(), "INF"},
        NumberCase{-std::numeric_limits<float>::infinity(), "-INF"},
        NumberCase{std::nanf(""), "NAN"}));
// clang-format on

}  // namespace
