// Figures of the graphics window: the editor's first screen through the window and into the
// raster alone, and one full repaint. Needs an X display (DISPLAY).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "wheel/wheel.h"
#include "window/drawing_server.h"
#include "window/graph_module.h"
#include "window/picture.h"
#include "window/x11/x11_backend.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kPositions = 500;
constexpr int32_t kZoom = 70;

// The calls the editor makes for its first screen: every LED as an outline, then the controls.
struct Call {
  enum Kind { kCircle, kRect, kText } kind;
  uint32_t a, b, c, d, colour;
  bool fill;
  const char* text;
};

std::vector<Call> FirstScreen() {
  wheel::Wheel w{};
  w.schaal = kZoom;
  w.aantal_hoeken = kPositions;
  wheel::ComputeSizes(w);
  w.hoek_stap = wheel::HoekStap(kPositions);
  std::vector<Call> calls;
  const uint32_t r = uint32_t(w.straal_led);
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    for (int32_t j = 0; j < kPositions; ++j) {
      const wheel::Point p = wheel::Centre(w, i, j);
      calls.push_back({Call::kCircle, uint32_t(p.x), uint32_t(p.y), r, 0, 4, false, nullptr});
    }
  }
  const uint32_t sx = uint32_t(w.screen_size_x), sy = uint32_t(w.screen_size_y);
  calls.push_back({Call::kRect, 0, 0, sx - 1, sy - 1, 2, false, nullptr});
  calls.push_back({Call::kRect, sx - 35, 1, sx, 35, 4, true, nullptr});
  calls.push_back({Call::kText, sx - 27, 10, 0, 0, 4, false, " X "});
  calls.push_back({Call::kRect, 35, 5, 155, 30, 2, false, nullptr});
  calls.push_back({Call::kText, 38, 8, 0, 0, 7, false, " CREATE  IM.TXT "});
  calls.push_back({Call::kRect, 35, 50, 155, 75, 2, false, nullptr});
  calls.push_back({Call::kText, 38, 53, 0, 0, 7, false, " SEE RESULT "});
  for (uint32_t k = 0; k < 5; ++k) {
    calls.push_back({Call::kRect, 380 + 30 * k, 5, 405 + 30 * k, 30, 2, false, nullptr});
  }
  calls.push_back({Call::kText, 280, 10, 0, 0, 7, false, "INTENSITY:"});
  static const char* const kDigits[] = {"0", "1", "2", "3", "4"};
  for (uint32_t k = 0; k < 5; ++k) {
    calls.push_back({Call::kText, 390 + 30 * k, 10, 0, 0, 7, false, kDigits[k]});
  }
  return calls;
}

// A pixel of the last label ("4" at (510, 10)): ink of the digit's stem, grey once drawn.
constexpr int kProbeX = 510 + 4, kProbeY = 10 + 3;
constexpr uint32_t kGrey = 0xC0C0C0;

void Draw(window::GraphModule& g, const std::vector<Call>& calls) {
  for (const Call& c : calls) {
    switch (c.kind) {
      case Call::kCircle:
        g.Ellipse(c.a, c.b, c.c, c.c, c.colour, false);
        break;
      case Call::kRect:
        g.Rectangle(c.a, c.b, c.c, c.d, c.colour, c.fill);
        break;
      case Call::kText:
        g.RawOutText(c.a, c.b, c.colour, c.text);
        break;
    }
  }
}

window::GraphModule* OpenWindow() {
  static window::GraphModule* g = [] {
    auto* m = new window::GraphModule(
        window::X11Backend(),
        window::GraphServices{
            .start_thread = [](std::function<void()> fn) { return std::thread(std::move(fn)); },
            .check_break = [] {},
            .message =
                [](std::string_view t) { std::fprintf(stderr, "%.*s\n", int(t.size()), t.data()); },
            .publish = nullptr,
        });
    m->Start();
    // The editor's window at zoom 70: drawing area 1020 x 1020.
    if (!m->Init(1, 1, 1025, 1051)) return static_cast<window::GraphModule*>(nullptr);
    return m;
  }();
  return g;
}

