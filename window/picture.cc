// The picture's rasterizer: rectangles, ellipses, styled outlines, patterns, text, inversion.
#include "window/picture.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>

#include "window/font.h"

namespace window {

Box Box::Union(const Box& o) const {
  if (Empty()) return o;
  if (o.Empty()) return *this;
  return Box{std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
}

Box Box::Intersect(const Box& o) const {
  Box r{std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  return r.Empty() ? Box{} : r;
}

Picture::Picture(int32_t w, int32_t h, uint32_t fill)
    : w_(w), h_(h), px_(size_t(w) * size_t(h), fill) {}

namespace {

Box Normalise(Box b) {
  if (b.x0 > b.x1) std::swap(b.x0, b.x1);
  if (b.y0 > b.y1) std::swap(b.y0, b.y1);
  return b;
}

// On and off runs of each outline style, starting with an on run.
std::span<const int64_t> StyleRuns(uint32_t style) {
  static constexpr int64_t kDash[] = {18, 6};
  static constexpr int64_t kDot[] = {3, 3};
  static constexpr int64_t kDashDot[] = {9, 6, 3, 6};
  static constexpr int64_t kDashDotDot[] = {9, 3, 3, 3, 3, 3};
  switch (style) {
    case kStyleDash:
      return kDash;
    case kStyleDot:
      return kDot;
    case kStyleDashDot:
      return kDashDot;
    case kStyleDashDotDot:
      return kDashDotDot;
    default:
      return {};
  }
}

// Whether the pixel at distance `phase` along a styled outline is on.
bool StyleOn(std::span<const int64_t> runs, int64_t phase) {
  if (runs.empty()) return true;
  int64_t period = 0;
  for (int64_t r : runs) period += r;
  phase %= period;
  for (size_t i = 0; i < runs.size(); ++i) {
    if (phase < runs[i]) return i % 2 == 0;
    phase -= runs[i];
  }
  return true;
}

// Paints one outline pixel; (x, y) must lie inside the picture.
inline void PenPixel(Picture& p, const Pen& pen, std::span<const int64_t> runs, int64_t x,
                     int64_t y, int64_t phase) {
  if (StyleOn(runs, phase)) {
    p.Row(y)[x] = pen.colour;
  } else if (pen.opaque) {
    p.Row(y)[x] = pen.background;
  }
}

bool HatchOn(uint32_t hatch, int64_t x, int64_t y) {
  const int64_t hx = x & 7, hy = y & 7;
  switch (hatch) {
    case kHatchHoriz:
      return hy == 0;
    case kHatchVert:
      return hx == 0;
    case kHatchFall:
      return hx == hy;
    case kHatchRise:
      return hx + hy == 7;
    case kHatchCross:
      return hx == 0 || hy == 0;
    case kHatchDiagCross:
      return hx == hy || hx + hy == 7;
    default:
      return true;
  }
}

bool IsPlainFill(const Brush& b) {
  if (b.kind == Brush::Kind::kSolid) return true;
  if (b.kind == Brush::Kind::kHatch) return b.hatch > kHatchDiagCross;
  return false;
}

// Paints columns x0..x1 of row y with the brush. REQUIRES: the span lies inside the picture.
void BrushSpan(Picture& p, const Brush& b, int64_t y, int64_t x0, int64_t x1) {
  uint32_t* row = p.Row(y);
  if (IsPlainFill(b)) {
    std::fill(row + x0, row + x1 + 1, b.colour);
    return;
  }
  if (b.kind == Brush::Kind::kMask) {
    const uint8_t bits = b.mask[size_t(y & 7)];
    for (int64_t x = x0; x <= x1; ++x) {
      row[x] = (bits & (0x80u >> (x & 7))) ? b.colour : b.background;
    }
    return;
  }
  for (int64_t x = x0; x <= x1; ++x) {
    if (HatchOn(b.hatch, x, y)) {
      row[x] = b.colour;
    } else if (b.opaque) {
      row[x] = b.background;
    }
  }
}

// The ellipse inscribed in a normalised box, one row at a time. In doubled coordinates the
// centre is (l + r, t + b) and the semi-axes are r - l + 1 and b - t + 1: a pixel is inside
// when its centre lies inside that ellipse, which keeps every span within the box.
class EllipseRows {
 public:
  explicit EllipseRows(const Box& b)
      : box_(b),
        sum_x_(b.x0 + b.x1),
        sum_y_(b.y0 + b.y1),
        ax_(double(b.x1 - b.x0 + 1)),
        by_(double(b.y1 - b.y0 + 1)) {}

  // Columns of row y inside the ellipse; false when the row has none.
  bool Span(int64_t y, int64_t* x0, int64_t* x1) const {
    if (y < box_.y0 || y > box_.y1) return false;
    const double v = double(2 * y - sum_y_) / by_;
    const double w = ax_ * std::sqrt(std::max(0.0, 1.0 - v * v));
    *x0 = std::max(box_.x0, int64_t(std::ceil((double(sum_x_) - w) / 2)));
    *x1 = std::min(box_.x1, int64_t(std::floor((double(sum_x_) + w) / 2)));
    return *x0 <= *x1;
  }

  // Angle of a pixel around the centre, counter-clockwise on screen from 3 o'clock, 0..2 pi.
  double Angle(int64_t x, int64_t y) const {
    double a = std::atan2(-double(2 * y - sum_y_) / by_, double(2 * x - sum_x_) / ax_);
    return a < 0 ? a + 2 * std::numbers::pi : a;
  }

 private:
  Box box_;
  int64_t sum_x_, sum_y_;
  double ax_, by_;
};

}  // namespace

Box FillRect(Picture& p, Box box, const Brush& brush) {
  const Box c = Normalise(box).Intersect(p.Bounds());
  for (int64_t y = c.y0; y <= c.y1; ++y) BrushSpan(p, brush, y, c.x0, c.x1);
  return c;
}

Box FrameRect(Picture& p, Box box, const Pen& pen) {
  if (pen.style == kStyleNone) return Box{};
  const Box b = Normalise(box);
  const Box clip = p.Bounds();
  const Box touched = b.Intersect(clip);
  if (touched.Empty()) return touched;
  const auto runs = StyleRuns(pen.style);
  const int64_t w = b.x1 - b.x0 + 1, h = b.y1 - b.y0 + 1;
  // Clockwise from the top-left corner, so a dash pattern runs on round the corners.
  auto horizontal = [&](int64_t y, int64_t from, int64_t to, int64_t phase0) {
    if (y < clip.y0 || y > clip.y1) return;
    const int64_t step = from <= to ? 1 : -1;
    const int64_t lo = std::max(std::min(from, to), clip.x0);
    const int64_t hi = std::min(std::max(from, to), clip.x1);
    for (int64_t x = lo; x <= hi; ++x) PenPixel(p, pen, runs, x, y, phase0 + (x - from) * step);
  };
  auto vertical = [&](int64_t x, int64_t from, int64_t to, int64_t phase0) {
    if (x < clip.x0 || x > clip.x1) return;
    const int64_t step = from <= to ? 1 : -1;
    const int64_t lo = std::max(std::min(from, to), clip.y0);
    const int64_t hi = std::min(std::max(from, to), clip.y1);
    for (int64_t y = lo; y <= hi; ++y) PenPixel(p, pen, runs, x, y, phase0 + (y - from) * step);
  };
  horizontal(b.y0, b.x0, b.x1, 0);
  if (h > 1) vertical(b.x1, b.y0 + 1, b.y1, w);
  if (h > 1 && w > 1) horizontal(b.y1, b.x1 - 1, b.x0, w + h - 1);
  if (h > 2 && w > 1) vertical(b.x0, b.y1 - 1, b.y0 + 1, 2 * w + h - 2);
  return touched;
}

Box FillEllipse(Picture& p, Box box, const Brush& brush) {
  const Box b = Normalise(box);
  const Box c = b.Intersect(p.Bounds());
  const EllipseRows rows(b);
  for (int64_t y = c.y0; y <= c.y1; ++y) {
    int64_t x0 = 0, x1 = 0;
    if (!rows.Span(y, &x0, &x1)) continue;
    x0 = std::max(x0, c.x0);
    x1 = std::min(x1, c.x1);
    if (x0 <= x1) BrushSpan(p, brush, y, x0, x1);
  }
  return c;
}

Box FrameEllipse(Picture& p, Box box, const Pen& pen) {
  if (pen.style == kStyleNone) return Box{};
  const Box b = Normalise(box);
  const Box c = b.Intersect(p.Bounds());
  if (c.Empty()) return c;
  const EllipseRows rows(b);
  const auto runs = StyleRuns(pen.style);
  struct Point {
    int64_t x, y;
  };
  std::vector<Point> styled;  // gathered to be walked round in order
  auto segment = [&](int64_t y, int64_t x0, int64_t x1) {
    x0 = std::max(x0, c.x0);
    x1 = std::min(x1, c.x1);
    for (int64_t x = x0; x <= x1; ++x) {
      if (runs.empty()) {
        p.Row(y)[x] = pen.colour;
      } else {
        styled.push_back({x, y});
      }
    }
  };
  // The outline is every pixel of the fill with a 4-neighbour outside it.
  for (int64_t y = c.y0; y <= c.y1; ++y) {
    int64_t x0 = 0, x1 = 0, a0 = 0, a1 = 0, b0 = 0, b1 = 0;
    if (!rows.Span(y, &x0, &x1)) continue;
    const bool above = rows.Span(y - 1, &a0, &a1);
    const bool below = rows.Span(y + 1, &b0, &b1);
    const int64_t in0 = above && below ? std::max({x0 + 1, a0, b0}) : x1 + 1;
    const int64_t in1 = above && below ? std::min({x1 - 1, a1, b1}) : x1;
    if (in0 > in1) {
      segment(y, x0, x1);
    } else {
      segment(y, x0, in0 - 1);
      segment(y, in1 + 1, x1);
    }
  }
  if (!styled.empty()) {
    std::vector<std::pair<double, size_t>> order(styled.size());
    for (size_t i = 0; i < styled.size(); ++i) {
      order[i] = {rows.Angle(styled[i].x, styled[i].y), i};
    }
    std::sort(order.begin(), order.end());
    for (size_t k = 0; k < order.size(); ++k) {
      const Point& q = styled[order[k].second];
      PenPixel(p, pen, runs, q.x, q.y, int64_t(k));
    }
  }
  return c;
}

Box InvertRect(Picture& p, Box box) {
  const Box c = Normalise(box).Intersect(p.Bounds());
  for (int64_t y = c.y0; y <= c.y1; ++y) {
    uint32_t* row = p.Row(y);
    for (int64_t x = c.x0; x <= c.x1; ++x) row[x] ^= 0xFFFFFFu;
  }
  return c;
}

Box DrawText(Picture& p, int64_t x, int64_t y, std::string_view text, uint32_t colour,
             uint32_t background, bool opaque) {
  const Box clip = p.Bounds();
  Box touched;
  for (size_t i = 0; i < text.size(); ++i) {
    const int64_t cx = x + int64_t(i) * font::kCellWidth;
    const Box cell{cx, y, cx + font::kCellWidth - 1, y + font::kCellHeight - 1};
    const Box c = cell.Intersect(clip);
    if (c.Empty()) continue;
    touched = touched.Union(c);
    const font::Cell& glyph = font::Glyph(static_cast<unsigned char>(text[i]));
    for (int64_t py = c.y0; py <= c.y1; ++py) {
      uint32_t* row = p.Row(py);
      const uint8_t bits = glyph[size_t(py - y)];
      for (int64_t px = c.x0; px <= c.x1; ++px) {
        if (bits & (1u << (font::kCellWidth - 1 - (px - cx)))) {
          row[px] = colour;
        } else if (opaque) {
          row[px] = background;
        }
      }
    }
  }
  return touched;
}

}  // namespace window
