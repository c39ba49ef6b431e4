// Measures the editor from outside at 500 positions and zoom 70 and prints the figures: first
// screen after the last answer, click to repainted LED, write click to process end, idle CPU
// and wake-ups over 5 s, and peak resident memory. Then `ledwheel edit` on a blank wheel of the
// same size: a drag along the outer ring, each movement to the next LED timed until that LED
// shows painted, and the same idle figures.
//
// Usage: measure_editor [runs [program]]   (needs DISPLAY; run through tools/measure-editor)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/x_driver.h"
#include "tests/support/files.h"
#include "tests/support/process.h"

namespace e2e {
namespace {

const char* program = LEDWHEEL_PROGRAM;  // or the one named on the command line
constexpr int kPositions = 500;
constexpr int kZoom = 70;
constexpr int kClicks = 40;
constexpr int kTimeoutMs = 20000;

using Clock = std::chrono::steady_clock;

// Between two looks at the window: short against the figures, long enough that the looking
// does not crowd out the program on a small machine.
void Pause() { std::this_thread::sleep_for(std::chrono::microseconds(100)); }

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Over all of the process's threads: the processor time in nanoseconds, and the times a thread
// gave up the processor to sleep, which is what a wake-up ends (preemptions by other programs
// are not counted: they say more about the machine than about us).
struct ThreadTotals {
  long long cpu_ns = 0;
  long switches = 0;
};
ThreadTotals Totals(pid_t pid) {
  ThreadTotals t;
  std::error_code ec;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream sched(task.path() / "schedstat");
    long long ns = 0;
    if (sched >> ns) t.cpu_ns += ns;
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
        t.switches += std::stol(line.substr(line.find(':') + 1));
      }
    }
  }
  return t;
}

