// The sRGB transfer function and the import's scale of a picture: what the renderings, the
// sampler and the decoders share.
#include "imaging/geometry.h"

#include <algorithm>
#include <cmath>

namespace imaging {

double SrgbToLinear(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double v) {
  if (v <= 0.0) return 0.0;
  if (v >= 1.0) return 1.0;
  return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

double PitchPerPixel(int64_t width, int64_t height, Fit fit) {
  const double half_span =
      fit == Fit::kCover
          ? static_cast<double>(std::min(width, height)) / 2.0
          : std::hypot(static_cast<double>(width), static_cast<double>(height)) / 2.0;
  return kWheelEdge / half_span;
}

int32_t ImportBlock(int64_t width, int64_t height, Fit fit) {
  if (width <= 0 || height <= 0) return 1;
  return std::max<int32_t>(
      1, static_cast<int32_t>(std::ceil(kSampleSpacing / PitchPerPixel(width, height, fit))));
}

}  // namespace imaging
