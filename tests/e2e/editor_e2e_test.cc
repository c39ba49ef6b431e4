// End-to-end tests of the whole program under an X server: dialog on standard input, the mouse
// driven through XTest, the window's pixels read back, IM.txt and the console compared byte for
// byte.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "firmware/table_firmware.h"
#include "tests/e2e/x_driver.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/xserver.h"
#include "wheel/wheel.h"

namespace e2e {
namespace {

using testing_support::FileExists;
using testing_support::Process;
using testing_support::ReadFile;
using testing_support::RunOptions;
using testing_support::TempDir;
using testing_support::WriteFile;

// Paths of the built programs, from the build.
constexpr const char* kProgram = LEDWHEEL_PROGRAM;
constexpr const char* kExpectWriter = LEDWHEEL_EXPECT_WRITER;

// The program under test: the Linux build, or, when LEDWHEEL_WINE_EXE names ledwheel.exe, the
// Windows build under Wine (LEDWHEEL_WINE, or /usr/bin/wine), with the same clicks and checks.
struct Launch {
  std::string program;
  std::vector<std::string> args;
};
const char* WineExe() {
  const char* exe = std::getenv("LEDWHEEL_WINE_EXE");
  return exe != nullptr && exe[0] != '\0' ? exe : nullptr;
}
Launch ProgramLaunch() {
  if (const char* exe = WineExe()) {
    const char* wine = std::getenv("LEDWHEEL_WINE");
    return {wine != nullptr && wine[0] != '\0' ? wine : "/usr/bin/wine", {exe}};
  }
  return {kProgram, {}};
}
std::unique_ptr<Process> StartProgram(const std::string& dir, RunOptions o) {
  Launch l = ProgramLaunch();
  o.args.insert(o.args.begin(), l.args.begin(), l.args.end());
  return std::make_unique<Process>(l.program, dir, o);
}

constexpr int kTimeoutMs = 20000;
// Two clicks that reach the program within one poll count as one. After a click with nothing
// to watch for, give the program this long to take it before the next one.
constexpr auto kSettle = std::chrono::milliseconds(250);

// The console of a dialog answered at once, or with a refused zoom before the accepted one.
std::string DialogText(const std::string& zoom_refusal = "") {
  const std::string stars(44, '*');
  const std::string zoom = "Zoom (0%: 15\" screen, 70% = true size):  ";
  return "\r\n\r\n\r\n" + stars + "\r\n*  24 LEDS BITMAP TO PIC-MEMORY CONVERTER  *\r\n" + stars +
         "\r\n\r\nO P T I O N S\r\n-------------\r\n\r\n# LED positions: \r\n" +
         (zoom_refusal.empty() ? "" : zoom + zoom_refusal + "\r\n") + zoom + "\r\n\r\n\r\n\r\n\r\n";
}

// What the write button must produce for these LED settings ("row:led:intensity"), made by the
// firmware writers themselves in a directory of its own.
struct Written {
  std::string im_txt;
  std::string console;
};
Written ExpectedWrite(int32_t n, const std::vector<std::string>& leds) {
  TempDir dir;
  RunOptions o;
  o.stdout_to_file = true;  // as for the program itself below
  o.args.push_back(std::to_string(n));
  o.args.insert(o.args.end(), leds.begin(), leds.end());
  Process p(kExpectWriter, dir.path(), o);
  EXPECT_TRUE(p.Wait(kTimeoutMs));
  EXPECT_EQ(p.ExitCode(), 0) << p.Stderr();
  return {ReadFile(dir.File("IM.txt")), p.Stdout()};
}

// The model's own geometry, for knowing where the LEDs are.
struct Geometry {
  std::unique_ptr<wheel::Wheel> w = std::make_unique<wheel::Wheel>();
  Geometry(int32_t n, int32_t zoom) {
    w->aantal_hoeken = n;
    w->schaal = zoom;
    wheel::ComputeSizes(*w);
    w->hoek_stap = wheel::HoekStap(n);
  }
  wheel::Point At(int32_t ring, int32_t position) const {
    return wheel::Centre(*w, ring, position);
  }
  int32_t r() const { return w->straal_led; }
};

class EditorE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X server in DISPLAY";
    x_ = std::make_unique<XDriver>();
    ASSERT_TRUE(x_->Connected());
    ASSERT_TRUE(x_->HasXTest());
    // Out of the way, so the first movement onto a target is a real movement.
    x_->MoveToScreen(1590, 1190);
    ASSERT_FALSE(x_->AnyGraphWindow()) << "another editor window is still open";
  }

