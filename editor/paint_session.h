// ledwheel edit's editor: the window, with strokes, keys, undo and redo, and writes that go on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/painter.h"
#include "wheel/wheel.h"

namespace editor {

struct PaintOptions {
  // The output's name, which the window's title shows.
  std::string file;
  // The painting starts with changes the output does not hold (a recovered one).
  bool unwritten = false;
  // Pixels 0x00RRGGBB of the drawing area, shown wherever the wheel's drawing is black; empty
  // for none.
  std::vector<uint32_t> under;
  // Writes the wheel to the output: true once it is there; says itself why not.
  std::function<bool(const wheel::Wheel&)> write;
};

// The window's title: the file, with a leading "*" while there are unwritten changes.
std::string PaintTitle(const std::string& file, bool unwritten);

class PaintSession final : private PaintHost {
 public:
  // REQUIRES: w as PrepareEditor leaves it, with its LEDs loaded; w outlives the session.
  PaintSession(wheel::Wheel& w, PaintOptions options);
  ~PaintSession() override;

  // Opens the window (interactive: it takes the keyboard) and paints until the close button,
  // a successful write button, the window closed, or the display lost. kWrite: the output has
  // been written. The console break raises through; the stroke it cut short has ended by then.
  // Main thread only; once.
  EditorEnd Run();

  // Whether the painting holds changes that are not in the output; also after Run raised.
  bool unwritten() const;

 private:
  bool Write(const wheel::Wheel& w) override;
  void Changed(bool unwritten) override;
  void ShowUnder(bool on) override;

  wheel::Wheel& w_;
  PaintOptions options_;
  std::unique_ptr<Canvas> canvas_;
  std::unique_ptr<Painter> painter_;
  std::string title_;
};

}  // namespace editor
