// The table layout of the reference firmware: the assembler template, the reciprocal that cuts a
// turn into phases, the picture's table words, and the timing that follows from them.
#include "firmware/table_firmware.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <memory>
#include <sstream>

#include "firmware/sensor_edge.h"
#include "firmware/shared_source.h"
#include "imtxt/beeld_matrix.h"

namespace firmware {
namespace {

using internal::Hex;
using internal::Replace;

// The turn's plan ends this much before the edge planned: Timer1 restarts 19 cycles after the
// edge, and the end-of-turn handler takes 30 from its match, with the interrupt's entry.
constexpr int32_t kTurnEndCycles = 56;
// Cycles of the edge's interrupt from Timer1's restart to its return, without the
// multiplication: gpsim counts 282 when the turn is longer than the one before (the longer
// path); an overflow in the restart's cycles adds 3, the longest compares 3. One ignored bounce
// may follow it before the first step.
constexpr int32_t kEdgeFixedCycles = 282 + 3 + 3;
constexpr int32_t kEdgeBounceCycles = 23;
// Cycles the edge adds when it chooses among several frames, at the longest: the turn after the
// last frame, which starts the first again (gpsim counts 33 beyond the one picture's edge; the
// next frame takes 30, the same frame 3).
constexpr int32_t kFrameSwitchCycles = 33;

constexpr const char* kTemplate =
    R"(; Reference firmware of a 24-LED persistence-of-vision wheel on a PIC16F877A, table layout:
; @HELD@ data in program memory. Assemble with: gpasm wheel.asm
; (gives wheel.hex).
;
@WIRING@
;
; Timer1 counts instruction cycles; with a software upper byte a turn is a 24-bit count. At the
; sensor edge the interrupt measures the turn that ended and, when the next can be shown, cuts
; it into 3 x NPOS equal phases (a multiplication by the reciprocal of 3 x NPOS). Compare
; interrupts of CCP1 then mark the phases: a step writes its position's phase image 1 and at once
; image 2, image 3 a phase later and image 4 two phases later; the next step's image 1 ends it,
; and the turn's end puts every LED out. Intensity 1 lights an LED for a few cycles, 2, 3 and 4
; for one, two and three phases.
;
; The table: 8 program words a position, two a phase image: PORTD in bits 0-7 with RA0-RA3 in
; bits 8-11, then PORTC in bits 0-7 with RB1-RB4 in bits 9-12.
;
; A turn stays dark when the last two turns were not both measured (the first two turns, and
; after 2^24 cycles without an edge), when they differ by more than 1/32 (a sudden change of
; speed), or when a phase would be shorter than @MINPHASE@ cycles (too fast). The turn to come is
; planned as long as the last less its change and 1/1024 of it, so that a wheel that speeds up
; or slows down steadily shows every position. An edge sooner than a quarter of the last turn is
; the sensor bouncing: ignored.
@FRAMES_NOTE@
        LIST    P=16F877A
        #include <p16f877a.inc>
        ERRORLEVEL -302         ; the bank switches below are deliberate
        __CONFIG _CP_OFF & _DEBUG_OFF & _WRT_OFF & _CPD_OFF & _LVP_OFF & _BOREN_ON & _PWRTE_ON & _WDT_OFF & @OSC@

NPOS            EQU     D'@POSITIONS@'
@NFRAMES@; The least planned turn that is shown: 3 x NPOS phases of the shortest, with the wait for the
; first step and the end's allowance (LATE).
MINQ_U          EQU     @MINQ_U@
MINQ_H          EQU     @MINQ_H@
MINQ_L          EQU     @MINQ_L@
; The first step comes FIRST cycles after the edge, once the edge's work is done; the last ends
; LATE - FIRST cycles before the edge planned.
FIRST           EQU     D'@FIRST@'
LATE            EQU     D'@LATE@'
SENSOR_LAG      EQU     D'@SENSOR_LAG@'
; Edges never count sooner than GMIN x 256 cycles apart: a quarter of the shortest turn shown,
; and longer than the edge's interrupt, after which the bounces it kept waiting are judged.
GMIN            EQU     D'@GMIN@'

; Bank 0: the sensor edge's registers, then the steps'.
@EDGE_REGISTERS@P0              EQU     0x33    ; a phase, in 1/256 cycles
P1              EQU     0x34
P2              EQU     0x35
P3              EQU     0x36
NB0             EQU     0x37    ; the next boundary of a phase, in 1/256 cycles
NB1             EQU     0x38
NB2             EQU     0x39
NB3             EQU     0x3A
NEXTH           EQU     0x3B    ; the handler of the next boundary
AFTER           EQU     0x3C    ; the handler after a step's last phase
LEFT0           EQU     0x3D    ; steps still to come in this turn
LEFT1           EQU     0x3E
BASEL           EQU     0x3F    ; the table shown: @BASE_NOTE@
BASEH           EQU     0x40
TARGETH         EQU     0x41    ; the handler of a far boundary, after its waypoints
REM0            EQU     0x42    ; cycles from a waypoint to its boundary
REM1            EQU     0x43
REM2            EQU     0x44
STATE           EQU     0x45
LONG            EQU     0       ; STATE: a phase is longer than 32832 cycles
@FRAME_REGISTERS@RAM_END         EQU     @RAM_END@
; Common RAM, reachable from every bank: one position's words as read, four bytes an image
; (PORTD, PORTA, PORTC, PORTB).
B0              EQU     0x70
B1              EQU     0x71
B2              EQU     0x72
B3              EQU     0x73
B4              EQU     0x74
B5              EQU     0x75
B6              EQU     0x76
B7              EQU     0x77
B8              EQU     0x78
B9              EQU     0x79
B10             EQU     0x7A
B11             EQU     0x7B
B12             EQU     0x7C
B13             EQU     0x7D
B14             EQU     0x7E
B15             EQU     0x7F

