// placeholder, replaced by the runtime work
#include "runtime/fio.h"
namespace FIO {
void Start() {}
}  // namespace FIO
