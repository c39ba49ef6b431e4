// Drives the editor's window from outside with Xlib and XTest.
#include "tests/e2e/x_driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace e2e {
namespace {

Display* D(void* p) { return static_cast<Display*>(p); }

// A window that has gone between listing and asking about it is no fault of ours.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

bool IsGraphWindow(Display* d, Window w) {
  XClassHint hint{};
  bool match = false;
  if (XGetClassHint(d, w, &hint)) {
    match = (hint.res_class && std::strcmp(hint.res_class, "GraphWnd") == 0) ||
            (hint.res_name && std::strcmp(hint.res_name, "GraphWnd") == 0);
    if (hint.res_class) XFree(hint.res_class);
    if (hint.res_name) XFree(hint.res_name);
  }
  if (!match) {
    // The program without arguments names its window "Graph"; ledwheel edit names the file.
    char* name = nullptr;
    if (XFetchName(d, w, &name) && name) {
      const std::string title = name;
      const std::string suffix = " - ledwheel";
      match = title == "Graph" ||
              (title.size() > suffix.size() &&
               title.compare(title.size() - suffix.size(), suffix.size(), suffix) == 0);
      XFree(name);
    }
  }
  return match;
}

int MaskShift(unsigned long mask) {
  int s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return s;
}

}  // namespace

int Snapshot::Count(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) const {
  x0 = std::max(x0, x0_);
  y0 = std::max(y0, y0_);
  x1 = std::min(x1, x0_ + w_ - 1);
  y1 = std::min(y1, y0_ + h_ - 1);
  int n = 0;
  for (int32_t y = y0; y <= y1; ++y) {
    for (int32_t x = x0; x <= x1; ++x) n += At(x, y) == rgb;
  }
  return n;
}

bool DiscAt(const Snapshot& s, int32_t x, int32_t y, uint32_t rgb) {
  const int32_t d[5][2] = {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  for (const auto& o : d) {
    if (!s.Holds(x + o[0], y + o[1]) || s.At(x + o[0], y + o[1]) != rgb) return false;
  }
  return true;
}

bool RingAt(const Snapshot& s, int32_t x, int32_t y, int32_t r, uint32_t rgb) {
  if (!s.Holds(x, y) || s.At(x, y) == rgb) return false;
  // Each side: some pixel at distance r - 1 .. r + 1 along that axis, within one pixel across.
  const int32_t dirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  for (const auto& dir : dirs) {
    bool found = false;
    for (int32_t dist = r - 1; dist <= r + 1 && !found; ++dist) {
      for (int32_t across = -1; across <= 1 && !found; ++across) {
        const int32_t px = x + dir[0] * dist + dir[1] * across;
        const int32_t py = y + dir[1] * dist + dir[0] * across;
        found = s.Holds(px, py) && s.At(px, py) == rgb;
      }
    }
    if (!found) return false;
  }
  return true;
}

std::string Neighbourhood(const Snapshot& s, int32_t x, int32_t y, int32_t half) {
  std::string out = "\n";
  for (int32_t yy = y - half; yy <= y + half; ++yy) {
    for (int32_t xx = x - half; xx <= x + half; ++xx) {
      char c = ' ';
      if (s.Holds(xx, yy)) {
        switch (s.At(xx, yy)) {
          case kBlackRgb:
            c = 'k';
            break;
          case kRedRgb:
            c = 'r';
            break;
          case kGreenRgb:
            c = 'g';
            break;
          case kLightGreyRgb:
            c = 'l';
            break;
          case kDarkGreyRgb:
            c = 'd';
            break;
          case kYellowRgb:
            c = 'y';
            break;
          default:
            c = '?';
        }
      }
      out += c;
    }
    out += '\n';
  }
  return out;
}

std::string Differences(const Snapshot& a, const Snapshot& b) {
  if (a.x0() != b.x0() || a.y0() != b.y0() || a.width() != b.width() || a.height() != b.height()) {
    return "different rectangles";
  }
  int n = 0;
  std::string first;
  for (int32_t y = a.y0(); y < a.y0() + a.height(); ++y) {
    for (int32_t x = a.x0(); x < a.x0() + a.width(); ++x) {
      if (a.At(x, y) == b.At(x, y)) continue;
      if (n++ == 0) {
        char buf[96];
        std::snprintf(buf, sizeof buf, " first at (%d, %d): %06X -> %06X", x, y, a.At(x, y),
                      b.At(x, y));
        first = buf;
      }
    }
  }
  return std::to_string(n) + " pixels differ" + first;
}

XDriver::XDriver(const char* display_name) {
  display_ = XOpenDisplay(display_name);
  if (!display_) return;
  XSetErrorHandler(IgnoreErrors);
  int ev = 0, err = 0, major = 0, minor = 0;
  xtest_ = XTestQueryExtension(D(display_), &ev, &err, &major, &minor);
}

XDriver::~XDriver() {
  if (display_) XCloseDisplay(D(display_));
}

bool XDriver::FindWindow() {
  Display* d = D(display_);
  // Top-level windows, and one level down: a window manager reparents them into its frames.
  std::vector<Window> level{DefaultRootWindow(d)};
  for (int depth = 0; depth < 3; ++depth) {
    std::vector<Window> next;
    for (Window parent_window : level) {
      Window root = 0, parent = 0;
      Window* children = nullptr;
      unsigned int n = 0;
      if (!XQueryTree(d, parent_window, &root, &parent, &children, &n)) continue;
      for (unsigned int k = 0; k < n; ++k) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(d, children[k], &a) || a.map_state != IsViewable) continue;
        if (IsGraphWindow(d, children[k])) {
          window_ = children[k];
          width_ = a.width;
          height_ = a.height;
          origin_x_ = origin_y_ = 0;
          if (client_w_ > 0 && client_h_ > 0 && a.width >= client_w_ && a.height >= client_h_) {
            origin_x_ = (a.width - client_w_) / 2;
            origin_y_ = std::max(0, a.height - client_h_ - origin_x_);
            width_ = client_w_;
            height_ = client_h_;
          }
          XFree(children);
          return true;
        }
        next.push_back(children[k]);
      }
      if (children) XFree(children);
    }
    level = std::move(next);
  }
  return false;
}

