// Prints how well the error diffusion keeps the light where the picture has it: each ring's mean
// light against the picture's over that ring, and the error of the light seen over a small
// neighbourhood (what the eye averages), for uniform greys and for the pictures named.
// Usage: dither_harness [picture...]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "imaging/geometry.h"
#include "imaging/imaging.h"

namespace {

constexpr int32_t kRings = wheel::kLedsPerSpoke;

struct Figures {
  double worst_ring_percent = 0;  // the ring furthest from its light, in % of that light
  double worst_ring_steps = 0;    // the ring furthest off in level steps of one LED
  double outer_ring_percent = 0;  // the outermost ring, signed
  double local_error = 0;         // RMS error of the light within kNeighbourhood pitches
};

// Light seen over a disc of this radius in ring pitches around each LED.
constexpr double kNeighbourhood = 1.5;

Figures Measure(const imaging::LightMap& light, const wheel::LedArray& led,
                const imaging::Levels& levels) {
  const auto n = static_cast<int32_t>(light.size());
  Figures f;
  // The step between the two levels around each ring's mean light; a ring is held to the
  // largest of its own and its neighbours' steps, since their error is what it takes in.
  std::vector<double> wanted(kRings), shown(kRings), step(kRings);
  for (int32_t i = 0; i < kRings; ++i) {
    for (int32_t j = 0; j < n; ++j) {
      wanted[i] += std::clamp<double>(light[j][i], 0.0, levels[4]);
      shown[i] += levels[led[j + 1][i + 1].toestand];
    }
    int32_t lo = 0;
    while (lo < 3 && levels[lo + 1] <= wanted[i] / n) ++lo;
    step[i] = levels[lo + 1] - levels[lo];
  }
  for (int32_t i = 0; i < kRings; ++i) {
    const double held =
        std::max({step[i], step[std::max(i - 1, 0)], step[std::min(i + 1, kRings - 1)]});
    const double steps = std::abs(shown[i] - wanted[i]) / held;
    f.worst_ring_steps = std::max(f.worst_ring_steps, steps);
    // Rings of almost no light have no meaningful share.
    if (wanted[i] / n > 0.005) {
      const double percent = 100.0 * (shown[i] - wanted[i]) / wanted[i];
      f.worst_ring_percent = std::max(f.worst_ring_percent, std::abs(percent));
      if (i == kRings - 1) f.outer_ring_percent = percent;
    }
  }
  // Local error: every LED's neighbourhood, weighted by area (the radius).
  std::vector<double> x(static_cast<size_t>(n) * kRings), y(x.size()), d(x.size()), w(x.size());
  for (int32_t i = 0; i < kRings; ++i) {
    for (int32_t j = 0; j < n; ++j) {
      const size_t k = static_cast<size_t>(i) * n + j;
      const double angle = (j + 0.5) * 2 * std::numbers::pi / n;
      x[k] = imaging::RingRadius(i) * std::cos(angle);
      y[k] = imaging::RingRadius(i) * std::sin(angle);
      w[k] = imaging::RingRadius(i) / n;
      d[k] = levels[led[j + 1][i + 1].toestand] - std::clamp<double>(light[j][i], 0.0, levels[4]);
    }
  }
  double sum = 0, weights = 0;
  for (size_t a = 0; a < x.size(); ++a) {
    double err = 0, area = 0;
    for (size_t b = 0; b < x.size(); ++b) {
      const double dx = x[a] - x[b], dy = y[a] - y[b];
      if (dx * dx + dy * dy > kNeighbourhood * kNeighbourhood) continue;
      err += w[b] * d[b];
      area += w[b];
    }
    sum += w[a] * (err / area) * (err / area);
    weights += w[a];
  }
  f.local_error = std::sqrt(sum / weights);
  return f;
}

imaging::LightMap Uniform(int32_t n, float v) {
  imaging::LightMap light(static_cast<size_t>(n));
  for (auto& p : light) p.fill(v);
  return light;
}

std::vector<uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  auto led = std::make_unique<wheel::LedArray>();
  const imaging::ImportOptions options;
  std::printf("uniform greys: worst ring (%% of its light, level steps), outermost ring %%\n");
  const struct {
    int srgb;
    int32_t positions;
  } greys[] = {{39, 100}, {128, 48}, {20, 48}, {39, 48}, {39, 256}, {60, 100}, {200, 256}};
  for (const auto& g : greys) {
    const auto v = static_cast<float>(imaging::SrgbToLinear(g.srgb / 255.0));
    const imaging::LightMap light = Uniform(g.positions, v);
    imaging::Quantize(light, options, *led);
    const Figures f = Measure(light, *led, options.levels);
    std::printf(
        "  sRGB %3d at %3d positions: worst ring %6.1f %% (%4.1f steps), outermost %+6.1f %%\n",
        g.srgb, g.positions, f.worst_ring_percent, f.worst_ring_steps, f.outer_ring_percent);
  }
  if (argc < 2) return 0;
  for (int32_t n : {48, 100, 256}) {
    Figures mean;
    std::printf("pictures at %d positions: worst ring %%, steps, outermost %%, local error\n", n);
    for (int a = 1; a < argc; ++a) {
      imaging::Image image;
      std::string error;
      if (!imaging::DecodePicture(ReadFile(argv[a]), &image, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[a], error.c_str());
        return 1;
      }
      const imaging::LightMap light = imaging::WheelSampler(image, options).Sample(n);
      imaging::Quantize(light, options, *led);
      const Figures f = Measure(light, *led, options.levels);
      std::printf("  %-40s %6.1f %5.1f %+6.1f %.5f\n", argv[a], f.worst_ring_percent,
                  f.worst_ring_steps, f.outer_ring_percent, f.local_error);
      mean.worst_ring_percent += f.worst_ring_percent / (argc - 1);
      mean.worst_ring_steps += f.worst_ring_steps / (argc - 1);
      mean.outer_ring_percent += f.outer_ring_percent / (argc - 1);
      mean.local_error += f.local_error / (argc - 1);
    }
    std::printf("  %-40s %6.1f %5.1f %+6.1f %.5f\n", "mean", mean.worst_ring_percent,
                mean.worst_ring_steps, mean.outer_ring_percent, mean.local_error);
  }
  return 0;
}
