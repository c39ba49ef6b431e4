// Window, drawing surface and input surface on Xlib, one connection per thread.
#include "window/x11/x11_backend.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/os.h"
#include "runtime/posix/break_wait.h"

namespace window {
namespace {

// Errors about windows and drawables that have gone are expected once the user has closed the
// window while drawing goes on; Xlib's default handler would end the process.
int OnXError(Display*, XErrorEvent* e) {
  if (e->error_code == BadWindow || e->error_code == BadDrawable) return 0;
  // The focus asked for a window that a window manager has unmapped again in between.
  if (e->error_code == BadMatch && e->request_code == X_SetInputFocus) return 0;
  std::fprintf(stderr, "X error %d on request %d.%d\n", int(e->error_code), int(e->request_code),
               int(e->minor_code));
  return 0;
}

// A connection that broke (the X server went away) counts as a closed window. Returning from
// both handlers leaves the display marked broken, and Xlib returns from later calls at once.
int OnIOError(Display*) { return 0; }

void OnIOErrorExit(Display*, void* user_data) {
  static_cast<std::atomic<bool>*>(user_data)->store(true);
}

// One thread's connection to the display.
class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  ~Connection() { Close(); }

  bool Open() {
    // A server busy with a client that has just gone now and then refuses a connection; a few
    // tries a little apart tell that from a display that is not there.
    const char* name = std::getenv("DISPLAY");
    const int attempts = name != nullptr && name[0] != '\0' ? 5 : 1;
    for (int attempt = 0; attempt < attempts && dpy_ == nullptr; ++attempt) {
      if (attempt > 0) poll(nullptr, 0, 20);
      dpy_ = XOpenDisplay(nullptr);
    }
    if (dpy_ == nullptr) return false;
    // A write to a server that has gone must reach the I/O error handler, not end the program.
    rts::os::SurviveBrokenPipes();
    XSetIOErrorExitHandler(dpy_, &OnIOErrorExit, &broken_);
    return true;
  }
  void Close() {
    // Xlib frees a broken connection without talking to the server that has gone.
    if (dpy_ != nullptr) XCloseDisplay(dpy_);
    dpy_ = nullptr;
  }
  Display* get() const { return dpy_; }
  bool ok() const { return dpy_ != nullptr && !broken_.load(); }

 private:
  Display* dpy_ = nullptr;
  std::atomic<bool> broken_{false};
};

// Puts boxes of the picture onto a window, converting pixels when the visual is not 24-bit
// 0xRRGGBB in 32-bit units.
class Putter {
 public:
  void Setup(Display* dpy, Window win, uint32_t cw, uint32_t ch) {
    dpy_ = dpy;
    win_ = win;
    client_ = Box{0, 0, int64_t(cw) - 1, int64_t(ch) - 1};
    gc_ = XCreateGC(dpy, win, 0, nullptr);
    const int screen = DefaultScreen(dpy);
    visual_ = DefaultVisual(dpy, screen);
    depth_ = DefaultDepth(dpy, screen);
    int n = 0;
    int bpp = 0;
    if (XPixmapFormatValues* formats = XListPixmapFormats(dpy, &n)) {
      for (int i = 0; i < n; ++i) {
        if (formats[i].depth == depth_) bpp = formats[i].bits_per_pixel;
      }
      XFree(formats);
    }
    direct_ = depth_ == 24 && bpp == 32 && visual_->c_class == TrueColor &&
              visual_->red_mask == 0xFF0000 && visual_->green_mask == 0xFF00 &&
              visual_->blue_mask == 0xFF;
  }
  void Release() {
    if (gc_ != nullptr) XFreeGC(dpy_, gc_);
    gc_ = nullptr;
  }

