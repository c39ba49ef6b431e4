// The picture under the editor's wheel: each screen pixel looks up the picture where the import
// would sample it for the LED drawn there.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "imaging/geometry.h"
#include "imaging/imaging.h"

namespace imaging {
namespace {

// The picture reduced by whole blocks of pixels (the mean of each, alpha-weighted over black),
// so that a screen pixel never skips picture pixels.
struct Reduced {
  int32_t width = 0, height = 0;
  std::vector<float> rgb;  // 3 a pixel, sRGB 0..255 over black

  // Bilinear at (x, y) in reduced pixels from the top-left corner; black outside.
  void At(double x, double y, float out[3]) const {
    out[0] = out[1] = out[2] = 0.0f;
    if (!(x >= 0.0 && y >= 0.0 && x < width && y < height)) return;
    const double fx = std::clamp(x - 0.5, 0.0, width - 1.0);
    const double fy = std::clamp(y - 0.5, 0.0, height - 1.0);
    const auto x0 = static_cast<int32_t>(fx), y0 = static_cast<int32_t>(fy);
    const int32_t x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
    const auto tx = static_cast<float>(fx - x0), ty = static_cast<float>(fy - y0);
    for (int c = 0; c < 3; ++c) {
      const auto p = [&](int32_t px, int32_t py) {
        return rgb[(static_cast<size_t>(py) * width + px) * 3 + c];
      };
      const float upper = p(x0, y0) + tx * (p(x1, y0) - p(x0, y0));
      const float lower = p(x0, y1) + tx * (p(x1, y1) - p(x0, y1));
      out[c] = upper + ty * (lower - upper);
    }
  }
};

Reduced Reduce(const Image& image, int32_t block) {
  Reduced r;
  r.width = (image.width + block - 1) / block;
  r.height = (image.height + block - 1) / block;
  r.rgb.assign(static_cast<size_t>(r.width) * r.height * 3, 0.0f);
  std::vector<float> count(static_cast<size_t>(r.width) * r.height, 0.0f);
  for (int32_t y = 0; y < image.height; ++y) {
    const uint8_t* p = &image.rgba[static_cast<size_t>(y) * image.width * 4];
    for (int32_t x = 0; x < image.width; ++x, p += 4) {
      const size_t k = static_cast<size_t>(y / block) * r.width + x / block;
      const float alpha = p[3] / 255.0f;
      for (int c = 0; c < 3; ++c) r.rgb[k * 3 + c] += p[c] * alpha;
      count[k] += 1.0f;
    }
  }
  for (size_t k = 0; k < count.size(); ++k) {
    for (int c = 0; c < 3; ++c) r.rgb[k * 3 + c] /= count[k];
  }
  return r;
}

}  // namespace

std::vector<uint32_t> EditorUnder(const Image& image, const ImportOptions& options,
                                  const wheel::Wheel& w, double brightness) {
  const int32_t width = w.screen_size_x, height = w.screen_size_y;
  std::vector<uint32_t> out(static_cast<size_t>(width) * height, 0);
  if (image.width <= 0 || image.height <= 0 || w.afstand_leds <= 0 ||
      image.rgba.size() < static_cast<size_t>(image.width) * image.height * 4) {
    return out;
  }
  // Picture pixels per pitch, as the import's sampler has it.
  const double half_span = options.fit == Fit::kCover ? std::min(image.width, image.height) / 2.0
                                                      : std::hypot(image.width, image.height) / 2.0;
  const double pixels_per_pitch = half_span / kWheelEdge;
  // A screen pixel is 1 / afstand_leds of a pitch.
  const auto block =
      std::max<int32_t>(1, static_cast<int32_t>(std::floor(pixels_per_pitch / w.afstand_leds)));
  const Reduced picture = Reduce(image, block);
  const double reduced_per_pitch = pixels_per_pitch / block;

  // Screen radius R lies at 3 + (R - straal_binnencirkel) / afstand_leds pitches, so the LEDs'
  // rings fall on the import's ring radii whatever the zoom's rounding.
  const double pitch_per_screen = 1.0 / w.afstand_leds;
  const double pitch_at_zero = RingRadius(0) - w.straal_binnencirkel * pitch_per_screen;
  // Screen angle a shows the picture at wheel angle a + half a step, turned back by the
  // rotation; the mirror flips the picture's x.
  const double step = 2.0 * std::numbers::pi / std::max(1, w.aantal_hoeken);
  const double turn = step / 2.0 - options.rotate_degrees * std::numbers::pi / 180.0;
  const double cos_t = std::cos(turn), sin_t = std::sin(turn);
  const double mirror = options.mirror ? -1.0 : 1.0;
  const double centre_x = image.width / 2.0 / block;
  const double centre_y = image.height / 2.0 / block;
  const int32_t cx = width / 2, cy = height / 2;
  const double inner = RingInner(0), outer = kWheelEdge;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const double dx = x - cx, dy = y - cy;
      const double radius = std::sqrt(dx * dx + dy * dy);
      const double pitch = pitch_at_zero + radius * pitch_per_screen;
      if (radius == 0.0 || pitch < inner || pitch > outer) continue;
      const double scale = pitch * reduced_per_pitch / radius;
      const double px = (dx * cos_t - dy * sin_t) * scale * mirror;
      const double py = (dx * sin_t + dy * cos_t) * scale;
      float rgb[3];
      picture.At(centre_x + px, centre_y + py, rgb);
      uint32_t pixel = 0;
      for (int c = 0; c < 3; ++c) {
        const auto v =
            static_cast<uint32_t>(std::lround(std::clamp(rgb[c] * brightness, 0.0, 255.0)));
        pixel = pixel << 8 | v;
      }
      out[static_cast<size_t>(y) * width + x] = pixel;
    }
  }
  return out;
}

}  // namespace imaging
