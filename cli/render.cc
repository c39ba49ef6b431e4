// `ledwheel render`: FILE to a PNG of the wheel, as it looks turning or as the editor shows it.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/load.h"
#include "cli/options.h"
#include "imaging/imaging.h"

namespace cli {
namespace {

struct RenderCommand {
  SourceOptions source;
  imaging::RenderOptions render;
  std::string output = "wheel.png";
};

int RunRender(RenderCommand& c) {
  CheckReplaceable(c.output);
  const LoadedWheel wheel = LoadWheel(c.source);
  c.render.levels = c.source.import.levels;
  const imaging::Image image = imaging::Render(*wheel.led, wheel.positions, c.render);
  WriteBytesReplacing(c.output, imaging::EncodePng(image));
  return kExitOk;
}

}  // namespace

void RegisterRender(CLI::App& app, Action* action) {
  auto c = std::make_shared<RenderCommand>();
  CLI::App* command = app.add_subcommand("render", "Render FILE's wheel as a PNG picture");
  AddSourceOptions(*command, &c->source);
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
