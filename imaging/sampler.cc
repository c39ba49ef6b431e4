// WheelSampler: the mean linear light of every LED's ring sector, from a polar resampling of the
// picture that is done once and then summed for any number of positions.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "imaging/geometry.h"
#include "imaging/imaging.h"

namespace imaging {
namespace {

// Angular bins of the polar grid, and radial samples per ring. At the rim a bin is 0.041 pitch
// wide; radially the samples are kSampleSpacing apart.
constexpr int32_t kBins = 4096;
constexpr int32_t kRadialSamples = 16;
constexpr double kSampleSpacing = 1.0 / kRadialSamples;

// Linear light of one picture, reduced by whole blocks, with a copy of its edge pixels around it
// so that the bilinear lookup needs no edge cases. Outside the picture all is dark, with a sharp
// edge: a blur there would darken the rim wherever the wheel touches the picture's side.
struct LightPicture {
  int32_t width = 0;  // with the border
  int32_t height = 0;
  double right = 0;  // the picture's extent, in reduced pixels
  double bottom = 0;
  std::vector<float> light;

  // x, y in reduced pixels from the picture's top-left corner.
  float Bilinear(double x, double y) const {
    if (!(x >= 0.0 && y >= 0.0 && x < right && y < bottom)) return 0.0f;
    const double fx = x + 0.5;  // + 1 for the border, - 0.5 to pixel centres
    const double fy = y + 0.5;
    const auto x0 = static_cast<int32_t>(fx);
    const auto y0 = static_cast<int32_t>(fy);
    const float tx = static_cast<float>(fx - x0);
    const float ty = static_cast<float>(fy - y0);
    const float* row = &light[static_cast<size_t>(y0) * width + x0];
    const float top = row[0] + tx * (row[1] - row[0]);
    const float bottom_row = row[width] + tx * (row[width + 1] - row[width]);
    return top + ty * (bottom_row - top);
  }
};

// The linear light of an sRGB byte, luminance-weighted per channel (Rec. 709 primaries).
struct LightTables {
  float red[256];
  float green[256];
  float blue[256];
  float alpha[256];
  LightTables() {
    for (int v = 0; v < 256; ++v) {
      const double linear = SrgbToLinear(v / 255.0);
      red[v] = static_cast<float>(0.2126 * linear);
      green[v] = static_cast<float>(0.7152 * linear);
      blue[v] = static_cast<float>(0.0722 * linear);
      alpha[v] = static_cast<float>(v / 255.0);
    }
  }
};

// Averages block x block pixels of the picture into one (fewer at the right and bottom edges).
// Transparent pixels are dark, also when inverted: what is not there never lights an LED.
LightPicture Reduce(const Image& image, int32_t block, bool invert) {
  static const LightTables tables;
  LightPicture out;
  const int32_t reduced_width = (image.width + block - 1) / block;
  const int32_t reduced_height = (image.height + block - 1) / block;
  out.width = reduced_width + 2;
  out.height = reduced_height + 2;
  out.light.assign(static_cast<size_t>(out.width) * out.height, 0.0f);
  const float flip = invert ? 1.0f : 0.0f;
  const float sign = invert ? -1.0f : 1.0f;
  std::vector<float> sums(static_cast<size_t>(reduced_width));
  for (int32_t by = 0; by < reduced_height; ++by) {
    std::fill(sums.begin(), sums.end(), 0.0f);
    const int32_t y_end = std::min(image.height, (by + 1) * block);
    for (int32_t y = by * block; y < y_end; ++y) {
      const uint8_t* p = &image.rgba[static_cast<size_t>(y) * image.width * 4];
      int32_t x = 0;
      for (int32_t bx = 0; bx < reduced_width; ++bx) {
        const int32_t x_end = std::min(image.width, x + block);
        float sum = 0.0f;
        for (; x < x_end; ++x, p += 4) {
          const float colour = tables.red[p[0]] + tables.green[p[1]] + tables.blue[p[2]];
          sum += (flip + sign * colour) * tables.alpha[p[3]];
        }
        sums[bx] += sum;
      }
    }
    float* row = &out.light[static_cast<size_t>(by + 1) * out.width + 1];
    const int32_t rows = y_end - by * block;
    for (int32_t bx = 0; bx < reduced_width; ++bx) {
      const int32_t columns = std::min(image.width, (bx + 1) * block) - bx * block;
      row[bx] = sums[bx] / static_cast<float>(rows * columns);
    }
    row[-1] = row[0];
    row[reduced_width] = row[reduced_width - 1];
  }
  const size_t stride = static_cast<size_t>(out.width);
  std::copy_n(&out.light[stride], stride, &out.light[0]);
  std::copy_n(&out.light[(out.height - 2) * stride], stride, &out.light[(out.height - 1) * stride]);
  out.right = static_cast<double>(image.width) / block;
  out.bottom = static_cast<double>(image.height) / block;
  return out;
}

}  // namespace

double SrgbToLinear(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double v) {
  if (v <= 0.0) return 0.0;
  if (v >= 1.0) return 1.0;
  return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

struct WheelSampler::State {
  // Per ring, the running sum of the bins' mean light: prefix[ring][b] sums bins 0..b-1.
  std::vector<std::array<double, kBins + 1>> prefix;
};

WheelSampler::WheelSampler(const Image& image, const ImportOptions& options) : state_(new State) {
  state_->prefix.assign(wheel::kLedsPerSpoke, {});
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() <
          static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
    return;  // nothing to see: every LED dark
  }
  // Pitches per picture pixel.
  const double half_span = options.fit == Fit::kCover ? std::min(image.width, image.height) / 2.0
                                                      : std::hypot(image.width, image.height) / 2.0;
  const double pitch_per_pixel = kWheelEdge / half_span;
  // Reduced pixels at least as large as the sample spacing, so no pixel falls between samples.
  const int32_t block =
      std::max<int32_t>(1, static_cast<int32_t>(std::ceil(kSampleSpacing / pitch_per_pixel)));
  const LightPicture picture = Reduce(image, block, options.invert);
  const double reduced_per_pitch = 1.0 / (pitch_per_pixel * block);
  const double centre_x = image.width / 2.0 / block;
  const double centre_y = image.height / 2.0 / block;

  double radius[kRadialSamples];
  const double rotate = options.rotate_degrees * std::numbers::pi / 180.0;
  for (int32_t b = 0; b < kBins; ++b) {
    // Back from the wheel to the picture: undo the rotation, then the mirror.
    const double angle = (b + 0.5) * 2.0 * std::numbers::pi / kBins - rotate;
    double dx = std::cos(angle) * reduced_per_pitch;
    const double dy = std::sin(angle) * reduced_per_pitch;
    if (options.mirror) dx = -dx;
    for (int32_t ring = 0; ring < wheel::kLedsPerSpoke; ++ring) {
      double weighted = 0.0;
      double weights = 0.0;
      for (int32_t m = 0; m < kRadialSamples; ++m) {
        radius[m] = RingInner(ring) + (m + 0.5) * kSampleSpacing;
        // Area grows with the radius.
        weighted +=
            radius[m] * picture.Bilinear(centre_x + radius[m] * dx, centre_y + radius[m] * dy);
        weights += radius[m];
      }
      state_->prefix[ring][b + 1] = weighted / weights;
    }
  }
  for (auto& ring : state_->prefix) {
    for (int32_t b = 0; b < kBins; ++b) ring[b + 1] += ring[b];
  }
}

WheelSampler::~WheelSampler() { delete state_; }

LightMap WheelSampler::Sample(int32_t positions) const {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  LightMap light(static_cast<size_t>(positions));
  const double bins_per_position = static_cast<double>(kBins) / positions;
  for (int32_t ring = 0; ring < wheel::kLedsPerSpoke; ++ring) {
    const auto& prefix = state_->prefix[ring];
    // The light up to a fractional bin, taking the bin's light as even across it.
    auto upto = [&prefix](double u) {
      const auto b = std::min<int32_t>(static_cast<int32_t>(u), kBins);
      if (b == kBins) return prefix[kBins];
      return prefix[b] + (u - b) * (prefix[b + 1] - prefix[b]);
    };
    for (int32_t j = 0; j < positions; ++j) {
      const double from = j * bins_per_position;
      const double to = (j + 1) * bins_per_position;
      const double mean = (upto(to) - upto(from)) / (to - from);
      light[j][ring] = static_cast<float>(std::clamp(mean, 0.0, 1.0));
    }
  }
  return light;
}

}  // namespace imaging
