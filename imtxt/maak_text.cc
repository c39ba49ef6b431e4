// MaakText: writes the port matrix as the PIC assembler fragment IM.txt, one block per position.
#include "imtxt/maak_text.h"

#include <cassert>
#include <memory>

#include "runtime/failure.h"
#include "runtime/fio.h"
#include "runtime/io.h"

namespace imtxt {
namespace {

constexpr int32_t kColumns = 8;

struct PortLine {
  int32_t offset;  // rows before the position's last row, D (PORTC)
  const char* name;
};
constexpr PortLine kPorts[] = {{3, "PORTD"}, {2, "PORTB"}, {1, "PORTA"}, {0, "PORTC"}};

void Line(FIO::File f, const char* s) {
  FIO::WrStr(f, s);
  FIO::WrLn(f);
}

// Phase image t: every LED of intensity t or more is on.
void PhaseImage(FIO::File f, const PortMatrix& m, int32_t j, int32_t t) {
  for (const PortLine& port : kPorts) {
    const PortRow& row = m.poorten_matriks[4 * j - port.offset];
    FIO::WrStr(f, "__MOVLW_B'");
    for (int32_t c = 1; c <= kColumns; ++c) FIO::WrStr(f, row[c] >= t ? "1" : "0");
    FIO::WrStr(f, "'");
    FIO::WrLn(f);
    FIO::WrStr(f, "__MOVWF_");
    FIO::WrStr(f, port.name);
    FIO::WrLn(f);
  }
}

// console_lines: the two empty console lines come before the close, whose write-out can raise.
void Write(wheel::Wheel& w, PortMatrix& m, std::string_view name, bool console_lines) {
  const int32_t n = w.aantal_hoeken;
  assert(n >= 1 && n <= wheel::kMaxPositions);  // the matrix holds rows for 500 positions
  FIO::File& f = m.myFile;
  f = FIO::Create(name);

  FIO::WrStr(f, "__MOVLW_D'");
  FIO::WrInt(f, n, 0);
  FIO::WrStr(f, "'__;# positions");
  FIO::WrLn(f);
  Line(f, "__MOVWF_HOEKTELLER");
  Line(f, "BEGIN");
  Line(f, "__MOVLW_D'2'");
  Line(f, "__MOVWF_HOEKVERANDERD");

  for (int32_t j = 1; j <= n; ++j) {
    const int32_t k = n - j + 1;  // the position as the user numbered it

    FIO::WrStr(f, "hoek");
    FIO::WrInt(f, k, 0);
    FIO::WrLn(f);
    if (j == 1) {
      // Waits here until the sensor reports a new angle.
      Line(f, "__MOVF_HOEKVERANDERD,0");
      Line(f, "__MOVWF_TEST");
      Line(f, "__DECFSZ_TEST,1");
      FIO::WrStr(f, "__GOTO_hoek");
      FIO::WrInt(f, n, 0);
      FIO::WrLn(f);
    }
    Line(f, "__MOVF_HOEKTELLER,0");
    FIO::WrStr(f, "__SUBLW_D'");
    FIO::WrInt(f, k + 1, 0);
    FIO::WrStr(f, "'");
    FIO::WrLn(f);
    Line(f, "__MOVWF_TEST");
    Line(f, "__DECFSZ_TEST,1");
    if (j < n) {
      FIO::WrStr(f, "__GOTO_hoek");
      FIO::WrInt(f, k - 1, 0);
      FIO::WrLn(f);
    } else {
      Line(f, "__GOTO_BEGIN");
    }

    w.nul = w.een = w.twee = w.drie = w.vier = false;
    m.nullen = 0;
    for (int32_t r = 4 * j - 3; r <= 4 * j; ++r) {
      for (int32_t c = 1; c <= kColumns; ++c) m.nullen += m.poorten_matriks[r][c];
    }
    w.nul = m.nullen == 0;
    if (w.nul) Line(f, "__GOTO_BEGIN");
    for (int32_t r = 4 * j - 3; r <= 4 * j; ++r) {
      for (int32_t c = 1; c <= kColumns; ++c) {
        const int32_t v = m.poorten_matriks[r][c];
        if (v == 1) w.een = true;
        if (v == 2) w.twee = true;
        if (v == 3) w.drie = true;
        if (v == 4) w.vier = true;
      }
    }
    if (w.nul) continue;

    FIO::WrStr(f, "__GOTO_UPDATE");
    FIO::WrInt(f, k, 0);
    FIO::WrLn(f);
    FIO::WrStr(f, "UPDATE");
    FIO::WrInt(f, k, 0);
    FIO::WrLn(f);
    Line(f, "__BCF_STATUS,RP0");
    Line(f, "__BCF_STATUS,RP1");
    PhaseImage(f, m, j, 1);
    // An image is repeated only when it changes, i.e. when some LED stops after this phase.
    if (w.een) PhaseImage(f, m, j, 2);
    Line(f, "__CALL_DELAY2");
    if (w.twee) PhaseImage(f, m, j, 3);
    Line(f, "__CALL_DELAY3");
    if (w.drie) PhaseImage(f, m, j, 4);
    Line(f, "__CALL_DELAY4");
    if (w.vier) Line(f, "__CALL_LEDSUIT");
    Line(f, "__GOTO_BEGIN");
  }

  if (console_lines) {
    IO::WrLn();
    IO::WrLn();
  }
  // Not open any more once the close begins, even when its write-out fails.
  const FIO::File open = f;
  f = 0;
  FIO::Close(open);
}

}  // namespace

void MaakText(wheel::Wheel& w, PortMatrix& m, std::string_view name) { Write(w, m, name, true); }

void WriteFragment(wheel::Wheel& w, PortMatrix& m, std::string_view name) {
  Write(w, m, name, false);
}

void WriteImFile(const wheel::LedArray& led, int32_t positions, std::string_view name) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  // About 200 KB of state: on the heap, value-initialised as the program's static state is.
  auto w = std::make_unique<wheel::Wheel>();
  auto m = std::make_unique<PortMatrix>();
  w->led = led;
  w->aantal_hoeken = positions;
  BuildPortMatrix(*w, *m);
  try {
    WriteFragment(*w, *m, name);
  } catch (const rts::Failure&) {
    // A write refused before the close leaves the file open; closed here, so that the end of
    // the run does not try to write it out again and fail a second time.
    if (m->myFile != 0) {
      try {
        FIO::Close(m->myFile);
      } catch (const rts::Failure&) {
      }
    }
    throw;
  }
}

}  // namespace imtxt
