// The reference firmware: the assembler template, its timing constants and the fragment's
// insertion.
#include "firmware/reference_firmware.h"

#include <cassert>
#include <cstdio>
#include <string>

#include "firmware/sensor_edge.h"
#include "firmware/shared_source.h"
#include "imtxt/fragment_words.h"
#include "wheel/wheel.h"

namespace firmware {
namespace {

using internal::Hex;
using internal::Replace;

// The wait at the first hoek label takes up to one round of its loop to see the new angle.
constexpr int32_t kWaitCycles = 5;
// Leaving the wait loop (DECFSZ skipping), the matching compare (MOVF, SUBLW, MOVWF, DECFSZ
// skipping) and each failed compare before it (the same with the GOTO taken).
constexpr int32_t kLeaveWaitCycles = 2;
constexpr int32_t kMatchCycles = 5;
constexpr int32_t kMissCycles = 6;
// The longest display block without its delays: GOTO UPDATE, two BCF, four port images, three
// calls of the delay routine with its copying and return, LEDSUIT's call, body and return, the
// GOTO BEGIN and BEGIN's two words.
constexpr int32_t kBlockCycles = 2 + 2 + 4 * 8 + 3 * (2 + 6 + 2 + 2) + 2 + 4 + 2 + 2 + 2;
// One timer overflow interrupt may fall into any step.
constexpr int32_t kOverflowIsrCycles = 32;
// Rounding of the delay counts and the delay loop's odd cycles.
constexpr int32_t kMarginCycles = 32;

// The template. @NAME@ is replaced by the generator; the fragment goes where @FRAGMENT@ stands.
constexpr std::string_view kTemplate =
    R"(; Reference firmware of a 24-LED persistence-of-vision wheel on a PIC16F877A, with the picture
; of an IM.txt fragment (@HOW_MANY@). Assemble with: gpasm wheel.asm (gives wheel.hex).
;
@WIRING@
;
; Timer1 counts instruction cycles; with a software upper byte the turn is a 24-bit count. The
; sensor interrupt divides the turn planned by the number of positions, and a CCP1 compare
; interrupt then marks each step: HOEKTELLER gets the next position and HOEKVERANDERD is set,
; which the fragment waits for. The turn planned is the last less its change from the one
; before, so that a wheel that speeds up or slows down steadily shows every position.
; A turn stays dark when the last two turns were not both measured (the first two turns, and
; after 2^24 cycles without an edge), when they differ by more than 1/32 (a sudden change of
; speed), when the plan is shorter than MINTURN cycles (too fast), or when the fragment is still
; showing the last position at the edge; the LED pins then float, so that nothing of that
; position shows. An edge sooner than a quarter of the last turn is the sensor bouncing: ignored.

