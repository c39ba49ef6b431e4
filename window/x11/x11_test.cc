// Tests of Graph and Mouse on a real X server (skipped without a display).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/os.h"
#include "tests/support/xserver.h"
#include "window/fake/test_services.h"
#include "window/graph_module.h"
#include "window/mouse_module.h"
#include "window/x11/x11_backend.h"

// Xlib's macros (None, Bool, Status) would break the headers above: included last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace window {
namespace {

using std::chrono::milliseconds;

constexpr int kX = 100, kY = 80;        // where the window goes
constexpr uint32_t kW = 305, kH = 231;  // outer size: client area 300 x 200

class X11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    dpy_ = XOpenDisplay(nullptr);
    if (dpy_ == nullptr) GTEST_SKIP() << "no X display";
    graph_ = std::make_unique<GraphModule>(X11Backend(), TestServices(messages_));
    graph_->Start();
    mouse_ = std::make_unique<MouseModule>(X11Backend(), *graph_);
  }
  void TearDown() override {
    mouse_.reset();
    graph_.reset();
    if (dpy_ != nullptr) XCloseDisplay(dpy_);
  }

  bool Open() {
    if (!mouse_->InitMuis(kX, kY, int32_t(kW), int32_t(kH))) return false;
    win_ = Window(graph_->window_id());
    return true;
  }
  uint32_t Pixel(int x, int y) {
    XSync(dpy_, False);
    XImage* img = XGetImage(dpy_, win_, x, y, 1, 1, AllPlanes, ZPixmap);
    if (img == nullptr) return 0xDEAD;
    const uint32_t v = uint32_t(XGetPixel(img, 0, 0)) & 0xFFFFFFu;
    XDestroyImage(img);
    return v;
  }
  bool Shows(int x, int y, uint32_t rgb) {
    return WaitUntil([&] { return Pixel(x, y) == rgb; });
  }
  std::vector<std::string> messages() { return messages_.all(); }
  // Moves the pointer to client coordinates (x, y) of the window.
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(dpy_, -1, kX + x, kY + y, CurrentTime);
    Settle();
  }
  void Button(unsigned b, bool press) {
    XTestFakeButtonEvent(dpy_, b, press ? True : False, CurrentTime);
    Settle();
  }
  void Click(unsigned b) {
    XTestFakeButtonEvent(dpy_, b, True, CurrentTime);
    XTestFakeButtonEvent(dpy_, b, False, CurrentTime);
    Settle();
  }
  // Lets the server deliver what the fake input produced to the mouse's connection.
  void Settle() {
    XSync(dpy_, False);
    std::this_thread::sleep_for(milliseconds(40));
  }
  Atom Intern(const char* name) { return XInternAtom(dpy_, name, False); }

  Display* dpy_ = nullptr;
  Window win_ = 0;
  std::unique_ptr<GraphModule> graph_;
  std::unique_ptr<MouseModule> mouse_;
  Messages messages_;
};

