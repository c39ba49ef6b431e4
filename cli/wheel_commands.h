// The logic of `ledwheel firmware` and `ledwheel check`, free of the command line and of files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cli/exit_codes.h"
#include "firmware/fit_check.h"
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

}  // namespace cli
