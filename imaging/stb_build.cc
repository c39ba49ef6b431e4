// stb_image and stb_image_write, compiled here: the picture formats no system library decodes
// for us (and PNG and JPEG too where there is none, LEDWHEEL_STB_PNG_JPEG), and the PNG writer.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_ONLY_TGA
#ifdef LEDWHEEL_STB_PNG_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#endif
#include <stb_image.h>
#include <stb_image_write.h>