  // Runs the program (and drives it) on an X server of the test's own from now on.
  void UseServer(const std::string& screen) {
    x_.reset();
    server_ = std::make_unique<testing_support::PrivateXServer>(screen);
    ASSERT_TRUE(server_->up()) << "cannot start an X server of our own";
    display_ = server_->display();
    x_ = std::make_unique<XDriver>(display_->c_str());
    ASSERT_TRUE(x_->Connected());
    ASSERT_TRUE(x_->HasXTest());
  }

  // Starts the program with the two answers and waits for its whole first screen. Answers
  // typed before them (refused ones) go first.
  void Start(int32_t n, int32_t zoom, bool honour_file_modes = false,
             const std::string& before_zoom = "") {
    RunOptions o;
    // Standard output in a regular file, which the program buffers as it does any disk file.
    o.stdout_to_file = true;
    o.stdin_text = std::to_string(n) + "\n" + before_zoom + std::to_string(zoom) + "\n";
    o.honour_file_modes = honour_file_modes;
    o.display = display_;
    geo_ = std::make_unique<Geometry>(n, zoom);
    proc_ = StartProgram(dir_.path(), o);
    ASSERT_TRUE(x_->WaitForWindow(kTimeoutMs)) << proc_->Stderr();
    // Picture coordinates start at the drawing area, wherever the window's frame puts it.
    ASSERT_TRUE(x_->SetClientSize(geo_->w->screen_size_x, geo_->w->screen_size_y, kTimeoutMs))
        << "no drawing area of " << geo_->w->screen_size_x << " by " << geo_->w->screen_size_y
        << " in a window of " << x_->WindowWidth() << " by " << x_->WindowHeight();
    // The digit "4" is drawn last; once it shows, the whole screen is there. A drawing area
    // too narrow for it ends with the preview label as the last thing that shows.
    bool shown = false;
    if (geo_->w->screen_size_x > 525) {
      x_->WaitFor(
          501, 6, 24, 24,
          [](const Snapshot& s) { return s.Count(501, 6, 524, 29, kLightGreyRgb) > 0; }, kTimeoutMs,
          &shown);
    } else {
      x_->WaitFor(
          36, 51, 119, 24,
          [](const Snapshot& s) { return s.Count(36, 51, 154, 74, kLightGreyRgb) > 0; }, kTimeoutMs,
          &shown);
    }
    ASSERT_TRUE(shown) << "first screen not complete";
  }

  // Clicks where nothing visible is to be expected, and lets the program take it.
  void ClickSettled(int32_t px, int32_t py) {
    x_->Click(px, py);
    std::this_thread::sleep_for(kSettle);
  }
  void ClickIntensity(int k) { ClickSettled(392 + 30 * k, 17); }

  // Clicks at p and waits until the LED there is a disc of rgb.
  ::testing::AssertionResult ClickLed(wheel::Point p, uint32_t rgb, int32_t dx = 0,
                                      int32_t dy = 0) {
    x_->Click(p.x + dx, p.y + dy);
    return WaitDisc(p, rgb);
  }
  ::testing::AssertionResult WaitDisc(wheel::Point p, uint32_t rgb) {
    bool ok = false;
    x_->WaitFor(
        p.x - 8, p.y - 8, 17, 17, [&](const Snapshot& s) { return DiscAt(s, p.x, p.y, rgb); },
        kTimeoutMs, &ok);
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no disc at " << p.x << "," << p.y;
  }
  ::testing::AssertionResult WaitRing(wheel::Point p) {
    bool ok = false;
    const int32_t r = geo_->r();
    x_->WaitFor(
        p.x - 8, p.y - 8, 17, 17,
        [&](const Snapshot& s) {
          return RingAt(s, p.x, p.y, r, kRedRgb) && s.At(p.x, p.y) == kBlackRgb;
        },
        kTimeoutMs, &ok);
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no outline at " << p.x << "," << p.y;
  }

