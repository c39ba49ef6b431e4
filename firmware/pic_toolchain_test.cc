// Runs generated fragments as real firmware: assembled by gpasm, executed by gpsim.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sstream>

#include "firmware/run_command.h"
#include "imtxt/beeld_matrix.h"
#include "imtxt/maak_text.h"
#include "imtxt/test_util.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "tests/support/files.h"

namespace firmware {
namespace {

using imtxt::testing::Picture;
using imtxt::testing::Position;
using testing_support::TempDir;

// Addresses fixed by pic/wheel_test.asm.
constexpr unsigned kDelay2 = 0x20, kDelay3 = 0x21, kDelay4 = 0x22, kLedsuit = 0x23;
constexpr unsigned kStartUp = 0x30;
constexpr unsigned kFirmwareEnd = 0x50;  // the fragment starts here
constexpr unsigned kPageEnd = 0x800;     // the fragment's jumps stay in program page 0

// What the simulator saw at one stop: a store to PORTC (the last store of each image), a delay
// call or LEDSUIT, with the angle counter and the four ports.
struct Event {
  char kind;  // 'W' image store, '2' '3' '4' DELAY2..4, 'L' LEDSUIT
  int hoek;
  std::array<unsigned, 4> ports;  // PORTD, PORTB, PORTA, PORTC
};

// The hexadecimal number behind the first `marker` in line, if there is one.
std::optional<unsigned> HexAfter(const std::string& line, const std::string& marker) {
  const size_t at = line.find(marker);
  if (at == std::string::npos) return std::nullopt;
  return static_cast<unsigned>(std::stoul(line.substr(at + marker.size()), nullptr, 16));
}

std::vector<Event> ParseEvents(const std::string& output) {
  std::vector<Event> events;
  bool after_ledsuit = false;
  std::istringstream in(output);
  std::string line;
  unsigned pc = 0;
  int fields = -1;
  Event e{};
  while (std::getline(in, line)) {
    static const char* const kPorts[] = {"portd = 0x", "portb = 0x", "porta = 0x", "portc = 0x"};
    if (line.find("@EV") != std::string::npos) {
      fields = 0;
      continue;
    }
    if (fields < 0) continue;
    if (auto v = HexAfter(line, "pc = 0x")) {
      pc = *v;
      ++fields;
    } else if (line.find("REG070") != std::string::npos) {
      e.hoek = static_cast<int>(HexAfter(line, "= $").value_or(0));
      ++fields;
    } else {
      for (int p = 0; p < 4; ++p) {
        if (auto v = HexAfter(line, kPorts[p])) {
          e.ports[p] = *v;
          ++fields;
        }
      }
    }
    if (fields == 6) {
      fields = -1;
      e.kind = pc == kDelay2    ? '2'
               : pc == kDelay3  ? '3'
               : pc == kDelay4  ? '4'
               : pc == kLedsuit ? 'L'
                                : 'W';
      // LEDSUIT's own stores (an interrupt may have moved the pc on) and start-up's are no image.
      const bool own_store =
          e.kind == 'W' && (after_ledsuit || (pc >= kStartUp && pc < kFirmwareEnd));
      after_ledsuit = e.kind == 'L';
      if (!own_store) events.push_back(e);
    }
  }
  return events;
}

// One pass through a position's display block, as the events show it.
struct Visit {
  int hoek = 0;
  int images = 0;
  std::vector<std::array<unsigned, 4>> phases;  // after image 1, then at DELAY2, 3, 4
  bool ledsuit = false;
  std::array<unsigned, 4> at_ledsuit{};
};

std::vector<Visit> CompleteVisits(const std::vector<Event>& events) {
  std::vector<Visit> done;
  std::optional<Visit> open;
  for (const Event& e : events) {
    if (e.kind == 'W') {
      if (!open || open->phases.size() == 4) {
        if (open) done.push_back(*open);  // closed by the next position's first image
        open = Visit{e.hoek, 1, {e.ports}, false, {}};
      } else {
        ++open->images;
      }
    } else if (!open) {
      ADD_FAILURE() << "call '" << e.kind << "' before any image";
      continue;
    } else if (e.kind == 'L') {
      EXPECT_EQ(open->phases.size(), 4u) << "LEDSUIT before DELAY4";
      EXPECT_FALSE(open->ledsuit) << "LEDSUIT twice";
      open->ledsuit = true;
      open->at_ledsuit = e.ports;
    } else {
      EXPECT_EQ(static_cast<size_t>(e.kind - '0'), open->phases.size() + 1) << "delay order";
      open->phases.push_back(e.ports);
    }
    EXPECT_EQ(e.hoek, open->hoek) << "angle counter moved inside a display block";
  }
  return done;
}

Position Decode(const Visit& v) {
  Position p{};
  for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
    const imtxt::testing::PortBit pb = imtxt::testing::WiringOf(i);
    for (size_t t = 0; t < v.phases.size(); ++t) {
      const bool lit = v.phases[t][pb.row] >> pb.bit & 1;
      EXPECT_FALSE(lit && p[i - 1] != static_cast<int32_t>(t)) << "LED " << i << " lit again";
      p[i - 1] += lit;
    }
  }
  for (const auto& ports : v.phases) {
    EXPECT_EQ(ports[1] & 0xE1u, 0u) << "unwired PORTB bit at position " << v.hoek;
    EXPECT_EQ(ports[2] & 0xF0u, 0u) << "unwired PORTA bit at position " << v.hoek;
  }
  return p;
}

class PicToolchainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FIO::Start();
    IO::Start();
  }

  void Prove(const Picture& picture) {
    ASSERT_NE(std::string(LEDWHEEL_GPASM).find("gpasm"), std::string::npos)
        << "gpasm not found when the build was configured (Debian package gputils)";
    ASSERT_NE(std::string(LEDWHEEL_GPSIM).find("gpsim"), std::string::npos)
        << "gpsim not found when the build was configured (Debian package gpsim)";
    const int32_t n = static_cast<int32_t>(picture.size());
    ASSERT_LE(n, 255) << "literals are eight bits";

    imtxt::testing::State s = imtxt::testing::Load(picture);
    BeeldMatrix(*s.wheel, *s.matrix);
    MaakText(*s.wheel, *s.matrix);
    std::string text = testing_support::ReadFile(dir_.File("IM.txt"));
    std::replace(text.begin(), text.end(), '_', ' ');
    testing_support::WriteFile(dir_.File("im.inc"), text);

    unsigned words = 0;
    for (const std::string& line : imtxt::testing::SplitCrLf(text))
      words += line.rfind("  ", 0) == 0;
    ASSERT_LE(kFirmwareEnd + words, kPageEnd) << "picture too big for program page 0";

    const std::string dir = dir_.path();
    const testing::Command gpasm = testing::RunCommand(
        std::string(LEDWHEEL_GPASM) + " -I '" + dir + "' -D NPOS=." + std::to_string(n) + " -o '" +
        dir + "/wheel.hex' '" + LEDWHEEL_PIC_DIR "/wheel_test.asm'");
    ASSERT_EQ(gpasm.status, 0) << gpasm.output;
    EXPECT_EQ(gpasm.output.find("Error"), std::string::npos) << gpasm.output;
    // At 255 positions the first position test subtracts from 256, which the eight-bit operand
    // keeps as 0: the same result modulo 256, so the fragment still works, with this one warning.
    std::string warnings = gpasm.output;
    if (n == 255) {
      const std::string expected = "im.inc:12:Warning[202] Argument out of range.";
      const size_t at = warnings.find(expected);
      EXPECT_NE(at, std::string::npos) << warnings;
      if (at != std::string::npos) warnings.erase(at, expected.size());
    }
    EXPECT_EQ(warnings.find("Warning"), std::string::npos) << gpasm.output;

    // Stops per turn of the wheel; two turns and a little give every lit position a complete
    // pass, closed by the next position's first image.
    int per_turn = 0;  // events kept
    int stops = 0;     // and LEDSUIT's own store, which stops too
    for (const Position& p : picture) {
      bool has[5] = {};
      for (int32_t v : p) has[v] = true;
      if (has[1] || has[2] || has[3] || has[4]) per_turn += 4 + has[1] + has[2] + has[3] + has[4];
      stops += has[4];
    }
    ASSERT_GT(per_turn, 0) << "a dark wheel never stops the simulator";
    std::ostringstream script;
    script << std::hex << std::showbase;
    for (unsigned routine : {kDelay2, kDelay3, kDelay4, kLedsuit}) {
      script << "break e " << routine << "\n";
    }
    script << "break w portc\n";
    stops += per_turn;
    for (int k = 0; k < 2 * stops + 4; ++k) {
      script << "run\necho @EV\npc\nreg(0x70)\nportd\nportb\nporta\nportc\n";
    }
    script << "quit\n";
    testing_support::WriteFile(dir_.File("run.stc"), script.str());
    const testing::Command gpsim =
        testing::RunCommand("timeout 300 " + std::string(LEDWHEEL_GPSIM) + " -i -s '" + dir +
                            "/wheel.cod' -c '" + dir + "/run.stc'");
    ASSERT_EQ(gpsim.status, 0) << gpsim.output.substr(0, 4000);

    const std::vector<Event> events = ParseEvents(gpsim.output);
    ASSERT_GE(events.size(), static_cast<size_t>(2 * per_turn)) << gpsim.output.substr(0, 4000);
    std::map<int, std::vector<Visit>> by_position;
    for (const Visit& v : CompleteVisits(events)) by_position[v.hoek].push_back(v);

    for (int32_t k = 1; k <= n; ++k) {
      const Position& want = picture[k - 1];
      bool has[5] = {};
      for (int32_t v : want) has[v] = true;
      const auto it = by_position.find(k);
      if (!has[1] && !has[2] && !has[3] && !has[4]) {
        EXPECT_EQ(it, by_position.end()) << "dark position " << k << " showed LEDs";
        continue;
      }
      ASSERT_NE(it, by_position.end()) << "position " << k << " never shown";
      for (const Visit& v : it->second) {
        ASSERT_EQ(v.phases.size(), 4u);
        EXPECT_EQ(Decode(v), want) << "position " << k;
        EXPECT_EQ(v.images, 1 + has[1] + has[2] + has[3]) << "position " << k;
        EXPECT_EQ(v.ledsuit, has[4]) << "position " << k;
        if (v.ledsuit) {
          EXPECT_EQ(v.at_ledsuit, v.phases[3]) << "position " << k;
        }
      }
    }
    EXPECT_EQ(by_position.count(0), 0u) << "angle counter 0 was dispatched";
  }

  TempDir dir_{TempDir::Cwd::kEnter};  // the writer creates IM.txt in the working directory
};

TEST_F(PicToolchainTest, WorkedExampleRunsOnTheSimulator) {
  Picture picture(2);
  picture[0][0] = 1;
  picture[0][8] = 2;
  picture[0][12] = 3;
  picture[0][23] = 4;
  Prove(picture);
}

TEST_F(PicToolchainTest, SinglePositionWithEveryIntensity) {
  Picture picture(1);
  for (int32_t i = 0; i < 24; ++i) picture[0][i] = (i * 7) % 5;
  Prove(picture);
}

TEST_F(PicToolchainTest, RandomLitWheel) {
  std::mt19937 rng(555);
  Prove(imtxt::testing::RandomPicture(rng, 36));
}

TEST_F(PicToolchainTest, MostlyDarkWheelOf255Positions) {
  std::mt19937 rng(77);
  Picture picture(255);
  for (int32_t k : {1, 2, 100, 128, 129, 200, 254, 255}) {
    for (int32_t& v : picture[k - 1]) v = std::uniform_int_distribution<int32_t>(0, 4)(rng);
  }
  Prove(picture);
}

}  // namespace
}  // namespace firmware
