// End-to-end tests of `ledwheel edit` under an X server: the loaded wheel on the first screen,
// the write button writing the same bytes, or the painted change, where -o says; strokes, keys,
// undo and redo, writes that go on, the title, and the painting kept however the run ends.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imtxt/maak_text.h"
#include "runtime/fio.h"
#include "tests/e2e/x_driver.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/xserver.h"
#include "wheel/wheel.h"

namespace e2e {
namespace {

using testing_support::Process;
using testing_support::ReadFile;
using testing_support::RunOptions;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr const char* kProgram = LEDWHEEL_PROGRAM;
constexpr int kTimeoutMs = 20000;

// The program under test: the Linux build, or, when LEDWHEEL_WINE_EXE names ledwheel.exe, the
// Windows build under Wine (LEDWHEEL_WINE, or /usr/bin/wine), with the same input and checks.
const char* WineExe() {
  const char* exe = std::getenv("LEDWHEEL_WINE_EXE");
  return exe != nullptr && exe[0] != '\0' ? exe : nullptr;
}
std::unique_ptr<Process> StartProgram(const std::string& dir, RunOptions o) {
  if (const char* exe = WineExe()) {
    const char* wine = std::getenv("LEDWHEEL_WINE");
    o.args.insert(o.args.begin(), exe);
    return std::make_unique<Process>(wine != nullptr && wine[0] != '\0' ? wine : "/usr/bin/wine",
                                     dir, o);
  }
  return std::make_unique<Process>(kProgram, dir, o);
}

// The colour each intensity is drawn in (Kleur's palette entries).
constexpr uint32_t kIntensityRgb[] = {0, kLightGreyRgb, kDarkGreyRgb, kYellowRgb, kRedRgb};

class EditE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { FIO::Start(); }

  void SetUp() override {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X server in DISPLAY";
    x_ = std::make_unique<XDriver>();
    ASSERT_TRUE(x_->Connected());
    ASSERT_TRUE(x_->HasXTest());
    x_->MoveToScreen(1590, 1190);
    ASSERT_FALSE(x_->AnyGraphWindow()) << "another editor window is still open";
  }

  // A wheel with every intensity on its first quarter, dark elsewhere; its IM.txt in name.
  std::string WriteWheel(int32_t n, const std::string& name) {
    led_ = std::make_unique<wheel::LedArray>();
    for (int32_t q = 1; q <= n / 4; ++q) {
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*led_)[q][i].toestand = (q + i) % 5;
    }
    imtxt::WriteImFile(*led_, n, dir_.File(name));
    return ReadFile(dir_.File(name));
  }

  // Starts `ledwheel edit args...` and waits for its whole first screen.
  void Start(int32_t n, int32_t zoom, const std::vector<std::string>& args,
             std::optional<std::string> display = std::nullopt) {
    geo_ = std::make_unique<wheel::Wheel>();
    geo_->aantal_hoeken = n;
    geo_->schaal = zoom;
    wheel::ComputeSizes(*geo_);
    geo_->hoek_stap = wheel::HoekStap(n);
    RunOptions o;
    o.args = args;
    o.display = display;
    proc_ = StartProgram(dir_.path(), o);
    ASSERT_TRUE(x_->WaitForWindow(kTimeoutMs)) << proc_->Stderr();
    // Picture coordinates start at the drawing area, wherever the window's frame puts it.
    ASSERT_TRUE(x_->SetClientSize(geo_->screen_size_x, geo_->screen_size_y, kTimeoutMs));
    bool shown = false;  // the digit "4" is drawn last
    x_->WaitFor(
        501, 6, 24, 24,
        [](const Snapshot& s) { return s.Count(501, 6, 524, 29, kLightGreyRgb) > 0; }, kTimeoutMs,
        &shown);
    ASSERT_TRUE(shown) << "first screen not complete";
  }

  void Close() { x_->Click(geo_->screen_size_x - 20, 20); }  // " X "

  void WriteAndEnd() {
    x_->Click(90, 17);  // " CREATE  IM.TXT "
    ExpectEnd(0);
    EXPECT_EQ(Err(), "");
  }

