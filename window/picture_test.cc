// Tests of the rasterizer and the font, on small pictures without a display.
#include "window/picture.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "window/font.h"

namespace window {
namespace {

constexpr uint32_t kRed = 0xB00000, kGrey = 0xC0C0C0, kBlue = 0x0000FF, kBg = 0x123456;

Brush Solid(uint32_t c) {
  Brush b;
  b.colour = c;
  return b;
}
Pen SolidPen(uint32_t c) {
  Pen p;
  p.colour = c;
  return p;
}
Box Around(int64_t x, int64_t y, int64_t r) { return Box{x - r, y - r, x + r, y + r}; }

int Count(const Picture& p, uint32_t c) {
  int n = 0;
  for (int y = 0; y < p.height(); ++y)
    for (int x = 0; x < p.width(); ++x) n += p.At(x, y) == c;
  return n;
}

// True when every pixel outside box still holds c.
bool UntouchedOutside(const Picture& p, const Box& box, uint32_t c) {
  for (int y = 0; y < p.height(); ++y)
    for (int x = 0; x < p.width(); ++x) {
      const bool inside = x >= box.x0 && x <= box.x1 && y >= box.y0 && y <= box.y1;
      if (!inside && p.At(x, y) != c) return false;
    }
  return true;
}

TEST(Ellipse, DiscIsSymmetricFillsItsBoxExtentsAndNothingElse) {
  for (int r : {0, 1, 2, 3, 5, 9, 20}) {
    Picture p(64, 64);
    const Box touched = FillEllipse(p, Around(30, 31, r), Solid(kRed));
    EXPECT_EQ(touched, Around(30, 31, r));
    EXPECT_TRUE(UntouchedOutside(p, Around(30, 31, r), 0)) << r;
    // The extreme pixels of each axis and the centre are painted, the box corners are not.
    EXPECT_EQ(p.At(30, 31), kRed);
    EXPECT_EQ(p.At(30 - r, 31), kRed) << r;
    EXPECT_EQ(p.At(30 + r, 31), kRed) << r;
    EXPECT_EQ(p.At(30, 31 - r), kRed) << r;
    EXPECT_EQ(p.At(30, 31 + r), kRed) << r;
    if (r >= 2) {
      EXPECT_EQ(p.At(30 - r, 31 - r), 0u) << r;
    }
    for (int dy = -r; dy <= r; ++dy)
      for (int dx = -r; dx <= r; ++dx) {
        EXPECT_EQ(p.At(30 + dx, 31 + dy), p.At(30 - dx, 31 + dy));
        EXPECT_EQ(p.At(30 + dx, 31 + dy), p.At(30 + dx, 31 - dy));
        EXPECT_EQ(p.At(30 + dx, 31 + dy), p.At(30 + dy, 31 + dx));  // a circle, not an ellipse
      }
  }
}

TEST(Ellipse, DiscOfRadiusFiveHasTheExpectedRows) {
  Picture p(11, 11);
  FillEllipse(p, Around(5, 5, 5), Solid(1));
  std::string rows;
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 11; ++x) rows += p.At(x, y) ? '#' : '.';
    rows += '\n';
  }
  EXPECT_EQ(rows,
            "...#####...\n"
            "..#######..\n"
            ".#########.\n"
            "###########\n"
            "###########\n"
            "###########\n"
            "###########\n"
            "###########\n"
            ".#########.\n"
            "..#######..\n"
            "...#####...\n");
}

TEST(Ellipse, CircleIsTheRimOfTheDiscAndLeavesTheInsideAlone) {
  for (int r : {1, 3, 5, 12, 30}) {
    Picture disc(80, 80), ring(80, 80, kBg);
    FillEllipse(disc, Around(40, 40, r), Solid(1));
    FrameEllipse(ring, Around(40, 40, r), SolidPen(kRed));
    for (int y = 1; y < 79; ++y)
      for (int x = 1; x < 79; ++x) {
        const bool in = disc.At(x, y) == 1;
        const bool rim = in && (disc.At(x - 1, y) != 1 || disc.At(x + 1, y) != 1 ||
                                disc.At(x, y - 1) != 1 || disc.At(x, y + 1) != 1);
        EXPECT_EQ(ring.At(x, y) == kRed, rim) << "r " << r << " at " << x << "," << y;
        if (!rim) {
          EXPECT_EQ(ring.At(x, y), kBg);
        }
      }
  }
}