  // Waits for the end of the run and for its window to be gone.
  void ExpectEnd(int code) {
    ASSERT_TRUE(proc_->Wait(kTimeoutMs)) << "the program did not end";
    EXPECT_EQ(proc_->ExitCode(), code) << proc_->Stderr();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (x_->AnyGraphWindow() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(x_->AnyGraphWindow()) << "the window outlived the run";
  }

  TempDir dir_;
  // An X server of the test's own, when it has one; it outlives the driver's connection to it.
  std::unique_ptr<testing_support::PrivateXServer> server_;
  std::optional<std::string> display_;  // the program's, when not ours
  std::unique_ptr<XDriver> x_;
  std::unique_ptr<Geometry> geo_;
  std::unique_ptr<Process> proc_;
};

void ExpectLabelInsideFrame(const Snapshot& s, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                            int32_t mx0, int32_t my0, int32_t mx1, int32_t my1, const char* what) {
  const int inside = s.Count(x0 + 1, y0 + 1, x1 - 1, y1 - 1, kLightGreyRgb);
  EXPECT_GT(inside, 4) << what << ": label not drawn";
  EXPECT_EQ(s.Count(mx0, my0, mx1, my1, kLightGreyRgb), inside) << what << ": label leaks";
  EXPECT_EQ(s.At(x0, (y0 + y1) / 2), kGreenRgb) << what << ": left frame line";
  EXPECT_EQ(s.At(x1 - 1, (y0 + y1) / 2) == kGreenRgb || s.At(x1, (y0 + y1) / 2) == kGreenRgb, true)
      << what << ": right frame line";
  EXPECT_EQ(s.At((x0 + x1) / 2, y0), kGreenRgb) << what << ": top frame line";
}

TEST_F(EditorE2E, FirstScreenAtZoomZero) {
  Start(24, 0);
  const Snapshot s = x_->GrabSteady(kTimeoutMs);
  ASSERT_GE(s.width(), 600);
  ASSERT_GE(s.height(), 600);
  for (int32_t i = 0; i < 24; ++i) {
    for (int32_t j = 0; j < 24; ++j) {
      const wheel::Point p = geo_->At(i, j);
      ASSERT_TRUE(RingAt(s, p.x, p.y, 3, kRedRgb))
          << "LED " << i + 1 << " row " << j + 1 << Neighbourhood(s, p.x, p.y);
    }
  }
  EXPECT_TRUE(RingAt(s, 330, 300, 3, kRedRgb));
  EXPECT_TRUE(RingAt(s, 300, 41, 3, kRedRgb));
  // Nothing lit yet: no LED colour other than the outlines' red inside the wheel.
  EXPECT_EQ(s.Count(36, 80, 564, 564, kLightGreyRgb), 0);
  EXPECT_EQ(s.Count(36, 80, 564, 564, kYellowRgb), 0);
  // Border.
  EXPECT_EQ(s.At(0, 0), kGreenRgb);
  EXPECT_EQ(s.At(0, 300), kGreenRgb);
  EXPECT_EQ(s.At(599, 300), kGreenRgb);
  EXPECT_EQ(s.At(300, 0), kGreenRgb);
  EXPECT_EQ(s.At(300, 599), kGreenRgb);
  EXPECT_EQ(s.At(1, 300), kBlackRgb);
  // Close button: filled red, its label drawn inside it.
  EXPECT_EQ(s.At(567, 3), kRedRgb);
  EXPECT_EQ(s.At(598, 33), kRedRgb);
  EXPECT_GT(s.Count(566, 2, 599, 34, kBlackRgb), 0) << "the X label on its background";
  EXPECT_EQ(s.Count(540, 0, 564, 40, kRedRgb), 0);
  ExpectLabelInsideFrame(s, 35, 5, 155, 30, 20, 0, 175, 42, "write");
  ExpectLabelInsideFrame(s, 35, 50, 155, 75, 20, 43, 175, 90, "preview");
  for (int32_t k = 0; k <= 4; ++k) {
    const int32_t left = 380 + 30 * k;
    ExpectLabelInsideFrame(s, left, 5, left + 25, 30, left - 2, 0, left + 27, 40, "digit");
  }
  EXPECT_GT(s.Count(280, 10, 377, 30, kLightGreyRgb), 20) << "INTENSITY: caption";
  x_->Click(580, 20);
  ExpectEnd(0);
}

TEST_F(EditorE2E, FirstScreenAtZoomSeventy) {
  Start(48, 70);
  const Snapshot s = x_->GrabSteady(kTimeoutMs);
  ASSERT_GE(s.width(), 1020);
  ASSERT_GE(s.height(), 1020);
  EXPECT_TRUE(RingAt(s, 561, 510, 5, kRedRgb));
  EXPECT_TRUE(RingAt(s, 952, 510, 5, kRedRgb));
  for (int32_t i = 0; i < 24; ++i) {
    for (int32_t j = 0; j < 48; ++j) {
      const wheel::Point p = geo_->At(i, j);
      ASSERT_TRUE(RingAt(s, p.x, p.y, 5, kRedRgb))
          << "LED " << i + 1 << " row " << j + 1 << Neighbourhood(s, p.x, p.y);
    }
  }
  EXPECT_EQ(s.At(1019, 510), kGreenRgb);
  EXPECT_EQ(s.At(510, 1019), kGreenRgb);
  EXPECT_EQ(s.At(987, 33), kRedRgb) << "close button at the right edge";
  EXPECT_EQ(s.Count(560, 0, 980, 40, kRedRgb), 0);
  ExpectLabelInsideFrame(s, 35, 5, 155, 30, 20, 0, 175, 42, "write");
  for (int32_t k = 0; k <= 4; ++k) {
    const int32_t left = 380 + 30 * k;
    ExpectLabelInsideFrame(s, left, 5, left + 25, 30, left - 2, 0, left + 27, 40, "digit");
  }
  x_->Click(1000, 20);
  ExpectEnd(0);
}

TEST_F(EditorE2E, PaintingWithEachIntensityAndClicksThatMissDoNothing) {
  Start(24, 0);
  const wheel::Point a = geo_->At(23, 0);  // (560, 300)
  ASSERT_EQ(a.x, 560);
  EXPECT_TRUE(ClickLed(a, kRedRgb)) << "intensity 4 before any intensity click";

  const uint32_t colours[] = {0, kLightGreyRgb, kDarkGreyRgb, kYellowRgb};
  for (int k = 1; k <= 3; ++k) {
    const Snapshot before = x_->GrabSteady(kTimeoutMs);
    ClickIntensity(k);
    const Snapshot after = x_->GrabSteady(kTimeoutMs);
    EXPECT_TRUE(before == after) << "an intensity click changes nothing on the screen: "
                                 << Differences(before, after);
    EXPECT_TRUE(ClickLed(geo_->At(20, 3 * k), colours[k])) << "intensity " << k;
  }

  // Intensity 0 erases a lit LED to its outline.
  ClickIntensity(0);
  x_->Click(a.x + 2, a.y - 2);
  EXPECT_TRUE(WaitRing(a));

  // A click on the left frame line of button 2 selects nothing: 0 stays selected.
  ClickSettled(440, 17);
  x_->Click(geo_->At(20, 3).x, geo_->At(20, 3).y);
  EXPECT_TRUE(WaitRing(geo_->At(20, 3)));

  // A click on a bound of an LED's box leaves the LED alone; one pixel inside sets it.
  ClickIntensity(4);
  const wheel::Point b = geo_->At(12, 7);
  for (const auto& d : std::vector<std::pair<int, int>>{{3, 0}, {-3, 0}, {0, 3}, {0, -3}}) {
    ClickSettled(b.x + d.first, b.y + d.second);
  }
  const Snapshot untouched = x_->Grab(b.x - 8, b.y - 8, 17, 17);
  EXPECT_TRUE(RingAt(untouched, b.x, b.y, 3, kRedRgb));
  EXPECT_EQ(untouched.At(b.x, b.y), kBlackRgb);
  EXPECT_TRUE(ClickLed(b, kRedRgb, 2, -2));

  x_->Click(580, 20);
  ExpectEnd(0);
  EXPECT_FALSE(FileExists(dir_.File("IM.txt")));
}

TEST_F(EditorE2E, PreviewShowsOnlyLitLedsAndEndingItRestoresTheOutlines) {
  Start(24, 0);
  const wheel::Point red = geo_->At(23, 0), yellow = geo_->At(5, 12), off = geo_->At(10, 5);
  EXPECT_TRUE(ClickLed(red, kRedRgb));
  ClickIntensity(3);
  EXPECT_TRUE(ClickLed(yellow, kYellowRgb));

  x_->Click(100, 62);
  bool dark = false;
  x_->WaitFor(
      off.x - 6, off.y - 6, 13, 13,
      [](const Snapshot& s) { return s.Count(0, 0, 10000, 10000, kBlackRgb) == 13 * 13; },
      kTimeoutMs, &dark);
  EXPECT_TRUE(dark) << "the outline of an LED that is off is wiped";
  EXPECT_TRUE(WaitDisc(red, kRedRgb)) << "the last lit LED in drawing order";
  Snapshot s = x_->GrabSteady(kTimeoutMs);
  EXPECT_TRUE(DiscAt(s, red.x, red.y, kRedRgb));
  EXPECT_TRUE(DiscAt(s, yellow.x, yellow.y, kYellowRgb));
  EXPECT_EQ(s.Count(36, 36, 564, 564, kRedRgb),
            s.Count(red.x - 4, red.y - 4, red.x + 4, red.y + 4, kRedRgb))
      << "no outline is left anywhere under the preview disc";
  EXPECT_EQ(s.At(300 + 264, 300), kBlackRgb) << "the disc reaches past the outer ring";

  // Intensity 0 during the preview: the LED gets its red outline inside the black disc.
  ClickIntensity(0);
  x_->Click(red.x, red.y);
  EXPECT_TRUE(WaitRing(red));

  x_->Click(100, 62);
  EXPECT_TRUE(WaitRing(off));
  EXPECT_TRUE(WaitRing(geo_->At(23, 23))) << "the last outline in drawing order";
  s = x_->GrabSteady(kTimeoutMs);
  for (int32_t i = 0; i < 24; ++i) {
    for (int32_t j = 0; j < 24; ++j) {
      const wheel::Point p = geo_->At(i, j);
      if (i == 5 && j == 12) {
        EXPECT_TRUE(DiscAt(s, p.x, p.y, kYellowRgb)) << "the lit LED keeps its disc";
      } else {
        ASSERT_TRUE(RingAt(s, p.x, p.y, 3, kRedRgb))
            << "LED " << i + 1 << " row " << j + 1 << Neighbourhood(s, p.x, p.y);
      }
    }
  }
  x_->Click(580, 20);
  ExpectEnd(0);
}

TEST_F(EditorE2E, WriteGivesTheWritersBytesAndEndsTheRun) {
  Start(24, 0);
  const wheel::Point p4 = geo_->At(0, 0), p1 = geo_->At(23, 6), p2 = geo_->At(11, 12),
                     p3 = geo_->At(7, 23), gone = geo_->At(15, 18);
  EXPECT_TRUE(ClickLed(p4, kRedRgb));
  EXPECT_TRUE(ClickLed(gone, kRedRgb));
  ClickIntensity(1);
  EXPECT_TRUE(ClickLed(p1, kLightGreyRgb));
  ClickIntensity(2);
  EXPECT_TRUE(ClickLed(p2, kDarkGreyRgb));
  ClickIntensity(3);
  EXPECT_TRUE(ClickLed(p3, kYellowRgb));
  ClickIntensity(0);
  x_->Click(gone.x, gone.y);
  EXPECT_TRUE(WaitRing(gone));

  x_->Click(100, 17);
  ExpectEnd(0);
  const Written want = ExpectedWrite(24, {"1:1:4", "7:24:1", "13:12:2", "24:8:3"});
  ASSERT_FALSE(want.im_txt.empty());
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), want.im_txt);
  EXPECT_EQ(proc_->Stdout(), DialogText() + want.console);
  EXPECT_FALSE(FileExists(dir_.File("errinfo.$$$")));
}

