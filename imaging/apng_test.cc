// Tests of the animated PNG writer: read back strictly, chunk by chunk, frame by frame.
#include <gtest/gtest.h>

#include "imaging/animation.h"
#include "imaging/test_util.h"

namespace imaging {
namespace {

TEST(ApngWriter, EveryFrameReadsBackWithItsTime) {
  const struct {
    int32_t w, h;
    std::vector<double> seconds;
    std::vector<double> written;  // as the format holds them
  } cases[] = {
      {3, 2, {0.25}, {0.25}},
      {5, 4, {0.1, 1.0 / 3.0, 0.0}, {0.1, 0.333, 0.001}},
      // Large frames, whose data the PNG writer splits; long times in coarser units.
      {300, 200, {100.0, 1e6}, {100.0, 65535.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.w);
    std::vector<Image> frames;
    std::vector<uint8_t> out;
    ApngWriter writer(static_cast<int32_t>(c.seconds.size()), [&](std::span<const uint8_t> b) {
      out.insert(out.end(), b.begin(), b.end());
    });
    for (size_t k = 0; k < c.seconds.size(); ++k) {
      Image& image = frames.emplace_back(Image{c.w, c.h, {}});
      for (int32_t p = 0; p < c.w * c.h; ++p) {
        image.rgba.insert(image.rgba.end(), {static_cast<uint8_t>(p * 7 + k * 50),
                                             static_cast<uint8_t>(k * 90), 7, 255});
      }
      writer.Add(image, c.seconds[k]);
    }
    std::vector<testing::ApngFrame> back;
    uint32_t plays = 1;
    std::string error;
    ASSERT_TRUE(testing::ReadApng(out, &back, &plays, &error)) << error;
    EXPECT_EQ(plays, 0u);  // an endless loop
    ASSERT_EQ(back.size(), frames.size());
    for (size_t k = 0; k < frames.size(); ++k) {
      EXPECT_EQ(back[k].image.rgba, frames[k].rgba) << "frame " << k;
      EXPECT_EQ(back[k].dispose, 0);
      EXPECT_EQ(back[k].blend, 0);
      EXPECT_DOUBLE_EQ(static_cast<double>(back[k].delay_numerator) / back[k].delay_denominator,
                       c.written[k]);
    }
  }
}

}  // namespace
}  // namespace imaging