  void Put(const Picture& p, const Box& box) {
    const Box b = box.Intersect(p.Bounds()).Intersect(client_);
    if (b.Empty() || gc_ == nullptr) return;
    const int w = int(b.x1 - b.x0 + 1), h = int(b.y1 - b.y0 + 1);
    if (direct_) {
      XImage img{};
      img.width = p.width();
      img.height = p.height();
      img.format = ZPixmap;
      img.data = reinterpret_cast<char*>(const_cast<uint32_t*>(p.data()));
      img.byte_order = LSBFirst;  // the picture's 32-bit words in this machine's order
      img.bitmap_unit = 32;
      img.bitmap_bit_order = LSBFirst;
      img.bitmap_pad = 32;
      img.depth = 24;
      img.bytes_per_line = p.width() * 4;
      img.bits_per_pixel = 32;
      img.red_mask = 0xFF0000;
      img.green_mask = 0xFF00;
      img.blue_mask = 0xFF;
      if (XInitImage(&img) == 0) return;
      XPutImage(dpy_, win_, gc_, &img, int(b.x0), int(b.y0), int(b.x0), int(b.y0), unsigned(w),
                unsigned(h));
      return;
    }
    XImage* img = XCreateImage(dpy_, visual_, unsigned(depth_), ZPixmap, 0, nullptr, unsigned(w),
                               unsigned(h), 32, 0);
    if (img == nullptr) return;
    std::vector<char> buffer(size_t(img->bytes_per_line) * size_t(h));
    img->data = buffer.data();
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        img->f.put_pixel(img, x, y, Pixel(p.At(int32_t(b.x0 + x), int32_t(b.y0 + y))));
      }
    }
    XPutImage(dpy_, win_, gc_, img, 0, 0, int(b.x0), int(b.y0), unsigned(w), unsigned(h));
    img->data = nullptr;
    XDestroyImage(img);
  }

 private:
  static unsigned long Scale(uint32_t v8, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const unsigned long max = mask >> shift;
    return ((v8 * max + 127) / 255) << shift;
  }
  unsigned long Pixel(uint32_t rgb) {
    if (visual_->c_class == TrueColor || visual_->c_class == DirectColor) {
      return Scale((rgb >> 16) & 255, visual_->red_mask) |
             Scale((rgb >> 8) & 255, visual_->green_mask) | Scale(rgb & 255, visual_->blue_mask);
    }
    // A colour-mapped display: each colour gets its cell once.
    if (rgb == last_rgb_) return last_pixel_;
    auto it = cells_.find(rgb);
    if (it == cells_.end()) it = cells_.emplace(rgb, Cell(rgb)).first;
    last_rgb_ = rgb;
    last_pixel_ = it->second;
    return last_pixel_;
  }

  // A cell of the default colormap for the colour: a shared cell of its own, or, when the
  // colormap is full, the cell that comes nearest.
  unsigned long Cell(uint32_t rgb) {
    const int screen = DefaultScreen(dpy_);
    const Colormap map = DefaultColormap(dpy_, screen);
    const auto wide = [](uint32_t v8) { return static_cast<unsigned short>(v8 * 257); };
    XColor want{};
    want.red = wide((rgb >> 16) & 255);
    want.green = wide((rgb >> 8) & 255);
    want.blue = wide(rgb & 255);
    want.flags = DoRed | DoGreen | DoBlue;
    if (XAllocColor(dpy_, map, &want) != 0) return want.pixel;
    if (map_.empty()) {
      map_.resize(size_t(std::max(visual_->map_entries, 1)));
      for (size_t k = 0; k < map_.size(); ++k) map_[k].pixel = k;
      XQueryColors(dpy_, map, map_.data(), int(map_.size()));
    }
    const auto d = [](int a, int b) { return int64_t(a - b) * (a - b); };
    unsigned long best = BlackPixel(dpy_, screen);
    int64_t best_distance = INT64_MAX;
    for (const XColor& c : map_) {
      const int64_t distance = d(c.red >> 8, int((rgb >> 16) & 255)) +
                               d(c.green >> 8, int((rgb >> 8) & 255)) +
                               d(c.blue >> 8, int(rgb & 255));
      if (distance < best_distance) best_distance = distance, best = c.pixel;
    }
    return best;
  }

  Display* dpy_ = nullptr;
  Window win_ = 0;
  GC gc_ = nullptr;
  Visual* visual_ = nullptr;
  int depth_ = 0;
  bool direct_ = false;
  Box client_;
  std::unordered_map<uint32_t, unsigned long> cells_;  // colour-mapped displays only
  uint32_t last_rgb_ = 0xFFFFFFFF;                     // no colour has this value
  unsigned long last_pixel_ = 0;
  std::vector<XColor> map_;  // the colormap's cells, read when it was full
};

