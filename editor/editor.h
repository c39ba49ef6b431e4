// The wheel screen and its editing loop.
#pragma once

#include "firmware/beeld_matrix.h"
#include "wheel/wheel.h"

namespace editor {

// Where the window opens, and what its outer size adds to the drawing area (the frame and the
// title bar).
constexpr int32_t kWindowX = 1;
constexpr int32_t kWindowY = 1;
constexpr int32_t kFrameWidth = 5;
constexpr int32_t kFrameHeight = 31;

// Exit code after the display went away while the editor ran.
constexpr int kExitDisplayLost = 1;

// Opens the window, lets the user paint, preview and write, and writes IM.txt when asked.
// Returns the exit code of the run. A display that goes away ends the run with a message on
// standard error, nothing written, and kExitDisplayLost. Main thread only.
int RunEditor(wheel::Wheel& w, firmware::PortMatrix& m);

}  // namespace editor
