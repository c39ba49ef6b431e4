// The size of the fragment MaakText writes, in PIC instruction words, without writing it.
#pragma once

#include <cstdint>

#include "wheel/wheel.h"

namespace imtxt {

// The instruction words of the IM.txt that BeeldMatrix and MaakText would write for positions
// 1..positions of led: exact, counted the way the assembler places them (labels take none).
// REQUIRES: 1 <= positions <= 500. Pure: any thread.
int32_t FragmentWords(const wheel::LedArray& led, int32_t positions);

// The same for one position: 6 when dark, else 12, plus 8 per port image, plus 1 when some LED
// is at intensity 4 (LEDSUIT).
int32_t PositionWords(const wheel::LedArray& led, int32_t position);

}  // namespace imtxt
