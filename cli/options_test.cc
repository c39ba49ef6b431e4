// The options' one reading of numbers and ranges, and names quoted for one terminal line.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "imtxt/fragment_words.h"

namespace cli {
namespace {

TEST(OptionsTest, NumbersAreReadAndRangedOneWay) {
  const struct {
    const char* text;
    const OptionLimit& limit;
    std::optional<double> value;
    const char* complaint;  // when refused
  } cases[] = {
      {"1000", limits::kSize, 1000, ""},
      {"1e3", limits::kSize, 1000, ""},
      {"+1000.0", limits::kSize, 1000, ""},
      {"12.5", limits::kSize, {}, "expected a whole number, 1 to 10000 pixels, not 12.5"},
      {"0", limits::kSize, {}, "expected 1 to 10000 pixels, not 0"},
      {"1e5", limits::kSize, {}, "expected 1 to 10000 pixels, not 1e5"},
      {"", limits::kSize, {}, "expected 1 to 10000 pixels, not \"\""},
      {" 5", limits::kSize, {}, "expected 1 to 10000 pixels, not  5"},
      {"0x10", limits::kSize, {}, "expected 1 to 10000 pixels, not 0x10"},
      {"53", limits::kBudget, 53, ""},
      {"52", limits::kBudget, {}, "expected 53 to 8192 words, not 52"},
      {"8192", limits::kBudget, 8192, ""},
      {"10000", limits::kBudget, {}, "expected 53 to 8192 words, not 10000"},
      {"-57", limits::kZoom, -57, ""},
      {"91", limits::kZoom, {}, "expected -57 to 90 percent, not 91"},
      {"0.2", limits::kMhz, 0.2, ""},
      {"20.000001", limits::kMhz, {}, "expected from 0.2 to 20 MHz, not 20.000001"},
      {"nan", limits::kMhz, {}, "expected from 0.2 to 20 MHz, not nan"},
      {"0.1", limits::kSpeed, 0.1, ""},
      {"0", limits::kSpeed, {}, "expected from 0.1 to 10000 turns per second, not 0"},
      {"255", limits::kTurnsPerFrame, 255, ""},
      {"256", limits::kTurnsPerFrame, {}, "expected 1 to 255 turns, not 256"},
      {"-1e300", limits::kRotate, -1e300, ""},
      {"nan", limits::kRotate, {}, "expected any finite number of degrees, not nan"},
      {"inf", limits::kRotate, {}, "expected any finite number of degrees, not inf"},
      {"-inf", limits::kRotate, {}, "expected any finite number of degrees, not -inf"},
      {"2e999", limits::kRotate, {}, "expected any finite number of degrees, not 2e999"},
      {"left", limits::kRotate, {}, "expected any finite number of degrees, not left"},
      {"9\x1b[2J", limits::kRotate, {}, "expected any finite number of degrees, not \"9\\e[2J\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string complaint;
    const std::optional<double> v = ParseNumber(c.text, c.limit, &complaint);
    EXPECT_EQ(v, c.value);
    if (v) {
      EXPECT_EQ(OutOfRange(c.limit, *v), "");
    } else {
      EXPECT_EQ(complaint, c.complaint);
    }
  }
  EXPECT_EQ(OutOfRange(limits::kBudget, 8193), "expected 53 to 8192 words, not 8193");
  EXPECT_EQ(OutOfRange(limits::kMhz, NAN), "expected from 0.2 to 20 MHz, not nan");
}

// The smallest budget is what one position can take at most, so no picture gets none.
TEST(OptionsTest, TheSmallestBudgetHoldsAnyOnePosition) {
  auto led = std::make_unique<wheel::LedArray>();
  for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*led)[1][i].toestand = i % 5;
  EXPECT_EQ(imtxt::FragmentWords(*led, 1), kMinBudget);
  EXPECT_EQ(kChipWords, 8192);
}

TEST(OptionsTest, NamesAreQuotedWhenATerminalWouldNotShowThemAsTheyAre) {
  const struct {
    std::string_view name;
    const char* shown;
  } cases[] = {
      {"IM.txt", "IM.txt"},
      {"my \"best\" wheel.png", "my \"best\" wheel.png"},
      {"zoë/ü€😀.png", "zoë/ü€😀.png"},
      {"", "\"\""},
      {"a\nb.png", "\"a\\nb.png\""},
      {"\x1b]0;owned\x07.png", "\"\\e]0;owned\\x07.png\""},
      {"tab\there \"q\" \\", "\"tab\\there \\\"q\\\" \\\\\""},
      {"cr\r", "\"cr\\r\""},
      {"del\x7f", "\"del\\x7F\""},
      {"c1 \xc2\x9b"
       "31m",
       "\"c1 \\xC2\\x9B31m\""},
      {"latin1 \xe9t\xe9", "\"latin1 \\xE9t\\xE9\""},
      {"cut \xe2\x82", "\"cut \\xE2\\x82\""},
      {"overlong \xc0\xaf", "\"overlong \\xC0\\xAF\""},
      {std::string_view("nul\0x", 5), "\"nul\\x00x\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Quoted(c.name), c.shown) << c.shown;
  }
  EXPECT_EQ(Printable("not \"expected\": a\nb\x1b[2J"), "not \"expected\": a\\nb\\e[2J");
}

}  // namespace
}  // namespace cli
