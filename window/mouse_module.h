// The Mouse module as an object: the input surface over the graphics window and its state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "window/backend.h"
#include "window/graph_module.h"

namespace window {

// Everything runs in the calling thread (the main thread); no locks.
class MouseModule {
 public:
  MouseModule(Backend& backend, GraphModule& graph) : backend_(backend), graph_(graph) {}

  bool InitMuis(int32_t x, int32_t y, int32_t w, int32_t h);
  // Nothing to register on this platform; true.
  bool InitApplication();
  // Opens the graphics window, then the input surface over it.
  bool InitMainWindow(uint32_t x, uint32_t y, uint32_t w, uint32_t h);
  void UpdateMuis();
  bool Clicked() {
    UpdateMuis();
    return clicked_;
  }
  int32_t GetMuisX() const { return x_; }
  int32_t GetMuisY() const { return y_; }
  // Sleeps until input may be waiting, a console break, or timeout_ms (negative: no limit).
  bool WaitInput(int timeout_ms);
  bool WindowOpen() const { return open_; }
  // Takes the next input event without blocking, for a caller that wants every press, movement
  // and key in order (ledwheel edit); false when none waits. The window's end is kept as
  // WindowOpen and DisplayLost tell it, and passed on once. Do not mix with UpdateMuis.
  bool NextEvent(InputEvent* e);
  // Names the window. After InitMuis succeeded.
  void SetTitle(const std::string& title) {
    if (input_) input_->SetTitle(title);
  }
  // True once the connection to the display has gone (the window has gone with it).
  bool DisplayLost() const { return display_lost_; }

 private:
  Backend& backend_;
  GraphModule& graph_;
  std::unique_ptr<InputSurface> input_;
  int32_t x_ = 0, y_ = 0;
  bool clicked_ = false;
  bool open_ = false;
  bool display_lost_ = false;
};

// The instance the free functions of Mouse forward to (made at first use, never destroyed).
MouseModule& BoundMouse();

}  // namespace window
