// ledwheel edit's painting: strokes, keys, undo and redo, and the controls.
#include "editor/painter.h"

#include <limits>

namespace editor {
namespace {

using Kind = window::InputEvent::Kind;

// The mark of a state the output never held.
constexpr uint64_t kNeverWritten = std::numeric_limits<uint64_t>::max();

unsigned Bit(int button) { return 1u << (button - 1); }
bool Paints(int button) { return button >= 1 && button <= 3; }

}  // namespace

Painter::Painter(wheel::Wheel& w, Canvas& c, PaintHost& host, bool unwritten, size_t history_budget)
    : w_(w), c_(c), host_(host), history_(history_budget) {
  written_ = unwritten ? kNeverWritten : history_.Mark();
}

void Painter::Open() {
  OpenLoadedScreen(w_, c_);
  index_ = std::make_unique<LedIndex>(w_);
  touched_.assign(size_t(w_.aantal_hoeken) * wheel::kLedsPerSpoke, 0);
  told_unwritten_ = unwritten();
  host_.Changed(told_unwritten_);
}

void Painter::Handle(const window::InputEvent& e) {
  if (end_ != PaintEnd::kPainting) return;
  switch (e.kind) {
    case Kind::kPress:
      Press(e);
      break;
    case Kind::kMotion:
      Motion(e);
      break;
    case Kind::kRelease:
      Release(e);
      break;
    case Kind::kKey:
      if (stroke_) {
        keys_.push_back(e);
      } else {
        Key(e);
      }
      break;
    case Kind::kDestroyed:
    case Kind::kLost:
      Abandon();
      break;
  }
}

void Painter::Abandon() {
  if (stroke_) EndStroke();
  keys_.clear();
}

void Painter::Press(const window::InputEvent& e) {
  if (!Paints(e.button) || !e.over) return;
  buttons_ |= Bit(e.button);
  if (stroke_) return;  // another button during a stroke: the same stroke
  BeginStroke();
  inside_ = true;
  last_x_ = e.x;
  last_y_ = e.y;
  pressed_on_ = ControlAt(w_.screen_size_x, e.x, e.y);
  painting_ = pressed_on_ == Control::kNone;
  if (painting_) PaintAt(e.x, e.y);
}

void Painter::Motion(const window::InputEvent& e) {
  if (!stroke_) return;
  if (!e.held) {
    // The buttons came up where we could not see it (another window took the pointer).
    EndStroke();
    TakeKeys();
    return;
  }
  if (!e.over) {
    inside_ = false;
    return;
  }
  if (!painting_) {
    painting_ = true;
    PaintAt(last_x_, last_y_);
  }
  if (inside_) {
    PaintPath(e.x, e.y);
  } else {
    // Back from outside: the path outside passed over nothing.
    inside_ = true;
    PaintAt(e.x, e.y);
  }
  last_x_ = e.x;
  last_y_ = e.y;
}

void Painter::Release(const window::InputEvent& e) {
  if (!Paints(e.button)) return;
  if (!stroke_) {
    // Pressed elsewhere and released here: a click, as it always was.
    if (e.over) Click(e.x, e.y);
    return;
  }
  if ((buttons_ & Bit(e.button)) == 0) return;
  buttons_ &= ~Bit(e.button);
  if (buttons_ != 0) return;
  if (!painting_) {
    // A press on a control released without moving: a click there.
    stroke_ = false;
    history_.Commit();
    if (e.over) Click(e.x, e.y);
  } else {
    if (e.over && inside_) PaintPath(e.x, e.y);
    const Control released_on = e.over ? ControlAt(w_.screen_size_x, e.x, e.y) : Control::kNone;
    const Control pressed_on = pressed_on_;
    EndStroke();
    if (released_on != Control::kNone && released_on == pressed_on) Act(released_on);
  }
  TakeKeys();
}

void Painter::TakeKeys() {
  std::vector<window::InputEvent> keys;
  keys.swap(keys_);
  for (const window::InputEvent& k : keys) {
    if (end_ != PaintEnd::kPainting) break;
    Key(k);
  }
}

void Painter::Click(int32_t x, int32_t y) {
  // The program without arguments lets the control act first and then sets the LEDs under the
  // point; the write button writes after the loop, so with the LEDs set.
  const Control control = ControlAt(w_.screen_size_x, x, y);
  if (control != Control::kWrite) Act(control);
  if (end_ == PaintEnd::kPainting || control == Control::kWrite) {
    BeginStroke();
    PaintAt(x, y);
    EndStroke();
  }
  if (control == Control::kWrite) Act(control);
}

void Painter::Act(Control control) {
  switch (control) {
    case Control::kNone:
      break;
    case Control::kClose:
      end_ = PaintEnd::kClosed;
      break;
    case Control::kWrite:
      if (host_.Write(w_)) {
        written_ = history_.Mark();
        end_ = PaintEnd::kWritten;
      }
      break;
    case Control::kPreview:
      TogglePreviewAndUnder();
      break;
    case Control::kIntensity0:
    case Control::kIntensity1:
    case Control::kIntensity2:
    case Control::kIntensity3:
    case Control::kIntensity4:
      SelectIntensity(w_, int32_t(control) - int32_t(Control::kIntensity0));
      break;
  }
}

void Painter::Key(const window::InputEvent& e) {
  if (e.ctrl) {
    if (e.key == 's') {
      Write();
    } else if (e.key == 'z') {
      Step(!e.shift);
    } else if (e.key == 'y') {
      Step(false);
    }
    return;
  }
  if (e.key >= '0' && e.key <= '4') {
    SelectIntensity(w_, e.key - '0');
  } else if (e.key == 'p' || e.key == ' ') {
    TogglePreviewAndUnder();
  }
}

void Painter::BeginStroke() {
  stroke_ = true;
  intensity_ = SelectedIntensity(w_);
  history_.Begin(intensity_);
}

void Painter::PaintAt(int32_t x, int32_t y) {
  index_->ForEachAt(x, y, [&](int32_t i, int32_t j) {
    const auto led = uint16_t(j * wheel::kLedsPerSpoke + i);
    if (touched_[led] != 0) return;
    touched_[led] = 1;
    touched_list_.push_back(led);
    int32_t& t = w_.led[j + 1][i + 1].toestand;
    if (t != intensity_) {
      history_.Record(j + 1, i + 1, t);
      t = intensity_;
    }
    // Repainted even when unchanged, as a click always did (in the preview an LED set to 0
    // gets its outline).
    PaintLed(w_, c_, index_->Centre(i, j), intensity_);
  });
}

void Painter::PaintPath(int32_t x, int32_t y) {
  WalkPath(last_x_, last_y_, x, y, [&](int32_t px, int32_t py) { PaintAt(px, py); });
}

void Painter::EndStroke() {
  stroke_ = false;
  buttons_ = 0;
  for (const uint16_t led : touched_list_) touched_[led] = 0;
  touched_list_.clear();
  history_.Commit();
  Tell();
}

void Painter::Write() {
  if (host_.Write(w_)) {
    written_ = history_.Mark();
    Tell();
  }
}

void Painter::Step(bool undo) {
  const auto repaint = [&](int32_t q, int32_t i) {
    PaintLed(w_, c_, index_->Centre(i - 1, q - 1), w_.led[q][i].toestand);
  };
  if (undo ? history_.Undo(w_.led, repaint) : history_.Redo(w_.led, repaint)) Tell();
}

void Painter::TogglePreviewAndUnder() {
  // The preview shows the wheel as it will be: nothing under it.
  if (!w_.bekijken) host_.ShowUnder(false);
  TogglePreview(w_, c_);
  if (!w_.bekijken) host_.ShowUnder(true);
}

void Painter::Tell() {
  if (unwritten() == told_unwritten_) return;
  told_unwritten_ = unwritten();
  host_.Changed(told_unwritten_);
}

}  // namespace editor
