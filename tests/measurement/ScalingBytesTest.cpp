#include "measurement/ScalingBytes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "measurement/DataDescription.h"
#include "platform/Exceptions.h"
#include "measurement/NamedLists.h"

namespace {

using Bytes = std::vector<int16_t>;
using Options = std::vector<std::string>;

const std::string kDegreeC =
    "\xC2\xB0"
    "C";

TSmallIntArray ArrayOf(const Bytes& bytes) {
  TSmallIntArray array;
  for (int16_t b : bytes)
    array.Add(b);
  return array;
}

std::unique_ptr<TScalingBytes> MakeItem(const Bytes& scaling, const Options& options = {},
                                        const TDataDescription* owner = nullptr) {
  return std::make_unique<TScalingBytes>(ArrayOf(scaling), options, 0, owner);
}

TEST(ScalingConstant, MatchesTheSinglePrecisionStepsBitForBit) {
  struct Case {
    uint8_t high, low;
    uint32_t bits;
  };
  // 1e-4 and 1e-5 come out one step below the nearest float, as multiplying by 0.1 in single
  // precision gives.
  for (const Case& c :
       {Case{0x00, 0x01, 0x3F800000}, Case{0x10, 0x01, 0x41200000}, Case{0x90, 0x19, 0x40200000},
        Case{0x98, 0x05, 0xBF000000}, Case{0x08, 0x28, 0xC2200000}, Case{0x27, 0xFF, 0x4847E700},
        Case{0xA0, 0x64, 0x3F800000}, Case{0xA0, 0x01, 0x3C23D70A}, Case{0xB0, 0x01, 0x3A83126E},
        Case{0xC0, 0x01, 0x38D1B716}, Case{0xD0, 0x01, 0x3727C5AB}, Case{0xF7, 0xFF, 0x3956A4BB},
        Case{0x77, 0xFF, 0x5098836D}})
    EXPECT_EQ(std::bit_cast<uint32_t>(ScalingConstant(c.high, c.low)), c.bits)
        << std::hex << int(c.high) << ' ' << int(c.low);
}

struct LayoutCase {
  const char* name;
  Bytes scaling;
  Options options;
  int dataType;
  int nrBytes;
  int formulaId;
  std::string unit;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
  *os << c.name;
}

class ScalingLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ScalingLayout, ReadsBytesThenOptions) {
  const LayoutCase& c = GetParam();
  auto item = MakeItem(c.scaling, c.options);
  EXPECT_EQ(item->GetDataType(), c.dataType);
  EXPECT_EQ(item->GetNrBytes(), c.nrBytes);
  EXPECT_EQ(item->GetFormulaId(), c.formulaId);
  EXPECT_EQ(item->GetUnit(), c.unit);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Items, ScalingLayout,
    ::testing::Values(
        LayoutCase{"none", {}, {}, dtNone, 0, fiNone, ""},
        LayoutCase{"counts_add_up", {0x01, 0x01}, {}, dtUnsigned, 2, fiNone, ""},
        LayoutCase{"last_type_wins", {0x12, 0x31}, {}, dtBitMask, 3, fiNone, ""},
        LayoutCase{"enumeration", {0xB2}, {}, dtEnumeration, 2, fiNone, ""},
        LayoutCase{"formula_outside_table", {0x01, 0x90, 0x0A, 0x05}, {}, dtUnsigned, 1, fiNone,
            ""},
        LayoutCase{"inverted_characters", {0x66, 0x90, 0xFF}, {}, dtCharacters, 6, fiInverted, ""},
        LayoutCase{"inverted_before_type", {0x90, 0xFF, 0x66}, {}, dtNone, 0, fiNone, ""},
        LayoutCase{"prefix_before_unit", {0xA0, 0x45, 0xA0, 0x01}, {}, dtNone, 0, fiNone, "km"},
        LayoutCase{"prefix_after_unit", {0xA0, 0x01, 0xA0, 0x45}, {}, dtNone, 0, fiNone, "km"},
        LayoutCase{"deca_micro", {0xA0, 0x47, 0xA0, 0x4B, 0xA0, 0x08}, {}, dtNone, 0, fiNone,
            "uda" "s"},
        LayoutCase{"units_append", {0xA0, 0x33, 0xA0, 0x99, 0xA0, 0x80}, {}, dtNone, 0, fiNone,
            "rpmmm^3"},
        LayoutCase{"degree", {0x01, 0xA0, 0x17}, {}, dtUnsigned, 1, fiNone, kDegreeC},
        LayoutCase{"unit_byte_last", {0x01, 0xA0}, {}, dtUnsigned, 1, fiNone, ""},
        LayoutCase{"formula_byte_last", {0x01, 0x90}, {}, dtUnsigned, 1, fiNone, ""},
        LayoutCase{"high_nibble_C_stops", {0x01, 0xC0, 0x02}, {}, dtUnsigned, 1, fiNone, ""},
        LayoutCase{"datatype_option", {0x02}, {"#datatype signed"}, dtSigned, 2, fiNone, ""},
        LayoutCase{"unknown_type_word", {0x02}, {"#datatype Signed"}, dtUnsigned, 2, fiNone, ""},
        LayoutCase{"nrbytes_option", {0x02}, {"#nrbytes 0x05"}, dtUnsigned, 5, fiNone, ""},
        LayoutCase{"prefixunit", {0x01, 0xA0, 0x17}, {"#prefixunit \"km/h\""}, dtUnsigned, 1,
            fiNone, "km/h"},
        LayoutCase{"scaling_all_words", {}, {"#scaling unsigned 2 x/10 rpm"}, dtUnsigned, 2,
            fiFree, "rpm"},
        LayoutCase{"scaling_ascii_inv", {0x04}, {"#scaling ascii_inv"}, dtCharacters, 4,
            fiInverted, ""},
        LayoutCase{"formula_option", {0x01}, {"#formula x*2"}, dtUnsigned, 1, fiFree, ""},
        LayoutCase{"other_options_ignored", {0x01}, {"#List a", "#whatever"}, dtUnsigned, 1,
            fiNone, ""}));
