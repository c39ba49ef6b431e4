// Window, drawing surface and input window on Win32: the picture goes up by DIB transfer.
#include "window/win32/win32_backend.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>

#include "runtime/os.h"
#include "runtime/win32/break_wait.h"

namespace window {
namespace {

constexpr const char* kGraphClass = "GraphWnd";
constexpr const char* kInputClass = "M";
// Own private context, client area on byte boundaries.
constexpr UINT kGraphClassStyle = CS_OWNDC | CS_BYTEALIGNCLIENT;
// A title bar, a thin frame that does not size, a system menu with Close, a minimise button.
constexpr DWORD kGraphStyle = WS_CAPTION | WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kGraphExStyle = WS_EX_TOPMOST;
// Pause before the first activation is handed back, so the system has finished activating us.
constexpr DWORD kActivationPauseMs = 50;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// True when the class is registered now, by this call or an earlier one.
bool Register(const WNDCLASSEXA& wc) {
  return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Puts the box of the picture, clipped to it and to the client area, onto dc. The picture's
// 0x00RRGGBB words are a 32-bit DIB's pixels as they stand.
void PutDib(HDC dc, const Picture& p, const Box& box, const Box& client) {
  const Box b = box.Intersect(p.Bounds()).Intersect(client);
  if (dc == nullptr || b.Empty()) return;
  const int w = int(b.x1 - b.x0 + 1), h = int(b.y1 - b.y0 + 1);
  // A top-down DIB of just the box's rows: its source origin is the same whichever way the
  // system counts rows.
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = p.width();
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  const uint32_t* rows = p.data() + size_t(b.y0) * size_t(p.width());
  StretchDIBits(dc, int(b.x0), int(b.y0), w, h, int(b.x0), 0, w, h, rows, &bi, DIB_RGB_COLORS,
                SRCCOPY);
}

// The window procedure of a class whose windows are made with their object as the creation
// parameter: the messages go to that object's Handle.
template <class Owner>
LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return self != nullptr ? self->Handle(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
}

Box ClientBox(uint32_t cw, uint32_t ch) { return Box{0, 0, int64_t(cw) - 1, int64_t(ch) - 1}; }

class Win32Window final : public WindowHost {
 public:
  ~Win32Window() override { Close(); }

  bool Create(const WindowPlace& place, std::string* message) override {
    *message = "Win class was not registered";
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = kGraphClassStyle;
    wc.lpfnWndProc = &Proc<Win32Window>;
    wc.hInstance = Instance();
    wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
    wc.lpszClassName = kGraphClass;
    if (!Register(wc)) return false;

    *message = "Couldn't create main window";
    client_ = ClientBox(place.client_width, place.client_height);
    int32_t outer_w = 0, outer_h = 0;
    OuterSizeFor(place.client_width, place.client_height, &outer_w, &outer_h);
    thread_id_.store(GetCurrentThreadId());
    interactive_ = place.style.interactive;
    first_activation_ = !interactive_;
    // Made hidden and shown without activation: the console keeps the keyboard. An interactive
    // window is activated and takes it.
    hwnd_ = CreateWindowExA(kGraphExStyle, kGraphClass, place.style.title.c_str(), kGraphStyle,
                            place.x, place.y, outer_w, outer_h, nullptr, nullptr, Instance(), this);
    if (hwnd_ == nullptr) return false;
    shown_.store(hwnd_);
    FitClient(place);
    if (interactive_) {
      ShowWindow(hwnd_, SW_SHOW);
      SetForegroundWindow(hwnd_);
    } else {
      ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    }
    UpdateWindow(hwnd_);
    return true;
  }

  WindowId Id() const override { return WindowId(reinterpret_cast<uintptr_t>(hwnd_)); }

  void Run(const std::function<void()>& repaint) override {
    repaint_ = &repaint;
    // Repaint what was uncovered while nobody could.
    if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, FALSE);
    MSG msg;
    while (!quit_.load() && GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    repaint_ = nullptr;
  }

  void Quit() override {
    quit_.store(true);
    // Child windows of the calling thread (the input window) go first: destroying them from
    // the window thread would wait for this thread, which is about to wait for that one.
    if (HWND hwnd = shown_.load(); hwnd != nullptr) {
      EnumChildWindows(hwnd, &Win32Window::DestroyIfOurs, LPARAM(GetCurrentThreadId()));
    }
    if (const DWORD id = thread_id_.load(); id != 0) PostThreadMessageA(id, WM_QUIT, 0, 0);
  }

  void Put(const Picture& p, const Box& box) override {
    if (hwnd_ == nullptr) return;
    if (paint_dc_ != nullptr) {
      PutDib(paint_dc_, p, box, client_);
      return;
    }
    HDC dc = GetDC(hwnd_);
    PutDib(dc, p, box, client_);
    ReleaseDC(hwnd_, dc);
  }

  void Close() override {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }

 private:
  // Frames differ with the system's theme: when the client area did not come out at the size
  // asked for, grow or shrink the window by the difference.
  void FitClient(const WindowPlace& place) {
    RECT r{};
    if (!GetClientRect(hwnd_, &r)) return;
    const int dw = int(place.client_width) - (r.right - r.left);
    const int dh = int(place.client_height) - (r.bottom - r.top);
    if (dw == 0 && dh == 0) return;
    RECT outer{};
    GetWindowRect(hwnd_, &outer);
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left + dw, outer.bottom - outer.top + dh,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (repaint_ != nullptr) {
          paint_dc_ = dc;
          (*repaint_)();
          paint_dc_ = nullptr;
        }
        EndPaint(hwnd, &ps);
        return 0;
      }
      case WM_ERASEBKGND:
        return 1;  // the picture covers the whole client area
      case WM_MOUSEACTIVATE:
        // Clicks that paint leave the console active, so Ctrl+C still reaches it.
        if (!interactive_ && LOWORD(lp) == HTCLIENT) return MA_NOACTIVATE;
        break;
      case WM_SETFOCUS:
        // The keys belong to the input window over the client area, on the caller's thread
        // (whose input this thread shares, the two windows being parent and child).
        if (interactive_) {
          if (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr) SetFocus(child);
          return 0;
        }
        break;
      case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && first_activation_) {
          first_activation_ = false;
          Sleep(kActivationPauseMs);
          // Give the activation back to the window that had it (the console).
          if (lp != 0) SetForegroundWindow(reinterpret_cast<HWND>(lp));
          return 0;
        }
        break;
      case WM_CLOSE:
        PostQuitMessage(0);
        break;  // the default destroys the window
      case WM_MOUSEMOVE:
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_RBUTTONDOWN:
        return 0;
      case WM_NCDESTROY:
        shown_.store(nullptr);
        hwnd_ = nullptr;
        break;
      default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  }

