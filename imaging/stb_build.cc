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

#include <cstring>

#include "imaging/decoders.h"

namespace imaging::decoders {
namespace {

// stb's own entry points try every format in turn and report the last one's failure; each of
// these is one format's decoder alone.
struct StbFormat {
  const char* name;
  int (*info)(stbi__context*, int*, int*, int*);
  void* (*load)(stbi__context*, int*, int*, int*, int, stbi__result_info*);
};

constexpr StbFormat kStbFormats[] = {
    {"BMP", stbi__bmp_info, stbi__bmp_load}, {"GIF", stbi__gif_info, stbi__gif_load},
    {"TGA", stbi__tga_info, stbi__tga_load},
#ifdef LEDWHEEL_STB_PNG_JPEG
    {"PNG", stbi__png_info, stbi__png_load}, {"JPEG", stbi__jpeg_info, stbi__jpeg_load},
#endif
};

const StbFormat* Find(const char* name) {
  for (const StbFormat& format : kStbFormats) {
    if (std::strcmp(format.name, name) == 0) return &format;
  }
  return nullptr;
}

}  // namespace

bool StbInfo(const char* format, std::span<const uint8_t> bytes, int* width, int* height) {
  const StbFormat* f = Find(format);
  if (f == nullptr) return stbi__err("no decoder", "no decoder") != 0;
  stbi__context context;
  stbi__start_mem(&context, bytes.data(), static_cast<int>(bytes.size()));
  int channels = 0;
  return f->info(&context, width, height, &channels) != 0;
}

uint8_t* StbLoad(const char* format, std::span<const uint8_t> bytes, int* width, int* height) {
  const StbFormat* f = Find(format);
  if (f == nullptr) return nullptr;
  stbi__context context;
  stbi__start_mem(&context, bytes.data(), static_cast<int>(bytes.size()));
  stbi__result_info result{};
  result.bits_per_channel = 8;
  result.channel_order = STBI_ORDER_RGB;
  int channels = 0;
  void* pixels = f->load(&context, width, height, &channels, 4, &result);
  if (pixels != nullptr && result.bits_per_channel == 16) {
    pixels = stbi__convert_16_to_8(static_cast<stbi__uint16*>(pixels), *width, *height, 4);
  }
  return static_cast<uint8_t*>(pixels);
}

void StbFree(uint8_t* pixels) { stbi_image_free(pixels); }

const char* StbFailure() {
  const char* reason = stbi_failure_reason();
  return reason != nullptr ? reason : "";
}

}  // namespace imaging::decoders
