// Loading FILE into a wheel: an IM.txt read back (and resampled through its spin rendering when
// another N is asked for), or a picture imported by the imaging library.
#include "cli/load.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <iostream>
#include <string_view>
#include <system_error>
#include <thread>

#include "cli/cli.h"
#include "cli/files.h"
#include "firmware/fit_check.h"
#include "firmware/reference_firmware.h"
#include "imtxt/fragment_words.h"
#include "imtxt/im_reader.h"
#include "runtime/threads.h"

namespace cli {
namespace {

// The automatic N stays within what the firmware's counters and one page comfortably hold.
constexpr int32_t kMaxAutoPositions = 256;
constexpr std::string_view kAuto = "auto";

int32_t ParsePositions(const std::string& text) { return text.empty() ? 0 : std::stoi(text); }

// Quantizes the light at an explicit N, or finds the automatic N and says so on standard error.
void Choose(const SourceOptions& options, const LightAt& light, LoadedWheel* wheel) {
  if (!options.positions.empty() && options.positions != kAuto) {
    wheel->positions = ParsePositions(options.positions);
    imaging::Quantize(light(wheel->positions), options.import, *wheel->led);
  } else {
    const int32_t budget = options.budget > 0 ? options.budget : firmware::kFragmentBudget;
    int32_t words = 0;
    wheel->positions = AutoPositions(light, options.import, budget, *wheel->led, &words);
    if (wheel->positions == 0) {
      throw FileError(options.file, "even one position takes " + std::to_string(words) +
                                        " words, over the budget of " + std::to_string(budget));
    }
    Note(options.file + ": " + std::to_string(wheel->positions) +
         " positions, the most up to 256 whose IM.txt fits " + std::to_string(budget) +
         " words (it takes " + std::to_string(words) + ")");
  }
  wheel->from_picture = true;
}

// What the turning wheel shows, averaged over the sectors of another number of positions: every
// lit LED's arc runs from its position's angle over its level's share of a step, and an arc as
// wide as the ring (not the drawn LED, which would dim the wheel at every resampling).
imaging::LightMap SpinLight(const wheel::LedArray& led, int32_t from, int32_t to,
                            const imaging::Levels& levels) {
  imaging::LightMap light(static_cast<size_t>(to));
  const double width = static_cast<double>(from) / to;  // a new sector, in old steps
  for (int32_t q = 0; q < to; ++q) {
    const double lo = q * width;
    const double hi = lo + width;
    auto& sector = light[static_cast<size_t>(q)];
    sector.fill(0.0f);
    const auto last = std::min(from - 1, static_cast<int32_t>(hi));
    for (int32_t p = static_cast<int32_t>(lo); p <= last; ++p) {
      for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
        const double share = levels[static_cast<size_t>(led[p + 1][i + 1].toestand)];
        const double overlap = std::min(hi, p + share) - std::max(lo, static_cast<double>(p));
        if (overlap > 0) sector[static_cast<size_t>(i)] += static_cast<float>(overlap / width);
      }
    }
  }
  return light;
}

}  // namespace

void AddCrystalOption(CLI::App& command, double* mhz) {
  command.add_option("--mhz", *mhz, "the wheel's crystal in MHz (default 20)")
      ->type_name("F")
      ->check(CLI::Range(firmware::kMinMhz, firmware::kMaxMhz));
}

