// placeholder, replaced by the runtime work
#include "runtime/io.h"
