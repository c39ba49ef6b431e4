// JPEG through libjpeg-turbo's TurboJPEG API: decoded at the smallest DCT scale the import can
// use, straight into the picture's buffer.
#include <turbojpeg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

#include "imaging/decoders.h"

namespace imaging::decoders {
namespace {

struct Closer {
  void operator()(void* handle) const { tjDestroy(handle); }
};

// A warning that rows are missing (the file or a segment cut short, filled with grey by the
// decoder) refuses the picture; others, such as stray bytes before a marker, do not.
bool SaysDataIsMissing(const char* message) {
  std::string text = message;
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.find("premature end") != std::string::npos;
}

}  // namespace

bool DecodeJpeg(std::span<const uint8_t> bytes, const Request& request, Image* out,
                std::string* error) {
  const std::unique_ptr<void, Closer> handle(tjInitDecompress());
  if (handle == nullptr) {
    *error = Damaged("JPEG", tjGetErrorStr2(nullptr));
    return false;
  }
  const auto size = static_cast<unsigned long>(bytes.size());
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  if (tjDecompressHeader3(handle.get(), bytes.data(), size, &width, &height, &subsampling,
                          &colourspace) != 0) {
    *error = Damaged("JPEG", tjGetErrorStr2(handle.get()));
    return false;
  }
  // The smallest DCT scale whose blocks, laid from the picture's corner, meet at its centre as
  // the import's do, and after which the import's own reduction (whole decoded pixels at least a
  // sample spacing wide) comes out at most a quarter coarser than it would be of the whole
  // picture: the import sees the same light, within the decoder's rounding.
  int scale = 1;
  for (int s : {8, 4, 2}) {
    const double coarser =
        s * std::ceil(request.pixels_per_sample / s) / std::max(1, request.import_block);
    if (request.import_block >= s && coarser <= 1.25 && Lead(width, s) == 0 &&
        Lead(height, s) == 0) {
      scale = s;
      break;
    }
  }
  const tjscalingfactor factor{1, scale};
  const int decoded_width = TJSCALED(width, factor);
  const int decoded_height = TJSCALED(height, factor);
  if (!WithinMemory(width, height, int64_t{decoded_width} * decoded_height * 4, error) ||
      !Allocate(decoded_width, decoded_height, out, error)) {
    return false;
  }
  const bool cmyk = colourspace == TJCS_CMYK || colourspace == TJCS_YCCK;
  if (tjDecompress2(handle.get(), bytes.data(), size, out->rgba.data(), decoded_width, 0,
                    decoded_height, cmyk ? TJPF_CMYK : TJPF_RGBA, TJFLAG_LIMITSCANS) != 0) {
    const char* message = tjGetErrorStr2(handle.get());
    if (tjGetErrorCode(handle.get()) != TJERR_WARNING || SaysDataIsMissing(message)) {
      *error = Damaged("JPEG", message);
      return false;
    }
  }
  if (cmyk) {
    // Stored as the inks' complements, as the common writers store them: each of cyan, magenta
    // and yellow with black gives red, green and blue.
    for (size_t p = 0; p < out->rgba.size(); p += 4) {
      uint8_t* px = &out->rgba[p];
      const unsigned k = px[3];
      for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>((px[c] * k + 127) / 255);
      px[3] = 255;
    }
  }
  out->scale = scale;
  out->full_width = width;
  out->full_height = height;
  return true;
}

}  // namespace imaging::decoders