  static BOOL CALLBACK DestroyIfOurs(HWND child, LPARAM thread) {
    if (GetWindowThreadProcessId(child, nullptr) == DWORD(thread)) DestroyWindow(child);
    return TRUE;
  }

  friend LRESULT CALLBACK Proc<Win32Window>(HWND, UINT, WPARAM, LPARAM);

  HWND hwnd_ = nullptr;               // window thread's
  std::atomic<HWND> shown_{nullptr};  // the same, for Quit from other threads
  Box client_;
  std::atomic<DWORD> thread_id_{0};
  std::atomic<bool> quit_{false};
  bool first_activation_ = true;
  bool interactive_ = false;
  const std::function<void()>* repaint_ = nullptr;
  HDC paint_dc_ = nullptr;  // during WM_PAINT
};

class Win32Surface final : public DrawSurface {
 public:
  bool Attach(WindowId window, uint32_t cw, uint32_t ch) override {
    hwnd_ = reinterpret_cast<HWND>(uintptr_t(window));
    client_ = ClientBox(cw, ch);
    // The class's own context: the same on every call, kept for the window's life.
    dc_ = GetDC(hwnd_);
    return dc_ != nullptr;
  }
  void Put(const Picture& p, const Box& box) override {
    // After the user has closed the window its context has gone with it.
    if (dc_ != nullptr && IsWindow(hwnd_)) PutDib(dc_, p, box, client_);
  }
  void Flush() override {
    GdiFlush();
    // Some systems (Wine) copy a window's drawing to the screen only when a thread of the
    // program next waits for messages: wake the window thread once per burst of drawing.
    if (IsWindow(hwnd_)) PostMessageA(hwnd_, WM_NULL, 0, 0);
  }

 private:
  HWND hwnd_ = nullptr;
  HDC dc_ = nullptr;
  Box client_;
};

class Win32Input final : public InputSurface {
 public:
  ~Win32Input() override {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }

