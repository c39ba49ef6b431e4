// Tests of WheelSampler on synthetic pictures whose light on every LED is known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "imaging/geometry.h"
#include "imaging/imaging.h"

namespace imaging {
namespace {

constexpr double kPi = std::numbers::pi;

// A square picture of `size` pixels whose inscribed circle is the wheel (the cover fit): each
// pixel is white where `lit` says so at its centre, given in pitches and screen angle (radians
// clockwise from 3 o'clock), else black.
Image WheelPicture(int32_t size, const std::function<bool(double r, double angle)>& lit) {
  Image image{size, size, std::vector<uint8_t>(static_cast<size_t>(size) * size * 4, 0)};
  const double pitch = kWheelEdge / (size / 2.0);
  for (int32_t y = 0; y < size; ++y) {
    for (int32_t x = 0; x < size; ++x) {
      const double dx = (x + 0.5 - size / 2.0) * pitch;
      const double dy = (y + 0.5 - size / 2.0) * pitch;
      double angle = std::atan2(dy, dx);
      if (angle < 0) angle += 2 * kPi;
      uint8_t* p = &image.rgba[(static_cast<size_t>(y) * size + x) * 4];
      const uint8_t v = lit(std::hypot(dx, dy), angle) ? 255 : 0;
      p[0] = p[1] = p[2] = v;
      p[3] = 255;
    }
  }
  return image;
}

Image Flat(int32_t width, int32_t height, uint8_t grey, uint8_t alpha) {
  Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4, grey)};
  for (size_t p = 3; p < image.rgba.size(); p += 4) image.rgba[p] = alpha;
  return image;
}

// Bright below and right of the centre: screen angles 0 to 90 degrees.
bool Quadrant(double, double angle) { return angle < kPi / 2; }

TEST(WheelSampler, ARingLandsOnItsLedOnly) {
  for (int32_t ring : {0, 7, 23}) {
    SCOPED_TRACE(ring);
    const Image picture = WheelPicture(1060, [ring](double r, double) {
      return r >= RingInner(ring) && r < RingInner(ring) + 1.0;
    });
    const LightMap light = WheelSampler(picture, {}).Sample(64);
    for (int32_t j = 0; j < 64; ++j) {
      for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
        SCOPED_TRACE(testing::Message() << "position " << j << " LED " << i + 1);
        const int32_t apart = std::abs(i - ring);
        if (apart == 0) {
          EXPECT_GT(light[j][i], 0.9f);
        } else if (apart == 1) {
          EXPECT_LT(light[j][i], 0.1f);
        } else {
          EXPECT_EQ(light[j][i], 0.0f);
        }
      }
    }
  }
}

// Which positions of 64 a bright area lands on: 1 lit, 0 dark, as measured on ring 12.
std::string LitPositions(const LightMap& light) {
  std::string s;
  for (const auto& position : light) s += position[12] > 0.5f ? '1' : '0';
  return s;
}

TEST(WheelSampler, RotateMirrorAndInvertMoveTheQuadrant) {
  const std::string q1(16, '1'), q0(16, '0');
  const struct {
    const char* name;
    ImportOptions options;
    std::string lit;
  } cases[] = {
      {"as it is: the first quarter", {}, q1 + q0 + q0 + q0},
      {"rotated 90 clockwise", {.rotate_degrees = 90}, q0 + q1 + q0 + q0},
      {"rotated 180", {.rotate_degrees = 180}, q0 + q0 + q1 + q0},
      {"rotated -90", {.rotate_degrees = -90}, q0 + q0 + q0 + q1},
      {"mirrored: bottom left", {.mirror = true}, q0 + q1 + q0 + q0},
      {"mirrored, then rotated 90", {.rotate_degrees = 90, .mirror = true}, q0 + q0 + q1 + q0},
      {"inverted", {.invert = true}, q0 + q1 + q1 + q1},
  };
  const Image picture = WheelPicture(530, Quadrant);
  for (const auto& c : cases) {
    EXPECT_EQ(LitPositions(WheelSampler(picture, c.options).Sample(64)), c.lit) << c.name;
  }
}

TEST(WheelSampler, QuadrantFillsItsPositionsAndNoOthers) {
  const LightMap light = WheelSampler(WheelPicture(1060, Quadrant), {}).Sample(64);
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    for (int32_t j = 1; j < 15; ++j) EXPECT_GT(light[j][i], 0.97f) << j << " " << i;
    for (int32_t j = 17; j < 63; ++j) EXPECT_EQ(light[j][i], 0.0f) << j << " " << i;
    // The edge positions share their boundary pixels with their dark neighbours.
    EXPECT_GT(light[0][i] + light[63][i], 0.9f);
    EXPECT_GT(light[15][i] + light[16][i], 0.9f);
  }
}

