// ledwheel edit's painting on the editor screen: strokes, keys, undo and redo, and the controls.
// Free of any window system: input events in, drawing out through a Canvas.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "editor/editor_screen.h"
#include "editor/history.h"
#include "editor/led_index.h"
#include "wheel/wheel.h"
#include "window/backend.h"

namespace editor {

// What the painting asks of the program around it.
class PaintHost {
 public:
  virtual ~PaintHost() = default;
  // Writes w.led[1..w.aantal_hoeken] to the output; true once it is there. A failure is said to
  // the user by the host.
  virtual bool Write(const wheel::Wheel& w) = 0;
  // Whether the painting now has changes that are not written (the window's title shows it).
  virtual void Changed(bool unwritten) = 0;
  // The picture underneath: shown while editing, hidden in the preview.
  virtual void ShowUnder(bool on) = 0;
};

enum class PaintEnd {
  kPainting,  // not ended
  kClosed,    // the close button
  kWritten,   // the write button, and the output written
};

// One painting session on w. Main thread only.
//
// A press of button 1 to 3 on the wheel starts a stroke: every LED whose hit box the pointer
// passes over takes the intensity selected when the stroke began, including the LEDs between
// two reported positions (the path between them is a straight line). A stroke that leaves the
// client area and comes back goes on from where it comes back. The release ends it; a stroke
// that changed something is one step for undo. A press on a control paints only once the
// pointer moves; released there without moving it is a click, as in the program without
// arguments: the control acts and the LEDs under the point take the intensity. Controls act on
// a release only where the press was on the same control.
// Keys: 0 to 4 select the intensity, P and Space switch the preview, Ctrl+S writes, Ctrl+Z
// undoes, Ctrl+Shift+Z and Ctrl+Y redo. Keys typed while a button is held act when the stroke
// has ended.
class Painter {
 public:
  // unwritten: the wheel starts with changes that are not in the output (a recovered painting).
  // REQUIRES: w as PrepareEditor leaves it, with its LEDs loaded.
  Painter(wheel::Wheel& w, Canvas& c, PaintHost& host, bool unwritten,
          size_t history_budget = History::kDefaultBudget);

  // Draws the first screen (the loaded wheel and the controls) and tells the host the state.
  void Open();
  void Handle(const window::InputEvent& e);
  // The window has gone: a stroke still open ends where it is.
  void Abandon();

  PaintEnd end() const { return end_; }
  bool unwritten() const { return history_.Mark() != written_; }
  const History& history() const { return history_; }

 private:
  void Press(const window::InputEvent& e);
  void Motion(const window::InputEvent& e);
  void Release(const window::InputEvent& e);
  void Key(const window::InputEvent& e);
  // The keys typed during the stroke just ended, in their order.
  void TakeKeys();
  // A release with no press of ours before it, or a press on a control released there unmoved.
  void Click(int32_t x, int32_t y);
  void Act(Control control);
  void BeginStroke();
  void PaintAt(int32_t x, int32_t y);
  void PaintPath(int32_t x, int32_t y);
  void EndStroke();
  void Write();
  void Step(bool undo);
  void TogglePreviewAndUnder();
  void Tell();

  wheel::Wheel& w_;
  Canvas& c_;
  PaintHost& host_;
  History history_;
  std::unique_ptr<LedIndex> index_;
  uint64_t written_;  // the history's mark when the output last matched the painting
  bool told_unwritten_ = false;
  PaintEnd end_ = PaintEnd::kPainting;

  // The stroke.
  bool stroke_ = false;
  unsigned buttons_ = 0;  // bit b - 1 for each button b pressed over the surface and still down
  int32_t intensity_ = 4;
  bool painting_ = false;  // a press on a control paints only once the pointer moves
  Control pressed_on_ = Control::kNone;
  bool inside_ = false;
  int32_t last_x_ = 0, last_y_ = 0;
  std::vector<uint8_t> touched_;  // per LED (j * 24 + i): painted in this stroke
  std::vector<uint16_t> touched_list_;
  std::vector<window::InputEvent> keys_;  // typed during the stroke
};

}  // namespace editor
