// Drives the editor's window from outside: finds it, reads its pixels, moves and clicks the mouse.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// 0xRRGGBB of the palette entries the editor uses.
constexpr uint32_t kBlackRgb = 0x000000;
constexpr uint32_t kGreenRgb = 0x00B000;
constexpr uint32_t kRedRgb = 0xB00000;
constexpr uint32_t kLightGreyRgb = 0xC0C0C0;
constexpr uint32_t kDarkGreyRgb = 0x808080;
constexpr uint32_t kYellowRgb = 0xFFFF00;

// A rectangle of the window's picture, in picture coordinates.
class Snapshot {
 public:
  Snapshot() = default;
  Snapshot(int32_t x0, int32_t y0, int32_t w, int32_t h, std::vector<uint32_t> px)
      : x0_(x0), y0_(y0), w_(w), h_(h), px_(std::move(px)) {}

  bool Holds(int32_t x, int32_t y) const {
    return x >= x0_ && y >= y0_ && x < x0_ + w_ && y < y0_ + h_;
  }
  // 0xRRGGBB at picture (x, y). REQUIRES: Holds(x, y).
  uint32_t At(int32_t x, int32_t y) const { return px_[(y - y0_) * w_ + (x - x0_)]; }
  // How many pixels of the given colour lie in [x0, x1] x [y0, y1] (clipped to the snapshot).
  int Count(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) const;
  bool Empty() const { return px_.empty(); }
  bool operator==(const Snapshot&) const = default;
  int32_t x0() const { return x0_; }
  int32_t y0() const { return y0_; }
  int32_t width() const { return w_; }
  int32_t height() const { return h_; }

 private:
  int32_t x0_ = 0, y0_ = 0, w_ = 0, h_ = 0;
  std::vector<uint32_t> px_;
};

// An LED drawn as a filled disc of rgb centred at (x, y): its centre and the four pixels next to
// it have that colour.
bool DiscAt(const Snapshot& s, int32_t x, int32_t y, uint32_t rgb);
// An LED drawn as an outline of rgb with radius r: the centre is not rgb, and the ring between
// r - 1 and r + 1 around it holds rgb on each of its four sides.
bool RingAt(const Snapshot& s, int32_t x, int32_t y, int32_t r, uint32_t rgb);

// The pixels around (x, y) as a character map, one letter per colour (k black, r red, g green,
// l light grey, d dark grey, y yellow, ? other), for failure messages.
std::string Neighbourhood(const Snapshot& s, int32_t x, int32_t y, int32_t half = 6);

// Where two snapshots of the same rectangle differ: the count, the first pixel and its values.
std::string Differences(const Snapshot& a, const Snapshot& b);

// One connection to the X server named by DISPLAY (or the given name).
class XDriver {
 public:
  explicit XDriver(const char* display_name = nullptr);
  ~XDriver();
  XDriver(const XDriver&) = delete;
  XDriver& operator=(const XDriver&) = delete;

  bool Connected() const { return display_ != nullptr; }
  // Whether the XTest extension is there to move and click.
  bool HasXTest() const { return xtest_; }

  // Waits until a window manager has announced itself on the root window. False after
  // timeout_ms.
  bool WaitForWindowManager(int timeout_ms);
  // Waits until a viewable top-level window of class "GraphWnd" (or titled "Graph") exists and
  // remembers it; under a window manager, inside its frame. False after timeout_ms.
  bool WaitForWindow(int timeout_ms);
  // Whether any such window exists now.
  bool AnyGraphWindow();
  unsigned long window() const { return window_; }
  // Size of the picture's part of the window: the client area once SetClientSize was given.
  int32_t WindowWidth() const { return width_; }
  int32_t WindowHeight() const { return height_; }
  // The drawing area is w by h, inside a frame drawn in the window itself (Wine draws the frame
  // of an unmanaged window), as thick left, right and below; the title bar takes the rest at the
  // top. Picture coordinates are then counted from the client area's corner. A window exactly w
  // by h has no frame inside it. Waits until the window holds the area; false after timeout_ms.
  bool SetClientSize(int32_t w, int32_t h, int timeout_ms);

  // Pixels of picture [x, x + w) x [y, y + h), clipped to the window.
  Snapshot Grab(int32_t x, int32_t y, int32_t w, int32_t h);
  Snapshot GrabAll() { return Grab(0, 0, width_, height_); }
  // The whole window once two grabs a little apart agree: a large box goes onto the window in
  // several transfers, so a single grab can catch one half done.
  Snapshot GrabSteady(int timeout_ms);
  // Grabs the rectangle until pred holds or timeout_ms passes; returns the last grab.
  Snapshot WaitFor(int32_t x, int32_t y, int32_t w, int32_t h,
                   const std::function<bool(const Snapshot&)>& pred, int timeout_ms,
                   bool* held = nullptr);

  // Moves the pointer to picture (x, y) (or, for MoveToScreen, the root window's (x, y)).
  void MoveTo(int32_t x, int32_t y);
  void MoveToScreen(int32_t x, int32_t y);
  // Moves to picture (x, y), then presses and releases button 1, and flushes to the server.
  void Click(int32_t x, int32_t y);
  // Presses and releases button 1 where the pointer is, without any movement.
  void ClickInPlace();
  // Button 1 down or up where the pointer is; flushed to the server.
  void Press();
  void Release();
  // Presses and releases the key of keysym (e.g. 'z', '3', ' '), with Ctrl and Shift held
  // around it when asked.
  void Key(unsigned long keysym, bool ctrl = false, bool shift = false);
  // The window's title (_NET_WM_NAME, else WM_NAME); empty when it has none.
  std::string Title();
  // Lays a window of another client over the whole editor window, and takes it away again:
  // movements while it lies there do not reach the editor.
  void Cover();
  void Uncover();
  // What a window manager sends when the user closes the window: WM_DELETE_WINDOW.
  void SendDeleteWindow();
  void Sync();

 private:
  bool FindWindow();
  void Translate(int32_t x, int32_t y, int32_t* rx, int32_t* ry);

  void* display_ = nullptr;  // the Xlib Display, kept out of this header
  bool xtest_ = false;
  unsigned long window_ = 0;
  unsigned long cover_ = 0;
  int32_t width_ = 0, height_ = 0;
  int32_t client_w_ = 0, client_h_ = 0;  // 0: the whole window is the picture
  int32_t origin_x_ = 0, origin_y_ = 0;  // the client area's corner in the window
};

}  // namespace e2e
