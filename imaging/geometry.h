// The wheel's geometry in ring pitches, as the editor draws it, and the sRGB transfer function;
// shared by the import and the renderings.
#pragma once

#include <cstdint>

#include "imaging/imaging.h"

namespace imaging {

// Ring i (0..23, LED i + 1) lies at radius 3 + i and covers radii [2.5 + i, 3.5 + i].
constexpr double kWheelEdge = 26.5;
constexpr double RingRadius(int32_t ring) { return 3.0 + ring; }
constexpr double RingInner(int32_t ring) { return 2.5 + ring; }

// The editor's LED: radius 3 pixels on a ring pitch of 10.
constexpr double kLedRadius = 0.3;

// The import samples each ring at kRadialSamples radii, kSampleSpacing pitches apart.
constexpr int32_t kRadialSamples = 16;
constexpr double kSampleSpacing = 1.0 / kRadialSamples;

// Ring pitches per pixel of a width x height picture imported with this fit.
double PitchPerPixel(int64_t width, int64_t height, Fit fit);
// How many pixels across the import averages into one before it samples (at least 1): its
// reduced pixels are at least a sample spacing wide, so no pixel falls between samples. A
// picture decoded reduced by a divisor of this gives the import the same light.
int32_t ImportBlock(int64_t width, int64_t height, Fit fit);

// sRGB encoding of light in 0..1, both ways.
double SrgbToLinear(double v);
double LinearToSrgb(double v);

}  // namespace imaging
