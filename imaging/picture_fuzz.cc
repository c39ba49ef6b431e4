// libFuzzer target: any bytes through the picture loader, decoded whole or for an import (as the
// input's last bit says), headers of any size included: the loader's own limits keep the time
// and memory of each run small; a PNG again read as it is decoded, which must answer the same. A
// GIF's frames also go through the GIF decoder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "imaging/animation.h"
#include "imaging/imaging.h"

namespace {

// The same bytes read on in pieces after a short head, as a file is decoded while it is read.
class Pieces final : public imaging::PictureInput {
 public:
  Pieces(const uint8_t* data, size_t size)
      : data_(data), size_(size), at_(std::min<size_t>(size, 40)) {}
  std::span<const uint8_t> Head() const override { return {data_, std::min<size_t>(size_, 40)}; }
  size_t ReadOn(uint8_t* into, size_t n) override {
    n = std::min({n, size_ - at_, size_t{1} + at_ % 5000});
    std::copy_n(data_ + at_, n, into);
    at_ += n;
    return n;
  }
  std::vector<uint8_t> ReadWhole() override { return {data_, data_ + size_}; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_;
};

}  // namespace

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
  const bool decoded = imaging::DecodePicture({data, size}, &image, &error, options);
  // A PNG read as it is decoded gives the same answer (the other formats are read whole first).
  if (size >= 4 && std::memcmp(data, "\x89PNG", 4) == 0) {
    Pieces pieces(data, size);
    imaging::Image read;
    std::string read_error;
    if (imaging::DecodePicture(pieces, &read, &read_error, options) != decoded ||
        read_error != error || read.rgba != image.rgba) {
      __builtin_trap();
    }
  }
  if (!decoded) {
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
