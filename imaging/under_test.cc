// The picture under the editor's wheel: where each part of it lands, and what is left black.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "imaging/imaging.h"

namespace imaging {
namespace {

Image Picture(int32_t width, int32_t height, uint8_t alpha, bool (*white)(int32_t, int32_t)) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgba.assign(static_cast<size_t>(width) * height * 4, 0);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = &image.rgba[(static_cast<size_t>(y) * width + x) * 4];
      const uint8_t v = white(x, y) ? 255 : 0;
      p[0] = p[1] = p[2] = v;
      p[3] = alpha;
    }
  }
  return image;
}

TEST(EditorUnder, ThePictureLiesWhereTheImportSamplesItForTheLedDrawnThere) {
  // The lower right quadrant white: the import gives it to the positions from 3 to 6 o'clock.
  const Image quadrant =
      Picture(256, 256, 255, [](int32_t x, int32_t y) { return x >= 128 && y >= 128; });
  const Image clear = Picture(256, 256, 0, [](int32_t, int32_t) { return true; });
  const Image wide = Picture(400, 100, 255, [](int32_t, int32_t) { return true; });
  ImportOptions mirror, turned, back, contain;
  mirror.mirror = true;
  turned.rotate_degrees = 90;
  back.rotate_degrees = -90;
  contain.fit = Fit::kContain;
  constexpr uint32_t kDimmed = 0x666666;  // 0.4 of white
  const struct {
    const char* what;
    const Image* picture;
    ImportOptions options;
    int32_t positions;
    double degrees;  // clockwise from 3 o'clock, as the editor counts positions
    double radius;   // pixels from the centre at zoom 0 (ring pitch 10, LED 1 at 30)
    uint32_t rgb;
  } cases[] = {
      {"lower right", &quadrant, {}, 48, 45, 150, kDimmed},
      {"lower left", &quadrant, {}, 48, 135, 150, 0},
      {"mirrored", &quadrant, mirror, 48, 135, 150, kDimmed},
      {"turned a quarter clockwise", &quadrant, turned, 48, 135, 150, kDimmed},
      {"turned back a quarter", &quadrant, back, 48, 315, 150, kDimmed},
      {"an LED shows the middle of its sector: 4 positions", &quadrant, {}, 4, 330, 150, kDimmed},
      {"... and not the sector before it", &quadrant, {}, 4, 60, 150, 0},
      {"the hub inside the innermost ring", &quadrant, {}, 48, 45, 20, 0},
      {"the outermost ring's outer edge", &quadrant, {}, 48, 45, 264, kDimmed},
      {"beyond the wheel's edge", &quadrant, {}, 48, 45, 268, 0},
      {"transparent is black", &clear, {}, 48, 45, 150, 0},
      {"cover: the height fills the wheel", &wide, {}, 48, 90, 150, kDimmed},
      {"contain: the diagonal does", &wide, contain, 48, 90, 150, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto w = std::make_unique<wheel::Wheel>();
    w->aantal_hoeken = c.positions;
    w->schaal = 0;
    wheel::ComputeSizes(*w);
    const std::vector<uint32_t> under = EditorUnder(*c.picture, c.options, *w, 0.4);
    ASSERT_EQ(under.size(), 600u * 600u);
    const double a = c.degrees * std::numbers::pi / 180.0;
    const auto x = static_cast<int32_t>(std::lround(300 + c.radius * std::cos(a)));
    const auto y = static_cast<int32_t>(std::lround(300 + c.radius * std::sin(a)));
    EXPECT_EQ(under[static_cast<size_t>(y) * 600 + x], c.rgb)
        << std::hex << " at " << std::dec << x << "," << y;
  }
}

}  // namespace
}  // namespace imaging
