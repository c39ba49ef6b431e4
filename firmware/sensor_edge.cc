// The sensor edge's assembler, shared by both layouts.
#include "firmware/sensor_edge.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

namespace firmware::internal {
namespace {

void Replace(std::string& text, std::string_view key, std::string_view value) {
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
    text.replace(at, key.size(), value);
    at += value.size();
  }
}

constexpr std::string_view kMeasure =
    R"(        BCF     INTCON,INTF
        BTFSS   PIR1,TMR1IF     ; an overflow not counted yet
        GOTO    EDGE_COUNTED_EARLY
        BCF     PIR1,TMR1IF
        INCFSZ  TU,F
        GOTO    EDGE_COUNTED_EARLY
        BCF     MFLAGS,VALID    ; 2^24 cycles without an edge: any edge starts a turn
        CLRF    GUARD0
        CLRF    GUARD1
EDGE_COUNTED_EARLY
        ; An edge sooner than GUARD x 256 cycles after the last is the sensor bouncing.
        MOVF    GUARD1,W
        SUBWF   TU,W
        BTFSS   STATUS,Z
        GOTO    EDGE_GUARD
        MOVF    GUARD0,W
        SUBWF   TMR1H,W
EDGE_GUARD
        BTFSS   STATUS,C
        @LEAVE@
@AFTER_GUARD@        ; The turn ends: Timer1 stands still while it is read and restarted.
        BCF     T1CON,TMR1ON
        MOVF    TMR1L,W
        MOVWF   Q0
        MOVF    TMR1H,W
        MOVWF   Q1
        CLRF    TMR1H
        MOVLW   SENSOR_LAG
        MOVWF   TMR1L
        BSF     T1CON,TMR1ON
        ; An overflow not counted yet belongs to the turn that ended.
        BTFSS   PIR1,TMR1IF
        GOTO    EDGE_COUNTED
        BCF     PIR1,TMR1IF
        INCFSZ  TU,F
        GOTO    EDGE_COUNTED
        BCF     MFLAGS,VALID
EDGE_COUNTED
        ; The last turn becomes the one before, this one the last.
        MOVF    TL0,W
        MOVWF   TP0
        MOVF    TL1,W
        MOVWF   TP1
        MOVF    TL2,W
        MOVWF   TP2
        MOVF    Q0,W
        MOVWF   TL0
        MOVF    Q1,W
        MOVWF   TL1
        MOVF    TU,W
        MOVWF   TL2
        CLRF    TU
        RLF     MFLAGS,F        ; PREV takes LAST, LAST takes VALID
        BSF     MFLAGS,VALID
        ; The next edge is a bounce when it comes sooner than a quarter of the turn (of the
        ; shorter of the last two, below, so that a pause hides no turn after it), and never
        ; sooner than GMIN.
        MOVLW   LOW GMIN
        MOVWF   GUARD0
        MOVLW   HIGH GMIN
        MOVWF   GUARD1
        BTFSS   MFLAGS,LAST
        GOTO    @DARK@
@GUARD_TL@        ; Shown after two measured turns only, which differ by 1/32 at most.
        BTFSS   MFLAGS,PREV
        GOTO    @DARK@
        MOVF    TL0,W
        MOVWF   D0
        MOVF    TL1,W
        MOVWF   D1
        MOVF    TL2,W
        MOVWF   D2
        MOVF    TP0,W
        SUBWF   D0,F
        MOVF    TP1,W
        BTFSS   STATUS,C
        INCFSZ  TP1,W
        SUBWF   D1,F
        MOVF    TP2,W
        BTFSS   STATUS,C
        INCFSZ  TP2,W
        SUBWF   D2,F
        BTFSC   STATUS,C
        GOTO    EDGE_LONGER
        COMF    D0,F
        COMF    D1,F
        COMF    D2,F
        INCF    D0,F
        BTFSC   STATUS,Z
        INCF    D1,F
        BTFSC   STATUS,Z
        INCF    D2,F
        GOTO    EDGE_CHANGE
EDGE_LONGER                     ; the turn before was the shorter
        MOVLW   LOW GMIN
        MOVWF   GUARD0
        MOVLW   HIGH GMIN
        MOVWF   GUARD1
@GUARD_TP@EDGE_CHANGE
        MOVF    TL1,W           ; E: the last turn / 32, to 8 cycles
        MOVWF   E0
        MOVF    TL2,W
        MOVWF   E1
        CLRF    E2
        BCF     STATUS,C
        RLF     E0,F
        RLF     E1,F
        RLF     E2,F
        BCF     STATUS,C
        RLF     E0,F
        RLF     E1,F
        RLF     E2,F
        BCF     STATUS,C
        RLF     E0,F
        RLF     E1,F
        RLF     E2,F
        MOVF    D0,W
        SUBWF   E0,F
        MOVF    D1,W
        BTFSS   STATUS,C
        INCFSZ  D1,W
        SUBWF   E1,F
        MOVF    D2,W
        BTFSS   STATUS,C
        INCFSZ  D2,W
        SUBWF   E2,F
        BTFSS   STATUS,C
        GOTO    @DARK@
        ; The turn to come is planned as long as the last one less its change, so that a wheel
        ; that keeps speeding up ends each turn before the sensor comes round.
        MOVF    TL0,W
        MOVWF   Q0
        MOVF    TL1,W
        MOVWF   Q1
        MOVF    TL2,W
        MOVWF   Q2
        MOVF    D0,W
        SUBWF   Q0,F
        MOVF    D1,W
        BTFSS   STATUS,C
        INCFSZ  D1,W
        SUBWF   Q1,F
        MOVF    D2,W
        BTFSS   STATUS,C
        INCFSZ  D2,W
        SUBWF   Q2,F
@SHARE@        ; Too short to show: dark.
        MOVLW   MINQ_U
        SUBWF   Q2,W
        BTFSS   STATUS,Z
        GOTO    EDGE_SHORT
        MOVLW   MINQ_H
        SUBWF   Q1,W
        BTFSS   STATUS,Z
        GOTO    EDGE_SHORT
        MOVLW   MINQ_L
        SUBWF   Q0,W
EDGE_SHORT
        BTFSS   STATUS,C
        GOTO    @DARK@
)";