        ORG     0x000
        CLRF    PCLATH
        GOTO    START
        NOP
        NOP

; The interrupt routine. The main program only waits, so nothing is saved; every path leaves
; bank 0 selected and PCLATH at 0. A compare match goes to the handler NEXTH names, in the first
; 256 words: matches come at least every 32768 cycles (far boundaries get waypoints), and each
; handler counts Timer1's overflow after its port writes, so that no other interrupt ever delays
; a phase (only a bounce of the sensor can).
        ORG     0x004
        BTFSS   PIR1,CCP1IF
        GOTO    NOT_COMPARE
        BCF     PIR1,CCP1IF
        MOVF    NEXTH,W
        MOVWF   PCL

; A step begins: image 1, and at once image 2.
PH0
@IMAGE_1@@IMAGE_2@        MOVLW   LOW PH1
        MOVWF   NEXTH
@NEXT_BOUNDARY@        ; After this step's last phase: the next step, or the turn's end.
        MOVF    LEFT0,W
        IORWF   LEFT1,W
        BTFSC   STATUS,Z
        GOTO    PH0_LAST
        MOVLW   D'1'
        SUBWF   LEFT0,F
        BTFSS   STATUS,C
        DECF    LEFT1,F
        MOVLW   LOW PH0
        MOVWF   AFTER
@READ_PH0@@TAIL@
; A phase on: image 3.
PH1
@IMAGE_3@        MOVLW   LOW PH2
        MOVWF   NEXTH
@NEXT_BOUNDARY@@READ_PH1@@TAIL@
; Two phases on: image 4.
PH2
@IMAGE_4@        MOVF    AFTER,W
        MOVWF   NEXTH
@NEXT_BOUNDARY@@READ_PH2@@TAIL@
; The turn's end: every LED out, as late after the match as a step's images.
TURN_END
        NOP
        CLRF    PORTD
        CLRF    PORTA
        CLRF    PORTC
        CLRF    PORTB
        MOVLW   LOW IDLE
        MOVWF   NEXTH
; No step to come: a match every 32768 cycles keeps the clock counted.
IDLE
        MOVLW   0x80
        MOVWF   CCPR1L
        ADDWF   TMR1H,W
        MOVWF   CCPR1H
@TAIL@
; A waypoint on the way to a far boundary, REM cycles ahead.
WAIT
        MOVF    REM2,F
        BTFSS   STATUS,Z
        GOTO    WAIT_FAR
        MOVLW   0x80
        SUBWF   REM1,W
        BTFSS   STATUS,Z
        GOTO    WAIT_CMP
        MOVLW   0x40
        SUBWF   REM0,W
WAIT_CMP
        BTFSC   STATUS,C
        GOTO    WAIT_FAR
        ; Less than 32832 cycles: the boundary is next, at least 64 cycles on.
        MOVF    NB1,W
        MOVWF   CCPR1L
        MOVF    NB2,W
        MOVWF   CCPR1H
        CALL    NONZERO
        BCF     PIR1,CCP1IF
        MOVF    TARGETH,W
        MOVWF   NEXTH
@TAIL@WAIT_FAR
        MOVLW   0x80
        ADDWF   CCPR1H,F
        SUBWF   REM1,F
        BTFSS   STATUS,C
        DECF    REM2,F
        CALL    NONZERO
@TAIL@
        IF      WAIT > 0xFF
        ERROR   "the compare's handlers must lie in the first 256 words"
        ENDIF

PH0_LAST
        MOVLW   LOW TURN_END
        MOVWF   AFTER
@TAIL@
; A boundary more than 32832 cycles away (the phase is that long): the match after this one is
; a waypoint 32768 cycles on.
FAR
        MOVF    NEXTH,W
        MOVWF   TARGETH
        MOVLW   LOW WAIT
        MOVWF   NEXTH
        MOVF    P1,W            ; this boundary's match, NB - P ...
        SUBWF   CCPR1L,F
        MOVF    P2,W
        BTFSS   STATUS,C
        INCFSZ  P2,W
        SUBWF   CCPR1H,F
        MOVLW   0x80            ; ... and 32768 cycles on
        ADDWF   CCPR1H,F
        MOVF    P1,W
        MOVWF   REM0
        MOVF    P2,W
        MOVWF   REM1
        MOVF    P3,W
        MOVWF   REM2
        MOVLW   0x80
        SUBWF   REM1,F
        BTFSS   STATUS,C
        DECF    REM2,F
; CCPR1 never 0: gpsim's compare never matches it (the chip's does); a cycle late instead.
NONZERO
        MOVF    CCPR1L,W
        IORWF   CCPR1H,W
        BTFSC   STATUS,Z
        INCF    CCPR1L,F
        RETURN

; Timer1 overflowed: the clock's upper byte goes up. After 2^24 cycles without an edge the turn
; cannot be measured, and any edge starts one.
COUNT
        BCF     PIR1,TMR1IF
        INCFSZ  TU,F
        RETFIE
        BCF     MFLAGS,VALID
        CLRF    GUARD0
        CLRF    GUARD1
        RETFIE

NOT_COMPARE
        BTFSC   INTCON,INTF
        GOTO    EDGE
        RETFIE

; The sensor edge: the last turn's light ends, the turn is measured, and when the next can be
; shown its phases are planned and position 1 is read.
EDGE
@EDGE@        ; Less the wait for the first step and the end's allowance.
        MOVLW   LOW LATE
        SUBWF   Q0,F
        MOVLW   HIGH LATE
        BTFSS   STATUS,C
        MOVLW   HIGH LATE + 1
        SUBWF   Q1,F
        BTFSS   STATUS,C
        DECF    Q2,F
        ; A phase: Q / (3 x NPOS) in 1/256 cycles, as Q x @K@ >> @SHIFT@ (by shifts and adds).
@MULTIPLY@        ; Phases longer than 32832 cycles reach their boundaries by waypoints.
        BCF     STATE,LONG
        MOVF    P3,F
        BTFSS   STATUS,Z
        GOTO    EDGE_LONG
        MOVLW   0x80
        SUBWF   P2,W
        BTFSS   STATUS,Z
        GOTO    EDGE_PHASE
        MOVLW   0x40
        SUBWF   P1,W
EDGE_PHASE
        BTFSC   STATUS,C
EDGE_LONG
        BSF     STATE,LONG
        ; The first step at FIRST, then a boundary every phase.
        CLRF    NB0
        MOVLW   LOW FIRST
        MOVWF   NB1
        MOVWF   CCPR1L
        MOVLW   HIGH FIRST
        MOVWF   NB2
        MOVWF   CCPR1H
        CLRF    NB3
        MOVLW   LOW PH0
        MOVWF   NEXTH
        MOVLW   LOW (NPOS - 1)
        MOVWF   LEFT0
        MOVLW   HIGH (NPOS - 1)
        MOVWF   LEFT1
@CHOOSE_FRAME@        MOVF    BASEH,W
        BSF     STATUS,RP1
        MOVWF   EEADRH
        BCF     STATUS,RP1
        MOVF    BASEL,W
        BSF     STATUS,RP1
        MOVWF   EEADR
        BCF     STATUS,RP1
@READ_ALL@        BCF     PIR1,CCP1IF
        RETFIE
EDGE_DARK
        MOVLW   LOW IDLE
        MOVWF   NEXTH
        MOVLW   0x80            ; the first match 32768 cycles on
        MOVWF   CCPR1L
        MOVWF   CCPR1H
        BCF     PIR1,CCP1IF
        RETFIE

@START@
        MOVLW   LOW IDLE
        MOVWF   NEXTH
        MOVLW   LOW TABLE
        MOVWF   BASEL
        MOVLW   HIGH TABLE
        MOVWF   BASEH
@START_FRAMES@@PORTS@
        MOVLW   (1 << CCP1IE)     ; Timer1's overflows are counted by the compare's handlers
        MOVWF   PIE1
        BSF     STATUS,RP1      ; bank 3
        BSF     EECON1,EEPGD    ; reads come from program memory
        BCF     STATUS,RP0
        BCF     STATUS,RP1      ; bank 0
        MOVLW   0x80            ; the first match 32768 cycles on
        MOVWF   CCPR1L
        MOVWF   CCPR1H
@TIMER_START@
MAIN
        GOTO    MAIN

@TABLE_PLACE@TABLE
@TABLE@        END
)";

