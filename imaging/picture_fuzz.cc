// libFuzzer target: any bytes through the picture loader, and a GIF's frames through the GIF
// decoder.
#include <stb_image.h>

#include <cstddef>
#include <cstdint>

#include "imaging/animation.h"
#include "imaging/imaging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A few damaged bytes can claim a large picture that is then decoded in full, as it should be;
  // the fuzzer's time is better spent on small ones.
  int width = 0, height = 0, channels = 0;
  if (size < (1u << 20) &&
      stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels) != 0 &&
      int64_t{width} * height > 1'000'000) {
    return 0;
  }
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
  if (!imaging::DecodePicture({data, size}, &image, &error)) {
    if (error.empty()) __builtin_trap();  // every refusal names its cause
    return 0;
  }
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) {
    __builtin_trap();
  }
  return 0;
}
