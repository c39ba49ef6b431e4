// A headless window platform for tests: the "screen" is a picture the tests can read.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "window/backend.h"

namespace window {

class FakeBackend final : public Backend {
 public:
  // Knobs, set before the module uses the backend.
  bool fail_create = false;
  bool fail_attach = false;
  bool fail_input = false;
  uint32_t colours = uint32_t(1) << 24;
  bool has_display = true;
  ScreenRoom room{1600, 1200};

  void InitThreads() override {}
  uint32_t ColourCount() override { return colours; }
  bool Room(ScreenRoom* r) override {
    if (has_display) *r = room;
    return has_display;
  }
  std::unique_ptr<WindowHost> NewWindow() override;
  std::unique_ptr<DrawSurface> NewSurface() override;
  std::unique_ptr<InputSurface> NewInput() override;

  // What the window shows, client area only; empty before the window exists.
  Picture Screen();
  // Where the window went and how it looks; the title follows SetTitle.
  WindowPlace place();
  bool window_open();
  int repaints();
  int surface_puts();
  // As if the window had been uncovered: the window thread repaints. Waits until it has.
  void Uncover();
  // As if the user had closed the window.
  void UserClose();
  // Queues input for the input surface.
  void Push(const InputEvent& e);
  WindowId input_parent();
  bool input_interactive();

 private:
  friend class FakeWindow;
  friend class FakeSurface;
  friend class FakeInput;
  void PutLocked(const Picture& p, const Box& box);

  std::mutex mu_;
  std::condition_variable cv_;
  Picture screen_;
  WindowPlace place_;
  bool open_ = false;
  bool quit_ = false;
  bool close_ = false;
  int repaint_requests_ = 0;
  int repaints_ = 0;
  int surface_puts_ = 0;
  std::deque<InputEvent> input_;
  WindowId input_parent_ = 0;
  bool input_interactive_ = false;
};

}  // namespace window