void WaitFor(window::WindowProbe& probe, window::WindowId id, int x, int y, uint32_t rgb) {
  // Each look is a round trip; looking without pause would crowd the drawing out of the server.
  while (probe.Pixel(id, x, y) != rgb) std::this_thread::sleep_for(std::chrono::microseconds(100));
}

// From the first call until the window shows the last label.
void BM_FirstScreenOnWindow(benchmark::State& state) {
  window::GraphModule* g = OpenWindow();
  window::WindowProbe probe;
  if (g == nullptr || !probe.ok()) {
    state.SkipWithError("no X display");
    return;
  }
  const auto calls = FirstScreen();
  double calls_s = 0;
  for (auto _ : state) {
    g->ClearScreen(0);
    g->WaitIdle();
    WaitFor(probe, g->window_id(), kProbeX, kProbeY, 0);
    const auto t0 = Clock::now();
    Draw(*g, calls);
    const auto t1 = Clock::now();
    WaitFor(probe, g->window_id(), kProbeX, kProbeY, kGrey);
    const auto t2 = Clock::now();
    state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
    calls_s += std::chrono::duration<double>(t1 - t0).count();
  }
  state.counters["calls"] = double(calls.size());
  state.counters["last_call_returned_ms"] = 1e3 * calls_s / double(state.iterations());
}
BENCHMARK(BM_FirstScreenOnWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);

// The same commands executed straight into a picture: the floor.
void BM_FirstScreenRasterOnly(benchmark::State& state) {
  const auto calls = FirstScreen();
  static const uint32_t kStd[16] = {0x000000, 0x0000B0, 0x00B000, 0x008080, 0xB00000, 0x800080,
                                    0xB06000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                    0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
  window::Picture pic(1025, 1051);
  window::DrawingState s;
  window::CommandBlock pal;
  pal.code = window::kCmdPalette;
  s.ExecuteState(pal, kStd);
  std::vector<window::CommandBlock> blocks;
  for (const Call& c : calls) {
    window::CommandBlock b;
    switch (c.kind) {
      case Call::kCircle:
        b.code = window::kCmdEllipse;
        b.p = {c.a - c.c, c.b - c.c, c.a + c.c, c.b + c.c, c.colour, 0};
        break;
      case Call::kRect:
        b.code = window::kCmdRectangle;
        b.p = {c.a, c.b, c.c, c.d, c.colour, c.fill};
        break;
      case Call::kText:
        b.code = window::kCmdText;
        b.p = {c.a, c.b, c.colour};
        b.text_length = std::char_traits<char>::length(c.text);
        std::copy_n(c.text, b.text_length, b.text.data());
        break;
    }
    blocks.push_back(b);
  }
  for (auto _ : state) {
    for (const auto& b : blocks) benchmark::DoNotOptimize(s.Execute(b, pic));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FirstScreenRasterOnly)->Unit(benchmark::kMillisecond);

// One full repaint of the 1025 x 1051 picture: from the expose until the far corner shows.
void BM_FullRepaint(benchmark::State& state) {
  window::GraphModule* g = OpenWindow();
  window::WindowProbe probe;
  if (g == nullptr || !probe.ok()) {
    state.SkipWithError("no X display");
    return;
  }
  g->SetBkColor(15);
  g->ClearScreen(0);
  g->WaitIdle();
  WaitFor(probe, g->window_id(), 1019, 1019, 0xFFFFFF);
  for (auto _ : state) {
    const auto t0 = Clock::now();
    probe.Repaint(g->window_id());  // the server clears to black, then the window repaints
    WaitFor(probe, g->window_id(), 1019, 1019, 0xFFFFFF);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
  }
  g->SetBkColor(0);
}
BENCHMARK(BM_FullRepaint)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1);

}  // namespace

BENCHMARK_MAIN();
