// The Xlib implementation of the window platform layer.
#pragma once

#include "window/backend.h"

namespace window {

// The process's one X11 backend. Each window host, drawing surface and input surface it makes
// opens a connection of its own to the display named by DISPLAY.
Backend& X11Backend();

// Looks at a window from a connection of its own. Benches and tests.
class WindowProbe {
 public:
  WindowProbe();
  ~WindowProbe();
  WindowProbe(const WindowProbe&) = delete;
  WindowProbe& operator=(const WindowProbe&) = delete;

  bool ok() const { return dpy_ != nullptr; }
  // The pixel as the display holds it now (after a round trip), 0x00RRGGBB; 0xFF000000 when it
  // cannot be read.
  uint32_t Pixel(WindowId window, int x, int y);
  // Clears the window to its background and asks its owner to repaint all of it (an expose).
  void Repaint(WindowId window);

 private:
  void* dpy_;  // the connection; no Xlib types outside x11_backend.cc
};

}  // namespace window
