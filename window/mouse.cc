// placeholder, replaced by the window work
#include "window/mouse.h"
namespace Mouse {
void Start() {}
}  // namespace Mouse
