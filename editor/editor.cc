// The wheel screen and its editing loop.
#include "editor/editor.h"

namespace editor {

int RunEditor(Wheel&, firmware::PortMatrix&) { return 0; }

}  // namespace editor
