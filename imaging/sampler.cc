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

// Angular bins of the polar grid: enough that the samples of a ring's outer edge are at most
// kSampleSpacing apart, and at least kMinBins (4 a position at 500 positions) so that the
// sectors' edges fall finely on every ring.
constexpr int32_t kMinBins = 2048;
constexpr int32_t kMaxBins = 4096;

constexpr int32_t BinsOf(int32_t ring) {
  return 2 * std::numbers::pi * (RingInner(ring) + 1.0) / kMinBins <= kSampleSpacing ? kMinBins
                                                                                     : kMaxBins;
}
static_assert(BinsOf(wheel::kLedsPerSpoke - 1) == kMaxBins &&
              2 * std::numbers::pi * kWheelEdge / kMaxBins <= kSampleSpacing);

// A sample's box, a polar cell (its bin's arc by the radial spacing) turned onto the picture's
// axes: its width and height in reduced pixels, at most a pixel each, and their reciprocals.
// Boxes are kShrink of their cells, a thousandth smaller, so that the rounding in a box's place
// and shape never lets a sliver of a pixel beyond a boundary in.
struct Box {
  double wx, wy, inverse_wx, inverse_wy;
};
constexpr double kShrink = 1.0 - 1.0 / 1024;

// Linear light of the part of a picture that the wheel covers, reduced by whole blocks, with a
// dark border around it. Outside the picture all is dark, with a sharp edge: a blur there would
// darken the rim wherever the wheel touches the picture's side.
struct LightPicture {
  int32_t width = 0;  // with the border
  int32_t height = 0;
  int32_t left = 0;  // the first reduced column and row held, in the whole picture
  int32_t top = 0;
  double origin_x = 0;  // the picture's extent, in reduced pixels
  double origin_y = 0;
  double right = 0;
  double bottom = 0;
  double centre_x = 0;  // where the wheel's centre lies, in reduced pixels
  double centre_y = 0;
  std::vector<float> light;

