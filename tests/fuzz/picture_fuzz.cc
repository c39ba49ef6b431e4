// libFuzzer target: the picture loader on any bytes. It must refuse with a cause or give a
// picture whose size matches its pixels and keeps to the pixel limit, never crash.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "imaging/imaging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  imaging::Image image;
  std::string error;
  const std::span<const uint8_t> bytes(data, size);
  const bool looks = imaging::LooksLikePicture(bytes);
  if (!imaging::DecodePicture(bytes, &image, &error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  if (!looks || image.width < 1 || image.height < 1 ||
      int64_t{image.width} * image.height > imaging::kMaxPixels ||
      image.rgba.size() != size_t{4} * static_cast<size_t>(image.width) * image.height) {
    __builtin_trap();
  }
  return 0;
}
