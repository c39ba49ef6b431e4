// Benchmark of the firmware tables: BeeldMatrix and MaakText on the largest file there is.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "imtxt/beeld_matrix.h"
#include "imtxt/maak_text.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "wheel/wheel.h"

namespace {

// Static, as in the program.
wheel::Wheel wheel;
imtxt::PortMatrix matrix;

// 500 positions, each with every intensity 0..4 among its LEDs.
void LoadPicture() {
  std::memset(static_cast<void*>(&matrix), 0, sizeof matrix);
  wheel.aantal_hoeken = wheel::kMaxPositions;
  for (int32_t q = 1; q <= wheel::kMaxPositions; ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) wheel.led[q][i].toestand = (q + i) % 5;
  }
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_BeeldMatrixAndMaakText(benchmark::State& state) {
  FIO::Start();
  IO::Start();
  char templ[] = "/tmp/ledwheel-bench-XXXXXX";
  if (mkdtemp(templ) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(templ);
  // The four console line ends of every round go nowhere.
  std::fflush(stdout);
  const int saved_stdout = dup(STDOUT_FILENO);
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, STDOUT_FILENO);

  LoadPicture();  // touches every page of the module state before the baseline
  const long rss_before = PeakRssKb();
  for (auto _ : state) {
    state.PauseTiming();
    LoadPicture();  // the build runs on fresh state, as once per program run
    state.ResumeTiming();
    imtxt::BeeldMatrix(wheel, matrix);
    imtxt::MaakText(wheel, matrix);
  }
  const long rss_after = PeakRssKb();

  dup2(saved_stdout, STDOUT_FILENO);
  close(saved_stdout);
  close(null_fd);
  state.counters["file_bytes"] =
      static_cast<double>(std::filesystem::file_size(std::filesystem::path(templ) / "IM.txt"));
  state.counters["peak_rss_kb"] = static_cast<double>(rss_after);
  state.counters["peak_rss_growth_kb"] = static_cast<double>(rss_after - rss_before);
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(templ);
}
BENCHMARK(BM_BeeldMatrixAndMaakText)->Unit(benchmark::kMillisecond);

// The two halves alone: the regrouping's move-down is quadratic in the position count.
void BM_BeeldMatrixOnly(benchmark::State& state) {
  IO::Start();
  std::fflush(stdout);
  const int saved_stdout = dup(STDOUT_FILENO);
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, STDOUT_FILENO);
  for (auto _ : state) {
    state.PauseTiming();
    LoadPicture();
    state.ResumeTiming();
    imtxt::BeeldMatrix(wheel, matrix);
  }
  dup2(saved_stdout, STDOUT_FILENO);
  close(saved_stdout);
  close(null_fd);
}
BENCHMARK(BM_BeeldMatrixOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
