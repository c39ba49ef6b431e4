// The firmware and check commands' verdicts, outputs and exit codes.
#include "cli/wheel_commands.h"

#include <gtest/gtest.h>

#include "imtxt/fragment_words.h"
#include "imtxt/test_util.h"

namespace cli {
namespace {

using imtxt::testing::Picture;

// A picture with `lit` positions at every intensity, the rest dark.
Picture Wheel(int32_t n, int32_t lit) {
  Picture p(n);
  for (int32_t q = 0; q < lit; ++q) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) p[q][i] = 1 + i % 4;
  }
  return p;
}

constexpr const char kIm[] = "__MOVLW_D'24'__;# positions\r\n__MOVWF_HOEKTELLER\r\nBEGIN\r\n";

TEST(WheelCommandsTest, Check) {
  const struct {
    const char* name;
    Picture picture;
    std::optional<int32_t> budget;
    double mhz;
    int exit_code;
    const char* out;  // a line the report holds; "" for no report
    bool warns;
  } cases[] = {
      {"fits", Wheel(24, 24), std::nullopt, 20, kExitOk, "runs: yes\n", false},
      {"over the page", Wheel(60, 60), std::nullopt, 20, kExitWillNotRun, "runs: no\n", true},
      {"over the page, a bigger budget", Wheel(60, 60), 4096, 20, kExitOk, "of 4096\n", false},
      {"a budget too small", Wheel(24, 1), 100, 20, kExitWillNotRun, "words: 191 of 100\n", true},
      {"a budget below one position", Wheel(24, 1), 52, 20, kExitUsage, "", true},
      {"a budget over the chip", Wheel(24, 1), 8193, 20, kExitUsage, "", true},
      {"257 positions", Wheel(257, 0), std::nullopt, 20, kExitWillNotRun,
       "never shown: position 1\n", true},
      {"a slow crystal", Wheel(24, 24), std::nullopt, 4, kExitOk, "at 4 MHz\n", false},
      {"a crystal too fast", Wheel(24, 24), std::nullopt, 25, kExitUsage, "", true},
      {"a negative budget", Wheel(24, 24), -1, 20, kExitUsage, "", true},
  };
  for (const auto& c : cases) {
    const imtxt::testing::State s = imtxt::testing::Load(c.picture);
    const WheelFile file{"pic.txt", &s.wheel->led, static_cast<int32_t>(c.picture.size()),
                         [] { return std::string(kIm); }};
    const CommandOutput r = CheckCommand(file, c.budget, c.mhz);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.name;
    if (*c.out == '\0') {
      EXPECT_EQ(r.out, "") << c.name;
    } else {
      EXPECT_NE(r.out.find(c.out), std::string::npos) << c.name << ": " << r.out;
    }
    EXPECT_EQ(!r.err.empty(), c.warns) << c.name << ": " << r.err;
    if (c.exit_code == kExitWillNotRun) {
      EXPECT_EQ(r.err.rfind("ledwheel: pic.txt will not run", 0), 0u) << r.err;
    }
    EXPECT_EQ(r.source, "") << c.name;
  }
}

TEST(WheelCommandsTest, Firmware) {
  const struct {
    const char* name;
    Picture picture;
    double mhz;
    int exit_code;
    bool source;
    bool warns;
    const char* oscillator;
  } cases[] = {
      {"fits", Wheel(24, 24), 20, kExitOk, true, false, "_HS_OSC"},
      {"4 MHz", Wheel(24, 24), 4, kExitOk, true, false, "_XT_OSC"},
      {"over the page", Wheel(60, 60), 20, kExitWillNotRun, false, true, ""},
      {"positions never shown", Wheel(300, 3), 20, kExitOk, true, true, "_HS_OSC"},
      {"a crystal too slow", Wheel(24, 24), 0.1, kExitUsage, false, true, ""},
  };
  for (const auto& c : cases) {
    const imtxt::testing::State s = imtxt::testing::Load(c.picture);
    int asked = 0;
    const WheelFile file{"IM.txt", &s.wheel->led, static_cast<int32_t>(c.picture.size()), [&] {
                           ++asked;
                           return std::string(kIm);
                         }};
    const CommandOutput r = FirmwareCommand(file, c.mhz);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(!r.err.empty(), c.warns) << c.name << ": " << r.err;
    EXPECT_EQ(!r.source.empty(), c.source) << c.name;
    EXPECT_EQ(asked, c.source ? 1 : 0) << c.name;
    if (!r.source.empty()) {
      EXPECT_NE(r.source.find(c.oscillator), std::string::npos) << c.name;
      EXPECT_NE(
          r.source.find("NPOS            EQU     D'" + std::to_string(c.picture.size()) + "'"),
          std::string::npos)
          << c.name;
      // The fragment with blanks, LF line ends, right after its page's label.
      EXPECT_NE(r.source.find("FRAGMENT\n  MOVLW D'24'  ;# positions\n  MOVWF HOEKTELLER\nBEGIN\n"),
                std::string::npos)
          << c.name;
      EXPECT_EQ(r.source.find('\r'), std::string::npos) << c.name;
      EXPECT_EQ(r.source.find("_MOV"), std::string::npos) << c.name;
    }
  }
}

}  // namespace
}  // namespace cli