TEST_F(EditorE2E, WriteOfAWheelThatWillNotRunWarnsOnStandardErrorOnly) {
  // 300 dark positions fit the firmware's page, but the angle counter never reaches 1 to 44.
  Start(300, 0);
  x_->Click(100, 17);
  ExpectEnd(0);
  const Written want = ExpectedWrite(300, {});
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), want.im_txt);
  EXPECT_EQ(proc_->Stdout(), DialogText() + want.console);
  EXPECT_EQ(proc_->Stderr(),
            "ledwheel: with 300 positions, positions 1 to 44 can never be shown on the wheel (the "
            "angle counter has 8 bits).\n"
            "ledwheel: IM.txt will not run on the wheel: positions 1 to 44 can never be shown "
            "(the angle counter has 8 bits).\n"
            "ledwheel: use 256 positions or fewer.\n"
            "ledwheel: ledwheel firmware holds it all the same, in its table layout (" +
                std::to_string(firmware::TableFirmwareWords(300)) + " program words of 8192).\n");
}

TEST_F(EditorE2E, OneClickSetsEveryLedWhoseBoxHoldsIt) {
  // 100 positions: the inner ring's boxes overlap, so (330, 300) sets LED 1 of rows 100, 1, 2.
  Start(100, 0);
  x_->Click(330, 300);
  EXPECT_TRUE(WaitDisc({330, 300}, kRedRgb));
  std::this_thread::sleep_for(kSettle);
  x_->Click(100, 17);
  ExpectEnd(0);
  const Written want = ExpectedWrite(100, {"100:1:4", "1:1:4", "2:1:4"});
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), want.im_txt);
  EXPECT_EQ(proc_->Stdout(), DialogText() + want.console);
}

