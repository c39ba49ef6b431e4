// The stb decoder compiled with the fuzzer's instrumentation, in place of Debian's library.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>
