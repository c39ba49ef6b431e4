// The sensor edge's assembler, shared by both layouts of the reference firmware: the bounce
// guard, the measurement of the turn that ended, and the verdict whether the next can be shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace firmware::internal {

// Timer1 stands still this many cycles while the edge reads and restarts it; it restarts from
// them, so that a turn's length comes out whole.
constexpr int32_t kSensorLag = 8;

// Bank 0 registers the edge code uses; each layout places its own after kEdgeRamEnd.
constexpr const char* kEdgeRegisters =
    R"(TU              EQU     0x20    ; the turn's clock: Timer1 overflows since the sensor edge
MFLAGS          EQU     0x21
VALID           EQU     0       ; MFLAGS: the clock counts from an edge and has not run over
LAST            EQU     1       ; MFLAGS: the last turn was measured
PREV            EQU     2       ; MFLAGS: so was the one before
TL0             EQU     0x22    ; the last turn, in cycles
TL1             EQU     0x23
TL2             EQU     0x24
TP0             EQU     0x25    ; the turn before it
TP1             EQU     0x26
TP2             EQU     0x27
GUARD0          EQU     0x28    ; edges sooner than this many 256 cycles are bounces
GUARD1          EQU     0x29
D0              EQU     0x2A    ; the change from one turn to the next
D1              EQU     0x2B
D2              EQU     0x2C
E0              EQU     0x2D
E1              EQU     0x2E
E2              EQU     0x2F
Q0              EQU     0x30    ; the turn planned
Q1              EQU     0x31
Q2              EQU     0x32
)";
constexpr int32_t kEdgeRamEnd = 0x33;

struct EdgeOptions {
  std::string_view leave;        // how the routine returns: RETFIE or RETURN
  std::string_view after_guard;  // lines run once an edge is taken for a turn
  std::string_view dark;         // the label of a turn that stays dark
  bool table = false;            // the table layout also keeps 1/1024 of the turn in hand
};

// The code from the interrupt's flag on: a bounce returns at once; otherwise the turn is
// measured, Timer1 restarts, and the code goes to options.dark or falls through with the turn
// to plan in Q2:Q0: the last turn less its change from the one before (and for the table less
// a 1/1024 share), at least MINQ (EQU MINQ_U, MINQ_H, MINQ_L). The guard for the next edge is
// set: a quarter of the shorter of the last two turns, at least GMIN (EQU, in 256 cycles).
std::string EdgeSource(const EdgeOptions& options);

// The least guard, in 256 cycles: a quarter of the shortest turn shown (min_q cycles), and
// longer than the edge's interrupt (edge_cycles), after which the bounces it kept waiting are
// judged.
int64_t MinGuard(int64_t min_q, int64_t edge_cycles);

// The guard, in 256 cycles, after a last turn of `turn` cycles that was `change` cycles longer
// than the one before.
int64_t Guard(int64_t turn, int64_t change, int64_t gmin);

// The turn planned after such a turn: less its change and, for the table, less the guard as
// cycles (a 1/1024 share).
int64_t PlannedTurn(int64_t turn, int64_t change, bool table, int64_t gmin);

}  // namespace firmware::internal
