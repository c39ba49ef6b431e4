// stb_image and stb_image_write compiled into the program, for builds where the system has no
// library of them (the Windows build: Debian's libstb is a Linux library).
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>
