// Loading FILE into a wheel: an IM.txt read back (and resampled through its spin rendering when
// another N is asked for), or a picture imported by the imaging library.
#include "cli/load.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <system_error>
#include <thread>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/options.h"
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

// Quantizes the light at an explicit N, or finds the automatic N and says so on standard error.
void Choose(const SourceOptions& options, const LightAt& light, LoadedWheel* wheel) {
  wheel->from_picture = true;
  if (options.positions > 0) {
    wheel->positions = options.positions;
    imaging::Quantize(light(wheel->positions), options.import, *wheel->led);
    return;
  }
  const int32_t budget = options.budget > 0 ? options.budget : firmware::kFragmentBudget;
  int32_t words = 0;
  wheel->positions = AutoPositions(light, options.import, budget, *wheel->led, &words);
  if (wheel->positions == 0) {
    throw FileError(options.file, "even one position takes " + std::to_string(words) +
                                      " words, over the budget of " + std::to_string(budget));
  }
  Note(Quoted(options.file) + ": " + std::to_string(wheel->positions) +
       " positions, the most up to " + std::to_string(kMaxAutoPositions) + " whose IM.txt fits " +
       std::to_string(budget) + " words (it takes " + std::to_string(words) + ")");
}

}  // namespace

// Every lit LED's arc runs from its position's angle over its level's share of a step, and an
// arc as wide as the ring (not the drawn LED, which would dim the wheel at every resampling).
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

namespace {

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string_view WithoutBom(std::string_view text) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
  return text;
}

namespace {

// A wheel file judged from its head, so that a file that is neither, or too large for its kind,
// is refused before it is read whole.
InputJudge WheelJudge(const std::string& file,
                      const std::function<void(bool picture)>& kind_known) {
  return [&file, kind_known](std::span<const uint8_t> head) -> InputLimit {
    const bool im = imtxt::LooksLikeIm(WithoutBom(AsText(head)));
    if (!im && !imaging::LooksLikePicture(head)) {
      throw FileError(file, "neither a picture nor an IM.txt");
    }
    if (kind_known) kind_known(!im);
    if (im) return {kMaxImBytes, "an IM.txt"};
    return {kMaxPictureBytes, "a picture ledwheel reads"};
  };
}

// A picture file for the decoder, which may read it as it decodes.
class PictureFile final : public imaging::PictureInput {
 public:
  explicit PictureFile(InputFile& input) : input_(input) {}
  std::span<const uint8_t> Head() const override { return input_.head(); }
  size_t ReadOn(uint8_t* into, size_t n) override { return input_.ReadOn(into, n); }
  std::vector<uint8_t> ReadWhole() override { return input_.ReadWhole(); }

 private:
  InputFile& input_;
};

}  // namespace

std::vector<uint8_t> ReadWheelFile(const std::string& file,
                                   const std::function<void(bool picture)>& kind_known) {
  return ReadInput(file, WheelJudge(file, kind_known));
}

void AddFirmwareOptions(CLI::App& command, FirmwareOptions* options) {
  command
      .add_option_function<std::string>(
          "--layout",
          [options](const std::string& text) {
            options->layout =
                text == "fragment" ? firmware::Layout::kFragment : firmware::Layout::kTable;
          },
          "table: the pictures as data, every N up to 500, several frames (default); fragment: "
          "IM.txt's fragment as code in one page, one picture")
      ->type_name("table|fragment")
      ->check(OneOf({"table", "fragment"}), "");
  AddNumberOption(command, "--mhz", limits::kMhz, &options->mhz,
                  "the wheel's crystal in MHz (default 20)");
}

void WarnIfWillNotRun(const wheel::LedArray& led, int32_t positions, const SourceOptions& options,
                      const std::string& file) {
  const int32_t budget = options.budget > 0 ? options.budget : firmware::kFragmentBudget;
  std::cerr << firmware::WillNotRunWarning(firmware::CheckFit(led, positions, budget), Quoted(file))
            << std::flush;
}

