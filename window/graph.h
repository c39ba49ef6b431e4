// Graph: one graphics window, its picture and the drawing operations on it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "window/backend.h"
#include "window/picture.h"

namespace Graph {

// Written by the module, read by callers. Width and Depth: the outer size given to Init, also
// the picture's size. Columns and Rows: text cells across and down. NumPColor: colours the
// display can show (saturated to 32 bits).
extern uint32_t Width;
extern uint32_t Depth;
extern uint32_t Columns;
extern uint32_t Rows;
extern uint32_t NumPColor;

// Outline styles (the rasterizer's numbers under their public names).
constexpr uint32_t LNSTYLE_SOLID = window::kStyleSolid;
constexpr uint32_t LNSTYLE_SHORTDASH = window::kStyleDash;
constexpr uint32_t LNSTYLE_DOT = window::kStyleDot;
constexpr uint32_t LNSTYLE_DASHDOT = window::kStyleDashDot;
constexpr uint32_t LNSTYLE_DASHDOUBLEDOT = window::kStyleDashDotDot;
constexpr uint32_t LNSTYLE_INVISIBLE = window::kStyleNone;

// Standard fill patterns. Solid is 8, not 6: callers rely on it.
constexpr uint32_t PATSYM_HORIZ = window::kHatchHoriz;
constexpr uint32_t PATSYM_VERT = window::kHatchVert;
constexpr uint32_t PATSYM_DIAG2 = window::kHatchFall;
constexpr uint32_t PATSYM_DIAG1 = window::kHatchRise;
constexpr uint32_t PATSYM_DENSE2 = window::kHatchCross;
constexpr uint32_t PATSYM_DENSE1 = window::kHatchDiagCross;
constexpr uint32_t PATSYM_SOLID = window::kHatchSolid;
static_assert(PATSYM_SOLID == 8 && LNSTYLE_INVISIBLE == 5);

// Raster operations for image transfer; no operation of the program transfers images.
constexpr uint32_t GPSET = 13369376;   // _GPSET
constexpr uint32_t GPRESET = 4457256;  // _GPRESET
constexpr uint32_t GAND = 8913094;     // _GAND
constexpr uint32_t GOR = 15597702;     // _GOR
constexpr uint32_t GXOR = 6684742;     // _GXOR

// Module start: registers the termination procedure, prepares the platform for threads, takes
// the display's colour count. Runs once; later calls do nothing.
void Start();

// The room a window has on the screen the program runs on: the work area a window manager
// leaves free of its panels, else the whole screen, in pixels. False without a display. Asks
// the display afresh; main thread only.
bool WindowRoom(uint32_t* width, uint32_t* height);

// Opens the window with its top-left corner at (x, y) and outer size w by h. Returns true once
// the window is up; on failure writes the message to standard error and returns false. A
// second call is refused. Main thread only; may raise the console break while it waits.
bool Init(uint32_t x, uint32_t y, uint32_t w, uint32_t h);

// Drawing operations hand one command to the drawing server and return without waiting for it
// to be drawn. Colours are palette indices modulo 256. Main thread only.
void Ellipse(uint32_t x, uint32_t y, uint32_t a, uint32_t b, uint32_t colour, bool fill);
void Circle(uint32_t x, uint32_t y, uint32_t r, uint32_t colour);
void Disc(uint32_t x, uint32_t y, uint32_t r, uint32_t colour);
void Rectangle(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t colour, bool fill);
// Draws the text up to its first NUL, at most 257 characters, top-left corner at (x, y).
void RawOutText(uint32_t x, uint32_t y, uint32_t colour, std::string_view text);

// The 16-colour standard palette.
void InitStdPalette();
// Installs the first 1024 entries (0x00RRGGBB) and returns 0; returns -1 and changes nothing
// when the palette has more entries than NumPColor, or none.
int32_t RemapAllPalette(std::span<const uint32_t> palette);
void SetLineStyle(uint32_t style);
// Opaque: text cells, hatch gaps and gaps of styled outlines take the background colour.
void SetBkMix(bool opaque);
// Returns the previous background colour.
uint32_t SetBkColor(uint32_t colour);
// Mode 0: the whole picture in the background colour; mode 2: the text window; others nothing.
void ClearScreen(uint32_t mode);
void SetStdFillMask(uint32_t n);
// Clamped to the cells on screen; moves the cursor to the window's top-left cell.
void SetTextWindow(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2);
void SetTextPosition(uint32_t column, uint32_t row);
// Shows or hides the text cursor (an inverted cell); returns the previous setting.
bool DisplayCursor(bool on);
uint32_t GetStdFillMask();
// Fill pattern from 8 rows of 8 bits: set bits take the shape's colour, clear bits the
// background colour.
void SetFillMask(const std::array<uint8_t, 8>& mask);
// Takes the window away and ends the window thread, if the window exists.
void Exit();

// For ledwheel edit; the program without arguments uses none of these. Main thread only.
// The style of the window the next Init opens (before Init). An interactive window shows no
// failure message itself: Failure() gives it.
void SetStyle(window::WindowStyle style);
std::string Failure();
// A picture of width by height pixels (0x00RRGGBB) that the window shows wherever the drawing
// is black, from Init on (before Init); ShowUnder turns it on and off in order with the drawing.
void SetUnder(std::vector<uint32_t> pixels, int32_t width, int32_t height);
void ShowUnder(bool on);

}  // namespace Graph
