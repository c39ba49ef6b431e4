// Benchmark of the command line's own steps: reading and writing the largest IM.txt, and the
// search for the automatic N on a 4096 x 4096 picture.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/load.h"
#include "firmware/fragment_words.h"
#include "firmware/im_reader.h"
#include "firmware/maak_text.h"
#include "runtime/fio.h"
#include "tests/support/files.h"

namespace {

// 500 positions, each with every intensity among its LEDs: the longest file there is.
std::unique_ptr<wheel::LedArray> LargestWheel() {
  auto led = std::make_unique<wheel::LedArray>();
  for (int32_t q = 1; q <= wheel::kMaxPositions; ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*led)[q][i].toestand = (q + i) % 5;
  }
  return led;
}

void BM_ReadLargestIm(benchmark::State& state) {
  FIO::Start();
  testing_support::TempDir dir;
  firmware::WriteImFile(*LargestWheel(), wheel::kMaxPositions, dir.File("IM.txt"));
  const std::string text = testing_support::ReadFile(dir.File("IM.txt"));
  auto led = std::make_unique<wheel::LedArray>();
  for (auto _ : state) {
    firmware::ImInfo info;
    std::string error;
    if (!firmware::ReadIm(text, *led, &info, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(led.get());
  }
  state.counters["file_KB"] = static_cast<double>(text.size()) / 1e3;
}
BENCHMARK(BM_ReadLargestIm)->Unit(benchmark::kMillisecond);

// The whole write of the import: fresh state, port matrix, the file.
void BM_WriteLargestIm(benchmark::State& state) {
  FIO::Start();
  testing_support::TempDir dir;
  const auto led = LargestWheel();
  const std::string name = dir.File("IM.txt");
  for (auto _ : state) firmware::WriteImFile(*led, wheel::kMaxPositions, name);
}
BENCHMARK(BM_WriteLargestIm)->Unit(benchmark::kMillisecond);

// A photograph stand-in, as in the imaging benchmark: gradients with a fine texture and rings.
const imaging::Image& Picture4096() {
  static const imaging::Image picture = [] {
    constexpr int32_t kSide = 4096;
    imaging::Image image{kSide, kSide, std::vector<uint8_t>(size_t{kSide} * kSide * 4)};
    uint32_t noise = 1;
    for (int32_t y = 0; y < kSide; ++y) {
      for (int32_t x = 0; x < kSide; ++x) {
        noise = noise * 1664525u + 1013904223u;
        uint8_t* p = &image.rgba[(size_t{static_cast<uint32_t>(y)} * kSide + x) * 4];
        const double r = std::hypot(x - kSide / 2.0, y - kSide / 2.0);
        p[0] = static_cast<uint8_t>(x / 16 ^ ((noise >> 24) & 7));
        p[1] = static_cast<uint8_t>(y / 16 + ((noise >> 20) & 7));
        p[2] = static_cast<uint8_t>(128 + 127 * std::sin(r / 40));
        p[3] = 255;
      }
    }
    return image;
  }();
  return picture;
}

// Every N tried from 256 down until the file fits, on one sampler made beforehand.
void BM_AutoPositions4096(benchmark::State& state) {
  const imaging::ImportOptions options;
  static const imaging::WheelSampler sampler(Picture4096(), options);
  auto led = std::make_unique<wheel::LedArray>();
  int32_t n = 0, words = 0;
  for (auto _ : state) {
    n = cli::AutoPositions([](int32_t k) { return sampler.Sample(k); }, options,
                           firmware::kFragmentBudget, *led, &words);
    benchmark::DoNotOptimize(n);
  }
  state.counters["N"] = n;
  state.counters["words"] = words;
  state.counters["tries"] = 256 - n + 1;
}
BENCHMARK(BM_AutoPositions4096)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
