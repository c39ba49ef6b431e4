// The narrow platform layer under Graph and Mouse: window, drawing surface and input surface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "window/picture.h"

namespace window {

using WindowId = uint64_t;

// How the window presents itself. The defaults are the program without arguments: the title
// "Graph", and the keyboard left with the console (the window never takes the focus).
// Interactive (ledwheel edit): the window takes the keyboard focus, keys reach the input surface,
// and a press holds the pointer until its release, so that a drag reports where it leaves the
// client area.
struct WindowStyle {
  std::string title = "Graph";
  bool interactive = false;
};

// Where the window goes: the client area's size, the screen position of the window.
struct WindowPlace {
  int32_t x = 0, y = 0;
  uint32_t client_width = 0, client_height = 0;
  WindowStyle style;
};

// The graphics window, owned by the window thread. Every call but Quit comes from that thread.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // Opens the window and shows it. On failure sets *message to what the user is to be told.
  virtual bool Create(const WindowPlace& place, std::string* message) = 0;
  // The window's id, usable from other threads' connections. Valid after Create succeeded.
  virtual WindowId Id() const = 0;
  // Handles window events until the user closes the window or Quit is called; repaint runs for
  // each request to redraw the whole client area.
  virtual void Run(const std::function<void()>& repaint) = 0;
  // Makes Run return soon. Any thread; may come before Run starts.
  virtual void Quit() = 0;
  // Puts the box of the picture onto the window (clipped to the client area).
  virtual void Put(const Picture& p, const Box& box) = 0;
  // Destroys the window and ends the connection.
  virtual void Close() = 0;
};

// The drawing server's view of the window, on a connection of its own. One thread only.
class DrawSurface {
 public:
  virtual ~DrawSurface() = default;
  virtual bool Attach(WindowId window, uint32_t client_width, uint32_t client_height) = 0;
  // Puts the box of the picture onto the window without waiting for the display.
  virtual void Put(const Picture& p, const Box& box) = 0;
  // Sends whatever is buffered.
  virtual void Flush() = 0;
};

struct InputEvent {
  // kDestroyed: the window has gone (closed through the window manager). kLost: the connection
  // to the display has gone, and the window with it. kPress and kKey come only from
  // interactive surfaces.
  enum class Kind { kMotion, kRelease, kDestroyed, kLost, kPress, kKey };
  Kind kind = Kind::kMotion;
  int32_t x = 0, y = 0;  // kMotion, kRelease, kPress: pointer position in the surface
  int button = 0;        // kRelease, kPress: 1 left, 2 middle, 3 right, 4 to 7 the wheel
  // kMotion, kRelease: whether the pointer lies over the visible client area.
  bool over = true;
  bool held = false;  // kMotion: a button 1 to 3 is held down
  // kKey: 'a' to 'z', '0' to '9' or ' ' as typed without Ctrl (letters in lower case, keypad
  // digits as digits); 0 for any other key. The state of Ctrl and Shift at the time.
  char key = 0;
  bool ctrl = false, shift = false;
};

// The input surface over the graphics window's client area. One thread only.
// Only what happens over the visible client area is reported: movements and button releases
// there. Button presses over the surface are taken (and dropped unless the surface is
// interactive), so that the pointer grab a press starts is the surface's under any window
// manager and the release comes back to it. While a press holds the pointer, an interactive
// surface also reports movements and releases elsewhere, with over false.
class InputSurface {
 public:
  virtual ~InputSurface() = default;
  // Lays a surface of w by h at (0, 0) of the window. Interactive: the keys typed while the
  // window has the focus come to the surface too. False when it cannot be made.
  virtual bool Open(WindowId parent, uint32_t w, uint32_t h, bool interactive) = 0;
  // Names the window (its title bar). Any time after Open.
  virtual void SetTitle(const std::string& title) = 0;
  // Takes the next waiting input event without blocking; false when none waits. kDestroyed or
  // kLost comes once, when the window or the display has gone; nothing comes after it.
  virtual bool Next(InputEvent* e) = 0;
  // Sleeps until input may be waiting, a console break has been recorded (also one recorded
  // before the call), or timeout_ms passes; a negative timeout_ms waits without limit. Returns
  // at once when the surface has gone. Takes nothing; true when input may be waiting.
  virtual bool Wait(int timeout_ms) = 0;
};

// The room a window has on the screen the program runs on, in pixels.
struct ScreenRoom {
  uint32_t width = 0, height = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Prepares the platform for several threads; before any other call. Idempotent.
  virtual void InitThreads() = 0;
  // Colours the display can show, saturated to 32 bits; 0 when there is no display.
  virtual uint32_t ColourCount() = 0;
  // The room for a window: the work area a window manager leaves free of its panels, else the
  // whole screen. False when there is no display. Any thread; asks the display afresh.
  virtual bool Room(ScreenRoom* room) = 0;
  virtual std::unique_ptr<WindowHost> NewWindow() = 0;
  virtual std::unique_ptr<DrawSurface> NewSurface() = 0;
  virtual std::unique_ptr<InputSurface> NewInput() = 0;
};

// The process's backend for the platform it was built for (X11 or Win32; CMake compiles one).
Backend& PlatformBackend();

}  // namespace window