TEST_F(EditorE2E, ClickOnAnLedInsideTheWriteButtonSetsItAndWrites) {
  // Zoom -50 with 4 positions: the top LED of the outer ring lies at (150, 21).
  Start(4, -50);
  ASSERT_EQ(geo_->At(23, 3).x, 150);
  ASSERT_EQ(geo_->At(23, 3).y, 21);
  x_->Click(150, 21);
  ExpectEnd(0);
  const Written want = ExpectedWrite(4, {"4:24:4"});
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), want.im_txt);
  EXPECT_NE(want.im_txt, ExpectedWrite(4, {}).im_txt) << "the set LED shows in the file";
  EXPECT_EQ(proc_->Stdout(), DialogText() + want.console);
}

TEST_F(EditorE2E, CloseEndsWithoutWriting) {
  Start(24, 0);
  EXPECT_TRUE(ClickLed(geo_->At(3, 3), kRedRgb));
  x_->Click(580, 20);
  ExpectEnd(0);
  EXPECT_FALSE(FileExists(dir_.File("IM.txt")));
  EXPECT_FALSE(FileExists(dir_.File("errinfo.$$$")));
  EXPECT_EQ(proc_->Stdout(), DialogText());
}

TEST_F(EditorE2E, ReadOnlyImTxtEndsWithTheFailureReportAndKeepsTheOldFile) {
  const std::string old = "old contents\r\n";
  WriteFile(dir_.File("IM.txt"), old);
  chmod(dir_.File("IM.txt").c_str(), 0444);
  // Root would write through the read-only bit; under Wine it stays root, so the program's own
  // check is what keeps the file.
  Start(24, 0, /*honour_file_modes=*/WineExe() == nullptr);
  EXPECT_TRUE(ClickLed(geo_->At(3, 3), kRedRgb));
  x_->Click(100, 17);
  ExpectEnd(9);
  const std::string report =
      "#RTS: unhandled exception #4294967295: FIO.Create: cannot open file IM.txt";
  // BeeldMatrix has written its two empty lines before the file is tried.
  EXPECT_EQ(proc_->Stdout(),
            DialogText() + "\r\n\r\n" + report + "\r\n\r\nFile errinfo.$$$ created.\r\n");
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), old);
  const std::string errinfo = ReadFile(dir_.File("errinfo.$$$"));
  EXPECT_NE(errinfo.find("\r\n" + report + "\r\n"), std::string::npos) << errinfo;
}

