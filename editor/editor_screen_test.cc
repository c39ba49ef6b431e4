// Tests of the wheel screen's controls, click handling and preview, drawn on a recording canvas.
#include "editor/editor_screen.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace editor {
namespace {

struct Call {
  std::string op;  // "circle", "disc", "rect", "text"
  int32_t a, b, c, d;
  uint32_t colour;
  bool fill;
  std::string text;
  bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Call& k) {
  return os << k.op << "(" << k.a << "," << k.b << "," << k.c << "," << k.d << " col " << k.colour
            << (k.fill ? " fill" : "") << " '" << k.text << "')";
}

Call CircleCall(int32_t x, int32_t y, int32_t r, uint32_t col) {
  return {"circle", x, y, r, 0, col, false, ""};
}
Call DiscCall(int32_t x, int32_t y, int32_t r, uint32_t col) {
  return {"disc", x, y, r, 0, col, false, ""};
}
Call RectCall(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t col, bool fill) {
  return {"rect", x1, y1, x2, y2, col, fill, ""};
}
Call TextCall(int32_t x, int32_t y, uint32_t col, std::string t) {
  return {"text", x, y, 0, 0, col, false, std::move(t)};
}

class RecordingCanvas final : public Canvas {
 public:
  void Circle(int32_t x, int32_t y, int32_t r, uint32_t colour) override {
    calls.push_back(CircleCall(x, y, r, colour));
  }
  void Disc(int32_t x, int32_t y, int32_t r, uint32_t colour) override {
    calls.push_back(DiscCall(x, y, r, colour));
  }
  void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour,
                 bool fill) override {
    calls.push_back(RectCall(x1, y1, x2, y2, colour, fill));
  }
  void RawOutText(int32_t x, int32_t y, uint32_t colour, std::string_view text) override {
    calls.push_back(TextCall(x, y, colour, std::string(text)));
  }
  std::vector<Call> calls;
};

// A wheel as the dialog leaves it, with the opening screen drawn and the recording cleared.
struct Screen {
  std::unique_ptr<wheel::Wheel> w = std::make_unique<wheel::Wheel>();
  RecordingCanvas canvas;

  Screen(int32_t positions, int32_t zoom) {
    w->aantal_hoeken = positions;
    w->schaal = zoom;
    wheel::ComputeSizes(*w);
    w->intens4 = true;
    OpenScreen(*w, canvas);
    canvas.calls.clear();
  }
  std::vector<Call> Click(int32_t x, int32_t y) {
    canvas.calls.clear();
    w->mouse_x = x;
    w->mouse_y = y;
    HandleClick(*w, canvas);
    return canvas.calls;
  }
  int32_t State(int32_t row, int32_t led) const { return w->led[row][led].toestand; }
};

TEST(ControlAtTest, HitAreasExcludeTheirFrameLines) {
  constexpr int32_t sx = 600;
  EXPECT_EQ(ControlAt(sx, 36, 6), Control::kWrite);
  EXPECT_EQ(ControlAt(sx, 154, 29), Control::kWrite);
  EXPECT_EQ(ControlAt(sx, 35, 17), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 155, 17), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 100, 5), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 100, 30), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 100, 51), Control::kPreview);
  EXPECT_EQ(ControlAt(sx, 100, 50), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 100, 75), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 566, 2), Control::kClose);
  EXPECT_EQ(ControlAt(sx, 599, 34), Control::kClose);
  EXPECT_EQ(ControlAt(sx, 565, 10), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 600, 10), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 580, 1), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 580, 35), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 300, 300), Control::kNone);
  EXPECT_EQ(ControlAt(sx, 0, 0), Control::kNone);
}

TEST(ControlAtTest, IntensityButtonsStandLeftToRightAndTheGapsHitNothing) {
  const Control expected[] = {Control::kIntensity0, Control::kIntensity1, Control::kIntensity2,
                              Control::kIntensity3, Control::kIntensity4};
  for (int32_t k = 0; k <= 4; ++k) {
    const int32_t left = 380 + 30 * k;
    EXPECT_EQ(ControlAt(600, left + 1, 6), expected[k]) << k;
    EXPECT_EQ(ControlAt(600, left + 24, 29), expected[k]) << k;
    EXPECT_EQ(ControlAt(600, left, 17), Control::kNone) << k;
    EXPECT_EQ(ControlAt(600, left + 25, 17), Control::kNone) << k;
    EXPECT_EQ(ControlAt(600, left + 12, 5), Control::kNone) << k;
    EXPECT_EQ(ControlAt(600, left + 12, 30), Control::kNone) << k;
  }
}

