// `ledwheel render`: FILE to a PNG of the wheel, as it looks turning or as the editor shows it;
// several frames to an animated PNG that plays each for its turns on the wheel.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/frames.h"
#include "cli/load.h"
#include "cli/options.h"
#include "imaging/animation.h"
#include "imaging/imaging.h"

namespace cli {
namespace {

struct RenderCommand {
  std::vector<std::string> files;
  SourceOptions source;
  FrameTiming timing;
  imaging::RenderOptions render;
  std::string output = "wheel.png";
};

int RunRender(RenderCommand& c) {
  for (const std::string& file : c.files) CheckOutput(c.output, file);
  const LoadedFrames loaded = LoadFrames(c.files, c.source, ImTxtRule(c.source));
  c.render.levels = c.source.import.levels;
  if (loaded.frames.size() == 1) {
    const imaging::Image image = imaging::Render(*loaded.frames[0].led, loaded.positions, c.render);
    WriteBytesReplacing(c.output, imaging::EncodePng(image));
    return kExitOk;
  }
  // Each frame for its whole turns at the wheel's speed: as long as the wheel shows it.
  const std::vector<int32_t> turns = TurnsPerFrame(loaded, c.timing);
  WritePiecesReplacing(c.output, [&](const PutBytes& put) {
    imaging::ApngWriter writer(static_cast<int32_t>(loaded.frames.size()), put);
    for (size_t k = 0; k < loaded.frames.size(); ++k) {
      writer.Add(imaging::Render(*loaded.frames[k].led, loaded.positions, c.render),
                 turns[k] / c.timing.speed);
    }
  });
  return kExitOk;
}

}  // namespace

void RegisterRender(CLI::App& app, Action* action) {
  auto c = std::make_shared<RenderCommand>();
  CLI::App* command =
      app.add_subcommand("render",
                         "Render the wheel of FILE as a PNG, of several frames as an "
                         "animated PNG")
          ->footer(
              "Several frames (several files, or an animated GIF) make an animated PNG, every "
              "frame at one N, each shown as long as the wheel shows it: its whole turns at "
              "--speed. One frame makes a plain PNG.");
  AddFilesOption(*command, &c->files);
  AddPictureOptions(*command, &c->source);
  AddTimingOptions(*command, &c->timing);
  command
      ->add_option_function<std::string>(
          "--view",
          [c](const std::string& text) {
            c->render.view = text == "editor" ? imaging::View::kEditor : imaging::View::kSpin;
          },
          "spin: a long exposure of the turning wheel (default); editor: the editor's preview")
      ->type_name("spin|editor")
      ->check(OneOf({"spin", "editor"}), "");
  AddNumberOption(*command, "--size", limits::kSize, &c->render.size,
                  "the picture's side in pixels; the wheel's edge touches its sides (default 800)");
  command
      ->add_option_function<std::string>(
          "--colour",
          [c](const std::string& text) {
            if (text.size() != 6 ||
                text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
              throw CLI::ValidationError("--colour", "expected RRGGBB in hexadecimal, not " + text);
            }
            c->render.colour = static_cast<uint32_t>(std::stoul(text, nullptr, 16));
          },
          "the spin view's LED colour (default FF0000)")
      ->type_name("RRGGBB");
  command->add_option("-o,--output", c->output, "the PNG file (default wheel.png)")
      ->type_name("PATH");
  command->callback([c, action] { *action = [c] { return RunRender(*c); }; });
}

}  // namespace cli
