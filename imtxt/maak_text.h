// MaakText: the port matrix as the PIC assembler fragment IM.txt.
#pragma once

#include <cstdint>
#include <string_view>

#include "imtxt/beeld_matrix.h"
#include "wheel/wheel.h"

namespace imtxt {

// Writes the file name (IM.txt in the current directory unless told otherwise) from rows 1..4N
// of m.poorten_matriks, then two empty console lines. A file that cannot be created or written
// raises a failure (FIO's), which ends the run unless the caller handles it.
// REQUIRES: 1 <= w.aantal_hoeken <= 500 and m built by BeeldMatrix for it. Main thread only.
void MaakText(wheel::Wheel& w, PortMatrix& m, std::string_view name = "IM.txt");

// MaakText without the console lines.
void WriteFragment(wheel::Wheel& w, PortMatrix& m, std::string_view name);

// The whole write for rows 1..positions of led into name, with fresh module state and without
// console lines: the same bytes as BeeldMatrix followed by MaakText. Raises as MaakText does,
// with the file closed.
// REQUIRES: 1 <= positions <= 500. Main thread only.
void WriteImFile(const wheel::LedArray& led, int32_t positions, std::string_view name);

}  // namespace imtxt
