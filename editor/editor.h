// The wheel screen and its editing loop.
#pragma once

#include "firmware/beeld_matrix.h"
#include "wheel/wheel.h"

namespace editor {

// Opens the window, lets the user paint, preview and write, and writes IM.txt when asked.
// Returns the exit code of the run. Main thread only.
int RunEditor(wheel::Wheel& w, firmware::PortMatrix& m);

}  // namespace editor
