// The firmware and check commands' verdicts, outputs and exit codes.
#include "cli/wheel_commands.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "firmware/table_firmware.h"
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

constexpr firmware::Layout kTable = firmware::Layout::kTable;
constexpr firmware::Layout kFragment = firmware::Layout::kFragment;

// The table layout's figures at n positions and 20 MHz, as the report gives them.
std::string TableLine(int32_t n) {
  return "table: " + std::to_string(firmware::TableFirmwareWords(n)) +
         " words of 8192, top speed " + firmware::FormatSpeed(firmware::TableTopSpeed(n, 20)) +
         " turns/s at 20 MHz, runs\n";
}

TEST(WheelCommandsTest, Check) {
  const struct {
    const char* name;
    Picture picture;
    firmware::Layout layout;
    std::optional<int32_t> budget;
    double mhz;
    int exit_code;
    std::string out;  // a piece of the report; "" for no report
    bool warns;
  } cases[] = {
      {"fits", Wheel(24, 24), kFragment, std::nullopt, 20, kExitOk, " runs\n", false},
      {"fits the table", Wheel(24, 24), kTable, std::nullopt, 20, kExitOk,
       "positions: 24\n" + TableLine(24) + "fragment: 1088 words of 2030, top speed ", false},
      {"over the page", Wheel(60, 60), kFragment, std::nullopt, 20, kExitWillNotRun,
       "\nfragment: 2708 words of 2030, top speed " +
           firmware::FormatSpeed(firmware::TopSpeed(60, 20)) + " turns/s at 20 MHz, does not run\n",
       true},
      {"over the page, as a table", Wheel(60, 60), kTable, std::nullopt, 20, kExitOk,
       TableLine(60) + "fragment:", false},
      {"over the page, a bigger budget", Wheel(60, 60), kFragment, 4096, 20, kExitOk, " of 4096,",
       false},
      {"a budget too small", Wheel(24, 1), kFragment, 100, 20, kExitWillNotRun,
       "fragment: 191 words of 100,", true},
      {"a budget below one position", Wheel(24, 1), kFragment, 52, 20, kExitUsage, "", true},
      {"a budget over the chip", Wheel(24, 1), kTable, 8193, 20, kExitUsage, "", true},
      {"257 positions", Wheel(257, 0), kFragment, std::nullopt, 20, kExitWillNotRun,
       ", does not run; position 1 never shown\n", true},
      {"257 positions as a table", Wheel(257, 0), kTable, std::nullopt, 20, kExitOk,
       "positions: 257\n" + TableLine(257), false},
      {"a slow crystal", Wheel(24, 24), kFragment, std::nullopt, 4, kExitOk, "at 4 MHz, runs\n",
       false},
      {"a crystal too fast", Wheel(24, 24), kTable, std::nullopt, 25, kExitUsage, "", true},
      {"a negative budget", Wheel(24, 24), kFragment, -1, 20, kExitUsage, "", true},
  };
  for (const auto& c : cases) {
    const imtxt::testing::State s = imtxt::testing::Load(c.picture);
    const WheelFile file{"pic.txt", &s.wheel->led, static_cast<int32_t>(c.picture.size()),
                         [] { return std::string(kIm); }};
    const CommandOutput r = CheckCommand(file, c.budget, c.mhz, c.layout);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.name;
    if (c.out.empty()) {
      EXPECT_EQ(r.out, "") << c.name;
    } else {
      EXPECT_NE(r.out.find(c.out), std::string::npos) << c.name << ": " << r.out;
      // The positions, then one line a layout.
      EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
    }
    EXPECT_EQ(!r.err.empty(), c.warns) << c.name << ": " << r.err;
    if (c.exit_code == kExitWillNotRun) {
      EXPECT_EQ(r.err.rfind("ledwheel: pic.txt will not run", 0), 0u) << r.err;
      EXPECT_NE(r.err.find("ledwheel firmware holds it all the same, in its table layout"),
                std::string::npos)
          << r.err;
    }
    EXPECT_EQ(r.source, "") << c.name;
  }
}

TEST(WheelCommandsTest, Firmware) {
  const struct {
    const char* name;
    Picture picture;
    firmware::Layout layout;
    double mhz;
    int exit_code;
    bool source;
    bool warns;
    const char* oscillator;
  } cases[] = {
      {"fits", Wheel(24, 24), kFragment, 20, kExitOk, true, false, "_HS_OSC"},
      {"4 MHz", Wheel(24, 24), kFragment, 4, kExitOk, true, false, "_XT_OSC"},
      {"over the page", Wheel(60, 60), kFragment, 20, kExitWillNotRun, false, true, ""},
      {"over the page, as a table", Wheel(60, 60), kTable, 20, kExitOk, true, false, "_HS_OSC"},
      {"positions never shown", Wheel(300, 3), kFragment, 20, kExitOk, true, true, "_HS_OSC"},
      {"300 positions as a table", Wheel(300, 3), kTable, 4, kExitOk, true, false, "_XT_OSC"},
      {"a crystal too slow", Wheel(24, 24), kFragment, 0.1, kExitUsage, false, true, ""},
      {"a crystal too slow for the table", Wheel(24, 24), kTable, 0.1, kExitUsage, false, true, ""},
  };
  for (const auto& c : cases) {
    const imtxt::testing::State s = imtxt::testing::Load(c.picture);
    int asked = 0;
    const WheelFile file{"IM.txt", &s.wheel->led, static_cast<int32_t>(c.picture.size()), [&] {
                           ++asked;
                           return std::string(kIm);
                         }};
    const CommandOutput r = FirmwareCommand(file, c.mhz, c.layout);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(!r.err.empty(), c.warns) << c.name << ": " << r.err;
    EXPECT_EQ(!r.source.empty(), c.source) << c.name;
    // The table needs no IM.txt text.
    EXPECT_EQ(asked, c.source && c.layout == kFragment ? 1 : 0) << c.name;
    if (r.source.empty()) continue;
    EXPECT_NE(r.source.find(c.oscillator), std::string::npos) << c.name;
    EXPECT_NE(r.source.find("NPOS            EQU     D'" + std::to_string(c.picture.size()) + "'"),
              std::string::npos)
        << c.name;
    EXPECT_EQ(r.source.find('\r'), std::string::npos) << c.name;
    if (c.layout == kFragment) {
      // The fragment with blanks, LF line ends, right after its page's label.
      EXPECT_NE(r.source.find("FRAGMENT\n  MOVLW D'24'  ;# positions\n  MOVWF HOEKTELLER\nBEGIN\n"),
                std::string::npos)
          << c.name;
      EXPECT_EQ(r.source.find("_MOV"), std::string::npos) << c.name;
    } else {
      // One table line a position, between TABLE and END.
      EXPECT_EQ(static_cast<size_t>(std::count(r.source.begin(), r.source.end(), '\n')),
                std::count(r.source.begin(), r.source.find("\nTABLE\n") + r.source.begin(), '\n') +
                    c.picture.size() + 3)
          << c.name;
    }
  }
}

}  // namespace
}  // namespace cli
