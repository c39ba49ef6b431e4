// Writes the benchmarks' photograph stand-in as a PNG, for the scripts that compare the import
// with other tools. Usage: photo_file OUT.png WIDTH HEIGHT
#include <cstdio>
#include <cstdlib>

#include "bench/photo.h"
#include "imaging/imaging.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: photo_file OUT.png WIDTH HEIGHT\n");
    return 2;
  }
  const std::vector<uint8_t> png =
      imaging::EncodePng(bench::Photo(std::atoi(argv[2]), std::atoi(argv[3])));
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr || png.empty() || std::fwrite(png.data(), 1, png.size(), out) != png.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "photo_file: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
