#include "measurement/DataDescription.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exceptions.h"

namespace {

using Texts = std::vector<std::string>;

const std::string kShort = "Definition not correct, data received shorter than description";
const std::string kDegreeC =
    "\xC2\xB0"
    "C";

TSmallIntArray Bytes(std::initializer_list<int16_t> values) {
  return TSmallIntArray(values);
}

TEST(DataDescription, ParsesTheExampleStatement) {
  TDataDescription d("RDBLI_2000, 0x21, 0x01, Engine, 2, Speed, 1, 0x01, Temp, 3, 0x01, 0xA0, 0x17",
                     nullptr);
  EXPECT_EQ(d.GetServiceName(), "RDBLI_2000");
  EXPECT_EQ(d.GetServiceId(), 0x21);
  EXPECT_EQ(d.GetIdentifier(), 1);
  EXPECT_EQ(d.GetTitle(), "Engine");
  ASSERT_EQ(d.Count(), 2);
  EXPECT_EQ(d.Strings(1), "Temp");
  EXPECT_EQ(d.Objects(1)->GetUnit(), kDegreeC);
  EXPECT_EQ(d.GetLineCount(), 2);
  EXPECT_EQ(d.GetNames(), (Texts{"Speed", "Temp"}));
  EXPECT_EQ(d.GetValueTexts(), (Texts{"No data", "No data"}));
  EXPECT_EQ(d.GetUnits(), (Texts{"", kDegreeC}));
  EXPECT_EQ(d.GetValues(), (std::vector<float>{0, 0}));
  EXPECT_EQ(d.GetTotalNrBytes(), 2);
  EXPECT_TRUE(d.IsSingleRecord());

  EXPECT_EQ(d.Decode(Bytes({0x10, 0x20}), false), (Texts{"16", "32"}));
  EXPECT_EQ(d.GetValues(), (std::vector<float>{16, 32}));
  ASSERT_EQ(d.GetRecordTexts().size(), 1u);
  EXPECT_EQ(d.GetRecordTexts()[0].Text, "16");
  EXPECT_EQ(d.GetRecordTexts()[0].RawValue, 16);
}

struct StatementCase {
  const char* name;
  std::string statement;
  std::string serviceName;
  int serviceId;
  int identifier;
  std::string title;
  Texts names;
  Texts units;
  int totalNrBytes;
};

void PrintTo(const StatementCase& c, std::ostream* os) {
  *os << c.name;
}

class Statements : public ::testing::TestWithParam<StatementCase> {};

TEST_P(Statements, GiveFieldsItemsAndLines) {
  const StatementCase& c = GetParam();
  TDataDescription d(c.statement, nullptr);
  EXPECT_EQ(d.GetServiceName(), c.serviceName);
  EXPECT_EQ(d.GetServiceId(), c.serviceId);
  EXPECT_EQ(d.GetIdentifier(), c.identifier);
  EXPECT_EQ(d.GetTitle(), c.title);
  EXPECT_EQ(d.GetNames(), c.names);
  EXPECT_EQ(d.GetUnits(), c.units);
  EXPECT_EQ(d.GetValueTexts(), Texts(c.names.size(), "No data"));
  EXPECT_EQ(d.Count(), static_cast<int>(c.names.size()));
  EXPECT_EQ(d.GetTotalNrBytes(), c.totalNrBytes);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Parsing, Statements,
    ::testing::Values(
        StatementCase{"three_tokens", "A,1,2", "0", -1, -1, "ERROR Description not valid", {}, {},
            0},
        StatementCase{"empty", "", "0", -1, -1, "ERROR Description not valid", {}, {}, 0},
        StatementCase{"ends_after_title", "A $10 3 Title", "A", 0x10, 3, "Title", {}, {}, 0},
        StatementCase{"ends_after_record_option", "A,1,2,T,\"#list 1 2\"", "A", 1, 2, "T", {}, {},
            0},
        StatementCase{"item_missing", "A,1,2,T,2,Speed,1,0x01", "A", 1, 2, "ERROR T",
            {"Speed", "No name + scalingbytecount"}, {"not valid", "not valid"}, 1},
        StatementCase{"name_without_count", "A,1,2,T,1,Speed", "A", 1, 2, "ERROR T",
            {"No name + scalingbytecount"}, {"not valid"}, 0},
        StatementCase{"scaling_token_missing", "A,1,2,T,1,Speed,3,0x01,0xA0", "A", 1, 2, "ERROR T",
            {"Not enough scalingbytes"}, {"not valid"}, 0},
        StatementCase{"negative_scaling_count", "A,1,2,T,2,X,1,0x01,Speed,-1,0x01", "A", 1, 2,
            "ERROR T", {"X", "Not enough scalingbytes"}, {"not valid", "not valid"}, 1},
        StatementCase{"items_after_failure_unread", "A,1,2,T,3,X,9,Y,1,0x01", "A", 1, 2, "ERROR T",
            {"Not enough scalingbytes"}, {"not valid"}, 0},
        StatementCase{"zero_items", "A,1,2,T,0,X,1,0x01", "A", 1, 2, "T", {}, {}, 0},
        StatementCase{"negative_item_count", "A,1,2,T,-3,X,1,0x01", "A", 1, 2, "T", {}, {}, 0},
        StatementCase{"empty_name", "A,1,2,T,1,,1,0x02", "A", 1, 2, "T", {""}, {""}, 2},
        StatementCase{"options_and_bytes_mixed",
            "A,1,2,T,1,N,3,\"#prefixunit V\",0x02,\"#nrbytes 4\"", "A", 1, 2, "T", {"N"}, {"V"}, 4},
        StatementCase{"leftover_tokens_ignored", "A,1,2,T,1,N,1,0x01,extra,tokens", "A", 1, 2, "T",
            {"N"}, {""}, 1},
        StatementCase{"byte_count_saturates", "A,1,2,T,2,N,1,\"#nrbytes 0x7FFFFFFF\",M,1,\"#nrbytes 9\"",
            "A", 1, 2, "T", {"N", "M"}, {"", ""}, 2147483647},
        StatementCase{"negative_nrbytes_not_counted",
            "A,1,2,T,2,N,2,0x01,\"#nrbytes -5\",M,1,0x03", "A", 1, 2, "T", {"N", "M"}, {"",
            ""}, 3}));
// clang-format on

struct ErrorCase {
  const char* statement;
  const char* message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << c.statement;
}

class StatementErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(StatementErrors, LeaveTheConstructor) {
  try {
    TDataDescription d(GetParam().statement, nullptr);
    FAIL() << "no error";
  } catch (const plat::Exception& e) {
    EXPECT_EQ(e.Message(), GetParam().message);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Parsing, StatementErrors,
    ::testing::Values(
        ErrorCase{"A,x,2,T", "'x' is not a valid integer value"},
        ErrorCase{"A,1,,T", "'' is not a valid integer value"},
        ErrorCase{"A,1,2,T,two", "'two' is not a valid integer value"},
        ErrorCase{"A,1,2,T,1,N,one,0x01", "'one' is not a valid integer value"},
        ErrorCase{"A,1,2,T,1,N,1,0xZZ", "'0xZZ' is not a valid integer value"},
        ErrorCase{"A,1,2,T,1,N,2,0x01,,", "'' is not a valid integer value"},
        ErrorCase{"A,1,2,T,\"#list a 2\",0", "'a' is not a valid integer value"},
        ErrorCase{"A,1,2,T,\"#countlist 1\",0", "List index out of bounds (2)"},
        ErrorCase{"A,1,2,T,#list,0", "List index out of bounds (1)"},
        ErrorCase{"A,1,2,T,1,N,2,0x01,#list", "List index out of bounds (1)"}));
// clang-format on

struct RecordCase {
  const char* name;
  std::string statement;
  std::vector<int16_t> data;
  Texts names;
  Texts texts;
  Texts recordTexts;
  int totalNrBytes;
};

void PrintTo(const RecordCase& c, std::ostream* os) {
  *os << c.name;
}

class Records : public ::testing::TestWithParam<RecordCase> {};

TEST_P(Records, DecodeIntoLines) {
  const RecordCase& c = GetParam();
  TDataDescription d(c.statement, nullptr);
  TSmallIntArray data;
  for (int16_t b : c.data)
    data.Add(b);
  EXPECT_EQ(d.Decode(data, false), c.texts);
  EXPECT_EQ(d.GetNames(), c.names);
  EXPECT_EQ(d.GetLineCount(), static_cast<int>(c.names.size()));
  EXPECT_EQ(d.GetUnits().size(), c.names.size());
  EXPECT_EQ(d.GetValues().size(), c.names.size());
  Texts records;
  for (const TRecordText& r : d.GetRecordTexts())
    records.push_back(r.Text);
  EXPECT_EQ(records, c.recordTexts);
  EXPECT_EQ(d.GetTotalNrBytes(), c.totalNrBytes);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Decoding, Records,
    ::testing::Values(
        RecordCase{"single_short", "A,1,2,T,2,X,1,0x01,Y,1,0x02", {7, 8}, {"X", "Y"},
            {"7", kShort}, {"7"}, 3},
        RecordCase{"smaller_item_after_short_one", "A,1,2,T,2,X,1,0x02,Y,1,0x01", {7}, {"X", "Y"},
            {kShort, "7"}, {kShort}, 3},
        RecordCase{"three_records", "A,1,2,T,\"#list 1 2\",2,X,1,0x01,Y,1,0x01",
            {9, 1, 2, 3, 4, 5, 6}, {"Number of items", "1. X", "Y", "2. X", "Y", "3. X",
            "Y"}, {"3", "1", "2", "3", "4", "5", "6"}, {"1", "3", "5"}, 7},
        RecordCase{"no_record", "A,1,2,T,\"#list 2 1\",1,X,1,0x01", {9}, {"Number of items"},
            {"0"}, {}, 2},
        RecordCase{"one_byte_records_unnumbered", "A,1,2,T,\"#countlist 0 1\",1,X,1,0x01", {4, 5},
            {"Number of items", "X", "X"}, {"2", "4", "5"}, {"4", "5"}, 2},
        RecordCase{"records_read_back_to_back", "A,1,2,T,\"#list 0 3\",1,X,1,0x02",
            {1, 2, 3, 4, 5, 6}, {"Number of items", "1. X", "2. X"}, {"2", "258", "772"}, {"258",
            "772"}, 4},
        RecordCase{"header_not_skipped_single", "A,1,2,T,\"#list 1 0\",1,X,1,0x01", {4, 5}, {"X"},
            {"4"}, {"4"}, 2},
        RecordCase{"negative_header_is_none", "A,1,2,T,\"#list -5 1\",1,X,1,0x01", {4},
            {"Number of items", "X"}, {"1", "4"}, {"4"}, 1},
        RecordCase{"huge_header", "A,1,2,T,\"#list 0x7FFFFFFF 1\",1,X,1,0x01", {4},
            {"Number of items"}, {"0"}, {}, 0x7FFFFFFF},
        RecordCase{"negative_nrbytes_is_short", "A,1,2,T,2,N,2,0x01,\"#nrbytes -2\",M,1,0x01",
            {6, 7}, {"N", "M"}, {kShort, "6"}, {kShort}, 1},
        RecordCase{"failed_item_line", "A,1,2,T,2,N,1,0x01,M,5,0x01", {6},
            {"N", "Not enough scalingbytes"}, {"6", ""}, {"6"}, 1},
        RecordCase{"no_items", "A,1,2,T,\"#list 0 1\",0", {1, 2}, {"Number of items"}, {"2"}, {},
            0}));
// clang-format on

TEST(DataDescription, AShorterMultiRecordAnswerReplacesEveryLine) {
  TDataDescription d("A,1,2,T,\"#list 0 2\",2,X,1,0x01,Y,1,0x01", nullptr);
  d.Decode(Bytes({1, 2, 3, 4, 5, 6}), false);
  EXPECT_EQ(d.GetLineCount(), 7);
  d.Decode(Bytes({7, 8}), false);
  EXPECT_EQ(d.GetValueTexts(), (Texts{"1", "7", "8"}));
  EXPECT_EQ(d.GetNames(), (Texts{"Number of items", "1. X", "Y"}));
  EXPECT_EQ(d.GetValues(), (std::vector<float>{1, 7, 8}));
  EXPECT_EQ(d.GetUnits(), (Texts{"", "", ""}));
  ASSERT_EQ(d.GetRecordTexts().size(), 1u);
  EXPECT_EQ(d.GetRecordTexts()[0].RawValue, 7);
  EXPECT_EQ(d.GetTotalNrBytes(), 2);
}

TEST(DataDescription, AppendDecodesFromTheFirstByteUntilADecodeWithoutAppend) {
  TDataDescription d("A,1,2,T,2,W,1,0x02,B,1,0x01", nullptr);
  EXPECT_EQ(d.Decode(Bytes({0x01}), false), (Texts{kShort, "1"}));
  EXPECT_EQ(d.Decode(Bytes({0x02, 0x03}), true), (Texts{"258", "3"}));
  EXPECT_EQ(d.Decode(Bytes({0x00, 0x04, 0x05}), false), (Texts{"4", "5"}));
}

TEST(DataDescription, ARecordWithoutItsFirstBytesShowsThisDecodingsText) {
  TDataDescription d("A,1,2,T,\"#list 0 2\",2,X,1,0x04,Y,1,0x01", nullptr);
  d.Decode(Bytes({0, 0, 0, 9, 1, 0, 0, 0, 8, 2}), false);
  ASSERT_EQ(d.GetRecordTexts().size(), 5u);
  EXPECT_EQ(d.GetRecordTexts()[0].Text, "9");
  d.Decode(Bytes({0, 0, 7}), false);
  ASSERT_EQ(d.GetRecordTexts().size(), 1u);
  EXPECT_EQ(d.GetRecordTexts()[0].Text, kShort);
  EXPECT_EQ(d.GetRecordTexts()[0].RawValue, 8) << "the first item's raw value of its last decoding";
  EXPECT_EQ(d.GetValueTexts(), (Texts{"1", kShort, "0"}));
}

TEST(DataDescription, AFailingFormulaLeavesTheLastLinesWhole) {
  TDataDescription d("A,1,2,T,\"#list 0 1\",1,X,2,0x01,\"#formula x>1?x:bad\"", nullptr);
  d.Decode(Bytes({5, 6}), false);
  const Texts before{"2", "5", "6"};
  EXPECT_EQ(d.GetValueTexts(), before);
  EXPECT_THROW(d.Decode(Bytes({7, 1, 8}), false), plat::EConvertError);
  EXPECT_EQ(d.GetValueTexts(), before);
  EXPECT_EQ(d.GetNames().size(), before.size());
  EXPECT_EQ(d.GetValues().size(), before.size());
  EXPECT_EQ(d.GetLineCount(), 3);
}

TEST(DataDescription, ItemAccessOutsideTheItemsIsTheListError) {
  TDataDescription d("A,1,2,T,2,X,1,0x01,Y,7", nullptr);
  EXPECT_NE(d.Objects(0), nullptr);
  EXPECT_EQ(d.Objects(1), nullptr);
  EXPECT_THROW(d.Strings(2), plat::EListError);
  EXPECT_THROW(d.Objects(-1), plat::EListError);
}

}  // namespace