TEST_F(EditorE2E, WindowClosedByTheWindowManagerEndsTheRunLikeClose) {
  Start(24, 0);
  EXPECT_TRUE(ClickLed(geo_->At(3, 3), kRedRgb));
  x_->SendDeleteWindow();
  ExpectEnd(0);
  EXPECT_FALSE(FileExists(dir_.File("IM.txt")));
  EXPECT_EQ(proc_->Stdout(), DialogText());
}

TEST_F(EditorE2E, CtrlCInTheLoopGivesTheUserBreakReport) {
  Start(24, 0);
  EXPECT_TRUE(ClickLed(geo_->At(3, 3), kRedRgb));
  ASSERT_EQ(kill(proc_->pid(), SIGINT), 0);
  ExpectEnd(9);
  EXPECT_EQ(proc_->Stdout(), DialogText() +
                                 "#RTS: unhandled exception #21: USER BREAK\r\n\r\n"
                                 "File errinfo.$$$ created.\r\n");
  EXPECT_TRUE(FileExists(dir_.File("errinfo.$$$")));
  EXPECT_FALSE(FileExists(dir_.File("IM.txt")));
}

TEST(EditorE2EDialog, CtrlCAtThePromptGivesTheUserBreakReport) {
  TempDir dir;
  RunOptions o;
  o.keep_stdin_open = true;  // the program waits at the prompt until the break
  std::unique_ptr<Process> p = StartProgram(dir.path(), o);
  ASSERT_TRUE(p->ReadUntil("# LED positions: ")) << p->Stderr();
  ASSERT_EQ(kill(p->pid(), SIGINT), 0);
  ASSERT_TRUE(p->Wait(kTimeoutMs));
  EXPECT_EQ(p->ExitCode(), 9) << p->Stderr();
  const std::string dialog = DialogText();
  EXPECT_EQ(p->Stdout(), dialog.substr(0, dialog.find("# LED positions: ") + 17) +
                             "#RTS: unhandled exception #21: USER BREAK\r\n\r\n"
                             "File errinfo.$$$ created.\r\n");
  const std::string errinfo = ReadFile(dir.File("errinfo.$$$"));
  EXPECT_NE(errinfo.find("\r\n#RTS: unhandled exception #21: USER BREAK\r\n"), std::string::npos)
      << errinfo;
  EXPECT_FALSE(FileExists(dir.File("IM.txt")));
}

