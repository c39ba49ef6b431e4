// End-to-end tests of `ledwheel edit` under an X server: the loaded wheel on the first screen,
// and the write button writing the same bytes, or the painted change, where -o says.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
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
  void Start(int32_t n, int32_t zoom, const std::vector<std::string>& args) {
    geo_ = std::make_unique<wheel::Wheel>();
    geo_->aantal_hoeken = n;
    geo_->schaal = zoom;
    wheel::ComputeSizes(*geo_);
    geo_->hoek_stap = wheel::HoekStap(n);
    RunOptions o;
    o.args = args;
    proc_ = std::make_unique<Process>(kProgram, dir_.path(), o);
    ASSERT_TRUE(x_->WaitForWindow(kTimeoutMs)) << proc_->Stderr();
    bool shown = false;  // the digit "4" is drawn last
    x_->WaitFor(
        501, 6, 24, 24,
        [](const Snapshot& s) { return s.Count(501, 6, 524, 29, kLightGreyRgb) > 0; }, kTimeoutMs,
        &shown);
    ASSERT_TRUE(shown) << "first screen not complete";
  }

  void WriteAndEnd() {
    x_->Click(90, 17);  // " CREATE  IM.TXT "
    ASSERT_TRUE(proc_->Wait(kTimeoutMs)) << "the program did not end";
    EXPECT_EQ(proc_->ExitCode(), 0) << proc_->Stderr();
    EXPECT_EQ(proc_->Stdout(), "");
    EXPECT_EQ(proc_->Stderr(), "");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (x_->AnyGraphWindow() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
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

}  // namespace
}  // namespace e2e