long VmHwmKiB(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Idle: the processor time (percent) and wake-ups per second over five seconds of nothing.
void MeasureIdle(pid_t pid, double* cpu_percent, double* wakeups_per_s) {
  const ThreadTotals before = Totals(pid);
  const Clock::time_point i0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const ThreadTotals after = Totals(pid);
  const double secs = std::chrono::duration<double>(Clock::now() - i0).count();
  *cpu_percent = 100.0 * double(after.cpu_ns - before.cpu_ns) / (secs * 1e9);
  *wakeups_per_s = double(after.switches - before.switches) / secs;
}

// The Windows program that LEDWHEEL_WINE_EXE names, or null for the Linux build.
const char* WineExe() {
  const char* exe = std::getenv("LEDWHEEL_WINE_EXE");
  return exe != nullptr && exe[0] != '\0' ? exe : nullptr;
}

// The Linux build, or ledwheel.exe under Wine; o.args after it.
std::unique_ptr<testing_support::Process> Start(const std::string& dir,
                                                testing_support::RunOptions o) {
  const char* exe = WineExe();
  if (exe == nullptr) return std::make_unique<testing_support::Process>(program, dir, o);
  o.args.insert(o.args.begin(), exe);
  return std::make_unique<testing_support::Process>("/usr/bin/wine", dir, o);
}

// The centre of LED ring (0..23) at position j, by the wheel's placement rule at zoom 70.
void Centre(int ring, int j, int* x, int* y) {
  const float step = 6.283184f / kPositions;
  const float a = static_cast<float>(j) * step;
  const double r = 51 + ring * 17;
  *x = 510 + static_cast<int>(r * std::cos(static_cast<double>(a)));
  *y = 510 + static_cast<int>(r * std::sin(static_cast<double>(a)));
}

struct Figures {
  double window_ms = 0;  // last answer to the window on the screen
  double first_screen_ms = 0;
  std::vector<double> click_ms;
  double write_ms = 0;
  double idle_cpu_percent = 0;
  double idle_wakeups_per_s = 0;
  long vm_hwm_kib = 0;
  long max_rss_kib = 0;
};

bool Fail(const char* what) {
  std::fprintf(stderr, "measure_editor: %s\n", what);
  return false;
}

bool MeasureOnce(XDriver& x, Figures* f) {
  testing_support::TempDir dir;
  testing_support::RunOptions o;
  o.stdout_to_file = true;
  o.stdin_text = std::to_string(kPositions) + "\n";
  o.keep_stdin_open = true;
  x.MoveToScreen(1590, 1190);
  const auto started = Start(dir.path(), o);
  testing_support::Process& p = *started;
  // Let the dialog reach the zoom prompt, then time from the last answer.
  std::this_thread::sleep_for(std::chrono::milliseconds(WineExe() != nullptr ? 3000 : 300));
  const Clock::time_point t0 = Clock::now();
  p.WriteStdin(std::to_string(kZoom) + "\n");
  if (!x.WaitForWindow(kTimeoutMs)) return Fail("no window");
  f->window_ms = Ms(Clock::now() - t0);
  // Picture coordinates from the drawing area's corner, inside any frame the window holds.
  if (!x.SetClientSize(1020, 1020, kTimeoutMs)) return Fail("no drawing area of 1020 by 1020");
  // The digit "4" is the last thing drawn, the last LED the last of the wheel; a large box
  // reaches the window in several transfers, so both are watched. The wheel is whole from the
  // first look after which the last LED's surroundings no longer change.
  int lx = 0, ly = 0;
  Centre(23, kPositions - 1, &lx, &ly);
  std::vector<std::pair<Clock::time_point, Snapshot>> looks;
  Clock::time_point digit_at{};
  for (bool digit = false; !digit || Clock::now() - digit_at < std::chrono::milliseconds(200);) {
    if (!digit) {
      const Snapshot s = x.Grab(501, 6, 24, 24);
      digit = !s.Empty() && s.Count(501, 6, 524, 29, kLightGreyRgb) > 0;
      if (digit) digit_at = Clock::now();
    }
    looks.emplace_back(Clock::now(), x.Grab(lx - 8, ly - 8, 17, 17));
    if (Clock::now() - t0 > std::chrono::milliseconds(kTimeoutMs)) return Fail("first screen");
    Pause();
  }
  Clock::time_point led_at = looks.back().first;
  for (auto it = looks.rbegin(); it != looks.rend() && it->second == looks.back().second; ++it) {
    led_at = it->first;
  }
  if (!RingAt(looks.back().second, lx, ly, 5, kRedRgb) &&
      looks.back().second.Count(lx - 8, ly - 8, lx + 8, ly + 8, kRedRgb) == 0) {
    return Fail("last LED not drawn");
  }
  f->first_screen_ms = Ms(std::max(digit_at, led_at) - t0);

  MeasureIdle(p.pid(), &f->idle_cpu_percent, &f->idle_wakeups_per_s);

  // Clicks on LEDs spread over the wheel, each timed until its disc shows.
  for (int k = 0; k < kClicks; ++k) {
    int cx = 0, cy = 0;
    Centre(k % 24, (k * 37) % kPositions, &cx, &cy);
    const Clock::time_point c0 = Clock::now();
    x.Click(cx, cy);
    for (;;) {
      const Snapshot s = x.Grab(cx - 6, cy - 6, 13, 13);
      if (DiscAt(s, cx, cy, kRedRgb)) break;
      if (Clock::now() - c0 > std::chrono::milliseconds(kTimeoutMs)) return Fail("click");
      Pause();
    }
    f->click_ms.push_back(Ms(Clock::now() - c0));
  }

  f->vm_hwm_kib = VmHwmKiB(p.pid());
  const Clock::time_point w0 = Clock::now();
  x.Click(100, 17);
  if (!p.Wait(kTimeoutMs)) return Fail("write did not end the run");
  f->write_ms = Ms(Clock::now() - w0);
  f->max_rss_kib = p.MaxRssKiB();
  return p.ExitCode() == 0;
}

struct StrokeFigures {
  std::vector<double> movement_ms;
  double idle_cpu_percent = 0;
  double idle_wakeups_per_s = 0;
  long max_rss_kib = 0;
};

constexpr int kStrokeMovements = 400;

bool MeasureStroke(XDriver& x, StrokeFigures* f) {
  testing_support::TempDir dir;
  testing_support::RunOptions o;
  o.stdout_to_file = true;
  x.MoveToScreen(1590, 1190);
  o.args = {"edit", "-n", "500", "--zoom", "70"};
  const auto started = Start(dir.path(), o);
  testing_support::Process& p = *started;
  if (!x.WaitForWindow(kTimeoutMs)) return Fail("edit: no window");
  if (!x.SetClientSize(1020, 1020, kTimeoutMs)) return Fail("edit: no drawing area");
  const Clock::time_point t0 = Clock::now();
  for (bool digit = false; !digit;) {
    const Snapshot s = x.Grab(501, 6, 24, 24);
    digit = !s.Empty() && s.Count(501, 6, 524, 29, kLightGreyRgb) > 0;
    if (Clock::now() - t0 > std::chrono::milliseconds(kTimeoutMs)) return Fail("edit: screen");
    Pause();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  MeasureIdle(p.pid(), &f->idle_cpu_percent, &f->idle_wakeups_per_s);

  // The outer ring's LEDs are 5.5 pixels apart and their boxes 9 wide: each movement to the
  // next centre paints that LED and no other.
  int cx = 0, cy = 0;
  Centre(23, 0, &cx, &cy);
  x.MoveTo(cx, cy);
  x.Press();
  for (int k = 1; k <= kStrokeMovements; ++k) {
    Centre(23, k, &cx, &cy);
    const Clock::time_point m0 = Clock::now();
    x.MoveTo(cx, cy);
    for (;;) {
      const Snapshot s = x.Grab(cx - 6, cy - 6, 13, 13);
      if (DiscAt(s, cx, cy, kRedRgb)) break;
      if (Clock::now() - m0 > std::chrono::milliseconds(kTimeoutMs)) return Fail("movement");
      Pause();
    }
    f->movement_ms.push_back(Ms(Clock::now() - m0));
  }
  x.Release();
  // The close button; the painting is kept in the directory that goes with the run.
  x.Click(1000, 20);
  if (!p.Wait(kTimeoutMs)) return Fail("edit: the close did not end the run");
  f->max_rss_kib = p.MaxRssKiB();
  return p.ExitCode() == 0;
}

}  // namespace
}  // namespace e2e

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
  if (argc > 2) e2e::program = argv[2];
  e2e::XDriver x;
  if (!x.Connected() || !x.HasXTest()) {
    std::fprintf(stderr, "measure_editor: needs an X server with XTest in DISPLAY\n");
    return 2;
  }
  const char* exe = e2e::WineExe();
  std::printf("%s at %d positions, zoom %d, %d runs\n", exe != nullptr ? exe : e2e::program,
              e2e::kPositions, e2e::kZoom, runs);
  std::printf("%-4s %10s %14s %14s %14s %14s %12s %12s %12s %12s\n", "run", "window ms",
              "first scr ms", "click med ms", "click max ms", "write end ms", "idle cpu %",
              "idle wake/s", "VmHWM MiB", "maxrss MiB");
  for (int r = 1; r <= runs; ++r) {
    e2e::Figures f;
    if (!e2e::MeasureOnce(x, &f)) {
      std::fprintf(stderr, "run %d failed\n", r);
      return 1;
    }
    std::sort(f.click_ms.begin(), f.click_ms.end());
    std::printf("%-4d %10.2f %14.2f %14.3f %14.3f %14.2f %12.3f %12.1f %12.1f %12.1f\n", r,
                f.window_ms, f.first_screen_ms, f.click_ms[f.click_ms.size() / 2],
                f.click_ms.back(), f.write_ms, f.idle_cpu_percent, f.idle_wakeups_per_s,
                f.vm_hwm_kib / 1024.0, f.max_rss_kib / 1024.0);
  }
  std::printf("\nledwheel edit -n 500 --zoom 70: a drag along the outer ring, %d movements\n",
              e2e::kStrokeMovements);
  std::printf("%-4s %14s %14s %14s %12s %12s %12s\n", "run", "move med ms", "move p95 ms",
              "move max ms", "idle cpu %", "idle wake/s", "maxrss MiB");
  for (int r = 1; r <= runs; ++r) {
    e2e::StrokeFigures f;
    if (!e2e::MeasureStroke(x, &f)) {
      std::fprintf(stderr, "stroke run %d failed\n", r);
      return 1;
    }
    std::sort(f.movement_ms.begin(), f.movement_ms.end());
    const size_t n = f.movement_ms.size();
    std::printf("%-4d %14.3f %14.3f %14.3f %12.3f %12.1f %12.1f\n", r, f.movement_ms[n / 2],
                f.movement_ms[n * 95 / 100], f.movement_ms.back(), f.idle_cpu_percent,
                f.idle_wakeups_per_s, f.max_rss_kib / 1024.0);
  }
  return 0;
}
