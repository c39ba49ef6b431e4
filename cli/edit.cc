// `ledwheel edit`: the editor without the dialog, starting from FILE's wheel.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/load.h"
#include "cli/options.h"
#include "editor/dialog.h"
#include "editor/editor.h"
#include "imtxt/maak_text.h"
#include "runtime/fio.h"
#include "window/mouse.h"

namespace cli {
namespace {

struct EditCommand {
  SourceOptions source;
  int32_t zoom = 0;
  std::string output = "IM.txt";
};

// What the run's body works on: rts::Run takes a plain function.
struct EditSession {
  const EditCommand* command = nullptr;
  const LoadedWheel* loaded = nullptr;
};
EditSession session;

int EditBody() {
  // Module start order as in the program without arguments.
  FIO::Start();
  Mouse::Start();
  auto w = std::make_unique<wheel::Wheel>();
  w->led = *session.loaded->led;
  w->aantal_hoeken = session.loaded->positions;
  w->schaal = session.command->zoom;
  // The same limit the dialog sets: a window larger than the screen cannot be painted whole.
  if (const int32_t largest = editor::LargestZoomOnScreen(); w->schaal > largest) {
    Note("--zoom " + std::to_string(w->schaal) +
         ": the window would not fit this screen; the largest zoom that fits is " +
         std::to_string(largest));
    return kExitUsage;
  }
  editor::PrepareEditor(*w);
  switch (editor::Edit(*w, true)) {
    case editor::EditorEnd::kNoWindow:
      Note("the editor window cannot open (no display?)");
      return kExitFile;
    case editor::EditorEnd::kDisplayLost:
      return kExitFile;  // said on standard error; nothing written
    case editor::EditorEnd::kClosed:
      return kExitOk;
    case editor::EditorEnd::kWrite:
      break;
  }
  try {
    WriteReplacing(session.command->output, [&](const std::string& temp) {
      imtxt::WriteImFile(w->led, w->aantal_hoeken, temp);
    });
  } catch (const FileError& e) {
    Note(e.file() + ": " + e.what());
    return kExitFile;
  }
  WarnIfWillNotRun(w->led, w->aantal_hoeken, session.command->source, session.command->output);
  return kExitOk;
}

int RunEdit(const EditCommand& c) {
  // Refused before any painting is done, not after.
  CheckReplaceable(c.output);
  const LoadedWheel loaded = LoadWheel(c.source);
  session = {&c, &loaded};
  // The editor's run, with its console break and failure report.
  const int code = RunProgram(EditBody);
  session = {};
  return code;
}

}  // namespace

void RegisterEdit(CLI::App& app, Action* action) {
  auto c = std::make_shared<EditCommand>();
  CLI::App* command = app.add_subcommand("edit", "Open the editor on FILE's wheel (no dialog)");
  AddSourceOptions(*command, &c->source);
  AddNumberOption(*command, "--zoom", limits::kZoom, &c->zoom,
                  "the picture's size in percent, as the dialog asks it (default 0; 70 is true "
                  "size)");
  command
      ->add_option("-o,--output", c->output,
                   "where the write button writes IM.txt (default IM.txt)")
      ->type_name("PATH");
  command->callback([c, action] { *action = [c] { return RunEdit(*c); }; });
}

}  // namespace cli
