// The benchmarks' photograph stand-in.
#include "bench/photo.h"

#include <cmath>
#include <cstddef>
#include <vector>

namespace bench {

imaging::Image Photo(int32_t side) { return Photo(side, side); }

imaging::Image Photo(int32_t width, int32_t height) {
  const size_t n = static_cast<size_t>(width);
  imaging::Image image{width, height, std::vector<uint8_t>(n * static_cast<size_t>(height) * 4)};
  uint32_t noise = 1;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      uint8_t* p = &image.rgba[(static_cast<size_t>(y) * n + static_cast<size_t>(x)) * 4];
      const double r = std::hypot(x - width / 2.0, y - height / 2.0);
      p[0] = static_cast<uint8_t>(x / 16 ^ ((noise >> 24) & 7));
      p[1] = static_cast<uint8_t>(y / 16 + ((noise >> 20) & 7));
      p[2] = static_cast<uint8_t>(128 + 127 * std::sin(r / 40));
      p[3] = 255;
    }
  }
  return image;
}

}  // namespace bench