TEST_F(EditorE2E, ClickWithoutMovementPaintsTheLedUnderThePointer) {
  // The window opens (at screen (1, 1), no window manager here) under a resting pointer.
  const Geometry g(24, 0);
  const wheel::Point a = g.At(23, 0), b = g.At(10, 6);
  x_->MoveToScreen(1 + a.x, 1 + a.y);
  Start(24, 0);
  x_->ClickInPlace();
  EXPECT_TRUE(WaitDisc(a, kRedRgb)) << "the LED under the resting pointer";
  // The pointer moves while another window covers the editor: no movement reaches it.
  x_->Cover();
  x_->MoveTo(b.x, b.y);
  x_->Uncover();
  x_->ClickInPlace();
  EXPECT_TRUE(WaitDisc(b, kRedRgb)) << "the LED the pointer moved to unseen";
  x_->Click(580, 20);
  ExpectEnd(0);
}

TEST_F(EditorE2E, ZoomWhoseWindowDoesNotFitASmallScreenIsRefused) {
  // 800 x 600: zoom 90 would give 1171 pixels of window; -6 gives 596, -5 gives 602.
  UseServer("800x600x24");
  Start(24, -10, false, "90\n-5\n");
  const Snapshot s = x_->GrabSteady(kTimeoutMs);
  ASSERT_GE(s.width(), 540);
  EXPECT_EQ(s.At(539, 270), kGreenRgb) << "zoom -10: the border at 539";
  x_->Click(520, 20);
  ASSERT_TRUE(proc_->Wait(kTimeoutMs));
  EXPECT_EQ(proc_->ExitCode(), 0);
  const std::string refusal = "Please type a zoom from -57 to -6 (percent).";
  EXPECT_EQ(proc_->Stdout(),
            DialogText(refusal + "\r\n" + "Zoom (0%: 15\" screen, 70% = true size):  " + refusal));
}

