// The reference firmware on the simulator: gpasm assembles it, gpsim turns the wheel, and the
// LEDs' port writes over a whole turn give back the picture, its angles and its intensities.
#include "firmware/reference_firmware.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "firmware/pic_sim.h"
#include "firmware/run_command.h"
#include "imtxt/fragment_words.h"
#include "imtxt/test_util.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "tests/support/files.h"

namespace firmware {
namespace {

using imtxt::testing::Picture;
using imtxt::testing::Position;
using testing::HexAfter;
using testing_support::TempDir;

constexpr double kMhz = 20.0;
constexpr double kCyclesPerSecond = kMhz * 1e6 / 4;
constexpr uint64_t kFirstEdge = 1000;  // cycle of the first sensor edge
constexpr unsigned kFragmentPage = 0x800;

struct Sim {
  std::string gpasm;  // gpasm's messages
  std::vector<testing::PortWrite> writes;
  std::vector<uint64_t> edges;
  double step = 0;  // cycles
  double seconds = 0;
};

class ReferenceFirmwareTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FIO::Start();
    IO::Start();
  }

  // Assembles the firmware for the picture and runs it for `turns` turns at turns_per_second
  // (0: the sensor never pulls RB0 low).
  // With jitter, the turns are alternately that share shorter and longer than the mean.
  Sim Run(const Picture& picture, double turns_per_second, int turns, double jitter = 0) {
    Sim sim;
    const int32_t n = static_cast<int32_t>(picture.size());
    const std::string fragment = imtxt::testing::WriteFragment(picture);
    const double period = turns_per_second > 0 ? kCyclesPerSecond / turns_per_second : 1e6;
    sim.step = period / n;
    if (turns_per_second > 0) {
      std::vector<double> periods;
      for (int k = 0; k < turns; ++k)
        periods.push_back(period * (1 + (k % 2 == 0 ? -jitter : jitter)));
      sim.edges = testing::Edges(kFirstEdge, periods);
    }
    const uint64_t until = sim.edges.empty() ? kFirstEdge + static_cast<uint64_t>(turns * period)
                                             : sim.edges.back() + 200;
    const auto t0 = std::chrono::steady_clock::now();
    const testing::Simulation run =
        testing::Simulate(dir_.path(), ReferenceFirmware(fragment, n, kMhz), sim.edges, until, 100);
    sim.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(run.gpasm_status, 0) << run.gpasm;
    EXPECT_EQ(run.gpsim_status, 0) << run.gpsim.substr(0, 2000);
    EXPECT_EQ(run.gpsim.find("stack"), std::string::npos) << run.gpsim.substr(0, 2000);
    sim.gpasm = run.gpasm;
    sim.writes = run.writes;
    return sim;
  }

  // The chip started once: the start-up's four port clears are the only port writes from page 0.
  static void ExpectNoRestart(const Sim& sim) {
    const auto from_start = std::count_if(
        sim.writes.begin(), sim.writes.end(),
        [](const testing::PortWrite& w) { return w.reg < 4 && w.address < kFragmentPage; });
    EXPECT_EQ(from_start, 4) << "the chip restarted";
  }

  static void ExpectDark(const Sim& sim) {
    EXPECT_FALSE(testing::AnyLight(sim.writes, 0, UINT64_MAX)) << "LEDs lit";
    ExpectNoRestart(sim);
  }

  // The turn after the speed has locked shows, in each step K, the position the eight-bit angle
  // counter selects (K, or K + 256 where that exists), with the picture's LEDs at intensities
  // that last 1 : 2 : 3 for 2, 3 and 4, all out before the next step. Returns the least time
  // left over in a step, in cycles.
  static double ExpectPicture(const Sim& sim, const Picture& picture) {
    const int32_t n = static_cast<int32_t>(picture.size());
    EXPECT_GE(sim.edges.size(), 4u);
    if (sim.edges.size() < 4) return 0;
    ExpectNoRestart(sim);
    const uint64_t edge = sim.edges[2];
    const std::vector<testing::Shown> blocks =
        testing::FragmentBlocks(sim.writes, edge, sim.edges[3]);
    struct Shown {
      int32_t step, position;
    };
    std::vector<Shown> shown;
    for (int32_t k = 1; k <= n; ++k) {
      const int32_t q = k + 256 <= n ? k + 256 : k;
      const Position& p = picture[q - 1];
      if (std::any_of(p.begin(), p.end(), [](int32_t v) { return v > 0; })) shown.push_back({k, q});
    }
    EXPECT_EQ(blocks.size(), shown.size()) << "displays in one turn";
    if (blocks.size() != shown.size()) return 0;

    // The length of one delay phase: the median of what intensity 2 (or a half of 3, a third of
    // 4) lasts.
    std::vector<double> units;
    for (size_t b = 0; b < blocks.size(); ++b) {
      const Position& want = picture[shown[b].position - 1];
      for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
        if (want[i] >= 2) units.push_back(static_cast<double>(blocks[b].lit[i]) / (want[i] - 1));
      }
    }
    EXPECT_FALSE(units.empty());
    if (units.empty()) return 0;
    std::nth_element(units.begin(), units.begin() + units.size() / 2, units.end());
    const double unit = units[units.size() / 2];
    EXPECT_GT(unit, 100.0) << "delay phases too short to tell the intensities apart";

