// The wheel's geometry in ring pitches, as the editor draws it, and the sRGB transfer function;
// shared by the import and the renderings.
#pragma once

#include <cstdint>

namespace imaging {

// Ring i (0..23, LED i + 1) lies at radius 3 + i and covers radii [2.5 + i, 3.5 + i].
constexpr double kWheelEdge = 26.5;
constexpr double RingRadius(int32_t ring) { return 3.0 + ring; }
constexpr double RingInner(int32_t ring) { return 2.5 + ring; }

// The editor's LED: radius 3 pixels on a ring pitch of 10.
constexpr double kLedRadius = 0.3;

// sRGB encoding of light in 0..1, both ways.
double SrgbToLinear(double v);
double LinearToSrgb(double v);

}  // namespace imaging