  bool Open(WindowId parent, uint32_t w, uint32_t h, bool interactive) override {
    interactive_ = interactive;
    parent_ = reinterpret_cast<HWND>(uintptr_t(parent));
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = 0;  // no double clicks: every release counts
    wc.lpfnWndProc = &Proc<Win32Input>;
    wc.hInstance = Instance();
    wc.hIcon = wc.hIconSm = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
    wc.lpszClassName = kInputClass;
    if (!Register(wc)) return false;
    // A child of the graphics window owned by this thread, so its mouse messages wait here
    // until the caller polls. The graphics window does not clip its children: everything it
    // draws stays visible over this one.
    hwnd_ = CreateWindowExA(0, kInputClass, "", WS_CHILD, 0, 0, int(w), int(h), parent_, nullptr,
                            Instance(), this);
    if (hwnd_ == nullptr) return false;
    // Only the part over the client area can be seen, and so pointed at.
    RECT client{};
    GetClientRect(parent_, &client);
    visible_w_ = std::min(int(w), int(client.right - client.left));
    visible_h_ = std::min(int(h), int(client.bottom - client.top));
    ShowWindow(hwnd_, SW_SHOWNA);
    UpdateWindow(hwnd_);
    if (interactive_) SetFocus(hwnd_);
    return true;
  }

  void SetTitle(const std::string& title) override {
    if (parent_ != nullptr && IsWindow(parent_)) SetWindowTextA(parent_, title.c_str());
  }

  bool Next(InputEvent* e) override {
    if (events_.empty()) Pump();
    if (events_.empty()) return false;
    *e = events_.front();
    events_.pop_front();
    return true;
  }

  bool Wait(int timeout_ms) override {
    if (!events_.empty()) return true;
    if (gone_ || hwnd_ == nullptr || rts::os::BreakRecorded()) return false;
    MSG msg;
    if (PeekMessageA(&msg, nullptr, First(), WM_MOUSELAST, PM_NOREMOVE)) return true;
    // Wakes for a console break and for messages that arrive from now on: the mouse's, posted
    // ones (mouse messages can be posted too) and sent ones. Others that wait already, which
    // the pump leaves alone, do not keep waking it.
    HANDLE on_break = static_cast<HANDLE>(rts::os::BreakEvent());
    const DWORD handles = on_break != nullptr ? 1 : 0;
    const DWORD wake = QS_MOUSE | QS_POSTMESSAGE | QS_SENDMESSAGE | (interactive_ ? QS_KEY : 0);
    const DWORD r = MsgWaitForMultipleObjectsEx(
        handles, &on_break, timeout_ms < 0 ? INFINITE : DWORD(timeout_ms), wake, 0);
    if (r != WAIT_OBJECT_0 + handles) return false;
    return PeekMessageA(&msg, nullptr, First(), WM_MOUSELAST, PM_NOREMOVE) != 0;
  }

 private:
  // The first message number the pump takes: the mouse's, and from the keyboard's on (in one
  // range, so that keys and the mouse keep their order) when interactive.
  UINT First() const { return interactive_ ? WM_KEYFIRST : WM_MOUSEFIRST; }

