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
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> indices;  // row by row, width x height
  int32_t transparent = -1;      // -1: none
  int32_t disposal = 0;
  int32_t delay_cs = 0;
  bool control = true;                  // with a graphic control extension
  bool interlaced = false;              // rows stored in the four passes' order
  std::vector<uint32_t> local_colours;  // RRGGBB; empty: the global table
};

// A GIF of the given canvas and frames, with the global colour table `colours` (RRGGBB, up to
// 256; empty: none). The LZW data is plain: literal codes, a clear code before the table grows.
std::vector<uint8_t> MakeGif(int32_t width, int32_t height, const std::vector<uint32_t>& colours,
                             const std::vector<GifFrame>& frames);

struct ApngFrame {
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t delay_numerator = 0;
  uint16_t delay_denominator = 0;
  uint8_t dispose = 0;
  uint8_t blend = 0;
  Image image;  // the frame's own PNG, rebuilt from its chunks and decoded
};

struct Apng {
  uint32_t plays = 0;
  std::vector<ApngFrame> frames;
  Image default_image;  // what a viewer without animation shows
};

// Reads an animated PNG strictly: every CRC, the sequence numbers counting from 0 through the
// frame chunks, acTL before the image data and its count matching the frames. On failure returns
// false with what was wrong in *error.
bool ReadApng(std::span<const uint8_t> bytes, Apng* out, std::string* error);

}  // namespace imaging::testing
