// placeholder, replaced by the dialog work
#include "editor/dialog.h"
namespace editor {
void RunDialog(Wheel&) {}
}  // namespace editor