        LIST    P=16F877A
        #include <p16f877a.inc>
        ERRORLEVEL -302         ; the bank switches below are deliberate
        ERRORLEVEL -306         ; so are the page switches
        __CONFIG _CP_OFF & _DEBUG_OFF & _WRT_OFF & _CPD_OFF & _LVP_OFF & _BOREN_ON & _PWRTE_ON & _WDT_OFF & @OSC@

NPOS            EQU     D'@POSITIONS@'
; The shortest turn shown, and the step cycles that are not delay: both from the worst case.
MINQ_U          EQU     @MINTURN_U@
MINQ_H          EQU     @MINTURN_H@
MINQ_L          EQU     @MINTURN_L@
WORST_U         EQU     @WORST_U@
WORST_H         EQU     @WORST_H@
WORST_L         EQU     @WORST_L@
; Timer1 stands still this many cycles at the sensor edge: it restarts from them, so that the
; turn's length comes out whole.
SENSOR_LAG      EQU     D'@SENSOR_LAG@'
; Edges never count sooner than GMIN x 256 cycles apart: a quarter of the shortest turn shown,
; and longer than the edge's interrupt, after which the bounces it kept waiting are judged.
GMIN            EQU     D'@GMIN@'
; A step that finds the fragment busy asks again this many cycles later.
RETRY           EQU     D'200'

; Common RAM, reachable from every bank: the fragment's registers and the delay's.
HOEKTELLER      EQU     0x70
HOEKVERANDERD   EQU     0x71
TEST            EQU     0x72
W_SAVE          EQU     0x73
STATUS_SAVE     EQU     0x74
PCLATH_SAVE     EQU     0x75
DLY0            EQU     0x76    ; delay loop counts, each already one more, as the loop wants
DLY1            EQU     0x77
DLY2            EQU     0x78
C0              EQU     0x79
C1              EQU     0x7A
C2              EQU     0x7B

; Bank 0: the sensor edge's registers, then the steps'.
@EDGE_REGISTERS@NXT0            EQU     0x33    ; the clock at the next step
NXT1            EQU     0x34
NXT2            EQU     0x35
S0              EQU     0x36    ; one step: the turn divided by NPOS ...
S1              EQU     0x37
S2              EQU     0x38
R0              EQU     0x39    ; ... and the remainder, spread over the steps
R1              EQU     0x3A
ERR0            EQU     0x3B
ERR1            EQU     0x3C
LEFT0           EQU     0x3D    ; steps still to come in this turn
LEFT1           EQU     0x3E
POS             EQU     0x3F    ; the position shown, modulo 256 like HOEKTELLER
FLAGS           EQU     0x40
WAITING         EQU     1       ; FLAGS: a due step waits for the fragment to finish the last
BLANK           EQU     2       ; FLAGS: the LED pins float (a dark turn)
DR0             EQU     0x41    ; remainder
DR1             EQU     0x42
CNT             EQU     0x43
TMP             EQU     0x44
P0              EQU     0x45    ; products
P1              EQU     0x46
P2              EQU     0x47
P3              EQU     0x48
RAM_END         EQU     0x49

