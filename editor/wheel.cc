// placeholder, replaced by the wheel work
#include "editor/wheel.h"
