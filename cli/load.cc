// Loading FILE into a wheel: an IM.txt read back (and resampled through its spin rendering when
// another N is asked for), or a picture imported by the imaging library.
#include "cli/load.h"

#include <CLI/CLI.hpp>
#include <string_view>

#include "cli/cli.h"
#include "cli/files.h"
#include "firmware/fragment_words.h"
#include "firmware/im_reader.h"

namespace cli {
namespace {

// The automatic N stays within what the firmware's counters and one page comfortably hold.
constexpr int32_t kMaxAutoPositions = 256;
// The side of the spin rendering an IM.txt is resampled from: enough pixels per position on
// the inner rings at 500 positions.
constexpr int32_t kResampleSize = 2048;

constexpr std::string_view kAuto = "auto";

int32_t ParsePositions(const std::string& text) { return text.empty() ? 0 : std::stoi(text); }

// The positions a picture (or a wheel's rendering) is imported at: explicit, or the automatic
// choice, which is said on standard error.
void Import(const imaging::Image& image, const SourceOptions& options, LoadedWheel* wheel) {
  const imaging::WheelSampler sampler(image, options.import);
  if (options.positions.empty() || options.positions == kAuto) {
    const int32_t budget = options.budget > 0 ? options.budget : firmware::kFragmentBudget;
    int32_t words = 0;
    wheel->positions = AutoPositions(sampler, options.import, budget, *wheel->led, &words);
    if (wheel->positions == 0) {
      throw FileError(options.file, "even one position takes " + std::to_string(words) +
                                        " words, over the budget of " + std::to_string(budget));
    }
    Note(options.file + ": " + std::to_string(wheel->positions) +
         " positions, the most up to 256 whose IM.txt fits " + std::to_string(budget) +
         " words (it takes " + std::to_string(words) + ")");
  } else {
    wheel->positions = ParsePositions(options.positions);
    imaging::Quantize(sampler.Sample(wheel->positions), options.import, *wheel->led);
  }
  wheel->from_picture = true;
}

}  // namespace

void AddSourceOptions(CLI::App& command, SourceOptions* options) {
  command.add_option("FILE", options->file, "an IM.txt or a picture")->required();
  command
      .add_option("-n,--positions", options->positions,
                  "positions 1..500, or auto (a picture's default: the most up to 256 whose "
                  "IM.txt fits --budget); an IM.txt keeps its own unless told")
      ->type_name("N")
      ->check(
          [](const std::string& text) -> std::string {
            if (text == kAuto) return {};
            if (text.empty() || text.size() > 3 ||
                text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) < 1 ||
                std::stoi(text) > wheel::kMaxPositions) {
              return "positions must be 1 to 500 or auto, not " + text;
            }
            return {};
          },
          "1..500 or auto");
  command
      .add_option("--budget", options->budget,
                  "instruction words the IM.txt may take when N is automatic (default " +
                      std::to_string(firmware::kFragmentBudget) + ")")
      ->type_name("WORDS")
      ->check(CLI::Range(1, 1 << 20));
  command
      .add_option_function<std::string>(
          "--levels",
          [options](const std::string& text) {
            std::string error;
            if (!imaging::ParseLevels(text, &options->import.levels, &error)) {
              throw CLI::ValidationError("--levels", error);
            }
          },
          "light of intensities 1..4 relative to 4, for other firmware (default 0.01,0.333,"
          "0.667,1)")
      ->type_name("L1,L2,L3,L4");
  const std::map<std::string, imaging::Fit> fits = {{"cover", imaging::Fit::kCover},
                                                    {"contain", imaging::Fit::kContain}};
  command
      .add_option("--fit", options->import.fit,
                  "cover: the picture's inscribed circle fills the wheel; contain: the whole "
                  "picture inside the wheel")
      ->type_name("cover|contain")
      ->transform(CLI::CheckedTransformer(fits));
  command.add_option("--rotate", options->import.rotate_degrees, "turn the picture clockwise")
      ->type_name("DEG");
  command.add_flag("--mirror", options->import.mirror, "swap left and right");
  command.add_flag("--invert", options->import.invert, "dark artwork on light paper");
  command.add_flag(
      "--no-dither{false}", options->import.dither,
      "round every LED to the nearest level instead of diffusing the error over the wheel");
}

int32_t AutoPositions(const imaging::WheelSampler& sampler, const imaging::ImportOptions& options,
                      int32_t budget, wheel::LedArray& led, int32_t* words) {
  // The words do not always grow with N (a finer wheel can have more dark positions), so every
  // N is tried from the top until one fits.
  for (int32_t n = kMaxAutoPositions; n >= 1; --n) {
    imaging::Quantize(sampler.Sample(n), options, led);
    *words = firmware::FragmentWords(led, n);
    if (*words <= budget) return n;
  }
  return 0;
}

LoadedWheel LoadWheel(const SourceOptions& options) {
  const std::vector<uint8_t> bytes = ReadInput(options.file);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  LoadedWheel wheel;

  if (firmware::LooksLikeIm(text)) {
    firmware::ImInfo info;
    std::string error;
    if (!firmware::ReadIm(text, *wheel.led, &info, &error)) throw FileError(options.file, error);
    wheel.positions = info.positions;
    if (options.positions.empty() ||
        (options.positions != kAuto && ParsePositions(options.positions) == info.positions)) {
      return wheel;
    }
    // Another N: the wheel as it looks turning, imported afresh; the rendering fills its square
    // as the import's cover fit expects.
    imaging::RenderOptions render;
    render.size = kResampleSize;
    render.colour = 0xFFFFFF;
    render.levels = options.import.levels;
    const imaging::Image spin = imaging::Render(*wheel.led, wheel.positions, render);
    SourceOptions again = options;
    again.import.fit = imaging::Fit::kCover;
    *wheel.led = wheel::LedArray{};
    Import(spin, again, &wheel);
    return wheel;
  }

  if (!imaging::LooksLikePicture(bytes)) {
    throw FileError(options.file, "neither a picture nor an IM.txt");
  }
  imaging::Image image;
  std::string error;
  if (!imaging::DecodePicture(bytes, &image, &error)) throw FileError(options.file, error);
  Import(image, options, &wheel);
  return wheel;
}

}  // namespace cli
