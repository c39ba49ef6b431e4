// Graph: one graphics window, its picture and the drawing operations on it.
#pragma once

#include <cstdint>
#include <string_view>

namespace Graph {

// Module start: registers the termination procedure, creates the picture lock, takes the
// display's colour count. Runs once; later calls do nothing.
void Start();

// Opens the window with its top-left corner at (x, y) and outer size w by h. Returns true once
// the window is up; on failure writes the message to standard error and returns false.
// Main thread only.
bool Init(uint32_t x, uint32_t y, uint32_t w, uint32_t h);

// Drawing operations hand one command to the drawing server and return without waiting for it
// to be drawn. Colours are palette indices modulo 256. Main thread only.
void Ellipse(uint32_t x, uint32_t y, uint32_t a, uint32_t b, uint32_t colour, bool fill);
void Circle(uint32_t x, uint32_t y, uint32_t r, uint32_t colour);
void Disc(uint32_t x, uint32_t y, uint32_t r, uint32_t colour);
void Rectangle(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t colour, bool fill);
// Draws the text up to its first NUL, at most 257 characters, top-left corner at (x, y).
void RawOutText(uint32_t x, uint32_t y, uint32_t colour, std::string_view text);

}  // namespace Graph
