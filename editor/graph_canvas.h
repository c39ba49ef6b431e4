// The editor's Canvas on the graphics window.
#pragma once

#include "editor/editor_screen.h"
#include "window/graph.h"

namespace editor {

// Graph takes unsigned values and forms its boxes in signed arithmetic, so the casts keep every
// coordinate as drawn.
class GraphCanvas final : public Canvas {
 public:
  void Circle(int32_t x, int32_t y, int32_t r, uint32_t colour) override {
    Graph::Circle(static_cast<uint32_t>(x), static_cast<uint32_t>(y), static_cast<uint32_t>(r),
                  colour);
  }
  void Disc(int32_t x, int32_t y, int32_t r, uint32_t colour) override {
    Graph::Disc(static_cast<uint32_t>(x), static_cast<uint32_t>(y), static_cast<uint32_t>(r),
                colour);
  }
  void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour,
                 bool fill) override {
    Graph::Rectangle(static_cast<uint32_t>(x1), static_cast<uint32_t>(y1),
                     static_cast<uint32_t>(x2), static_cast<uint32_t>(y2), colour, fill);
  }
  void RawOutText(int32_t x, int32_t y, uint32_t colour, std::string_view text) override {
    Graph::RawOutText(static_cast<uint32_t>(x), static_cast<uint32_t>(y), colour, text);
  }
};

}  // namespace editor