TEST(ControlAtTest, CloseButtonFollowsTheWidthAndWinsWhereItOverlaps) {
  // Zoom 70: the close button is at the far right; intensity 4 is where it always is.
  EXPECT_EQ(ControlAt(1020, 1000, 10), Control::kClose);
  EXPECT_EQ(ControlAt(1020, 524, 10), Control::kIntensity4);
  // Zoom -7 (558 wide): its area 523 < x < 558 covers the right of intensity button 4.
  EXPECT_EQ(ControlAt(558, 524, 10), Control::kClose);
  EXPECT_EQ(ControlAt(558, 523, 10), Control::kIntensity4);
  // Zoom -12 (528 wide) reaches into button 3 as well.
  EXPECT_EQ(ControlAt(528, 494, 10), Control::kClose);
  EXPECT_EQ(ControlAt(528, 493, 10), Control::kIntensity3);
  // Zoom -6 (564 wide): no overlap anywhere along the row.
  for (int32_t x = 0; x < 564; ++x) {
    const Control c = ControlAt(564, x, 10);
    if (x > 529) {
      EXPECT_EQ(c, Control::kClose) << x;
    } else {
      EXPECT_NE(c, Control::kClose) << x;
    }
  }
}

TEST(LedHitTest, BoxIsSquareWithExclusiveBounds) {
  int hits = 0;
  for (int32_t y = 290; y <= 310; ++y) {
    for (int32_t x = 320; x <= 340; ++x) hits += LedHit(330, 300, 3, 3, x, y);
  }
  EXPECT_EQ(hits, 25);  // 2 * 3 - 1 = 5 pixels each way
  EXPECT_TRUE(LedHit(330, 300, 3, 3, 328, 302));
  EXPECT_FALSE(LedHit(330, 300, 3, 3, 327, 300));
  EXPECT_FALSE(LedHit(330, 300, 3, 3, 333, 300));
  EXPECT_FALSE(LedHit(330, 300, 3, 3, 330, 297));
  EXPECT_FALSE(LedHit(330, 300, 3, 3, 330, 303));
}

TEST(OpenScreenTest, ClearsRowsAndDrawsOutlinesRingByRingThenTheControls) {
  auto w = std::make_unique<wheel::Wheel>();
  w->aantal_hoeken = 4;
  w->schaal = 0;
  wheel::ComputeSizes(*w);
  w->intens4 = true;
  for (int32_t row = 1; row <= 5; ++row) {
    for (int32_t led = 1; led <= wheel::kLedsPerSpoke; ++led) w->led[row][led].toestand = 3;
  }
  RecordingCanvas canvas;
  OpenScreen(*w, canvas);

  EXPECT_FLOAT_EQ(w->hoek_stap, 1.570796f);
  for (int32_t row = 1; row <= 4; ++row) {
    for (int32_t led = 1; led <= wheel::kLedsPerSpoke; ++led)
      ASSERT_EQ(w->led[row][led].toestand, 0);
  }
  EXPECT_EQ(w->led[5][1].toestand, 3) << "rows past aantal_hoeken are left alone";

  std::vector<Call> expected;
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    for (int32_t j = 0; j < 4; ++j) {
      const wheel::Point p = wheel::Centre(*w, i, j);
      expected.push_back(CircleCall(p.x, p.y, 3, 4));
    }
  }
  const std::vector<Call> controls = {
      RectCall(0, 0, 599, 599, 2, false),
      RectCall(565, 1, 600, 35, 4, true),
      TextCall(573, 10, 4, " X "),
      RectCall(35, 5, 155, 30, 2, false),
      TextCall(38, 8, 7, " CREATE  IM.TXT "),
      RectCall(35, 50, 155, 75, 2, false),
      TextCall(38, 53, 7, " SEE RESULT "),
      RectCall(380, 5, 405, 30, 2, false),
      RectCall(410, 5, 435, 30, 2, false),
      RectCall(440, 5, 465, 30, 2, false),
      RectCall(470, 5, 495, 30, 2, false),
      RectCall(500, 5, 525, 30, 2, false),
      TextCall(280, 10, 7, "INTENSITY:"),
      TextCall(390, 10, 7, "0"),
      TextCall(420, 10, 7, "1"),
      TextCall(450, 10, 7, "2"),
      TextCall(480, 10, 7, "3"),
      TextCall(510, 10, 7, "4"),
  };
  expected.insert(expected.end(), controls.begin(), controls.end());
  ASSERT_EQ(canvas.calls.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) ASSERT_EQ(canvas.calls[k], expected[k]) << k;
  // The innermost LEDs land where the truncating placement puts them.
  EXPECT_EQ(canvas.calls[0], CircleCall(330, 300, 3, 4));
  EXPECT_EQ(canvas.calls[1], CircleCall(300, 329, 3, 4));
  EXPECT_EQ(canvas.calls[95], CircleCall(300, 41, 3, 4));
}

