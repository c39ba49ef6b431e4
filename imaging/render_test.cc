// Tests of the renderings: pixels of small pictures checked against where the wheel puts its LEDs.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "imaging/geometry.h"
#include "imaging/imaging.h"

namespace imaging {
namespace {

// RRGGBB of the pixel at `radius` pitches and `degrees` clockwise from 3 o'clock.
uint32_t At(const Image& image, double radius, double degrees) {
  const double per_pitch = image.width / 2.0 / kWheelEdge;
  const double a = degrees * std::numbers::pi / 180.0;
  const auto x =
      static_cast<int32_t>(std::floor(image.width / 2.0 + radius * per_pitch * std::cos(a)));
  const auto y =
      static_cast<int32_t>(std::floor(image.height / 2.0 + radius * per_pitch * std::sin(a)));
  const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
  EXPECT_EQ(p[3], 255);
  return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

std::unique_ptr<wheel::LedArray> OneLed(int32_t position, int32_t led, int32_t intensity) {
  auto leds = std::make_unique<wheel::LedArray>();
  (*leds)[position][led].toestand = intensity;
  return leds;
}

constexpr uint32_t kColour = 0x3366FF;
enum Seen { kDark, kFull, kPartial };

TEST(RenderSpin, ArcsStartEndAndLieWhereTheWheelSays) {
  // 4 pixels a pitch. LED 21 (radius 23) of row 3 of 8: its step runs from 90 to 135 degrees.
  const struct {
    int32_t intensity;
    double radius, degrees;
    Seen seen;
  } cases[] = {
      {4, 23, 91, kFull},      {4, 23, 134, kFull},  {4, 23, 89, kDark},
      {4, 23, 136, kDark},     {4, 22, 110, kDark},  {4, 24, 110, kDark},
      {2, 23, 104, kFull},     {2, 23, 106, kDark},   // a third of the step: to 105 degrees
      {3, 23, 119, kFull},     {3, 23, 121, kDark},   // two thirds: to 120 degrees
      {1, 23, 90.2, kPartial}, {1, 23, 91.5, kDark},  // a hundredth: a thin line at 90
      {0, 23, 110, kDark},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "intensity " << c.intensity << " at radius " << c.radius
                                    << ", " << c.degrees << " degrees");
    const auto leds = OneLed(3, 21, c.intensity);
    const Image image = Render(*leds, 8, {.size = 212, .colour = kColour});
    ASSERT_EQ(image.width, 212);
    ASSERT_EQ(image.height, 212);
    const uint32_t rgb = At(image, c.radius, c.degrees);
    if (c.seen == kFull) {
      EXPECT_EQ(rgb, kColour);
    } else if (c.seen == kDark) {
      EXPECT_EQ(rgb, 0u);
    } else {
      EXPECT_GT(rgb & 0xFF, 0u);
      EXPECT_LT(rgb & 0xFF, 0xFFu);
    }
  }
}

TEST(RenderSpin, EachPositionLightsItsOwnStepRoundTheWheel) {
  // Eight positions, one a lit octant: its middle is lit, the middles of the others are dark.
  for (int32_t lit = 1; lit <= 8; ++lit) {
    const auto leds = OneLed(lit, 12, 4);
    const Image image = Render(*leds, 8, {.size = 400, .colour = kColour});
    for (int32_t row = 1; row <= 8; ++row) {
      for (double within : {1.0, 22.5, 44.0}) {
        EXPECT_EQ(At(image, 14, (row - 1) * 45 + within), row == lit ? kColour : 0u)
            << "lit row " << lit << ", looking at row " << row << " + " << within << " degrees";
      }
    }
  }
}

TEST(RenderSpin, UsesTheLevelsTable) {
  const auto leds = OneLed(1, 1, 1);
  // With intensity 1 at half the step, LED 1 of row 1 of 4 lights 0 to 45 degrees.
  const Levels levels = {0, 0.5, 0.6, 0.7, 1};
  const Image image = Render(*leds, 4, {.size = 530, .colour = kColour, .levels = levels});
  EXPECT_EQ(At(image, 3, 40), kColour);
  EXPECT_EQ(At(image, 3, 50), 0u);
}

TEST(RenderSpin, TheOuterRingTouchesTheSides) {
  auto leds = std::make_unique<wheel::LedArray>();
  (*leds)[1][24].toestand = 4;  // one position: the whole ring
  const Image image = Render(*leds, 1, {.size = 530, .colour = 0xFFFFFF});
  const auto pixel = [&image](int32_t x, int32_t y) { return image.rgba[(y * 530 + x) * 4]; };
  // Ten pixels a pitch: the ring lies 257 to 263 pixels from the centre at 265.
  EXPECT_EQ(pixel(265 + 260, 265), 255);
  EXPECT_EQ(pixel(265 - 261, 265), 255);
  EXPECT_EQ(pixel(265, 265 + 258), 255);
  EXPECT_EQ(pixel(529, 265), 0);
  EXPECT_EQ(pixel(265 + 255, 265), 0);
  EXPECT_EQ(pixel(265, 265), 0);
}

TEST(Render, TinyPicturesOfFullWheels) {
  auto leds = std::make_unique<wheel::LedArray>();
  for (int32_t j = 1; j <= wheel::kMaxPositions; ++j) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*leds)[j][i].toestand = 4;
  }
  for (View view : {View::kSpin, View::kEditor}) {
    for (int32_t positions : {1, 500}) {
      for (int32_t size : {1, 2, 5}) {
        const Image image = Render(*leds, positions, {.view = view, .size = size});
        ASSERT_EQ(image.rgba.size(), static_cast<size_t>(size * size * 4));
        // Some light falls on the picture, never more than full.
        int32_t red = 0;
        for (size_t p = 0; p < image.rgba.size(); p += 4)
          red = std::max<int32_t>(red, image.rgba[p]);
        EXPECT_GT(red, 0) << size << " pixels, " << positions << " positions";
      }
    }
  }
}

TEST(RenderEditor, LitLedsAreDiscsInTheirColours) {
  const struct {
    int32_t intensity;
    uint32_t rgb;
  } cases[] = {{1, 0xC0C0C0}, {2, 0x808080}, {3, 0xFFFF00}, {4, 0xB00000}, {0, 0x000000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.intensity);
    // LED 11 (radius 13) of row 4 of 8: at 135 degrees. Ten pixels a pitch: a disc of radius 3.
    const auto leds = OneLed(4, 11, c.intensity);
    const Image image = Render(*leds, 8, {.view = View::kEditor, .size = 530});
    EXPECT_EQ(At(image, 13, 135), c.rgb);
    EXPECT_EQ(At(image, 13.1, 135.3), c.rgb);
    EXPECT_EQ(At(image, 13.5, 135), 0u);  // 5 pixels out
    EXPECT_EQ(At(image, 13, 90), 0u);
  }
}

TEST(RenderEditor, LaterDiscsCoverEarlierOnes) {
  // 500 positions: the innermost LEDs overlap; ring by ring, position by position, the last wins.
  auto leds = std::make_unique<wheel::LedArray>();
  (*leds)[1][1].toestand = 1;
  (*leds)[2][1].toestand = 4;
  const Image image = Render(*leds, 500, {.view = View::kEditor, .size = 1060});
  EXPECT_EQ(At(image, 3, 0.36), 0xB00000u);
}

}  // namespace
}  // namespace imaging