std::string Format(const char* format, auto... args) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

std::string Op(const char* mnemonic, const std::string& operand = "") {
  std::string line = Format("        %-8s", mnemonic);
  if (operand.empty()) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line + "\n";
  }
  return line + operand + "\n";
}

// The parts of the source that differ between one picture and several frames.
constexpr std::string_view kOneFrame[] = {
    // FRAMES_NOTE, NFRAMES, BASE_NOTE, FRAME_REGISTERS, RAM_END
    "", "", "the picture's (one frame) from its first word", "", "0x46",
    // CHOOSE_FRAME
    R"(        ; Position 1 of the table shown this turn. (Several frames would choose BASE here, at
        ; the edge, so that a turn never mixes two.)
)",
    // START_FRAMES
    "",
    // TABLE_PLACE
    R"(; The picture, each position on an 8-word boundary, so that only a position's last word
; carries into EEADRH.
        ORG     (($ + 7) & ~7)
)"};

constexpr std::string_view kFrames[] = {
    R"(;
; Frames: @FRAMES@ pictures of NPOS positions, each shown for its number of turns (the list
; FRAMES), then the next, after the last the first again. The frame changes only at the sensor
; edge of a turn that is shown, so that a turn never mixes two frames; a dark turn does not count.
)",
    "NFRAMES         EQU     D'@FRAMES@'\n",
    "its frame's first word",
    R"(TURNS           EQU     0x46    ; the turns the frame shown has still to show, this one's too