TEST(WheelSampler, ASharpEdgeStaysOnItsSideOfTheSectors) {
  // The white quadrant's edges run along pixel boundaries through the centre: a sector beside
  // it gets none of its light, however large the pixels are against the sample spacing.
  const struct {
    int32_t size;  // 26.5 pitches over size / 2 pixels
    int32_t positions;
    double rotate;
  } cases[] = {
      {530, 48, 0}, {530, 100, 0}, {530, 7, 0},    {1060, 48, 0}, {212, 48, 0},
      {96, 500, 0}, {2120, 64, 0}, {530, 48, 180}, {530, 36, 90},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " pixels, " << c.positions << " positions, "
                                    << c.rotate << " degrees");
    const LightMap light =
        WheelSampler(WheelPicture(c.size, Quadrant), {.rotate_degrees = c.rotate})
            .Sample(c.positions);
    for (int32_t j = 0; j < c.positions; ++j) {
      // The share of the sector inside the quadrant, turned with the picture.
      const double from = std::fmod(360.0 * j / c.positions - c.rotate + 720.0, 360.0);
      const double to = from + 360.0 / c.positions;
      const double inside = (std::clamp(to, 0.0, 90.0) - std::clamp(from, 0.0, 90.0) +
                             std::clamp(to, 360.0, 450.0) - std::clamp(from, 360.0, 450.0)) /
                            (to - from);
      for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
        SCOPED_TRACE(testing::Message() << "position " << j + 1 << ", LED " << i + 1);
        if (inside == 0.0) {
          ASSERT_EQ(light[j][i], 0.0f);
        } else if (inside == 1.0) {
          ASSERT_NEAR(light[j][i], 1.0f, 1e-5);
        } else {
          ASSERT_NEAR(light[j][i], inside, 0.02);
        }
      }
    }
  }
}

TEST(WheelSampler, LightIsLinearAndTransparencyIsDark) {
  const struct {
    uint8_t grey, alpha;
    bool invert;
    double light;
  } cases[] = {
      {255, 255, false, 1.0},
      {0, 255, false, 0.0},
      {128, 255, false, 0.2158605},  // sRGB 128 is a fifth of the light, not a half
      {255, 0, false, 0.0},
      {255, 128, false, 128 / 255.0},
      {0, 0, true, 0.0},  // transparent stays dark when inverted
      {0, 255, true, 1.0},
      {128, 255, true, 1.0 - 0.2158605},
  };
  // Large pictures are averaged in blocks, some cut short at the right and bottom edges.
  const struct {
    int32_t width, height;
    Fit fit;
  } sizes[] = {{40, 40, Fit::kCover}, {901, 851, Fit::kCover}, {851, 901, Fit::kContain}};
  for (const auto& size : sizes) {
    for (const auto& c : cases) {
      const Image picture = Flat(size.width, size.height, c.grey, c.alpha);
      const LightMap light =
          WheelSampler(picture, {.fit = size.fit, .invert = c.invert}).Sample(10);
      // Contained, the picture leaves the outer rings partly dark: look inside it.
      const int32_t rings = size.fit == Fit::kCover ? wheel::kLedsPerSpoke : 8;
      for (const auto& position : light) {
        for (int32_t i = 0; i < rings; ++i) {
          ASSERT_NEAR(position[i], c.light, 1e-4)
              << size.width << " x " << size.height << ", grey " << int{c.grey} << " alpha "
              << int{c.alpha} << ", LED " << i + 1;
        }
      }
    }
  }
}

TEST(WheelSampler, CoverFillsTheWheelAndContainShowsTheWholePicture) {
  // A white picture twice as wide as it is high. With cover its height spans the wheel; with
  // contain its corners touch the edge, so it reaches 26.5 * 2 / sqrt(5) = 23.7 pitches to the
  // side and half that (11.85) up and down.
  const Image picture = Flat(800, 400, 255, 255);
  const LightMap cover = WheelSampler(picture, {.fit = Fit::kCover}).Sample(360);
  const LightMap contain = WheelSampler(picture, {.fit = Fit::kContain}).Sample(360);
  const struct {
    int32_t position;  // 360 positions: one a degree
    int32_t ring;
    bool lit_when_contained;
  } cases[] = {
      {0, 19, true},   {0, 22, false},    // at 3 o'clock: radius 22 inside, 25 outside
      {90, 7, true},   {90, 10, false},   // at 6 o'clock: radius 10 inside, 13 outside
      {270, 7, true},  {270, 10, false},  // at 12 o'clock
      {180, 20, true}, {180, 23, false},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(cover[c.position][c.ring], 1.0f, 1e-4);
    EXPECT_NEAR(contain[c.position][c.ring], c.lit_when_contained ? 1.0f : 0.0f, 1e-4)
        << "position " << c.position << " LED " << c.ring + 1;
  }
}

