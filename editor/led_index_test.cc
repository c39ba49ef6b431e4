// The LED index against the click's own test of every LED, and the paths a drag is walked along.
#include "editor/led_index.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "editor/editor_screen.h"

namespace editor {
namespace {

std::unique_ptr<wheel::Wheel> Geometry(int32_t n, int32_t zoom) {
  auto w = std::make_unique<wheel::Wheel>();
  w->aantal_hoeken = n;
  w->schaal = zoom;
  wheel::ComputeSizes(*w);
  w->hoek_stap = wheel::HoekStap(n);
  return w;
}

TEST(LedIndex, FindsWhatTestingEveryLedFindsInTheSameOrder) {
  const struct {
    int32_t n, zoom;
  } cases[] = {{1, 0}, {24, 0}, {100, 0}, {500, 70}, {500, -57}, {37, 90}, {4, -50}, {256, 13}};
  std::mt19937 rng(17);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.n) + " positions, zoom " + std::to_string(c.zoom));
    const auto w = Geometry(c.n, c.zoom);
    const LedIndex index(*w);
    std::uniform_int_distribution<int32_t> coord(-3, w->screen_size_x + 3);
    std::vector<wheel::Point> points;
    for (int k = 0; k < 3000; ++k) points.push_back({coord(rng), coord(rng)});
    // Every LED's centre and the corners of its box, where boxes meet.
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; i += 5) {
      for (int32_t j = 0; j < c.n; j += std::max(1, c.n / 7)) {
        const wheel::Point p = wheel::Centre(*w, i, j);
        const int32_t r = w->straal_led - 1;
        for (const wheel::Point d :
             {wheel::Point{0, 0}, {r, r}, {-r, r}, {r + 1, 0}, {0, -r - 1}}) {
          points.push_back({p.x + d.x, p.y + d.y});
        }
      }
    }
    std::vector<wheel::Point> centres;
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      for (int32_t j = 0; j < c.n; ++j) centres.push_back(wheel::Centre(*w, i, j));
    }
    for (const wheel::Point pt : points) {
      std::vector<std::pair<int32_t, int32_t>> want, got;
      for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
        for (int32_t j = 0; j < c.n; ++j) {
          const wheel::Point p = centres[size_t(i * c.n + j)];
          if (LedHit(p.x, p.y, w->straal_led, w->straal_led, pt.x, pt.y)) want.push_back({i, j});
        }
      }
      index.ForEachAt(pt.x, pt.y, [&](int32_t i, int32_t j) { got.push_back({i, j}); });
      ASSERT_EQ(got, want) << "at " << pt.x << "," << pt.y;
    }
  }
}

TEST(WalkPath, EachPixelTouchesTheLastBySideAndStaysOnTheLine) {
  const struct {
    int32_t x0, y0, x1, y1;
  } cases[] = {{0, 0, 0, 0},   {0, 0, 10, 0},  {5, 5, 5, -7},    {0, 0, 7, 7},
               {3, 1, -20, 9}, {0, 0, 1, 100}, {10, 10, -3, -1}, {-4, 6, 300, 250}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.x0) + "," + std::to_string(c.y0) + " to " + std::to_string(c.x1) +
                 "," + std::to_string(c.y1));
    std::vector<wheel::Point> path;
    WalkPath(c.x0, c.y0, c.x1, c.y1, [&](int32_t x, int32_t y) { path.push_back({x, y}); });
    ASSERT_EQ(path.size(), size_t(std::abs(c.x1 - c.x0) + std::abs(c.y1 - c.y0)));
    if (path.empty()) continue;
    EXPECT_EQ(path.back().x, c.x1);
    EXPECT_EQ(path.back().y, c.y1);
    wheel::Point last{c.x0, c.y0};
    const double length = std::hypot(c.x1 - c.x0, c.y1 - c.y0);
    for (const wheel::Point p : path) {
      EXPECT_EQ(std::abs(p.x - last.x) + std::abs(p.y - last.y), 1);
      // Distance of the pixel's centre from the line: within the pixel's half diagonal.
      const double d =
          std::abs(double(c.x1 - c.x0) * (p.y - c.y0) - double(c.y1 - c.y0) * (p.x - c.x0)) /
          length;
      EXPECT_LE(d, std::sqrt(0.5) + 1e-9) << p.x << "," << p.y;
      last = p;
    }
  }
}

}  // namespace
}  // namespace editor
