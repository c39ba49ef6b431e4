// Tests of the number conversions.
#include "runtime/str.h"

#include <gtest/gtest.h>

namespace {

TEST(StrToInt, SignsDigitsAndWhereConversionStops) {
  struct Case {
    const char* item;
    int32_t value;
  };
  const Case cases[] = {
      {"42", 42},
      {"+7", 7},
      {"-5", -5},
      {"007", 7},
      {"-", 0},
      {"+", 0},
      {"", 0},
      {"abc", 0},
      {"12abc", 12},
      {"0x10", 0},
      {"1.5", 1},
      {"12,34", 12},
      {"--5", 0},
      {"-0", 0},
      {"5-", 5},
      {"2147483647", 2147483647},
      {"2147483648", INT32_MIN},
      {"-2147483648", INT32_MIN},
      {"4294967295", -1},
      {"-4294967295", 1},
      // The digit that would pass 4294967295 ends the number without being added.
      {"4294967296", 429496729},
      {"99999999999", 999999999},
      {"42949672950", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(Str::StrToInt(c.item), c.value) << '"' << c.item << '"';
}

TEST(IntToStr, DigitsAndSign) {
  EXPECT_EQ(Str::IntToStr(0), "0");
  EXPECT_EQ(Str::IntToStr(7), "7");
  EXPECT_EQ(Str::IntToStr(-7), "-7");
  EXPECT_EQ(Str::IntToStr(1000), "1000");
  EXPECT_EQ(Str::IntToStr(INT32_MAX), "2147483647");
  EXPECT_EQ(Str::IntToStr(INT32_MIN), "-2147483648");
}

TEST(IntToStr, RoundTripsThroughStrToInt) {
  for (int32_t v : {INT32_MIN, -1000001, -1, 0, 1, 99, 123456789, INT32_MAX}) {
    EXPECT_EQ(Str::StrToInt(Str::IntToStr(v)), v);
  }
}

}  // namespace
