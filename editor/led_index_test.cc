// The LED index against the click's own test of every LED.
#include "editor/led_index.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace editor
