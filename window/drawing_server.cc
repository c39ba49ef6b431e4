// Commands of the drawing server executed on the picture.
#include "window/drawing_server.h"

#include <string_view>

namespace window {

namespace {
// Parameters are unsigned on the way in; boxes are formed from them as signed 32-bit values.
int64_t Signed(uint32_t v) { return static_cast<int32_t>(v); }
}  // namespace

uint32_t DrawingState::Resolve(uint32_t colour) const {
  const uint32_t index = colour & 0xFFu;
  return index < palette_.size() ? palette_[index] & 0xFFFFFFu : 0;
}

Pen DrawingState::PenFor(uint32_t colour) const {
  return Pen{style_, Resolve(colour), Resolve(bk_colour_), opaque_};
}

Brush DrawingState::BrushFor(uint32_t colour) const {
  Brush b;
  b.colour = Resolve(colour);
  b.background = Resolve(bk_colour_);
  b.opaque = opaque_;
  if (user_pattern_) {
    b.kind = Brush::Kind::kMask;
    b.mask = mask_;
  } else if (hatch_ != kHatchSolid) {
    b.kind = Brush::Kind::kHatch;
    b.hatch = hatch_;
  }
  return b;
}

void DrawingState::SetUserMask(const std::array<uint8_t, 8>& mask) {
  mask_ = mask;
  user_pattern_ = true;
}

void DrawingState::ExecuteState(const CommandBlock& c, std::span<const uint32_t> palette) {
  switch (c.code) {
    case kCmdLineStyle:
      style_ = c.p[0];
      break;
    case kCmdStdPattern:
      user_pattern_ = false;
      hatch_ = c.p[0];
      break;
    case kCmdPalette:
      palette_.assign(palette.begin(), palette.end());
      break;
    default:
      break;
  }
}

Box DrawingState::Execute(const CommandBlock& c, Picture& p) {
  const auto& P = c.p;
  const Box box{Signed(P[0]), Signed(P[1]), Signed(P[2]), Signed(P[3])};
  switch (c.code) {
    case kCmdBkColour:
      bk_colour_ = P[0];
      return Box{};
    case kCmdBkMode:
      // Other modes are refused and leave the mix as it was.
      if (P[0] == kBkOpaque || P[0] == kBkTransparent) opaque_ = P[0] == kBkOpaque;
      return Box{};
    case kCmdRectangle:
      return P[5] ? FillRect(p, box, BrushFor(P[4])) : FrameRect(p, box, PenFor(P[4]));
    case kCmdEllipse:
      return P[5] ? FillEllipse(p, box, BrushFor(P[4])) : FrameEllipse(p, box, PenFor(P[4]));
    case kCmdText:
      text_colour_ = P[2];
      return DrawText(p, Signed(P[0]), Signed(P[1]), std::string_view(c.text.data(), c.text_length),
                      Resolve(text_colour_), Resolve(bk_colour_), opaque_);
    case kCmdInvert:
      return InvertRect(p, box);
    default:
      return Box{};
  }
}

}  // namespace window
