// Tests of the Win32 window backend through Graph and Mouse: the window's class, style and size,
// the picture on the window and after a repaint, the input window's messages, and a close.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "window/fake/test_services.h"
#include "window/graph_module.h"
#include "window/mouse_module.h"
#include "window/win32/win32_backend.h"

namespace window {
namespace {

using std::chrono::milliseconds;

constexpr int kX = 40, kY = 30;         // where the window goes
constexpr uint32_t kW = 305, kH = 231;  // outer size as the editor gives it: client 300 x 200
constexpr int kClientW = 300, kClientH = 200;

class Win32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    graph_ = std::make_unique<GraphModule>(Win32Backend(), TestServices(messages_));
    graph_->Start();
    mouse_ = std::make_unique<MouseModule>(Win32Backend(), *graph_);
    ASSERT_TRUE(mouse_->InitMuis(kX, kY, int32_t(kW), int32_t(kH))) << AllMessages();
    hwnd_ = reinterpret_cast<HWND>(uintptr_t(graph_->window_id()));
    input_ = FindWindowExA(hwnd_, nullptr, "M", nullptr);
  }
  void TearDown() override {
    mouse_.reset();
    graph_.reset();
  }

  std::string AllMessages() {
    std::string all;
    for (const std::string& m : messages_.all()) all += m + "; ";
    return all;
  }
  // 0x00RRGGBB of the window's client pixel, as the screen shows it now.
  uint32_t Pixel(int x, int y) {
    HDC dc = GetDC(hwnd_);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd_, dc);
    if (c == CLR_INVALID) return 0xDEAD;
    return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
  }
  bool Shows(int x, int y, uint32_t rgb) {
    return WaitUntil([&] { return Pixel(x, y) == rgb; });
  }

  Messages messages_;
  std::unique_ptr<GraphModule> graph_;
  std::unique_ptr<MouseModule> mouse_;
  HWND hwnd_ = nullptr;
  HWND input_ = nullptr;
};

TEST_F(Win32Test, WindowHasItsClassTitleStyleAndAnExactDrawingArea) {
  char name[64] = {};
  GetClassNameA(hwnd_, name, sizeof name);
  EXPECT_STREQ(name, "GraphWnd");
  GetWindowTextA(hwnd_, name, sizeof name);
  EXPECT_STREQ(name, "Graph");
  EXPECT_NE(GetWindowLongA(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST, 0) << "kept above the console";
  const LONG style = GetWindowLongA(hwnd_, GWL_STYLE);
  EXPECT_NE(style & WS_MINIMIZEBOX, 0);
  EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0) << "neither maximised nor sized";
  EXPECT_NE(GetForegroundWindow(), hwnd_) << "opening takes no activation";

  RECT client{};
  ASSERT_TRUE(GetClientRect(hwnd_, &client));
  EXPECT_EQ(client.right - client.left, kClientW);
  EXPECT_EQ(client.bottom - client.top, kClientH);
  RECT outer{};
  ASSERT_TRUE(GetWindowRect(hwnd_, &outer));
  EXPECT_EQ(outer.left, kX);
  EXPECT_EQ(outer.top, kY);
  int32_t want_w = 0, want_h = 0;
  OuterSizeFor(kClientW, kClientH, &want_w, &want_h);
  EXPECT_EQ(outer.right - outer.left, want_w);
  EXPECT_EQ(outer.bottom - outer.top, want_h);

  // The input window lies over the whole drawing area.
  ASSERT_NE(input_, nullptr);
  GetClassNameA(input_, name, sizeof name);
  EXPECT_STREQ(name, "M");
  EXPECT_TRUE(IsWindowVisible(input_));
  RECT in{};
  GetWindowRect(input_, &in);
  POINT corner{0, 0};
  ClientToScreen(hwnd_, &corner);
  EXPECT_EQ(in.left, corner.x);
  EXPECT_EQ(in.top, corner.y);
  EXPECT_GE(in.right - in.left, kClientW);
  EXPECT_GE(in.bottom - in.top, kClientH);
}

TEST_F(Win32Test, DrawingsShowAtOnceAndSurviveARepaint) {
  struct Case {
    const char* what;
    std::function<void(GraphModule&)> draw;
    int x, y;
    uint32_t rgb;
  };
  const std::vector<Case> cases = {
      {"red disc", [](GraphModule& g) { g.Ellipse(50, 50, 10, 10, 4, true); }, 50, 50, 0xB00000},
      {"yellow rectangle", [](GraphModule& g) { g.Rectangle(100, 20, 140, 60, 14, true); }, 120, 40,
       0xFFFF00},
      {"grey outline", [](GraphModule& g) { g.Ellipse(200, 100, 20, 20, 7, false); }, 220, 100,
       0xC0C0C0},
      {"inside the outline", [](GraphModule&) {}, 200, 100, 0x000000},
      {"colour 260 is 4", [](GraphModule& g) { g.Rectangle(10, 150, 30, 170, 260, true); }, 20, 160,
       0xB00000},
      {"last column", [](GraphModule& g) { g.Rectangle(290, 190, 400, 400, 2, true); }, 299, 199,
       0x00B000},
  };
  for (const Case& c : cases) c.draw(*graph_);
  graph_->WaitIdle();
  for (const Case& c : cases) {
    EXPECT_TRUE(Shows(c.x, c.y, c.rgb)) << c.what << ": " << std::hex << Pixel(c.x, c.y);
  }

  // Paint over the window behind the program's back, then let the system ask for a repaint.
  HDC dc = GetDC(hwnd_);
  RECT all{0, 0, kClientW, kClientH};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(dc, &all, white);
  DeleteObject(white);
  ReleaseDC(hwnd_, dc);
  ASSERT_EQ(Pixel(50, 50), 0xFFFFFFu);
  InvalidateRect(hwnd_, nullptr, TRUE);
  for (const Case& c : cases) {
    EXPECT_TRUE(Shows(c.x, c.y, c.rgb)) << "after the repaint: " << c.what;
  }
}

