// The console dialog that asks for the number of positions and the zoom.
#pragma once

#include <cstdint>
#include <functional>

#include "wheel/wheel.h"

namespace editor {

// The zooms the dialog accepts at most: below kMinZoom LEDs fall off the picture; kMaxZoom is
// the limit when the screen's size is not known.
constexpr int32_t kMinZoom = -57;
constexpr int32_t kMaxZoom = 90;

// The largest zoom from kMinZoom to kMaxZoom whose window, opened at (kWindowX, kWindowY) with
// its frame, fits a room of width by height pixels; kMinZoom when none does.
int32_t LargestZoomFor(uint32_t width, uint32_t height);
// LargestZoomFor the room on the screen the program runs on; kMaxZoom without a display.
int32_t LargestZoomOnScreen();

// Runs the options dialog on the console and leaves aantal_hoeken, schaal, the sizes and the
// intensity and state flags set. largest_zoom is asked once, when the first zoom answer has
// been read. Main thread only.
void RunDialog(wheel::Wheel& w, const std::function<int32_t()>& largest_zoom = LargestZoomOnScreen);

// What the dialog sets once both numbers are in: the sizes from w.schaal, intensity 4
// selected, the state flags cleared. REQUIRES: w.schaal within kMinZoom..kMaxZoom.
void PrepareEditor(wheel::Wheel& w);

}  // namespace editor
