// Test program: one whole run that builds and writes IM.txt for the worked two-position picture.
#include "imtxt/beeld_matrix.h"
#include "imtxt/maak_text.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "runtime/startup.h"

namespace {

// Module state in static storage, all zero at start like the program's own.
wheel::Wheel wheel;
imtxt::PortMatrix matrix;

int Body() {
  FIO::Start();
  IO::Start();
  wheel.aantal_hoeken = 2;
  wheel.led[1][1].toestand = 1;
  wheel.led[1][9].toestand = 2;
  wheel.led[1][13].toestand = 3;
  wheel.led[1][24].toestand = 4;
  imtxt::BeeldMatrix(wheel, matrix);
  imtxt::MaakText(wheel, matrix);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return rts::Run(argc, argv, Body); }