void WarnIfWillNotRun(const wheel::LedArray& led, int32_t positions, const SourceOptions& options,
                      const std::string& file) {
  const int32_t budget = options.budget > 0 ? options.budget : firmware::kFragmentBudget;
  std::cerr << firmware::WillNotRunWarning(firmware::CheckFit(led, positions, budget), file)
            << std::flush;
}

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
          "");
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
  command
      .add_option_function<std::string>(
          "--fit",
          [options](const std::string& text) {
            options->import.fit = text == "contain" ? imaging::Fit::kContain : imaging::Fit::kCover;
          },
          "cover: the picture's inscribed circle fills the wheel (default); contain: the whole "
          "picture inside the wheel")
      ->type_name("cover|contain")
      ->check(OneOf({"cover", "contain"}), "");
  command.add_option("--rotate", options->import.rotate_degrees, "turn the picture clockwise")
      ->type_name("DEG");
  command.add_flag("--mirror", options->import.mirror, "swap left and right");
  command.add_flag("--invert", options->import.invert, "dark artwork on light paper");
  command.add_flag_callback(
      "--no-dither", [options] { options->import.dither = false; },
      "round every LED to the nearest level instead of diffusing the error over the wheel");
}

std::function<std::string(const std::string&)> OneOf(std::vector<std::string> names) {
  return [names = std::move(names)](const std::string& text) -> std::string {
    std::string list;
    for (const std::string& name : names) {
      if (text == name) return {};
      list += (list.empty() ? "" : ", ") + name;
    }
    return "expected one of " + list + ", not " + text;
  };
}

int32_t AutoPositions(const LightAt& light, const imaging::ImportOptions& options, int32_t budget,
                      wheel::LedArray& led, int32_t* words) {
  // The words do not always grow with N (a finer wheel can have more dark positions), so every
  // N is tried from the top until one fits: the even ones on a second thread, the odd here.
  std::atomic<int32_t> best{0};
  auto scan = [&](int32_t first) {
    auto scratch = std::make_unique<wheel::LedArray>();
    for (int32_t n = first; n >= 1 && n > best.load(); n -= 2) {
      imaging::Quantize(light(n), options, *scratch);
      if (imtxt::FragmentWords(*scratch, n) <= budget) {
        for (int32_t seen = best.load(); seen < n && !best.compare_exchange_weak(seen, n);) {
        }
        return;
      }
    }
  };
  std::thread helper;
  try {
    helper = rts::StartThread([&] { scan(kMaxAutoPositions); });
  } catch (const std::system_error&) {
    scan(kMaxAutoPositions);
  }
  scan(kMaxAutoPositions - 1);
  if (helper.joinable()) helper.join();
  // The answer's wheel, or, when none fits, one position's, whose words the caller reports.
  const int32_t n = std::max(best.load(), 1);
  imaging::Quantize(light(n), options, led);
  *words = imtxt::FragmentWords(led, n);
  return best.load();
}

LoadedWheel LoadWheel(const SourceOptions& options) {
  const std::vector<uint8_t> bytes = ReadInput(options.file);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  LoadedWheel wheel;

  if (imtxt::LooksLikeIm(text)) {
    imtxt::ImInfo info;
    std::string error;
    if (!imtxt::ReadIm(text, *wheel.led, &info, &error)) throw FileError(options.file, error);
    wheel.positions = info.positions;
    if (options.positions.empty() ||
        (options.positions != kAuto && ParsePositions(options.positions) == info.positions)) {
      return wheel;
    }
    // Another N: the wheel as it looks turning, imported afresh.
    const auto old = std::make_unique<wheel::LedArray>(*wheel.led);
    *wheel.led = wheel::LedArray{};
    Choose(
        options,
        [&](int32_t n) { return SpinLight(*old, info.positions, n, options.import.levels); },
        &wheel);
    return wheel;
  }

  if (!imaging::LooksLikePicture(bytes)) {
    throw FileError(options.file, "neither a picture nor an IM.txt");
  }
  imaging::Image image;
  std::string error;
  // Decoded no finer than the import looks: large pictures come reduced, faster and smaller.
  if (!imaging::DecodePicture(bytes, &image, &error, {.for_import = options.import.fit})) {
    throw FileError(options.file, error);
  }
  const imaging::WheelSampler sampler(image, options.import);
  Choose(
      options, [&](int32_t n) { return sampler.Sample(n); }, &wheel);
  return wheel;
}

}  // namespace cli
