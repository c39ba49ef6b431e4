// `ledwheel check`: will FILE (or the frames of FILE...) run on the reference firmware, and how
// fast may the wheel turn.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/cli.h"
#include "cli/frames.h"
#include "cli/load.h"
#include "cli/wheel_commands.h"
#include "firmware/reference_firmware.h"

namespace cli {
namespace {

struct CheckCommandLine {
  std::vector<std::string> files;
  SourceOptions source;
  FirmwareOptions firmware;
  FrameTiming timing;
};

int RunCheck(const CheckCommandLine& c) {
  const LoadedFrames loaded = LoadFirmwareFrames(c.files, c.source, c.firmware, c.timing.speed);
  CommandOutput r;
  if (loaded.frames.size() == 1) {
    const std::optional<int32_t> budget =
        c.source.budget > 0 ? std::optional<int32_t>(c.source.budget) : std::nullopt;
    r = CheckCommand({c.files[0], loaded.frames[0].led.get(), loaded.positions, {}}, budget,
                     c.firmware.mhz, c.firmware.layout);
  } else {
    r = CheckCommand(AsFramesFile(loaded, c.files, c.timing), c.timing.speed, c.firmware.mhz);
  }
  std::cout << r.out << std::flush;
  std::cerr << r.err << std::flush;
  return r.exit_code;
}

}  // namespace

void RegisterCheck(CLI::App& app, Action* action) {
  auto c = std::make_shared<CheckCommandLine>();
  CLI::App* command =
      app.add_subcommand("check",
                         "Will FILE... run on the reference firmware, and how fast may it turn")
          ->footer(
              "Prints the positions, then a line for each layout of the firmware: its program "
              "words against its room (the fragment's: --budget), its top speed, whether it runs "
              "and, for the fragment, the positions that can never be shown. Several frames "
              "(several files, or an animated GIF) first get a line of their number and turns "
              "at --speed; the table layout's line counts them all and, when the chip does not "
              "hold them, says how many of their positions fit. A picture's automatic N is the "
              "one firmware would choose. Exit codes, for --layout: 0 it runs as written, 3 it "
              "will not, 1 a file problem, 2 a usage error.");
  AddFilesOption(*command, &c->files);
  AddPictureOptions(*command, &c->source);
  AddFirmwareOptions(*command, &c->firmware);
  AddTimingOptions(*command, &c->timing, true);
  command->callback([c, action] { *action = [c] { return RunCheck(*c); }; });
}

}  // namespace cli