    double least_slack = sim.step;
    for (size_t b = 0; b < blocks.size(); ++b) {
      const auto [k, q] = shown[b];
      const testing::Shown& block = blocks[b];
      const double start = static_cast<double>(block.start - edge) / sim.step;
      EXPECT_GE(start, k - 1) << "step " << k << " shown early";
      EXPECT_LT(start, k) << "step " << k << " shown late";
      const double slack = k * sim.step - static_cast<double>(block.end - edge);
      EXPECT_GT(slack, 0) << "step " << k << " overran into the next";
      least_slack = std::min(least_slack, slack);
      EXPECT_FALSE(block.lit_twice) << "step " << k;
      Position got{};
      for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
        const double d = static_cast<double>(block.lit[i]);
        got[i] = block.lit[i] == 0 ? 0
                 : d <= 16         ? 1
                                   : 1 + static_cast<int32_t>(std::lround(d / unit));
        const int32_t v = picture[q - 1][i];
        if (v >= 2) {
          EXPECT_NEAR(d / unit, v - 1, 0.1 * (v - 1)) << "step " << k << " LED " << i + 1;
        }
      }
      EXPECT_EQ(got, picture[q - 1]) << "step " << k << ", position " << q;
    }
    return least_slack;
  }

  TempDir dir_{TempDir::Cwd::kEnter};
};

// Every intensity somewhere, some positions dark.
Picture Mixed(std::mt19937& rng, int32_t n, double dark) {
  Picture p = imtxt::testing::RandomPicture(rng, n, dark);
  for (int32_t v = 1; v <= 4; ++v) p[0][v] = v;
  return p;
}

// Only the listed positions lit, with every intensity.
Picture Sparse(std::mt19937& rng, int32_t n, std::initializer_list<int32_t> lit) {
  Picture p(n);
  for (int32_t k : lit) {
    for (int32_t& v : p[k - 1]) v = std::uniform_int_distribution<int32_t>(0, 4)(rng);
    for (int32_t v = 1; v <= 4; ++v) p[k - 1][v * 5] = v;
  }
  return p;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

int32_t Words(const Picture& picture) {
  const imtxt::testing::State s = imtxt::testing::Load(picture);
  return imtxt::FragmentWords(s.wheel->led, static_cast<int32_t>(picture.size()));
}

TEST_F(ReferenceFirmwareTest, WheelsThatFitShowTheirPicture) {
  std::mt19937 rng(4711);
  // A fragment within a few words of the budget: 44 positions with every intensity and one
  // without intensity 3.
  Picture just(45);
  for (Position& p : just) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) p[i] = 1 + i % 4;
  }
  for (int32_t& v : just[20]) v = v == 3 ? 0 : v;
  const struct {
    const char* name;
    Picture picture;
    double turns_per_second;
  } cases[] = {
      {"24 positions at 40 turns/s", Mixed(rng, 24, 0.2), 40},
      {"100 positions at 20 turns/s", Mixed(rng, 100, 0.75), 20},
      {"256 positions at 5 turns/s", Sparse(rng, 256, {1, 2, 100, 128, 200, 255, 256}), 5},
      {"a fragment that fits only just", just, 20},
      {"24 positions a little below the top speed", Mixed(rng, 24, 0.2), 0.97 * TopSpeed(24, kMhz)},
      {"256 positions a little below the top speed",
       Sparse(rng, 256, {1, 2, 3, 128, 129, 255, 256}), 0.97 * TopSpeed(256, kMhz)},
      {"1 position a little below the top speed", Mixed(rng, 1, 0), 0.97 * TopSpeed(1, kMhz)},
      // Steps 1 to 44 show positions 257 to 300; positions 1 to 44 never show.
      {"300 positions at 4 turns/s", Sparse(rng, 300, {1, 44, 45, 257, 300}), 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t words = Words(c.picture);
    ASSERT_LE(words, kFragmentBudget);
    if (c.picture.size() == 45) {
      EXPECT_GE(words, kFragmentBudget - 8);
    }
    const Sim sim = Run(c.picture, c.turns_per_second, 3);
    // gpasm cuts literals past 255 to eight bits with a warning each: the count in the first
    // line and the compares from position 255 on, which modulo 256 still select K mod 256.
    const size_t warnings = Count(sim.gpasm, "Warning[");
    const size_t out_of_range = Count(sim.gpasm, "Warning[202] Argument out of range");
    EXPECT_EQ(warnings, out_of_range) << sim.gpasm;
    const size_t n = c.picture.size();
    EXPECT_EQ(out_of_range, n < 255 ? 0 : n - 254 + (n >= 256)) << sim.gpasm;
    const double slack = ExpectPicture(sim, c.picture);
    std::printf(
        "[ figures  ] %s: assembled and simulated in %.2f s, least slack %.0f of %.0f cycles a "
        "step\n",
        c.name, sim.seconds, slack, sim.step);
  }
}

