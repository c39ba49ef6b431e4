// Tests of the options dialog: its exact bytes through the real program, refusals, end of
// input, the console break, and the state it leaves behind.
#include "editor/dialog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

using testing_support::Process;
using testing_support::ReadFile;
using testing_support::RunOptions;
using testing_support::TempDir;

const std::string kProgram = LEDWHEEL;

const std::string kStars = "********************************************";
const std::string kHead = "\r\n\r\n\r\n" + kStars +
                          "\r\n*  24 LEDS BITMAP TO PIC-MEMORY CONVERTER  *\r\n" + kStars +
                          "\r\n\r\nO P T I O N S\r\n-------------\r\n\r\n";
const std::string kPositions = "# LED positions: ";
const std::string kZoom = "Zoom (0%: 15\" screen, 70% = true size):  ";
const std::string kTail = "\r\n\r\n\r\n\r\n\r\n";
const std::string kPositionsRefusal = "Please type a number of LED positions from 1 to 500.\r\n";
const std::string kZoomRefusal = "Please type a zoom from -57 to 90 (percent).\r\n";

// The program with no display, so that a complete dialog ends at the window; standard output
// on a pipe, as on a console.
RunOptions Options(std::vector<std::string> args = {}) {
  RunOptions o;
  o.args = std::move(args);
  o.display = "";
  return o;
}

struct DialogRun : ::testing::Test {
  TempDir dir;
  std::string out, err;
  int code = 0;
  void Run(std::string_view input) {
    RunOptions o = Options();
    o.stdin_text = input;
    const testing_support::RunResult r = testing_support::Run(kProgram, dir.path(), o);
    code = r.exit_code;
    out = r.out;
    err = r.err;
  }
  // What may follow a complete dialog: nothing, or the window failing without a display.
  void ExpectDialogThenEnd(const std::string& dialog) {
    ASSERT_GE(out.size(), dialog.size()) << out;
    EXPECT_EQ(out.substr(0, dialog.size()), dialog);
    const std::string rest = out.substr(dialog.size());
    EXPECT_TRUE(rest.empty() || rest == "Sorry, mouse doesn't work\r\n") << rest;
    EXPECT_FALSE(testing_support::FileExists(dir.File("errinfo.$$$")));
  }
};

TEST_F(DialogRun, BothNumbersOnOneLineAnswerBothPrompts) {
  Run("48 0\n");
  ExpectDialogThenEnd(kHead + kPositions + "\r\n" + kZoom + kTail);
}

TEST_F(DialogRun, LettersAtTheZoomPromptAreZoomZero) {
  Run("24\r\nabc\r\n");
  ExpectDialogThenEnd(kHead + kPositions + "\r\n" + kZoom + kTail);
}

TEST_F(DialogRun, OutOfRangeAnswersAreRefusedAndAskedAgain) {
  Run("0\n501\n-3 abc\n500\n-58\n91\n2147483648\n-57\n");
  ExpectDialogThenEnd(kHead + kPositions + kPositionsRefusal + kPositions + kPositionsRefusal +
                      kPositions + kPositionsRefusal + kPositions + kPositionsRefusal + kPositions +
                      "\r\n" + kZoom + kZoomRefusal + kZoom + kZoomRefusal + kZoom + kZoomRefusal +
                      kZoom + kTail);
}

TEST_F(DialogRun, OverlongLineIsSplitIntoItemsWithoutHarm) {
  // 600 digits: read in pieces of 256, each piece one item and refused as too large.
  Run(std::string(600, '9') + "\n24 0\n");
  ExpectDialogThenEnd(kHead + kPositions + kPositionsRefusal + kPositions + kPositionsRefusal +
                      kPositions + kPositionsRefusal + kPositions + "\r\n" + kZoom + kTail);
}

TEST_F(DialogRun, BoundsThemselvesAreAccepted) {
  Run("1 90\n");
  ExpectDialogThenEnd(kHead + kPositions + "\r\n" + kZoom + kTail);
}

TEST_F(DialogRun, EndOfInputEndsAtOnceWithAMessage) {
  Run("48\n   \n");
  EXPECT_EQ(out, kHead + kPositions + "\r\n" + kZoom);
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("standard input ended"), std::string::npos) << err;
  Run("");
  EXPECT_EQ(out, kHead + kPositions);
  EXPECT_EQ(code, 1);
}

TEST_F(DialogRun, ConsoleBreakWhileWaitingEndsWithTheReport) {
  RunOptions o = Options({"one", "two"});
  o.keep_stdin_open = true;
  Process p(kProgram, dir.path(), o);
  ASSERT_TRUE(p.ReadUntil(kPositions)) << p.Stdout();
  ASSERT_EQ(kill(p.pid(), SIGINT), 0);
  ASSERT_TRUE(p.Wait(testing_support::kGuardMs));
  EXPECT_EQ(p.Stdout(), kHead + kPositions +
                            "#RTS: unhandled exception #21: USER BREAK\r\n\r\n"
                            "File errinfo.$$$ created.\r\n");
  EXPECT_EQ(p.ExitCode(), 9);
  const std::string info = ReadFile(dir.File("errinfo.$$$"));
  const std::string line1 = info.substr(0, info.find("\r\n"));
  EXPECT_EQ(line1.substr(0, 1), "/");
  EXPECT_EQ(line1.substr(line1.size() - std::string("/ledwheel one two").size()),
            "/ledwheel one two");
  EXPECT_NE(info.find("\r\n#RTS: unhandled exception #21: USER BREAK\r\n"), std::string::npos);
}

