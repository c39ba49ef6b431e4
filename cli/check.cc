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
  double mhz = firmware::kDefaultMhz;
};

int RunCheck(const CheckCommandLine& c) {
  const LoadedWheel wheel = LoadWheel(c.source);
  const std::optional<int32_t> budget =
      c.source.budget > 0 ? std::optional<int32_t>(c.source.budget) : std::nullopt;
  const CommandOutput r =
      CheckCommand({c.source.file, wheel.led.get(), wheel.positions, {}}, budget, c.mhz);
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
              "Prints the positions, the fragment's program words against the firmware's room "
              "for them (or --budget), the top speed and the positions that can never be shown. "
              "Exit codes: 0 it runs as written, 3 it will not, 1 a file problem, 2 a usage "
              "error.");
  AddSourceOptions(*command, &c->source);
  AddCrystalOption(*command, &c->mhz);
  command->callback([c, action] { *action = [c] { return RunCheck(*c); }; });
}

}  // namespace cli