TEST_F(EditorE2E, LostDisplayEndsWithAMessageAndExitOneAndKeepsImTxt) {
  UseServer("1024x768x24");
  const std::string old = "old contents\r\n";
  WriteFile(dir_.File("IM.txt"), old);
  Start(24, 0);
  EXPECT_TRUE(ClickLed(geo_->At(3, 3), kRedRgb));
  x_.reset();  // our own connection goes first, before the server
  server_->Kill();
  ASSERT_TRUE(proc_->Wait(kTimeoutMs)) << "the program did not end";
  EXPECT_EQ(proc_->ExitCode(), 1);
  EXPECT_EQ(proc_->Stderr(),
            "ledwheel: the connection to the display was lost; nothing was "
            "written\n");
  EXPECT_EQ(proc_->Stdout(), DialogText());
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), old);
  EXPECT_FALSE(FileExists(dir_.File("errinfo.$$$")));
}

TEST_F(EditorE2E, UnderAWindowManagerClicksPaintAndWriteWrites) {
  // A window manager whose frames listen for presses: without the presses taken by the
  // editor, no click would ever reach it.
  UseServer("1600x1200x24");
  ASSERT_TRUE(server_->Spawn({"icewm"})) << "icewm is needed (make test installs it)";
  ASSERT_TRUE(x_->WaitForWindowManager(kTimeoutMs));
  Start(24, 0);
  const wheel::Point red = geo_->At(23, 0), yellow = geo_->At(5, 12);
  EXPECT_TRUE(ClickLed(red, kRedRgb));
  ClickIntensity(3);
  EXPECT_TRUE(ClickLed(yellow, kYellowRgb));
  x_->Click(100, 17);
  ExpectEnd(0);
  const Written want = ExpectedWrite(24, {"1:24:4", "13:6:3"});
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), want.im_txt);
  EXPECT_EQ(proc_->Stdout(), DialogText() + want.console);
}

TEST(EditorE2ENoDisplay, MouseFailureIsReportedWithExitCodeOne) {
  TempDir dir;
  RunOptions o;
  o.stdout_to_file = true;
  o.stdin_text = "24\n0\n";
  o.display = ":1789";  // no server there
  std::unique_ptr<Process> p = StartProgram(dir.path(), o);
  ASSERT_TRUE(p->Wait(kTimeoutMs));
  EXPECT_EQ(p->ExitCode(), 1) << p->Stderr();
  EXPECT_EQ(p->Stdout(), DialogText() + "Sorry, mouse doesn't work\r\n");
  EXPECT_FALSE(FileExists(dir.File("IM.txt")));
  EXPECT_FALSE(FileExists(dir.File("errinfo.$$$")));
}

}  // namespace
}  // namespace e2e
