// The window's text font: a fixed-width bitmap font of printable ASCII.
#pragma once

#include <array>
#include <cstdint>

namespace window::font {

constexpr int kCellWidth = 7;  // also the widest character
constexpr int kCellHeight = 13;
constexpr int kDescent = 3;  // rows below the baseline

// One character cell: row r (0 = top) has column c (0 = left) set when bit (kCellWidth - 1 - c)
// of rows[r] is set. Characters outside printable ASCII draw as a hollow box; the blank draws
// nothing.
using Cell = std::array<uint8_t, kCellHeight>;
const Cell& Glyph(unsigned char c);

}  // namespace window::font
