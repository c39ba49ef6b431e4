// Test helpers for moving pictures: GIFs made to order, and animated PNGs read back chunk by
// chunk. Shared by the imaging and command-line tests.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/imaging.h"

namespace imaging::testing {

struct GifFrame {
  int32_t x = 0, y = 0, width = 0, height = 0;
  std::vector<uint8_t> indices;  // row by row
  int32_t transparent = -1;      // -1: none
  int32_t disposal = 0;
  int32_t delay_cs = 0;
  bool control = true;                  // with a graphic control extension
  bool interlaced = false;              // rows stored in the four passes' order
  std::vector<uint32_t> local_colours;  // RRGGBB; empty: the global table
};

// A GIF of the canvas and frames, with the global colour table `colours` (RRGGBB, up to 256;
// empty: none). Its LZW data is plain: literal codes, a clear code before the codes would widen.
std::vector<uint8_t> MakeGif(int32_t width, int32_t height, const std::vector<uint32_t>& colours,
                             const std::vector<GifFrame>& frames);

struct ApngFrame {
  uint16_t delay_numerator = 0, delay_denominator = 0;
  uint8_t dispose = 0, blend = 0;
  Image image;  // the frame's own PNG, rebuilt from its chunks and decoded
};

// Reads an animated PNG strictly: every CRC, sequence numbers counting from 0 through fcTL and
// fdAT, acTL before the image data and its count matching the frames, each frame whole. On
// failure returns false with what was wrong in *error.
bool ReadApng(std::span<const uint8_t> bytes, std::vector<ApngFrame>* frames, uint32_t* plays,
              std::string* error);

}  // namespace imaging::testing
