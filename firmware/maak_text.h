// MaakText: the port matrix as the PIC assembler fragment IM.txt.
#pragma once

#include "firmware/beeld_matrix.h"
#include "wheel/wheel.h"

namespace firmware {

// Writes IM.txt in the current directory from rows 1..4N of m.poorten_matriks, then two empty
// console lines. A file that cannot be created or written ends the run with a failure.
// REQUIRES: 1 <= w.aantal_hoeken <= 500 and m built by BeeldMatrix for it. Main thread only.
void MaakText(wheel::Wheel& w, PortMatrix& m);

}  // namespace firmware
