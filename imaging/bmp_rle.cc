// Run-length encoded BMP (4 and 8 bits a pixel, with a palette), which stb does not read.
#include <algorithm>

#include "imaging/decoders.h"

namespace imaging::decoders {
namespace {

uint32_t Le16(std::span<const uint8_t> b, size_t at) { return b[at] | (uint32_t{b[at + 1]} << 8); }
uint32_t Le32(std::span<const uint8_t> b, size_t at) {
  return Le16(b, at) | (Le16(b, at + 2) << 16);
}

}  // namespace

bool DecodeBmpRle(std::span<const uint8_t> b, const Request&, Image* out, std::string* error) {
  auto damaged = [error](const std::string& reason) {
    *error = Damaged("BMP", reason);
    return false;
  };
  const uint32_t header = Le32(b, 14);
  const auto width = static_cast<int32_t>(Le32(b, 18));
  const auto signed_height = static_cast<int32_t>(Le32(b, 22));
  const uint32_t depth = Le16(b, 28);
  const uint32_t compression = Le32(b, 30);
  const uint32_t expected_depth = compression == 1 ? 8 : 4;
  if (depth != expected_depth) {
    return damaged("RLE" + std::to_string(expected_depth) + " of " + std::to_string(depth) +
                   " bits a pixel");
  }
  if (width <= 0 || signed_height == 0 || signed_height == INT32_MIN) return damaged("no pixels");
  const int32_t height = std::abs(signed_height);
  // The palette: blue, green, red and a spare byte an entry, after the headers.
  const uint32_t used = b.size() >= 50 ? Le32(b, 46) : 0;
  const uint32_t colours = used == 0 || used > (1u << depth) ? 1u << depth : used;
  const size_t palette = 14 + static_cast<size_t>(header);
  if (header < 40 || header > b.size() || palette + 4 * colours > b.size()) {
    return damaged("palette missing");
  }
  const size_t offset = Le32(b, 10);
  if (offset >= b.size()) return damaged("pixel data missing");
  if (!Allocate(width, height, out, error)) return false;
  // Pixels the codes skip stay transparent.
  std::fill(out->rgba.begin(), out->rgba.end(), 0);

  int32_t x = 0, y = 0;  // y counts from the first row stored: the bottom one, as a rule
  auto put = [&](uint32_t index) {
    if (x < width && y < height) {
      const int32_t row = signed_height > 0 ? height - 1 - y : y;
      uint8_t* p = &out->rgba[(static_cast<size_t>(row) * width + x) * 4];
      if (index < colours) {
        const uint8_t* entry = &b[palette + 4 * index];
        p[0] = entry[2], p[1] = entry[1], p[2] = entry[0];
      }
      p[3] = 255;  // an index past the palette is black
    }
    ++x;
  };
  size_t at = offset;
  while (y < height) {
    if (at + 2 > b.size()) return damaged("pixel data cut short");
    const uint32_t count = b[at], code = b[at + 1];
    at += 2;
    if (count > 0) {  // a run: one index, or two alternating for 4 bits a pixel
      for (uint32_t k = 0; k < count; ++k) {
        put(depth == 8 ? code : (k % 2 == 0 ? code >> 4 : code & 15));
      }
    } else if (code == 0) {  // end of the row
      x = 0;
      ++y;
    } else if (code == 1) {  // end of the picture
      break;
    } else if (code == 2) {  // move right and up
      if (at + 2 > b.size()) return damaged("pixel data cut short");
      x += b[at];
      y += b[at + 1];
      at += 2;
    } else {  // `code` indices as they are, padded to whole 16-bit words
      const size_t data = depth == 8 ? code : (code + 1) / 2;
      if (at + data > b.size()) return damaged("pixel data cut short");
      for (uint32_t k = 0; k < code; ++k) {
        put(depth == 8 ? b[at + k] : (k % 2 == 0 ? b[at + k / 2] >> 4 : b[at + k / 2] & 15));
      }
      at += (data + 1) / 2 * 2;
    }
  }
  return true;
}

}  // namespace imaging::decoders
