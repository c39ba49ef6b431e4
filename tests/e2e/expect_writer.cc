// Writes IM.txt for a wheel given on the command line, the way the write button does: the
// reference the end-to-end tests compare the editor's output with.
//
// Usage: expect_writer N [row:led:intensity ...]   (writes IM.txt in the current directory)
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "imtxt/beeld_matrix.h"
#include "imtxt/maak_text.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "runtime/startup.h"
#include "wheel/wheel.h"

namespace {

int argc_;
char** argv_;
wheel::Wheel wheel;
imtxt::PortMatrix matrix;

int Body() {
  FIO::Start();
  IO::Start();
  wheel.aantal_hoeken = std::atoi(argv_[1]);
  for (int k = 2; k < argc_; ++k) {
    int row = 0, led = 0, value = 0;
    if (std::sscanf(argv_[k], "%d:%d:%d", &row, &led, &value) != 3) return 2;
    wheel.led[row][led].toestand = value;
  }
  imtxt::BeeldMatrix(wheel, matrix);
  imtxt::MaakText(wheel, matrix);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: expect_writer N [row:led:intensity ...]\n");
    return 2;
  }
  argc_ = argc;
  argv_ = argv;
  return rts::Run(argc, argv, Body);
}
