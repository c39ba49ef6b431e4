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

#include "imaging/imaging.h"
#include "tests/support/files.h"

extern char** environ;

namespace {

// Gradients with a fine texture and rings, so the PNG is of a photograph's size.
std::vector<uint8_t> Picture4096() {
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
  return imaging::EncodePng(image);
}

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
