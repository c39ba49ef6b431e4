// The console dialog that asks for the number of positions and the zoom.
#include "editor/dialog.h"

#include <string_view>

#include "runtime/io.h"

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

}  // namespace

void RunDialog(wheel::Wheel& w) {
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
  w.schaal = Ask(kZoomPrompt, kMinZoom, kMaxZoom, "Please type a zoom from -57 to 90 (percent).");
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