// A turn that ends early finds the fragment still showing the last position: position 1 must
// wait for it, not be lost.
TEST_F(ReferenceFirmwareTest, UnevenTurnsStillShowEveryPosition) {
  std::mt19937 rng(2024);
  const Picture picture = Mixed(rng, 24, 0.0);
  for (double jitter : {0.003, 0.01}) {
    const Sim sim = Run(picture, 40, 8, jitter);
    ExpectNoRestart(sim);
    for (size_t k = 2; k + 1 < sim.edges.size(); ++k) {
      const std::vector<testing::Shown> blocks =
          testing::FragmentBlocks(sim.writes, sim.edges[k], sim.edges[k + 1]);
      EXPECT_EQ(blocks.size(), picture.size()) << "jitter " << jitter << ", turn " << k;
    }
  }
}

TEST_F(ReferenceFirmwareTest, TooFastOrNoSensorStaysDark) {
  std::mt19937 rng(99);
  const Picture picture = Mixed(rng, 24, 0.0);
  const struct {
    const char* name;
    double turns_per_second;
  } cases[] = {
      {"a little above the top speed", 1.03 * TopSpeed(24, kMhz)},
      {"far too fast", 5 * TopSpeed(24, kMhz)},
      {"no sensor", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectDark(Run(picture, c.turns_per_second, 4));
  }
}

// gpasm's own placement: the delay routine starts right after the fragment in its page.
TEST_F(ReferenceFirmwareTest, FragmentWordsAsAssembled) {
  std::mt19937 rng(31337);
  for (const auto& [n, dark] : std::initializer_list<std::pair<int32_t, double>>{
           {1, 0.0}, {7, 0.3}, {30, 0.0}, {44, 0.0}, {120, 0.8}, {250, 0.95}}) {
    const Picture picture = imtxt::testing::RandomPicture(rng, n, dark);
    const std::string fragment = imtxt::testing::WriteFragment(picture);
    testing_support::WriteFile(dir_.File("w.asm"), ReferenceFirmware(fragment, n, kMhz));
    const testing::Command gpasm =
        testing::RunCommand(std::string(LEDWHEEL_GPASM) + " '" + dir_.File("w.asm") + "'");
    ASSERT_EQ(gpasm.status, 0) << gpasm.output;
    const std::string lst = testing_support::ReadFile(dir_.File("w.lst"));
    // The symbol table at the end of the listing: name, blanks, address.
    const int64_t delay2 = HexAfter(lst, "\nDELAY2 ");
    const int64_t ledsuit = HexAfter(lst, "\nLEDSUIT ");
    ASSERT_GT(delay2, 0) << n;
    ASSERT_GT(ledsuit, 0) << n;
    EXPECT_EQ(delay2 - kFragmentPage, Words(picture)) << "n " << n;
    EXPECT_EQ(ledsuit + 5 - delay2, kPageRoutineWords);
  }
}

// The configuration word in the hex file: the crystal's mode, watchdog and low-voltage
// programming off, power-up timer and brown-out reset on, nothing protected.
TEST_F(ReferenceFirmwareTest, ConfigurationWord) {
  const struct {
    double mhz;
    unsigned oscillator;  // FOSC1:FOSC0
  } cases[] = {{20, 2}, {8, 2}, {4, 1}, {0.2, 1}};
  for (const auto& c : cases) {
    testing_support::WriteFile(
        dir_.File("c.asm"), ReferenceFirmware(imtxt::testing::WriteFragment(Picture(3)), 3, c.mhz));
    const testing::Command gpasm =
        testing::RunCommand(std::string(LEDWHEEL_GPASM) + " '" + dir_.File("c.asm") + "'");
    ASSERT_EQ(gpasm.status, 0) << gpasm.output;
    // Program word 0x2007 sits at byte address 0x400E, low byte first.
    const int64_t bytes = HexAfter(testing_support::ReadFile(dir_.File("c.hex")), ":02400E00");
    ASSERT_GE(bytes, 0);
    // Two data bytes, low first, then the checksum.
    const unsigned word = static_cast<unsigned>((bytes >> 16 & 0xFF) | (bytes >> 8 & 0xFF) << 8);
    EXPECT_EQ(word & 3u, c.oscillator) << c.mhz;
    EXPECT_EQ(word >> 2 & 1, 0u) << "watchdog";
    EXPECT_EQ(word >> 3 & 1, 0u) << "power-up timer (on when clear)";
    EXPECT_EQ(word >> 6 & 1, 1u) << "brown-out reset";
    EXPECT_EQ(word >> 7 & 1, 0u) << "low-voltage programming";
    EXPECT_EQ(word & 0x3F00u, 0x3F00u) << "protection or debugger on";
  }
}

}  // namespace
}  // namespace firmware
