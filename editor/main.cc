// ledwheel: paint a persistence-of-vision wheel and write it as PIC firmware tables.
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

}  // namespace

int main(int argc, char** argv) { return rts::Run(argc, argv, Body); }