// A 1/1024 share of the turn (the guard: the shorter of the last two / 1024) kept in hand.
constexpr std::string_view kShare =
    R"(        MOVF    GUARD0,W        ; and a 1/1024 share of the turn
        SUBWF   Q0,F
        MOVF    GUARD1,W
        BTFSS   STATUS,C
        INCFSZ  GUARD1,W
        SUBWF   Q1,F
        BTFSS   STATUS,C
        DECF    Q2,F
)";

// GUARD = turn / 1024 (a quarter, in 256 cycles), when that is more than GMIN.
std::string Guard(std::string_view turn, std::string_view label) {
  std::string text = R"(        BCF     STATUS,C        ; a quarter of @T@ in E1:E0
        RRF     @T@2,W
        MOVWF   E1
        RRF     @T@1,W
        MOVWF   E0
        BCF     STATUS,C
        RRF     E1,F
        RRF     E0,F
        MOVLW   HIGH GMIN
        SUBWF   E1,W
        BTFSS   STATUS,Z
        GOTO    @L@_CMP
        MOVLW   LOW GMIN
        SUBWF   E0,W
@L@_CMP
        BTFSS   STATUS,C
        GOTO    @L@_DONE
        MOVF    E0,W
        MOVWF   GUARD0
        MOVF    E1,W
        MOVWF   GUARD1
@L@_DONE
)";
  Replace(text, "@T@", turn);
  Replace(text, "@L@", label);
  return text;
}

}  // namespace

std::string EdgeSource(const EdgeOptions& options) {
  std::string text(kMeasure);
  Replace(text, "@GUARD_TL@", Guard("TL", "EDGE_GUARD_TL"));
  Replace(text, "@GUARD_TP@", Guard("TP", "EDGE_GUARD_TP"));
  Replace(text, "@LEAVE@", options.leave);
  Replace(text, "@AFTER_GUARD@", options.after_guard);
  Replace(text, "@DARK@", options.dark);
  Replace(text, "@SHARE@", options.table ? kShare : "");
  return text;
}

int64_t MinGuard(int64_t min_q, int64_t edge_cycles) {
  const int64_t gmin = std::max(min_q >> 10, (edge_cycles + 255) / 256 + 1);
  assert(gmin * 256 < min_q);  // a turn that can be shown is never taken for a bounce
  return gmin;
}

int64_t Guard(int64_t turn, int64_t change, int64_t gmin) {
  const int64_t shorter = change > 0 ? turn - change : turn;
  return std::max(gmin, shorter >> 10);
}

int64_t PlannedTurn(int64_t turn, int64_t change, bool table, int64_t gmin) {
  return turn - std::llabs(change) - (table ? Guard(turn, change, gmin) : 0);
}

}  // namespace firmware::internal
