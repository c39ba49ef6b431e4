// What both layouts of the reference firmware share in their assembler templates: the wiring
// note, the start-up's pieces, and the filling in of the template's @NAME@ markers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace firmware::internal {

// Each text below stands in a template as a marker on a line of its own (@WIRING@ for
// kWiringNote, and so on), so it ends without a line end.

// The header's wiring and crystal; it holds the marker @MHZ@, so it goes in before that one.
constexpr std::string_view kWiringNote =
    R"(; Wiring: LEDs 1-8 on RD0-RD7, LED 9 on RB4, LEDs 10-12 on RB1-RB3, LEDs 13-16 on RA0-RA3,
; LEDs 17-24 on RC0-RC7, each lit by a high pin. The sensor (Hall sensor or reed switch) pulls
; RB0/INT to ground once per turn, as the spoke passes position 1; weak pull-ups hold it high.
; Crystal @MHZ@ MHz.)";

// The label START: every LED off, and the bank 0 state from 0x20 up to RAM_END cleared.
constexpr std::string_view kStart =
    R"(START
        CLRF    STATUS
        CLRF    PORTA           ; every LED off
        CLRF    PORTB
        CLRF    PORTC
        CLRF    PORTD
        MOVLW   0x20            ; clear the state
        MOVWF   FSR
START_CLEAR
        CLRF    INDF
        INCF    FSR,F
        MOVLW   RAM_END
        XORWF   FSR,W
        BTFSS   STATUS,Z
        GOTO    START_CLEAR)";

// From bank 0 to bank 1: the pins of the wiring, the sensor's pull-up and edge.
constexpr std::string_view kPorts =
    R"(        BSF     STATUS,RP0      ; bank 1
        MOVLW   B'00000110'     ; PORTA digital
        MOVWF   ADCON1
        MOVLW   B'00000111'     ; comparators off
        MOVWF   CMCON
        MOVLW   B'11110000'     ; RA0-RA3: LEDs 13-16
        MOVWF   TRISA
        MOVLW   B'11100001'     ; RB1-RB4: LEDs 10, 11, 12, 9; RB0: the sensor
        MOVWF   TRISB
        CLRF    TRISC           ; LEDs 17-24
        CLRF    TRISD           ; LEDs 1-8
        MOVLW   B'00001000'     ; weak pull-ups on, INT on the falling edge
        MOVWF   OPTION_REG)";

// In bank 0: CCP1's compare and Timer1 started, the interrupts on.
constexpr std::string_view kTimerStart =
    R"(        MOVLW   B'00001010'     ; CCP1 compare: an interrupt only, RC2 stays an LED
        MOVWF   CCP1CON
        CLRF    TMR1L
        CLRF    TMR1H
        MOVLW   B'00000001'     ; Timer1 on the instruction clock
        MOVWF   T1CON
        CLRF    PIR1
        MOVLW   (1 << GIE) | (1 << PEIE) | (1 << INTE)
        MOVWF   INTCON)";

// Puts value wherever @key@ stands in text.
inline void Replace(std::string& text, std::string_view key, std::string_view value) {
  const std::string marker = "@" + std::string(key) + "@";
  for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
    text.replace(at, marker.size(), value);
    at += value.size();
  }
}

// The shared texts in text, before any marker they hold is filled in.
inline void ReplaceShared(std::string& text) {
  Replace(text, "WIRING", kWiringNote);
  Replace(text, "START", kStart);
  Replace(text, "PORTS", kPorts);
  Replace(text, "TIMER_START", kTimerStart);
}

// "1 position", "48 positions".
inline std::string PositionsText(int32_t n) {
  return std::to_string(n) + (n == 1 ? " position" : " positions");
}

// v's low byte as an assembler literal: 0x0A.
inline std::string Hex(int64_t v) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", static_cast<unsigned>(v & 0xFF));
  return buffer;
}

}  // namespace firmware::internal