TEST(Ellipse, DiscThenCircleOfAnotherColourGivesAnOutlinedDisc) {
  Picture p(40, 40);
  FillEllipse(p, Around(20, 20, 8), Solid(kGrey));
  FrameEllipse(p, Around(20, 20, 8), SolidPen(kRed));
  EXPECT_EQ(p.At(20, 20), kGrey);
  EXPECT_EQ(p.At(20 - 7, 20), kGrey);
  EXPECT_EQ(p.At(20 - 8, 20), kRed);
  EXPECT_EQ(p.At(20, 28), kRed);
  EXPECT_EQ(p.At(20, 29), 0u);
  EXPECT_GT(Count(p, kGrey), 150);
  EXPECT_GT(Count(p, kRed), 40);
}

TEST(Ellipse, NonSquareBoxGivesAWideEllipse) {
  Picture p(50, 30);
  FillEllipse(p, Box{5, 10, 44, 19}, Solid(1));  // 40 by 10, even sizes: centre between pixels
  EXPECT_TRUE(UntouchedOutside(p, Box{5, 10, 44, 19}, 0));
  EXPECT_EQ(p.At(5, 14), 1u);
  EXPECT_EQ(p.At(44, 15), 1u);
  EXPECT_EQ(p.At(24, 10), 1u);
  EXPECT_EQ(p.At(5, 10), 0u);
}

TEST(Clipping, ShapesPastEveryEdgeAreClippedOnce) {
  // Left of and above the origin (coordinates formed in signed 32-bit arithmetic).
  {
    Picture p(20, 20);
    const Box t = FillEllipse(p, Around(0, 0, 5), Solid(1));
    EXPECT_EQ(t, (Box{0, 0, 5, 5}));
    EXPECT_EQ(p.At(0, 0), 1u);
    EXPECT_EQ(p.At(5, 0), 1u);
    EXPECT_EQ(p.At(6, 0), 0u);
    EXPECT_TRUE(UntouchedOutside(p, Box{0, 0, 5, 5}, 0));
  }
  // Past the right and bottom edges.
  {
    Picture p(20, 20);
    FrameEllipse(p, Around(19, 19, 6), SolidPen(1));
    EXPECT_EQ(p.At(13, 19), 1u);
    EXPECT_EQ(p.At(19, 13), 1u);
    EXPECT_TRUE(UntouchedOutside(p, Box{13, 13, 19, 19}, 0));
  }
  // Wholly outside: nothing touched, empty box.
  {
    Picture p(20, 20);
    EXPECT_TRUE(FillEllipse(p, Around(100, 5, 3), Solid(1)).Empty());
    EXPECT_TRUE(FrameRect(p, Box{-50, -50, -10, -10}, SolidPen(1)).Empty());
    EXPECT_TRUE(DrawText(p, 25, 0, "abc", 1, 2, true).Empty());
    EXPECT_EQ(Count(p, 0), 400);
  }
  // A huge radius costs only the rows on the picture; its rim crosses the picture.
  {
    Picture p(30, 30);
    const int64_t r = int64_t(1) << 30;
    FrameEllipse(p, Box{15 - r, 15 - r, 15 + r, 15 + r}, SolidPen(1));
    EXPECT_EQ(Count(p, 1), 0);  // the rim lies far away
    FillEllipse(p, Box{15 - r, 15 - r, 15 + r, 15 + r}, Solid(2));
    EXPECT_EQ(Count(p, 2), 900);
  }
}

TEST(Rectangle, OutlineAndFillCoverInclusiveEdges) {
  Picture p(20, 20);
  EXPECT_EQ(FillRect(p, Box{12, 9, 3, 2}, Solid(2)), (Box{3, 2, 12, 9}));  // normalised
  EXPECT_EQ(Count(p, 2), 10 * 8);
  EXPECT_TRUE(UntouchedOutside(p, Box{3, 2, 12, 9}, 0));

  Picture q(20, 20);
  FrameRect(q, Box{3, 2, 12, 9}, SolidPen(4));
  EXPECT_EQ(Count(q, 4), 2 * 10 + 2 * 6);
  EXPECT_EQ(q.At(3, 2), 4u);
  EXPECT_EQ(q.At(12, 9), 4u);
  EXPECT_EQ(q.At(4, 3), 0u);  // hollow
  // Degenerate boxes are one line or one pixel.
  Picture d(10, 10);
  FrameRect(d, Box{2, 5, 7, 5}, SolidPen(1));
  FrameRect(d, Box{0, 0, 0, 0}, SolidPen(2));
  EXPECT_EQ(Count(d, 1), 6);
  EXPECT_EQ(Count(d, 2), 1);
}

