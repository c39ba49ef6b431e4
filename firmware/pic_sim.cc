// The reference firmware on the simulator: the stimulus, gpsim's log and the decoding of turns.
#include "firmware/pic_sim.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "firmware/run_command.h"

namespace firmware::testing {
namespace {

constexpr int kRegs = 8;
constexpr const char* kRegNames[kRegs] = {"portd", "portb", "porta", "portc",
                                          "trisd", "trisb", "trisa", "trisc"};

// gpsim's log: a line "0x<cycle> p16f877a 0x<address> ..." for each instruction, followed by
// lines such as "  Wrote: 0x01 to portd(0x0008) was 0x00".
std::vector<PortWrite> ParseLog(std::istream& in) {
  std::vector<PortWrite> writes;
  uint64_t cycle = 0;
  unsigned address = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("0x", 0) == 0 && line.find(" p16f877a 0x") == 18) {
      cycle = static_cast<uint64_t>(HexAfter(line, "0x"));
      address = static_cast<unsigned>(HexAfter(line, " p16f877a 0x"));
      continue;
    }
    const int64_t value = HexAfter(line, "Wrote: 0x");
    if (value < 0) continue;
    for (int r = 0; r < kRegs; ++r) {
      if (line.find(std::string(" to ") + kRegNames[r] + "(") != std::string::npos) {
        writes.push_back({cycle, r, static_cast<unsigned>(value), address});
      }
    }
  }
  return writes;
}

// Which port bit LED i (1..24) drives: rows as in PortWrite::reg.
std::pair<int, int> WiringOf(int32_t led) {
  if (led <= 8) return {0, led - 1};
  if (led == 9) return {1, 4};
  if (led <= 12) return {1, led - 9};  // LEDs 10, 11, 12 on bits 1, 2, 3
  if (led <= 16) return {2, led - 13};
  return {3, led - 17};
}

// The LEDs after each write, with the write's cycle.
struct State {
  uint64_t cycle;
  uint32_t leds;
};
std::vector<State> States(const std::vector<PortWrite>& writes) {
  std::array<unsigned, 4> ports{}, tris{0xFF, 0xFF, 0xFF, 0xFF};
  std::vector<State> states;
  states.reserve(writes.size());
  for (const PortWrite& w : writes) {
    (w.reg < 4 ? ports[w.reg] : tris[w.reg - 4]) = w.value;
    states.push_back({w.cycle, Leds(ports, tris)});
  }
  return states;
}

}  // namespace

int64_t HexAfter(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  if (at == std::string::npos) return -1;
  size_t end = at + marker.size();
  while (end < text.size() && text[end] == ' ') ++end;
  const size_t digits = text.find_first_not_of("0123456789ABCDEFabcdef", end);
  if (digits == end) return -1;
  return static_cast<int64_t>(std::stoull(text.substr(end, digits - end), nullptr, 16));
}

Simulation Simulate(const std::string& dir, const std::string& source,
                    const std::vector<uint64_t>& edges, uint64_t until, uint64_t low_cycles) {
  Simulation sim;
  std::ofstream(dir + "/wheel.asm") << source;
  const Command gpasm = RunCommand(std::string(LEDWHEEL_GPASM) + " -o '" + dir + "/wheel.hex' '" +
                                   dir + "/wheel.asm'");
  sim.gpasm_status = gpasm.status;
  sim.gpasm = gpasm.output;
  if (gpasm.status != 0) return sim;

  std::ostringstream script;
  if (!edges.empty()) {
    script << "stimulus asynchronous_stimulus\ninitial_state 1\nstart_cycle 0\n{ ";
    for (size_t k = 0; k < edges.size(); ++k) {
      script << (k > 0 ? ", " : "") << edges[k] << ", 0, " << edges[k] + low_cycles << ", 1";
    }
    script << " }\nname sensor\nend\nnode nsensor\nattach nsensor portb0 sensor\n";
  }
  script << "log on '" << dir << "/ports.log'\n";
  for (const char* reg : kRegNames) script << "log w " << reg << "\n";
  script << "break c " << until << "\nrun\nquit\n";
  std::ofstream(dir + "/run.stc") << script.str();
  const Command gpsim = RunCommand("timeout 300 " + std::string(LEDWHEEL_GPSIM) + " -i -s '" + dir +
                                   "/wheel.cod' -c '" + dir + "/run.stc'");
  sim.gpsim_status = gpsim.status;
  sim.gpsim = gpsim.output;
  std::ifstream log(dir + "/ports.log");
  sim.writes = ParseLog(log);
  return sim;
}