        ORG     0x000
        CLRF    PCLATH
        GOTO    START
        NOP
        NOP

; The interrupt routine: saves W, STATUS and PCLATH (the fragment runs in page 1).
        ORG     0x004
        MOVWF   W_SAVE
        SWAPF   STATUS,W
        CLRF    STATUS          ; bank 0
        MOVWF   STATUS_SAVE
        MOVF    PCLATH,W
        MOVWF   PCLATH_SAVE
        CLRF    PCLATH
        BTFSC   INTCON,INTF
        CALL    SENSOR
        BTFSC   PIR1,CCP1IF
        CALL    STEP
        BTFSC   PIR1,TMR1IF
        CALL    OVERFLOW
        MOVF    PCLATH_SAVE,W
        MOVWF   PCLATH
        SWAPF   STATUS_SAVE,W
        MOVWF   STATUS
        SWAPF   W_SAVE,F
        SWAPF   W_SAVE,W
        RETFIE

; Timer1 overflowed: the clock's upper byte goes up. After 2^24 cycles without an edge the
; turn cannot be measured, and any edge starts one.
OVERFLOW
        BCF     PIR1,TMR1IF
        INCFSZ  TU,F
        RETURN
        BCF     MFLAGS,VALID
        CLRF    GUARD0
        CLRF    GUARD1
        RETURN

; The sensor edge: measure the turn, restart the clock, and when the next turn can be shown,
; show position 1 now and plan the steps.
SENSOR
@EDGE@        ; The fragment must be back at BEGIN, waiting for a step.
        MOVF    HOEKVERANDERD,W
        XORLW   D'2'
        BTFSS   STATUS,Z
        GOTO    SENSOR_DARK
        CALL    DIVIDE
        MOVF    Q0,W
        MOVWF   S0
        MOVWF   P0
        MOVF    Q1,W
        MOVWF   S1
        MOVWF   P1
        MOVF    Q2,W
        MOVWF   S2
        MOVWF   P2
        MOVF    DR0,W
        MOVWF   R0
        MOVF    DR1,W
        MOVWF   R1
        CALL    DELAYS
        BTFSC   FLAGS,BLANK
        CALL    UNBLANK
        ; Step 1 is due now, the next one step after the edge.
        CLRF    POS
        MOVLW   LOW NPOS
        MOVWF   LEFT0
        MOVLW   HIGH NPOS
        MOVWF   LEFT1
        CLRF    ERR0
        CLRF    ERR1
        CLRF    NXT0
        CLRF    NXT1
        CLRF    NXT2
        GOTO    STEP_DUE
; A dark turn: the LED pins float until a turn is shown, whatever the fragment still writes.
SENSOR_DARK
FLOAT_PINS
        BSF     STATUS,RP0
        MOVLW   0xFF
        MOVWF   TRISA
        MOVWF   TRISB
        MOVWF   TRISC
        MOVWF   TRISD
        BCF     STATUS,RP0
        BSF     FLAGS,BLANK
        RETURN
; The LEDs drive again. The fragment waits at BEGIN, so its last image put them all out.
UNBLANK
        BSF     STATUS,RP0
        MOVLW   B'11110000'
        MOVWF   TRISA
        MOVLW   B'11100001'
        MOVWF   TRISB
        CLRF    TRISC
        CLRF    TRISD
        BCF     STATUS,RP0
        BCF     FLAGS,BLANK
        RETURN

; The delay counts from one step in P2:P0. Each of the three delays lasts a third of what is
; left after WORST; the loop takes three cycles a round, so a delay is (S - WORST) / 9 rounds,
; taken as 7/64 to stay on the short side.
DELAYS
        MOVLW   WORST_L
        SUBWF   P0,F
        BTFSC   STATUS,C
        GOTO    DELAYS_H
        MOVF    P1,F
        BTFSC   STATUS,Z
        DECF    P2,F
        DECF    P1,F
DELAYS_H
        MOVLW   WORST_H
        SUBWF   P1,F
        BTFSS   STATUS,C
        DECF    P2,F
        MOVLW   WORST_U
        SUBWF   P2,F
        ; V in P2:P0; 8 V in P3:P0, less V, times 4: the rounds are P3:P1.
        MOVF    P0,W
        MOVWF   Q0
        MOVF    P1,W
        MOVWF   Q1
        MOVF    P2,W
        MOVWF   Q2
        CLRF    P3
        CALL    DOUBLE
        CALL    DOUBLE
        CALL    DOUBLE
        MOVF    Q0,W
        SUBWF   P0,F
        MOVF    Q1,W
        BTFSS   STATUS,C
        INCFSZ  Q1,W
        SUBWF   P1,F
        MOVF    Q2,W
        BTFSS   STATUS,C
        INCFSZ  Q2,W
        SUBWF   P2,F
        BTFSS   STATUS,C
        DECF    P3,F
        CALL    DOUBLE
        CALL    DOUBLE
        ; The loop counts: rounds - 1, each byte plus one.
        MOVLW   D'1'
        SUBWF   P1,F
        BTFSC   STATUS,C
        GOTO    DELAYS_SET
        MOVF    P2,F
        BTFSC   STATUS,Z
        DECF    P3,F
        DECF    P2,F
DELAYS_SET
        INCF    P1,W
        MOVWF   DLY0
        INCF    P2,W
        MOVWF   DLY1
        INCF    P3,W
        MOVWF   DLY2
        RETURN

DOUBLE
        BCF     STATUS,C
        RLF     P0,F
        RLF     P1,F
        RLF     P2,F
        RLF     P3,F
        RETURN

; Q2:Q0 / NPOS: quotient in Q2:Q0, remainder in DR1:DR0.
DIVIDE
        CLRF    DR0
        CLRF    DR1
        MOVLW   D'24'
        MOVWF   CNT
DIVIDE_BIT
        BCF     STATUS,C
        RLF     Q0,F
        RLF     Q1,F
        RLF     Q2,F
        RLF     DR0,F
        RLF     DR1,F
        MOVLW   LOW NPOS
        SUBWF   DR0,W
        MOVWF   TMP
        MOVLW   HIGH NPOS
        BTFSS   STATUS,C
        MOVLW   HIGH NPOS + 1
        SUBWF   DR1,W
        BTFSS   STATUS,C
        GOTO    DIVIDE_NEXT
        MOVWF   DR1
        MOVF    TMP,W
        MOVWF   DR0
        BSF     Q0,0
DIVIDE_NEXT
        DECFSZ  CNT,F
        GOTO    DIVIDE_BIT
        RETURN

; The compare matched Timer1's lower 16 bits. A step when the upper byte matches too and steps
; are left in this turn.
STEP
        BTFSC   FLAGS,WAITING
        GOTO    STEP_DUE        ; the step waits for the fragment: no time to check
        MOVF    LEFT0,W
        IORWF   LEFT1,W
        BTFSC   STATUS,Z
        GOTO    STEP_NONE
        ; An overflow still pending came before the match when the match is in the lower half.
        MOVF    TU,W
        BTFSS   PIR1,TMR1IF
        GOTO    STEP_UPPER
        BTFSS   CCPR1H,7
        ADDLW   D'1'
STEP_UPPER
        XORWF   NXT2,W
        BTFSS   STATUS,Z
        GOTO    STEP_NONE
; A step is due. While the fragment still shows the last position it would lose the new one
; (BEGIN clears HOEKVERANDERD), so the step waits for BEGIN, asking again every RETRY cycles.
STEP_DUE
        MOVF    HOEKVERANDERD,W
        XORLW   D'2'
        BTFSS   STATUS,Z
        GOTO    STEP_WAIT
        BCF     FLAGS,WAITING
        INCF    POS,F
        MOVF    POS,W
        MOVWF   HOEKTELLER
        MOVLW   D'1'
        MOVWF   HOEKVERANDERD
        SUBWF   LEFT0,F
        BTFSS   STATUS,C
        DECF    LEFT1,F
        GOTO    ADVANCE
STEP_WAIT
        BSF     FLAGS,WAITING
        MOVF    TMR1L,W         ; a carry into TMR1H between the reads only asks later
        ADDLW   RETRY
        MOVWF   CCPR1L
        MOVF    TMR1H,W
        BTFSC   STATUS,C
        ADDLW   D'1'
        MOVWF   CCPR1H
STEP_NONE
        BCF     PIR1,CCP1IF
        RETURN

; The next step: NXT += S, and one cycle more whenever the remainders add up to NPOS, so the
; steps spread the whole turn evenly.
ADVANCE
        MOVF    R0,W
        ADDWF   ERR0,F
        BTFSC   STATUS,C
        INCF    ERR1,F
        MOVF    R1,W
        ADDWF   ERR1,F
        MOVLW   LOW NPOS
        SUBWF   ERR0,W
        MOVWF   TMP
        MOVLW   HIGH NPOS
        BTFSS   STATUS,C
        MOVLW   HIGH NPOS + 1
        SUBWF   ERR1,W
        BTFSS   STATUS,C
        GOTO    ADVANCE_STEP
        MOVWF   ERR1
        MOVF    TMP,W
        MOVWF   ERR0
        INCF    NXT0,F
        BTFSC   STATUS,Z
        INCF    NXT1,F
        BTFSC   STATUS,Z
        INCF    NXT2,F
ADVANCE_STEP
        MOVF    S0,W
        ADDWF   NXT0,F
        MOVF    S1,W
        BTFSC   STATUS,C
        INCFSZ  S1,W
        ADDWF   NXT1,F
        MOVF    S2,W
        BTFSC   STATUS,C
        INCFSZ  S2,W
        ADDWF   NXT2,F
        MOVF    NXT0,W
        MOVWF   CCPR1L
        MOVF    NXT1,W
        MOVWF   CCPR1H
        BCF     PIR1,CCP1IF     ; a match between the two writes was no step
        RETURN

@START@
        MOVLW   D'2'            ; no angle yet
        MOVWF   HOEKVERANDERD
@PORTS@
        MOVLW   (1 << TMR1IE) | (1 << CCP1IE)
        MOVWF   PIE1
        BCF     STATUS,RP0
@TIMER_START@
        MOVLW   HIGH FRAGMENT
        MOVWF   PCLATH
        GOTO    FRAGMENT

; The picture, in a page of its own with the routines it calls.
        ORG     0x800
FRAGMENT
@FRAGMENT@
; Each delay lasts the same: a third of what the step leaves after its worst case.
DELAY2
DELAY3
DELAY4
        MOVF    DLY0,W
        MOVWF   C0
        MOVF    DLY1,W
        MOVWF   C1
        MOVF    DLY2,W
        MOVWF   C2
DELAY_LOOP
        DECFSZ  C0,F
        GOTO    DELAY_LOOP
        DECFSZ  C1,F
        GOTO    DELAY_LOOP
        DECFSZ  C2,F
        GOTO    DELAY_LOOP
        RETURN

; Every LED off. The fragment has selected bank 0.
LEDSUIT
        CLRF    PORTD
        CLRF    PORTB
        CLRF    PORTA
        CLRF    PORTC
        RETURN

