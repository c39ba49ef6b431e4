// placeholder, replaced by the runtime work
#include "runtime/failure.h"