// clang-format on

struct OptionErrorCase {
  const char* option;
  const char* message;
};

void PrintTo(const OptionErrorCase& c, std::ostream* os) {
  *os << c.option;
}

class OptionErrors : public ::testing::TestWithParam<OptionErrorCase> {};

TEST_P(OptionErrors, LeaveTheConstructor) {
  try {
    MakeItem({0x01}, {GetParam().option});
    FAIL() << "no error";
  } catch (const plat::Exception& e) {
    EXPECT_EQ(e.Message(), GetParam().message);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Options, OptionErrors,
    ::testing::Values(
        OptionErrorCase{"#list", "List index out of bounds (1)"},
        OptionErrorCase{"#scaling", "List index out of bounds (1)"},
        OptionErrorCase{"#formula", "List index out of bounds (1)"},
        OptionErrorCase{"#nrbytes two", "'two' is not a valid integer value"},
        OptionErrorCase{"#scaling signed 1.5", "'1.5' is not a valid integer value"}));
// clang-format on

struct DecodeCase {
  const char* name;
  Bytes scaling;
  Options options;
  Bytes data;
  std::string text;
  float value;
  int32_t raw;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
  *os << c.name;
}

class ScalingDecode : public ::testing::TestWithParam<DecodeCase> {
 protected:
  void SetUp() override {
    TNamedList& bits = lists_.FindOrAdd("Bits");
    bits.Add(1, {"1", "T1"});
    bits.Add(0, {"1", "T2"});
    bits.Add(2, {"2", "T3"});
    lists_.FindOrAdd("High").Add(0x80, {"0x80", "H"});
    TNamedList& states = lists_.FindOrAdd("States");
    states.Add(0x12, {"Open", "wide"});
    states.Add(5, {});
    states.Add(-1, {"all"});
  }

  TNamedLists lists_;
  TDataDescription owner_{"S,1,2,T", &lists_};
};

TEST_P(ScalingDecode, GivesTextValueAndRawValue) {
  const DecodeCase& c = GetParam();
  auto item = MakeItem(c.scaling, c.options, &owner_);
  EXPECT_EQ(item->Decode(ArrayOf(c.data)), c.text);
  EXPECT_EQ(item->GetText(), c.text);
  if (std::isnan(c.value))
    EXPECT_TRUE(std::isnan(item->GetValue()));
  else
    EXPECT_FLOAT_EQ(item->GetValue(), c.value);
  EXPECT_EQ(item->GetRawValue(), c.raw);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Items, ScalingDecode,
    ::testing::Values(
        DecodeCase{"unsigned_byte", {0x01}, {}, {0xFF}, "255", 255, 255},
        DecodeCase{"signed_negative", {0x12}, {}, {0xFF, 0xFE}, "-2", -2, 0xFFFE},
        DecodeCase{"signed_positive", {0x12}, {}, {0x7F, 0xFF}, "3.277E4", 32767, 0x7FFF},
        DecodeCase{"signed_three_bytes", {0x13}, {}, {0xFF, 0xFF, 0xFE}, "-2", -2, 0xFFFFFE},
        DecodeCase{"signed_four_bytes", {0x14}, {}, {0x80, 0, 0, 0}, "-2.147E9", -2147483648.0f,
            INT32_MIN},
        DecodeCase{"unsigned_four_bytes", {0x04}, {}, {0xFF, 0xFF, 0xFF, 0xFF}, "4.295E9",
            4294967295.0f, -1},
        DecodeCase{"five_bytes_fold", {0x05}, {}, {1, 2, 3, 4, 5}, "3.375E7", 33752070.0f,
            0x02030406},
        DecodeCase{"no_bytes", {0x10}, {}, {}, "0", 0, 0},
        DecodeCase{"linear_degrees", {0x01, 0x90, 0x00, 0x90, 0x19, 0x08, 0x28, 0xA0, 0x17}, {},
            {0x20}, "40", 40, 0x20},
        DecodeCase{"formula_1", {0x01, 0x90, 0x01, 0x00, 0x02, 0x00, 0x0A}, {}, {5}, "30", 30, 5},
        DecodeCase{"formula_2", {0x01, 0x90, 0x02, 0x00, 0x64, 0x00, 0x00, 0x00, 0x01}, {}, {4},
            "26", 26, 4},
        DecodeCase{"formula_2_by_zero", {0x01, 0x90, 0x02, 0x00, 0x64, 0x00, 0x00, 0x00, 0x01}, {},
            {0}, "INF", INFINITY, 0},
        DecodeCase{"formula_3", {0x01, 0x90, 0x03, 0x00, 0x04, 0x00, 0x01}, {}, {10}, "3.5", 3.5f,
            10},
        DecodeCase{"formula_4", {0x01, 0x90, 0x04, 0x00, 0x02, 0x00, 0x04}, {}, {6}, "2", 2, 6},
        DecodeCase{"formula_5", {0x01, 0x90, 0x05, 0x00, 0x02, 0x00, 0x04, 0x00, 0x01}, {}, {6},
            "3", 3, 6},
        DecodeCase{"formula_6", {0x01, 0x90, 0x06, 0x00, 0x03}, {}, {7}, "21", 21, 7},
        DecodeCase{"formula_7", {0x01, 0x90, 0x07, 0x00, 0x02}, {}, {9}, "4.5", 4.5f, 9},
        DecodeCase{"formula_8", {0x01, 0x90, 0x08, 0x08, 0x28}, {}, {9}, "-31", -31, 9},
        DecodeCase{"formula_9", {0x01, 0x90, 0x09, 0x00, 0x03, 0x00, 0x04}, {}, {10}, "7.5", 7.5f,
            10},
        DecodeCase{"percent_scale", {0x01, 0x90, 0x06, 0xA0, 0x01}, {}, {50}, "0.5", 0.5f, 50},
        DecodeCase{"constants_cut_off", {0x01, 0x90, 0x00, 0x00}, {}, {9}, "0", 0, 9},
        DecodeCase{"free_formula", {0x02}, {"#formula \"(x - 40) * 0.5\""}, {0x00, 0x50}, "20", 20,
            0x50},
        DecodeCase{"free_formula_error_ignored", {0x01}, {"#formula x*"}, {3}, "0", 0, 3},
        DecodeCase{"free_formula_nan", {0x01}, {"#formula (0-1)^0.5"}, {0}, "NAN", NAN, 0},
        DecodeCase{"free_formula_signed", {0x11}, {"#formula x*2"}, {0xFF}, "-2", -2, 0xFF},
        DecodeCase{"bitmask_two_match", {0x31, 0xA0, 0x17}, {"#list bits"}, {3}, "T1, T3", 3, 3},
        DecodeCase{"bitmask_zero", {0x21}, {"#list Bits"}, {0}, "T2", 0, 0},
        DecodeCase{"bitmask_no_match", {0x31}, {"#list High"}, {0x01}, "", 1, 1},
        DecodeCase{"bitmask_no_list", {0x31}, {"#list Nothing"}, {3}, "0x03, list not found", 3, 3},
        DecodeCase{"enum_found", {0xB2}, {"#list states"}, {0x00, 0x12}, "Open, wide", 18, 0x12},
        DecodeCase{"enum_missing", {0xB2}, {"#list States"}, {0x00, 0x13},
            "0x0013, item not found in list", 19, 0x13},
        DecodeCase{"enum_no_words", {0xB1}, {"#list States"}, {0x05}, "0x05, ", 5, 5},
        DecodeCase{"enum_signed_id", {0xB4}, {"#list States"}, {0xFF, 0xFF, 0xFF, 0xFF}, "all",
            4294967295.0f, -1},
        DecodeCase{"enum_no_list", {0xB2}, {"#list Other"}, {0x00, 0x12}, "0x0012, list not found",
            18, 0x12},
        DecodeCase{"state_one_byte", {0x51}, {}, {0x05}, "5", 5, 5},
        DecodeCase{"state_two_bytes", {0x52}, {}, {0x00, 0x12}, "12", 18, 0x12},
        DecodeCase{"state_not_cut", {0x52}, {}, {0x12, 0x34}, "1234", 0x1234, 0x1234},
        DecodeCase{"hex_pairs", {0x43}, {}, {0x0A, 0x1B, 0x2C}, "0A 1B 2C", 0, 0x0A1B2C},
        DecodeCase{"characters_cp1252", {0x63}, {}, {0x80, 0xB0, 0x41}, "\xE2\x82\xAC\xC2\xB0" "A",
            0, 0x80B041},
        DecodeCase{"characters_inverted", {0x63, 0x90, 0xFF}, {}, {'a', 'b', 'c'}, "cba", 0,
            0x616263},
        DecodeCase{"unknown_type", {0x72}, {}, {0x12, 0x34}, "DataType not known 12 34", 0, 0x1234},
        DecodeCase{"no_type", {}, {"#nrbytes 1"}, {0xAB}, "DataType not known AB", 0, 0xAB},
        DecodeCase{"short_data", {0x02}, {}, {0x01}, "", 0, 0},
        DecodeCase{"negative_count_reads_nothing", {0x01}, {"#nrbytes -2"}, {1, 2, 3}, "", 0, 0}));
// clang-format on

TEST(ScalingBytes, ListTextsWithoutNamedLists) {
  TDataDescription ownerWithoutLists("S,1,2,T", nullptr);
  auto enumeration = MakeItem({0xB2}, {"#list States"}, &ownerWithoutLists);
  EXPECT_EQ(enumeration->Decode(ArrayOf({0x00, 0x12})), "0x0012, no lists available");
  auto bits = MakeItem({0x31}, {"#list Bits"});
  EXPECT_EQ(bits->Decode(ArrayOf({0x03})), "0x03, no lists available");
}

TEST(ScalingBytes, BadBitMaskEntriesRaiseTheLibraryErrors) {
  TNamedLists lists;
  lists.FindOrAdd("Words").Add(1, {"one"});
  lists.FindOrAdd("Single").Add(1, {"0x01"});
  TDataDescription owner("S,1,2,T", &lists);
  EXPECT_THROW(MakeItem({0x31}, {"#list Words"}, &owner)->Decode(ArrayOf({1})),
               plat::EConvertError);
  try {
    MakeItem({0x31}, {"#list Single"}, &owner)->Decode(ArrayOf({1}));
    FAIL() << "no list error";
  } catch (const plat::EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (1)");
  }
}

TEST(ScalingBytes, ShortDataKeepsTheLastValues) {
  auto item = MakeItem({0x02});
  item->Decode(ArrayOf({0x01, 0x02}));
  EXPECT_EQ(item->Decode(ArrayOf({0x07})), "");
  EXPECT_EQ(item->GetRawValue(), 0x0102);
  EXPECT_FLOAT_EQ(item->GetValue(), 258);
}

TEST(ScalingBytes, ListsAreLookedUpAtEveryDecoding) {
  TNamedLists lists;
  TDataDescription owner("S,1,2,T", &lists);
  auto item = MakeItem({0xB1}, {"#list Gear"}, &owner);
  EXPECT_EQ(item->Decode(ArrayOf({2})), "0x02, list not found");
  lists.FindOrAdd("GEAR").Add(2, {"second"});
  EXPECT_EQ(item->Decode(ArrayOf({2})), "second");
  lists.Clear();
  EXPECT_EQ(item->Decode(ArrayOf({2})), "0x02, list not found");
}

}  // namespace
