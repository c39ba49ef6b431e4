// The reference firmware: a whole PIC16F877A program around an IM.txt fragment, and its timing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace firmware {

// Words in one program page of the PIC mid-range: a jump without PCLATH reaches no further.
constexpr int32_t kPageWords = 2048;

// Program words the reference firmware itself puts in the fragment's page: the delay routine
// (DELAY2, DELAY3 and DELAY4 share it) and LEDSUIT.
constexpr int32_t kPageRoutineWords = 18;

// The words the reference firmware leaves free for the fragment in its page: the default budget
// of the fit check and of the import's choice of N.
constexpr int32_t kFragmentBudget = kPageWords - kPageRoutineWords;

// Instruction cycles from the sensor edge to the end of its interrupt at the longest (the
// turn's checks and division included); position 1 starts that much late. gpsim presents step
// 1 806 cycles after the edge for a 20-bit quotient (24 positions, turns of 2^24 cycles); the
// interrupt's return, four more quotient bits, an overflow taken inside the division and the
// longest branches bring it to 952.
constexpr int32_t kSensorIsrCycles = 952;

// The shortest delay phase: below it the call overheads blur the intensities.
constexpr int32_t kMinDelayCycles = 150;

// Instruction cycles one step needs besides its three delays, at its worst: the sensor
// interrupt, the fragment's dispatch down to position 1, the longest display block, LEDSUIT,
// the return to BEGIN and one timer overflow interrupt.
int32_t WorstStepCycles(int32_t positions);

// The shortest step the firmware shows, in instruction cycles; a faster turn stays dark.
int32_t MinStepCycles(int32_t positions);

// The shortest turn, in instruction cycles (MinStepCycles for every position).
int64_t MinTurnCycles(int32_t positions);

// The longest turn the firmware can measure (a 24-bit count of instruction cycles); a slower
// wheel stays dark until it turns faster.
constexpr int64_t kMaxTurnCycles = int64_t{1} << 24;

// Turns per second at most, with a crystal of mhz MHz (four clocks per instruction cycle).
double TopSpeed(int32_t positions, double mhz);

// Turns per second at least before the wheel goes dark.
double LowSpeed(double mhz);

// The crystals the firmware is configured for, in MHz.
constexpr double kMinMhz = 0.2;
constexpr double kMaxMhz = 20.0;
constexpr double kDefaultMhz = 20.0;

// The assembler source of the whole firmware, with the fragment (IM.txt's text: underscores for
// blanks, CR LF or LF line ends) inserted in its own program page. Lines end in LF.
// REQUIRES: 1 <= positions <= 500, kMinMhz <= mhz <= kMaxMhz. Pure: any thread.
std::string ReferenceFirmware(std::string_view fragment, int32_t positions, double mhz);

}  // namespace firmware
