// placeholder, replaced by the firmware work
#include "firmware/maak_text.h"
