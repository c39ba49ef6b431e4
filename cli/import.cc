// `ledwheel import`: a picture (or an IM.txt) to IM.txt, without a window; an animated GIF to one
// IM.txt a frame.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/frames.h"
#include "cli/load.h"
#include "cli/options.h"
#include "imaging/animation.h"
#include "imtxt/maak_text.h"
#include "runtime/fio.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

struct ImportCommand {
  SourceOptions source;
  std::string output = "IM.txt";
};

// Where -o puts the frames: one file (IM.txt holds one picture), a directory (ending in a
// slash), or a pattern with one printf-style %d, %Nd or %0Nd for the frame's number from 1.
struct Outputs {
  enum class Kind { kOne, kDirectory, kPattern } kind = Kind::kOne;
  std::string before, after;  // a pattern's text around its number, %% already made %
  bool zeros = false;
  int32_t width = 0;
};

Outputs ParseOutputs(const std::string& output) {
  Outputs o;
  if (output.ends_with('/') || output.ends_with('\\')) {
    o.kind = Outputs::Kind::kDirectory;
    return o;
  }
  std::string text;
  int32_t conversions = 0;
  for (size_t at = 0; at < output.size(); ++at) {
    if (output[at] != '%') {
      text += output[at];
      continue;
    }
    if (at + 1 < output.size() && output[at + 1] == '%') {
      text += '%';
      ++at;
      continue;
    }
    size_t end = at + 1;
    const bool zeros = end < output.size() && output[end] == '0';
    end += zeros ? 1 : 0;
    size_t digits = 0;
    while (end < output.size() && std::isdigit(static_cast<unsigned char>(output[end])) != 0) {
      ++end, ++digits;
    }
    if (end >= output.size() || output[end] != 'd' || digits > 2) {
      text += '%';  // not a conversion: kept as it is
      continue;
    }
    ++conversions;
    o.zeros = zeros;
    o.width = digits > 0 ? std::stoi(output.substr(end - digits, digits)) : 0;
    o.before = text;
    text.clear();
    at = end;
  }
  if (conversions == 0) return Outputs{};  // a name with a % sign in it, as it always was
  if (conversions > 1) {
    throw UsageError("-o " + Quoted(output) + ": a pattern takes one %d, e.g. frame-%02d.txt");
  }
  o.kind = Outputs::Kind::kPattern;
  o.after = text;
  return o;
}

std::string Padded(int32_t number, int32_t width, char fill) {
  std::string digits = std::to_string(number);
  return std::string(static_cast<size_t>(std::max<int32_t>(0, width - digits.size())), fill) +
         digits;
}

// The file of every frame: DIR/NAME-01.txt (NAME the input's, without its extension; as many
// digits as the last number needs, at least two), or the pattern's.
std::vector<std::string> FrameFiles(const Outputs& o, const std::string& output,
                                    const std::string& input, size_t frames) {
  std::vector<std::string> files;
  const auto digits = static_cast<int32_t>(std::max<size_t>(2, std::to_string(frames).size()));
  std::string stem = fs::path(input).stem().string();
  if (stem.empty()) stem = "frame";
  for (size_t k = 1; k <= frames; ++k) {
    const auto number = static_cast<int32_t>(k);
    if (o.kind == Outputs::Kind::kDirectory) {
      files.push_back(output + stem + "-" + Padded(number, digits, '0') + ".txt");
    } else {
      files.push_back(o.before + Padded(number, o.width, o.zeros ? '0' : ' ') + o.after);
    }
  }
  return files;
}

// Whether the file is a GIF of several frames, for the note that IM.txt holds the first.
int32_t GifFrames(const std::string& file) {
  char head[6] = {};
  std::ifstream(file, std::ios::binary).read(head, sizeof head);
  if (!imaging::IsGif({reinterpret_cast<const uint8_t*>(head), sizeof head})) return 1;
  imaging::GifInfo info;
  std::string error;
  return imaging::ScanGif(ReadInput(file), &info, &error)
             ? static_cast<int32_t>(info.delays_ms.size())
             : 1;
}

int RunOne(const ImportCommand& c) {
  CheckOutput(c.output, c.source.file);  // before the work, not after it
  const LoadedWheel wheel = LoadWheel(c.source);
  if (const int32_t frames = GifFrames(c.source.file); frames > 1) {
    Note(Quoted(c.source.file) + ": " + std::to_string(frames) + " frames; " + Quoted(c.output) +
         " holds the first (-o DIR/ or -o frame-%02d.txt writes one IM.txt a frame)");
  }
  WriteReplacing(c.output, [&](const std::string& temp) {
    imtxt::WriteImFile(*wheel.led, wheel.positions, temp);
  });
  WarnIfWillNotRun(*wheel.led, wheel.positions, c.source, c.output);
  return kExitOk;
}

int RunImport(const ImportCommand& c) {
  const Outputs outputs = ParseOutputs(c.output);
  if (outputs.kind == Outputs::Kind::kOne) return RunOne(c);
  const LoadedFrames loaded = LoadFrames({c.source.file}, c.source, ImTxtRule(c.source));
  const std::vector<std::string> files =
      FrameFiles(outputs, c.output, c.source.file, loaded.frames.size());
  // A directory that is not there is made, and removed again when nothing lands in it.
  std::error_code ec;
  fs::path made;
  if (outputs.kind == Outputs::Kind::kDirectory && !fs::exists(c.output, ec)) {
    for (fs::path p = fs::path(c.output).parent_path(); !p.empty() && !fs::exists(p, ec);
         p = p.parent_path()) {
      made = p;
    }
    fs::create_directories(c.output, ec);
    if (ec) throw FileError(c.output, "cannot be made: " + ec.message());
  }
  try {
    for (const std::string& file : files) CheckOutput(file, c.source.file);
    WriteAllReplacing(files, [&](size_t k, const std::string& temp) {
      imtxt::WriteImFile(*loaded.frames[k].led, loaded.positions, temp);
    });
  } catch (...) {
    if (!made.empty()) fs::remove_all(made, ec);
    throw;
  }
  for (size_t k = 0; k < files.size(); ++k) {
    WarnIfWillNotRun(*loaded.frames[k].led, loaded.positions, c.source, files[k]);
  }
  return kExitOk;
}

}  // namespace

void RegisterImport(CLI::App& app, Action* action) {
  auto c = std::make_shared<ImportCommand>();
  CLI::App* command =
      app.add_subcommand("import", "Import a picture into IM.txt (no window)")
          ->footer(
              "The picture is averaged over every LED's sector of the wheel in linear light and "
              "reduced to the five intensities by error diffusion. An animated GIF gives one "
              "IM.txt a frame with -o DIR/ (DIR/NAME-01.txt, ...) or -o frame-%02d.txt (frames "
              "numbered from 1), all at one N; a plain -o holds its first frame.");
  AddSourceOptions(*command, &c->source);
  command
      ->add_option("-o,--output", c->output,
                   "where IM.txt goes (default IM.txt); DIR/ or a pattern with %d: one file a "
                   "frame")
      ->type_name("PATH");
  command->callback([c, action] { *action = [c] { return RunImport(*c); }; });
}

}  // namespace cli
