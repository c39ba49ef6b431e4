// Loading FILE into a wheel, shared by the commands: an IM.txt as it is or resampled, or a
// picture imported at a chosen or automatic number of positions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/fit_check.h"
#include "imaging/imaging.h"
#include "wheel/wheel.h"

namespace CLI {
class App;
}

namespace cli {

// No IM.txt is larger: 500 positions, each at every intensity, with CR LF line ends and a byte
// order mark.
constexpr uint64_t kMaxImBytes = 404'125 + 3;

// No picture the loader takes is larger: its most pixels at 8 bytes each (16-bit RGBA stored
// without compression), and room for what a file carries besides (profiles, thumbnails, text).
constexpr uint64_t kMaxPictureBytes = imaging::kMaxPixels * 8 + (uint64_t{64} << 20);

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

// Adds FILE (required unless told otherwise) and the source options (-n, --budget, --levels,
// --fit, --rotate, --mirror, --invert, --no-dither) to a command.
void AddSourceOptions(CLI::App& command, SourceOptions* options, bool file_required = true);

// The source options without FILE, for a command that takes its files another way.
void AddPictureOptions(CLI::App& command, SourceOptions* options);

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
// shown. kind_known, when given, is told whether the file is a picture as soon as its first
// bytes show it, before the rest is read.
LoadedWheel LoadWheel(const SourceOptions& options,
                      const std::function<void(bool picture)>& kind_known = nullptr);

// The bytes of FILE as LoadWheel reads them: judged from its head, an IM.txt or a picture, each
// no larger than its kind can be. kind_known as for LoadWheel. Throws FileError.
std::vector<uint8_t> ReadWheelFile(const std::string& file,
                                   const std::function<void(bool picture)>& kind_known = nullptr);

// An IM.txt's text without the byte order mark an editor may have put before it.
std::string_view WithoutBom(std::string_view text);

// After a write of file: the warning on standard error when it will not run on the wheel (the
// reference firmware, or --budget words), nothing when it will.
void WarnIfWillNotRun(const wheel::LedArray& led, int32_t positions, const SourceOptions& options,
                      const std::string& file);

// A check that text is one of names, for an option's check().
std::function<std::string(const std::string&)> OneOf(std::vector<std::string> names);

// The light of every LED at n positions (a picture's sampler, or a wheel's spin).
using LightAt = std::function<imaging::LightMap(int32_t n)>;

// What the turning wheel of `from` positions shows, averaged over the sectors of `to` positions.
imaging::LightMap SpinLight(const wheel::LedArray& led, int32_t from, int32_t to,
                            const imaging::Levels& levels);

// The largest N up to most (256 at most) whose IM.txt fits budget words, with its LEDs in led
// and its word count in *words; 0 when not even one position fits (*words then holds N = 1's
// count).
int32_t AutoPositions(const LightAt& light, const imaging::ImportOptions& options, int32_t budget,
                      wheel::LedArray& led, int32_t* words, int32_t most = 256);

}  // namespace cli
