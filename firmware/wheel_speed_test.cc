// Both layouts of the reference firmware on the simulator, turn by turn: the pictures they show,
// their top speeds, and wheels that speed up, slow down, turn unevenly, pause, bounce or have no
// sensor at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "firmware/fit_check.h"
#include "firmware/pic_sim.h"
#include "firmware/reference_firmware.h"
#include "firmware/table_firmware.h"
#include "imtxt/maak_text.h"
#include "imtxt/test_util.h"
#include "tests/support/files.h"

namespace firmware {
namespace {

using imtxt::testing::Picture;
using imtxt::testing::Position;

constexpr double kMhz = 20.0;
constexpr double kCyclesPerSecond = kMhz * 1e6 / 4;
constexpr uint64_t kFirstEdge = 1000;
// A turn's light ends this soon after its edge, whatever the last turn left.
constexpr uint64_t kEdgeDarkens = 60;

// Turns of a wheel at turns_per_second, each `ratio` times as long as the one before.
std::vector<double> Turns(double turns_per_second, int count, double ratio = 1.0) {
  std::vector<double> periods;
  double period = kCyclesPerSecond / turns_per_second;
  for (int k = 0; k < count; ++k, period *= ratio) periods.push_back(period);
  return periods;
}

// Turns alternately `share` longer and shorter than turns_per_second's.
std::vector<double> Uneven(double turns_per_second, int count, double share) {
  std::vector<double> periods = Turns(turns_per_second, count);
  for (size_t k = 0; k < periods.size(); ++k) periods[k] *= 1 + (k % 2 == 0 ? share : -share);
  return periods;
}

std::vector<double> Then(std::vector<double> a, const std::vector<double>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Every LED at a random intensity, position 1 with each.
Picture Random(int32_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Picture p = imtxt::testing::RandomPicture(rng, n, 0.0);
  for (int32_t v = 0; v <= 4; ++v) p[0][v] = v;
  return p;
}

// A photograph's worth of grey: smooth shading, texture and highlights, dithered into the five
// intensities the way an import does, so that neighbouring positions differ a little.
Picture Photograph(int32_t n) {
  Picture p(n);
  uint32_t noise = 12345;
  double error = 0;
  for (int32_t q = 0; q < n; ++q) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      noise = noise * 1664525u + 1013904223u;
      const double light = 0.5 + 0.35 * std::sin(q * 6.283 / n * 3 + i / 5.0) * std::cos(i / 7.0) +
                           0.1 * ((noise >> 24) / 255.0 - 0.5);
      const double want = std::clamp(light * 4 + error, 0.0, 4.0);
      p[q][i] = static_cast<int32_t>(std::lround(want));
      error = want - p[q][i];
    }
  }
  return p;
}

class WheelSpeedTest : public ::testing::Test {
 protected:
  testing_support::TempDir dir_;
};

// What a turn must show: 'S' the picture, '.' nothing from kEdgeDarkens after its edge on, '-'
// not judged (the turn in which the speed changes: no firmware knows it beforehand).
struct Case {
  const char* name;
  Layout layout;
  Picture picture;
  std::vector<double> periods;  // the turns, in cycles; none: no sensor
  const char* expect;
  std::vector<uint64_t> bounces = {};  // more edges this long after each
  int32_t min_phase = kTableMinPhaseCycles;
};

TEST_F(WheelSpeedTest, TurnByTurn) {
  const Picture random500 = Random(500, 1);
  const Picture random256 = Random(256, 2);
  const Picture random100 = Random(100, 3);
  const Picture random24 = Random(24, 4);
  const Picture random1 = Random(1, 5);
  // 44 positions with every intensity everywhere: IM.txt's page holds no more.
  Picture full44(44);
  for (Position& p : full44) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) p[i] = 1 + i % 4;
  }
  std::mt19937 rng(6);
  const Picture sparse256 = [&] {
    Picture p(256);
    for (int32_t q : {1, 2, 128, 255, 256}) p[q - 1] = Random(1, q)[0];
    return p;
  }();
  const Layout kT = Layout::kTable, kF = Layout::kFragment;
  const double top1 = TableTopSpeed(1, kMhz), top256 = TableTopSpeed(256, kMhz),
               top500 = TableTopSpeed(500, kMhz);
  const std::vector<uint64_t> kBounce = {100, 200};  // three edges 20 us apart

  const Case cases[] = {
      {"500 positions, every grey level", kT, random500, Turns(20, 3), "..S"},
      {"a photograph at 256 positions", kT, Photograph(256), Turns(40, 3), "..S"},
      {"1 position at 0.97 of the top speed", kT, random1, Turns(0.97 * top1, 5), "..SSS"},
      {"256 positions at 0.97 of the top speed", kT, random256, Turns(0.97 * top256, 3), "..S"},
      {"500 positions at 0.97 of the top speed", kT, random500, Turns(0.97 * top500, 4), "..SS"},
      {"1 position at 1.03 of the top speed", kT, random1, Turns(1.03 * top1, 5), "....."},
      {"256 positions at 1.03 of the top speed", kT, random256, Turns(1.03 * top256, 3), "..."},
      {"500 positions at 1.03 of the top speed", kT, random500, Turns(1.03 * top500, 3), "..."},
      {"speeding up 2 % a turn", kT, random100, Turns(100, 6, 0.98), "..SSSS"},
      {"slowing down 2 % a turn", kT, random100, Turns(100, 6, 1.02), "..SSSS"},
      {"1 % uneven turns", kT, random100, Uneven(100, 6, 0.01), "..SSSS"},
      {"speeding up near the top speed", kT, random256, Turns(0.9 * top256, 5, 0.985), "..SSS"},
      {"a bouncing sensor", kT, random24, Turns(40, 4), "..SS", kBounce},
      {"a bounce among the steps near the top speed",
       kT,
       random256,
       Turns(0.97 * top256, 3),
       "..S",
       {100, 200, 4007}},
      {"a turn 10 % shorter", kT, random100, Then(Turns(50, 3), Turns(55.5, 3)), "..S-.S"},
      {"a turn 10 % longer", kT, random100, Then(Turns(50, 3), Turns(45.5, 3)), "..S-.S"},
      {"a pause of a second", kT, random24, Then(Turns(50, 3), Then({5e6}, Turns(50, 3))),
       "..S-..S"},
      {"no sensor", kT, random24, {}, ""},
      {"IM.txt speeding up 2 % a turn", kF, full44, Turns(10, 6, 0.98), "..SSSS"},
      {"IM.txt slowing down 2 % a turn", kF, full44, Turns(10, 6, 1.02), "..SSSS"},
      {"IM.txt with 1 % uneven turns", kF, full44, Uneven(10, 6, 0.01), "..SSSS"},
      {"IM.txt with a bouncing sensor", kF, full44, Turns(10, 4), "..SS", kBounce},
      {"IM.txt and a turn 1 % shorter", kF, full44, Then(Turns(2, 3), Turns(2.0202, 3)), "..S-.S"},
      {"IM.txt and a turn 10 % shorter", kF, sparse256, Then(Turns(5, 3), Turns(5.5, 3)), "..S-.S"},
      {"IM.txt after a pause of a second", kF, random24,
       Then(Turns(40, 3), Then({5e6}, Turns(40, 3))), "..S-..S"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t n = static_cast<int32_t>(c.picture.size());
    const imtxt::testing::State s = imtxt::testing::Load(c.picture);
    const std::string source =
        c.layout == Layout::kTable
            ? TableFirmware(s.wheel->led, n, kMhz, {.min_phase = c.min_phase})
            : ReferenceFirmware(imtxt::ImText(s.wheel->led, n), n, kMhz);
    const std::vector<uint64_t> edges =
        c.periods.empty() ? std::vector<uint64_t>{} : testing::Edges(kFirstEdge, c.periods);
    std::vector<uint64_t> sensor;
    for (uint64_t e : edges) {
      sensor.push_back(e);
      for (uint64_t b : c.bounces) sensor.push_back(e + b);
    }
    const uint64_t until = edges.empty() ? 400000 : edges.back() + 100;
    const testing::Simulation sim = testing::Simulate(dir_.path(), source, sensor, until);
    ASSERT_EQ(sim.gpasm_status, 0) << sim.gpasm;
    ASSERT_EQ(sim.gpsim_status, 0) << sim.gpsim.substr(0, 2000);
    EXPECT_EQ(sim.gpsim.find("stack"), std::string::npos) << sim.gpsim.substr(0, 2000);
    if (c.layout == Layout::kTable) {
      // The table assembles without a warning, in the words the check counts.
      EXPECT_EQ(sim.gpasm.find("Warning"), std::string::npos) << sim.gpasm;
      const std::string listing = testing_support::ReadFile(dir_.File("wheel.lst"));
      const size_t used = listing.find("Program Memory Words Used:");
      ASSERT_NE(used, std::string::npos);
      EXPECT_EQ(std::stoi(listing.substr(used + 26, 8)), TableFirmwareWords(n));
    }
    if (edges.empty()) {
      EXPECT_FALSE(AnyLight(sim.writes, 0, until)) << "no sensor";
      continue;
    }
    ASSERT_EQ(std::string(c.expect).size() + 1, edges.size());
    uint64_t first = 0;  // position 1 starts as late after every edge
    for (size_t k = 0; k + 1 < edges.size(); ++k) {
      SCOPED_TRACE("turn " + std::to_string(k) + " of " + c.expect);
      if (c.expect[k] == '.') {
        EXPECT_FALSE(AnyLight(sim.writes, edges[k] + kEdgeDarkens, edges[k + 1]));
      } else if (c.expect[k] == 'S' && c.layout == Layout::kTable) {
        uint64_t offset = 0;
        EXPECT_EQ(
            TableTurnProblem(sim.writes, c.picture, edges[k], edges[k + 1], kEdgeDarkens, &offset),
            "");
        if (first == 0) first = offset;
        EXPECT_NEAR(static_cast<double>(offset), static_cast<double>(first), 1.0);
        EXPECT_LT(offset, 600u);
      } else if (c.expect[k] == 'S') {
        EXPECT_EQ(FragmentTurnProblem(sim.writes, c.picture, edges[k], edges[k + 1]), "");
      }
    }
  }
}

}  // namespace
}  // namespace firmware
