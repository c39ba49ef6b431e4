// Tests of Graph's threads, hand-over and operations, and of Mouse, on the headless backend.
#include "window/graph_module.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "window/fake/fake_backend.h"
#include "window/fake/test_services.h"
#include "window/font.h"
#include "window/mouse_module.h"

namespace window {
namespace {

constexpr uint32_t kRed = 0xB00000, kYellow = 0xFFFF00, kGreen = 0x00B000;

struct Fixture : ::testing::Test {
  FakeBackend backend;
  Messages messages;
  GraphModule graph{backend, TestServices(messages)};

  bool Open(uint32_t w = 205, uint32_t h = 131) {
    graph.Start();
    return graph.Init(10, 20, w, h);
  }
  Picture Shown() {
    graph.WaitIdle();
    return backend.Screen();
  }
  Picture Drawn() { return Copy(graph); }
  static Picture Copy(GraphModule& graph) {
    graph.WaitIdle();
    Picture copy;
    graph.WithPicture([&](const Picture& p) { copy = p; });
    return copy;
  }
};

using GraphTest = Fixture;

TEST_F(GraphTest, InitOpensTheClientAreaAndSetsThePublicVariables) {
  ASSERT_TRUE(Open(205, 131));
  const WindowPlace s = backend.place();
  EXPECT_EQ(s.x, 10);
  EXPECT_EQ(s.y, 20);
  EXPECT_EQ(s.client_width, 200u);
  EXPECT_EQ(s.client_height, 100u);
  EXPECT_EQ(graph.width(), 205u);
  EXPECT_EQ(graph.depth(), 131u);
  EXPECT_EQ(graph.columns(), 205u / font::kCellWidth);
  EXPECT_EQ(graph.rows(), (131u - font::kDescent) / font::kCellHeight);
  EXPECT_EQ(graph.num_colours(), 1u << 24);
  EXPECT_NE(graph.window_id(), 0u);
  const Picture p = Drawn();
  EXPECT_EQ(p.width(), 205);  // the picture is the outer size
  EXPECT_EQ(p.height(), 131);
  EXPECT_TRUE(messages.all().empty());
}

TEST_F(GraphTest, SecondInitIsRefusedAndLeavesTheFirstWindow) {
  ASSERT_TRUE(Open());
  graph.Ellipse(50, 50, 5, 5, 4, true);
  EXPECT_FALSE(graph.Init(0, 0, 400, 400));
  EXPECT_EQ(messages.all(), std::vector<std::string>{"Graph window was already created"});
  EXPECT_EQ(backend.place().client_width, 200u);
  EXPECT_EQ(Shown().At(50, 50), kRed);
}

TEST_F(GraphTest, FailingWindowGivesFalseNotAWaitForEverAndStaysRefused) {
  backend.fail_create = true;
  EXPECT_FALSE(Open());
  EXPECT_EQ(messages.all(), std::vector<std::string>{"Couldn't create main window"});
  EXPECT_FALSE(graph.Init(0, 0, 300, 300));
  EXPECT_EQ(messages.all().back(), "Graph window was already created");
  graph.Ellipse(5, 5, 2, 2, 4, true);  // returns at once: nothing serves it
  graph.Terminate();
}

TEST_F(GraphTest, SizesWithoutAClientAreaAreRefused) {
  EXPECT_FALSE(Open(5, 200));
  EXPECT_EQ(messages.all(), std::vector<std::string>{"Couldn't create main window"});
}

TEST(GraphStart, ThreadThatCannotStartIsReported) {
  FakeBackend backend;
  Messages messages;
  GraphServices s = TestServices(messages);
  s.start_thread = [](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  };
  GraphModule graph(backend, s);
  graph.Start();
  EXPECT_FALSE(graph.Init(0, 0, 100, 100));
  EXPECT_EQ(messages.all(), std::vector<std::string>{"Graph server not run"});
}

TEST(GraphStart, BreakDuringInitLeavesAModuleThatTerminatesCleanly) {
  FakeBackend backend;
  Messages messages;
  GraphServices s = TestServices(messages);
  // The window thread starts only once the break has been seen, so Init has to wait and meets
  // it however slowly the machine runs.
  auto broke = std::make_shared<std::atomic<bool>>(false);
  s.start_thread = [broke](std::function<void()> fn) {
    return std::thread([fn = std::move(fn), broke] {
      while (!broke->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      fn();
    });
  };
  s.check_break = [broke] {
    broke->store(true);
    throw std::runtime_error("USER BREAK");
  };
  {
    GraphModule graph(backend, s);
    graph.Start();
    EXPECT_THROW(graph.Init(0, 0, 100, 100), std::runtime_error);
    graph.Terminate();
    EXPECT_FALSE(backend.window_open());
    graph.Terminate();  // a second run does nothing
  }
}

TEST_F(GraphTest, DrawingReachesTheWindowAndARepaintShowsThePicture) {
  ASSERT_TRUE(Open());
  graph.Ellipse(60, 40, 8, 8, 14, true);
  graph.Ellipse(60, 40, 8, 8, 4, false);
  graph.Rectangle(2, 2, 30, 20, 2, false);
  graph.RawOutText(100, 10, 7, "OK");
  Picture screen = Shown();
  EXPECT_EQ(screen.At(60, 40), kYellow);
  EXPECT_EQ(screen.At(52, 40), kRed);
  EXPECT_EQ(screen.At(2, 2), kGreen);
  EXPECT_GE(backend.surface_puts(), 1);  // drawn onto the window, not by a repaint
  EXPECT_EQ(backend.repaints(), 0);
  // The picture is larger than the client area: what lies beyond it is kept but not shown.
  graph.Ellipse(203, 129, 1, 1, 15, true);
  Picture p = Drawn();
  EXPECT_EQ(p.At(203, 129), 0xFFFFFFu);
}

TEST_F(GraphTest, RepaintRestoresEverythingDrawn) {
  ASSERT_TRUE(Open());
  for (uint32_t i = 0; i < 50; ++i) graph.Ellipse(10 + 3 * i, 50, 4, 4, i % 16, i % 2);
  graph.RawOutText(3, 3, 7, " CREATE  IM.TXT ");
  const Picture before = Shown();
  backend.Uncover();
  const Picture after = backend.Screen();
  const Picture p = Drawn();
  EXPECT_GE(backend.repaints(), 1);
  for (int y = 0; y < after.height(); ++y)
    for (int x = 0; x < after.width(); ++x) {
      ASSERT_EQ(after.At(x, y), p.At(x, y)) << x << "," << y;
      ASSERT_EQ(before.At(x, y), p.At(x, y)) << x << "," << y;
    }
}

TEST_F(GraphTest, ManyCommandsArriveInOrderLikeTheRasterAlone) {
  ASSERT_TRUE(Open(405, 331));
  Picture expect(405, 331);
  DrawingState s;
  const uint32_t std16[16] = {0x000000, 0x0000B0, 0x00B000, 0x008080, 0xB00000, 0x800080,
                              0xB06000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                              0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
  CommandBlock pal;
  pal.code = kCmdPalette;
  s.ExecuteState(pal, std16);
  for (uint32_t i = 0; i < 3000; ++i) {
    const uint32_t x = (i * 37) % 400, y = (i * 91) % 320, r = 1 + i % 7, c = i % 16;
    const bool fill = i % 3 == 0;
    graph.Ellipse(x, y, r, r, c, fill);
    CommandBlock cmd;
    cmd.code = kCmdEllipse;
    cmd.p = {x - r, y - r, x + r, y + r, c, fill};
    s.Execute(cmd, expect);
  }
  const Picture got = Drawn();
  const Picture screen = backend.Screen();
  for (int y = 0; y < 331; ++y)
    for (int x = 0; x < 405; ++x) {
      ASSERT_EQ(got.At(x, y), expect.At(x, y)) << x << "," << y;
      if (x < 400 && y < 300) {
        ASSERT_EQ(screen.At(x, y), expect.At(x, y)) << x << "," << y;
      }
    }
}

TEST_F(GraphTest, OverlappingBurstGoesUpInFewTransfersAndAPauseShowsIt) {
  ASSERT_TRUE(Open(405, 331));
  graph.WaitIdle();
  const int before = backend.surface_puts();
  for (uint32_t i = 0; i < 300; ++i) graph.Ellipse(20 + i, 100 + i / 3, 5, 5, 14, false);
  graph.WaitIdle();
  const int puts = backend.surface_puts() - before;
  EXPECT_GT(puts, 0);
  EXPECT_LT(puts, 300 / 4);
  const Picture screen = backend.Screen();
  const Picture p = Drawn();
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) ASSERT_EQ(screen.At(x, y), p.At(x, y)) << x << "," << y;
  // One shape and then nothing: it reaches the window without anyone waiting for it.
  graph.Ellipse(200, 250, 4, 4, 4, true);
  bool shown = false;
  for (int i = 0; i < 400 && !shown; ++i) {
    shown = backend.Screen().At(200, 250) == kRed;
    if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(shown);
}

TEST_F(GraphTest, TextIsCutAtTheFirstNulAndAfter257Characters) {
  ASSERT_TRUE(Open(2005, 131));
  graph.RawOutText(0, 0, 15, std::string_view("AB\0CD", 5));
  Picture p = Drawn();
  EXPECT_NE(p.At(font::kCellWidth + 2, 6), 0u);  // B drawn
  for (int y = 0; y < font::kCellHeight; ++y)
    for (int x = 2 * font::kCellWidth; x < 5 * font::kCellWidth; ++x)
      ASSERT_EQ(p.At(x, y), 0u);  // nothing after the NUL
  const std::string long_text(300, 'M');
  graph.RawOutText(0, 20, 15, long_text);
  p = Drawn();
  auto column_has_ink = [&](int x) {
    for (int y = 20; y < 20 + font::kCellHeight; ++y)
      if (p.At(x, y) != 0) return true;
    return false;
  };
  EXPECT_TRUE(column_has_ink(256 * font::kCellWidth + 1));
  EXPECT_FALSE(column_has_ink(257 * font::kCellWidth + 1));
  const int before = backend.surface_puts();
  graph.RawOutText(0, 40, 15, "");
  graph.WaitIdle();
  EXPECT_EQ(backend.surface_puts(), before);  // an empty text draws nothing
}

TEST_F(GraphTest, PaletteRefusalAndColourCount) {
  backend.colours = 4;  // a 2-bit display
  ASSERT_TRUE(Open());
  // The standard palette did not fit: nothing installed, every colour black.
  graph.Ellipse(50, 50, 5, 5, 15, true);
  EXPECT_EQ(Drawn().At(50, 50), 0u);
  const uint32_t four[] = {0x000000, 0x111111, 0x222222, 0x333333};
  const uint32_t five[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(graph.RemapAllPalette(five), -1);
  EXPECT_EQ(graph.RemapAllPalette({}), -1);
  EXPECT_EQ(graph.RemapAllPalette(four), 0);
  graph.Ellipse(50, 50, 5, 5, 3, true);
  EXPECT_EQ(Drawn().At(50, 50), 0x333333u);
}

TEST_F(GraphTest, ClearScreenModesAndThePatternComesBack) {
  ASSERT_TRUE(Open());
  graph.Rectangle(0, 0, 204, 130, 15, true);
  graph.SetStdFillMask(kHatchVert);
  graph.SetBkColor(1);
  graph.ClearScreen(1);  // nothing
  EXPECT_EQ(Drawn().At(0, 0), 0xFFFFFFu);
  graph.SetTextWindow(2, 2, 3, 3);
  graph.ClearScreen(2);
  Picture p = Drawn();
  EXPECT_EQ(p.At(font::kCellWidth, font::kCellHeight), 0x0000B0u);
  EXPECT_EQ(p.At(3 * font::kCellWidth, 3 * font::kCellHeight + font::kDescent), 0x0000B0u);
  EXPECT_EQ(p.At(font::kCellWidth - 1, font::kCellHeight), 0xFFFFFFu);
  EXPECT_EQ(graph.GetStdFillMask(), kHatchVert);
  graph.ClearScreen(0);
  p = Drawn();
  EXPECT_EQ(p.At(0, 0), 0x0000B0u);
  EXPECT_EQ(p.At(204, 130), 0x0000B0u);
  // The vertical hatch is in force again.
  graph.Rectangle(0, 0, 15, 15, 4, true);
  p = Drawn();
  EXPECT_EQ(p.At(8, 3), kRed);
  EXPECT_EQ(p.At(9, 3), 0x0000B0u);
  // So is a user mask.
  graph.SetFillMask({0xFF, 0, 0, 0, 0, 0, 0, 0});
  graph.ClearScreen(0);
  graph.Rectangle(0, 0, 15, 15, 4, true);
  p = Drawn();
  EXPECT_EQ(p.At(3, 8), kRed);
  EXPECT_EQ(p.At(3, 9), 0x0000B0u);
}

TEST_F(GraphTest, TextWindowClampsAndTheCursorIsAnInvertedCell) {
  ASSERT_TRUE(Open());
  const uint32_t cols = graph.columns(), rows = graph.rows();
  graph.SetTextWindow(cols + 10, rows + 10, 0, 0);  // clamped to 1..Columns, 1..Rows
  graph.SetTextPosition(2, 3);
  EXPECT_FALSE(graph.DisplayCursor(true));
  Picture p = Drawn();
  const int x0 = font::kCellWidth, y0 = 2 * font::kCellHeight;
  EXPECT_EQ(p.At(x0, y0), 0xFFFFFFu);
  EXPECT_EQ(p.At(x0 + font::kCellWidth - 1, y0 + font::kCellHeight - 1), 0xFFFFFFu);
  EXPECT_EQ(p.At(x0 + font::kCellWidth, y0), 0u);
  // Drawing under the cursor takes it away first and puts it back after.
  graph.Rectangle(0, 0, 100, 100, 4, true);
  p = Drawn();
  EXPECT_EQ(p.At(x0, y0), kRed ^ 0xFFFFFFu);
  EXPECT_EQ(p.At(0, 0), kRed);
  EXPECT_TRUE(graph.DisplayCursor(false));
  EXPECT_EQ(Drawn().At(x0, y0), kRed);
  // Positions are clamped to the text window.
  graph.SetTextWindow(3, 3, 4, 4);
  graph.SetTextPosition(1, 9);
  graph.DisplayCursor(true);
  p = Drawn();
  EXPECT_EQ(p.At(2 * font::kCellWidth, 3 * font::kCellHeight), kRed ^ 0xFFFFFFu);
}

TEST_F(GraphTest, AfterTheUserClosesTheWindowDrawingStillReturns) {
  ASSERT_TRUE(Open());
  backend.UserClose();
  for (int i = 0; i < 2000; ++i) graph.Ellipse(50, 50, 3, 3, 4, i % 2);
  graph.RawOutText(5, 5, 7, "still here");
  const Picture p = Drawn();
  EXPECT_EQ(p.At(50, 50), kRed);  // the picture still takes the drawing
  EXPECT_FALSE(graph.window_alive());
  graph.Exit();
  graph.Terminate();
}

TEST_F(GraphTest, ExitTakesTheWindowAwayAndLaterInitIsRefused) {
  ASSERT_TRUE(Open());
  graph.Exit();
  EXPECT_FALSE(backend.window_open());
  graph.Ellipse(10, 10, 2, 2, 4, true);
  graph.Terminate();
  graph.Ellipse(10, 10, 2, 2, 4, true);  // after termination: returns at once
  EXPECT_FALSE(graph.Init(0, 0, 100, 100));
}

// ledwheel edit's window: a picture under the drawing shows wherever the drawing is black, in
// order with the drawing, and not while it is hidden.
TEST(GraphEdit, ThePictureUnderneathShowsThroughTheBlack) {
  // The picture underneath: 0x123456 over the client area's left half.
  FakeBackend backend;
  Messages messages;
  GraphModule graph(backend, TestServices(messages));
  std::vector<uint32_t> under(100 * 100, 0);
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 0; x < 50; ++x) under[size_t(y) * 100 + size_t(x)] = 0x123456;
  }
  graph.SetUnder(under, 100, 100);
  graph.Start();
  ASSERT_TRUE(graph.Init(0, 0, 205, 131));
  graph.Ellipse(20, 20, 5, 5, 4, true);
  const auto shows = [&](int32_t x, int32_t y) {
    graph.WaitIdle();
    return backend.Screen().At(x, y);
  };
  const struct {
    const char* what;
    int show;  // 1 on, 0 off, -1 as it is
    int32_t x, y;
    uint32_t rgb;
  } steps[] = {
      {"under the black drawing", -1, 40, 60, 0x123456},
      {"beside the picture", -1, 60, 60, 0},
      {"a lit shape covers it", -1, 20, 20, kRed},
      {"hidden", 0, 40, 60, 0},
      {"the shape stays", -1, 20, 20, kRed},
      {"shown again", 1, 40, 60, 0x123456},
  };
  for (const auto& st : steps) {
    SCOPED_TRACE(st.what);
    if (st.show >= 0) graph.ShowUnder(st.show == 1);
    EXPECT_EQ(shows(st.x, st.y), st.rgb);
  }
  // The drawing itself is unchanged.
  EXPECT_EQ(Fixture::Copy(graph).At(40, 60), 0u);
  graph.Ellipse(40, 60, 3, 3, 0, true);
  EXPECT_EQ(shows(40, 60), 0x123456u) << "black drawn over it shows it";
  backend.Uncover();
  EXPECT_EQ(shows(40, 60), 0x123456u) << "and a repaint";
  EXPECT_EQ(shows(20, 20), kRed);
}

struct MouseTest : Fixture {
  MouseModule mouse{backend, graph};
  void SetUp() override {
    graph.Start();
    ASSERT_TRUE(mouse.InitMuis(1, 1, 205, 131));
  }
  void Move(int x, int y) { backend.Push({InputEvent::Kind::kMotion, x, y, 0}); }
  void Release(int button) { backend.Push({InputEvent::Kind::kRelease, 0, 0, button}); }
};

TEST_F(MouseTest, ClickBeforeAnyMovementIsAtTheOrigin) {
  EXPECT_EQ(backend.input_parent(), graph.window_id());
  EXPECT_TRUE(mouse.WindowOpen());
  EXPECT_FALSE(mouse.Clicked());
  Release(1);
  EXPECT_TRUE(mouse.WaitInput(0));
  EXPECT_TRUE(mouse.Clicked());
  EXPECT_EQ(mouse.GetMuisX(), 0);
  EXPECT_EQ(mouse.GetMuisY(), 0);
  EXPECT_FALSE(mouse.Clicked());
}

TEST_F(MouseTest, SeveralReleasesInOnePollAreOneClickAtTheLastMovement) {
  Move(10, 20);
  Release(1);
  Move(30, 40);
  Release(3);
  Release(2);
  Move(-5, 70);  // signed positions pass through
  EXPECT_TRUE(mouse.Clicked());
  EXPECT_EQ(mouse.GetMuisX(), -5);
  EXPECT_EQ(mouse.GetMuisY(), 70);
  EXPECT_FALSE(mouse.Clicked());
  // Reading the position does not poll.
  Move(99, 98);
  EXPECT_EQ(mouse.GetMuisX(), -5);
  EXPECT_EQ(mouse.GetMuisX(), -5);
  mouse.UpdateMuis();
  EXPECT_EQ(mouse.GetMuisX(), 99);
}

TEST_F(MouseTest, WheelIsNoClick) {
  for (int b = 4; b <= 7; ++b) Release(b);
  EXPECT_FALSE(mouse.Clicked());
}

TEST_F(MouseTest, NothingCountsAfterTheWindowIsGone) {
  Move(10, 10);
  backend.Push({InputEvent::Kind::kDestroyed});
  Release(1);
  Move(50, 50);
  EXPECT_FALSE(mouse.Clicked());
  EXPECT_FALSE(mouse.WindowOpen());
  Release(1);
  EXPECT_FALSE(mouse.Clicked());
  EXPECT_EQ(mouse.GetMuisX(), 10);
}

// What a poll makes of the events waiting: the click, the position recorded, and the outcome
// for the window and the display.
TEST(MouseEvents, ReleasesCarryThePositionAndTheEndsAreTold) {
  using K = InputEvent::Kind;
  struct Case {
    const char* what;
    std::vector<InputEvent> events;
    bool clicked;
    int32_t x, y;
    bool open, lost;
  };
  const Case cases[] = {
      {"a release without any movement is where it happened",
       {{K::kRelease, 40, 30, 1}},
       true,
       40,
       30,
       true,
       false},
      {"a release after a movement to elsewhere wins",
       {{K::kMotion, 5, 6}, {K::kRelease, 70, 8, 3}},
       true,
       70,
       8,
       true,
       false},
      {"several releases: one click at the last event",
       {{K::kRelease, 1, 2, 1}, {K::kRelease, 3, 4, 2}, {K::kMotion, 9, 9}},
       true,
       9,
       9,
       true,
       false},
      {"the wheel moves the position, no click",
       {{K::kRelease, 12, 13, 4}},
       false,
       12,
       13,
       true,
       false},
      {"the window closed",
       {{K::kMotion, 2, 2}, {K::kDestroyed}, {K::kRelease, 50, 50, 1}},
       false,
       2,
       2,
       false,
       false},
      {"the display lost", {{K::kRelease, 7, 7, 1}, {K::kLost}}, false, 7, 7, false, true},
      {"presses and keys are no clicks",
       {{K::kPress, 5, 5, 1}, {K::kKey}},
       false,
       0,
       0,
       true,
       false},
  };
  for (const Case& c : cases) {
    FakeBackend backend;
    Messages messages;
    GraphModule graph(backend, TestServices(messages));
    MouseModule mouse(backend, graph);
    graph.Start();
    ASSERT_TRUE(mouse.InitMuis(1, 1, 205, 131)) << c.what;
    for (const InputEvent& e : c.events) backend.Push(e);
    EXPECT_EQ(mouse.Clicked(), c.clicked) << c.what;
    EXPECT_EQ(mouse.GetMuisX(), c.x) << c.what;
    EXPECT_EQ(mouse.GetMuisY(), c.y) << c.what;
    EXPECT_EQ(mouse.WindowOpen(), c.open) << c.what;
    EXPECT_EQ(mouse.DisplayLost(), c.lost) << c.what;
    EXPECT_FALSE(mouse.Clicked()) << c.what << ": a click is reported once";
  }
}

TEST(MouseInit, FailuresOfEitherWindowGiveFalse) {
  {
    FakeBackend backend;
    backend.fail_create = true;
    Messages messages;
    GraphModule graph(backend, TestServices(messages));
    MouseModule mouse(backend, graph);
    EXPECT_FALSE(mouse.InitMuis(0, 0, 100, 100));
    EXPECT_FALSE(mouse.WindowOpen());
    EXPECT_FALSE(mouse.Clicked());
  }
  {
    FakeBackend backend;
    backend.fail_input = true;
    Messages messages;
    GraphModule graph(backend, TestServices(messages));
    MouseModule mouse(backend, graph);
    EXPECT_FALSE(mouse.InitMuis(0, 0, 100, 100));
  }
}

}  // namespace
}  // namespace window
