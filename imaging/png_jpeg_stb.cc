// PNG and JPEG through stb, for builds where the system has no libspng or libjpeg-turbo (the
// Windows build). stb decodes the whole picture, which the memory limit bounds.
#include "imaging/decoders.h"

namespace imaging::decoders {

// stb's JPEG: a plane per component, the coefficients of a progressive picture, the output and
// the copy; its PNG: the inflated rows (up to 8 bytes a pixel), the output and the copy.
bool DecodeJpeg(std::span<const uint8_t> bytes, const Request&, Image* out, std::string* error) {
  return DecodeWithStb(bytes, "JPEG", 18, out, error);
}

bool DecodePng(std::span<const uint8_t> bytes, const Request&, Image* out, std::string* error) {
  return DecodeWithStb(bytes, "PNG", 20, out, error);
}

bool PngDecodesAsRead() { return false; }

// Read whole: stb takes nothing else.
bool DecodePng(PngStream& stream, const Request& request, Image* out, std::string* error) {
  std::vector<uint8_t> bytes;
  uint8_t piece[1 << 16];
  for (size_t got; (got = stream.Read(piece, sizeof piece)) > 0;) {
    bytes.insert(bytes.end(), piece, piece + got);
  }
  return DecodePng(bytes, request, out, error);
}

}  // namespace imaging::decoders
