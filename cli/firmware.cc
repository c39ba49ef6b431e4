// `ledwheel firmware`: the reference firmware's assembler source with FILE's picture inside.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/load.h"
#include "cli/wheel_commands.h"
#include "firmware/reference_firmware.h"
#include "imtxt/maak_text.h"

namespace cli {
namespace {

struct FirmwareCommandLine {
  SourceOptions source;
  std::string output = "wheel.asm";
};

int RunFirmware(const FirmwareCommandLine& c) {
  CheckOutput(c.output, c.source.file);  // before the work, not after it
  const LoadedWheel wheel = LoadWheel(c.source);
  // The fragment exactly as the writers make it, in memory.
  const auto im_text = [&] { return imtxt::ImText(*wheel.led, wheel.positions); };
  const CommandOutput r = FirmwareCommand(
      {c.source.file, wheel.led.get(), wheel.positions, im_text}, c.source.mhz, *c.source.layout);
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
                         "Write the wheel's whole PIC16F877A firmware with FILE's picture")
          ->footer(
              "One assembler source: gpasm OUT gives the hex file to flash. The table layout "
              "(the default) holds any picture of up to 500 positions as data; a picture's "
              "automatic N is the most it shows at --speed. The fragment layout puts IM.txt's "
              "fragment in a program page of its own; a fragment too big for the page gets no "
              "firmware (exit 3).");
  AddSourceOptions(*command, &c->source);
  command->add_option("-o,--output", c->output, "where the source goes (default wheel.asm)")
      ->type_name("PATH");
  AddFirmwareOptions(*command, &c->source);
  command->callback([c, action] { *action = [c] { return RunFirmware(*c); }; });
}

}  // namespace cli
