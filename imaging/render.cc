// The renderings of a wheel: the long exposure of the turning wheel, and the editor's preview.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "imaging/geometry.h"
#include "imaging/halves.h"
#include "imaging/imaging.h"

namespace imaging {
namespace {

// RRGGBB of the window's 16-colour standard palette, which Kleur's colour numbers index. The
// window keeps its own copy; imaging does not depend on the window.
constexpr uint32_t kStdPalette[16] = {
    0x000000, 0x0000B0, 0x00B000, 0x008080, 0xB00000, 0x800080, 0xB06000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

// Half the LED's width: the arcs are as wide as the editor's LED.
constexpr double kArcHalfWidth = kLedRadius;

Image Black(int32_t size) {
  Image image;
  image.width = size;
  image.height = size;
  image.rgba.assign(static_cast<size_t>(size) * size * 4, 0);
  for (size_t p = 3; p < image.rgba.size(); p += 4) image.rgba[p] = 255;
  return image;
}

uint8_t Channel(uint32_t rgb, int32_t shift) { return static_cast<uint8_t>((rgb >> shift) & 0xFF); }

// The angle of (x, y) in 0..2 pi, within 1e-5 radians: a hundredth of a pixel at the rim of a
// 1024-pixel rendering, for a fifth of the library's time.
double Angle(double y, double x) {
  const double ax = std::abs(x);
  const double ay = std::abs(y);
  const double big = std::max(ax, ay);
  if (big == 0.0) return 0.0;
  const double t = std::min(ax, ay) / big;
  const double s = t * t;
  // A minimax polynomial for atan on [0, 1].
  double a =
      t * (0.9998660 + s * (-0.3302995 + s * (0.1801410 + s * (-0.0851330 + s * 0.0208351))));
  if (ay > ax) a = std::numbers::pi / 2 - a;
  if (x < 0) a = std::numbers::pi - a;
  if (y < 0) a = 2 * std::numbers::pi - a;
  return a;
}

// Length of the overlap of [a0, a1] and [b0, b1].
double Overlap(double a0, double a1, double b0, double b1) {
  return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}

// Each pixel is covered by the arcs' area inside it, taken as a square of the same size oriented
// along the ring: radial cover times angular cover, which is exact enough where a pixel is small
// against the radius, i.e. everywhere outside the hub.
Image RenderSpin(const wheel::LedArray& led, int32_t positions, const RenderOptions& options) {
  const int32_t size = options.size;
  Image image = Black(size);
  const double pixels_per_pitch = size / 2.0 / kWheelEdge;
  const double pixel = 1.0 / pixels_per_pitch;  // in pitches
  const double centre = size / 2.0;
  const double step = 2.0 * std::numbers::pi / positions;

  // The colour at each cover, mixed with black in linear light.
  constexpr int32_t kCoverSteps = 1024;
  std::vector<std::array<uint8_t, 3>> shade(kCoverSteps + 1);
  for (int32_t q = 0; q <= kCoverSteps; ++q) {
    for (int32_t c = 0; c < 3; ++c) {
      const double full = SrgbToLinear(Channel(options.colour, 16 - 8 * c) / 255.0);
      shade[q][c] = static_cast<uint8_t>(
          std::lround(255.0 * LinearToSrgb(full * q / static_cast<double>(kCoverSteps))));
    }
  }
  // The light of every LED once, ring by ring.
  std::vector<double> level(static_cast<size_t>(positions) * wheel::kLedsPerSpoke);
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    for (int32_t j = 0; j < positions; ++j) {
      const int32_t k = std::clamp(led[j + 1][i + 1].toestand, 0, 4);
      level[static_cast<size_t>(i) * positions + j] = options.levels[k];
    }
  }

  const double last_t = std::nextafter(static_cast<double>(positions), 0.0);
  InHalves(size, [&](int32_t y_begin, int32_t y_end) {
    for (int32_t y = y_begin; y < y_end; ++y) {
      const double dy = (y + 0.5 - centre) * pixel;
      uint8_t* out = &image.rgba[static_cast<size_t>(y) * size * 4];
      for (int32_t x = 0; x < size; ++x, out += 4) {
        const double dx = (x + 0.5 - centre) * pixel;
        const double r = std::sqrt(dx * dx + dy * dy);
        const double r0 = r - pixel / 2;
        const double r1 = r + pixel / 2;
        const int32_t first =
            std::max(0, static_cast<int32_t>(std::ceil(r0 - RingRadius(0) - kArcHalfWidth)));
        const int32_t last =
            std::min(wheel::kLedsPerSpoke - 1,
                     static_cast<int32_t>(std::floor(r1 - RingRadius(0) + kArcHalfWidth)));
        if (first > last) continue;
        const double t = std::min(Angle(dy, dx) / step, last_t);  // clockwise: y points down
        // Half the pixel's angular size, in positions; at most half a turn.
        const double half = std::min(pixel / (2.0 * std::max(r, pixel)) / step, positions / 2.0);
        double cover = 0.0;
        for (int32_t i = first; i <= last; ++i) {
          const double radial =
              Overlap(r0, r1, RingRadius(i) - kArcHalfWidth, RingRadius(i) + kArcHalfWidth) / pixel;
          if (radial <= 0.0) continue;
          const double* ring = &level[static_cast<size_t>(i) * positions];
          double along = 0.0;
          const auto m_first = static_cast<int32_t>(std::floor(t - half));
          const auto m_last = static_cast<int32_t>(std::floor(t + half));
          for (int32_t m = m_first; m <= m_last; ++m) {
            const int32_t j = ((m % positions) + positions) % positions;
            if (ring[j] > 0.0) along += Overlap(t - half, t + half, m, m + ring[j]);
          }
          cover += radial * along / (2.0 * half);
        }
        if (cover <= 0.0) continue;
        const auto q = static_cast<int32_t>(std::lround(std::min(cover, 1.0) * kCoverSteps));
        out[0] = shade[q][0];
        out[1] = shade[q][1];
        out[2] = shade[q][2];
      }
    }
  });
  return image;
}

// Lit LEDs as anti-aliased discs in their intensity colours, drawn in the editor's order (ring by
// ring, then by position) so that later discs cover earlier ones where they overlap.
Image RenderEditor(const wheel::LedArray& led, int32_t positions, const RenderOptions& options) {
  const int32_t size = options.size;
  Image image = Black(size);
  const double pixels_per_pitch = size / 2.0 / kWheelEdge;
  const double radius = kLedRadius * pixels_per_pitch;
  // Squared distances within which a pixel is fully covered, and beyond which not at all.
  const double inside2 = radius > 0.5 ? (radius - 0.5) * (radius - 0.5) : -1.0;
  const double outside2 = (radius + 0.5) * (radius + 0.5);
  const double centre = size / 2.0;
  const double step = 2.0 * std::numbers::pi / positions;
  // Each half of the rows draws every disc in order, clipped to its rows.
  InHalves(size, [&](int32_t rows_begin, int32_t rows_end) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      for (int32_t j = 0; j < positions; ++j) {
        const int32_t k = led[j + 1][i + 1].toestand;
        if (k < 1 || k > 4) continue;
        const uint32_t rgb = kStdPalette[wheel::Kleur(k) & 15];
        const double cx = centre + RingRadius(i) * pixels_per_pitch * std::cos(j * step);
        const double cy = centre + RingRadius(i) * pixels_per_pitch * std::sin(j * step);
        const int32_t x0 = std::max(0, static_cast<int32_t>(std::floor(cx - radius - 1)));
        const int32_t x1 = std::min(size - 1, static_cast<int32_t>(std::ceil(cx + radius + 1)));
        const int32_t y0 = std::max(rows_begin, static_cast<int32_t>(std::floor(cy - radius - 1)));
        const int32_t y1 = std::min(rows_end - 1, static_cast<int32_t>(std::ceil(cy + radius + 1)));
        for (int32_t y = y0; y <= y1; ++y) {
          for (int32_t x = x0; x <= x1; ++x) {
            const double ex = x + 0.5 - cx;
            const double ey = y + 0.5 - cy;
            const double d2 = ex * ex + ey * ey;
            if (d2 >= outside2) continue;
            uint8_t* out = &image.rgba[(static_cast<size_t>(y) * size + x) * 4];
            if (d2 <= inside2) {
              out[0] = Channel(rgb, 16), out[1] = Channel(rgb, 8), out[2] = Channel(rgb, 0);
              continue;
            }
            const double cover = std::clamp(radius + 0.5 - std::sqrt(d2), 0.0, 1.0);
            for (int32_t c = 0; c < 3; ++c) {
              const double want = Channel(rgb, 16 - 8 * c);
              out[c] = static_cast<uint8_t>(std::lround(out[c] + (want - out[c]) * cover));
            }
          }
        }
      }
    }
  });
  return image;
}

}  // namespace

Image Render(const wheel::LedArray& led, int32_t positions, const RenderOptions& options) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  assert(options.size >= 1);
  return options.view == View::kSpin ? RenderSpin(led, positions, options)
                                     : RenderEditor(led, positions, options);
}

}  // namespace imaging
