// The formats stb_image decodes for the loader: BMP, GIF's first frame and TGA.
#include <stb_image.h>

#include <cstring>
#include <memory>
#include <new>

#include "imaging/decoders.h"

namespace imaging::decoders {

bool DecodeWithStb(std::span<const uint8_t> bytes, const char* format, int64_t bytes_per_pixel,
                   Image* out, std::string* error) {
  const int length = static_cast<int>(bytes.size());  // the caller has refused files over 2 GB
  int width = 0, height = 0, channels = 0;
  if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0) {
    *error = Damaged(format, stbi_failure_reason());
    return false;
  }
  if (width <= 0 || height <= 0) {
    *error = Damaged(format, "no pixels");
    return false;
  }
  if (!WithinMemory(width, height, int64_t{width} * height * bytes_per_pixel, error)) return false;
  const std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, STBI_rgb_alpha),
      stbi_image_free);
  if (pixels == nullptr) {
    const char* reason = stbi_failure_reason();
    if (reason != nullptr && std::strcmp(reason, "outofmem") == 0) throw std::bad_alloc();
    *error = Damaged(format, reason != nullptr ? reason : "");
    return false;
  }
  if (!Allocate(width, height, out, error)) return false;
  std::memcpy(out->rgba.data(), pixels.get(), out->rgba.size());
  return true;
}

}  // namespace imaging::decoders