  // The mean light over a box around x, y, in reduced pixels from the picture's top-left
  // corner. Pixels are squares of even light: a box that a pixel boundary bounds takes nothing
  // of the pixel beyond it.
  float Light(double x, double y, const Box& box) const {
    if (!(x >= origin_x && y >= origin_y && x < right && y < bottom)) return 0.0f;
    const double x0 = x - box.wx / 2 - (left - 1);  // - 1 for the border
    const double y0 = y - box.wy / 2 - (top - 1);
    const auto column = static_cast<int32_t>(x0);
    const auto row = static_cast<int32_t>(y0);
    if (column < 0 || row < 0 || column >= width - 1 || row >= height - 1) return 0.0f;
    // The share of the box in the next column and row: what lies past the pixel boundary.
    const auto tx = static_cast<float>(std::max(0.0, x0 + box.wx - (column + 1)) * box.inverse_wx);
    const auto ty = static_cast<float>(std::max(0.0, y0 + box.wy - (row + 1)) * box.inverse_wy);
    const float* p = &light[static_cast<size_t>(row) * width + column];
    const float upper = p[0] + tx * (p[1] - p[0]);
    const float lower = p[width] + tx * (p[width + 1] - p[width]);
    return upper + ty * (lower - upper);
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

// Averages block x block pixels of the image into one (fewer at the right and bottom edges),
// for the blocks within `reach` reduced pixels of the picture's centre; the wheel never looks
// further. Transparent pixels are dark, also when inverted: what is not there never lights an LED.
template <bool kInvert>
LightPicture Reduce(const Image& image, int32_t block, double reach) {
  static const LightTables tables;
  // The image's pixels are the picture's (or scale x scale of them, for a reduced decoding).
  // Blocks are laid out from the wheel's centre, so that an edge through it, where every sector
  // meets, stays a block boundary; the first column and row of blocks may be short.
  const double image_centre_x = (image.FullWidth() / 2.0 + image.lead_x) / image.scale;
  const double image_centre_y = (image.FullHeight() / 2.0 + image.lead_y) / image.scale;
  const int32_t shift_x = (block - static_cast<int32_t>(image_centre_x) % block) % block;
  const int32_t shift_y = (block - static_cast<int32_t>(image_centre_y) % block) % block;
  const int32_t reduced_width = (image.width + shift_x + block - 1) / block;
  const int32_t reduced_height = (image.height + shift_y + block - 1) / block;
  LightPicture out;
  out.centre_x = (image_centre_x + shift_x) / block;
  out.centre_y = (image_centre_y + shift_y) / block;
  out.origin_x = (static_cast<double>(image.lead_x) / image.scale + shift_x) / block;
  out.origin_y = (static_cast<double>(image.lead_y) / image.scale + shift_y) / block;
  out.right =
      (static_cast<double>(image.FullWidth() + image.lead_x) / image.scale + shift_x) / block;
  out.bottom =
      (static_cast<double>(image.FullHeight() + image.lead_y) / image.scale + shift_y) / block;
  const double centre_x = out.centre_x;
  const double centre_y = out.centre_y;
  // Only the blocks in the square around the wheel's circle are held.
  out.left = std::clamp(static_cast<int32_t>(std::floor(centre_x - reach)), 0, reduced_width - 1);
  out.top = std::clamp(static_cast<int32_t>(std::floor(centre_y - reach)), 0, reduced_height - 1);
  const int32_t held_width =
      std::min(reduced_width, static_cast<int32_t>(std::ceil(centre_x + reach))) - out.left;
  const int32_t held_height =
      std::min(reduced_height, static_cast<int32_t>(std::ceil(centre_y + reach))) - out.top;
  out.width = held_width + 2;
  out.height = held_height + 2;
  out.light.assign(static_cast<size_t>(out.width) * out.height, 0.0f);
  InHalves(held_height, [&](int32_t row_begin, int32_t row_end) {
    std::vector<uint64_t> sums(static_cast<size_t>(held_width));
    for (int32_t by = out.top + row_begin; by < out.top + row_end; ++by) {
      // The blocks of this row that the wheel's circle reaches.
      const double dy = std::max(0.0, std::max(by - centre_y, centre_y - (by + 1)));
      if (dy > reach) continue;
      const double half_chord = std::sqrt(reach * reach - dy * dy);
      const int32_t bx_first =
          std::max(out.left, static_cast<int32_t>(std::floor(centre_x - half_chord)));
      const int32_t bx_end =
          std::min(out.left + held_width, static_cast<int32_t>(std::ceil(centre_x + half_chord)));
      std::fill(sums.begin(), sums.end(), 0);
      const int32_t y_begin = std::max(0, by * block - shift_y);
      const int32_t y_end = std::min(image.height, (by + 1) * block - shift_y);
      for (int32_t y = y_begin; y < y_end; ++y) {
        int32_t x = std::max(0, bx_first * block - shift_x);
        const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
        for (int32_t bx = bx_first; bx < bx_end; ++bx) {
          const int32_t x_end = std::min(image.width, (bx + 1) * block - shift_x);
          uint64_t sum = 0;
          for (; x < x_end; ++x, p += 4) {
            uint32_t colour = tables.red[p[0]] + tables.green[p[1]] + tables.blue[p[2]];
            if constexpr (kInvert) colour = kFullLight - colour;
            sum += colour * p[3];
          }
          sums[bx - out.left] += sum;
        }
      }
      float* row = &out.light[static_cast<size_t>(by - out.top + 1) * out.width + 1];
      const int32_t rows = y_end - y_begin;
      for (int32_t k = 0; k < held_width; ++k) {
        const int32_t bx = out.left + k;
        const int32_t columns =
            std::min(image.width, (bx + 1) * block - shift_x) - std::max(0, bx * block - shift_x);
        row[k] = static_cast<float>(static_cast<double>(sums[k]) /
                                    (double{kFullLight} * 255.0 * rows * columns));
      }
    }
  });
  return out;
}

}  // namespace

struct WheelSampler::State {
  // Per ring, the running sum of the bins' mean light: prefix[ring][b] sums bins 0..b-1.
  std::vector<std::vector<double>> prefix;
};

WheelSampler::WheelSampler(const Image& image, const ImportOptions& options) : state_(new State) {
  for (int32_t ring = 0; ring < wheel::kLedsPerSpoke; ++ring) {
    state_->prefix.emplace_back(static_cast<size_t>(BinsOf(ring)) + 1, 0.0);
  }
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() <
          static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
    return;  // nothing to see: every LED dark
  }
  // Pitches per pixel of the image (which may be decoded reduced).
  const double pitch_per_pixel =
      PitchPerPixel(image.FullWidth(), image.FullHeight(), options.fit) * image.scale;
  // Reduced pixels at least as large as the sample spacing, so no pixel falls between samples.
  const int32_t block =
      std::max<int32_t>(1, static_cast<int32_t>(std::ceil(kSampleSpacing / pitch_per_pixel)));
  // The samples reach the wheel's edge; their boxes half a reduced pixel further.
  const double reach = kWheelEdge / (pitch_per_pixel * block) + 2.0;
  LightPicture picture =
      options.invert ? Reduce<true>(image, block, reach) : Reduce<false>(image, block, reach);
  const double reduced_per_pitch = 1.0 / (pitch_per_pixel * block);
  const double centre_x = picture.centre_x;
  const double centre_y = picture.centre_y;

