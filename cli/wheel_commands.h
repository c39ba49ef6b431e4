// The logic of `ledwheel firmware` and `ledwheel check`, free of the command line and, but for
// LoadFirmwareFrames, of files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/frames.h"
#include "firmware/fit_check.h"
#include "firmware/table_firmware.h"
#include "wheel/wheel.h"

namespace cli {

// What a command gives back: its exit code, its standard output and error, and for `firmware`
// the assembler source to write (empty: write nothing).
struct CommandOutput {
  int exit_code = kExitOk;
  std::string out;
  std::string err;
  std::string source;
};

// One picture as the commands see it: the file it came from, its LED states (rows
// 1..positions), and a way to its IM.txt text (underscores or blanks, CR LF or LF), asked for
// only when a fragment's firmware is to be made.
struct WheelFile {
  std::string_view name;
  const wheel::LedArray* led = nullptr;
  int32_t positions = 0;
  std::function<std::string()> im_text;
};

// `ledwheel check FILE [--layout L] [--budget WORDS] [--mhz F]`: the positions and one line for
// each layout on standard output; exit 0 when the file runs in `layout`, 3 when it will not (with
// the warning on standard error), 2 for an option out of range. --budget is the fragment's room.
// REQUIRES: 1 <= file.positions <= 500. Pure: any thread.
CommandOutput CheckCommand(const WheelFile& file, std::optional<int32_t> budget, double mhz,
                           firmware::Layout layout = firmware::Layout::kTable);

// `ledwheel firmware FILE [-o OUT] [--layout L] [--mhz F]`: the reference firmware's source in
// `layout`, the picture as a table or around the file's fragment. A fragment too big for its
// page gives no source and exit 3; one with positions the angle counter cannot reach gives the
// source with the warning. Exit 2 for --mhz out of range.
// REQUIRES: 1 <= file.positions <= 500. Any thread, as far as file.im_text allows.
CommandOutput FirmwareCommand(const WheelFile& file, double mhz,
                              firmware::Layout layout = firmware::Layout::kTable);

// Several frames as the commands see them: the files as messages name them, and each frame's
// LED states (rows 1..positions) with the whole turns it shows for.
struct FramesFile {
  std::string name;
  std::vector<firmware::TableFrame> frames;
  int32_t positions = 0;
};

// `ledwheel check FILE...` of several frames: their number and turns in all (at `speed`), the
// positions, the table layout's line for all of them and the fragment's (one picture only) on
// standard output; exit 0 when the chip holds them, 3 when it does not, 2 for --mhz out of
// range. REQUIRES: file.frames.size() > 1, 1 <= file.positions <= 500. Pure: any thread.
CommandOutput CheckCommand(const FramesFile& file, double speed, double mhz);

// `ledwheel firmware FILE...` of several frames: the table layout's source that shows each for
// its turns. Frames the chip does not hold give no source, a line that says how many of their
// positions fit, and exit 3. REQUIRES: as for CheckCommand. Pure: any thread.
CommandOutput FirmwareCommand(const FramesFile& file, double mhz);

// The frames of files for firmware and check: LoadFrames with the layout's rule for the
// automatic N (below). Throws as LoadFrames does, and UsageError for several frames in the
// fragment layout (before any file is read when there are several files).
LoadedFrames LoadFirmwareFrames(const std::vector<std::string>& files, const SourceOptions& source,
                                const FirmwareOptions& options, double speed);

// The frames loaded from files, as CheckCommand and FirmwareCommand take them: named as messages
// name the files, each frame with its turns by timing (whose notes go to standard error).
// REQUIRES: loaded outlives the result.
FramesFile AsFramesFile(const LoadedFrames& loaded, const std::vector<std::string>& files,
                        const FrameTiming& timing);

// Why --layout fragment takes one picture: the usage error's text.
extern const char* const kFragmentHoldsOnePicture;

// The automatic N of firmware and check in the table layout: the most up to 500 at which the
// chip holds every frame and the firmware shows them at `speed` turns per second with a crystal
// of `mhz`. Its `most` throws UsageError when not even one position is shown that fast; when no
// N holds the frames it gives 1, and the commands refuse them.
AutoPositionsRule TableRule(double speed, double mhz);

// In the fragment layout: the most up to 256 whose IM.txt fits the options' --budget and whose
// firmware shows it at `speed`. Its `most` throws UsageError for several frames and when not
// even one position is shown that fast.
AutoPositionsRule FragmentRule(const SourceOptions& options, double speed, double mhz);

}  // namespace cli
