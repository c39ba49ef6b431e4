// Runs `ledwheel import` on a 4096 x 4096 picture and prints its wall time and peak memory, the
// figures of a whole import (decoding, sampling, the search over N, writing).
// Usage: import_harness [program (default build/ledwheel)] [runs (default 3)]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/photo.h"
#include "imaging/imaging.h"
#include "tests/support/files.h"

extern char** environ;

namespace {

// The PNG of a photograph's size.
std::vector<uint8_t> Picture4096() { return imaging::EncodePng(bench::Photo(4096)); }

}  // namespace

int main(int argc, char** argv) {
  const std::string program = argc > 1 ? argv[1] : "build/ledwheel";
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  testing_support::TempDir dir;
  const std::vector<uint8_t> png = Picture4096();
  testing_support::WriteFile(dir.File("picture.png"), std::string(png.begin(), png.end()));
  const std::string output = dir.File("IM.txt");
  for (int run = 0; run < runs; ++run) {
    std::vector<std::string> args = {program, "import", dir.File("picture.png"), "-o", output};
    std::vector<char*> argv_ptrs;
    for (std::string& a : args) argv_ptrs.push_back(a.data());
    argv_ptrs.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv_ptrs.data(), environ) != 0) {
      std::fprintf(stderr, "import_harness: cannot start %s\n", program.c_str());
      return 1;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "import_harness: the import failed\n");
      return 1;
    }
    std::printf("import of a 4096 x 4096 PNG (%.1f MB): %.0f ms, peak memory %.1f MB\n",
                static_cast<double>(png.size()) / 1e6, ms,
                static_cast<double>(usage.ru_maxrss) / 1024.0);
  }
  return 0;
}
