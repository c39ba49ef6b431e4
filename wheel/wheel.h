// The wheel model: LED states, the sizes the zoom gives, the placement rule and Kleur.
#pragma once

#include <cstdint>

#include "runtime/one_based.h"

namespace wheel {

constexpr int32_t kMaxPositions = 500;
constexpr int32_t kLedsPerSpoke = 24;

struct LED {
  int32_t toestand;  // intensity 0 (off) .. 4 (brightest); nothing else is stored
};

// led[position][led]: position 1..500, LED 1 (innermost) .. 24 (outermost).
using LedArray = rts::OneBased<rts::OneBased<LED, kLedsPerSpoke>, kMaxPositions>;

// The main module's state, shared by the dialog, the editor and the firmware writers.
// Value-initialised (Wheel{} or static storage) it is all zero, which the editor relies on.
struct Wheel {
  LedArray led;
  LedArray led_copy;  // scratch copy for BeeldMatrix; the editor never touches it

  int32_t aantal_hoeken;  // angular positions, as typed
  int32_t schaal;         // zoom in percent, as typed
  int32_t screen_size_x;
  int32_t screen_size_y;
  int32_t straal_led;
  int32_t straal_binnencirkel;
  int32_t afstand_leds;
  float hoek_stap;  // single precision on purpose: it moves centres by a pixel
  int32_t mp_x, mp_y;
  int32_t rho;
  int32_t mouse_x, mouse_y;

  bool intens0, intens1, intens2, intens3, intens4;
  bool bekijken;
  bool create_bitmap;
  bool end;
  bool nul, een, twee, drie, vier;  // MaakText's working flags

  int32_t i, j;  // the main body's loop counters
};

struct Point {
  int32_t x;
  int32_t y;
};

// Sets the screen and LED sizes from w.schaal (32-bit truncating arithmetic).
void ComputeSizes(Wheel& w);
// The width (and height) of the drawing area at zoom schaal, as ComputeSizes sets it.
int32_t AreaSize(int32_t schaal);

// 6.283184f / n in single precision.
float HoekStap(int32_t aantal_hoeken);

// Centre of LED i+1 (ring i = 0..23) at position j (0..aantal_hoeken-1), from the sizes and
// w.hoek_stap.
Point Centre(const Wheel& w, int32_t i, int32_t j);

// Colour number of intensity 1..4: 7, 8, 14, 4.
uint32_t Kleur(int32_t intensity);

}  // namespace wheel