// A wheel from a file opens as it was painted: every intensity in its colour, off LEDs as
// outlines, nothing cleared, the controls last; a click then paints as usual.
TEST(OpenLoadedScreenTest, DrawsTheLoadedLedsLitAndKeepsThem) {
  auto w = std::make_unique<wheel::Wheel>();
  w->aantal_hoeken = 3;
  w->schaal = 0;
  wheel::ComputeSizes(*w);
  w->intens4 = true;
  for (int32_t row = 1; row <= 3; ++row) {
    for (int32_t led = 1; led <= wheel::kLedsPerSpoke; ++led) {
      w->led[row][led].toestand = (row + led) % 5;
    }
  }
  RecordingCanvas canvas;
  OpenLoadedScreen(*w, canvas);

  EXPECT_FLOAT_EQ(w->hoek_stap, wheel::HoekStap(3));
  std::vector<Call> expected;
  for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
    for (int32_t j = 0; j < 3; ++j) {
      const int32_t t = (j + 1 + i + 1) % 5;
      ASSERT_EQ(w->led[j + 1][i + 1].toestand, t) << "loaded LEDs are kept";
      const wheel::Point p = wheel::Centre(*w, i, j);
      expected.push_back(t == 0 ? CircleCall(p.x, p.y, 3, kRed)
                                : DiscCall(p.x, p.y, 3, wheel::Kleur(t)));
    }
  }
  ASSERT_GT(canvas.calls.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) ASSERT_EQ(canvas.calls[k], expected[k]) << k;
  EXPECT_EQ(canvas.calls[expected.size()], RectCall(0, 0, 599, 599, 2, false));
  EXPECT_EQ(canvas.calls.back(), TextCall(510, 10, 7, "4"));
}

TEST(HandleClickTest, PaintsWithTheSelectedIntensityStartingAtFour) {
  Screen s(24, 0);
  const wheel::Point p = wheel::Centre(*s.w, 23, 0);  // outer ring, 3 o'clock: (560, 300)
  ASSERT_EQ(p.x, 560);
  EXPECT_EQ(s.Click(p.x, p.y), std::vector<Call>{DiscCall(560, 300, 3, 4)});
  EXPECT_EQ(s.State(1, 24), 4);

  const uint32_t colours[] = {0, 7, 8, 14, 4};
  for (int32_t k = 1; k <= 4; ++k) {
    EXPECT_TRUE(s.Click(380 + 30 * k + 12, 17).empty()) << "an intensity click draws nothing";
    EXPECT_EQ(s.Click(p.x + 2, p.y - 2), std::vector<Call>{DiscCall(560, 300, 3, colours[k])});
    EXPECT_EQ(s.State(1, 24), k);
  }
  // Intensity 0 erases the disc and puts the outline back.
  EXPECT_TRUE(s.Click(392, 17).empty());
  EXPECT_EQ(s.Click(p.x - 2, p.y + 2),
            (std::vector<Call>{DiscCall(560, 300, 3, 0), CircleCall(560, 300, 3, 4)}));
  EXPECT_EQ(s.State(1, 24), 0);
}

TEST(HandleClickTest, FrameLinesAndBoxBoundsHaveNoEffect) {
  Screen s(24, 0);
  EXPECT_TRUE(s.Click(410, 17).empty());  // left frame line of intensity 1
  EXPECT_TRUE(s.Click(420, 5).empty());   // top frame line of intensity 1
  EXPECT_TRUE(s.Click(560 + 3, 300).empty());
  EXPECT_TRUE(s.Click(560 - 3, 300).empty());
  EXPECT_TRUE(s.Click(560, 300 + 3).empty());
  EXPECT_TRUE(s.Click(560, 300 - 3).empty());
  EXPECT_TRUE(s.Click(35, 17).empty());  // write frame: the run goes on
  EXPECT_FALSE(s.w->end);
  EXPECT_EQ(s.Click(560, 300), std::vector<Call>{DiscCall(560, 300, 3, 4)})
      << "intensity 4 is still selected";
  for (int32_t row = 1; row <= 24; ++row) {
    for (int32_t led = 1; led <= 24; ++led) {
      EXPECT_EQ(s.State(row, led), row == 1 && led == 24 ? 4 : 0) << row << " " << led;
    }
  }
}