  // Back from the wheel to the picture: undo the rotation, then the mirror. One direction a bin.
  const double rotate = options.rotate_degrees * std::numbers::pi / 180.0;
  // The squared cosine of each direction turns a sample's cell, a bin's arc by the radial
  // spacing, into a box along the picture's axes: exact where the cell's sides run along them,
  // which is where a sector's edge can meet a pixel boundary.
  struct Directions {
    std::vector<double> x, y, cos2;
  };
  auto directions = [&](int32_t bins) {
    const auto n = static_cast<size_t>(bins);
    Directions d{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n)};
    for (int32_t b = 0; b < bins; ++b) {
      const double angle = (b + 0.5) * 2.0 * std::numbers::pi / bins - rotate;
      d.x[b] = std::cos(angle) * reduced_per_pitch * (options.mirror ? -1 : 1);
      d.y[b] = std::sin(angle) * reduced_per_pitch;
      d.cos2[b] = std::cos(angle) * std::cos(angle);
    }
    return d;
  };
  const double spacing = kSampleSpacing * reduced_per_pitch * kShrink;
  const Directions coarse = directions(kMinBins);
  const Directions fine = directions(kMaxBins);
  // Circle by circle: neighbouring samples lie next to each other in the picture, which keeps
  // the lookups in the cache. Each sample weighs its radius, as the area does. The even rings go
  // to one thread and the odd to the other, which shares the larger outer rings out evenly.
  InHalves(2, [&](int32_t first, int32_t end) {
    std::vector<Box> boxes(kMaxBins);
    for (int32_t parity = first; parity < end; ++parity) {
      for (int32_t ring = parity; ring < wheel::kLedsPerSpoke; ring += 2) {
        const int32_t bins = BinsOf(ring);
        const Directions& along = bins == kMaxBins ? fine : coarse;
        double* sums = &state_->prefix[ring][1];
        double weights = 0.0;
        for (int32_t m = 0; m < kRadialSamples; ++m) {
          const double radius = RingInner(ring) + (m + 0.5) * kSampleSpacing;
          weights += radius;
          // The boxes of this circle first, a loop the compiler makes vector code of.
          const double arc = radius * 2 * std::numbers::pi / bins * reduced_per_pitch * kShrink;
          for (int32_t b = 0; b < bins; ++b) {
            const double c2 = along.cos2[b];
            boxes[b].wx = arc + c2 * (spacing - arc);
            boxes[b].wy = spacing + c2 * (arc - spacing);
            boxes[b].inverse_wx = 1.0 / boxes[b].wx;
            boxes[b].inverse_wy = 1.0 / boxes[b].wy;
          }
          for (int32_t b = 0; b < bins; ++b) {
            sums[b] += radius * picture.Light(centre_x + radius * along.x[b],
                                              centre_y + radius * along.y[b], boxes[b]);
          }
        }
        for (int32_t b = 0; b < bins; ++b) sums[b] /= weights;
      }
    }
  });
  for (auto& ring : state_->prefix) {
    for (size_t b = 1; b < ring.size(); ++b) ring[b] += ring[b - 1];
  }
}

WheelSampler::~WheelSampler() { delete state_; }

LightMap WheelSampler::Sample(int32_t positions) const {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  LightMap light(static_cast<size_t>(positions));
  for (int32_t ring = 0; ring < wheel::kLedsPerSpoke; ++ring) {
    const auto& prefix = state_->prefix[ring];
    const auto bins = static_cast<int32_t>(prefix.size()) - 1;
    const double bins_per_position = static_cast<double>(bins) / positions;
    // The light up to a fractional bin, taking the bin's light as even across it.
    auto upto = [&prefix, bins](double u) {
      const auto b = std::min<int32_t>(static_cast<int32_t>(u), bins);
      if (b == bins) return prefix[bins];
      return prefix[b] + (u - b) * (prefix[b + 1] - prefix[b]);
    };
    // Each position's light ends where the next one's begins.
    double from = 0.0, light_from = 0.0;
    for (int32_t j = 0; j < positions; ++j) {
      const double to = (j + 1) * bins_per_position;
      const double light_to = upto(to);
      const double mean = (light_to - light_from) / (to - from);
      light[j][ring] = static_cast<float>(std::clamp(mean, 0.0, 1.0));
      from = to;
      light_from = light_to;
    }
  }
  return light;
}

}  // namespace imaging
