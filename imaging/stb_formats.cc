// The formats stb_image decodes for the loader: BMP, GIF's first frame and TGA (and, where the
// system has no libraries of them, PNG and JPEG).
#include <cstring>
#include <memory>
#include <new>

#include "imaging/decoders.h"

namespace imaging::decoders {

bool DecodeWithStb(std::span<const uint8_t> bytes, const char* format, int64_t bytes_per_pixel,
                   Image* out, std::string* error) {
  int width = 0, height = 0;
  if (!StbInfo(format, bytes, &width, &height)) {
    *error = Damaged(format, StbFailure());
    return false;
  }
  if (width <= 0 || height <= 0) {
    *error = Damaged(format, "no pixels");
    return false;
  }
  if (!WithinMemory(width, height, int64_t{width} * height * bytes_per_pixel, error)) return false;
  const std::unique_ptr<uint8_t, void (*)(uint8_t*)> pixels(StbLoad(format, bytes, &width, &height),
                                                            StbFree);
  if (pixels == nullptr) {
    if (std::strcmp(StbFailure(), "outofmem") == 0) throw std::bad_alloc();
    *error = Damaged(format, StbFailure());
    return false;
  }
  if (!Allocate(width, height, out, error)) return false;
  std::memcpy(out->rgba.data(), pixels.get(), out->rgba.size());
  return true;
}

}  // namespace imaging::decoders
