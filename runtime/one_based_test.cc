// OneBased: indexes from 1, and an index outside 1..N stops the program in every build type.
#include "runtime/one_based.h"

#include <gtest/gtest.h>

namespace {

TEST(OneBased, IndexesFromOne) {
  rts::OneBased<int, 3> a{{10, 20, 30}};
  EXPECT_EQ(a[1], 10);
  EXPECT_EQ(a[3], 30);
  a[2] = 7;
  EXPECT_EQ(a.data[1], 7);
  const auto& c = a;
  EXPECT_EQ(c[2], 7);
}

// Release builds included: the tables' bounds are guarded by these asserts.
TEST(OneBasedDeathTest, OutOfRangeStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  rts::OneBased<int, 3> a{};
  const auto& c = a;
  for (int k : {0, -1, 4, 1000}) {
    SCOPED_TRACE(k);
    EXPECT_DEATH(a[k] = 1, "k >= 1 && k <= N");
    EXPECT_DEATH((void)c[k], "k >= 1 && k <= N");
  }
}

}  // namespace