TEST_F(DialogRun, ConsoleBreakAtTheSecondPromptToo) {
  RunOptions o = Options();
  o.stdin_text = "77\n";
  o.keep_stdin_open = true;
  Process p(kProgram, dir.path(), o);
  ASSERT_TRUE(p.ReadUntil(kZoom)) << p.Stdout();
  ASSERT_EQ(kill(p.pid(), SIGINT), 0);
  EXPECT_TRUE(p.ReadUntil("File errinfo.$$$ created.\r\n")) << p.Stdout();
  ASSERT_TRUE(p.Wait(testing_support::kGuardMs));
  EXPECT_EQ(p.ExitCode(), 9);
}

// In-process: the state the dialog leaves, whatever was set before.
// Runs the dialog in this process on input, with standard input and output redirected, and
// returns what it wrote.
std::string DialogInProcess(wheel::Wheel& w, const std::string& input,
                            const std::function<int32_t()>& largest_zoom) {
  TempDir dir;
  int in[2];
  EXPECT_EQ(pipe(in), 0);
  EXPECT_EQ(write(in[1], input.data(), input.size()), ssize_t(input.size()));
  close(in[1]);
  const int saved_in = dup(0), saved_out = dup(1);
  const int out = open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  EXPECT_GE(out, 0);
  fflush(stdout);
  dup2(in[0], 0);
  dup2(out, 1);
  editor::RunDialog(w, largest_zoom);
  dup2(saved_in, 0);
  dup2(saved_out, 1);
  close(in[0]);
  close(out);
  return ReadFile(dir.File("out"));
}

TEST(RunDialog, LeavesSizesAndFlagsSet) {
  auto w = std::make_unique<wheel::Wheel>();
  w->intens0 = w->intens2 = w->end = w->create_bitmap = w->bekijken = true;
  const std::string out = DialogInProcess(*w, "30\nabc\n", [] { return editor::kMaxZoom; });
  EXPECT_EQ(w->aantal_hoeken, 30);
  EXPECT_EQ(w->schaal, 0);
  EXPECT_EQ(w->screen_size_x, 600);
  EXPECT_EQ(w->screen_size_y, 600);
  EXPECT_EQ(w->straal_led, 3);
  EXPECT_EQ(w->straal_binnencirkel, 30);
  EXPECT_EQ(w->afstand_leds, 10);
  EXPECT_TRUE(w->intens4);
  EXPECT_FALSE(w->intens0 || w->intens1 || w->intens2 || w->intens3);
  EXPECT_FALSE(w->end || w->create_bitmap || w->bekijken);
  EXPECT_EQ(out, kHead + kPositions + "\r\n" + kZoom + kTail);
}

TEST(RunDialog, ZoomAboveWhatFitsTheScreenIsRefusedNamingTheLargestThatFits) {
  auto w = std::make_unique<wheel::Wheel>();
  int asked = 0;
  const std::string out = DialogInProcess(*w, "24\n90\n-5\n-58\n-6\n", [&] {
    ++asked;
    return -6;
  });
  EXPECT_EQ(asked, 1) << "the screen is asked once";
  EXPECT_EQ(w->schaal, -6);
  EXPECT_EQ(w->screen_size_x, 564);
  const std::string refusal = "Please type a zoom from -57 to -6 (percent).\r\n";
  EXPECT_EQ(out, kHead + kPositions + "\r\n" + kZoom + refusal + kZoom + refusal + kZoom + refusal +
                     kZoom + kTail);
}

// The largest zoom whose window, at (1, 1) with 5 by 31 pixels of frame, fits the room.
TEST(LargestZoomFor, TheWindowFitsTheRoomAtTheLargestZoom) {
  const struct {
    uint32_t width, height;
    int32_t zoom;
  } cases[] = {
      {1600, 1200, 90},  // a large screen: the limit stays
      {1172, 1172, 90},  // zoom 90 exactly: 1 + 1140 + 31 high, 1 + 1140 + 5 wide
      {1171, 1171, 89},  // one pixel short
      {800, 600, -6},    // -6 gives 564: 596 high; -5 gives 570: 602
      {1024, 768, 22},   // 732 + 32 = 764
      {1920, 1080, 74},  // 1044 + 32 = 1076
      {700, 2000, 15},   // the width limits: 690 + 6 = 696
      {1920, 1055, 70},  // a panel takes 25 rows: true size still fits
      {300, 300, -56},   // 264 + 32 = 296
      {250, 250, -57},   // nothing fits: the smallest zoom the picture allows
      {0, 0, -57},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(editor::LargestZoomFor(c.width, c.height), c.zoom) << c.width << "x" << c.height;
  }
}

}  // namespace
