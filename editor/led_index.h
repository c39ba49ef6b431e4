// Which LEDs a point of the screen lies on, by the editor's hit boxes, found without testing
// every LED; and the pixels a straight drag passes between two pointer positions.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "wheel/wheel.h"

namespace editor {

// Built once for a wheel's geometry. The click of the program without arguments tests every
// LED afresh; a drag asks for hundreds of points a second.
class LedIndex {
 public:
  // REQUIRES: the sizes, aantal_hoeken and hoek_stap set.
  explicit LedIndex(const wheel::Wheel& w);

  // Calls f(i, j) for every LED (ring i 0..23, position j 0..N-1) whose box holds (x, y), in the
  // editor's loop order: ring by ring, position by position.
  template <class F>
  void ForEachAt(int32_t x, int32_t y, F&& f) const {
    if (x < 0 || y < 0) return;
    const int32_t cx = x / cell_, cy = y / cell_;
    if (cx >= columns_ || cy >= rows_) return;
    const size_t cell = size_t(cy) * size_t(columns_) + size_t(cx);
    for (uint32_t k = start_[cell]; k < start_[cell + 1]; ++k) {
      const int32_t led = leds_[k];
      const wheel::Point p = centres_[size_t(led)];
      if (std::abs(x - p.x) < reach_ && std::abs(y - p.y) < reach_) f(led / n_, led % n_);
    }
  }

  // The centre of LED i + 1 at position j + 1, as wheel::Centre gives it.
  wheel::Point Centre(int32_t i, int32_t j) const { return centres_[size_t(i * n_ + j)]; }

 private:
  int32_t n_;
  int32_t reach_;  // a point is in a box when it lies less than this from the centre each way
  int32_t cell_;
  int32_t columns_, rows_;
  std::vector<wheel::Point> centres_;  // i * n + j
  std::vector<uint32_t> start_;        // per cell, where its LEDs begin in leds_
  std::vector<uint16_t> leds_;         // i * n + j, in loop order within each cell
};

// Calls visit(x, y) for each pixel of a path from (x0, y0) to (x1, y1) in which each pixel
// touches the last by a side, never only by a corner, so that no box the straight line crosses
// is jumped: every pixel after (x0, y0), ending with (x1, y1).
template <class F>
void WalkPath(int32_t x0, int32_t y0, int32_t x1, int32_t y1, F&& visit) {
  const int64_t dx = std::abs(int64_t(x1) - x0), dy = std::abs(int64_t(y1) - y0);
  const int32_t sx = x1 > x0 ? 1 : -1, sy = y1 > y0 ? 1 : -1;
  // Twice the signed distance of the next horizontal step's pixel centre from the line, in
  // units of the line's length: the step that stays nearer goes first.
  int64_t error = dx - dy;
  int32_t x = x0, y = y0;
  for (int64_t k = 0; k < dx + dy; ++k) {
    if (error > 0) {
      x += sx;
      error -= 2 * dy;
    } else {
      y += sy;
      error += 2 * dx;
    }
    visit(x, y);
  }
}

}  // namespace editor
