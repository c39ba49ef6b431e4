// The fit check's verdicts at the page boundary and around 256 positions, and its texts.
#include "firmware/fit_check.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "imtxt/test_util.h"

namespace firmware {
namespace {

using imtxt::testing::Picture;

TEST(FitCheckTest, Verdicts) {
  const struct {
    int32_t positions, words, budget;
    bool fits;
    int32_t unseen_last;
  } cases[] = {
      {48, kFragmentBudget, kFragmentBudget, true, 0},
      {48, kFragmentBudget + 1, kFragmentBudget, false, 0},
      {1, 14, 13, false, 0},
      {256, 1544, kFragmentBudget, true, 0},
      {257, 1550, kFragmentBudget, true, 1},
      {258, 1556, kFragmentBudget, true, 2},
      {500, 3008, kFragmentBudget, false, 244},
      {500, 3008, 4096, true, 244},
  };
  for (const auto& c : cases) {
    const Fit fit = CheckFit(c.positions, c.words, c.budget);
    EXPECT_EQ(fit.Fits(), c.fits) << c.positions << " " << c.words;
    EXPECT_EQ(fit.UnseenLast(), c.unseen_last) << c.positions;
    EXPECT_EQ(fit.Runs(), c.fits && c.unseen_last == 0) << c.positions << " " << c.words;
    const std::string warning = WillNotRunWarning(fit, "IM.txt");
    EXPECT_EQ(warning.empty(), fit.Runs());
    if (!warning.empty()) {
      EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 2) << warning;
      EXPECT_EQ(warning.find("IM.txt"), 10u) << warning;
      EXPECT_EQ(warning.find("grey levels") != std::string::npos, !c.fits) << warning;
      EXPECT_EQ(warning.find("256") != std::string::npos, c.unseen_last > 0) << warning;
    }
  }
}

// Two lit positions with a mix that makes the fragment exactly `extra` words past 44 full ones.
Picture AtTheBoundary(bool one_over) {
  Picture p(46);
  for (int32_t q = 0; q < 44; ++q) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) p[q][i] = 1 + i % 4;  // 45 words
  }
  if (one_over) {
    p[44][0] = 1, p[44][1] = 2, p[44][2] = 4;  // 37 words; the last position dark, 6
  } else {
    p[44][0] = 4, p[45][0] = 4;  // 21 words each
  }
  return p;
}

TEST(FitCheckTest, PageBoundaryFromTheLeds) {
  for (bool one_over : {false, true}) {
    const Picture picture = AtTheBoundary(one_over);
    const imtxt::testing::State s = imtxt::testing::Load(picture);
    const Fit fit = CheckFit(s.wheel->led, 46);
    EXPECT_EQ(fit.words, kFragmentBudget + (one_over ? 1 : 0));
    EXPECT_EQ(fit.Runs(), !one_over);
  }
}

TEST(FitCheckTest, TopSpeedCoversTheWheelsTheFirmwareIsMeantFor) {
  const struct {
    int32_t positions;
    double at_least;  // turns per second
  } cases[] = {{1, 1000}, {24, 50}, {100, 20}, {256, 5}, {500, 2}};
  double previous = 1e9;
  for (const auto& c : cases) {
    const double top = CheckFit(c.positions, 100).top_speed;
    EXPECT_GE(top, c.at_least) << c.positions;
    EXPECT_LT(top, previous) << c.positions;
    previous = top;
    EXPECT_NEAR(CheckFit(c.positions, 100, kFragmentBudget, 4.0).top_speed, top / 5, top * 1e-9);
  }
  EXPECT_LT(LowSpeed(kDefaultMhz), 2.0);
  // Every position count has speeds that show it: the shortest turn fits the 24-bit count.
  EXPECT_LT(MinTurnCycles(wheel::kMaxPositions), kMaxTurnCycles);
}

TEST(FitCheckTest, ReportAndNote) {
  const std::string report = FitReport(CheckFit(300, 2100));
  EXPECT_NE(report.find("positions: 300\n"), std::string::npos) << report;
  EXPECT_NE(report.find("words: 2100 of 2030\n"), std::string::npos) << report;
  EXPECT_NE(report.find("never shown: positions 1 to 44\n"), std::string::npos) << report;
  EXPECT_NE(report.find("runs: no\n"), std::string::npos) << report;
  EXPECT_NE(FitReport(CheckFit(24, 500)).find("runs: yes\n"), std::string::npos);
  EXPECT_EQ(FitReport(CheckFit(256, 500)).find("never shown"), std::string::npos);

  const struct {
    int32_t positions;
    const char* note;
  } notes[] = {
      {1, ""},
      {256, ""},
      {257,
       "ledwheel: with 257 positions, position 1 can never be shown on the wheel (the angle "
       "counter has 8 bits).\n"},
      {500,
       "ledwheel: with 500 positions, positions 1 to 244 can never be shown on the wheel "
       "(the angle counter has 8 bits).\n"},
  };
  for (const auto& n : notes) EXPECT_EQ(UnseenPositionsNote(n.positions), n.note);
}

}  // namespace
}  // namespace firmware
