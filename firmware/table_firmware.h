// The reference firmware's table layout: the whole PIC16F877A holds the picture as data in
// program memory, read each step, and its timing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/reference_firmware.h"
#include "wheel/wheel.h"

namespace firmware {

// The chip's program memory: four pages.
constexpr int32_t kProgramWords = 4 * kPageWords;

// Program words one position takes: two for each of its four phase images.
constexpr int32_t kTableWordsPerPosition = 8;

// The shortest phase the table layout shows, in instruction cycles: gpsim shows every phase to
// the cycle down to 88 (the longest step interrupt, with a Timer1 overflow counted in it), and
// one ignored bounce of the sensor (23) may fall into the same phase.
constexpr int32_t kTableMinPhaseCycles = 88 + 23;

// What a test or a measurement may change of the timing; the firmware's own is the default.
struct TableTiming {
  int32_t min_phase = kTableMinPhaseCycles;
};

// A phase in 1/256 cycles is a planned turn q times k, shifted right by shift (k has 16 bits).
struct Reciprocal {
  uint32_t k = 0;
  int32_t shift = 0;
};
// REQUIRES: 1 <= positions <= 500. Pure.
Reciprocal PhaseReciprocal(int32_t positions);
// A phase in 1/256 cycles, as the firmware computes it from the planned turn q (< 2^24 cycles).
uint32_t PhaseOf(uint32_t q, const Reciprocal& r);

// The program words of the firmware with a table of `positions` positions: its code and the
// table. REQUIRES: 1 <= positions <= 500. Pure: any thread.
int32_t TableFirmwareWords(int32_t positions);

// The shortest turn, in instruction cycles, that the table layout shows at a steady speed; a
// faster wheel stays dark. REQUIRES: 1 <= positions <= 500. Pure.
int64_t TableMinTurnCycles(int32_t positions, const TableTiming& timing = {});

// Turns per second at most, with a crystal of mhz MHz.
double TableTopSpeed(int32_t positions, double mhz, const TableTiming& timing = {});

// The most positions, up to 500, that the table layout shows at turns_per_second; 0 when not
// even one position is shown that fast.
int32_t TablePositionsFor(double turns_per_second, double mhz);

// The eight table words of each position 1..positions of led, in order.
// REQUIRES: 1 <= positions <= 500. Pure.
std::vector<uint16_t> TableWords(const wheel::LedArray& led, int32_t positions);

// The assembler source of the whole firmware with the picture as a table. Lines end in LF.
// REQUIRES: 1 <= positions <= 500, kMinMhz <= mhz <= kMaxMhz. Pure: any thread.
std::string TableFirmware(const wheel::LedArray& led, int32_t positions, double mhz,
                          const TableTiming& timing = {});

// The program words of assembler text: one a statement, one a value of each DW.
int32_t CountProgramWords(const std::string& source);

}  // namespace firmware
