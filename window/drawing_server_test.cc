// Tests of the drawing server's commands: colours, pens and brushes, mix, text and inversion.
#include "window/drawing_server.h"

#include <gtest/gtest.h>

#include <cstring>

namespace window {
namespace {

constexpr uint32_t kStd[16] = {0x000000, 0x0000B0, 0x00B000, 0x008080, 0xB00000, 0x800080,
                               0xB06000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                               0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

CommandBlock Cmd(uint8_t code, std::initializer_list<uint32_t> p) {
  CommandBlock c;
  c.code = code;
  size_t i = 0;
  for (uint32_t v : p) c.p[i++] = v;
  return c;
}

struct Server {
  DrawingState s;
  Picture pic{40, 40};
  Server() { s.ExecuteState(Cmd(kCmdPalette, {}), kStd); }
  Box Run(const CommandBlock& c) {
    if (c.code <= kCmdPalette) {
      s.ExecuteState(c, kStd);
      return Box{};
    }
    return s.Execute(c, pic);
  }
};

TEST(DrawingServer, ColourNumbersCountModulo256AndIndexThePalette) {
  Server t;
  t.Run(Cmd(kCmdEllipse, {10, 10, 20, 20, 260, 1}));  // 260 is 4: red
  EXPECT_EQ(t.pic.At(15, 15), 0xB00000u);
  t.Run(Cmd(kCmdRectangle, {0, 0, 2, 2, 256 + 14, 1}));
  EXPECT_EQ(t.pic.At(1, 1), 0xFFFF00u);
  // Past the installed palette: black.
  t.Run(Cmd(kCmdRectangle, {0, 0, 2, 2, 16, 1}));
  EXPECT_EQ(t.pic.At(1, 1), 0u);
  EXPECT_EQ(t.s.Resolve(15), 0xFFFFFFu);
  // A new palette changes what the numbers mean.
  const uint32_t two[] = {0x010203, 0x0A0B0C};
  t.s.ExecuteState(Cmd(kCmdPalette, {}), two);
  EXPECT_EQ(t.s.Resolve(257), 0x0A0B0Cu);
  EXPECT_EQ(t.s.Resolve(2), 0u);
}

TEST(DrawingServer, OutlineIsHollowInTheLineStyleAndFillHasNoPen) {
  Server t;
  t.Run(Cmd(kCmdRectangle, {0, 0, 39, 39, 7, 1}));  // grey ground
  t.Run(Cmd(kCmdRectangle, {5, 5, 30, 30, 4, 0}));
  EXPECT_EQ(t.pic.At(5, 5), 0xB00000u);
  EXPECT_EQ(t.pic.At(10, 10), 0xC0C0C0u);  // hollow
  t.Run(Cmd(kCmdLineStyle, {kStyleDot}));
  t.Run(Cmd(kCmdRectangle, {0, 0, 39, 39, 2, 0}));
  EXPECT_EQ(t.pic.At(0, 0), 0x00B000u);
  EXPECT_EQ(t.pic.At(3, 0), 0u);  // gap in the opaque background colour, 0
  t.Run(Cmd(kCmdBkMode, {kBkTransparent}));
  t.Run(Cmd(kCmdRectangle, {0, 10, 39, 10, 2, 0}));
  EXPECT_EQ(t.pic.At(3, 10), 0xC0C0C0u);
  // Mode numbers other than 1 and 2 leave the mix alone.
  t.Run(Cmd(kCmdBkMode, {7}));
  t.Run(Cmd(kCmdRectangle, {0, 12, 39, 12, 2, 0}));
  EXPECT_EQ(t.pic.At(3, 12), 0xC0C0C0u);
}

TEST(DrawingServer, HatchAndUserMaskUseTheBackgroundColour) {
  Server t;
  t.Run(Cmd(kCmdBkColour, {1}));
  t.Run(Cmd(kCmdStdPattern, {kHatchHoriz}));
  t.Run(Cmd(kCmdRectangle, {0, 0, 15, 15, 4, 1}));
  EXPECT_EQ(t.pic.At(3, 0), 0xB00000u);
  EXPECT_EQ(t.pic.At(3, 1), 0x0000B0u);
  t.s.SetUserMask({0xF0, 0, 0, 0, 0, 0, 0, 0});
  t.Run(Cmd(kCmdEllipse, {20, 0, 39, 19, 14, 1}));
  EXPECT_EQ(t.pic.At(25, 8), 0xFFFF00u);  // row 8 is mask row 0; column 25 is bit 1 from the left
  EXPECT_EQ(t.pic.At(28, 8), 0x0000B0u);  // column 28: a clear bit, the background colour
  EXPECT_EQ(t.pic.At(29, 9), 0x0000B0u);
  // Setting a standard pattern takes the user mask out of force.
  t.Run(Cmd(kCmdStdPattern, {kHatchSolid}));
  t.Run(Cmd(kCmdRectangle, {0, 20, 10, 30, 2, 1}));
  EXPECT_EQ(t.pic.At(5, 25), 0x00B000u);
}

TEST(DrawingServer, TextUsesItsOwnColourAndTheBackgroundCells) {
  Server t;
  t.Run(Cmd(kCmdRectangle, {0, 0, 39, 39, 15, 1}));
  t.Run(Cmd(kCmdBkColour, {0}));
  CommandBlock c = Cmd(kCmdText, {1, 1, 7});
  std::memcpy(c.text.data(), "AB", 2);
  c.text_length = 2;
  const Box b = t.Run(c);
  EXPECT_EQ(b, (Box{1, 1, 14, 13}));
  EXPECT_EQ(t.pic.At(1, 1), 0u);  // cell background
  EXPECT_EQ(t.pic.At(20, 5), 0xFFFFFFu);
  int grey = 0;
  for (int y = 1; y <= 13; ++y)
    for (int x = 1; x <= 14; ++x) grey += t.pic.At(x, y) == 0xC0C0C0u;
  EXPECT_GT(grey, 20);
  // Inversion turns white to black and back.
  EXPECT_EQ(t.Run(Cmd(kCmdInvert, {30, 30, 33, 33})), (Box{30, 30, 33, 33}));
  EXPECT_EQ(t.pic.At(31, 31), 0u);
  t.Run(Cmd(kCmdInvert, {30, 30, 33, 33}));
  EXPECT_EQ(t.pic.At(31, 31), 0xFFFFFFu);
  // Codes the program never issues change nothing.
  EXPECT_TRUE(t.Run(Cmd(13, {0, 0, 39, 39})).Empty());
}

}  // namespace
}  // namespace window
