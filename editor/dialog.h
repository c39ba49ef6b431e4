// The console dialog that asks for the number of positions and the zoom.
#pragma once

#include "wheel/wheel.h"

namespace editor {

// Runs the options dialog on the console and leaves aantal_hoeken, schaal, the sizes and the
// intensity and state flags set. Main thread only.
void RunDialog(wheel::Wheel& w);

}  // namespace editor
