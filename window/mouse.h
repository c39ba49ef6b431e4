// Mouse: the input surface over the graphics window's client area.
#pragma once

#include <cstdint>
#include <string>

#include "window/backend.h"

namespace Mouse {

// Module start: starts Graph, then IO. Runs once; later calls do nothing.
void Start();

// Opens the graphics window at (x, y), outer size w by h, and lays the input surface over its
// client area. True on success. Main thread only.
bool InitMuis(int32_t x, int32_t y, int32_t w, int32_t h);
// Handles every mouse event waiting, in arrival order; never blocks.
void UpdateMuis();
// UpdateMuis, then whether a button was released in that poll.
bool Clicked();
// Pointer position of the last movement or button release handled; (0, 0) before any. Does
// not poll.
int32_t GetMuisX();
int32_t GetMuisY();

// Sleeps until mouse input is waiting, the console break has been recorded, or timeout_ms
// passes (negative: no limit), without handling the input. True when input is waiting.
bool WaitInput(int timeout_ms);
// False once the graphics window has gone (closed through the window manager, or the display
// with it). Known from the events UpdateMuis has handled.
bool WindowOpen();
// True once the connection to the display has been lost; WindowOpen is then false.
bool DisplayLost();

// For ledwheel edit, in place of Clicked: every input event in arrival order (presses,
// movements, releases and, in an interactive window, keys), one at a time without blocking;
// false when none waits. WindowOpen and DisplayLost follow the events taken.
bool NextEvent(window::InputEvent* e);
// Names the window in its title bar. After InitMuis succeeded.
void SetTitle(const std::string& title);

// The two steps of InitMuis. InitApplication prepares the input surface's kind (nothing to
// register on this platform: true). InitMainWindow opens the graphics window with Graph::Init
// and lays the input surface over it; false when either fails.
bool InitApplication();
bool InitMainWindow(uint32_t x, uint32_t y, uint32_t w, uint32_t h);

}  // namespace Mouse
