// The wheel model: the sizes the zoom gives, the placement rule and Kleur.
#include "wheel/wheel.h"

#include <cmath>

namespace wheel {
namespace {

// base + (schaal * base) / 100 in 32-bit arithmetic; the product wraps rather than overflow.
int32_t Scaled(int32_t base, int32_t schaal) {
  const int32_t product =
      static_cast<int32_t>(static_cast<uint32_t>(schaal) * static_cast<uint32_t>(base));
  return static_cast<int32_t>(static_cast<uint32_t>(base) + static_cast<uint32_t>(product / 100));
}

}  // namespace

int32_t AreaSize(int32_t schaal) { return Scaled(600, schaal); }

void ComputeSizes(Wheel& w) {
  // Each size is truncated on its own, so they do not scale in step.
  w.screen_size_x = AreaSize(w.schaal);
  w.screen_size_y = w.screen_size_x;
  w.straal_led = Scaled(3, w.schaal);
  w.straal_binnencirkel = Scaled(30, w.schaal);
  w.afstand_leds = Scaled(10, w.schaal);
}

float HoekStap(int32_t aantal_hoeken) {
  // The float nearest 6.283184, a hair below 2 pi: the steps add up to just under a turn.
  constexpr float kTurn = 6.283184f;
  return kTurn / static_cast<float>(aantal_hoeken);
}

Point Centre(const Wheel& w, int32_t i, int32_t j) {
  const int32_t cx = w.screen_size_x / 2;
  const int32_t cy = w.screen_size_y / 2;
  const double r = static_cast<double>(w.straal_binnencirkel + i * w.afstand_leds);
  // The angle is rounded to float before its cosine and sine are taken in double; both roundings
  // move some centres by a pixel, and the hit test must agree with the drawing.
  const float a = static_cast<float>(j) * w.hoek_stap;
  const double ad = static_cast<double>(a);
  return Point{cx + static_cast<int32_t>(r * std::cos(ad)),
               cy + static_cast<int32_t>(r * std::sin(ad))};
}

uint32_t Kleur(int32_t intensity) {
  switch (intensity) {
    case 1:
      return 7;  // light grey
    case 2:
      return 8;  // dark grey
    case 3:
      return 14;  // yellow
    default:
      return 4;  // red: intensity 4, and the outline colour of an LED that is off
  }
}

}  // namespace wheel