bool XDriver::WaitForWindowManager(int timeout_ms) {
  Display* d = D(display_);
  const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    const bool there = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW,
                                          &type, &format, &n, &after, &data) == Success &&
                       n == 1;
    if (data) XFree(data);
    if (there) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool XDriver::SetClientSize(int32_t w, int32_t h, int timeout_ms) {
  client_w_ = w;
  client_h_ = h;
  // A window may be mapped first and given its size a moment later.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!FindWindow() || width_ != w || height_ != h) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool XDriver::WaitForWindow(int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!FindWindow()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool XDriver::AnyGraphWindow() {
  const unsigned long remembered = window_;
  const bool found = FindWindow();
  if (!found) window_ = remembered;
  return found;
}

Snapshot XDriver::Grab(int32_t x, int32_t y, int32_t w, int32_t h) {
  Display* d = D(display_);
  if (x < 0) w += x, x = 0;
  if (y < 0) h += y, y = 0;
  if (x + w > width_) w = width_ - x;
  if (y + h > height_) h = height_ - y;
  if (w <= 0 || h <= 0 || !window_) return {};
  XImage* img = XGetImage(d, window_, x + origin_x_, y + origin_y_, static_cast<unsigned>(w),
                          static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!img) return {};
  const int rs = MaskShift(img->red_mask), gs = MaskShift(img->green_mask),
            bs = MaskShift(img->blue_mask);
  const auto scale = [](unsigned long v, unsigned long mask, int shift) -> uint32_t {
    const unsigned long max = mask >> shift;
    return max ? static_cast<uint32_t>((v & mask) >> shift) * 255u / max : 0u;
  };
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  for (int32_t yy = 0; yy < h; ++yy) {
    for (int32_t xx = 0; xx < w; ++xx) {
      const unsigned long p = XGetPixel(img, xx, yy);
      px[yy * w + xx] = scale(p, img->red_mask, rs) << 16 | scale(p, img->green_mask, gs) << 8 |
                        scale(p, img->blue_mask, bs);
    }
  }
  XDestroyImage(img);
  return Snapshot(x, y, w, h, std::move(px));
}

Snapshot XDriver::WaitFor(int32_t x, int32_t y, int32_t w, int32_t h,
                          const std::function<bool(const Snapshot&)>& pred, int timeout_ms,
                          bool* held) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    Snapshot s = Grab(x, y, w, h);
    if (!s.Empty() && pred(s)) {
      if (held) *held = true;
      return s;
    }
    if (std::chrono::steady_clock::now() > until) {
      if (held) *held = false;
      return s;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

Snapshot XDriver::GrabSteady(int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  Snapshot last = GrabAll();
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    Snapshot now = GrabAll();
    if (now == last || std::chrono::steady_clock::now() > until) return now;
    last = std::move(now);
  }
}