TEST(HandleClickTest, OverlappingBoxesAreAllSetInLoopOrder) {
  Screen s(100, 0);
  const std::vector<Call> calls = s.Click(330, 300);
  ASSERT_EQ(calls.size(), 3u);
  // Loop order is by position within the ring: rows 1, 2, then 100.
  const int32_t rows[] = {1, 2, 100};
  for (int k = 0; k < 3; ++k) {
    const wheel::Point p = wheel::Centre(*s.w, 0, rows[k] - 1);
    EXPECT_EQ(calls[k], DiscCall(p.x, p.y, 3, 4)) << rows[k];
  }
  int set = 0;
  for (int32_t row = 1; row <= 100; ++row) {
    for (int32_t led = 1; led <= 24; ++led) set += s.State(row, led) != 0;
  }
  EXPECT_EQ(set, 3);
  EXPECT_EQ(s.State(100, 1), 4);
  EXPECT_EQ(s.State(1, 1), 4);
  EXPECT_EQ(s.State(2, 1), 4);

  Screen few(48, 0);
  EXPECT_EQ(few.Click(330, 300).size(), 1u);
  EXPECT_EQ(few.State(1, 1), 4);
}

TEST(HandleClickTest, CloseAndWriteEndTheLoopAndAControlAndAnLedBothAct) {
  Screen close(24, 0);
  close.Click(580, 20);
  EXPECT_TRUE(close.w->end);
  EXPECT_FALSE(close.w->create_bitmap);

  Screen write(24, 0);
  write.Click(100, 17);
  EXPECT_TRUE(write.w->end);
  EXPECT_TRUE(write.w->create_bitmap);

  // Zoom -50, four positions: the top LED of the outer ring sits inside the write button.
  Screen small(4, -50);
  const wheel::Point top = wheel::Centre(*small.w, 23, 3);
  ASSERT_EQ(top.x, 150);
  ASSERT_EQ(top.y, 21);
  EXPECT_EQ(small.Click(150, 21), std::vector<Call>{DiscCall(150, 21, 2, 4)});
  EXPECT_TRUE(small.w->end);
  EXPECT_TRUE(small.w->create_bitmap);
  EXPECT_EQ(small.State(4, 24), 4);
}

TEST(HandleClickTest, PreviewShowsLitLedsOnBlackAndEndingItRestoresOutlines) {
  Screen s(24, 0);
  s.Click(560, 300);  // row 1, LED 24 at 4
  s.Click(422, 17);   // intensity 1
  const wheel::Point p = wheel::Centre(*s.w, 0, 5);
  s.Click(p.x, p.y);  // row 6, LED 1 at 1

  const std::vector<Call> show = s.Click(100, 60);
  EXPECT_TRUE(s.w->bekijken);
  EXPECT_EQ(show, (std::vector<Call>{DiscCall(300, 300, 30 + 23 * 10 + 6, 0),
                                     DiscCall(p.x, p.y, 3, 7), DiscCall(560, 300, 3, 4)}));

  // Intensity 1 is still selected in the preview.
  const wheel::Point q = wheel::Centre(*s.w, 12, 20);
  EXPECT_EQ(s.Click(q.x, q.y), std::vector<Call>{DiscCall(q.x, q.y, 3, 7)});
  EXPECT_EQ(s.State(21, 13), 1);
  // 0 chosen in the preview draws the red outline on black.
  EXPECT_TRUE(s.Click(392, 17).empty());
  EXPECT_EQ(s.Click(560, 300),
            (std::vector<Call>{DiscCall(560, 300, 3, 0), CircleCall(560, 300, 3, 4)}));

  const std::vector<Call> end = s.Click(100, 60);
  EXPECT_FALSE(s.w->bekijken);
  ASSERT_EQ(end.size(), 24u * 24u - 2u) << "every LED that is off, and only those";
  for (const Call& c : end) {
    EXPECT_EQ(c.op, "circle");
    EXPECT_EQ(c.colour, 4u);
    EXPECT_FALSE(c.a == p.x && c.b == p.y) << "a lit LED is not drawn again";
    EXPECT_FALSE(c.a == q.x && c.b == q.y) << "a lit LED is not drawn again";
  }
  EXPECT_EQ(SelectedIntensity(*s.w), 0);
}

TEST(HandleClickTest, PreviewDiscReachesBeyondTheOuterRing) {
  Screen s(4, 70);
  EXPECT_EQ(PreviewRadius(*s.w), 51 + 23 * 17 + 10);
  const std::vector<Call> show = s.Click(100, 60);
  ASSERT_EQ(show.size(), 1u) << "nothing lit: only the black disc";
  EXPECT_EQ(show[0], DiscCall(510, 510, 452, 0));
}

}  // namespace
}  // namespace editor
