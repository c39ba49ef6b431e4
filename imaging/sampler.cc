// WheelSampler: the mean linear light of every LED's ring sector, from a polar resampling of the
// picture that is done once and then summed for any number of positions.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "imaging/geometry.h"
#include "imaging/halves.h"
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

// Full light in the integer tables: a pixel's light times its alpha stays under 2^24.
constexpr uint32_t kFullLight = 65535;

// The linear light of an sRGB byte, luminance-weighted per channel (Rec. 709 primaries), in
// integers: summing them has none of a float sum's latency, and the sums are exact.
struct LightTables {
  uint32_t red[256];
  uint32_t green[256];
  uint32_t blue[256];
  LightTables() {
    for (int v = 0; v < 256; ++v) {
      const double linear = SrgbToLinear(v / 255.0) * kFullLight;
      red[v] = static_cast<uint32_t>(std::lround(0.2126 * linear));
      green[v] = static_cast<uint32_t>(std::lround(0.7152 * linear));
      blue[v] = static_cast<uint32_t>(std::lround(0.0722 * linear));
    }
    // White is exactly full light, so inverting it gives exactly none.
    blue[255] = kFullLight - red[255] - green[255];
  }
};

// Averages block x block pixels of the picture into one (fewer at the right and bottom edges),
// for the blocks within `reach` reduced pixels of the picture's centre; the wheel never looks
// further. Transparent pixels are dark, also when inverted: what is not there never lights an LED.
template <bool kInvert>
LightPicture Reduce(const Image& image, int32_t block, double reach) {
  static const LightTables tables;
  LightPicture out;
  const int32_t reduced_width = (image.width + block - 1) / block;
  const int32_t reduced_height = (image.height + block - 1) / block;
  out.width = reduced_width + 2;
  out.height = reduced_height + 2;
  out.light.assign(static_cast<size_t>(out.width) * out.height, 0.0f);
  const double centre_x = image.width / 2.0 / block;
  const double centre_y = image.height / 2.0 / block;
  InHalves(reduced_height, [&](int32_t by_begin, int32_t by_end) {
    std::vector<uint64_t> sums(static_cast<size_t>(reduced_width));
    for (int32_t by = by_begin; by < by_end; ++by) {
      // The blocks of this row that the wheel's circle reaches.
      const double dy = std::max(0.0, std::max(by - centre_y, centre_y - (by + 1)));
      if (dy > reach) continue;
      const double half_chord = std::sqrt(reach * reach - dy * dy);
      const int32_t bx_first = std::max(0, static_cast<int32_t>(std::floor(centre_x - half_chord)));
      const int32_t bx_end =
          std::min(reduced_width, static_cast<int32_t>(std::ceil(centre_x + half_chord)));
      std::fill(sums.begin(), sums.end(), 0);
      const int32_t y_end = std::min(image.height, (by + 1) * block);
      for (int32_t y = by * block; y < y_end; ++y) {
        int32_t x = bx_first * block;
        const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
        for (int32_t bx = bx_first; bx < bx_end; ++bx) {
          const int32_t x_end = std::min(image.width, x + block);
          uint64_t sum = 0;
          for (; x < x_end; ++x, p += 4) {
            uint32_t colour = tables.red[p[0]] + tables.green[p[1]] + tables.blue[p[2]];
            if constexpr (kInvert) colour = kFullLight - colour;
            sum += colour * p[3];
          }
          sums[bx] += sum;
        }
      }
      float* row = &out.light[static_cast<size_t>(by + 1) * out.width + 1];
      const int32_t rows = y_end - by * block;
      for (int32_t bx = 0; bx < reduced_width; ++bx) {
        const int32_t columns = std::min(image.width, (bx + 1) * block) - bx * block;
        row[bx] = static_cast<float>(static_cast<double>(sums[bx]) /
                                     (double{kFullLight} * 255.0 * rows * columns));
      }
      row[-1] = row[0];
      row[reduced_width] = row[reduced_width - 1];
    }
  });
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
  // The samples reach the wheel's edge; the bilinear lookup one reduced pixel further.
  const double reach = kWheelEdge / (pitch_per_pixel * block) + 2.0;
  const LightPicture picture =
      options.invert ? Reduce<true>(image, block, reach) : Reduce<false>(image, block, reach);
  const double reduced_per_pitch = 1.0 / (pitch_per_pixel * block);
  const double centre_x = image.width / 2.0 / block;
  const double centre_y = image.height / 2.0 / block;

  // Back from the wheel to the picture: undo the rotation, then the mirror. One direction a bin.
  const double rotate = options.rotate_degrees * std::numbers::pi / 180.0;
  std::vector<float> along_x(kBins);
  std::vector<float> along_y(kBins);
  for (int32_t b = 0; b < kBins; ++b) {
    const double angle = (b + 0.5) * 2.0 * std::numbers::pi / kBins - rotate;
    along_x[b] =
        static_cast<float>(std::cos(angle) * reduced_per_pitch * (options.mirror ? -1 : 1));
    along_y[b] = static_cast<float>(std::sin(angle) * reduced_per_pitch);
  }
  // Circle by circle: neighbouring samples lie next to each other in the picture, which keeps
  // the lookups in the cache. Each sample weighs its radius, as the area does.
  InHalves(wheel::kLedsPerSpoke, [&](int32_t ring_begin, int32_t ring_end) {
    for (int32_t ring = ring_begin; ring < ring_end; ++ring) {
      double* bins = &state_->prefix[ring][1];
      double weights = 0.0;
      for (int32_t m = 0; m < kRadialSamples; ++m) {
        const double radius = RingInner(ring) + (m + 0.5) * kSampleSpacing;
        weights += radius;
        const auto r = static_cast<float>(radius);
        for (int32_t b = 0; b < kBins; ++b) {
          bins[b] +=
              radius * picture.Bilinear(centre_x + r * along_x[b], centre_y + r * along_y[b]);
        }
      }
      for (int32_t b = 0; b < kBins; ++b) bins[b] /= weights;
    }
  });
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
