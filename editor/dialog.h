// The console dialog that asks for the number of positions and the zoom.
#pragma once

#include "wheel/wheel.h"

namespace editor {

// Zooms the dialog accepts. Below -57 some LED centres fall off the picture; above 90 the
// window (picture + 31 pixels of frame) no longer fits a 1200-pixel-high screen.
constexpr int32_t kMinZoom = -57;
constexpr int32_t kMaxZoom = 90;

// Runs the options dialog on the console and leaves aantal_hoeken, schaal, the sizes and the
// intensity and state flags set. Main thread only.
void RunDialog(wheel::Wheel& w);

// What the dialog sets once both numbers are in: the sizes from w.schaal, intensity 4
// selected, the state flags cleared. REQUIRES: w.schaal within kMinZoom..kMaxZoom.
void PrepareEditor(wheel::Wheel& w);

}  // namespace editor
