// The fit check's verdicts at the page boundary and around 256 positions, and its texts.
#include "firmware/fit_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

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
      // Why, what to do, and that the table layout holds it.
      EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 3) << warning;
      EXPECT_NE(
          warning.find("in its table layout (" + std::to_string(TableFirmwareWords(c.positions)) +
                       " program words of 8192)"),
          std::string::npos)
          << warning;
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

// The table layout's phase: the planned turn times a reciprocal of 3 N, never longer than the
// true third of a step (the plan must end before the sensor), and short of it by 1/32768 at most.
TEST(FitCheckTest, PhaseReciprocal) {
  std::mt19937 rng(7);
  for (int32_t n : {1, 2, 3, 24, 85, 86, 100, 171, 256, 333, 499, 500}) {
    const Reciprocal r = PhaseReciprocal(n);
    EXPECT_GE(r.k, 1u << 15) << n;
    EXPECT_LT(r.k, 1u << 16) << n;
    for (int k = 0; k < 200; ++k) {
      const uint32_t q = k == 0 ? (1u << 24) - 1 : k == 1 ? 1u : rng() % (1u << 24);
      const double exact = q * 256.0 / (3.0 * n);
      const double phase = PhaseOf(q, r);
      EXPECT_LE(phase, exact) << n << " " << q;
      EXPECT_GE(phase, exact * (1 - 1.0 / 32768) - 1) << n << " " << q;
    }
  }
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
    double at_least;  // turns per second, IM.txt's fragment
    double table_at_least;
  } cases[] = {{1, 1000, 5000}, {24, 50, 500}, {100, 20, 60}, {256, 5, 25}, {500, 2, 12}};
  double previous = 1e9, table_previous = 1e9;
  for (const auto& c : cases) {
    const double top = CheckFit(c.positions, 100).top_speed;
    EXPECT_GE(top, c.at_least) << c.positions;
    EXPECT_LT(top, previous) << c.positions;
    previous = top;
    EXPECT_NEAR(CheckFit(c.positions, 100, kFragmentBudget, 4.0).top_speed, top / 5, top * 1e-9);
    const TableFit table = CheckTableFit(c.positions);
    EXPECT_GE(table.top_speed, c.table_at_least) << c.positions;
    EXPECT_LT(table.top_speed, table_previous) << c.positions;
    table_previous = table.top_speed;
    EXPECT_TRUE(table.Runs()) << c.positions;
    EXPECT_EQ(TablePositionsFor(table.top_speed, kDefaultMhz), c.positions);
  }
  EXPECT_LT(LowSpeed(kDefaultMhz), 2.0);
  // Every position count has speeds that show it: the shortest turn fits the 24-bit count.
  EXPECT_LT(MinTurnCycles(wheel::kMaxPositions), kMaxTurnCycles);
}

TEST(FitCheckTest, ReportAndNote) {
  const std::string report = FitReport(CheckTableFit(300), CheckFit(300, 2100));
  EXPECT_EQ(report, "positions: 300\ntable: " + std::to_string(TableFirmwareWords(300)) +
                        " words of 8192, top speed " + FormatSpeed(TableTopSpeed(300, 20)) +
                        " turns/s at 20 MHz, runs\nfragment: 2100 words of 2030, top speed " +
                        FormatSpeed(TopSpeed(300, 20)) +
                        " turns/s at 20 MHz, does not run; positions 1 to 44 never shown\n");
  EXPECT_NE(FitReport(CheckTableFit(24), CheckFit(24, 500)).find("MHz, runs\nfragment"),
            std::string::npos);
  EXPECT_EQ(FitReport(CheckTableFit(256), CheckFit(256, 500)).find("never shown"),
            std::string::npos);

  // Three digits: the speed told is within 0.5 % of the firmware's.
  const struct {
    double speed;
    const char* text;
  } speeds[] = {{5567.9, "5568"}, {130.45, "130"},  {26.349, "26.3"},
                {9.996, "10.00"}, {2.2049, "2.20"}, {0.305, "0.30"}};
  for (const auto& c : speeds) {
    EXPECT_EQ(FormatSpeed(c.speed), c.text);
    EXPECT_NEAR(std::stod(c.text) / c.speed, 1.0, 0.02) << c.text;
  }

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