LISTL           EQU     0x47    ; the frame's entry in FRAMES
LISTH           EQU     0x48
)",
    "0x49",
    R"(        ; The frame shown this turn, chosen here at the edge so that a turn never mixes two:
        ; the same while its turns last, then the next, after the last the first again.
        DECFSZ  TURNS,F
        GOTO    EDGE_FRAME
        INCF    LISTL,F         ; the next frame's turns, 0 after the last frame
        BTFSC   STATUS,Z
        INCF    LISTH,F
        MOVF    LISTH,W
        BSF     STATUS,RP1
        MOVWF   EEADRH
        BCF     STATUS,RP1
        MOVF    LISTL,W
        BSF     STATUS,RP1
        MOVWF   EEADR
        BSF     STATUS,RP0
        BSF     EECON1,RD
        NOP
        NOP
        BCF     STATUS,RP0
        MOVF    EEDATA,W
        BCF     STATUS,RP1
        MOVWF   TURNS
        BTFSC   STATUS,Z
        GOTO    EDGE_FIRST_FRAME
        MOVLW   LOW (NPOS * 8)  ; its table follows the last one's
        ADDWF   BASEL,F
        BTFSC   STATUS,C
        INCF    BASEH,F
        MOVLW   HIGH (NPOS * 8)
        ADDWF   BASEH,F
        GOTO    EDGE_FRAME
EDGE_FIRST_FRAME
        MOVLW   LOW FRAMES
        MOVWF   LISTL
        MOVLW   HIGH FRAMES
        MOVWF   LISTH
        MOVLW   D'@TURNS_1@'
        MOVWF   TURNS
        MOVLW   LOW TABLE
        MOVWF   BASEL
        MOVLW   HIGH TABLE
        MOVWF   BASEH
EDGE_FRAME
        ; Position 1 of the frame's table.
)",
    R"(        MOVLW   LOW (FRAMES + NFRAMES - 1)  ; the first turn shown starts the first frame
        MOVWF   LISTL
        MOVLW   HIGH (FRAMES + NFRAMES - 1)
        MOVWF   LISTH
        MOVLW   1
        MOVWF   TURNS
)",
    R"(; Each frame's turns, in order; 0 after the last.
