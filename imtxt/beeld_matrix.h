// BeeldMatrix: the LED states as a matrix of port words, four ports per position.
#pragma once

#include <cstdint>

#include "runtime/fio.h"
#include "runtime/one_based.h"
#include "wheel/wheel.h"

namespace imtxt {

using PortRow = rts::OneBased<int32_t, 8>;  // column 1 = bit 7 .. column 8 = bit 0

// The firmware tables' module state; value-initialised it is all zero.
struct PortMatrix {
  rts::OneBased<int32_t, 24 * wheel::kMaxPositions> poorten_array;
  rts::OneBased<PortRow, 4 * wheel::kMaxPositions> poorten_matriks;
  rts::OneBased<PortRow, 4 * wheel::kMaxPositions> kopie;
  FIO::File myFile;  // MaakText's IM.txt, open only during its call
  int32_t nullen;
};

// Builds m.poorten_matriks from w.led (reordering w.led in place, using w.led_copy).
// REQUIRES: 1 <= w.aantal_hoeken <= 500. Writes two empty console lines first.
void BeeldMatrix(wheel::Wheel& w, PortMatrix& m);

// BeeldMatrix without the console lines, for the command line, whose output is the user's.
void BuildPortMatrix(wheel::Wheel& w, PortMatrix& m);

}  // namespace imtxt
