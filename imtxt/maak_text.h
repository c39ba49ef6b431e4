// MaakText: the port matrix as the PIC assembler fragment IM.txt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "imtxt/beeld_matrix.h"
#include "wheel/wheel.h"

namespace imtxt {

// Where the writer's pieces go, in the order the file gets them.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void WrStr(std::string_view s) = 0;
  virtual void WrInt(int32_t v) = 0;  // plain decimal digits
  virtual void WrLn() = 0;            // CR LF
};

// MaakText's lines for rows 1..4N of m.poorten_matriks into f, and nothing else: no file is
// created or closed, no console line written. Sets MaakText's working flags in w and m.
// REQUIRES: 1 <= w.aantal_hoeken <= 500 and m built by BeeldMatrix for it.
void WriteText(wheel::Wheel& w, PortMatrix& m, TextSink& f);

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

// The bytes WriteImFile would write, in memory. REQUIRES: 1 <= positions <= 500. Any thread.
std::string ImText(const wheel::LedArray& led, int32_t positions);

}  // namespace imtxt
