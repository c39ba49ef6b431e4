// The picture: a client-side raster of 32-bit pixels and the primitives that draw into it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace window {

// A pixel rectangle with inclusive edges; empty when x0 > x1 or y0 > y1. The 64-bit fields let
// boxes formed from any 32-bit coordinates be held without overflow.
struct Box {
  int64_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;

  bool Empty() const { return x0 > x1 || y0 > y1; }
  // The smallest box holding both (an empty box adds nothing).
  Box Union(const Box& o) const;
  Box Intersect(const Box& o) const;
  bool operator==(const Box&) const = default;
};

// Pixels are 0x00RRGGBB, rows top to bottom, no padding.
class Picture {
 public:
  Picture() = default;
  // REQUIRES: w, h >= 0.
  Picture(int32_t w, int32_t h, uint32_t fill = 0);

  int32_t width() const { return w_; }
  int32_t height() const { return h_; }
  Box Bounds() const { return Box{0, 0, w_ - 1, h_ - 1}; }
  const uint32_t* data() const { return px_.data(); }
  uint32_t* data() { return px_.data(); }
  // REQUIRES: the pixel lies inside the picture.
  uint32_t At(int32_t x, int32_t y) const { return px_[size_t(y) * size_t(w_) + size_t(x)]; }
  uint32_t* Row(int64_t y) { return px_.data() + size_t(y) * size_t(w_); }

 private:
  int32_t w_ = 0, h_ = 0;
  std::vector<uint32_t> px_;
};

// Outline styles: solid, dashed, dotted, dash-dot, dash-dot-dot, none.
constexpr uint32_t kStyleSolid = 0;
constexpr uint32_t kStyleDash = 1;
constexpr uint32_t kStyleDot = 2;
constexpr uint32_t kStyleDashDot = 3;
constexpr uint32_t kStyleDashDotDot = 4;
constexpr uint32_t kStyleNone = 5;

// Hatch numbers of the standard fill patterns; kHatchSolid is a plain fill.
constexpr uint32_t kHatchHoriz = 0;
constexpr uint32_t kHatchVert = 1;
constexpr uint32_t kHatchFall = 2;   // falls from left to right
constexpr uint32_t kHatchRise = 3;   // rises from left to right
constexpr uint32_t kHatchCross = 4;  // horizontal and vertical
constexpr uint32_t kHatchDiagCross = 5;
constexpr uint32_t kHatchSolid = 8;

// A 1-pixel outline. Gaps of a styled line take the background colour when opaque is set and
// are left alone otherwise; kStyleNone draws nothing. An unknown style draws solid.
struct Pen {
  uint32_t style = kStyleSolid;
  uint32_t colour = 0;
  uint32_t background = 0;
  bool opaque = true;
};

// How a filled shape paints its inside. Patterns are 8 x 8 and aligned on the picture's origin.
// Hatch: lines in colour, the rest in background when opaque, else untouched; an unknown hatch
// number fills solid. Mask: row y & 7 is mask[y & 7], the leftmost pixel its top bit; set bits
// take colour and clear bits background, whatever the mix.
struct Brush {
  enum class Kind { kSolid, kHatch, kMask };
  Kind kind = Kind::kSolid;
  uint32_t hatch = kHatchSolid;
  std::array<uint8_t, 8> mask{};
  uint32_t colour = 0;
  uint32_t background = 0;
  bool opaque = true;
};

// Each primitive clips once against the picture and returns the box of pixels it may have
// changed (empty when it lies wholly outside). Edges are inclusive: box (l, t, r, b) covers
// columns l..r and rows t..b; an inverted box is normalised first.
Box FillRect(Picture& p, Box box, const Brush& brush);
Box FrameRect(Picture& p, Box box, const Pen& pen);
// The ellipse inscribed in box; its outline is exactly the edge of its fill, so a frame drawn
// over a fill of the same box rims it without a gap.
Box FillEllipse(Picture& p, Box box, const Brush& brush);
Box FrameEllipse(Picture& p, Box box, const Pen& pen);
// XORs the box with white.
Box InvertRect(Picture& p, Box box);
// Draws text in character cells from (x, y), the top-left corner of the first cell. With
// opaque set every cell is first filled with background.
Box DrawText(Picture& p, int64_t x, int64_t y, std::string_view text, uint32_t colour,
             uint32_t background, bool opaque);

}  // namespace window