void AddSourceOptions(CLI::App& command, SourceOptions* options, bool file_required) {
  command.add_option("FILE", options->file, "an IM.txt or a picture")->required(file_required);
  AddPictureOptions(command, options);
}

void AddPictureOptions(CLI::App& command, SourceOptions* options) {
  command
      .add_option_function<std::string>(
          "-n,--positions",
          [options](const std::string& text) {
            if (text == kAuto) {
              options->positions = SourceOptions::kAuto;
              return;
            }
            std::string complaint;
            const std::optional<double> n = ParseNumber(text, limits::kPositions, &complaint);
            if (!n) {
              throw CLI::ValidationError(
                  "--positions",
                  "expected auto or " + RangeText(limits::kPositions) + ", not " + Quoted(text));
            }
            options->positions = static_cast<int32_t>(*n);
          },
          "positions, or auto (a picture's default: the most up to 256 whose IM.txt fits "
          "--budget; for firmware and check, the most their --layout holds and shows at "
          "--speed); an "
          "IM.txt keeps its own unless told")
      ->type_name("N:1.." + std::to_string(wheel::kMaxPositions) + "|auto");
  AddNumberOption(command, "--budget", limits::kBudget, &options->budget,
                  "instruction words the IM.txt may take when N is automatic (default " +
                      std::to_string(firmware::kFragmentBudget) + ")");
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
  AddNumberOption(
      command, "--rotate", limits::kRotate,
      // Exact for any double: 1e300 degrees is the picture turned 1e300 degrees.
      [options](double v) { options->import.rotate_degrees = std::fmod(v, 360.0); },
      "turn the picture clockwise");
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
    return "expected one of " + list + ", not " + Quoted(text);
  };
}

int32_t AutoPositions(const LightAt& light, const imaging::ImportOptions& options, int32_t budget,
                      wheel::LedArray& led, int32_t* words, int32_t most) {
  // The words do not always grow with N (a finer wheel can have more dark positions), so every
  // N is tried from the top until one fits: every other one on a second thread.
  const int32_t top = std::min(most, kMaxAutoPositions);
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
    helper = rts::StartThread([&] { scan(top); });
  } catch (const std::system_error&) {
    scan(top);
  }
  scan(top - 1);
  if (helper.joinable()) helper.join();
  // The answer's wheel, or, when none fits, one position's, whose words the caller reports.
  const int32_t n = std::max(best.load(), 1);
  imaging::Quantize(light(n), options, led);
  *words = imtxt::FragmentWords(led, n);
  return best.load();
}

LoadedWheel LoadWheel(const SourceOptions& options,
                      const std::function<void(bool picture)>& kind_known) {
  bool picture = false;
  InputFile input(options.file, WheelJudge(options.file, [&](bool p) {
                    picture = p;
                    if (kind_known) kind_known(p);
                  }));
  LoadedWheel wheel;
  std::string error;
  std::vector<uint8_t> bytes;
  if (!picture) {
    bytes = input.ReadWhole();
    // An editor may have put a byte order mark before the text.
    const std::string_view text = WithoutBom(AsText(bytes));
    if (imtxt::LooksLikeIm(text)) {
      imtxt::ImInfo info;
      if (!imtxt::ReadIm(text, *wheel.led, &info, &error)) throw FileError(options.file, error);
      wheel.positions = info.positions;
      if (options.positions == 0 || options.positions == info.positions) {
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
  }

  imaging::Image image;
  // Decoded no finer than the import looks: large pictures come reduced, faster and smaller, and
  // a large PNG is decoded as it is read rather than read whole first.
  const imaging::DecodeOptions decoding{.for_import = options.import.fit};
  PictureFile file(input);
  if (!(picture ? imaging::DecodePicture(file, &image, &error, decoding)
                : imaging::DecodePicture(bytes, &image, &error, decoding))) {
    throw FileError(options.file, error);
  }
  const imaging::WheelSampler sampler(image, options.import);
  Choose(
      options, [&](int32_t n) { return sampler.Sample(n); }, &wheel);
  return wheel;
}

}  // namespace cli
