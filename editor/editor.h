// The wheel screen and its editing loop.
#pragma once

#include "imtxt/beeld_matrix.h"
#include "wheel/wheel.h"

namespace editor {

// How an editing session ended.
enum class EditorEnd {
  kNoWindow,     // the window could not open; nothing was shown
  kClosed,       // the close button or the window manager: nothing to write
  kWrite,        // the write button: w.led holds what to write
  kDisplayLost,  // the display went away: said on standard error, nothing to write
};

// Opens the window and runs the editing loop until it ends. With loaded, w.led rows
// 1..aantal_hoeken are the starting wheel and are drawn; else they are cleared first.
// REQUIRES: the sizes and flags set as the dialog leaves them. Main thread only.
EditorEnd Edit(wheel::Wheel& w, bool loaded);

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
int RunEditor(wheel::Wheel& w, imtxt::PortMatrix& m);

}  // namespace editor
