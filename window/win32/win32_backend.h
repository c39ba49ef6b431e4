// The Win32 implementation of the window platform layer.
#pragma once

#include <cstdint>

#include "window/backend.h"

namespace window {

// The process's one Win32 backend: the "GraphWnd" window on the window thread, drawing through
// the window's own context on the drawing server, and the input window of class "M" on the
// thread that opens it.
Backend& Win32Backend();

// The outer size of a window of our style whose client area is client_w by client_h, for the
// frame metrics of the system it runs on.
void OuterSizeFor(uint32_t client_w, uint32_t client_h, int32_t* outer_w, int32_t* outer_h);

}  // namespace window
