// The command block and the drawing server's state: what each command does to the picture.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "window/picture.h"

namespace window {

// Command codes the program issues.
constexpr uint8_t kCmdNothing = 0;
constexpr uint8_t kCmdLineStyle = 2;
constexpr uint8_t kCmdStdPattern = 3;
constexpr uint8_t kCmdPalette = 4;
constexpr uint8_t kCmdBkColour = 7;
constexpr uint8_t kCmdBkMode = 8;
constexpr uint8_t kCmdRectangle = 10;
constexpr uint8_t kCmdEllipse = 12;
constexpr uint8_t kCmdText = 18;
constexpr uint8_t kCmdInvert = 19;
constexpr uint8_t kCmdAttach = 22;

constexpr size_t kTextMax = 257;
constexpr size_t kPaletteMax = 1024;
constexpr uint32_t kBkTransparent = 1;
constexpr uint32_t kBkOpaque = 2;

// The one record through which the caller hands a command to the drawing server.
struct CommandBlock {
  uint8_t code = kCmdNothing;
  std::array<uint32_t, 10> p{};  // P1 .. P10
  std::array<char, kTextMax> text{};
  size_t text_length = 0;
};

// Everything the drawing server keeps between commands.
class DrawingState {
 public:
  // Runs a drawing command (code 5 and up) on the picture and returns the box it changed. State
  // commands and unknown codes change no pixel and return an empty box.
  Box Execute(const CommandBlock& c, Picture& p);
  // Runs a state command (codes 0 to 4). palette is the caller's copy for command 4.
  void ExecuteState(const CommandBlock& c, std::span<const uint32_t> palette);
  // The user mask becomes the fill pattern: set bits take the shape's colour, clear bits the
  // background colour.
  void SetUserMask(const std::array<uint8_t, 8>& mask);

  // The colour a number stands for: the low 8 bits index the palette; entries past its end are
  // black.
  uint32_t Resolve(uint32_t colour) const;

 private:
  Pen PenFor(uint32_t colour) const;
  Brush BrushFor(uint32_t colour) const;

  uint32_t style_ = kStyleSolid;
  bool user_pattern_ = false;
  uint32_t hatch_ = kHatchSolid;
  std::array<uint8_t, 8> mask_{};
  std::vector<uint32_t> palette_;
  uint32_t bk_colour_ = 0;  // a colour number, resolved when used
  bool opaque_ = true;
  uint32_t text_colour_ = 0;
};

}  // namespace window