// The on/off sequence along the top edge of a long rectangle.
std::string TopEdge(uint32_t style, bool opaque) {
  Picture p(60, 4, kBg);
  Pen pen{style, kRed, 0, opaque};
  FrameRect(p, Box{0, 0, 59, 3}, pen);
  std::string s;
  for (int x = 0; x < 60; ++x) s += p.At(x, 0) == kRed ? '#' : p.At(x, 0) == 0 ? '_' : '.';
  return s;
}

TEST(LineStyles, EachStyleHasItsOwnRunsAndGapsFollowTheMix) {
  EXPECT_EQ(TopEdge(kStyleSolid, true), std::string(60, '#'));
  EXPECT_EQ(TopEdge(kStyleDash, true).substr(0, 26), std::string(18, '#') + "______##");
  EXPECT_EQ(TopEdge(kStyleDot, true).substr(0, 14), "###___###___##");
  EXPECT_EQ(TopEdge(kStyleDashDot, true).substr(0, 26), "#########______###______##");
  EXPECT_EQ(TopEdge(kStyleDashDotDot, true).substr(0, 26), "#########___###___###___##");
  EXPECT_EQ(TopEdge(kStyleNone, true), std::string(60, '.'));
  // Transparent: the gaps keep what was there.
  EXPECT_EQ(TopEdge(kStyleDot, false).substr(0, 12), "###...###...");
  // An unknown style draws solid.
  EXPECT_EQ(TopEdge(77, true), std::string(60, '#'));
}

TEST(LineStyles, DashedCircleAlternatesAndStaysOnTheRim) {
  Picture solid(60, 60), dashed(60, 60, kBg);
  FrameEllipse(solid, Around(30, 30, 20), SolidPen(1));
  Pen pen{kStyleDash, kRed, 0, false};
  FrameEllipse(dashed, Around(30, 30, 20), pen);
  int on = 0, off = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x) {
      if (dashed.At(x, y) == kRed) {
        ++on;
        EXPECT_EQ(solid.At(x, y), 1u);
      } else if (solid.At(x, y) == 1) {
        ++off;
      }
    }
  // Runs of 18 on and 6 off: about three quarters on.
  EXPECT_GT(on, 2 * off);
  EXPECT_GT(off, 0);
  EXPECT_TRUE(FrameEllipse(dashed, Around(30, 30, 5), Pen{kStyleNone}).Empty());
}

TEST(Patterns, HatchesFollowThePictureGridAndTheMix) {
  auto fill = [](uint32_t hatch, bool opaque) {
    Picture p(16, 16, kBg);
    Brush b;
    b.kind = Brush::Kind::kHatch;
    b.hatch = hatch;
    b.colour = kRed;
    b.background = 0;
    b.opaque = opaque;
    FillRect(p, Box{0, 0, 15, 15}, b);
    return p;
  };
  Picture h = fill(kHatchHoriz, true);
  EXPECT_EQ(h.At(5, 0), kRed);
  EXPECT_EQ(h.At(5, 8), kRed);
  EXPECT_EQ(h.At(5, 3), 0u);
  EXPECT_EQ(Count(h, kRed), 32);
  Picture v = fill(kHatchVert, false);
  EXPECT_EQ(v.At(8, 5), kRed);
  EXPECT_EQ(v.At(3, 5), kBg);  // transparent gaps
  Picture fall = fill(kHatchFall, true);
  EXPECT_EQ(fall.At(3, 3), kRed);
  EXPECT_EQ(fall.At(4, 3), 0u);
  Picture rise = fill(kHatchRise, true);
  EXPECT_EQ(rise.At(0, 7), kRed);
  EXPECT_EQ(rise.At(7, 0), kRed);
  EXPECT_EQ(rise.At(3, 3), 0u);
  EXPECT_EQ(Count(fill(kHatchCross, true), kRed), 2 * 32 - 4);
  EXPECT_EQ(Count(fill(kHatchDiagCross, true), kRed), 64);
  EXPECT_EQ(Count(fill(kHatchSolid, true), kRed), 256);
  EXPECT_EQ(Count(fill(6, true), kRed), 256);  // unknown numbers fill solid
}