Atom Intern(Display* dpy, const char* name) { return XInternAtom(dpy, name, False); }

// The window's title, for window managers of both conventions.
void Name(Display* dpy, Window w, const std::string& title) {
  XStoreName(dpy, w, title.c_str());
  XChangeProperty(dpy, w, Intern(dpy, "_NET_WM_NAME"), Intern(dpy, "UTF8_STRING"), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                  int(title.size()));
}

// A key as the editor knows it: the character typed without Ctrl, letters in lower case and
// keypad digits as digits; 0 for any other key.
char KeyOf(const XKeyEvent& key) {
  XKeyEvent plain = key;
  plain.state &= ~unsigned(ControlMask);
  KeySym sym = NoSymbol;
  char text[8];
  XLookupString(&plain, text, sizeof text, &sym, nullptr);
  if (sym >= XK_a && sym <= XK_z) return char('a' + (sym - XK_a));
  if (sym >= XK_A && sym <= XK_Z) return char('a' + (sym - XK_A));
  if (sym >= XK_0 && sym <= XK_9) return char('0' + (sym - XK_0));
  if (sym >= XK_KP_0 && sym <= XK_KP_9) return char('0' + (sym - XK_KP_0));
  if (sym == XK_space || sym == XK_KP_Space) return ' ';
  return 0;
}

// The window manager's current desktop; 0 when it says none.
unsigned long CurrentDesktop(Display* dpy, Window root) {
  Atom type = 0;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  unsigned long desktop = 0;
  if (XGetWindowProperty(dpy, root, Intern(dpy, "_NET_CURRENT_DESKTOP"), 0, 1, False, XA_CARDINAL,
                         &type, &format, &n, &after, &data) == Success &&
      data != nullptr) {
    if (type == XA_CARDINAL && format == 32 && n == 1) {
      desktop = *reinterpret_cast<const unsigned long*>(data);
    }
    XFree(data);
  }
  return desktop;
}

class X11Window final : public WindowHost {
 public:
  X11Window() {
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
  }
  ~X11Window() override {
    Close();
    for (int fd : wake_) {
      if (fd >= 0) close(fd);
    }
  }