TEST_F(X11Test, WindowHasItsTitleClassPlaceSizeAndHints) {
  ASSERT_TRUE(Open());
  XWindowAttributes a;
  ASSERT_NE(XGetWindowAttributes(dpy_, win_, &a), 0);
  EXPECT_EQ(a.width, 300);
  EXPECT_EQ(a.height, 200);
  EXPECT_EQ(a.map_state, IsViewable);
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(dpy_, win_, DefaultRootWindow(dpy_), 0, 0, &rx, &ry, &child);
  EXPECT_EQ(rx, kX);
  EXPECT_EQ(ry, kY);

  char* name = nullptr;
  ASSERT_NE(XFetchName(dpy_, win_, &name), 0);
  EXPECT_STREQ(name, "Graph");
  XFree(name);
  XClassHint cls;
  ASSERT_NE(XGetClassHint(dpy_, win_, &cls), 0);
  EXPECT_STREQ(cls.res_class, "GraphWnd");
  XFree(cls.res_name);
  XFree(cls.res_class);

  XSizeHints size;
  long supplied = 0;
  ASSERT_NE(XGetWMNormalHints(dpy_, win_, &size, &supplied), 0);
  EXPECT_TRUE((size.flags & PMinSize) && (size.flags & PMaxSize));
  EXPECT_EQ(size.min_width, 300);
  EXPECT_EQ(size.max_width, 300);
  EXPECT_EQ(size.min_height, 200);
  EXPECT_EQ(size.max_height, 200);

  XWMHints* wm = XGetWMHints(dpy_, win_);
  ASSERT_NE(wm, nullptr);
  EXPECT_TRUE(wm->flags & InputHint);
  EXPECT_FALSE(wm->input);
  XFree(wm);

  Atom* protocols = nullptr;
  int count = 0;
  ASSERT_NE(XGetWMProtocols(dpy_, win_, &protocols, &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(protocols[0], Intern("WM_DELETE_WINDOW"));
  XFree(protocols);

  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  ASSERT_EQ(XGetWindowProperty(dpy_, win_, Intern("_NET_WM_STATE"), 0, 16, False, XA_ATOM, &type,
                               &format, &n, &after, &data),
            Success);
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(reinterpret_cast<long*>(data)[0], long(Intern("_NET_WM_STATE_ABOVE")));
  XFree(data);

  // A freshly opened window is black all over.
  EXPECT_TRUE(Shows(0, 0, 0));
  EXPECT_TRUE(Shows(299, 199, 0));

  // A second Init is refused and the first window stays.
  EXPECT_FALSE(graph_->Init(0, 0, 400, 400));
  EXPECT_EQ(messages(), std::vector<std::string>{"Graph window was already created"});
  ASSERT_NE(XGetWindowAttributes(dpy_, win_, &a), 0);
  EXPECT_EQ(a.width, 300);
}

TEST_F(X11Test, DrawingShowsAndComesBackAfterUnmapMapAndCover) {
  ASSERT_TRUE(Open());
  graph_->Ellipse(50, 50, 10, 10, 14, true);
  graph_->Ellipse(50, 50, 10, 10, 4, false);
  graph_->Rectangle(0, 0, 299, 199, 2, false);
  graph_->RawOutText(100, 100, 7, "HELLO");
  EXPECT_TRUE(Shows(50, 50, 0xFFFF00));
  EXPECT_TRUE(Shows(40, 50, 0xB00000));
  EXPECT_TRUE(Shows(299, 199, 0x00B000));

  XUnmapWindow(dpy_, win_);
  XSync(dpy_, False);
  XMapWindow(dpy_, win_);
  EXPECT_TRUE(Shows(50, 50, 0xFFFF00));
  EXPECT_TRUE(Shows(299, 199, 0x00B000));

  // Covered by another window and uncovered again.
  XSetWindowAttributes attrs{};
  attrs.override_redirect = True;
  attrs.background_pixel = WhitePixel(dpy_, DefaultScreen(dpy_));
  Window cover =
      XCreateWindow(dpy_, DefaultRootWindow(dpy_), kX, kY, 300, 200, 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
  XMapRaised(dpy_, cover);
  XSync(dpy_, False);
  std::this_thread::sleep_for(milliseconds(50));
  XDestroyWindow(dpy_, cover);
  XSync(dpy_, False);
  EXPECT_TRUE(Shows(50, 50, 0xFFFF00));
  EXPECT_TRUE(Shows(40, 50, 0xB00000));
  EXPECT_TRUE(Shows(299, 199, 0x00B000));
}

TEST_F(X11Test, CloseByTheWindowManagerLeavesDrawingReturningAndNoClicks) {
  ASSERT_TRUE(Open());
  MoveTo(20, 20);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = win_;
  e.xclient.message_type = Intern("WM_PROTOCOLS");
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(Intern("WM_DELETE_WINDOW"));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy_, win_, False, NoEventMask, &e);
  XSync(dpy_, False);
  ASSERT_TRUE(WaitUntil([&] { return !graph_->window_alive(); }));
  // The window's end wakes the wait (after what else was waiting, such as the movement).
  for (int k = 0; k < 10 && mouse_->WindowOpen(); ++k) {
    ASSERT_TRUE(mouse_->WaitInput(10000)) << "the wait slept through the window's end";
    EXPECT_FALSE(mouse_->Clicked());
  }
  EXPECT_FALSE(mouse_->WindowOpen());
  EXPECT_FALSE(mouse_->DisplayLost()) << "the display is still there";
  XWindowAttributes a;
  EXPECT_TRUE(WaitUntil([&] { return XGetWindowAttributes(dpy_, win_, &a) == 0; }));
  // Drawing goes on into the picture; errors about the gone window do not end the process.
  for (int i = 0; i < 3000; ++i) graph_->Ellipse(50, 50, 5, 5, 4, i % 2);
  graph_->RawOutText(10, 10, 7, "after close");
  graph_->WaitIdle();
  uint32_t centre = 0;
  graph_->WithPicture([&](const Picture& p) { centre = p.At(50, 50); });
  EXPECT_EQ(centre, 0xB00000u);
  // No click counts once the window is gone, not even one made over where it was.
  Click(1);
  EXPECT_FALSE(mouse_->Clicked());
  EXPECT_FALSE(mouse_->WindowOpen());
  Click(1);
  EXPECT_FALSE(mouse_->Clicked());
  EXPECT_FALSE(mouse_->WaitInput(10));
}

TEST_F(X11Test, MouseReleasesAndMovementsOverTheClientArea) {
  MoveTo(50, 50);  // inside the window-to-be, before it exists: no movement is seen
  ASSERT_TRUE(Open());
  EXPECT_TRUE(mouse_->WindowOpen());
  EXPECT_FALSE(mouse_->Clicked());

  // The window opened under the resting pointer: a click before any movement is where the
  // pointer is, known from the release itself.
  Click(1);
  EXPECT_TRUE(mouse_->Clicked());
  EXPECT_EQ(mouse_->GetMuisX(), 50);
  EXPECT_EQ(mouse_->GetMuisY(), 50);
  EXPECT_FALSE(mouse_->Clicked());

  // Movement sets the position; reading it twice gives the same, even with movement waiting.
  MoveTo(120, 60);
  EXPECT_TRUE(mouse_->WaitInput(500));
  EXPECT_FALSE(mouse_->Clicked());
  EXPECT_EQ(mouse_->GetMuisX(), 120);
  EXPECT_EQ(mouse_->GetMuisY(), 60);
  MoveTo(130, 70);
  EXPECT_EQ(mouse_->GetMuisX(), 120);
  EXPECT_EQ(mouse_->GetMuisX(), 120);
  EXPECT_EQ(mouse_->GetMuisY(), 60);

  // A press alone is no click; its release is.
  Button(1, true);
  EXPECT_FALSE(mouse_->Clicked());
  EXPECT_EQ(mouse_->GetMuisX(), 130);
  Button(1, false);
  EXPECT_TRUE(mouse_->Clicked());

  // Several releases of several buttons before one poll: one click.
  Click(1);
  Click(3);
  Click(2);
  EXPECT_TRUE(mouse_->Clicked());
  EXPECT_FALSE(mouse_->Clicked());

  // The wheel is no click.
  Click(4);
  Click(5);
  EXPECT_FALSE(mouse_->Clicked());

  // Pressed outside and released inside: a click. Pressed inside, released outside: none.
  MoveTo(400, 300);
  Button(1, true);
  MoveTo(10, 190);
  Button(1, false);
  EXPECT_TRUE(mouse_->Clicked());
  EXPECT_EQ(mouse_->GetMuisX(), 10);
  EXPECT_EQ(mouse_->GetMuisY(), 190);
  Button(3, true);
  MoveTo(350, 250);
  Button(3, false);
  EXPECT_FALSE(mouse_->Clicked());
  EXPECT_EQ(mouse_->GetMuisX(), 10);  // movement outside the surface is not seen
}

TEST_F(X11Test, ClickReachesUsWhileAnotherClientListensForPressesOnTheRoot) {
  // A desktop or window manager that selects presses on the root window: a press that went on
  // to it would give it the pointer grab, and the release with it.
  Display* other = XOpenDisplay(nullptr);
  ASSERT_NE(other, nullptr);
  XSelectInput(other, DefaultRootWindow(other), ButtonPressMask);
  XSync(other, False);
  ASSERT_TRUE(Open());
  MoveTo(60, 40);
  EXPECT_FALSE(mouse_->Clicked());
  for (unsigned b : {1u, 3u}) {
    Click(b);
    EXPECT_TRUE(mouse_->Clicked()) << "button " << b;
    EXPECT_EQ(mouse_->GetMuisX(), 60);
    EXPECT_EQ(mouse_->GetMuisY(), 40);
  }
  XSync(other, False);
  EXPECT_EQ(XPending(other), 0) << "the presses over the window were ours";
  // Outside the window the listener still gets its presses.
  MoveTo(-50, -50);
  Click(1);
  XSync(other, False);
  EXPECT_GT(XPending(other), 0);
  EXPECT_FALSE(mouse_->Clicked());
  XCloseDisplay(other);
}

TEST_F(X11Test, TheIdleWaitSleepsUntilInputOrTheConsoleBreak) {
  ASSERT_TRUE(Open());
  EXPECT_FALSE(mouse_->Clicked());  // takes what the opening left waiting
  EXPECT_FALSE(mouse_->WaitInput(20)) << "nothing waits";
  // Input from elsewhere wakes it.
  std::thread mover([] {
    std::this_thread::sleep_for(milliseconds(50));
    Display* d = XOpenDisplay(nullptr);
    XTestFakeMotionEvent(d, -1, kX + 30, kY + 30, CurrentTime);
    XCloseDisplay(d);
  });
  EXPECT_TRUE(mouse_->WaitInput(-1));
  mover.join();
  EXPECT_FALSE(mouse_->Clicked());
  EXPECT_EQ(mouse_->GetMuisX(), 30);

  // A break that comes while it sleeps, and one recorded before, end it long before its limit
  // (which would take 20 s).
  rts::os::InstallBreakHandler();
  const pthread_t self = pthread_self();
  std::thread breaker([self] {
    std::this_thread::sleep_for(milliseconds(50));
    pthread_kill(self, SIGINT);
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(mouse_->WaitInput(20000));
  breaker.join();
  EXPECT_TRUE(rts::os::BreakRecorded());
  EXPECT_FALSE(mouse_->WaitInput(20000));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
  rts::os::ClearBreak();
}

// The colour the display shows at (x, y) of a window, through the colormap: 0xRRGGBB.
uint32_t MappedRgb(Display* dpy, Window win, int x, int y) {
  XImage* img = XGetImage(dpy, win, x, y, 1, 1, AllPlanes, ZPixmap);
  if (img == nullptr) return 0xFF000000u;
  XColor c{};
  c.pixel = XGetPixel(img, 0, 0);
  XDestroyImage(img);
  XQueryColor(dpy, DefaultColormap(dpy, DefaultScreen(dpy)), &c);
  return uint32_t(c.red >> 8) << 16 | uint32_t(c.green >> 8) << 8 | uint32_t(c.blue >> 8);
}

TEST(X11Depth8, PaletteColoursShowOnAColourMappedDisplay) {
  testing_support::PrivateXServer server("640x480x8");
  if (!server.up()) GTEST_SKIP() << "cannot start an X server of our own";
  testing_support::ScopedDisplay display(server.display());
  Messages messages;
  GraphModule graph(X11Backend(), TestServices(messages));
  graph.Start();
  ASSERT_TRUE(graph.Init(10, 10, 305, 231));
  Display* dpy = XOpenDisplay(nullptr);
  ASSERT_NE(dpy, nullptr);
  ASSERT_EQ(DefaultDepth(dpy, DefaultScreen(dpy)), 8);
  ASSERT_EQ(DefaultVisual(dpy, DefaultScreen(dpy))->c_class, PseudoColor);
  EXPECT_EQ(graph.num_colours(), 256u);
  // The editor's colours: outlines and intensity 4, intensities 1 to 3, the frames, the
  // background; and one colour past them.
  const struct {
    uint32_t colour, rgb;
  } cases[] = {{4, 0xB00000}, {7, 0xC0C0C0}, {8, 0x808080}, {14, 0xFFFF00},
               {2, 0x00B000}, {0, 0x000000}, {9, 0x0000FF}};
  int k = 0;
  for (const auto& c : cases) graph.Ellipse(20 + 35 * k++, 50, 12, 12, c.colour, true);
  graph.WaitIdle();
  const Window win = Window(graph.window_id());
  k = 0;
  for (const auto& c : cases) {
    const int x = 20 + 35 * k++;
    EXPECT_TRUE(WaitUntil([&] { return MappedRgb(dpy, win, x, 50) == c.rgb; }))
        << "colour " << c.colour << " shows as " << std::hex << MappedRgb(dpy, win, x, 50);
  }
  XCloseDisplay(dpy);
  graph.Terminate();
  EXPECT_TRUE(messages.all().empty());
}

TEST(X11Vanish, AServerThatGoesAwayCountsAsAClosedWindowAndEndsNothing) {
#if defined(__SANITIZE_THREAD__)
  // Xlib's own I/O-error path unlocks the display's mutex twice, which the thread sanitizer
  // reports inside libX11; the plain and address-sanitizer builds run this test.
  GTEST_SKIP() << "libX11's I/O-error path trips the thread sanitizer";
#endif
  testing_support::PrivateXServer server;
  if (!server.up()) GTEST_SKIP() << "cannot start an X server of our own";
  testing_support::ScopedDisplay display(server.display());
  {
    Messages messages;
    GraphModule graph(X11Backend(), TestServices(messages));
    MouseModule mouse(X11Backend(), graph);
    graph.Start();
    ASSERT_TRUE(mouse.InitMuis(10, 10, 305, 231));
    graph.Ellipse(50, 50, 10, 10, 14, true);
    graph.WaitIdle();
    server.Kill();
    // Drawing goes on into the picture and returns; nothing ends the process.
    for (int i = 0; i < 2000; ++i) graph.Ellipse(50, 50, 20, 20, i % 16, true);
    graph.WaitIdle();
    EXPECT_TRUE(WaitUntil([&] { return !graph.window_alive(); }));
    EXPECT_FALSE(mouse.Clicked());
    EXPECT_FALSE(mouse.WindowOpen());
    EXPECT_TRUE(mouse.DisplayLost()) << "not a window closed through the window manager";
    EXPECT_FALSE(mouse.WaitInput(5));
    graph.Terminate();
    EXPECT_TRUE(messages.all().empty());
  }
}

}  // namespace
}  // namespace window