FRAMES
@TURNS@; The frames' pictures one after another, up to the end of program memory: each position on
; an 8-word boundary, so that only a position's last word carries into EEADRH.
        ORG     0x2000 - NFRAMES * NPOS * 8
)"};

constexpr const char* kFrameKeys[] = {"FRAMES_NOTE",     "NFRAMES",    "BASE_NOTE",
                                      "FRAME_REGISTERS", "RAM_END",    "CHOOSE_FRAME",
                                      "START_FRAMES",    "TABLE_PLACE"};

// The list FRAMES: each frame's turns, eight to a line, and 0.
std::string TurnsList(const std::vector<int32_t>& turns) {
  std::string text;
  for (size_t k = 0; k <= turns.size(); ++k) {
    text += k % 8 == 0 ? "        DW      " : ", ";
    text += k < turns.size() ? Format("D'%d'", static_cast<int>(turns[k])) : "0";
    if (k % 8 == 7 || k == turns.size()) text += "\n";
  }
  return text;
}

// Phase image t's four bytes to the ports, two cycles apart.
std::string Image(int32_t t) {
  static const char* const kPorts[] = {"PORTD", "PORTA", "PORTC", "PORTB"};
  std::string text;
  for (int32_t p = 0; p < 4; ++p) {
    text += Op("MOVF", Format("B%d,W", 4 * (t - 1) + p));
    text += Op("MOVWF", kPorts[p]);
  }
  return text;
}

constexpr std::string_view kNextBoundary =
    R"(        MOVF    P0,W            ; the next boundary, a phase later
        ADDWF   NB0,F
        MOVF    P1,W
        BTFSC   STATUS,C
        INCFSZ  P1,W
        ADDWF   NB1,F
        MOVF    P2,W
        BTFSC   STATUS,C
        INCFSZ  P2,W
        ADDWF   NB2,F
        MOVF    P3,W
        BTFSC   STATUS,C
        INCFSZ  P3,W
        ADDWF   NB3,F
        MOVF    NB1,W
        MOVWF   CCPR1L
        IORWF   NB2,W           ; a match at 0 comes a cycle late: gpsim never matches 0
        BTFSC   STATUS,Z
        INCF    CCPR1L,F
        MOVF    NB2,W
        MOVWF   CCPR1H
        BTFSC   STATE,LONG
        CALL    FAR
        BCF     PIR1,CCP1IF     ; a match between the writes was none
)";

constexpr std::string_view kTail =
    R"(        BTFSC   PIR1,TMR1IF
        GOTO    COUNT
        RETFIE
)";

// Reads table words first..last of a position into their bytes (word w into B(2w), B(2w+1)),
// advancing EEADR; after word 7 the carry goes on into EEADRH. Ends in bank 0.
std::string Read(int32_t first, int32_t last, const char* why) {
  std::string text = Format("        BSF     STATUS,RP1      ; %s\n", why);
  for (int32_t w = first; w <= last; ++w) {
    text += Op("BSF", "STATUS,RP0");
    text += Op("BSF", "EECON1,RD");
    text += Op("NOP");
    text += Op("NOP");
    text += Op("BCF", "STATUS,RP0");
    text += Op("MOVF", "EEDATA,W");
    text += Op("MOVWF", Format("B%d", 2 * w));
    text += Op("MOVF", "EEDATH,W");
    text += Op("MOVWF", Format("B%d", 2 * w + 1));
    text += Op("INCF", "EEADR,F");
    if (w == 7) {
      text += Op("BTFSC", "STATUS,Z");
      text += Op("INCF", "EEADRH,F");
    }
  }
  return text + Op("BCF", "STATUS,RP1");
}