  bool Create(const WindowPlace& place, std::string* message) override {
    *message = "Couldn't create main window";
    if (wake_[0] < 0 || !conn_.Open()) return false;
    Display* dpy = conn_.get();
    const int screen = DefaultScreen(dpy);
    XSetWindowAttributes attrs{};
    attrs.background_pixel = BlackPixel(dpy, screen);
    attrs.border_pixel = BlackPixel(dpy, screen);
    attrs.event_mask = ExposureMask | StructureNotifyMask;
    win_ = XCreateWindow(dpy, RootWindow(dpy, screen), place.x, place.y, place.client_width,
                         place.client_height, 0, CopyFromParent, InputOutput, CopyFromParent,
                         CWBackPixel | CWBorderPixel | CWEventMask, &attrs);
    if (win_ == 0) return false;

    Name(dpy, win_, place.style.title);
    char class_name[] = "GraphWnd";
    XClassHint class_hint{class_name, class_name};
    XSetClassHint(dpy, win_, &class_hint);
    // Not resizable, placed where asked.
    XSizeHints size{};
    size.flags = USPosition | PPosition | PSize | PMinSize | PMaxSize;
    size.x = place.x;
    size.y = place.y;
    size.width = size.min_width = size.max_width = int(place.client_width);
    size.height = size.min_height = size.max_height = int(place.client_height);
    XSetWMNormalHints(dpy, win_, &size);
    // The window takes no keyboard input, so it never takes the focus from the console; an
    // interactive one takes the focus once it shows.
    interactive_ = place.style.interactive;
    XWMHints wm{};
    wm.flags = InputHint | StateHint;
    wm.input = interactive_ ? True : False;
    wm.initial_state = NormalState;
    XSetWMHints(dpy, win_, &wm);
    if (!interactive_) {
      const long user_time = 0;
      XChangeProperty(dpy, win_, Intern(dpy, "_NET_WM_USER_TIME"), XA_CARDINAL, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&user_time), 1);
    }
    const long pid = long(getpid());
    XChangeProperty(dpy, win_, Intern(dpy, "_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    // Kept above other windows.
    const long above = long(Intern(dpy, "_NET_WM_STATE_ABOVE"));
    XChangeProperty(dpy, win_, Intern(dpy, "_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&above), 1);
    delete_ = Intern(dpy, "WM_DELETE_WINDOW");
    XSetWMProtocols(dpy, win_, &delete_, 1);

    putter_.Setup(dpy, win_, place.client_width, place.client_height);
    XMapWindow(dpy, win_);
    // Other connections get the id only once the server knows the window.
    XSync(dpy, False);
    if (!conn_.ok()) return false;
    XWindowAttributes check;
    return XGetWindowAttributes(dpy, win_, &check) != 0;
  }

  WindowId Id() const override { return win_; }

  void Run(const std::function<void()>& repaint) override {
    Display* dpy = conn_.get();
    bool closed = false;
    while (!closed && conn_.ok()) {
      while (!closed && conn_.ok() && XPending(dpy) > 0) {
        XEvent e;
        XNextEvent(dpy, &e);
        switch (e.type) {
          case Expose:
            // The last of a series: the whole picture goes up once.
            if (e.xexpose.count == 0) repaint();
            // Shown, so viewable: the time to take the focus.
            if (interactive_ && !focused_) TakeFocus(dpy);
            break;
          case ClientMessage:
            if (e.xclient.format == 32 && Atom(e.xclient.data.l[0]) == delete_) closed = true;
            break;
          case DestroyNotify:
            if (e.xdestroywindow.window == win_) closed = true;
            break;
          default:
            break;
        }
      }
      if (closed || !conn_.ok()) break;
      XFlush(dpy);
      pollfd fds[2] = {{ConnectionNumber(dpy), POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
      if (fds[1].revents & POLLIN) break;
    }
  }

  void Quit() override {
    if (wake_[1] >= 0) {
      const char byte = 1;
      [[maybe_unused]] ssize_t n = write(wake_[1], &byte, 1);
    }
  }

  void Put(const Picture& p, const Box& box) override {
    if (conn_.ok()) putter_.Put(p, box);
  }

  void Close() override {
    if (conn_.get() != nullptr) putter_.Release();
    if (conn_.ok() && win_ != 0) {
      XDestroyWindow(conn_.get(), win_);
      XSync(conn_.get(), False);
    }
    win_ = 0;
    conn_.Close();
  }

 private:
  // Asks a window manager to activate the window, and gives it the focus directly for the
  // case there is none.
  void TakeFocus(Display* dpy) {
    focused_ = true;
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = win_;
    ev.xclient.message_type = Intern(dpy, "_NET_ACTIVE_WINDOW");
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = 1;  // from an application
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, DefaultRootWindow(dpy), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XSetInputFocus(dpy, win_, RevertToParent, CurrentTime);
  }

  Connection conn_;
  Window win_ = 0;
  Atom delete_ = 0;
  Putter putter_;
  int wake_[2] = {-1, -1};
  bool interactive_ = false;
  bool focused_ = false;
};

class X11Surface final : public DrawSurface {
 public:
  ~X11Surface() override {
    if (conn_.get() != nullptr) putter_.Release();
  }
  bool Attach(WindowId window, uint32_t cw, uint32_t ch) override {
    if (!conn_.Open()) return false;
    putter_.Setup(conn_.get(), Window(window), cw, ch);
    return true;
  }
  void Put(const Picture& p, const Box& box) override {
    if (conn_.ok()) putter_.Put(p, box);
  }
  void Flush() override {
    if (conn_.ok()) XFlush(conn_.get());
  }

 private:
  Connection conn_;
  Putter putter_;
};

class X11Input final : public InputSurface {
 public:
  bool Open(WindowId parent, uint32_t w, uint32_t h, bool interactive) override {
    if (!conn_.Open()) return false;
    Display* dpy = conn_.get();
    interactive_ = interactive;
    parent_ = Window(parent);
    XSetWindowAttributes attrs{};
    // Presses are taken too: a press that went on to an ancestor where another client listens
    // (a window manager's frame, a desktop on the root window) would give that client the
    // pointer grab, and the release would never come back to us.
    attrs.event_mask =
        PointerMotionMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    win_ = XCreateWindow(dpy, Window(parent), 0, 0, std::max(w, 1u), std::max(h, 1u), 0, 0,
                         InputOnly, CopyFromParent, CWEventMask, &attrs);
    XMapWindow(dpy, win_);
    XSync(dpy, False);
    XWindowAttributes surface, client;
    if (!conn_.ok() || XGetWindowAttributes(dpy, win_, &surface) == 0 ||
        XGetWindowAttributes(dpy, Window(parent), &client) == 0) {
      return false;
    }
    // Only the part over the client area can be seen, and so pointed at.
    visible_w_ = std::min(surface.width, client.width);
    visible_h_ = std::min(surface.height, client.height);
    // Keys go to the window that has the focus and, from a child under the pointer that does
    // not take them (this surface), on to that window: taken there on this connection.
    if (interactive_) XSelectInput(dpy, parent_, KeyPressMask);
    return true;
  }

  void SetTitle(const std::string& title) override {
    if (!conn_.ok()) return;
    Name(conn_.get(), parent_, title);
    XFlush(conn_.get());
  }

  bool Next(InputEvent* out) override {
    if (!conn_.ok()) {
      if (conn_.get() == nullptr || gone_) return false;
      gone_ = true;
      *out = InputEvent{InputEvent::Kind::kLost};
      return true;
    }
    Display* dpy = conn_.get();
    while (XEventsQueued(dpy, QueuedAlready) > 0 || XPending(dpy) > 0) {
      XEvent e;
      XNextEvent(dpy, &e);
      switch (e.type) {
        case MotionNotify: {
          // While a press of ours holds the grab, movements outside come to us too.
          const bool over = Over(e.xmotion.same_screen, e.xmotion.x, e.xmotion.y);
          if (!over && !interactive_) break;
          *out = InputEvent{InputEvent::Kind::kMotion, e.xmotion.x, e.xmotion.y};
          out->over = over;
          out->held = (e.xmotion.state & (Button1Mask | Button2Mask | Button3Mask)) != 0;
          return true;
        }
        case ButtonPress:
          if (!interactive_ || !Over(e.xbutton.same_screen, e.xbutton.x, e.xbutton.y)) break;
          *out =
              InputEvent{InputEvent::Kind::kPress, e.xbutton.x, e.xbutton.y, int(e.xbutton.button)};
          return true;
        case ButtonRelease: {
          // A release outside (after a press of ours) is no click, as without the grab.
          const bool over = Over(e.xbutton.same_screen, e.xbutton.x, e.xbutton.y);
          if (!over && !interactive_) break;
          *out = InputEvent{InputEvent::Kind::kRelease, e.xbutton.x, e.xbutton.y,
                            int(e.xbutton.button)};
          out->over = over;
          return true;
        }
        case KeyPress:
          if (!interactive_) break;
          *out = InputEvent{InputEvent::Kind::kKey};
          out->key = KeyOf(e.xkey);
          out->ctrl = (e.xkey.state & ControlMask) != 0;
          out->shift = (e.xkey.state & ShiftMask) != 0;
          return true;
        case DestroyNotify: {
          if (e.xdestroywindow.window != win_) break;
          // A server that shuts down destroys every window before it lets its clients go: a
          // round trip that fails tells that from a window closed while the display stays.
          XSync(dpy, False);
          gone_ = true;
          *out = InputEvent{conn_.ok() ? InputEvent::Kind::kDestroyed : InputEvent::Kind::kLost};
          return true;
        }
        default:
          break;
      }
    }
    if (!conn_.ok()) return Next(out);
    return false;
  }

  bool Wait(int timeout_ms) override {
    // Gone: nothing more to wait for; a broken connection still has its kLost to give.
    if (gone_ || conn_.get() == nullptr) return false;
    if (!conn_.ok()) return true;
    Display* dpy = conn_.get();
    if (XEventsQueued(dpy, QueuedAfterFlush) > 0) return true;
    // A server that goes away makes the connection readable (its end), so that is seen too.
    return rts::os::WaitReadableOrBreak(ConnectionNumber(dpy), timeout_ms) ==
           rts::os::WaitOutcome::kReady;
  }

 private:
  bool Over(Bool same_screen, int x, int y) const {
    return same_screen && x >= 0 && y >= 0 && x < visible_w_ && y < visible_h_;
  }

  Connection conn_;
  Window win_ = 0;
  Window parent_ = 0;
  int visible_w_ = 0, visible_h_ = 0;
  bool gone_ = false;
  bool interactive_ = false;
};

class X11 final : public Backend {
 public:
  void InitThreads() override {
    std::call_once(once_, [] {
      XInitThreads();
      XSetErrorHandler(&OnXError);
      XSetIOErrorHandler(&OnIOError);
    });
  }
  uint32_t ColourCount() override {
    Connection c;
    if (!c.Open()) return 0;
    const int depth = DefaultDepth(c.get(), DefaultScreen(c.get()));
    return depth >= 32 ? UINT32_MAX : uint32_t(1) << depth;
  }
  bool Room(ScreenRoom* room) override {
    Connection c;
    if (!c.Open()) return false;
    Display* dpy = c.get();
    const int screen = DefaultScreen(dpy);
    room->width = uint32_t(DisplayWidth(dpy, screen));
    room->height = uint32_t(DisplayHeight(dpy, screen));
    // A window manager with panels publishes the area it leaves free, per desktop.
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, RootWindow(dpy, screen), Intern(dpy, "_NET_WORKAREA"), 0, 1024,
                           False, XA_CARDINAL, &type, &format, &n, &after, &data) == Success &&
        data != nullptr) {
      if (type == XA_CARDINAL && format == 32 && n >= 4) {
        // Xlib hands 32-bit items over as longs.
        const long* area = reinterpret_cast<const long*>(data);
        const unsigned long desktop = CurrentDesktop(dpy, RootWindow(dpy, screen));
        const unsigned long k = desktop < n / 4 ? desktop : 0;
        const long w = area[4 * k + 2], h = area[4 * k + 3];
        if (w > 0 && h > 0) {
          room->width = std::min(room->width, uint32_t(w));
          room->height = std::min(room->height, uint32_t(h));
        }
      }
      XFree(data);
    }
    return true;
  }
  std::unique_ptr<WindowHost> NewWindow() override { return std::make_unique<X11Window>(); }
  std::unique_ptr<DrawSurface> NewSurface() override { return std::make_unique<X11Surface>(); }
  std::unique_ptr<InputSurface> NewInput() override { return std::make_unique<X11Input>(); }

 private:
  std::once_flag once_;
};

}  // namespace

Backend& X11Backend() {
  static X11 backend;
  return backend;
}

Backend& PlatformBackend() { return X11Backend(); }

WindowProbe::WindowProbe() : dpy_(XOpenDisplay(nullptr)) {}
WindowProbe::~WindowProbe() {
  if (dpy_ != nullptr) XCloseDisplay(static_cast<Display*>(dpy_));
}

uint32_t WindowProbe::Pixel(WindowId window, int x, int y) {
  if (dpy_ == nullptr) return 0xFF000000u;
  XImage* img =
      XGetImage(static_cast<Display*>(dpy_), Window(window), x, y, 1, 1, AllPlanes, ZPixmap);
  if (img == nullptr) return 0xFF000000u;
  const uint32_t v = uint32_t(XGetPixel(img, 0, 0)) & 0xFFFFFFu;
  XDestroyImage(img);
  return v;
}

void WindowProbe::Repaint(WindowId window) {
  if (dpy_ == nullptr) return;
  Display* dpy = static_cast<Display*>(dpy_);
  XClearArea(dpy, Window(window), 0, 0, 0, 0, True);
  XSync(dpy, False);
}

}  // namespace window
