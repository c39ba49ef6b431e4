// MaakText: writes the port matrix as the PIC assembler fragment IM.txt, one block per position.
#include "imtxt/maak_text.h"

#include <cassert>
#include <memory>

#include "runtime/failure.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "runtime/str.h"

namespace imtxt {
namespace {

constexpr int32_t kColumns = 8;

struct PortLine {
  int32_t offset;  // rows before the position's last row, D (PORTC)
  const char* name;
};
constexpr PortLine kPorts[] = {{3, "PORTD"}, {2, "PORTB"}, {1, "PORTA"}, {0, "PORTC"}};

// The file output's calls, one for each piece, exactly as the file has always been written.
class FileSink final : public TextSink {
 public:
  explicit FileSink(FIO::File f) : f_(f) {}
  void WrStr(std::string_view s) override { FIO::WrStr(f_, s); }
  void WrInt(int32_t v) override { FIO::WrInt(f_, v, 0); }
  void WrLn() override { FIO::WrLn(f_); }

 private:
  FIO::File f_;
};

// The same bytes in memory: FIO writes numbers at width 0 as their plain digits.
class StringSink final : public TextSink {
 public:
  explicit StringSink(std::string* out) : out_(out) {}
  void WrStr(std::string_view s) override { out_->append(s); }
  void WrInt(int32_t v) override { out_->append(Str::IntToStr(v)); }
  void WrLn() override { out_->append("\r\n"); }

 private:
  std::string* out_;
};

void Line(TextSink& f, const char* s) {
  f.WrStr(s);
  f.WrLn();
}

// Phase image t: every LED of intensity t or more is on.
void PhaseImage(TextSink& f, const PortMatrix& m, int32_t j, int32_t t) {
  for (const PortLine& port : kPorts) {
    const PortRow& row = m.poorten_matriks[4 * j - port.offset];
    f.WrStr("__MOVLW_B'");
    for (int32_t c = 1; c <= kColumns; ++c) f.WrStr(row[c] >= t ? "1" : "0");
    f.WrStr("'");
    f.WrLn();
    f.WrStr("__MOVWF_");
    f.WrStr(port.name);
    f.WrLn();
  }
}

}  // namespace

void WriteText(wheel::Wheel& w, PortMatrix& m, TextSink& f) {
  const int32_t n = w.aantal_hoeken;
  assert(n >= 1 && n <= wheel::kMaxPositions);  // the matrix holds rows for 500 positions

  f.WrStr("__MOVLW_D'");
  f.WrInt(n);
  f.WrStr("'__;# positions");
  f.WrLn();
  Line(f, "__MOVWF_HOEKTELLER");
  Line(f, "BEGIN");
  Line(f, "__MOVLW_D'2'");
  Line(f, "__MOVWF_HOEKVERANDERD");

  for (int32_t j = 1; j <= n; ++j) {
    const int32_t k = n - j + 1;  // the position as the user numbered it

    f.WrStr("hoek");
    f.WrInt(k);
    f.WrLn();
    if (j == 1) {
      // Waits here until the sensor reports a new angle.
      Line(f, "__MOVF_HOEKVERANDERD,0");
      Line(f, "__MOVWF_TEST");
      Line(f, "__DECFSZ_TEST,1");
      f.WrStr("__GOTO_hoek");
      f.WrInt(n);
      f.WrLn();
    }
    Line(f, "__MOVF_HOEKTELLER,0");
    f.WrStr("__SUBLW_D'");
    f.WrInt(k + 1);
    f.WrStr("'");
    f.WrLn();
    Line(f, "__MOVWF_TEST");
    Line(f, "__DECFSZ_TEST,1");
    if (j < n) {
      f.WrStr("__GOTO_hoek");
      f.WrInt(k - 1);
      f.WrLn();
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

    f.WrStr("__GOTO_UPDATE");
    f.WrInt(k);
    f.WrLn();
    f.WrStr("UPDATE");
    f.WrInt(k);
    f.WrLn();
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
}

namespace {

// console_lines: the two empty console lines come before the close, whose write-out can raise.
void Write(wheel::Wheel& w, PortMatrix& m, std::string_view name, bool console_lines) {
  assert(w.aantal_hoeken >= 1 && w.aantal_hoeken <= wheel::kMaxPositions);
  FIO::File& f = m.myFile;
  f = FIO::Create(name);
  FileSink sink(f);
  WriteText(w, m, sink);
  if (console_lines) {
    IO::WrLn();
    IO::WrLn();
  }
  // Not open any more once the close begins, even when its write-out fails.
  const FIO::File open = f;
  f = 0;
  FIO::Close(open);
}

// Fresh module state for rows 1..positions of led, with the port matrix built.
struct Fresh {
  // About 200 KB of state: on the heap, value-initialised as the program's static state is.
  std::unique_ptr<wheel::Wheel> w = std::make_unique<wheel::Wheel>();
  std::unique_ptr<PortMatrix> m = std::make_unique<PortMatrix>();
  Fresh(const wheel::LedArray& led, int32_t positions) {
    w->led = led;
    w->aantal_hoeken = positions;
    BuildPortMatrix(*w, *m);
  }
};

}  // namespace

void MaakText(wheel::Wheel& w, PortMatrix& m, std::string_view name) { Write(w, m, name, true); }

void WriteFragment(wheel::Wheel& w, PortMatrix& m, std::string_view name) {
  Write(w, m, name, false);
}

void WriteImFile(const wheel::LedArray& led, int32_t positions, std::string_view name) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  Fresh fresh(led, positions);
  PortMatrix* m = fresh.m.get();
  try {
    WriteFragment(*fresh.w, *m, name);
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

std::string ImText(const wheel::LedArray& led, int32_t positions) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  Fresh fresh(led, positions);
  std::string text;
  StringSink sink(&text);
  WriteText(*fresh.w, *fresh.m, sink);
  return text;
}

}  // namespace imtxt