std::vector<uint64_t> Edges(uint64_t first, const std::vector<double>& periods) {
  std::vector<uint64_t> edges = {first};
  double at = static_cast<double>(first);
  for (double period : periods) {
    at += period;
    edges.push_back(static_cast<uint64_t>(std::llround(at)));
  }
  return edges;
}

uint32_t Leds(const std::array<unsigned, 4>& ports, const std::array<unsigned, 4>& tris) {
  uint32_t leds = 0;
  for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
    const auto [row, bit] = WiringOf(i);
    if ((ports[row] >> bit & 1) && !(tris[row] >> bit & 1)) leds |= 1u << (i - 1);
  }
  return leds;
}

std::vector<Shown> TableSteps(const std::vector<PortWrite>& writes, uint64_t from, uint64_t to,
                              int* stray) {
  const std::vector<State> states = States(writes);
  // Bursts: writes two cycles apart or less, from one interrupt.
  struct Burst {
    size_t first, count;
  };
  std::vector<Burst> bursts;
  for (size_t i = 0; i < states.size(); ++i) {
    if (!bursts.empty() && states[i].cycle <= states[i - 1].cycle + 2 &&
        bursts.back().first + bursts.back().count == i) {
      ++bursts.back().count;
    } else {
      bursts.push_back({i, 1});
    }
  }
  std::vector<Shown> steps;
  int strays = 0;
  for (size_t b = 0; b < bursts.size(); ++b) {
    const Burst& burst = bursts[b];
    const uint64_t at = states[burst.first].cycle;
    if (at < from || at >= to) continue;
    const uint32_t after = states[burst.first + burst.count - 1].leds;
    if (burst.count != 8 || b + 2 >= bursts.size() || bursts[b + 1].count != 4 ||
        bursts[b + 2].count != 4) {
      if (after != 0) ++strays;
      continue;
    }
    Shown s;
    s.start = at;
    const uint32_t image[4] = {states[burst.first + 3].leds, after,
                               states[bursts[b + 1].first + 3].leds,
                               states[bursts[b + 2].first + 3].leds};
    s.phase[0] = at;
    s.phase[1] = states[bursts[b + 1].first].cycle;
    s.phase[2] = states[bursts[b + 2].first].cycle;
    s.end = b + 3 < bursts.size() ? states[bursts[b + 3].first].cycle : s.phase[2];
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      for (uint32_t img : image) s.intensity[i] += img >> i & 1;
      // An image lights exactly the LEDs of its intensity and more.
      for (int t = 1; t < 4; ++t) {
        if ((image[t] >> i & 1) > (image[t - 1] >> i & 1)) s.lit_twice = true;
      }
    }
    steps.push_back(s);
    b += 2;
  }
  if (stray != nullptr) *stray = strays;
  return steps;
}

std::vector<Shown> FragmentBlocks(const std::vector<PortWrite>& writes, uint64_t from,
                                  uint64_t to) {
  std::vector<Shown> blocks;
  std::array<uint64_t, wheel::kLedsPerSpoke> on_since{};
  uint32_t leds = 0;
  bool open = false;  // the last block is still lit
  for (const State& s : States(writes)) {
    if (leds == 0 && s.leds != 0) {
      open = s.cycle >= from && s.cycle < to;
      if (open) {
        blocks.push_back({});
        blocks.back().start = s.cycle;
      }
    }
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      const bool was = leds >> i & 1, is = s.leds >> i & 1;
      if (!was && is) on_since[i] = s.cycle;
      if (was && !is && open) {
        Shown& b = blocks.back();
        if (b.lit[i] != 0) b.lit_twice = true;
        b.lit[i] = s.cycle - on_since[i];
      }
    }
    if (leds != 0 && s.leds == 0 && open) {
      blocks.back().end = s.cycle;
      open = false;
    }
    leds = s.leds;
  }
  return blocks;
}

