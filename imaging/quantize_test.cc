// Tests of the light table parser and of the reduction of light to the five intensities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <set>
#include <vector>

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

// Each ring's light, shown minus wanted, in units of the step between the two levels around
// the ring's mean light: the error of one LED one level off.
std::vector<double> RingErrorSteps(const LightMap& light, const wheel::LedArray& led) {
  std::vector<double> steps;
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    double wanted = 0, shown = 0;
    for (size_t j = 0; j < light.size(); ++j) {
      wanted += light[j][i];
      shown += kReferenceLevels[led[j + 1][i + 1].toestand];
    }
    int32_t lo = 0;
    while (lo < 3 && kReferenceLevels[lo + 1] <= wanted / light.size()) ++lo;
    steps.push_back((shown - wanted) / (kReferenceLevels[lo + 1] - kReferenceLevels[lo]));
  }
  return steps;
}

double Srgb(int v) { return SrgbToLinear(v / 255.0); }

TEST(Quantize, KeepsEveryRingsLight) {
  // Dark greys need their few LEDs of the next level on every ring, not gathered on one.
  const struct {
    double grey;
    int32_t positions;
    double percent;  // the most any ring's mean light may be off
    double steps;    // the same in level steps of one LED
  } cases[] = {
      {Srgb(39), 100, 25, 1}, {Srgb(128), 48, 5, 1},  {Srgb(39), 48, 50, 1.5},
      {Srgb(39), 256, 10, 1}, {Srgb(20), 100, 25, 1}, {Srgb(60), 500, 5, 1},
      {Srgb(200), 256, 1, 1}, {0.005, 256, 30, 1},
  };
  auto led = std::make_unique<wheel::LedArray>();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "grey " << c.grey << ", " << c.positions << " positions");
    const LightMap light = Uniform(c.positions, static_cast<float>(c.grey));
    Quantize(light, {}, *led);
    const std::vector<double> steps = RingErrorSteps(light, *led);
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      double mean = 0;
      for (int32_t j = 1; j <= c.positions; ++j)
        mean += kReferenceLevels[(*led)[j][i + 1].toestand];
      mean /= c.positions;
      EXPECT_LE(std::abs(steps[i]), c.steps) << "LED " << i + 1;
      EXPECT_NEAR(mean, c.grey, c.grey * c.percent / 100) << "LED " << i + 1;
    }
  }
}

// A picture's light: a smooth swirl of light and dark with a finer ripple over it.
LightMap Swirl(int32_t positions) {
  LightMap light(static_cast<size_t>(positions));
  for (int32_t j = 0; j < positions; ++j) {
    const double angle = 2 * std::numbers::pi * (j + 0.5) / positions;
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      const double r = RingRadius(i);
      const double v = 0.5 + 0.3 * std::sin(3 * angle + r / 4) + 0.15 * std::sin(r * angle);
      light[j][i] = static_cast<float>(std::clamp(v * v * 0.7, 0.0, 1.0));
    }
  }
  return light;
}

// Root mean square over the wheel of the error of the light seen within 1.5 ring pitches of
// each LED (its own ring and the two beside it), every LED weighed by its area.
double LocalError(const LightMap& light, const wheel::LedArray& led) {
  constexpr double kReach = 1.5;
  const auto n = static_cast<int32_t>(light.size());
  const auto angle = [n](int32_t j) { return 2 * std::numbers::pi * (j + 0.5) / n; };
  double sum = 0, area = 0;
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    for (int32_t j = 0; j < n; ++j) {
      double error = 0, near = 0;
      for (int32_t ib = std::max(0, i - 1); ib <= std::min(wheel::kLedsPerSpoke - 1, i + 1); ++ib) {
        const double r = RingRadius(ib);
        const int32_t reach = static_cast<int32_t>(kReach * n / (2 * r)) + 1;
        for (int32_t k = 0; k < std::min(n, 2 * reach + 1); ++k) {
          const int32_t jb = ((j - reach + k) % n + n) % n;
          const double dx = RingRadius(i) * std::cos(angle(j)) - r * std::cos(angle(jb));
          const double dy = RingRadius(i) * std::sin(angle(j)) - r * std::sin(angle(jb));
          if (std::hypot(dx, dy) > kReach) continue;
          error += r * (kReferenceLevels[led[jb + 1][ib + 1].toestand] - light[jb][ib]);
          near += r;
        }
      }
      sum += RingRadius(i) * (error / near) * (error / near);
      area += RingRadius(i);
    }
  }
  return std::sqrt(sum / area);
}

// Error diffusion along each ring alone, each ring on its own: its rings are right, its detail
// is not.
void AlongRingsOnly(const LightMap& light, wheel::LedArray& led) {
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    double carried = 0;
    for (size_t j = 0; j < light.size(); ++j) {
      const double v = light[j][i] + carried;
      int32_t k = 0;
      while (k < 3 && kReferenceLevels[k + 1] <= light[j][i]) ++k;
      if (kReferenceLevels[k] != light[j][i] &&
          v >= (kReferenceLevels[k] + kReferenceLevels[k + 1]) / 2)
        ++k;
      led[j + 1][i + 1].toestand = k;
      carried = v - kReferenceLevels[k];
    }
  }
}

TEST(Quantize, KeepsDetailAndTheRingsLight) {
  const struct {
    int32_t positions;
    double against_along;  // the most local error, relative to diffusing along the rings only
  } cases[] = {{48, 0.8}, {100, 0.9}, {256, 1.0}};
  auto led = std::make_unique<wheel::LedArray>();
  auto along = std::make_unique<wheel::LedArray>();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.positions << " positions");
    const LightMap light = Swirl(c.positions);
    Quantize(light, {}, *led);
    AlongRingsOnly(light, *along);
    EXPECT_LT(LocalError(light, *led), c.against_along * LocalError(light, *along));
    for (double steps : RingErrorSteps(light, *led)) EXPECT_LE(std::abs(steps), 1.5);
  }
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
