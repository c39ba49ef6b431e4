// `ledwheel firmware`: the reference firmware's assembler source with FILE's picture inside, or
// with the frames of several files (or of an animated GIF) shown one after another.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/frames.h"
#include "cli/load.h"
#include "cli/wheel_commands.h"
#include "firmware/reference_firmware.h"
#include "imtxt/maak_text.h"

namespace cli {

namespace {

struct FirmwareCommandLine {
  std::vector<std::string> files;
  SourceOptions source;
  FirmwareOptions firmware;
  FrameTiming timing;
  std::string output = "wheel.asm";
};

int RunFirmware(const FirmwareCommandLine& c) {
  for (const std::string& file : c.files) CheckOutput(c.output, file);  // before the work
  const LoadedFrames loaded = LoadFirmwareFrames(c.files, c.source, c.firmware, c.timing.speed);
  CommandOutput r;
  if (loaded.frames.size() == 1) {
    const wheel::LedArray& led = *loaded.frames[0].led;
    // The fragment exactly as the writers make it, in memory.
    const auto im_text = [&] { return imtxt::ImText(led, loaded.positions); };
    r = FirmwareCommand({c.files[0], &led, loaded.positions, im_text}, c.firmware.mhz,
                        c.firmware.layout);
  } else {
    r = FirmwareCommand(AsFramesFile(loaded, c.files, c.timing), c.firmware.mhz);
  }
  if (!r.source.empty()) {
    WriteBytesReplacing(c.output,
                        {reinterpret_cast<const uint8_t*>(r.source.data()), r.source.size()});
  }
  std::cerr << r.err << std::flush;
  return r.exit_code;
}

}  // namespace

void RegisterFirmware(CLI::App& app, Action* action) {
  auto c = std::make_shared<FirmwareCommandLine>();
  CLI::App* command =
      app.add_subcommand("firmware",
                         "Write the wheel's whole PIC16F877A firmware with the pictures of FILE...")
          ->footer(
              "One assembler source: gpasm OUT gives the hex file to flash. The table layout "
              "(the default) holds any picture of up to 500 positions as data, and several "
              "frames (several files, or an animated GIF) shown one after another, each for its "
              "whole turns, changing only at the sensor; frames the chip does not hold get no "
              "firmware (exit 3). A picture's automatic N is the most the chip holds and shows "
              "at --speed. The fragment layout puts IM.txt's fragment (one picture) in a program "
              "page of its own; a fragment too big for the page gets no firmware (exit 3).");
  AddFilesOption(*command, &c->files);
  AddPictureOptions(*command, &c->source);
  command->add_option("-o,--output", c->output, "where the source goes (default wheel.asm)")
      ->type_name("PATH");
  AddFirmwareOptions(*command, &c->firmware);
  AddTimingOptions(*command, &c->timing, true);
  command->callback([c, action] { *action = [c] { return RunFirmware(*c); }; });
}

}  // namespace cli