  // Standard error with LF line ends (a Windows build writes CR LF).
  std::string Err() const {
    std::string err = proc_->Stderr();
    if (WineExe() != nullptr) std::erase(err, '\r');
    return err;
  }

  // Waits for the end of the run, with this exit code.
  void ExpectEnd(int code) {
    ASSERT_TRUE(proc_->Wait(kTimeoutMs)) << "the program did not end";
    EXPECT_EQ(proc_->ExitCode(), code) << proc_->Stderr();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (x_->AnyGraphWindow() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // Whether the LED (ring i, position j) shows intensity t: a disc of its colour, or for 0 a red
  // outline around black (or the picture under it).
  static bool Shows(const Snapshot& s, wheel::Point p, int32_t r, int32_t t) {
    if (t != 0) return DiscAt(s, p.x, p.y, kIntensityRgb[t]);
    return RingAt(s, p.x, p.y, r, kRedRgb) && s.At(p.x, p.y) != kRedRgb;
  }
  ::testing::AssertionResult WaitShows(int32_t i, int32_t j, int32_t t) {
    const wheel::Point p = At(i, j);
    bool ok = false;
    const Snapshot s = x_->WaitFor(
        p.x - 8, p.y - 8, 17, 17,
        [&](const Snapshot& g) { return Shows(g, p, geo_->straal_led, t); }, kTimeoutMs, &ok);
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "LED " << i + 1 << " position " << j + 1
                                         << " does not show " << t << Neighbourhood(s, p.x, p.y);
  }

  // The title once it is the one wanted, or the last one seen.
  std::string WaitTitle(const std::string& want) {
    std::string title;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while ((title = x_->Title()) != want && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return title;
  }

  wheel::Point At(int32_t ring, int32_t position) const {
    return wheel::Centre(*geo_, ring, position);
  }

  TempDir dir_;
  std::unique_ptr<XDriver> x_;
  std::unique_ptr<wheel::LedArray> led_;
  std::unique_ptr<wheel::Wheel> geo_;
  std::unique_ptr<Process> proc_;
};

TEST_F(EditE2E, TheLoadedWheelIsDrawnAndWritingGivesTheSameBytes) {
  const std::string original = WriteWheel(48, "IM.txt");
  Start(48, 0, {"edit", "IM.txt"});
  const Snapshot s = x_->GrabSteady(kTimeoutMs);
  // From ring 7 outwards neighbouring LEDs do not overlap at 48 positions.
  for (int32_t i = 6; i < wheel::kLedsPerSpoke; i += 2) {
    for (int32_t j = 0; j < 48; j += 5) {
      const wheel::Point p = At(i, j);
      const int32_t t = (*led_)[j + 1][i + 1].toestand;
      if (t == 0) {
        EXPECT_TRUE(RingAt(s, p.x, p.y, geo_->straal_led, kRedRgb))
            << "LED " << i + 1 << " position " << j + 1 << Neighbourhood(s, p.x, p.y);
      } else {
        EXPECT_TRUE(DiscAt(s, p.x, p.y, kIntensityRgb[t]))
            << "LED " << i + 1 << " position " << j + 1 << " at " << t
            << Neighbourhood(s, p.x, p.y);
      }
    }
  }
  WriteAndEnd();
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), original);
}

TEST_F(EditE2E, APaintedChangeIsWrittenWhereTheOutputSays) {
  std::string original = WriteWheel(40, "in.txt");
  // As included in firmware: blanks and LF.
  std::string included;
  for (char c : original) {
    if (c != '\r') included += c == '_' ? ' ' : c;
  }
  WriteFile(dir_.File("in.inc"), included);
  Start(40, 20, {"edit", "in.inc", "--zoom", "20", "-o", "out.txt"});
  // Intensity 4 is selected at the start: the outermost LED of position 30 lights up.
  const wheel::Point p = At(23, 29);
  x_->Click(p.x, p.y);
  bool lit = false;
  x_->WaitFor(
      p.x - 8, p.y - 8, 17, 17, [&](const Snapshot& s) { return DiscAt(s, p.x, p.y, kRedRgb); },
      kTimeoutMs, &lit);
  ASSERT_TRUE(lit);
  WriteAndEnd();
  (*led_)[30][24].toestand = 4;
  imtxt::WriteImFile(*led_, 40, dir_.File("expected.txt"));
  EXPECT_EQ(ReadFile(dir_.File("out.txt")), ReadFile(dir_.File("expected.txt")));
  EXPECT_EQ(ReadFile(dir_.File("in.inc")), included);
  EXPECT_FALSE(testing_support::FileExists(dir_.File("IM.txt")));
}

TEST_F(EditE2E, ZoomsWhoseWindowDoesNotFitTheScreenAreRefusedBeforeAnyWindow) {
  // 800 x 600: the dialog's largest zoom there is -6; edit keeps to the same limit.
  testing_support::PrivateXServer small("800x600x24");
  ASSERT_TRUE(small.up());
  testing_support::ScopedDisplay on(small.display());
  const std::string bytes = WriteWheel(24, "IM.txt");
  const struct {
    const char* zoom;
    int exit_code;
  } cases[] = {{"90", 2}, {"-5", 2}};
  for (const auto& c : cases) {
    RunOptions o;
    o.args = {"edit", "IM.txt", "--zoom", c.zoom};
    Process p(kProgram, dir_.path(), o);
    ASSERT_TRUE(p.Wait(kTimeoutMs)) << c.zoom;
    EXPECT_EQ(p.ExitCode(), c.exit_code) << c.zoom;
    EXPECT_EQ(p.Stderr(), std::string("ledwheel: --zoom ") + c.zoom +
                              ": the window would not fit this screen; the largest zoom that "
                              "fits is -6\n");
    EXPECT_EQ(p.Stdout(), "");
  }
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), bytes);
}

