// The Mouse module's object: input surface, pointer position and click state.
#include "window/mouse_module.h"

#include <chrono>
#include <thread>

namespace window {

bool MouseModule::InitMuis(int32_t x, int32_t y, int32_t w, int32_t h) {
  if (!InitApplication()) return false;
  return InitMainWindow(uint32_t(x), uint32_t(y), uint32_t(w), uint32_t(h));
}

bool MouseModule::InitApplication() { return true; }

bool MouseModule::InitMainWindow(uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  if (!graph_.Init(x, y, w, h)) return false;
  // The surface covers the whole client area; the part past it is clipped by the parent.
  auto input = backend_.NewInput();
  // A surface that cannot be made would leave the caller waiting for clicks that never come.
  if (!input->Open(graph_.window_id(), w, h, graph_.style().interactive)) return false;
  input_ = std::move(input);
  open_ = true;
  return true;
}

void MouseModule::UpdateMuis() {
  clicked_ = false;
  if (!input_) return;
  InputEvent e;
  while (input_->Next(&e)) {
    if (!open_) continue;  // after the window has gone nothing counts
    switch (e.kind) {
      case InputEvent::Kind::kPress:
      case InputEvent::Kind::kKey:
        break;  // interactive surfaces only
      case InputEvent::Kind::kMotion:
        x_ = e.x;
        y_ = e.y;
        break;
      case InputEvent::Kind::kRelease:
        // The release says where the pointer is, as a movement there would: the window may
        // have opened under a resting pointer, or the pointer moved while the window was
        // covered, and no movement reached us. 4 to 7 are the wheel.
        x_ = e.x;
        y_ = e.y;
        if (e.button >= 1 && e.button <= 3) clicked_ = true;
        break;
      case InputEvent::Kind::kLost:
        display_lost_ = true;
        [[fallthrough]];
      case InputEvent::Kind::kDestroyed:
        open_ = false;
        clicked_ = false;
        break;
    }
  }
}

bool MouseModule::NextEvent(InputEvent* e) {
  if (!input_) return false;
  while (input_->Next(e)) {
    if (!open_) continue;
    if (e->kind == InputEvent::Kind::kLost) display_lost_ = true;
    if (e->kind == InputEvent::Kind::kLost || e->kind == InputEvent::Kind::kDestroyed) {
      open_ = false;
    }
    return true;
  }
  return false;
}

bool MouseModule::WaitInput(int timeout_ms) {
  if (!input_) {
    // No surface, nothing to wait for: a wait without limit would never end.
    if (timeout_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return false;
  }
  return input_->Wait(timeout_ms);
}

}  // namespace window
