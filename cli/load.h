// Loading FILE into a wheel, shared by the commands: an IM.txt as it is or resampled, or a
// picture imported at a chosen or automatic number of positions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "firmware/fit_check.h"
#include "imaging/imaging.h"
#include "wheel/wheel.h"

namespace CLI {
class App;
}

namespace cli {

// The options every command that reads FILE takes.
struct SourceOptions {
  // -n auto.
  static constexpr int32_t kAuto = -1;

  std::string file;
  int32_t positions = 0;  // 0: the file's own (an IM.txt's N, auto for a picture), kAuto, 1..500
  int32_t budget = 0;     // 0: the reference firmware's budget
  imaging::ImportOptions import;
  // firmware and check: the layout a picture's automatic N is for, shown at `speed` turns per
  // second with a crystal of `mhz`; unset (import, edit, render): the most whose IM.txt fits.
  std::optional<firmware::Layout> layout;
  double speed = 10;
  double mhz = firmware::kDefaultMhz;
};

// Adds FILE and the source options (-n, --budget, --levels, --fit, --rotate, --mirror,
// --invert, --no-dither) to a command.
void AddSourceOptions(CLI::App& command, SourceOptions* options);

// Adds the firmware's options (--layout, --speed, --mhz) to a command, with the table layout
// as the default.
void AddFirmwareOptions(CLI::App& command, SourceOptions* options);

struct LoadedWheel {
  std::unique_ptr<wheel::LedArray> led = std::make_unique<wheel::LedArray>();
  int32_t positions = 0;
  bool from_picture = false;  // imported (a picture, or an IM.txt at another N)
};

// Reads options.file and makes the wheel. An automatic N is said on standard error. Throws
// FileError for a file that is missing, unreadable, neither a picture nor an IM.txt, damaged,
// too large, or whose picture no N fits the budget, and UsageError for a speed at which no N is
// shown.
LoadedWheel LoadWheel(const SourceOptions& options);

// After a write of file: the warning on standard error when it will not run on the wheel (the
// reference firmware, or --budget words), nothing when it will.
void WarnIfWillNotRun(const wheel::LedArray& led, int32_t positions, const SourceOptions& options,
                      const std::string& file);

// A check that text is one of names, for an option's check().
std::function<std::string(const std::string&)> OneOf(std::vector<std::string> names);

// The light of every LED at n positions (a picture's sampler, or a wheel's spin).
using LightAt = std::function<imaging::LightMap(int32_t n)>;

// The largest N up to most (256 at most) whose IM.txt fits budget words, with its LEDs in led
// and its word count in *words; 0 when not even one position fits (*words then holds N = 1's
// count).
int32_t AutoPositions(const LightAt& light, const imaging::ImportOptions& options, int32_t budget,
                      wheel::LedArray& led, int32_t* words, int32_t most = 256);

}  // namespace cli
