// ledwheel edit's painting, event by event on a 24-position wheel at zoom 0: which LEDs each
// script leaves lit, the writes, the unwritten state the title shows, and the ends.
#include "editor/painter.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "editor/dialog.h"

namespace editor {
namespace {

using window::InputEvent;
using Kind = InputEvent::Kind;

class NullCanvas final : public Canvas {
 public:
  void Circle(int32_t, int32_t, int32_t, uint32_t) override { ++draws; }
  void Disc(int32_t, int32_t, int32_t, uint32_t) override { ++draws; }
  void Rectangle(int32_t, int32_t, int32_t, int32_t, uint32_t, bool) override { ++draws; }
  void RawOutText(int32_t, int32_t, uint32_t, std::string_view) override { ++draws; }
  int draws = 0;
};

class RecordingHost final : public PaintHost {
 public:
  bool Write(const wheel::Wheel&) override {
    ++writes;
    return write_ok;
  }
  void Changed(bool unwritten) override { told.push_back(unwritten); }
  void ShowUnder(bool on) override { under.push_back(on); }

  bool write_ok = true;
  int writes = 0;
  std::vector<bool> told;
  std::vector<bool> under;
};

struct Led {
  int32_t ring, position, intensity;  // 0-based ring and position
};

TEST(Painter, ScriptsOfEventsLeaveTheWheelTheWritesAndTheTitle) {
  auto geo = std::make_unique<wheel::Wheel>();
  geo->aantal_hoeken = 24;
  geo->schaal = 0;
  PrepareEditor(*geo);
  geo->hoek_stap = wheel::HoekStap(24);
  const auto at = [&](int32_t i, int32_t j) { return wheel::Centre(*geo, i, j); };
  const auto press = [&](wheel::Point p, int button = 1) {
    return InputEvent{Kind::kPress, p.x, p.y, button};
  };
  const auto move = [&](wheel::Point p, bool held = true, bool over = true) {
    InputEvent e{Kind::kMotion, p.x, p.y};
    e.held = held;
    e.over = over;
    return e;
  };
  const auto release = [&](wheel::Point p, int button = 1, bool over = true) {
    InputEvent e{Kind::kRelease, p.x, p.y, button};
    e.over = over;
    return e;
  };
  const auto key = [](char k, bool ctrl = false, bool shift = false) {
    InputEvent e{Kind::kKey};
    e.key = k;
    e.ctrl = ctrl;
    e.shift = shift;
    return e;
  };
  const wheel::Point a = at(23, 3), b = at(22, 3), outside{700, 300};
  const wheel::Point write_button{90, 17}, close_button{580, 20}, intensity2{452, 17};

  struct Case {
    const char* what;
    std::vector<InputEvent> events;
    std::vector<Led> lit;  // all others stay dark
    bool unwritten = true;
    int writes = 0;
    std::vector<bool> told = {false, true};
    PaintEnd end = PaintEnd::kPainting;
    size_t undoable = 1;
    bool write_ok = true;
    bool start_unwritten = false;
    std::vector<bool> under = {};
  };
  // What the end-to-end tests do not reach: the ends, failed writes, controls under a drag, and
  // what the platform reports only now and then.
  const Case cases[] = {
      {"a click without a press paints the LED under it", {release(a)}, {{23, 3, 4}}},
      {"a movement with no button held ends the stroke",
       {press(at(8, 0)), move(at(12, 0), false), move(at(20, 0))},
       {{8, 0, 4}}},
      {"a release outside ends it",
       {press(a), move(outside, true, false), release(outside, 1, false), move(b)},
       {{23, 3, 4}}},
      {"a press on a control released there unmoved is a click",
       {press(intensity2), release(intensity2), release(a)},
       {{23, 3, 2}}},
      {"a press on the write button released elsewhere writes nothing",
       {press(write_button), move(at(23, 18)), release(at(23, 18))},
       {{23, 18, 4}}},
      {"the write button writes and ends",
       {press(write_button), release(write_button)},
       {},
       false,
       1,
       {false},
       PaintEnd::kWritten,
       0},
      {"a write that fails goes on, unwritten",
       {release(a), press(write_button), release(write_button)},
       {{23, 3, 4}},
       true,
       1,
       {false, true},
       PaintEnd::kPainting,
       1,
       false},
      {"a recovered painting stays unwritten, whatever is undone",
       {release(a), key('z', true)},
       {},
       true,
       0,
       {true},
       PaintEnd::kPainting,
       0,
       true,
       true},
      {"P and Space switch the preview, and the picture underneath with it",
       {key('p'), key(' ')},
       {},
       false,
       0,
       {false},
       PaintEnd::kPainting,
       0,
       true,
       false,
       {false, true}},
      {"0 erases",
       {release(a), key('0'), release(a)},
       {},
       true,
       0,
       {false, true},
       PaintEnd::kPainting,
       2},
      {"the close button ends, and nothing counts after",
       {press(close_button), release(close_button), release(a)},
       {},
       false,
       0,
       {false},
       PaintEnd::kClosed,
       0},
      {"an LED passed twice in a stroke is one change",
       {press(a), move(b), move(a), release(a)},
       {{23, 3, 4}, {22, 3, 4}}},
      {"the wheel's buttons paint nothing",
       {press(a, 4), release(a, 4)},
       {},
       false,
       0,
       {false},
       PaintEnd::kPainting,
       0},
      {"a stroke the window's end cuts short is one step",
       {press(a), move(b), InputEvent{Kind::kDestroyed}},
       {{23, 3, 4}, {22, 3, 4}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    auto w = std::make_unique<wheel::Wheel>(*geo);
    NullCanvas canvas;
    RecordingHost host;
    host.write_ok = k.write_ok;
    Painter painter(*w, canvas, host, k.start_unwritten);
    painter.Open();
    for (const InputEvent& e : k.events) painter.Handle(e);
    auto want = std::make_unique<wheel::LedArray>();
    for (const Led& l : k.lit) (*want)[l.position + 1][l.ring + 1].toestand = l.intensity;
    for (int32_t j = 1; j <= 24; ++j) {
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
        EXPECT_EQ(w->led[j][i].toestand, (*want)[j][i].toestand)
            << "LED " << i << " position " << j;
      }
    }
    EXPECT_EQ(painter.unwritten(), k.unwritten);
    EXPECT_EQ(host.writes, k.writes);
    EXPECT_EQ(host.told, k.told);
    EXPECT_EQ(painter.end(), k.end);
    EXPECT_EQ(painter.history().undoable(), k.undoable);
    EXPECT_EQ(host.under, k.under);
    EXPECT_FALSE(w->bekijken);
  }
}

}  // namespace
}  // namespace editor
