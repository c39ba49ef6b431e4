// placeholder, replaced by the runtime work
#include "runtime/startup.h"
namespace rts {
int Run(int, char**, int (*body)()) { return body(); }
}  // namespace rts
