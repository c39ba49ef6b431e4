// The reference firmware on the simulator, for its tests and its measurements: gpasm assembles
// a source, gpsim turns the wheel with a sensor that pulls RB0 low at given cycles, and the LED
// ports' writes come back, decoded into what each turn showed (Linux only, as the toolchain is).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "wheel/wheel.h"

namespace firmware::testing {

// One write to an LED port or its direction register, as gpsim logged it.
struct PortWrite {
  uint64_t cycle;
  int reg;  // 0 PORTD, 1 PORTB, 2 PORTA, 3 PORTC (the wiring table's rows); 4..7 their TRIS
  unsigned value;
  unsigned address;  // of the instruction that wrote
};

struct Simulation {
  int gpasm_status = -1;
  std::string gpasm;  // its messages
  int gpsim_status = -1;
  std::string gpsim;
  std::vector<PortWrite> writes;
};

// Assembles source as dir/wheel.asm and runs it until cycle `until`; the sensor pulls RB0 low
// for low_cycles at each of edges (none: RB0 stays high).
Simulation Simulate(const std::string& dir, const std::string& source,
                    const std::vector<uint64_t>& edges, uint64_t until, uint64_t low_cycles = 40);

// The hexadecimal number right after `marker` in text (blanks between allowed), or -1.
int64_t HexAfter(const std::string& text, const std::string& marker);

// Sensor edges: the first at `first`, then one a period later each.
std::vector<uint64_t> Edges(uint64_t first, const std::vector<double>& periods);

// The LEDs lit (bit i-1 for LED i) by port values, a pin driving only when its TRIS bit is 0.
uint32_t Leds(const std::array<unsigned, 4>& ports, const std::array<unsigned, 4>& tris);

// One position as a turn showed it.
struct Shown {
  uint64_t start = 0;                                // its first light (table: its step's start)
  uint64_t end = 0;                                  // the write that ended its light
  std::array<uint64_t, wheel::kLedsPerSpoke> lit{};  // cycles each LED shone, 0 when dark
  std::array<int32_t, wheel::kLedsPerSpoke> intensity{};
  uint64_t phase[3] = {};  // table: the cycles of images 1, 3 and 4
  bool lit_twice = false;
};

// The table layout's steps that begin in [from, to): each a burst of eight port writes (images
// 1 and 2) followed by bursts of four (images 3 and 4), the intensity of each LED the number of
// images that light it. *stray (if given) counts bursts that fit no step and light an LED.
std::vector<Shown> TableSteps(const std::vector<PortWrite>& writes, uint64_t from, uint64_t to,
                              int* stray = nullptr);

// The fragment layout's displays that begin in [from, to): each from the first lit LED until
// all are dark. Intensities are left for the caller, who knows the phase's length.
std::vector<Shown> FragmentBlocks(const std::vector<PortWrite>& writes, uint64_t from, uint64_t to);

// Whether any LED is lit at some moment in [from, to).
bool AnyLight(const std::vector<PortWrite>& writes, uint64_t from, uint64_t to);

// picture[q - 1][i - 1]: the intensity of LED i at position q.
using Picture = std::vector<std::array<int32_t, wheel::kLedsPerSpoke>>;

// What is wrong with the table layout's turn from `edge` to `next`, or "" when it showed the
// picture: its positions in order, each over three equal phases (to `tolerance` cycles: compare
// interrupts mark them), nothing lit outside them from `dark_after` cycles after the edge on.
// *first gets the first step's start after the edge.
std::string TableTurnProblem(const std::vector<PortWrite>& writes, const Picture& picture,
                             uint64_t edge, uint64_t next, uint64_t dark_after, uint64_t* first,
                             double tolerance = 1.0);

// The same for the fragment layout: one display a lit position, in order, with intensities 2, 3
// and 4 lit 1 : 2 : 3 (the delay loops, within 10 %), 1 only briefly.
std::string FragmentTurnProblem(const std::vector<PortWrite>& writes, const Picture& picture,
                                uint64_t edge, uint64_t next);

}  // namespace firmware::testing
