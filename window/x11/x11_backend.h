// The Xlib implementation of the window platform layer.
#pragma once

#include "window/backend.h"

namespace window {

// The process's one X11 backend. Each window host, drawing surface and input surface it makes
// opens a connection of its own to the display named by DISPLAY.
Backend& X11Backend();

}  // namespace window