// P3:P0 = Q2:Q0 x r.k >> r.shift: shifts and adds over k's bits from the lowest, keeping only
// the product's bytes from the second up. The cycles it takes are returned in *cycles.
std::string Multiply(const Reciprocal& r, int32_t* cycles) {
  std::string text;
  for (const char* p : {"P0", "P1", "P2", "P3"}) text += Op("CLRF", p);
  *cycles = 4;
  int32_t bit = 0;
  while ((r.k >> bit & 1) == 0) ++bit;  // shifting zeros leaves zero
  for (; bit < 16; ++bit) {
    if (r.k >> bit & 1) {
      text += Op("MOVF", "Q0,W");
      text += Op("ADDWF", "P1,F");
      text += Op("MOVF", "Q1,W");
      text += Op("BTFSC", "STATUS,C");
      text += Op("INCFSZ", "Q1,W");
      text += Op("ADDWF", "P2,F");
      text += Op("MOVF", "Q2,W");
      text += Op("BTFSC", "STATUS,C");
      text += Op("INCFSZ", "Q2,W");
      text += Op("ADDWF", "P3,F");
      *cycles += 10;
    } else {
      text += Op("BCF", "STATUS,C");
      *cycles += 1;
    }
    for (const char* p : {"RRF     P3,F", "RRF     P2,F", "RRF     P1,F", "RRF     P0,F"}) {
      text += std::string("        ") + p + "\n";
    }
    *cycles += 4;
  }
  // P3:P0 now holds the product shifted right by 8.
  int32_t rest = r.shift - 8;
  if (rest >= 8) {
    text += Op("MOVF", "P1,W");
    text += Op("MOVWF", "P0");
    text += Op("MOVF", "P2,W");
    text += Op("MOVWF", "P1");
    text += Op("MOVF", "P3,W");
    text += Op("MOVWF", "P2");
    text += Op("CLRF", "P3");
    *cycles += 7;
    rest -= 8;
    for (; rest > 0; --rest) {
      text += Op("BCF", "STATUS,C");
      for (const char* p : {"P2,F", "P1,F", "P0,F"}) text += Op("RRF", p);
      *cycles += 4;
    }
  } else {
    for (; rest > 0; --rest) {
      text += Op("BCF", "STATUS,C");
      for (const char* p : {"P3,F", "P2,F", "P1,F", "P0,F"}) text += Op("RRF", p);
      *cycles += 5;
    }
  }
  return text;
}

// The numbers the generated code is built from.
struct Plan {
  Reciprocal reciprocal;
  int32_t multiply_cycles = 0;
  std::string multiply;
  int32_t first = 0;  // cycles from the edge to the first step
  int32_t late = 0;   // first and the end's allowance
  int64_t min_q = 0;  // the least planned turn shown, with late
};

Plan MakePlan(int32_t positions, int32_t frames, const TableTiming& timing) {
  Plan plan;
  plan.reciprocal = PhaseReciprocal(positions);
  plan.multiply = Multiply(plan.reciprocal, &plan.multiply_cycles);
  plan.first = internal::kSensorLag + kEdgeFixedCycles + plan.multiply_cycles + kEdgeBounceCycles +
               (frames > 1 ? kFrameSwitchCycles : 0);
  plan.late = plan.first + kTurnEndCycles;
  // The least planned turn whose phase is min_phase cycles.
  const int64_t want = int64_t{timing.min_phase} * 256;
  int64_t lo = 0, hi = int64_t{1} << 24;
  while (lo < hi) {
    const int64_t mid = (lo + hi) / 2;
    if (PhaseOf(static_cast<uint32_t>(mid), plan.reciprocal) >= want) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  plan.min_q = lo + plan.late;
  return plan;
}

// The source with `turns` (one a frame) and the tables' text.
std::string CodeSource(int32_t positions, double mhz, const TableTiming& timing,
                       const std::vector<int32_t>& turns, const std::string& table) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  assert(mhz >= kMinMhz && mhz <= kMaxMhz);
  assert(!turns.empty());
  const auto frames = static_cast<int32_t>(turns.size());
  const Plan plan = MakePlan(positions, frames, timing);
  assert(plan.min_q < int64_t{1} << 24);
  std::string text(kTemplate);
  internal::ReplaceShared(text);
  for (size_t k = 0; k < std::size(kFrameKeys); ++k) {
    Replace(text, kFrameKeys[k], frames > 1 ? kFrames[k] : kOneFrame[k]);
  }
  if (frames > 1) {
    Replace(text, "FRAMES", std::to_string(frames));
    Replace(text, "TURNS_1", std::to_string(turns[0]));
    Replace(text, "TURNS", TurnsList(turns));
  }
  Replace(text, "HELD",
          frames > 1
              ? std::to_string(frames) + " frames of " + internal::PositionsText(positions) + " are"
              : "the picture (" + internal::PositionsText(positions) + ") is");
  Replace(text, "POSITIONS", std::to_string(positions));
  Replace(text, "MHZ", Format("%g", mhz));
  Replace(text, "OSC", mhz > 4.0 ? "_HS_OSC" : "_XT_OSC");
  Replace(text, "MINPHASE", std::to_string(timing.min_phase));
  Replace(text, "MINQ_U", Hex(plan.min_q >> 16));
  Replace(text, "MINQ_H", Hex(plan.min_q >> 8));
  Replace(text, "MINQ_L", Hex(plan.min_q));
  Replace(text, "FIRST", std::to_string(plan.first));
  Replace(text, "LATE", std::to_string(plan.late));
  Replace(text, "SENSOR_LAG", std::to_string(internal::kSensorLag));
  Replace(text, "GMIN", std::to_string(internal::MinGuard(plan.min_q, plan.first)));
  Replace(text, "EDGE_REGISTERS", internal::kEdgeRegisters);
  Replace(text, "EDGE",
          internal::EdgeSource({.leave = "RETFIE",
                                .after_guard = "        CLRF    PORTD\n"
                                               "        CLRF    PORTA\n"
                                               "        CLRF    PORTC\n"
                                               "        CLRF    PORTB\n",
                                .dark = "EDGE_DARK",
                                .table = true}));
  Replace(text, "K", std::to_string(plan.reciprocal.k));
  Replace(text, "SHIFT", std::to_string(plan.reciprocal.shift));
  Replace(text, "MULTIPLY", plan.multiply);
  for (int32_t t = 1; t <= 4; ++t) Replace(text, "IMAGE_" + std::to_string(t), Image(t));
  Replace(text, "NEXT_BOUNDARY", kNextBoundary);
  Replace(text, "TAIL", kTail);
  // The next position's words, read as their bytes fall free: 2, 3 and 3 words a phase.
  Replace(text, "READ_PH0", Read(0, 1, "the next position's image 1"));
  Replace(text, "READ_PH1", Read(2, 4, "its image 2 and half of 3"));
  Replace(text, "READ_PH2", Read(5, 7, "the rest"));
  Replace(text, "READ_ALL", Read(0, 7, "all eight words"));
  Replace(text, "TABLE", table);
  return text;
}

}  // namespace