        END
)";

// Every accepted edge ends the last turn's steps, and the light of a position the fragment is
// still showing: its pins float until a turn is shown.
constexpr const char* kAfterGuard =
    R"(        CLRF    LEFT0           ; the last turn's steps end here
        CLRF    LEFT1
        BCF     FLAGS,WAITING
        MOVF    HOEKVERANDERD,W
        XORLW   D'2'
        BTFSS   STATUS,Z
        CALL    FLOAT_PINS
)";

// The fragment's lines with blanks for underscores and LF line ends.
std::string Unfold(std::string_view fragment) {
  std::string out;
  out.reserve(fragment.size());
  for (char c : fragment) {
    if (c == '\r') continue;
    out.push_back(c == '_' ? ' ' : c);
  }
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace

int32_t WorstStepCycles(int32_t positions) {
  return kSensorIsrCycles + kWaitCycles + kLeaveWaitCycles + kMissCycles * (positions - 1) +
         kMatchCycles + kBlockCycles + kOverflowIsrCycles + kMarginCycles;
}

int32_t MinStepCycles(int32_t positions) {
  return WorstStepCycles(positions) + 3 * kMinDelayCycles;
}

int64_t MinTurnCycles(int32_t positions) { return int64_t{MinStepCycles(positions)} * positions; }

double TopSpeed(int32_t positions, double mhz) {
  return mhz * 1e6 / 4 / static_cast<double>(MinTurnCycles(positions));
}

double LowSpeed(double mhz) { return mhz * 1e6 / 4 / static_cast<double>(kMaxTurnCycles); }

std::string ReferenceFirmware(std::string_view fragment, int32_t positions, double mhz) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  assert(mhz >= kMinMhz && mhz <= kMaxMhz);
  std::string text(kTemplate);
  internal::ReplaceShared(text);
  const int64_t min_turn = MinTurnCycles(positions);
  const int32_t worst = WorstStepCycles(positions);
  assert(min_turn < kMaxTurnCycles);  // the firmware compares it with a 24-bit count
  char mhz_text[32];
  std::snprintf(mhz_text, sizeof mhz_text, "%g", mhz);
  Replace(text, "HOW_MANY", internal::PositionsText(positions));
  Replace(text, "POSITIONS", std::to_string(positions));
  Replace(text, "MHZ", mhz_text);
  // HS above 4 MHz, XT up to it.
  Replace(text, "OSC", mhz > 4.0 ? "_HS_OSC" : "_XT_OSC");
  Replace(text, "MINTURN_U", Hex(min_turn >> 16));
  Replace(text, "MINTURN_H", Hex(min_turn >> 8));
  Replace(text, "MINTURN_L", Hex(min_turn));
  Replace(text, "WORST_U", Hex(worst >> 16));
  Replace(text, "WORST_H", Hex(worst >> 8));
  Replace(text, "WORST_L", Hex(worst));
  Replace(text, "SENSOR_LAG", std::to_string(internal::kSensorLag));
  Replace(text, "GMIN", std::to_string(internal::MinGuard(min_turn, kSensorIsrCycles)));
  Replace(text, "EDGE_REGISTERS", internal::kEdgeRegisters);
  Replace(
      text, "EDGE",
      internal::EdgeSource(
          {.leave = "RETURN", .after_guard = kAfterGuard, .dark = "SENSOR_DARK", .table = false}));
  Replace(text, "FRAGMENT", Unfold(fragment));
  return text;
}

}  // namespace firmware
