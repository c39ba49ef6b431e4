// Graph's free functions, forwarding to the instance bound to the runtime and the platform's window
// system.
#include "window/graph.h"

#include <cstdio>

#include "runtime/startup.h"
#include "runtime/threads.h"
#include "window/graph_module.h"

namespace Graph {

uint32_t Width = 0;
uint32_t Depth = 0;
uint32_t Columns = 0;
uint32_t Rows = 0;
uint32_t NumPColor = 0;

namespace {

void Termination() { window::BoundGraph().Terminate(); }

}  // namespace

void Start() {
  static bool started = false;
  if (started) return;
  started = true;
  rts::RegisterTermination(&Termination);
  window::BoundGraph().Start();
}

bool WindowRoom(uint32_t* width, uint32_t* height) {
  window::ScreenRoom room;
  if (!window::BoundGraph().Room(&room)) return false;
  *width = room.width;
  *height = room.height;
  return true;
}

bool Init(uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  return window::BoundGraph().Init(x, y, w, h);
}

void Ellipse(uint32_t x, uint32_t y, uint32_t a, uint32_t b, uint32_t colour, bool fill) {
  window::BoundGraph().Ellipse(x, y, a, b, colour, fill);
}
void Circle(uint32_t x, uint32_t y, uint32_t r, uint32_t colour) {
  window::BoundGraph().Ellipse(x, y, r, r, colour, false);
}
void Disc(uint32_t x, uint32_t y, uint32_t r, uint32_t colour) {
  window::BoundGraph().Ellipse(x, y, r, r, colour, true);
}
void Rectangle(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t colour, bool fill) {
  window::BoundGraph().Rectangle(x1, y1, x2, y2, colour, fill);
}
void RawOutText(uint32_t x, uint32_t y, uint32_t colour, std::string_view text) {
  window::BoundGraph().RawOutText(x, y, colour, text);
}
void InitStdPalette() { window::BoundGraph().InitStdPalette(); }
int32_t RemapAllPalette(std::span<const uint32_t> palette) {
  return window::BoundGraph().RemapAllPalette(palette);
}
void SetLineStyle(uint32_t style) { window::BoundGraph().SetLineStyle(style); }
void SetBkMix(bool opaque) { window::BoundGraph().SetBkMix(opaque); }
uint32_t SetBkColor(uint32_t colour) { return window::BoundGraph().SetBkColor(colour); }
void ClearScreen(uint32_t mode) { window::BoundGraph().ClearScreen(mode); }
void SetStdFillMask(uint32_t n) { window::BoundGraph().SetStdFillMask(n); }
void SetTextWindow(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2) {
  window::BoundGraph().SetTextWindow(x1, y1, x2, y2);
}
void SetTextPosition(uint32_t column, uint32_t row) {
  window::BoundGraph().SetTextPosition(column, row);
}
bool DisplayCursor(bool on) { return window::BoundGraph().DisplayCursor(on); }
uint32_t GetStdFillMask() { return window::BoundGraph().GetStdFillMask(); }
void SetFillMask(const std::array<uint8_t, 8>& mask) { window::BoundGraph().SetFillMask(mask); }
void Exit() { window::BoundGraph().Exit(); }

void SetStyle(window::WindowStyle style) { window::BoundGraph().SetStyle(std::move(style)); }
std::string Failure() { return window::BoundGraph().failure(); }
void SetUnder(std::vector<uint32_t> pixels, int32_t width, int32_t height) {
  window::BoundGraph().SetUnder(std::move(pixels), width, height);
}
void ShowUnder(bool on) { window::BoundGraph().ShowUnder(on); }

}  // namespace Graph

namespace window {

GraphModule& BoundGraph() {
  // Never destroyed: a thread left to end with the process may still use it.
  static GraphModule* const instance = new GraphModule(
      PlatformBackend(),
      GraphServices{
          .start_thread = [](std::function<void()> fn) { return rts::StartThread(std::move(fn)); },
          .check_break = [] { rts::CheckBreak(); },
          .message =
              [](std::string_view text) {
                std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
                std::fflush(stderr);
              },
          .publish =
              [](const GraphModule& m) {
                Graph::Width = m.width();
                Graph::Depth = m.depth();
                Graph::Columns = m.columns();
                Graph::Rows = m.rows();
                Graph::NumPColor = m.num_colours();
              },
      });
  return *instance;
}

}  // namespace window
