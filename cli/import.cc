// `ledwheel import`: a picture (or an IM.txt) to IM.txt, without a window.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/load.h"
#include "imtxt/maak_text.h"
#include "runtime/fio.h"

namespace cli {
namespace {

struct ImportCommand {
  SourceOptions source;
  std::string output = "IM.txt";
};

int RunImport(const ImportCommand& c) {
  CheckOutput(c.output, c.source.file);  // before the work, not after it
  const LoadedWheel wheel = LoadWheel(c.source);
  WriteReplacing(c.output, [&](const std::string& temp) {
    imtxt::WriteImFile(*wheel.led, wheel.positions, temp);
  });
  WarnIfWillNotRun(*wheel.led, wheel.positions, c.source, c.output);
  return kExitOk;
}

}  // namespace

void RegisterImport(CLI::App& app, Action* action) {
  auto c = std::make_shared<ImportCommand>();
  CLI::App* command =
      app.add_subcommand("import", "Import a picture into IM.txt (no window)")
          ->footer(
              "The picture is averaged over every LED's sector of the wheel in linear light and "
              "reduced to the five intensities by error diffusion.");
  AddSourceOptions(*command, &c->source);
  command->add_option("-o,--output", c->output, "where IM.txt goes (default IM.txt)")
      ->type_name("PATH");
  command->callback([c, action] { *action = [c] { return RunImport(*c); }; });
}

}  // namespace cli
