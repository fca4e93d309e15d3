#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "measurement/CommaText.h"
#include "measurement/Cp1252.h"
#include "platform/Exceptions.h"
#include "measurement/NamedLists.h"

namespace {

using Words = std::vector<std::string>;

struct SplitCase {
  std::string text;
  Words words;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << '\'' << c.text << '\'';
}

class CommaText : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommaText, SplitsLikeTheClassLibrary) {
  EXPECT_EQ(SplitCommaText(GetParam().text), GetParam().words);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Texts, CommaText,
    ::testing::Values(
        SplitCase{"a b,c", {"a", "b", "c"}},
        SplitCase{"a,,b", {"a", "", "b"}},
        SplitCase{"a, ,b", {"a", "", "b"}},
        SplitCase{",a", {"", "a"}},
        SplitCase{"a,", {"a"}},
        SplitCase{"", {}},
        SplitCase{"  ", {}},
        SplitCase{"\"a b\",c", {"a b", "c"}},
        SplitCase{"\"a\"\"b\"", {"a\"b"}},
        SplitCase{"\"a,b", {"a,b"}},
        SplitCase{"\"ab\"cd", {"ab", "cd"}},
        SplitCase{"\"\"", {""}},
        SplitCase{"a\tb\r\nc", {"a", "b", "c"}},
        SplitCase{std::string("a\0b,c", 5), {"a"}},
        SplitCase{"#list \"x y\",\"#formula \"\"x*2\"\"\"", {"#list", "x y", "#formula \"x*2\""}}));
// clang-format on

TEST(CommaText, WordAtOutsideTheWordsIsTheListError) {
  Words words{"#list"};
  EXPECT_EQ(WordAt(words, 0), "#list");
  for (int index : {1, -1}) {
    try {
      WordAt(words, index);
      FAIL() << index;
    } catch (const plat::EListError& e) {
      EXPECT_EQ(e.Message(), "List index out of bounds (" + std::to_string(index) + ")");
    }
  }
}

TEST(Cp1252, ConvertsEveryRangeToUtf8) {
  struct Case {
    std::string bytes;
    std::string utf8;
  };
  for (const Case& c :
       {Case{"Abc", "Abc"},
        Case{"\xB0"
             "C",
             "\xC2\xB0"
             "C"},
        Case{"\x80", "\xE2\x82\xAC"}, Case{"\x8A\x9F", "\xC5\xA0\xC5\xB8"},
        Case{"\x81\x9D", "\xC2\x81\xC2\x9D"}, Case{"\xFF", "\xC3\xBF"},
        Case{"\x99", "\xE2\x84\xA2"}, Case{std::string(1, '\0'), std::string(1, '\0')}})
    EXPECT_EQ(Cp1252ToUtf8(c.bytes), c.utf8);
}

TEST(NamedLists, NamesIgnoreLetterCaseAndKeepTheirFirstSpelling) {
  TNamedLists lists;
  lists.FindOrAdd("Gear").Add(3, {"third"});
  lists.FindOrAdd("GEAR").Add(4, {"fourth"});
  lists.FindOrAdd("alpha");
  lists.FindOrAdd("Zeta");
  ASSERT_EQ(lists.Count(), 3);
  EXPECT_EQ(lists.Items(0).Name(), "alpha");
  EXPECT_EQ(lists.Items(1).Name(), "Gear");
  EXPECT_EQ(lists.Items(2).Name(), "Zeta");
  const TNamedList* gear = lists.Find("gEaR");
  ASSERT_NE(gear, nullptr);
  EXPECT_EQ(gear->Count(), 2);
  EXPECT_EQ(gear->Find(4)->Words, Words{"fourth"});
  EXPECT_EQ(gear->Find(5), nullptr);
  EXPECT_EQ(lists.Find("gears"), nullptr);
  EXPECT_THROW(lists.Items(3), plat::EListError);
}

TEST(NamedLists, ARepeatedIdIsFoundFirstAndClearingKeepsTheName) {
  TNamedLists lists;
  TNamedList& list = lists.FindOrAdd("L");
  list.Add(1, {"one"});
  list.Add(1, {"again"});
  EXPECT_EQ(list.Find(1)->Words, Words{"one"});
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(lists.Find("l"), &list);
}

}  // namespace
