// The ranges of the commands' numeric options, one table for every command, and the one way
// their values are read and refused.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "editor/dialog.h"
#include "firmware/reference_firmware.h"
#include "wheel/wheel.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace cli {

// What a numeric option takes: min..max, whole numbers only or any; the unit names the values in
// help and complaints.
struct OptionLimit {
  std::string_view type;  // the value's name in help: "WORDS"
  double min;
  double max;
  bool whole;
  std::string_view unit;  // "words"; empty for none
};

// The PIC16F877A's program memory: no budget can be larger.
constexpr int32_t kChipWords = 4 * firmware::kPageWords;

// The most words one position's IM.txt can take (every intensity lit): the smallest budget, so
// that a budget in range always gives a picture at least one position.
constexpr int32_t kMinBudget = 53;

namespace limits {

inline constexpr OptionLimit kPositions{"N", 1, wheel::kMaxPositions, true, "positions"};
inline constexpr OptionLimit kBudget{"WORDS", kMinBudget, kChipWords, true, "words"};
inline constexpr OptionLimit kMhz{"F", firmware::kMinMhz, firmware::kMaxMhz, false, "MHz"};
inline constexpr OptionLimit kZoom{"Z", editor::kMinZoom, editor::kMaxZoom, true, "percent"};
// 10000 x 10000 is the largest picture the loader reads back.
inline constexpr OptionLimit kSize{"PX", 1, 10000, true, "pixels"};
// Any finite angle; a turn more or less is the same picture.
inline constexpr OptionLimit kRotate{"DEG", -std::numeric_limits<double>::max(),
                                     std::numeric_limits<double>::max(), false, "degrees"};

// The wheel's speed: the automatic N of firmware and check is chosen for it, and it turns a
// frame's delay into whole turns. Then the turns a frame shows.
inline constexpr OptionLimit kSpeed{"TURNS_PER_S", 0.1, 10000, false, "turns per second"};
inline constexpr OptionLimit kTurnsPerFrame{"K", 1, 255, true, "turns"};

}  // namespace limits

// "53 to 8192 words", or "any finite number of degrees" for an unbounded limit.
std::string RangeText(const OptionLimit& limit);

// text as a value of limit: a decimal number, with a fraction or an exponent where it is whole
// all the same ("1e3" is 1000); finite, whole where limit wants it, within min..max. Otherwise
// nullopt and *complaint says what was expected ("expected 1 to 10000 pixels, not 0").
std::optional<double> ParseNumber(std::string_view text, const OptionLimit& limit,
                                  std::string* complaint);

// The complaint about value for an option of limit, or empty when value is within it (NaN never
// is). For values that did not come through ParseNumber.
std::string OutOfRange(const OptionLimit& limit, double value);

// Adds the option names (CLI11's "-n,--name") to command: its value, read by ParseNumber, goes to
// *value (or store); a value out of range is a usage error before any work. The help names the
// range.
CLI::Option* AddNumberOption(CLI::App& command, const std::string& names, const OptionLimit& limit,
                             const std::function<void(double)>& store, const std::string& help);
CLI::Option* AddNumberOption(CLI::App& command, const std::string& names, const OptionLimit& limit,
                             int32_t* value, const std::string& help);
CLI::Option* AddNumberOption(CLI::App& command, const std::string& names, const OptionLimit& limit,
                             double* value, const std::string& help);

// A name or a value as it may be shown on one line of a terminal: unchanged when it is plain
// printable text, else in double quotes with C escapes (\n, \t, \e, \xHH, \", \\).
std::string Quoted(std::string_view text);

// A message with C escapes for what a terminal would not show as it is, and no quotes.
std::string Printable(std::string_view text);

}  // namespace cli
