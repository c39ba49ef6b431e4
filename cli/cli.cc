// The command line: parsing, dispatch to the commands and the one-line error reports.
#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/options.h"
#include "runtime/startup.h"

namespace cli {
namespace {

constexpr const char* kFooter =
    "FILE is an IM.txt (either form, CR LF or LF) or a picture (PNG, JPEG, BMP, GIF, TGA, PNM),\n"
    "told apart by its content. Exit codes: 0 success, 1 a file problem, 2 a usage error,\n"
    "3 (check, firmware) a picture that will not run on the wheel.\n"
    "Without arguments ledwheel asks for the positions and the zoom and opens the editor.";

struct CommandLine {
  int argc = 0;
  char** argv = nullptr;
};
CommandLine command_line;

// The application with every command registered; each stores its work in *action.
std::unique_ptr<CLI::App> MakeApp(Action* action) {
  auto app = std::make_unique<CLI::App>(
      "ledwheel: paint, import and render persistence-of-vision LED wheels", "ledwheel");
  app->footer(kFooter);
  app->set_version_flag("--version", std::string("ledwheel ") + LEDWHEEL_VERSION);
  app->require_subcommand(1);
  RegisterImport(*app, action);
  RegisterEdit(*app, action);
  RegisterRender(*app, action);
  RegisterFirmware(*app, action);
  RegisterCheck(*app, action);
  return app;
}

}  // namespace

int RunProgram(int (*body)()) { return rts::Run(command_line.argc, command_line.argv, body); }

void Note(const std::string& text) { std::cerr << "ledwheel: " << text << std::endl; }

bool IsCommandLine(int argc, char** argv) {
  if (argc <= 1) return false;
  const std::string first = argv[1];
  if (first.starts_with("-")) return true;
  Action unused;
  const std::unique_ptr<CLI::App> app = MakeApp(&unused);
  for (const CLI::App* command : app->get_subcommands({})) {
    if (command->get_name() == first) return true;
  }
  return false;
}

int Main(int argc, char** argv) {
  command_line = {argc, argv};
  Action action;
  const std::unique_ptr<CLI::App> made = MakeApp(&action);
  CLI::App& app = *made;

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    const int code = app.exit(e);  // --help and --version: on standard output, exit 0
    // An answer that could not be written (a full or closed output) is no success.
    return std::cout.flush() ? code : kExitFile;
  } catch (const CLI::ParseError& e) {
    // The parser's own messages repeat what was typed, newlines and escapes included.
    std::cerr << "ledwheel: " << Printable(e.what()) << " (see ledwheel --help)" << std::endl;
    return kExitUsage;
  }
  if (!action) return kExitUsage;  // every command sets one
  int code = kExitOk;
  try {
    code = action();
  } catch (const FileError& e) {
    std::cerr << "ledwheel: " << Quoted(e.file()) << ": " << e.what() << std::endl;
    return kExitFile;
  } catch (const UsageError& e) {
    std::cerr << "ledwheel: " << e.what() << std::endl;
    return kExitUsage;
  }
  // An answer on a full or closed standard output is lost: no success then.
  if (!std::cout.flush()) {
    std::cerr << "ledwheel: standard output: cannot be written: the answer is lost" << std::endl;
    return kExitFile;
  }
  return code;
}

}  // namespace cli
