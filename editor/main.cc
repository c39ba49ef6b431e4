// ledwheel: paint a persistence-of-vision wheel and write it as PIC firmware tables.
#include <cstdio>
#include <string_view>

#include "editor/dialog.h"
#include "editor/editor.h"
#include "firmware/beeld_matrix.h"
#include "runtime/fio.h"
#include "runtime/startup.h"
#include "wheel/wheel.h"
#include "window/mouse.h"

namespace {

// Module state lives for the whole run and starts all zero.
wheel::Wheel wheel;
firmware::PortMatrix matrix;

int Body() {
  // Module start order: the file channels first, then Mouse (which starts Graph, then IO).
  FIO::Start();
  Mouse::Start();
  editor::RunDialog(wheel);
  return editor::RunEditor(wheel, matrix);
}

// Exit 1 when the line cannot be written (a closed or full standard output).
int PrintVersion() {
  const bool ok = std::fputs("ledwheel " LEDWHEEL_VERSION "\n", stdout) >= 0;
  return ok && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the run starts: nothing else of the program is involved.
  if (argc == 2 && std::string_view(argv[1]) == "--version") return PrintVersion();
  return rts::Run(argc, argv, Body);
}
