// Benchmark of the picture import and the renderings on a 4096 x 4096 picture at 256 positions.
// The sampler and the renderings run on two threads: their CPU time is the process's, both
// threads together; on an idle machine the real time is about half of it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <memory>

#include "bench/photo.h"
#include "imaging/imaging.h"

namespace {

constexpr int32_t kSide = 4096;
constexpr int32_t kPositions = 256;

const imaging::Image& Picture() {
  static const imaging::Image picture = bench::Photo(kSide);
  return picture;
}

const std::vector<uint8_t>& Png() {
  static const std::vector<uint8_t> png = imaging::EncodePng(Picture());
  return png;
}

long PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

void BM_DecodePng4096(benchmark::State& state) {
  const auto& png = Png();
  for (auto _ : state) {
    imaging::Image image;
    std::string error;
    if (!imaging::DecodePicture(png, &image, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(image.rgba.data());
  }
  state.counters["png_MB"] = static_cast<double>(png.size()) / 1e6;
  state.counters["peak_rss_MB"] = static_cast<double>(PeakRssMb());
}
BENCHMARK(BM_DecodePng4096)->Unit(benchmark::kMillisecond);

// The costly part of the import: linear light and the polar resampling.
void BM_WheelSampler4096(benchmark::State& state) {
  const auto& picture = Picture();
  for (auto _ : state) {
    imaging::WheelSampler sampler(picture, {});
    benchmark::DoNotOptimize(&sampler);
  }
}
BENCHMARK(BM_WheelSampler4096)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// What each try of the search over N costs once the sampler exists.
void BM_Sample(benchmark::State& state) {
  static const imaging::WheelSampler sampler(Picture(), {});
  for (auto _ : state)
    benchmark::DoNotOptimize(sampler.Sample(static_cast<int32_t>(state.range(0))));
}
BENCHMARK(BM_Sample)->Arg(kPositions)->Arg(500)->Unit(benchmark::kMicrosecond);

// Everything after the decoding, as the import runs it.
void BM_Resample4096At256(benchmark::State& state) {
  const auto& picture = Picture();
  auto led = std::make_unique<wheel::LedArray>();
  for (auto _ : state) {
    imaging::WheelSampler sampler(picture, {});
    imaging::Quantize(sampler.Sample(kPositions), {}, *led);
    benchmark::DoNotOptimize(led.get());
  }
}
BENCHMARK(BM_Resample4096At256)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_Quantize(benchmark::State& state) {
  static const imaging::WheelSampler sampler(Picture(), {});
  const auto positions = static_cast<int32_t>(state.range(0));
  const imaging::LightMap light = sampler.Sample(positions);
  auto led = std::make_unique<wheel::LedArray>();
  for (auto _ : state) {
    imaging::Quantize(light, {}, *led);
    benchmark::DoNotOptimize(led.get());
  }
}
BENCHMARK(BM_Quantize)->Arg(kPositions)->Arg(500)->Unit(benchmark::kMicrosecond);

// Every LED lit, every intensity: the most drawing there can be at this N.
void BM_Render1024(benchmark::State& state) {
  const auto positions = static_cast<int32_t>(state.range(1));
  auto led = std::make_unique<wheel::LedArray>();
  for (int32_t j = 1; j <= positions; ++j) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*led)[j][i].toestand = 1 + (i + j) % 4;
  }
  const imaging::RenderOptions options{
      .view = state.range(0) == 0 ? imaging::View::kSpin : imaging::View::kEditor, .size = 1024};
  for (auto _ : state) benchmark::DoNotOptimize(imaging::Render(*led, positions, options));
  state.SetLabel(state.range(0) == 0 ? "spin" : "editor");
}
BENCHMARK(BM_Render1024)
    ->Args({0, kPositions})
    ->Args({0, 500})
    ->Args({1, kPositions})
    ->Args({1, 500})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_EncodePng1024(benchmark::State& state) {
  auto led = std::make_unique<wheel::LedArray>();
  for (int32_t j = 1; j <= kPositions; ++j) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*led)[j][i].toestand = (i * j) % 5;
  }
  const imaging::Image image = imaging::Render(*led, kPositions, {.size = 1024});
  for (auto _ : state) benchmark::DoNotOptimize(imaging::EncodePng(image));
}
BENCHMARK(BM_EncodePng1024)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
