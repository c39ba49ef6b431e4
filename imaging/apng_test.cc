// Tests of the animated PNG writer: read back strictly, chunk by chunk, frame by frame.
#include <gtest/gtest.h>

#include "imaging/animation.h"
#include "imaging/test_util.h"

namespace imaging {
namespace {

// A picture of w x h whose pixels differ with the seed.
Image Pattern(int32_t w, int32_t h, int32_t seed) {
  Image image{w, h, {}};
  for (int32_t p = 0; p < w * h; ++p) {
    image.rgba.push_back(static_cast<uint8_t>(p * 7 + seed * 50));
    image.rgba.push_back(static_cast<uint8_t>(seed * 90));
    image.rgba.push_back(static_cast<uint8_t>(255 - p));
    image.rgba.push_back(255);
  }
  return image;
}

std::vector<uint8_t> Write(const std::vector<Image>& frames, const std::vector<double>& seconds) {
  std::vector<uint8_t> out;
  ApngWriter writer(static_cast<int32_t>(frames.size()),
                    [&](std::span<const uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); });
  for (size_t k = 0; k < frames.size(); ++k) writer.Add(frames[k], seconds[k]);
  return out;
}

TEST(ApngWriter, EveryFrameReadsBackWithItsTime) {
  const struct {
    const char* name;
    int32_t w, h;
    std::vector<double> seconds;
  } cases[] = {
      {"one frame", 3, 2, {0.25}},
      {"three frames of their own times", 5, 4, {0.1, 0.2, 1.5}},
      // Large enough that the PNG writer's data is many kilobytes a frame.
      {"larger frames", 300, 200, {1.0 / 3.0, 2.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Image> frames;
    for (size_t k = 0; k < c.seconds.size(); ++k) {
      frames.push_back(Pattern(c.w, c.h, static_cast<int32_t>(k)));
    }
    testing::Apng apng;
    std::string error;
    ASSERT_TRUE(testing::ReadApng(Write(frames, c.seconds), &apng, &error)) << error;
    EXPECT_EQ(apng.plays, 0u);  // an endless loop
    ASSERT_EQ(apng.frames.size(), frames.size());
    EXPECT_EQ(apng.default_image.rgba, frames[0].rgba);
    for (size_t k = 0; k < frames.size(); ++k) {
      const testing::ApngFrame& f = apng.frames[k];
      EXPECT_EQ(f.image.width, c.w);
      EXPECT_EQ(f.image.rgba, frames[k].rgba) << "frame " << k;
      EXPECT_EQ(f.x, 0u);
      EXPECT_EQ(f.y, 0u);
      EXPECT_EQ(f.dispose, 0);
      EXPECT_EQ(f.blend, 0);
      EXPECT_NEAR(static_cast<double>(f.delay_numerator) / f.delay_denominator, c.seconds[k],
                  0.0005);
    }
  }
}

TEST(ApngDelay, HoldsAnyTimeInSixteenBitFractions) {
  const struct {
    double seconds;
    uint16_t numerator, denominator;
  } cases[] = {
      {0.1, 1, 10},    {0.25, 1, 4},      {1.0 / 3.0, 333, 1000},
      {0.0, 1, 1000},  {0.0001, 1, 1000}, {65.535, 13107, 200},
      {100.0, 100, 1}, {654.3, 6543, 10}, {1e6, 65535, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    const FrameDelay d = ApngDelay(c.seconds);
    EXPECT_EQ(d.numerator, c.numerator);
    EXPECT_EQ(d.denominator, c.denominator);
  }
}

}  // namespace
}  // namespace imaging