// The light of the whole wheel, in pitches squared.
double TotalLight(const LightMap& light) {
  double total = 0;
  const auto n = static_cast<double>(light.size());
  for (const auto& position : light) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i)
      total += position[i] * 2 * kPi * RingRadius(i) / n;
  }
  return total;
}

TEST(WheelSampler, OnePixelAtTheRimStillCounts) {
  // One white pixel of a 4096-pixel picture, 26 pitches out at 45 degrees.
  const int32_t size = 4096;
  const double pixel = kWheelEdge / (size / 2.0);
  Image picture = Flat(size, size, 0, 255);
  const auto at = static_cast<int32_t>(size / 2.0 + 26.0 / std::sqrt(2.0) / pixel);
  uint8_t* p = &picture.rgba[(static_cast<size_t>(at) * size + at) * 4];
  p[0] = p[1] = p[2] = 255;
  const LightMap light = WheelSampler(picture, {}).Sample(256);
  EXPECT_GT(light[32][23], 0.0f);  // 45 degrees is position 32 of 256, the outermost LED
  EXPECT_NEAR(TotalLight(light) / (pixel * pixel), 1.0, 0.35);
}

TEST(WheelSampler, EveryPositionCountSeesTheSameLightPerRing) {
  // Sectors of any width must add up to the ring: no light lost or counted twice at their edges.
  const Image picture = WheelPicture(600, [](double r, double angle) {
    return std::sin(5 * angle + r) > 0.3 || static_cast<int>(r * 3) % 4 == 0;
  });
  const WheelSampler sampler(picture, {.rotate_degrees = 17});
  const LightMap whole = sampler.Sample(1);
  for (int32_t n : {2, 3, 7, 64, 255, 256, 499, 500}) {
    const LightMap light = sampler.Sample(n);
    ASSERT_EQ(light.size(), static_cast<size_t>(n));
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      double sum = 0;
      for (const auto& position : light) sum += position[i];
      EXPECT_NEAR(sum / n, whole[0][i], 1e-5) << n << " positions, LED " << i + 1;
    }
  }
}

TEST(WheelSampler, ALongPictureShowsItsMiddle) {
  // 8000 x 40, white on its left half: the wheel covers the middle 40 x 40, left half lit.
  for (bool tall : {false, true}) {
    const int32_t w = tall ? 40 : 8000, h = tall ? 8000 : 40;
    Image picture = Flat(w, h, 0, 255);
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        if ((tall ? y : x) < (tall ? h : w) / 2)
          std::fill_n(&picture.rgba[(y * w + x) * 4], 3, 255);
      }
    }
    // Lit: the left half (positions 4..11 of 16, 6 to 12 o'clock through 9) or the top half
    // (positions 8..15, 9 to 3 o'clock through 12).
    const LightMap light = WheelSampler(picture, {}).Sample(16);
    // Pixels of 1.3 pitches blur the boundary: the positions beside it, and the inner rings, are
    // not looked at.
    for (int32_t j : {0, 1, 2, 5, 6, 9, 10, 13, 14}) {
      if (tall) j = (j + 4) % 16;
      for (int32_t i = 4; i < wheel::kLedsPerSpoke; ++i) {
        const bool lit = tall ? j >= 8 : (j >= 4 && j < 12);
        ASSERT_NEAR(light[j][i], lit ? 1.0f : 0.0f, 1e-4)
            << (tall ? "tall" : "wide") << ", position " << j << ", LED " << i + 1;
      }
    }
  }
}

TEST(WheelSampler, LargePixelsAreSquares) {
  // 2 x 2 pixels, the top left one white: a quarter of the wheel, 9 to 12 o'clock, sharp.
  Image picture = Flat(2, 2, 0, 255);
  std::fill_n(picture.rgba.begin(), 3, 255);
  const LightMap light = WheelSampler(picture, {}).Sample(8);
  for (int32_t j = 0; j < 8; ++j) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      ASSERT_NEAR(light[j][i], j == 4 || j == 5 ? 1.0f : 0.0f, 1e-4) << j << " " << i;
    }
  }
}

TEST(WheelSampler, AnEmptyPictureIsDark) {
  const LightMap light = WheelSampler(Image{}, {}).Sample(3);
  for (const auto& position : light) {
    for (float v : position) EXPECT_EQ(v, 0.0f);
  }
}

}  // namespace
}  // namespace imaging