  void Pump() {
    MSG msg;
    // Mouse (and key) messages only; whatever else waits stays in the queue. Messages sent from
    // the window thread (the input window's destruction) are handled inside PeekMessage.
    while (PeekMessageA(&msg, nullptr, First(), WM_MOUSELAST, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (!gone_ && hwnd_ != nullptr && !IsWindow(hwnd_)) Gone();
  }

  InputEvent Pointer(InputEvent::Kind kind, LPARAM lp, int button) const {
    InputEvent e{kind, int16_t(LOWORD(lp)), int16_t(HIWORD(lp)), button};
    // Without the capture only the visible part of the window reports anything.
    e.over = !interactive_ || (e.x >= 0 && e.y >= 0 && e.x < visible_w_ && e.y < visible_h_);
    return e;
  }

  // A press in an interactive window holds the pointer until the last button is up, so that a
  // drag reports where it leaves the client area and its release comes back.
  LRESULT Press(HWND hwnd, LPARAM lp, int button) {
    dragging_ = true;
    if (GetCapture() != hwnd) SetCapture(hwnd);
    if (GetFocus() != hwnd) SetFocus(hwnd);
    events_.push_back(Pointer(InputEvent::Kind::kPress, lp, button));
    return 0;
  }

  LRESULT Release(HWND hwnd, WPARAM wp, LPARAM lp, int button) {
    events_.push_back(Pointer(InputEvent::Kind::kRelease, lp, button));
    if (dragging_ && (wp & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)) == 0) {
      dragging_ = false;
      if (GetCapture() == hwnd) ReleaseCapture();
    }
    return 0;
  }

  static char KeyOf(WPARAM vk) {
    if (vk >= 'A' && vk <= 'Z') return char('a' + (vk - 'A'));
    if (vk >= '0' && vk <= '9') return char(vk);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return char('0' + (vk - VK_NUMPAD0));
    if (vk == VK_SPACE) return ' ';
    return 0;
  }

  void Gone() {
    if (gone_) return;
    gone_ = true;
    events_.push_back(InputEvent{InputEvent::Kind::kDestroyed});
  }

  LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_MOUSEMOVE: {
        // Signed 16-bit halves: positions left of or above the window are negative.
        InputEvent e = Pointer(InputEvent::Kind::kMotion, lp, 0);
        e.held = (wp & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)) != 0;
        events_.push_back(e);
        return 0;
      }
      case WM_LBUTTONDOWN:
        if (!interactive_) break;
        return Press(hwnd, lp, 1);
      case WM_MBUTTONDOWN:
        if (!interactive_) break;
        return Press(hwnd, lp, 2);
      case WM_RBUTTONDOWN:
        if (!interactive_) break;
        return Press(hwnd, lp, 3);
      // A release says where the pointer is, as a movement there would.
      case WM_LBUTTONUP:
        return Release(hwnd, wp, lp, 1);
      case WM_MBUTTONUP:
        return Release(hwnd, wp, lp, 2);
      case WM_RBUTTONUP:
        return Release(hwnd, wp, lp, 3);
      case WM_CAPTURECHANGED:
        // Another window took the pointer in the middle of a drag: its release will not come
        // here, so the drag ends as if the buttons were up.
        if (dragging_ && reinterpret_cast<HWND>(lp) != hwnd) {
          dragging_ = false;
          InputEvent e{InputEvent::Kind::kMotion, -1, -1};
          e.over = false;
          events_.push_back(e);
        }
        return 0;
      case WM_KEYDOWN:
        if (!interactive_) break;
        {
          InputEvent e{InputEvent::Kind::kKey};
          e.key = KeyOf(wp);
          e.ctrl = GetKeyState(VK_CONTROL) < 0;
          e.shift = GetKeyState(VK_SHIFT) < 0;
          events_.push_back(e);
        }
        return 0;
      case WM_DESTROY:
        Gone();
        return 0;
      case WM_NCDESTROY:
        hwnd_ = nullptr;
        break;
      default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  }

  friend LRESULT CALLBACK Proc<Win32Input>(HWND, UINT, WPARAM, LPARAM);

  HWND hwnd_ = nullptr;
  HWND parent_ = nullptr;
  int visible_w_ = 0, visible_h_ = 0;
  bool interactive_ = false;
  bool dragging_ = false;  // a press of ours holds the capture
  bool gone_ = false;
  std::deque<InputEvent> events_;
};

class Win32 final : public Backend {
 public:
  void InitThreads() override {}
  bool Room(ScreenRoom* room) override {
    // The work area: the screen less the taskbar.
    RECT r{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0) || r.right <= r.left) return false;
    room->width = uint32_t(r.right - r.left);
    room->height = uint32_t(r.bottom - r.top);
    return true;
  }
  uint32_t ColourCount() override {
    HDC dc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (dc == nullptr) return 0;
    const int bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    DeleteDC(dc);
    if (bits <= 0) return 0;
    return bits >= 32 ? UINT32_MAX : uint32_t(1) << bits;
  }
  std::unique_ptr<WindowHost> NewWindow() override { return std::make_unique<Win32Window>(); }
  std::unique_ptr<DrawSurface> NewSurface() override { return std::make_unique<Win32Surface>(); }
  std::unique_ptr<InputSurface> NewInput() override { return std::make_unique<Win32Input>(); }
};

}  // namespace

void OuterSizeFor(uint32_t client_w, uint32_t client_h, int32_t* outer_w, int32_t* outer_h) {
  RECT r{0, 0, LONG(client_w), LONG(client_h)};
  AdjustWindowRectEx(&r, kGraphStyle, FALSE, kGraphExStyle);
  *outer_w = r.right - r.left;
  *outer_h = r.bottom - r.top;
}

Backend& Win32Backend() {
  static Win32 backend;
  return backend;
}

Backend& PlatformBackend() { return Win32Backend(); }

}  // namespace window