// One session on a blank wheel of 48 positions at zoom 0, step by step: what each step must
// leave on the screen, in the title and, at Ctrl+S, in the file. From ring 7 outwards no two
// LEDs' boxes overlap, so after each step every LED there is checked against the model.
TEST_F(EditE2E, StrokesUndoRedoAndWritesThatGoOn) {
  Start(48, 0, {"edit"});
  EXPECT_EQ(WaitTitle("IM.txt - ledwheel"), "IM.txt - ledwheel");
  auto model = std::make_unique<wheel::LedArray>();
  struct Led {
    int32_t ring, position, intensity;  // 0-based ring and position
  };
  struct Step {
    const char* what;
    // With no stroke, the key: "2", "^z" for Ctrl+Z, "^Z" for Ctrl+Shift+Z. With a stroke, how it
    // goes: "jump" in one movement, "out" leaving the window after its first LED and coming
    // back, or a key typed after its first LED.
    std::string act;
    // (ring, position) where the button goes down and what the pointer then passes, each waited
    // for until it shows the stroke's intensity; one: a click.
    std::vector<std::pair<int32_t, int32_t>> stroke = {};
    std::vector<Led> now = {};  // what the LEDs the step changes show afterwards
    bool unwritten = true;
    bool written = false;  // the output now holds the model
  };
  std::vector<std::pair<int32_t, int32_t>> ring13;
  std::vector<Led> ring13_lit, line_lit;
  for (int32_t j = 4; j <= 16; ++j) {
    if (j % 2 == 0) ring13.push_back({12, j});
    ring13_lit.push_back({12, j, 4});
  }
  for (int32_t i = 8; i <= 20; ++i) line_lit.push_back({i, 24, 2});
  const std::vector<Led> out_lit = {{14, 0, 3}, {21, 0, 3}, {22, 0, 3}, {23, 0, 3}};
  const std::vector<Led> held = {{16, 30, 3}, {16, 31, 3}}, undone = {{16, 30, 0}, {16, 31, 0}};
  const Step steps[] = {
      {"a drag along ring 13, reported at every other LED, paints those between too", "", ring13,
       ring13_lit},
      {"2 selects intensity 2", "2"},
      {"a straight drag in one movement paints every LED on its line",
       "jump",
       {{8, 24}, {20, 24}},
       line_lit},
      {"3 selects intensity 3", "3"},
      {"a drag that leaves the window and comes back paints nothing between",
       "out",
       {{14, 0}, {21, 0}, {23, 0}},
       out_lit},
      {"a key typed while the button is held acts after the stroke",
       "1",
       {{16, 30}, {16, 31}},
       held},
      {"so the next click paints at 1", "", {{18, 30}}, {{18, 30, 1}}},
      {"Ctrl+Z undoes the click", "^z", {}, {{18, 30, 0}}},
      {"Ctrl+Z undoes the stroke before it", "^z", {}, undone},
      {"Ctrl+Y redoes it", "^y", {}, held},
      {"Ctrl+Shift+Z redoes the click", "^Z", {}, {{18, 30, 1}}},
      {"Ctrl+S writes, and the painting goes on", "^s", {}, {}, false, true},
      {"Ctrl+Z after the write: unwritten again", "^z", {}, {{18, 30, 0}}},
      {"Ctrl+Y: as written", "^y", {}, {{18, 30, 1}}, false},
      {"4 selects intensity 4", "4", {}, {}, false},
      {"a click: unwritten again", "", {{20, 5}}, {{20, 5, 4}}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const bool ctrl = step.act[0] == '^';
    const char key = step.act.empty() ? 0 : step.act.back();  // Latin-1 keysyms: the characters
    // A drag that outruns the program is reported in fewer positions (Windows merges them), and
    // a person's hand is slower than the repaint: each LED is waited for before the next.
    for (size_t k = 0; k < step.stroke.size() && step.stroke.size() > 1; ++k) {
      const auto [i, j] = step.stroke[k];
      x_->MoveTo(At(i, j).x, At(i, j).y);
      if (k == 0) x_->Press();
      if (step.act != "jump") {
        EXPECT_TRUE(WaitShows(i, j, step.now.front().intensity));
      }
      if (k == 0 && step.act == "out") {
        x_->MoveTo(geo_->screen_size_x + 100, At(i, j).y);  // right of the window
        x_->Sync();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      if (k == 0 && step.act.size() == 1) x_->Key(key);
      if (k + 1 == step.stroke.size()) x_->Release();
    }
    if (step.stroke.size() == 1) {
      x_->Click(At(step.stroke[0].first, step.stroke[0].second).x,
                At(step.stroke[0].first, step.stroke[0].second).y);
    } else if (step.stroke.empty()) {
      x_->Key(std::tolower(key), ctrl, std::isupper(key));
    }
    for (const Led& l : step.now) {
      (*model)[l.position + 1][l.ring + 1].toestand = l.intensity;
      EXPECT_TRUE(WaitShows(l.ring, l.position, l.intensity));
    }
    const std::string title = step.unwritten ? "*IM.txt - ledwheel" : "IM.txt - ledwheel";
    EXPECT_EQ(WaitTitle(title), title);
    const Snapshot s = x_->GrabSteady(kTimeoutMs);
    for (int32_t i = 6; i < wheel::kLedsPerSpoke; ++i) {
      for (int32_t j = 0; j < 48; ++j) {
        const int32_t t = (*model)[j + 1][i + 1].toestand;
        EXPECT_TRUE(Shows(s, At(i, j), geo_->straal_led, t))
            << "LED " << i + 1 << " position " << j + 1 << " should show " << t
            << Neighbourhood(s, At(i, j).x, At(i, j).y);
      }
    }
    if (step.written) {
      imtxt::WriteImFile(*model, 48, dir_.File("expected.txt"));
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (ReadFile(dir_.File("IM.txt")) != ReadFile(dir_.File("expected.txt")) &&
             std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      EXPECT_TRUE(ReadFile(dir_.File("IM.txt")) == ReadFile(dir_.File("expected.txt")))
          << "IM.txt holds what the screen shows";
      EXPECT_TRUE(proc_->Running()) << "the program goes on after Ctrl+S";
    }
  }
  Close();  // what is kept then: the next test
  ExpectEnd(0);
}

// However the run ends with changes unwritten, they are left beside the output in IM.txt's own
// form, which the line on standard error says; `edit FILE` then offers them (the last run's), and
// `edit --recover` goes on with them, starting unwritten, until a write removes the file.
TEST_F(EditE2E, UnwrittenChangesAreKeptHoweverTheRunEnds) {
  enum class End { kCloseButton, kWindowManager, kCtrlC, kDisplayGone };
  const std::string kept =
      "the unwritten changes are kept in .IM.txt.recover; to go on with them: ledwheel edit "
      "--recover\n";
  const std::string report =
      "#RTS: unhandled exception #21: USER BREAK\r\n\r\nFile errinfo.$$$ created.\r\n";
  const struct {
    const char* what;
    End end;
    int exit_code;
    std::string err;
    std::string out;
  } cases[] = {
      {"the close button", End::kCloseButton, 0, "ledwheel: " + kept, ""},
      {"the window closed by its frame", End::kWindowManager, 0, "ledwheel: " + kept, ""},
      {"Ctrl+C in the console", End::kCtrlC, 9, "ledwheel: " + kept, report},
      {"the X server killed", End::kDisplayGone, 1,
       "ledwheel: the connection to the display was lost; " + kept, ""},
  };
  std::string expected;  // the painting the last run kept
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Wine itself ends with the X server.
    if (c.end == End::kDisplayGone && WineExe() != nullptr) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      std::filesystem::remove_all(entry.path());
    }
    const std::string original = WriteWheel(48, "IM.txt");
    std::unique_ptr<testing_support::PrivateXServer> server;
    std::optional<std::string> display;
    if (c.end == End::kDisplayGone) {
      server = std::make_unique<testing_support::PrivateXServer>("1024x768x24");
      ASSERT_TRUE(server->up());
      display = server->display();
      x_ = std::make_unique<XDriver>(display->c_str());
    }
    Start(48, 0, {"edit", "IM.txt"}, display);
    x_->Click(At(20, 30).x, At(20, 30).y);
    ASSERT_TRUE(WaitShows(20, 30, 4));
    EXPECT_EQ(WaitTitle("*IM.txt - ledwheel"), "*IM.txt - ledwheel");
    switch (c.end) {
      case End::kCloseButton:
        Close();
        break;
      case End::kWindowManager:
        x_->SendDeleteWindow();
        break;
      case End::kCtrlC:
        ASSERT_EQ(kill(proc_->pid(), SIGINT), 0);
        break;
      case End::kDisplayGone:
        x_ = std::make_unique<XDriver>();  // our own connection goes first
        server->Kill();
        break;
    }
    ExpectEnd(c.exit_code);
    EXPECT_EQ(Err(), c.err);
    EXPECT_EQ(proc_->Stdout(), c.out);
    EXPECT_TRUE(ReadFile(dir_.File("IM.txt")) == original) << "the output is not touched";
    (*led_)[31][21].toestand = 4;
    imtxt::WriteImFile(*led_, 48, dir_.File("expected.txt"));
    expected = ReadFile(dir_.File("expected.txt"));
    EXPECT_TRUE(ReadFile(dir_.File(".IM.txt.recover")) == expected) << "the painting is kept";
  }

  // Offered, and kept by a run that changes nothing.
  Start(48, 0, {"edit", "IM.txt"});
  EXPECT_EQ(WaitTitle("IM.txt - ledwheel"), "IM.txt - ledwheel");
  Close();
  ExpectEnd(0);
  EXPECT_EQ(Err(),
            "ledwheel: .IM.txt.recover holds unwritten changes of an earlier run; to go on "
            "with them: ledwheel edit --recover\n");
  EXPECT_TRUE(ReadFile(dir_.File(".IM.txt.recover")) == expected) << "still kept";

  // Resumed: unwritten from the start; a write puts it in the output and removes the file.
  Start(48, 0, {"edit", "--recover"});
  EXPECT_EQ(WaitTitle("*IM.txt - ledwheel"), "*IM.txt - ledwheel");
  EXPECT_TRUE(WaitShows(20, 30, 4));
  x_->Key(XK_s, true);
  EXPECT_EQ(WaitTitle("IM.txt - ledwheel"), "IM.txt - ledwheel");
  Close();
  ExpectEnd(0);
  EXPECT_EQ(Err(), "");
  EXPECT_TRUE(ReadFile(dir_.File("IM.txt")) == expected) << "the painting is written";
  EXPECT_FALSE(testing_support::FileExists(dir_.File(".IM.txt.recover")));
}

}  // namespace
}  // namespace e2e
