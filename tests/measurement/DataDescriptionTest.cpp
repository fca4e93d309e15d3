#include "DataDescription.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Exceptions.h"

namespace {

using Texts = std::vector<std::string>;

const std::string kShort = "Definition not correct, data received shorter than description";

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
  EXPECT_EQ(d.GetNames(), (Texts{"Speed", "Temp"}));
  EXPECT_EQ(d.GetValueTexts(), (Texts{"No data", "No data"}));
  EXPECT_EQ(d.GetUnits(), (Texts{"",
                                 "\xC2\xB0"
                                 "C"}));
  EXPECT_EQ(d.GetTotalNrBytes(), 2);
  EXPECT_TRUE(d.IsSingleRecord());

  EXPECT_EQ(d.Decode(Bytes({0x10, 0x20}), false), (Texts{"16", "32"}));
  EXPECT_EQ(d.GetValues(), (std::vector<float>{16, 32}));
}

}  // namespace