Reciprocal PhaseReciprocal(int32_t positions) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  const uint64_t phases = 3 * static_cast<uint64_t>(positions);
  Reciprocal r;
  for (int32_t shift = 0; shift < 40; ++shift) {
    const uint64_t k = (uint64_t{256} << shift) / phases;
    if (k >= 1u << 15) {
      r.k = static_cast<uint32_t>(k);
      r.shift = shift;
      break;
    }
  }
  assert(r.k < 1u << 16 && r.shift >= 9);
  return r;
}

uint32_t PhaseOf(uint32_t q, const Reciprocal& r) {
  return static_cast<uint32_t>(uint64_t{q} * r.k >> r.shift);
}

std::vector<uint16_t> TableWords(const wheel::LedArray& led, int32_t positions) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  // IM.txt's port matrix: the same wiring, row A PORTD, B PORTB, C PORTA, D PORTC, column c for
  // bit 8 - c, positions listed from the last.
  auto w = std::make_unique<wheel::Wheel>();
  auto m = std::make_unique<imtxt::PortMatrix>();
  w->led = led;
  w->aantal_hoeken = positions;
  imtxt::BuildPortMatrix(*w, *m);
  std::vector<uint16_t> words;
  words.reserve(static_cast<size_t>(positions) * kTableWordsPerPosition);
  for (int32_t q = 1; q <= positions; ++q) {
    const int32_t j = positions + 1 - q;
    for (int32_t t = 1; t <= 4; ++t) {
      uint16_t port[4] = {};  // D, B, A, C
      for (int32_t r = 0; r < 4; ++r) {
        for (int32_t c = 1; c <= 8; ++c) {
          if (m->poorten_matriks[4 * j - 3 + r][c] >= t) port[r] |= 1u << (8 - c);
        }
      }
      words.push_back(static_cast<uint16_t>(port[0] | (port[2] & 0x0F) << 8));
      words.push_back(static_cast<uint16_t>(port[3] | (port[1] & 0x1E) << 8));
    }
  }
  return words;
}

