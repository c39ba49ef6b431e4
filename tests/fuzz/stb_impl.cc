// The picture codecs compiled into the fuzz target itself, so that the sanitizers and the
// fuzzer's coverage reach into them (the program links Debian's shared build instead).
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>
