// Tests of the wheel model: sizes from the zoom, the angle step, the placement rule and Kleur.
#include "wheel/wheel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

namespace wheel {
// Found by argument-dependent lookup from the assertions below.
bool operator==(Point a, Point b) { return a.x == b.x && a.y == b.y; }
std::ostream& operator<<(std::ostream& os, Point p) {
  return os << '(' << p.x << ", " << p.y << ')';
}
}  // namespace wheel

namespace {

using wheel::Point;
using wheel::Wheel;

// A wheel as the dialog and the editor leave it. Heap: the LED arrays are large.
std::unique_ptr<Wheel> MakeWheel(int32_t positions, int32_t zoom) {
  auto w = std::make_unique<Wheel>();
  w->aantal_hoeken = positions;
  w->schaal = zoom;
  wheel::ComputeSizes(*w);
  w->hoek_stap = wheel::HoekStap(positions);
  return w;
}

struct Sizes {
  int32_t zoom, screen, led, inner, distance;
};

TEST(ComputeSizes, EachSizeTruncatesOnItsOwn) {
  const Sizes cases[] =
      {
          {0, 600, 3, 30, 10},       {70, 1020, 5, 51, 17}, {-1, 594, 3, 30, 10},
          {-50, 300, 2, 15, 5},      {-57, 258, 2, 13, 5},  {90, 1140, 5, 57, 19},
          {-150, -300, -1, -15, -5},  // -1.5 truncates toward zero
      };
  for (const Sizes& c : cases) {
    auto w = MakeWheel(24, c.zoom);
    EXPECT_EQ(w->screen_size_x, c.screen) << c.zoom;
    EXPECT_EQ(w->screen_size_y, c.screen) << c.zoom;
    EXPECT_EQ(w->straal_led, c.led) << c.zoom;
    EXPECT_EQ(w->straal_binnencirkel, c.inner) << c.zoom;
    EXPECT_EQ(w->afstand_leds, c.distance) << c.zoom;
  }
}

TEST(ComputeSizes, HugeZoomWrapsInsteadOfOverflowing) {
  auto w = MakeWheel(24, 2147483647);  // the product wraps in 32 bits; no undefined behaviour
  EXPECT_EQ(w->screen_size_x,
            600 + static_cast<int32_t>(static_cast<uint32_t>(2147483647) * 600u) / 100);
}

TEST(HoekStap, SinglePrecisionQuotientOfTheConstant) {
  EXPECT_EQ(wheel::HoekStap(4), 1.570796f);
  EXPECT_EQ(wheel::HoekStap(1), 6.283184f);
  // Slightly below a quarter turn: it is not 2 pi / 4.
  EXPECT_NE(wheel::HoekStap(4), static_cast<float>(std::numbers::pi / 2));
  EXPECT_LT(wheel::HoekStap(3) * 3.0, 2 * std::numbers::pi);
}

TEST(Centre, FourPositionsAtZoom0LandOnePixelShortByTruncation) {
  auto w = MakeWheel(4, 0);
  const Point inner[] = {{330, 300}, {300, 329}, {271, 300}, {300, 271}};
  const Point outer[] = {{560, 300}, {300, 559}, {41, 300}, {300, 41}};
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(wheel::Centre(*w, 0, j), inner[j]) << j;
    EXPECT_EQ(wheel::Centre(*w, 23, j), outer[j]) << j;
  }
}

TEST(Centre, EightPositionsAtZoom0) {
  auto w = MakeWheel(8, 0);
  const Point inner[] = {{330, 300}, {321, 321}, {300, 329}, {279, 321},
                         {271, 300}, {279, 279}, {300, 271}, {321, 279}};
  for (int j = 0; j < 8; ++j) EXPECT_EQ(wheel::Centre(*w, 0, j), inner[j]) << j;
}

TEST(Centre, Zoom70PositionZero) {
  auto w = MakeWheel(48, 70);
  EXPECT_EQ(wheel::Centre(*w, 0, 0), (Point{561, 510}));
  EXPECT_EQ(wheel::Centre(*w, 23, 0), (Point{952, 510}));
}

// Each of these centres moves by a pixel under one floating-point slip: 2 pi instead of the
// constant, dividing in double, or not rounding the angle to float before cos and sin.
TEST(Centre, FloatSlipsWouldMoveTheseCentresByAPixel) {
  struct Case {
    int32_t positions, zoom, i, j;
    Point want;
  };
  const Case cases[] = {
      {3, 0, 0, 1, {286, 325}},       // 2 pi gives (285, 325)
      {3, 0, 0, 2, {285, 275}},       // 2 pi gives (286, 275)
      {204, 0, 23, 175, {463, 98}},   // double division or an unrounded angle give (462, 98)
      {273, 0, 0, 216, {307, 272}},   // ... give (307, 271)
      {277, 0, 11, 255, {422, 233}},  // ... give (422, 234)
      {326, 0, 23, 157, {42, 330}},   // double division gives (42, 329)
      {480, 0, 23, 221, {49, 364}},   // an unrounded angle gives (48, 363)
  };
  for (const Case& c : cases) {
    auto w = MakeWheel(c.positions, c.zoom);
    EXPECT_EQ(wheel::Centre(*w, c.i, c.j), c.want) << c.positions << " " << c.i << " " << c.j;
  }
}

TEST(Centre, NoCentreFallsOffThePictureFromZoomMinus57Up) {
  for (int32_t zoom : {-57, -40, 0, 90}) {
    for (int32_t n : {1, 7, 24, 100, 499, 500}) {
      auto w = MakeWheel(n, zoom);
      for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
        for (int32_t j = 0; j < n; ++j) {
          const Point p = wheel::Centre(*w, i, j);
          ASSERT_GE(p.x, 0) << zoom << " " << n << " " << i << " " << j;
          ASSERT_GE(p.y, 0) << zoom << " " << n << " " << i << " " << j;
          ASSERT_LT(p.x, w->screen_size_x);
          ASSERT_LT(p.y, w->screen_size_y);
        }
      }
    }
  }
}

TEST(Kleur, ColoursOfTheFourIntensities) {
  EXPECT_EQ(wheel::Kleur(1), 7u);
  EXPECT_EQ(wheel::Kleur(2), 8u);
  EXPECT_EQ(wheel::Kleur(3), 14u);
  EXPECT_EQ(wheel::Kleur(4), 4u);
}

TEST(Wheel, StartsAllZero) {
  auto w = std::make_unique<Wheel>();
  EXPECT_EQ(w->led[500][24].toestand, 0);
  EXPECT_EQ(w->led_copy[1][1].toestand, 0);
  EXPECT_FALSE(w->intens0 || w->intens4 || w->end);
}

}  // namespace
