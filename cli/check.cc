// `ledwheel check`: will FILE run on the reference firmware, and how fast may the wheel turn.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/cli.h"
#include "cli/load.h"
#include "cli/wheel_commands.h"
#include "firmware/reference_firmware.h"

namespace cli {
namespace {

struct CheckCommandLine {
  SourceOptions source;
};

int RunCheck(const CheckCommandLine& c) {
  const LoadedWheel wheel = LoadWheel(c.source);
  const std::optional<int32_t> budget =
      c.source.budget > 0 ? std::optional<int32_t>(c.source.budget) : std::nullopt;
  const CommandOutput r = CheckCommand({c.source.file, wheel.led.get(), wheel.positions, {}},
                                       budget, c.source.mhz, *c.source.layout);
  std::cout << r.out << std::flush;
  std::cerr << r.err << std::flush;
  return r.exit_code;
}

}  // namespace

void RegisterCheck(CLI::App& app, Action* action) {
  auto c = std::make_shared<CheckCommandLine>();
  CLI::App* command =
      app.add_subcommand("check",
                         "Will FILE run on the reference firmware, and how fast may it turn")
          ->footer(
              "Prints the positions, then a line for each layout of the firmware: its program "
              "words against its room (the fragment's: --budget), its top speed, whether it runs "
              "and, for the fragment, the positions that can never be shown. A picture's "
              "automatic N is the one firmware would choose. Exit codes, for --layout: 0 it runs "
              "as written, 3 it will not, 1 a file problem, 2 a usage error.");
  AddSourceOptions(*command, &c->source);
  AddFirmwareOptions(*command, &c->source);
  command->callback([c, action] { *action = [c] { return RunCheck(*c); }; });
}

}  // namespace cli
