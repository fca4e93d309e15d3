#include "platform/SmallIntArray.h"

#include <gtest/gtest.h>

#include "platform/Exceptions.h"

TEST(SmallIntArray, AddCountClearAndRead) {
  TSmallIntArray a;
  EXPECT_EQ(a.Count(), 0);
  a.Add(0x10);
  a.Add(0x1FF);
  EXPECT_EQ(a.Count(), 2);
  EXPECT_EQ(a[0], 0x10);
  EXPECT_EQ(a.Bytes(), (std::vector<uint8_t>{0x10, 0xFF}));
  a.Clear();
  EXPECT_EQ(a.Count(), 0);
}

TEST(SmallIntArray, ReadingOutsideRaisesRangeErrorWithIndex) {
  TSmallIntArray a{1, 2, 3};
  for (int index : {-1, 3, 100}) {
    try {
      a.Get(index);
      FAIL() << index;
    } catch (const plat::ERangeError& e) {
      EXPECT_EQ(e.Message(), "Array index out of range : " + std::to_string(index));
    }
  }
}