void XDriver::Translate(int32_t x, int32_t y, int32_t* rx, int32_t* ry) {
  Display* d = D(display_);
  Window child = 0;
  int ox = 0, oy = 0;
  XTranslateCoordinates(d, window_, DefaultRootWindow(d), x + origin_x_, y + origin_y_, &ox, &oy,
                        &child);
  *rx = ox;
  *ry = oy;
}

void XDriver::MoveToScreen(int32_t x, int32_t y) {
  XTestFakeMotionEvent(D(display_), DefaultScreen(D(display_)), x, y, CurrentTime);
  XFlush(D(display_));
}

void XDriver::MoveTo(int32_t x, int32_t y) {
  int32_t rx = 0, ry = 0;
  Translate(x, y, &rx, &ry);
  MoveToScreen(rx, ry);
}

void XDriver::Click(int32_t x, int32_t y) {
  Display* d = D(display_);
  MoveTo(x, y);
  XTestFakeButtonEvent(d, 1, True, CurrentTime);
  XTestFakeButtonEvent(d, 1, False, CurrentTime);
  XSync(d, False);
}

void XDriver::ClickInPlace() {
  Display* d = D(display_);
  XTestFakeButtonEvent(d, 1, True, CurrentTime);
  XTestFakeButtonEvent(d, 1, False, CurrentTime);
  XSync(d, False);
}

void XDriver::Press() {
  XTestFakeButtonEvent(D(display_), 1, True, CurrentTime);
  XSync(D(display_), False);
}

void XDriver::Release() {
  XTestFakeButtonEvent(D(display_), 1, False, CurrentTime);
  XSync(D(display_), False);
}

void XDriver::Key(unsigned long keysym, bool ctrl, bool shift) {
  Display* d = D(display_);
  const KeyCode code = XKeysymToKeycode(d, keysym);
  const KeyCode control = XKeysymToKeycode(d, XK_Control_L);
  const KeyCode shift_key = XKeysymToKeycode(d, XK_Shift_L);
  if (ctrl) XTestFakeKeyEvent(d, control, True, CurrentTime);
  if (shift) XTestFakeKeyEvent(d, shift_key, True, CurrentTime);
  XTestFakeKeyEvent(d, code, True, CurrentTime);
  XTestFakeKeyEvent(d, code, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(d, shift_key, False, CurrentTime);
  if (ctrl) XTestFakeKeyEvent(d, control, False, CurrentTime);
  XSync(d, False);
}

std::string XDriver::Title() {
  Display* d = D(display_);
  Atom type = 0;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(d, window_, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                         XInternAtom(d, "UTF8_STRING", False), &type, &format, &n, &after,
                         &data) == Success &&
      data != nullptr && n > 0) {
    title.assign(reinterpret_cast<const char*>(data), n);
  }
  if (data != nullptr) XFree(data);
  if (title.empty()) {
    char* name = nullptr;
    if (XFetchName(d, window_, &name) && name != nullptr) {
      title = name;
      XFree(name);
    }
  }
  return title;
}

void XDriver::Cover() {
  Display* d = D(display_);
  int32_t rx = 0, ry = 0;
  Translate(0, 0, &rx, &ry);
  XSetWindowAttributes attrs{};
  attrs.override_redirect = True;
  attrs.background_pixel = WhitePixel(d, DefaultScreen(d));
  attrs.event_mask = PointerMotionMask;  // the movements are this window's, not the editor's
  cover_ = XCreateWindow(d, DefaultRootWindow(d), rx, ry, unsigned(width_), unsigned(height_), 0,
                         CopyFromParent, InputOutput, CopyFromParent,
                         CWOverrideRedirect | CWBackPixel | CWEventMask, &attrs);
  XMapRaised(d, cover_);
  XSync(d, False);
}

void XDriver::Uncover() {
  Display* d = D(display_);
  if (cover_ == 0) return;
  XDestroyWindow(d, cover_);
  cover_ = 0;
  XSync(d, False);
}

void XDriver::SendDeleteWindow() {
  Display* d = D(display_);
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = window_;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window_, False, NoEventMask, &ev);
  XSync(d, False);
}

void XDriver::Sync() { XSync(D(display_), False); }

}  // namespace e2e
