// placeholder, replaced by the firmware work
#include "firmware/beeld_matrix.h"
