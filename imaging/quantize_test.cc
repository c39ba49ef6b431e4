// Tests of the light table parser and of the reduction of light to the five intensities.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "imaging/geometry.h"
#include "imaging/imaging.h"

namespace imaging {
namespace {

LightMap Uniform(int32_t positions, float v) {
  LightMap light(static_cast<size_t>(positions));
  for (auto& position : light) position.fill(v);
  return light;
}

// Area-weighted mean light of positions [from, to) of the wheel.
double MeanLight(const wheel::LedArray& led, const Levels& levels, int32_t from, int32_t to) {
  double light = 0, area = 0;
  for (int32_t j = from; j < to; ++j) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      light += levels[led[j + 1][i + 1].toestand] * RingRadius(i);
      area += RingRadius(i);
    }
  }
  return light / area;
}

TEST(Quantize, KeepsTheMeanOfAUniformGrey) {
  auto led = std::make_unique<wheel::LedArray>();
  for (float grey : {0.0f, 0.005f, 0.1f, 0.25f, 0.5f, 0.8f, 0.99f, 1.0f}) {
    for (int32_t positions : {1, 7, 64, 500}) {
      SCOPED_TRACE(testing::Message() << "grey " << grey << ", " << positions << " positions");
      Quantize(Uniform(positions, grey), {}, *led);
      // Whatever is left over stays in the last LED: under half a level step over the wheel.
      const double slack = 0.34 / (positions * wheel::kLedsPerSpoke) + 1e-9;
      EXPECT_NEAR(MeanLight(*led, kReferenceLevels, 0, positions), grey, slack + 0.002);
      // Only the two intensities around the grey are used.
      std::set<int32_t> used;
      for (int32_t j = 1; j <= positions; ++j) {
        for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) used.insert((*led)[j][i].toestand);
      }
      for (int32_t k : used) {
        const bool below = kReferenceLevels[k] <= grey;
        const bool neighbour = below ? k == 4 || kReferenceLevels[k + 1] > grey
                                     : k == 0 || kReferenceLevels[k - 1] <= grey;
        EXPECT_TRUE(neighbour) << "intensity " << k;
      }
    }
  }
}

TEST(Quantize, WithoutDitherRoundsToTheNearestLevel) {
  const struct {
    float light;
    int32_t intensity;
  } cases[] = {
      {0.0f, 0},  {0.004f, 0}, {0.006f, 1}, {0.17f, 1}, {0.18f, 2},
      {0.49f, 2}, {0.51f, 3},  {0.83f, 3},  {0.84f, 4}, {1.0f, 4},
  };
  auto led = std::make_unique<wheel::LedArray>();
  for (const auto& c : cases) {
    Quantize(Uniform(9, c.light), {.dither = false}, *led);
    for (int32_t j = 1; j <= 9; ++j) {
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
        ASSERT_EQ((*led)[j][i].toestand, c.intensity) << c.light;
      }
    }
  }
}

TEST(Quantize, KeepsEachAreaToItself) {
  // Half the wheel at 0.5, the other half dark: the error must not carry light into the dark.
  const int32_t n = 128;
  LightMap light = Uniform(n, 0.0f);
  for (int32_t j = 0; j < n / 2; ++j) light[j].fill(0.5f);
  auto led = std::make_unique<wheel::LedArray>();
  Quantize(light, {}, *led);
  EXPECT_NEAR(MeanLight(*led, kReferenceLevels, 0, n / 2), 0.5, 0.01);
  EXPECT_NEAR(MeanLight(*led, kReferenceLevels, n / 2, n), 0.0, 0.01);
  // A quarter of the wheel seen alone keeps its mean as well.
  EXPECT_NEAR(MeanLight(*led, kReferenceLevels, 0, n / 4), 0.5, 0.02);
}

TEST(Quantize, ExactLevelsStayAsTheyAre) {
  const int32_t n = 40;
  LightMap light(n);
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      light[j][i] = static_cast<float>(kReferenceLevels[(i + j) % 5]);
    }
  }
  auto led = std::make_unique<wheel::LedArray>();
  Quantize(light, {}, *led);
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      ASSERT_EQ((*led)[j + 1][i + 1].toestand, (i + j) % 5);
    }
  }
}

TEST(Quantize, LeavesTheRowsPastTheWheelAlone) {
  auto led = std::make_unique<wheel::LedArray>();
  for (int32_t j = 1; j <= wheel::kMaxPositions; ++j) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*led)[j][i].toestand = 3;
  }
  Quantize(Uniform(10, 0.0f), {}, *led);
  EXPECT_EQ((*led)[10][24].toestand, 0);
  EXPECT_EQ((*led)[11][1].toestand, 3);
  EXPECT_EQ((*led)[500][24].toestand, 3);
}

TEST(Quantize, LightBeyondTheBrightestLevelDoesNotSpread) {
  // With a dimmer brightest level, white cannot be shown; its excess must not light the dark.
  const Levels dim = {0.0, 0.1, 0.2, 0.3, 0.4};
  const int32_t n = 64;
  LightMap light = Uniform(n, 0.0f);
  for (int32_t j = 0; j < n / 2; ++j) light[j].fill(1.0f);
  auto led = std::make_unique<wheel::LedArray>();
  Quantize(light, {.levels = dim}, *led);
  for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
    for (int32_t j = 1; j <= n / 2; ++j) ASSERT_EQ((*led)[j][i].toestand, 4);
    for (int32_t j = n / 2 + 1; j <= n; ++j) ASSERT_EQ((*led)[j][i].toestand, 0);
  }
}

TEST(ParseLevels, ReadsFourRisingLevels) {
  const struct {
    const char* text;
    bool ok;
    Levels levels;
    const char* error;
  } cases[] = {
      {"0.01,0.3333,0.6667,1", true, {0, 0.01, 0.3333, 0.6667, 1}, ""},
      {" 0.1, 0.2 ,0.3,0.4", true, {0, 0.1, 0.2, 0.3, 0.4}, ""},
      {"0,0.5,0.75,1", true, {0, 0, 0.5, 0.75, 1}, ""},
      {"0.1,0.2,0.3", false, {}, "expected four numbers L1,L2,L3,L4"},
      {"0.1,0.2,0.3,0.4,", false, {}, "expected four numbers L1,L2,L3,L4"},
      {"0.1,0.2,0.3,0.4,0.5", false, {}, "expected four numbers L1,L2,L3,L4"},
      {"", false, {}, "expected four numbers L1,L2,L3,L4"},
      {"0.1,,0.3,0.4", false, {}, "level 2 (\"\") is not a number"},
      {"0.1,0.2x,0.3,0.4", false, {}, "level 2 (\"0.2x\") is not a number"},
      {"0.1,0.2,0.3,nan", false, {}, "level 4 (\"nan\") is not a number"},
      {"0.1,0.2,0.3,1.5", false, {}, "level 4 (1.5) is outside 0..1"},
      {"-0.1,0.2,0.3,1", false, {}, "level 1 (-0.1) is outside 0..1"},
      {"0.5,0.4,0.6,1", false, {}, "levels must rise: level 2 is not above level 1"},
      {"0.1,0.2,0.2,1", false, {}, "levels must rise: level 3 is not above level 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Levels levels = kReferenceLevels;
    std::string error;
    EXPECT_EQ(ParseLevels(c.text, &levels, &error), c.ok);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(levels, c.ok ? c.levels : kReferenceLevels);  // untouched on failure
  }
}

}  // namespace
}  // namespace imaging
