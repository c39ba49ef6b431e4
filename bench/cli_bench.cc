// Benchmark of the command line's own steps: reading and writing the largest IM.txt, and the
// search for the automatic N on a 4096 x 4096 picture.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/photo.h"
#include "cli/load.h"
#include "firmware/reference_firmware.h"
#include "imtxt/fragment_words.h"
#include "imtxt/im_reader.h"
#include "imtxt/maak_text.h"
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
  imtxt::WriteImFile(*LargestWheel(), wheel::kMaxPositions, dir.File("IM.txt"));
  const std::string text = testing_support::ReadFile(dir.File("IM.txt"));
  auto led = std::make_unique<wheel::LedArray>();
  for (auto _ : state) {
    imtxt::ImInfo info;
    std::string error;
    if (!imtxt::ReadIm(text, *led, &info, &error)) state.SkipWithError(error.c_str());
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
  for (auto _ : state) imtxt::WriteImFile(*led, wheel::kMaxPositions, name);
}
BENCHMARK(BM_WriteLargestIm)->Unit(benchmark::kMillisecond);

// The imaging benchmark's photograph stand-in.
const imaging::Image& Picture4096() {
  static const imaging::Image picture = bench::Photo(4096);
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
