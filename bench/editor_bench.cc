// The editor's own share of a click and of the first screen at 500 positions, zoom 70, without
// the window: the centres of all 12,000 LEDs are computed afresh on every click. And edit's: a
// drag's movements, and the undo history's memory at 1,000 strokes of 500 LEDs each.
#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <memory>

#include "editor/dialog.h"
#include "editor/editor_screen.h"
#include "editor/history.h"
#include "editor/painter.h"
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

class NoHost final : public editor::PaintHost {
 public:
  bool Write(const wheel::Wheel&) override { return true; }
  void Changed(bool) override {}
  void ShowUnder(bool) override {}
};

// A short stroke on the outer ring at 500 positions, zoom 70: a press on one LED, a movement to
// the next, the release; two LEDs painted, one step for undo.
void BM_ShortStroke(benchmark::State& state) {
  auto w = MakeWheel(500, 70);
  editor::PrepareEditor(*w);
  CountingCanvas c;
  NoHost host;
  editor::Painter painter(*w, c, host, false);
  painter.Open();
  using Kind = window::InputEvent::Kind;
  int32_t j = 0;
  for (auto _ : state) {
    const wheel::Point a = wheel::Centre(*w, 23, j);
    j = (j + 1) % 500;
    const wheel::Point b = wheel::Centre(*w, 23, j);
    // Alternate intensities, so that every stroke changes its LEDs.
    painter.Handle({Kind::kKey, 0, 0, 0, true, false, char('1' + j % 2)});
    painter.Handle({Kind::kPress, a.x, a.y, 1});
    painter.Handle({Kind::kMotion, b.x, b.y, 0, true, true});
    painter.Handle({Kind::kRelease, b.x, b.y, 1});
  }
  benchmark::DoNotOptimize(c.calls);
}
BENCHMARK(BM_ShortStroke)->Unit(benchmark::kMicrosecond);

// 1,000 strokes, each changing 500 LEDs (a whole ring at 500 positions): the history's own
// account of its memory, and what the heap grew by (glibc).
void BM_HistoryOfThousandStrokes(benchmark::State& state) {
  size_t bytes = 0, heap = 0, steps = 0;
  for (auto _ : state) {
#if defined(__GLIBC__)
    const size_t before = mallinfo2().uordblks;
#endif
    auto h = std::make_unique<editor::History>();
    auto led = std::make_unique<wheel::LedArray>();
    for (int32_t s = 0; s < 1000; ++s) {
      const int32_t intensity = s % 4 + 1, ring = s % wheel::kLedsPerSpoke + 1;
      h->Begin(intensity);
      for (int32_t q = 1; q <= 500; ++q) {
        int32_t& t = (*led)[q][ring].toestand;
        if (t == intensity) t = intensity % 4 + 1;  // every LED a change
        h->Record(q, ring, t);
        t = intensity;
      }
      h->Commit();
    }
#if defined(__GLIBC__)
    heap = mallinfo2().uordblks - before - sizeof(wheel::LedArray);
#endif
    bytes = h->bytes();
    steps = h->undoable();
  }
  state.counters["history_KiB"] = double(bytes) / 1024;
  state.counters["heap_KiB"] = double(heap) / 1024;
  state.counters["steps"] = double(steps);
}
BENCHMARK(BM_HistoryOfThousandStrokes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
