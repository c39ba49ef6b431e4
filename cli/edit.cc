// `ledwheel edit`: the editor without the dialog, starting from FILE's wheel, a blank one or the
// painting an earlier run left unwritten; writes as often as asked and loses nothing at the end.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/load.h"
#include "cli/options.h"
#include "editor/dialog.h"
#include "editor/paint_session.h"
#include "imaging/imaging.h"
#include "imtxt/maak_text.h"
#include "runtime/failure.h"
#include "runtime/fio.h"
#include "window/graph.h"
#include "window/mouse.h"

namespace cli {
namespace {

constexpr const char* kDefaultOutput = "IM.txt";
constexpr int32_t kBlankPositions = 48;
// The picture under the wheel, this bright: no pixel of it can be mistaken for an LED's colour.
constexpr double kUnderBrightness = 0.4;

constexpr const char* kControls =
    "In the window: press and drag over the LEDs to paint them with the selected intensity (a\n"
    "click paints one); the buttons INTENSITY 0-4, SEE RESULT (the preview), CREATE IM.TXT\n"
    "(write and end) and X (end; unwritten changes are kept).\n"
    "Keys: 0-4 select the intensity, P or Space switch the preview, Ctrl+S writes the output and\n"
    "goes on, Ctrl+Z undoes a stroke, Ctrl+Shift+Z or Ctrl+Y redoes it. The title shows the\n"
    "output's name, with * while changes are unwritten.\n"
    "Closing the window, Ctrl+C in the console or a lost display leave unwritten changes in\n"
    ".NAME.recover beside the output; --recover goes on with them. A write removes it.\n"
    "Exit codes: 0 written or closed, 1 a file problem or no display, 2 a usage error.\n";

struct EditCommand {
  SourceOptions source;
  int32_t zoom = 0;
  std::string output = kDefaultOutput;
  bool recover = false;
  std::string under;
};

// What the run's body works on: rts::Run takes a plain function.
struct EditSession {
  const EditCommand* command = nullptr;
  const LoadedWheel* loaded = nullptr;
  const imaging::Image* under = nullptr;
  std::string recovery;
};
EditSession session;

// The recovery file of an output: hidden, beside it.
std::string RecoveryPath(const std::string& output) {
  const std::filesystem::path p(output);
  return (p.parent_path() / ("." + p.filename().string() + ".recover")).string();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// A word for a shell: as it is when it is plain, else in single quotes.
std::string ShellWord(const std::string& word) {
  if (!word.empty() &&
      word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                             "._/+-:,@%=") == std::string::npos) {
    return word;
  }
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The command that goes on with the recovery file.
std::string ResumeCommand(const EditCommand& c) {
  std::string command = "ledwheel edit --recover";
  if (c.output != kDefaultOutput) command += " -o " + ShellWord(c.output);
  if (c.zoom != 0) command += " --zoom " + std::to_string(c.zoom);
  return command;
}

void WriteWheel(const wheel::Wheel& w, const std::string& path) {
  WriteReplacing(
      path, [&](const std::string& temp) { imtxt::WriteImFile(w.led, w.aantal_hoeken, temp); });
}

// Writes the output; a failure is said on standard error and the painting goes on.
bool WriteOutput(const wheel::Wheel& w) {
  const EditCommand& c = *session.command;
  try {
    WriteWheel(w, c.output);
  } catch (const FileError& e) {
    Note(Quoted(e.file()) + ": " + e.what());
    return false;
  }
  WarnIfWillNotRun(w.led, w.aantal_hoeken, c.source, c.output);
  // The output holds the painting now.
  std::error_code ec;
  std::filesystem::remove(session.recovery, ec);
  return true;
}

// Leaves the painting in the recovery file and says so, after what (if anything) ended the run.
// False when it could not be kept.
bool KeepPainting(const wheel::Wheel& w, const std::string& what) {
  const std::string lead = what.empty() ? "" : what + "; ";
  try {
    WriteWheel(w, session.recovery);
  } catch (const FileError& e) {
    Note(lead + "the unwritten changes are lost: " + Quoted(e.file()) + ": " + e.what());
    return false;
  }
  Note(lead + "the unwritten changes are kept in " + Quoted(session.recovery) +
       "; to go on with them: " + Printable(ResumeCommand(*session.command)));
  return true;
}

// Why no window can open here, when it is for want of a display.
bool NoDisplay() {
  uint32_t width = 0, height = 0;
  if (Graph::WindowRoom(&width, &height)) return false;
  const char* name = std::getenv("DISPLAY");
  Note(std::string("cannot open the editor window: no display") +
       (name != nullptr && name[0] != '\0' ? " answers at " + Quoted(name) : ""));
  return true;
}

int EditBody() {
  // Module start order as in the program without arguments.
  FIO::Start();
  Mouse::Start();
  const EditCommand& c = *session.command;
  if (NoDisplay()) return kExitFile;
  auto w = std::make_unique<wheel::Wheel>();
  w->led = *session.loaded->led;
  w->aantal_hoeken = session.loaded->positions;
  w->schaal = c.zoom;
  // The same limit the dialog sets: a window larger than the screen cannot be painted whole.
  if (const int32_t largest = editor::LargestZoomOnScreen(); w->schaal > largest) {
    Note("--zoom " + std::to_string(w->schaal) +
         ": the window would not fit this screen; the largest zoom that fits is " +
         std::to_string(largest));
    return kExitUsage;
  }
  editor::PrepareEditor(*w);

  editor::PaintOptions options;
  options.file = c.output;
  options.unwritten = c.recover;
  if (session.under != nullptr) {
    options.under = imaging::EditorUnder(*session.under, c.source.import, *w, kUnderBrightness);
  }
  options.write = WriteOutput;
  editor::PaintSession painting(*w, std::move(options));
  editor::EditorEnd end;
  try {
    end = painting.Run();
  } catch (const rts::Failure&) {
    // The console break: the painting first, then the run's report.
    if (painting.unwritten()) KeepPainting(*w, "");
    throw;
  }
  switch (end) {
    case editor::EditorEnd::kNoWindow: {
      const std::string why = Graph::Failure();
      Note("cannot open the editor window" + (why.empty() ? std::string() : ": " + why));
      return kExitFile;
    }
    case editor::EditorEnd::kDisplayLost: {
      const std::string lost = "the connection to the display was lost";
      if (!painting.unwritten()) {
        Note(lost + " (no unwritten changes)");
      } else {
        KeepPainting(*w, lost);
      }
      return kExitFile;
    }
    case editor::EditorEnd::kClosed:
      if (painting.unwritten() && !KeepPainting(*w, "")) return kExitFile;
      return kExitOk;
    case editor::EditorEnd::kWrite:
      break;
  }
  return kExitOk;
}

int RunEdit(const EditCommand& c) {
  SourceOptions source = c.source;
  const std::string recovery = RecoveryPath(c.output);
  if (source.positions == SourceOptions::kAuto && source.file.empty() && !c.recover) {
    throw UsageError("-n auto: a blank wheel needs a number of positions, " +
                     RangeText(limits::kPositions));
  }
  // Refused before any painting is done, not after.
  CheckOutput(c.output);
  LoadedWheel loaded;
  if (c.recover) {
    if (!Exists(recovery)) {
      throw FileError(recovery,
                      "no such file: no unwritten changes are kept for " + Quoted(c.output));
    }
    source.file = recovery;
    loaded = LoadWheel(source);
  } else if (!source.file.empty()) {
    // An IM.txt is edited in place; a picture is never replaced by one.
    loaded = LoadWheel(source, [&c](bool picture) {
      if (picture) CheckOutput(c.output, c.source.file);
    });
  } else {
    loaded.positions = source.positions > 0 ? source.positions : kBlankPositions;
  }
  imaging::Image under;
  if (!c.under.empty()) {
    const std::vector<uint8_t> bytes =
        ReadInput(c.under, [&c](std::span<const uint8_t> head) -> InputLimit {
          if (!imaging::LooksLikePicture(head)) throw FileError(c.under, "not a picture");
          return {kMaxPictureBytes, "a picture ledwheel reads"};
        });
    std::string error;
    if (!imaging::DecodePicture(bytes, &under, &error)) throw FileError(c.under, error);
  }
  if (!c.recover && Exists(recovery)) {
    Note(Quoted(recovery) + " holds unwritten changes of an earlier run; to go on with them: " +
         Printable(ResumeCommand(c)));
  }
  session = {&c, &loaded, c.under.empty() ? nullptr : &under, recovery};
  // The editor's run, with its console break and failure report.
  const int code = RunProgram(EditBody);
  session = {};
  return code;
}

}  // namespace

void RegisterEdit(CLI::App& app, Action* action) {
  auto c = std::make_shared<EditCommand>();
  CLI::App* command = app.add_subcommand(
      "edit", "Paint FILE's wheel in the editor (no dialog); without FILE a blank wheel");
  AddSourceOptions(*command, &c->source, /*file_required=*/false);
  AddNumberOption(*command, "--zoom", limits::kZoom, &c->zoom,
                  "the picture's size in percent, as the dialog asks it (default 0; 70 is true "
                  "size)");
  command
      ->add_option("-o,--output", c->output,
                   "where Ctrl+S and the write button write IM.txt (default IM.txt)")
      ->type_name("PATH");
  command->add_flag("--recover", c->recover,
                    "go on with the unwritten changes an earlier run kept beside the output");
  command
      ->add_option("--under", c->under,
                   "show PICTURE dimmed under the LEDs, as the import lays it onto the wheel "
                   "(with --fit, --rotate, --mirror)")
      ->type_name("PICTURE");
  command->footer(kControls);
  command->callback([c, action] { *action = [c] { return RunEdit(*c); }; });
}

}  // namespace cli