bool AnyLight(const std::vector<PortWrite>& writes, uint64_t from, uint64_t to) {
  uint32_t before = 0;  // the LEDs as the span begins
  for (const State& s : States(writes)) {
    if (s.cycle < from) {
      before = s.leds;
      continue;
    }
    if (before != 0) return true;
    if (s.cycle >= to) return false;
    if (s.leds != 0) return true;
  }
  return before != 0;
}

namespace {

std::string Say(const std::string& what, size_t position) {
  return what + " at position " + std::to_string(position + 1);
}

double Median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

}  // namespace

std::string TableTurnProblem(const std::vector<PortWrite>& writes, const Picture& picture,
                             uint64_t edge, uint64_t next, uint64_t dark_after, uint64_t* first,
                             double tolerance) {
  int stray = 0;
  const std::vector<Shown> steps = TableSteps(writes, edge, next, &stray);
  if (stray != 0) return std::to_string(stray) + " stray images";
  if (steps.size() != picture.size()) return std::to_string(steps.size()) + " steps";
  std::vector<double> phases;
  for (const Shown& s : steps) {
    phases.push_back(static_cast<double>(s.phase[1] - s.phase[0]));
    phases.push_back(static_cast<double>(s.phase[2] - s.phase[1]));
  }
  const double phase = Median(phases);
  for (size_t k = 0; k < steps.size(); ++k) {
    const Shown& s = steps[k];
    if (s.intensity != picture[k]) return Say("wrong intensities", k);
    if (s.lit_twice) return Say("an LED lit twice", k);
    const uint64_t to = k + 1 < steps.size() ? steps[k + 1].start : s.end;
    for (const uint64_t length :
         {s.phase[1] - s.phase[0], s.phase[2] - s.phase[1], to - s.phase[2]}) {
      if (std::abs(static_cast<double>(length) - phase) > tolerance) {
        return Say("a phase of " + std::to_string(length) + " cycles, not " +
                       std::to_string(static_cast<int>(phase)),
                   k);
      }
    }
  }
  *first = steps.front().start - edge;
  if (AnyLight(writes, edge + dark_after, steps.front().start)) return "light before position 1";
  if (steps.back().end >= next) return "the turn runs into the next edge";
  // The turn's end clears four ports.
  if (AnyLight(writes, steps.back().end + 4, next)) return "light after the turn's end";
  return "";
}

std::string FragmentTurnProblem(const std::vector<PortWrite>& writes, const Picture& picture,
                                uint64_t edge, uint64_t next) {
  std::vector<size_t> lit;
  for (size_t q = 0; q < picture.size(); ++q) {
    if (std::any_of(picture[q].begin(), picture[q].end(), [](int32_t v) { return v > 0; })) {
      lit.push_back(q);
    }
  }
  const std::vector<Shown> blocks = FragmentBlocks(writes, edge, next);
  if (blocks.size() != lit.size()) return std::to_string(blocks.size()) + " displays";
  if (blocks.empty()) return "";
  // The length of one delay phase: the median of what intensity 2 (or a half of 3, a third of 4)
  // lasts.
  std::vector<double> units;
  for (size_t b = 0; b < blocks.size(); ++b) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      const int32_t v = picture[lit[b]][i];
      if (v >= 2) units.push_back(static_cast<double>(blocks[b].lit[i]) / (v - 1));
    }
  }
  if (units.empty()) return "no intensity above 1";
  const double unit = Median(units);
  for (size_t b = 0; b < blocks.size(); ++b) {
    for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
      const double d = static_cast<double>(blocks[b].lit[i]);
      const int32_t v = picture[lit[b]][i];
      const bool right = v == 0   ? d == 0
                         : v == 1 ? d > 0 && d < unit / 4  // an interrupt may stretch it
                                  : std::abs(d / unit - (v - 1)) <= 0.1 * (v - 1);
      if (!right) return Say("LED " + std::to_string(i + 1) + " lit " + std::to_string(d), lit[b]);
    }
    if (blocks[b].lit_twice) return Say("an LED lit twice", lit[b]);
  }
  if (blocks.back().end >= next) return "the turn runs into the next edge";
  return "";
}

}  // namespace firmware::testing
