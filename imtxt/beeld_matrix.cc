// BeeldMatrix: reorders the LED states into four port rows per position, bit 7 first.
#include "imtxt/beeld_matrix.h"

#include <cassert>

#include "runtime/io.h"

namespace imtxt {

void BeeldMatrix(wheel::Wheel& w, PortMatrix& m) {
  IO::WrLn();
  IO::WrLn();
  BuildPortMatrix(w, m);
}

void BuildPortMatrix(wheel::Wheel& w, PortMatrix& m) {
  const int32_t n = w.aantal_hoeken;
  // The dialog refuses other counts; past them the loops below would run off the arrays (or, at
  // n <= 0, the regrouping would never end).
  assert(n >= 1 && n <= wheel::kMaxPositions);
  constexpr int32_t kLeds = wheel::kLedsPerSpoke;

  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= kLeds; ++i) w.led_copy[j][i] = w.led[j][i];
  }

  // The firmware walks the positions the other way round.
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= kLeds; ++i) w.led[j][i] = w.led_copy[n + 1 - j][i];
  }

  int32_t count = 0;
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= kLeds; ++i) {
      ++count;
      m.poorten_array[count] = w.led[j][i].toestand;
    }
  }

  // One position per pass: LEDs 1-8, 9-12, 13-16 and 17-24 each start a new row.
  int32_t row = 0;
  while (count != 0) {
    int32_t column = 0;
    for (int32_t v = 1; v <= kLeds; ++v) {
      if (v == 9 || v == 13 || v == 17) column = 0;
      if (column == 0) ++row;
      ++column;
      m.poorten_matriks[row][column] = m.poorten_array[v];
    }
    count -= kLeds;
    for (int32_t s = 1; s <= count; ++s) m.poorten_array[s] = m.poorten_array[s + kLeds];
  }

  m.kopie = m.poorten_matriks;

  // The first LED of each group of eight belongs on bit 0, the last column.
  for (int32_t j = 1; j <= 4 * n; ++j) {
    for (int32_t i = 1; i <= 8; ++i) m.poorten_matriks[j][i] = m.kopie[j][9 - i];
  }

  // LED 9 is wired to PORTB bit 4, not bit 0.
  for (int32_t j = 1; j <= 4 * n; ++j) {
    if ((j + 2) % 4 == 0) {
      m.poorten_matriks[j][4] = m.poorten_matriks[j][8];
      m.poorten_matriks[j][8] = 0;
    }
  }
}

}  // namespace imtxt