TEST_F(Win32Test, InputWindowMessagesBecomeClicksAndPositions) {
  ASSERT_NE(input_, nullptr);
  struct Msg {
    UINT id;
    int x, y;
  };
  struct Case {
    const char* what;
    std::vector<Msg> msgs;
    bool clicked;
    int32_t x, y;  // position after the poll
  };
  const std::vector<Case> cases = {
      {"a move alone", {{WM_MOUSEMOVE, 10, 20}}, false, 10, 20},
      {"left release, where it happens",
       {{WM_MOUSEMOVE, 30, 40}, {WM_LBUTTONUP, 31, 41}},
       true,
       31,
       41},
      {"middle release", {{WM_MBUTTONUP, 5, 6}}, true, 5, 6},
      {"right release", {{WM_RBUTTONUP, 7, 8}}, true, 7, 8},
      {"a press is no click", {{WM_LBUTTONDOWN, 50, 50}, {WM_RBUTTONDOWN, 60, 60}}, false, 7, 8},
      {"the wheel is no click", {{WM_MOUSEWHEEL, 0, 0}}, false, 7, 8},
      {"left of and above the window", {{WM_MOUSEMOVE, -5, -7}}, false, -5, -7},
      {"releases and moves between polls: one click, the last position",
       {{WM_MOUSEMOVE, 1, 2}, {WM_LBUTTONUP, 1, 2}, {WM_RBUTTONUP, 3, 3}, {WM_MOUSEMOVE, 3, 4}},
       true,
       3,
       4},
      {"nothing waiting", {}, false, 3, 4},
  };
  for (const Case& c : cases) {
    for (const Msg& m : c.msgs) {
      ASSERT_TRUE(
          PostMessageA(input_, m.id, 0, MAKELPARAM(WORD(int16_t(m.x)), WORD(int16_t(m.y)))));
    }
    EXPECT_EQ(mouse_->Clicked(), c.clicked) << c.what;
    EXPECT_EQ(mouse_->GetMuisX(), c.x) << c.what;
    EXPECT_EQ(mouse_->GetMuisY(), c.y) << c.what;
  }
  // Other messages stay in the queue for whoever wants them.
  PostMessageA(input_, WM_USER + 7, 0, 0);
  mouse_->UpdateMuis();
  MSG left{};
  EXPECT_TRUE(PeekMessageA(&left, input_, WM_USER + 7, WM_USER + 7, PM_REMOVE));
}

TEST_F(Win32Test, WaitInputWakesForAMessageAndTimesOutWithout) {
  EXPECT_FALSE(mouse_->WaitInput(20));
  // A message the pump leaves alone neither counts as input nor cuts the wait short.
  PostMessageA(input_, WM_USER + 8, 0, 0);
  mouse_->UpdateMuis();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(mouse_->WaitInput(50));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(40));
  std::thread later([this] {
    std::this_thread::sleep_for(milliseconds(30));
    PostMessageA(input_, WM_MOUSEMOVE, 0, MAKELPARAM(5, 6));
  });
  EXPECT_TRUE(mouse_->WaitInput(2000));
  later.join();
  mouse_->UpdateMuis();
  EXPECT_EQ(mouse_->GetMuisX(), 5);
}

TEST_F(Win32Test, ClosingTheWindowEndsItAndTheInputWindowWithIt) {
  ASSERT_TRUE(mouse_->WindowOpen());
  PostMessageA(hwnd_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] {
    mouse_->UpdateMuis();
    return !mouse_->WindowOpen();
  }));
  EXPECT_TRUE(WaitUntil([&] { return !graph_->window_alive(); }));
  EXPECT_FALSE(IsWindow(hwnd_));
  EXPECT_FALSE(mouse_->Clicked());
  // Drawing still returns at once.
  graph_->Ellipse(50, 50, 10, 10, 4, true);
  graph_->WaitIdle();
}

TEST_F(Win32Test, ExitEndsTheWindowThreadWhileTheInputWindowIsOpen) {
  ASSERT_TRUE(IsWindow(input_));
  graph_->Exit();
  // The window thread was joined, not left behind: its window is gone when Exit returns. (A
  // window thread that destroyed the input window itself would wait for this thread.)
  EXPECT_FALSE(IsWindow(hwnd_));
  EXPECT_FALSE(IsWindow(input_));
  mouse_->UpdateMuis();
  EXPECT_FALSE(mouse_->WindowOpen());
}

}  // namespace
}  // namespace window