int32_t CountProgramWords(const std::string& source) {
  static const char* const kMnemonics[] = {
      "ADDWF", "ANDWF", "CLRF",   "CLRW",  "COMF",   "DECF",  "DECFSZ", "INCF",   "INCFSZ",
      "IORWF", "MOVF",  "MOVWF",  "NOP",   "RLF",    "RRF",   "SUBWF",  "SWAPF",  "XORWF",
      "BCF",   "BSF",   "BTFSC",  "BTFSS", "ADDLW",  "ANDLW", "CALL",   "CLRWDT", "GOTO",
      "IORLW", "MOVLW", "RETFIE", "RETLW", "RETURN", "SLEEP", "SUBLW",  "XORLW"};
  int32_t words = 0;
  std::istringstream in(source);
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find(';'));
    std::istringstream fields(line);
    std::string first;
    // A label stands in the first column; the statement follows it.
    if (!line.empty() && line[0] != ' ' && line[0] != '\t' && !(fields >> first)) continue;
    std::string op;
    if (!(fields >> op)) continue;
    if (op == "DW") {
      std::string values;
      std::getline(fields, values);
      words += 1 + static_cast<int32_t>(std::count(values.begin(), values.end(), ','));
      continue;
    }
    for (const char* m : kMnemonics) {
      if (op == m) ++words;
    }
  }
  return words;
}

int32_t TableFirmwareWords(int32_t positions, int32_t frames) {
  assert(frames >= 1);
  return CountProgramWords(CodeSource(positions, kDefaultMhz, {},
                                      std::vector<int32_t>(static_cast<size_t>(frames), 1), "")) +
         frames * positions * kTableWordsPerPosition;
}

int32_t TableFramesFit(int32_t positions) {
  // Each frame beyond takes its table and its entry in the list.
  const int32_t per_frame = positions * kTableWordsPerPosition + 1;
  const int32_t two = TableFirmwareWords(positions, 2);
  return two > kProgramWords ? 1 : 2 + (kProgramWords - two) / per_frame;
}

int32_t TablePositionsFit(int32_t frames) {
  assert(frames >= 1);
  if (frames == 1) return wheel::kMaxPositions;
  // The code's words change with N (the multiplication), so every N is tried from the top; no N
  // above the tables alone fits.
  int32_t n = std::min(wheel::kMaxPositions, kProgramWords / (frames * kTableWordsPerPosition));
  while (n > 0 && TableFirmwareWords(n, frames) > kProgramWords) --n;
  return n;
}

int64_t TableMinTurnCycles(int32_t positions, int32_t frames, const TableTiming& timing) {
  const Plan plan = MakePlan(positions, frames, timing);
  const int64_t min_q = plan.min_q;
  const int64_t gmin = internal::MinGuard(min_q, plan.first);
  // The least steady turn t whose plan, t less its 1/1024 share, reaches min_q.
  int64_t t = min_q + min_q / 1023;
  while (internal::PlannedTurn(t - 1, 0, true, gmin) >= min_q) --t;
  while (internal::PlannedTurn(t, 0, true, gmin) < min_q) ++t;
  return t;
}

double TableTopSpeed(int32_t positions, double mhz, int32_t frames, const TableTiming& timing) {
  return mhz * 1e6 / 4 / static_cast<double>(TableMinTurnCycles(positions, frames, timing));
}

int32_t TablePositionsFor(double turns_per_second, double mhz, int32_t frames) {
  // The top speed falls as positions grow.
  int32_t lo = 0, hi = wheel::kMaxPositions;
  while (lo < hi) {
    const int32_t mid = (lo + hi + 1) / 2;
    if (TableTopSpeed(mid, mhz, frames) >= turns_per_second) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return lo;
}

std::string TableFirmware(const std::vector<TableFrame>& frames, int32_t positions, double mhz,
                          const TableTiming& timing) {
  assert(!frames.empty());
  std::string table;
  std::vector<int32_t> turns;
  for (size_t f = 0; f < frames.size(); ++f) {
    assert(frames[f].turns >= 1 && frames[f].turns <= kMaxFrameTurns);
    turns.push_back(frames[f].turns);
    if (frames.size() > 1) table += Format("; frame %d\n", static_cast<int>(f + 1));
    const std::vector<uint16_t> words = TableWords(*frames[f].led, positions);
    for (int32_t q = 0; q < positions; ++q) {
      table += "        DW      ";
      for (int32_t w = 0; w < kTableWordsPerPosition; ++w) {
        table += Format(w == 0 ? "0x%04X" : ", 0x%04X", words[q * kTableWordsPerPosition + w]);
      }
      table += Format("  ; %d\n", static_cast<int>(q + 1));
    }
  }
  return CodeSource(positions, mhz, timing, turns, table);
}

std::string TableFirmware(const wheel::LedArray& led, int32_t positions, double mhz,
                          const TableTiming& timing) {
  return TableFirmware(std::vector<TableFrame>{{&led, 1}}, positions, mhz, timing);
}

}  // namespace firmware
