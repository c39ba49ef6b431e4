// libFuzzer target: any bytes through the picture loader, decoded whole or for an import (as the
// input's last bit says), headers of any size included: the loader's own limits keep the time
// and memory of each run small. A GIF's frames also go through the GIF decoder.
#include <cstddef>
#include <cstdint>

#include "imaging/animation.h"
#include "imaging/imaging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  imaging::DecodeOptions options;
  if (size > 0 && (data[size - 1] & 1) != 0) options.for_import = imaging::Fit::kCover;
  imaging::Image image;
  std::string error;
  imaging::GifInfo gif;
  if (imaging::IsGif({data, size}) && (!imaging::ScanGif({data, size}, &gif, &error) ||
                                       int64_t{gif.width} * gif.height <= 1'000'000)) {
    const bool decoded = imaging::DecodeGif(
        {data, size},
        [](int32_t, const imaging::Image& canvas, int32_t) {
          if (canvas.rgba.size() != static_cast<size_t>(canvas.width) * canvas.height * 4) {
            __builtin_trap();
          }
          return true;
        },
        &error);
    if (!decoded && error.empty()) __builtin_trap();
    error.clear();
  }
  if (!imaging::DecodePicture({data, size}, &image, &error, options)) {
    if (error.empty()) __builtin_trap();  // every refusal names its cause
    return 0;
  }
  if (image.width <= 0 || image.height <= 0 || image.scale < 1 ||
      image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4 ||
      image.FullWidth() < image.width || image.FullHeight() < image.height) {
    __builtin_trap();
  }
  return 0;
}
