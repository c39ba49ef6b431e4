// The light table of the intensities, and the reduction of the sampled light to the five
// intensities by error diffusion over the wheel.
#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>

#include "imaging/geometry.h"
#include "imaging/imaging.h"

namespace imaging {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The intensity whose light is nearest; the lower one on a tie.
int32_t Nearest(double v, const Levels& levels) {
  int32_t best = 0;
  for (int32_t k = 1; k < 5; ++k) {
    if (std::abs(v - levels[k]) < std::abs(v - levels[best])) best = k;
  }
  return best;
}

// The intensities for the light wanted where the picture gives g: the two levels around g, so
// the diffused error never reaches for a level far from the picture (a dark LED inside a grey
// area), the upper one when the light wanted reaches `middle`. Light that is a level already
// keeps it, and the error passes through: black stays black and white stays white.
struct Choice {
  int32_t lower, upper;
  double middle;
};

Choice Around(double g, const Levels& levels) {
  int32_t lo = 0;
  while (lo < 4 && levels[lo + 1] <= g) ++lo;
  if (levels[lo] == g || lo == 4) return {lo, lo, std::numeric_limits<double>::infinity()};
  return {lo, lo + 1, (levels[lo] + levels[lo + 1]) / 2};
}

// Floyd and Steinberg's weights between the three LEDs outward of an LED (behind, beside, ahead
// in the scan), and their share along the ring where the LEDs of a ring lie one ring pitch apart.
constexpr double kOutward[3] = {3.0 / 9.0, 5.0 / 9.0, 1.0 / 9.0};
constexpr double kAlongAtOnePitch = 7.0 / 16.0;

// The share of an LED's error passed along its ring when the next LED along lies `apart` ring
// pitches away: the nearer neighbours take more, so the error stays near where it arose (at many
// positions the hub's rings have their next LED a tenth of a pitch away; at few the rim's is
// three).
double AlongShare(double apart) {
  return kAlongAtOnePitch / (kAlongAtOnePitch + (1.0 - kAlongAtOnePitch) * apart);
}

// The share of what a ring has lent outward that it takes back at each LED. What goes outward
// shapes the next ring's pattern; taking it back keeps every ring's mean light its own, which
// otherwise drifts outward ring by ring (a dark grey's hub too dark, its rim too bright).
constexpr double kPayback = 0.5;

}  // namespace

bool ParseLevels(std::string_view text, Levels* out, std::string* error) {
  Levels levels{};
  levels[0] = 0.0;
  size_t start = 0;
  for (int32_t k = 1; k <= 4; ++k) {
    const size_t comma = text.find(',', start);
    if ((k < 4) != (comma != std::string_view::npos)) {
      *error = "expected four numbers L1,L2,L3,L4";
      return false;
    }
    const std::string_view field =
        Trim(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
    double value = 0.0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || ec != std::errc() || end != field.data() + field.size() ||
        !std::isfinite(value)) {
      *error = "level " + std::to_string(k) + " (\"" + std::string(field) + "\") is not a number";
      return false;
    }
    if (value < 0.0 || value > 1.0) {
      *error = "level " + std::to_string(k) + " (" + std::string(field) + ") is outside 0..1";
      return false;
    }
    if (k > 1 && value <= levels[k - 1]) {
      *error = "levels must rise: level " + std::to_string(k) + " is not above level " +
               std::to_string(k - 1);
      return false;
    }
    levels[k] = value;
    start = comma + 1;
  }
  *out = levels;
  return true;
}

void Quantize(const LightMap& light, const ImportOptions& options, wheel::LedArray& led) {
  const auto positions = static_cast<int32_t>(light.size());
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  const Levels& levels = options.levels;
  // Light beyond what the brightest intensity gives cannot be shown; passing it on as error
  // would only smear it into the dark around it.
  auto shown = [&levels](float v) { return std::clamp<double>(v, levels[0], levels[4]); };
  if (!options.dither) {
    for (int32_t j = 0; j < positions; ++j) {
      for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
        led[j + 1][i + 1].toestand = Nearest(shown(light[j][i]), levels);
      }
    }
    return;
  }
  // The error received, ring by ring, with a position of room either side of the turn: what
  // lands there belongs to the other end and is moved there before the ring is walked.
  const size_t stride = static_cast<size_t>(positions) + 2;
  std::vector<double> received(stride * (wheel::kLedsPerSpoke + 1));
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    double* here = &received[stride * i + 1];
    double* outward = &received[stride * (i + 1) + 1];
    here[0] += here[positions];
    here[positions - 1] += here[-1];
    // Serpentine: every other ring is walked backwards, so no drift builds up one way round.
    const int32_t dir = i % 2 == 0 ? 1 : -1;
    const bool outermost = i + 1 == wheel::kLedsPerSpoke;
    // The error is passed on as light times area; a ring's area grows with its radius.
    const double outward_area = outermost ? 0.0 : RingRadius(i) / RingRadius(i + 1);
    const double outward_share =
        outermost ? 0.0 : 1.0 - AlongShare(2.0 * std::numbers::pi * RingRadius(i) / positions);
    const double behind = kOutward[0] * outward_area;
    const double beside = kOutward[1] * outward_area;
    const double ahead = kOutward[2] * outward_area;
    double lent = 0.0;     // net error this ring has passed outward so far
    double carried = 0.0;  // the error passed along from the LED before
    for (int32_t step = 0; step < positions; ++step) {
      const int32_t j = dir > 0 ? step : positions - 1 - step;
      const double g = shown(light[j][i]);
      const Choice choice = Around(g, levels);
      const double v = g + here[j] + carried;
      const int32_t k = v >= choice.middle ? choice.upper : choice.lower;
      led[j + 1][i + 1].toestand = k;
      const double e = v - levels[k];
      // At the ring's last LED the next one along is done already: what is left goes outward.
      const double out = step + 1 == positions ? e : outward_share * e - kPayback * lent;
      carried = e - out;
      lent += out;
      outward[j - dir] += out * behind;
      outward[j] += out * beside;
      outward[j + dir] += out * ahead;
    }
  }
}

}  // namespace imaging
