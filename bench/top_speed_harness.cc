// The top speeds of both layouts of the reference firmware, measured on the simulator: for each
// number of positions, the fastest steady wheel whose third turn gpsim shows whole (bisection to
// 0.1 %), beside the top speed ledwheel check reports and the program words. For the table
// layout also the speed at which its display itself breaks, with the firmware's guard on the
// shortest phase taken away: the margin the guard keeps.
//   build/bench/top_speed_harness [N...]        (default: 24 100 256 500)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "firmware/fit_check.h"
#include "firmware/pic_sim.h"
#include "firmware/reference_firmware.h"
#include "firmware/table_firmware.h"
#include "imtxt/fragment_words.h"
#include "imtxt/maak_text.h"

namespace {

using firmware::testing::Picture;

constexpr double kMhz = 20.0;
constexpr double kCyclesPerSecond = kMhz * 1e6 / 4;

struct Wheel {
  Picture picture;
  std::unique_ptr<wheel::LedArray> led = std::make_unique<wheel::LedArray>();
};

// Every LED at a random intensity, or only `lit` positions spread over the wheel.
Wheel Make(int32_t n, int32_t lit) {
  Wheel w;
  w.picture.resize(static_cast<size_t>(n));
  std::mt19937 rng(static_cast<uint32_t>(n));
  for (int32_t k = 0; k < lit; ++k) {
    const int32_t q = lit == n ? k : k * n / lit;
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      const int32_t v = static_cast<int32_t>(rng() % 5);
      w.picture[q][i] = v;
      (*w.led)[q + 1][i + 1].toestand = v;
    }
    for (int32_t v = 2; v <= 4; ++v) {  // every grey level in each lit position
      w.picture[q][v] = v;
      (*w.led)[q + 1][v + 1].toestand = v;
    }
  }
  return w;
}

// Whether gpsim shows the wheel's third turn whole at turns_per_second.
bool Shows(const std::string& dir, const std::string& source, const Picture& picture, bool table,
           double turns_per_second) {
  const double period = kCyclesPerSecond / turns_per_second;
  const std::vector<uint64_t> edges =
      firmware::testing::Edges(1000, std::vector<double>(3, period));
  const firmware::testing::Simulation sim =
      firmware::testing::Simulate(dir, source, edges, edges.back() + 100);
  if (sim.gpasm_status != 0 || sim.gpsim_status != 0) {
    std::fprintf(stderr, "top_speed_harness: the toolchain failed:\n%s%s\n", sim.gpasm.c_str(),
                 sim.gpsim.substr(0, 2000).c_str());
    std::exit(1);
  }
  uint64_t first = 0;
  const std::string problem =
      table
          ? firmware::testing::TableTurnProblem(sim.writes, picture, edges[2], edges[3], 60, &first)
          : firmware::testing::FragmentTurnProblem(sim.writes, picture, edges[2], edges[3]);
  return problem.empty();
}

// The fastest speed between lo (shown) and hi (not) that is shown, to 0.1 %.
double Bisect(const std::function<bool(double)>& shows, double lo, double hi) {
  if (!shows(lo)) return 0;
  while (shows(hi)) hi *= 2;
  while (hi / lo > 1.001) {
    const double mid = (lo + hi) / 2;
    (shows(mid) ? lo : hi) = mid;
  }
  return lo;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int32_t> sizes;
  for (int a = 1; a < argc; ++a) sizes.push_back(std::atoi(argv[a]));
  if (sizes.empty()) sizes = {24, 100, 256, 500};
  char templ[] = "/tmp/ledwheel-top-speed-XXXXXX";
  if (mkdtemp(templ) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string dir = templ;

  std::printf(
      "Top speeds at %g MHz, turns per second (gpsim: the fastest steady wheel whose "
      "turn shows every position whole, by bisection to 0.1 %%)\n\n",
      kMhz);
  std::printf("%5s  %-9s %-26s %10s %10s %7s %16s\n", "N", "layout", "program words", "check",
              "gpsim", "ratio", "without guard");
  for (const int32_t n : sizes) {
    // The table: every grey level in every position.
    const Wheel full = Make(n, n);
    const std::string source = firmware::TableFirmware(*full.led, n, kMhz);
    const double check = firmware::TableTopSpeed(n, kMhz);
    const double measured =
        Bisect([&](double v) { return Shows(dir, source, full.picture, true, v); }, check / 2,
               check * 1.5);
    // The display's own limit: the guard on the shortest phase taken away.
    const std::string unguarded_source =
        firmware::TableFirmware(*full.led, n, kMhz, {.min_phase = 40});
    const double unguarded =
        Bisect([&](double v) { return Shows(dir, unguarded_source, full.picture, true, v); },
               check / 2, check * 1.5);
    std::printf("%5d  %-9s %-26s %10s %10s %7.3f %16s\n", n, "table",
                (std::to_string(firmware::TableFirmwareWords(n)) + " of 8192").c_str(),
                firmware::FormatSpeed(check).c_str(), firmware::FormatSpeed(measured).c_str(),
                measured / check, firmware::FormatSpeed(unguarded).c_str());

    // The fragment: every grey level when the page holds it, else a few lit positions.
    const int32_t full_words = imtxt::FragmentWords(*full.led, n);
    int32_t lit = n;
    Wheel fragment = Make(n, lit);
    while (lit > 1 && imtxt::FragmentWords(*fragment.led, n) > firmware::kFragmentBudget) {
      lit = lit / 2;
      fragment = Make(n, lit);
    }
    const int32_t words = imtxt::FragmentWords(*fragment.led, n);
    std::string used =
        std::to_string(full_words) + " of " + std::to_string(firmware::kFragmentBudget);
    if (words > firmware::kFragmentBudget) {
      std::printf("%5d  %-9s %-26s %10s %10s %7s %16s\n", n, "fragment", used.c_str(), "-",
                  "no picture fits", "", "");
      continue;
    }
    if (lit < n) used += " (" + std::to_string(lit) + " lit: " + std::to_string(words) + ")";
    const double fragment_check = firmware::TopSpeed(n, kMhz);
    const std::string fragment_source =
        firmware::ReferenceFirmware(imtxt::ImText(*fragment.led, n), n, kMhz);
    const double fragment_measured =
        Bisect([&](double v) { return Shows(dir, fragment_source, fragment.picture, false, v); },
               fragment_check / 2, fragment_check * 1.5);
    std::printf("%5d  %-9s %-26s %10s %10s %7.3f %16s\n", n, "fragment", used.c_str(),
                firmware::FormatSpeed(fragment_check).c_str(),
                firmware::FormatSpeed(fragment_measured).c_str(),
                fragment_measured / fragment_check, "");
    std::fflush(stdout);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