TEST(Patterns, UserMaskSetBitsTakeColourClearBitsBackground) {
  Picture p(16, 9, kBg);
  Brush b;
  b.kind = Brush::Kind::kMask;
  b.mask = {0x80, 0x01, 0xFF, 0x00, 0xAA, 0, 0, 0};
  b.colour = kRed;
  b.background = kBlue;
  b.opaque = false;  // the mix does not matter for a mask
  FillRect(p, Box{0, 0, 15, 8}, b);
  EXPECT_EQ(p.At(0, 0), kRed);
  EXPECT_EQ(p.At(1, 0), kBlue);
  EXPECT_EQ(p.At(8, 0), kRed);  // repeats every 8 columns
  EXPECT_EQ(p.At(7, 1), kRed);
  EXPECT_EQ(p.At(6, 1), kBlue);
  EXPECT_EQ(p.At(3, 2), kRed);
  EXPECT_EQ(p.At(3, 3), kBlue);
  EXPECT_EQ(p.At(0, 4), kRed);
  EXPECT_EQ(p.At(1, 4), kBlue);
  EXPECT_EQ(p.At(0, 8), kRed);  // row 8 is row 0 again
  EXPECT_EQ(Count(p, kBg), 0);
}

TEST(Text, CellsAreOpaqueOrTransparentAndClipped) {
  Picture p(40, 20, kBg);
  const Box t = DrawText(p, 2, 3, "Hi", kGrey, 0, true);
  EXPECT_EQ(t, (Box{2, 3, 2 + 2 * font::kCellWidth - 1, 3 + font::kCellHeight - 1}));
  EXPECT_TRUE(UntouchedOutside(p, t, kBg));
  EXPECT_EQ(Count(p, kBg), 40 * 20 - 2 * font::kCellWidth * font::kCellHeight);
  EXPECT_GT(Count(p, kGrey), 15);
  // The 'H' has its left stem in cell column 1.
  EXPECT_EQ(p.At(2 + 1, 3 + 3), kGrey);
  EXPECT_EQ(p.At(2 + 0, 3 + 3), 0u);

  Picture q(40, 20, kBg);
  DrawText(q, 2, 3, "Hi", kGrey, 0, false);
  EXPECT_EQ(Count(q, 0), 0);
  EXPECT_EQ(Count(q, kGrey), Count(p, kGrey));

  // Clipped at the left edge and the bottom.
  Picture c(10, 10, kBg);
  EXPECT_EQ(DrawText(c, -5, 4, "AB", kGrey, 0, true), (Box{0, 4, 8, 9}));
  EXPECT_TRUE(DrawText(c, 0, 0, "", kGrey, 0, true).Empty());
}

TEST(Text, FontCoversPrintableAsciiWithDistinctGlyphsAndFitsTheLabels) {
  std::set<font::Cell> seen;
  for (int c = 0x21; c <= 0x7E; ++c) {
    const font::Cell& g = font::Glyph(static_cast<unsigned char>(c));
    int ink = 0;
    for (uint8_t row : g) {
      ink += __builtin_popcount(row);
      EXPECT_EQ(row & 0b1000001, 0) << "glyph " << char(c) << " touches its cell's edge";
    }
    EXPECT_GT(ink, 0) << char(c);
    EXPECT_TRUE(seen.insert(g).second) << "glyph " << char(c) << " repeats another";
  }
  for (uint8_t row : font::Glyph(' ')) EXPECT_EQ(row, 0);
  // Anything else shows as a box, not as nothing.
  EXPECT_EQ(font::Glyph(0x07), font::Glyph(0xE9));
  EXPECT_FALSE(seen.count(font::Glyph(0x07)));
  EXPECT_LE(16 * font::kCellWidth, 120 - 3);  // " CREATE  IM.TXT " from x 38 in the box to 155
  EXPECT_LE(font::kCellHeight, 30 - 8 + 1);
}

TEST(Invert, InvertingTwiceRestoresAndOnlyTheBoxChanges) {
  Picture p(10, 10, kBg);
  p.Row(4)[4] = kRed;
  EXPECT_EQ(InvertRect(p, Box{2, 2, 6, 6}), (Box{2, 2, 6, 6}));
  EXPECT_EQ(p.At(2, 2), kBg ^ 0xFFFFFFu);
  EXPECT_EQ(p.At(4, 4), kRed ^ 0xFFFFFFu);
  EXPECT_EQ(p.At(7, 7), kBg);
  InvertRect(p, Box{6, 6, 2, 2});
  EXPECT_EQ(Count(p, kBg), 99);
  EXPECT_EQ(p.At(4, 4), kRed);
}

}  // namespace
}  // namespace window
