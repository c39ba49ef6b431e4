// The LEDs under each part of the screen, as lists per square cell of the size of a hit box.
#include "editor/led_index.h"

#include <algorithm>

namespace editor {

LedIndex::LedIndex(const wheel::Wheel& w)
    : n_(w.aantal_hoeken),
      reach_(w.straal_led),
      cell_(std::max(1, 2 * w.straal_led - 1)),
      columns_(std::max(1, w.screen_size_x / cell_ + 1)),
      rows_(std::max(1, w.screen_size_y / cell_ + 1)) {
  centres_.reserve(size_t(wheel::kLedsPerSpoke) * size_t(n_));
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    for (int32_t j = 0; j < n_; ++j) centres_.push_back(wheel::Centre(w, i, j));
  }
  // The cells a box covers, clipped to the grid. LedHit's box: bounds exclusive both ways.
  auto span = [&](int32_t centre, int32_t limit, int32_t* first, int32_t* last) {
    const int32_t lo = centre - reach_ + 1, hi = centre + reach_ - 1;
    *first = std::max(0, lo) / cell_;
    *last = hi < 0 ? -1 : std::min(limit - 1, hi / cell_);
  };
  // Two passes: count per cell, then fill, LEDs in loop order so that each cell keeps it.
  std::vector<uint32_t> count(size_t(columns_) * size_t(rows_) + 1, 0);
  auto each_cell = [&](auto&& f) {
    for (int32_t led = 0; led < int32_t(centres_.size()); ++led) {
      int32_t x0, x1, y0, y1;
      span(centres_[size_t(led)].x, columns_, &x0, &x1);
      span(centres_[size_t(led)].y, rows_, &y0, &y1);
      for (int32_t cy = y0; cy <= y1; ++cy) {
        for (int32_t cx = x0; cx <= x1; ++cx) f(size_t(cy) * size_t(columns_) + size_t(cx), led);
      }
    }
  };
  each_cell([&](size_t cell, int32_t) { ++count[cell + 1]; });
  for (size_t k = 1; k < count.size(); ++k) count[k] += count[k - 1];
  start_ = count;
  leds_.resize(start_.back());
  each_cell([&](size_t cell, int32_t led) { leds_[count[cell]++] = uint16_t(led); });
}

}  // namespace editor
