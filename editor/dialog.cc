// The console dialog that asks for the number of positions and the zoom.
#include "editor/dialog.h"

#include <string>
#include <string_view>

#include "editor/editor.h"
#include "runtime/io.h"
#include "window/graph.h"

namespace editor {
namespace {

constexpr std::string_view kStars = "********************************************";
constexpr std::string_view kPositionsPrompt = "# LED positions: ";
constexpr std::string_view kZoomPrompt = "Zoom (0%: 15\" screen, 70% = true size):  ";
static_assert(kStars.size() == 44 && kZoomPrompt.size() == 41 && kZoomPrompt[12] == '"');

void Line(std::string_view s) {
  IO::WrStr(s);
  IO::WrLn();
}

// Asks until the answer lies in lo..hi; a refusal is one line naming the range.
int32_t Ask(std::string_view prompt, int32_t lo, int32_t hi, std::string_view refusal) {
  for (;;) {
    IO::WrStr(prompt);
    const int32_t v = IO::RdInt();
    if (v >= lo && v <= hi) return v;
    Line(refusal);
  }
}

// The zoom, refused above the largest whose window fits the screen. The screen is asked only
// once the first answer is there, so the prompt comes as fast as ever.
int32_t AskZoom(const std::function<int32_t()>& largest_zoom) {
  IO::WrStr(kZoomPrompt);
  const int32_t first = IO::RdInt();
  const int32_t hi = largest_zoom();
  if (first >= kMinZoom && first <= hi) return first;
  const std::string refusal =
      "Please type a zoom from -57 to " + std::to_string(hi) + " (percent).";
  Line(refusal);
  return Ask(kZoomPrompt, kMinZoom, hi, refusal);
}

}  // namespace

int32_t LargestZoomFor(uint32_t width, uint32_t height) {
  // The area grows with the zoom, so the first that fits from the top is the largest.
  for (int32_t zoom = kMaxZoom; zoom > kMinZoom; --zoom) {
    const int64_t side = wheel::AreaSize(zoom);
    if (kWindowX + side + kFrameWidth <= int64_t(width) &&
        kWindowY + side + kFrameHeight <= int64_t(height)) {
      return zoom;
    }
  }
  return kMinZoom;
}

int32_t LargestZoomOnScreen() {
  uint32_t width = 0, height = 0;
  if (!Graph::WindowRoom(&width, &height)) return kMaxZoom;
  return LargestZoomFor(width, height);
}

void RunDialog(wheel::Wheel& w, const std::function<int32_t()>& largest_zoom) {
  IO::WrLn();
  IO::WrLn();
  IO::WrLn();
  Line(kStars);
  Line("*  24 LEDS BITMAP TO PIC-MEMORY CONVERTER  *");
  Line(kStars);
  IO::WrLn();
  Line("O P T I O N S");
  Line("-------------");
  IO::WrLn();
  w.aantal_hoeken = Ask(kPositionsPrompt, 1, wheel::kMaxPositions,
                        "Please type a number of LED positions from 1 to 500.");
  IO::WrLn();
  w.schaal = AskZoom(largest_zoom);
  IO::WrLn();
  IO::WrLn();
  IO::WrLn();
  IO::WrLn();
  PrepareEditor(w);
  IO::WrLn();
}

void PrepareEditor(wheel::Wheel& w) {
  wheel::ComputeSizes(w);
  w.intens4 = true;
  w.intens0 = w.intens1 = w.intens2 = w.intens3 = false;
  w.end = false;
  w.create_bitmap = false;
  w.bekijken = false;
}

}  // namespace editor
