// placeholder, replaced by the runtime work
#include "runtime/str.h"
