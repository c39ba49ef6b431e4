// The program without arguments: the dialog, then the editor, with the run's module state.
#include "editor/program.h"

#include "editor/dialog.h"
#include "editor/editor.h"
#include "imtxt/beeld_matrix.h"
#include "runtime/fio.h"
#include "wheel/wheel.h"
#include "window/mouse.h"

namespace editor {
namespace {

// Module state lives for the whole run and starts all zero.
wheel::Wheel wheel;
imtxt::PortMatrix matrix;

}  // namespace

int DialogAndEditor() {
  // Module start order: the file channels first, then Mouse (which starts Graph, then IO).
  FIO::Start();
  Mouse::Start();
  RunDialog(wheel);
  return RunEditor(wheel, matrix);
}

}  // namespace editor
