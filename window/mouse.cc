// Mouse: button releases and pointer movement over the graphics window's client area.
#include "window/mouse.h"

#include "runtime/io.h"
#include "window/graph.h"
#include "window/mouse_module.h"

namespace window {

MouseModule& BoundMouse() {
  static MouseModule* const instance = new MouseModule(PlatformBackend(), BoundGraph());
  return *instance;
}

}  // namespace window

namespace Mouse {

void Start() {
  static bool started = false;
  if (started) return;
  started = true;
  Graph::Start();
  IO::Start();
}

bool InitMuis(int32_t x, int32_t y, int32_t w, int32_t h) {
  return window::BoundMouse().InitMuis(x, y, w, h);
}
bool InitApplication() { return window::BoundMouse().InitApplication(); }
bool InitMainWindow(uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  return window::BoundMouse().InitMainWindow(x, y, w, h);
}
void UpdateMuis() { window::BoundMouse().UpdateMuis(); }
bool Clicked() { return window::BoundMouse().Clicked(); }
int32_t GetMuisX() { return window::BoundMouse().GetMuisX(); }
int32_t GetMuisY() { return window::BoundMouse().GetMuisY(); }
bool WaitInput(int timeout_ms) { return window::BoundMouse().WaitInput(timeout_ms); }
bool WindowOpen() { return window::BoundMouse().WindowOpen(); }
bool DisplayLost() { return window::BoundMouse().DisplayLost(); }
bool NextEvent(window::InputEvent* e) { return window::BoundMouse().NextEvent(e); }
void SetTitle(const std::string& title) { window::BoundMouse().SetTitle(title); }

}  // namespace Mouse
