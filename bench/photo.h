// A photograph stand-in for the picture benchmarks: colour gradients with a fine texture and
// rings, so its PNG is of a photograph's size and the decoder has real work.
#pragma once

#include <cstdint>

#include "imaging/imaging.h"

namespace bench {

imaging::Image Photo(int32_t side);
imaging::Image Photo(int32_t width, int32_t height);

}  // namespace bench
