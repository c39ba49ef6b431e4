// The editor's own share of a click and of the first screen at 500 positions, zoom 70, without
// the window: the centres of all 12,000 LEDs are computed afresh on every click.
#include <benchmark/benchmark.h>

#include <memory>

#include "editor/editor_screen.h"
#include "wheel/wheel.h"

namespace {

// Counts the drawing calls so that the work cannot be optimised away.
class CountingCanvas final : public editor::Canvas {
 public:
  void Circle(int32_t, int32_t, int32_t, uint32_t) override { ++calls; }
  void Disc(int32_t, int32_t, int32_t, uint32_t) override { ++calls; }
  void Rectangle(int32_t, int32_t, int32_t, int32_t, uint32_t, bool) override { ++calls; }
  void RawOutText(int32_t, int32_t, uint32_t, std::string_view) override { ++calls; }
  long calls = 0;
};

std::unique_ptr<wheel::Wheel> MakeWheel(int32_t positions, int32_t zoom) {
  auto w = std::make_unique<wheel::Wheel>();
  w->aantal_hoeken = positions;
  w->schaal = zoom;
  wheel::ComputeSizes(*w);
  w->intens4 = true;
  return w;
}

void BM_OpenScreen(benchmark::State& state) {
  auto w = MakeWheel(static_cast<int32_t>(state.range(0)), 70);
  CountingCanvas c;
  for (auto _ : state) editor::OpenScreen(*w, c);
  benchmark::DoNotOptimize(c.calls);
}
BENCHMARK(BM_OpenScreen)->Arg(24)->Arg(500)->Unit(benchmark::kMicrosecond);

void BM_ClickOnLed(benchmark::State& state) {
  auto w = MakeWheel(static_cast<int32_t>(state.range(0)), 70);
  CountingCanvas c;
  editor::OpenScreen(*w, c);
  const wheel::Point p = wheel::Centre(*w, 23, 0);
  for (auto _ : state) {
    w->mouse_x = p.x;
    w->mouse_y = p.y;
    editor::HandleClick(*w, c);
  }
  benchmark::DoNotOptimize(c.calls);
}
BENCHMARK(BM_ClickOnLed)->Arg(24)->Arg(500)->Unit(benchmark::kMicrosecond);

void BM_PreviewOnAndOff(benchmark::State& state) {
  auto w = MakeWheel(500, 70);
  CountingCanvas c;
  editor::OpenScreen(*w, c);
  for (auto _ : state) {
    w->mouse_x = 100;
    w->mouse_y = 60;
    editor::HandleClick(*w, c);
  }
  benchmark::DoNotOptimize(c.calls);
}
BENCHMARK(BM_PreviewOnAndOff)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
