// The picture loader: the formats told apart, the headers judged (size, memory, pixel data the
// file cannot hold) before any decoder runs, and each format handed to its decoder. Also the PNG
// writer, on stb_image_write.
#include <stb_image_write.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "imaging/decoders.h"
#include "imaging/geometry.h"
#include "imaging/imaging.h"

namespace imaging {
namespace {

enum class Format { kNone, kPng, kJpeg, kBmp, kGif, kPnm, kTga };

const char* FormatName(Format f) {
  switch (f) {
    case Format::kPng:
      return "PNG";
    case Format::kJpeg:
      return "JPEG";
    case Format::kBmp:
      return "BMP";
    case Format::kGif:
      return "GIF";
    case Format::kPnm:
      return "PNM";
    case Format::kTga:
      return "TGA";
    case Format::kNone:
      break;
  }
  return "picture";
}

bool StartsWith(std::span<const uint8_t> head, std::string_view magic) {
  return head.size() >= magic.size() && std::memcmp(head.data(), magic.data(), magic.size()) == 0;
}

uint32_t Le16(std::span<const uint8_t> b, size_t at) { return b[at] | (uint32_t{b[at + 1]} << 8); }
uint32_t Be16(std::span<const uint8_t> b, size_t at) { return (uint32_t{b[at]} << 8) | b[at + 1]; }
uint32_t Le32(std::span<const uint8_t> b, size_t at) {
  return Le16(b, at) | (Le16(b, at + 2) << 16);
}
uint32_t Be32(std::span<const uint8_t> b, size_t at) {
  return (Be16(b, at) << 16) | Be16(b, at + 2);
}

// TGA has no signature: its 18-byte header must describe an image the loader can read.
bool TgaHeaderConsistent(std::span<const uint8_t> h) {
  if (h.size() < 18) return false;
  const uint8_t colormap_type = h[1];
  const uint8_t image_type = h[2];
  const uint32_t colormap_length = Le16(h, 5);
  const uint8_t colormap_bits = h[7];
  const uint32_t width = Le16(h, 12);
  const uint32_t height = Le16(h, 14);
  const uint8_t depth = h[16];
  const uint8_t descriptor = h[17];
  if (width == 0 || height == 0 || (descriptor & 0xC0) != 0) return false;
  const bool mapped = image_type == 1 || image_type == 9;
  const bool truecolour = image_type == 2 || image_type == 10;
  const bool grey = image_type == 3 || image_type == 11;
  if (mapped) {
    if (colormap_type != 1 || colormap_length == 0) return false;
    if (colormap_bits != 15 && colormap_bits != 16 && colormap_bits != 24 && colormap_bits != 32) {
      return false;
    }
    return depth == 8 || depth == 16;
  }
  if (colormap_type > 1) return false;
  if (truecolour) return depth == 15 || depth == 16 || depth == 24 || depth == 32;
  if (grey) return depth == 8 || depth == 16;
  return false;
}

bool IsPnmBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

Format Sniff(std::span<const uint8_t> head) {
  if (StartsWith(head, "\x89PNG\r\n\x1a\n")) return Format::kPng;
  if (StartsWith(head, "\xFF\xD8\xFF")) return Format::kJpeg;
  if (StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a")) return Format::kGif;
  if (StartsWith(head, "BM") && head.size() >= 14) return Format::kBmp;
  // Binary grey and colour maps only: the loader does not read the plain-text variants.
  if (head.size() >= 3 && head[0] == 'P' && (head[1] == '5' || head[1] == '6') &&
      IsPnmBlank(head[2])) {
    return Format::kPnm;
  }
  if (TgaHeaderConsistent(head)) return Format::kTga;
  return Format::kNone;
}

// What a JPEG's header says: its size from the first start-of-frame segment, and whether the
// decoder must hold every coefficient of the picture at once (progressive, or a first scan
// without every component), which its components' sampling sizes.
struct JpegInfo {
  int64_t width = 0;
  int64_t height = 0;
  bool whole_image_buffer = false;
  int64_t coefficient_bytes = 0;  // of the whole picture, when it is held at once
};

bool ReadJpegInfo(std::span<const uint8_t> b, JpegInfo* info) {
  size_t at = 2;
  bool frame_seen = false;
  int32_t components = 0;
  while (at + 4 <= b.size()) {
    if (b[at] != 0xFF) return frame_seen;
    const uint8_t marker = b[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const size_t length = Be16(b, at + 2);
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame && !frame_seen) {
      if (at + 10 > b.size()) return false;
      info->height = Be16(b, at + 5);
      info->width = Be16(b, at + 7);
      components = b[at + 9];
      frame_seen = true;
      info->whole_image_buffer = (marker & 0x03) == 0x02;  // C2, C6, CA, CE: progressive
      // Each component's blocks, padded to whole units of its sampling factors, 128 bytes a
      // block of coefficients.
      int64_t h_max = 1, v_max = 1;
      for (int32_t c = 0; c < components && at + 12 + 3 * c <= b.size(); ++c) {
        h_max = std::max<int64_t>(h_max, b[at + 11 + 3 * c] >> 4);
        v_max = std::max<int64_t>(v_max, b[at + 11 + 3 * c] & 15);
      }
      for (int32_t c = 0; c < components && at + 12 + 3 * c <= b.size(); ++c) {
        const int64_t h = std::max(1, b[at + 11 + 3 * c] >> 4);
        const int64_t v = std::max(1, b[at + 11 + 3 * c] & 15);
        const int64_t across = (info->width * h + 8 * h_max - 1) / (8 * h_max);
        const int64_t down = (info->height * v + 8 * v_max - 1) / (8 * v_max);
        info->coefficient_bytes += (across + h - 1) / h * h * ((down + v - 1) / v * v) * 128;
      }
    } else if (marker == 0xDA) {  // the first scan
      if (frame_seen && at + 5 <= b.size() && b[at + 4] < components) {
        info->whole_image_buffer = true;
      }
      return frame_seen;
    }
    at += 2 + length;
  }
  return frame_seen;
}

// The next decimal number of a binary PNM header, after blanks and comments.
bool PnmNumber(std::span<const uint8_t> b, size_t* at, int64_t* value) {
  while (*at < b.size()) {
    if (b[*at] == '#') {
      while (*at < b.size() && b[*at] != '\n' && b[*at] != '\r') ++*at;
    } else if (IsPnmBlank(b[*at])) {
      ++*at;
    } else {
      break;
    }
  }
  int64_t v = 0;
  size_t digits = 0;
  for (; *at < b.size() && b[*at] >= '0' && b[*at] <= '9'; ++*at, ++digits) {
    if (v < (int64_t{1} << 40)) v = v * 10 + (b[*at] - '0');
  }
  *value = v;
  return digits > 0;
}

// Binary PNM is read here rather than by stb, which ignores the largest sample value, garbles
// 16-bit samples and reads past the end of a short file.
bool DecodePnm(std::span<const uint8_t> b, Image* out, std::string* error) {
  size_t at = 2;
  int64_t width = 0, height = 0, maxval = 0;
  if (!PnmNumber(b, &at, &width) || !PnmNumber(b, &at, &height) || !PnmNumber(b, &at, &maxval) ||
      at >= b.size() || !IsPnmBlank(b[at])) {
    *error = decoders::Damaged("PNM", "incomplete header");
    return false;
  }
  ++at;  // the one blank before the samples
  if (width < 1 || height < 1) {
    *error = decoders::Damaged("PNM", "no pixels");
    return false;
  }
  if (maxval < 1 || maxval > 65535) {
    *error =
        decoders::Damaged("PNM", "largest sample " + std::to_string(maxval) + " is not 1..65535");
    return false;
  }
  // The caller has refused sizes over the limit, so none of this overflows.
  const int64_t channels = b[1] == '6' ? 3 : 1;
  const int64_t sample_bytes = maxval > 255 ? 2 : 1;
  if (static_cast<int64_t>(b.size() - at) < width * height * channels * sample_bytes) {
    *error = decoders::Damaged("PNM", "truncated");
    return false;
  }
  if (!decoders::Allocate(width, height, out, error)) return false;
  const auto count = static_cast<size_t>(width * height);
  const uint8_t* in = &b[at];
  for (size_t p = 0; p < count; ++p) {
    uint8_t* rgba = &out->rgba[p * 4];
    for (int64_t c = 0; c < channels; ++c, in += sample_bytes) {
      const int64_t v = std::min<int64_t>(sample_bytes == 2 ? (in[0] << 8) | in[1] : in[0], maxval);
      rgba[c] = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
    }
    if (channels == 1) rgba[1] = rgba[2] = rgba[0];
    rgba[3] = 255;
  }
  return true;
}

// The size the header claims, read without the decoder: a false answer only means "unknown".
bool HeaderSize(Format f, std::span<const uint8_t> b, int64_t* width, int64_t* height) {
  switch (f) {
    case Format::kPng:
      // The first chunk is IHDR: width and height big-endian after its length and type.
      if (b.size() < 24) return false;
      *width = Be32(b, 16);
      *height = Be32(b, 20);
      return true;
    case Format::kGif:
      if (b.size() < 10) return false;
      *width = Le16(b, 6);
      *height = Le16(b, 8);
      return true;
    case Format::kBmp: {
      if (b.size() < 26) return false;
      if (Le32(b, 14) == 12) {  // the old core header: 16-bit sizes
        *width = Le16(b, 18);
        *height = Le16(b, 20);
        return true;
      }
      *width = static_cast<int32_t>(Le32(b, 18));
      *height = static_cast<int32_t>(Le32(b, 22));
      *width = *width < 0 ? -*width : *width;
      *height = *height < 0 ? -*height : *height;
      return true;
    }
    case Format::kTga:
      *width = Le16(b, 12);
      *height = Le16(b, 14);
      return true;
    case Format::kPnm: {
      size_t at = 2;
      return PnmNumber(b, &at, width) && PnmNumber(b, &at, height);
    }
    case Format::kJpeg: {
      JpegInfo info;
      if (!ReadJpegInfo(b, &info)) return false;
      *width = info.width;
      *height = info.height;
      return true;
    }
    case Format::kNone:
      break;
  }
  return false;
}

// Whether the header is there whole: stb reads past the end of a file as zeros, so a file cut
// inside its header would otherwise decode as a picture of whatever size the zeros make.
bool HeaderComplete(Format f, std::span<const uint8_t> b) {
  switch (f) {
    case Format::kBmp: {  // the file header, the info header, and the bit fields after a short one
      if (b.size() < 18 || Le32(b, 14) < 12) return false;
      const uint64_t header = 14 + static_cast<uint64_t>(Le32(b, 14));
      const uint32_t compression = header >= 34 && b.size() >= 34 ? Le32(b, 30) : 0;
      const uint64_t masks = Le32(b, 14) == 40 ? (compression == 3   ? 12
                                                  : compression == 6 ? 16
                                                                     : 0)
                                               : 0;
      return b.size() >= header + masks;
    }
    case Format::kGif:  // the logical screen
      return b.size() >= 13;
    case Format::kPng:  // the signature and IHDR
      return b.size() >= 33;
    case Format::kTga:   // judged whole by its sniffing
    case Format::kJpeg:  // libjpeg-turbo and the PNM reader stop where the data ends
    case Format::kPnm:
    case Format::kNone:
      break;
  }
  return true;
}

// width x height > kMaxPixels, without overflowing for any header's numbers.
bool OverLimit(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width > kMaxPixels / height;
}

std::string TooLarge(int64_t width, int64_t height) {
  return "picture of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels is over " + std::to_string(kMaxPixels / 1'000'000) + " megapixels";
}

std::string Pixels(int64_t width, int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// PixelDataFits for a PNG with `data` bytes of pixel data, head its first bytes.
bool PngPixelDataFits(std::span<const uint8_t> head, int64_t data, int64_t width, int64_t height,
                      std::string* error) {
  if (head.size() < 33) return true;
  const uint8_t depth = head[24];
  const uint8_t colour = head[25];
  const int64_t channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
  // Each row: a filter byte and its samples; an interlaced picture's passes take a little more,
  // which the room above the rows allows for.
  const int64_t rows = height * (1 + (width * channels * depth + 7) / 8);
  if (data * kMaxDeflateRatio < rows) {
    *error = decoders::Damaged("PNG", "pixel data missing: " + std::to_string(data) +
                                          " bytes for " + Pixels(width, height));
    return false;
  }
  if (data > rows + rows / 4 + 65536) {
    *error = decoders::Damaged("PNG", std::to_string(data) + " bytes of pixel data for " +
                                          Pixels(width, height) + ", far more than they take");
    return false;
  }
  return true;
}

// The pixel data a file must hold for the size its header claims, judged before decoding: none
// of it missing (or, where it is compressed, not less than the best compression could make of
// it), and a PNG's not far more than its rows take. Sets *error and returns false when it fails.
bool PixelDataFits(Format f, std::span<const uint8_t> b, int64_t width, int64_t height,
                   std::string* error) {
  const int64_t size = static_cast<int64_t>(b.size());
  const int64_t pixels = width * height;
  auto missing = [&](const char* format, int64_t data) {
    *error = decoders::Damaged(format,
                               "pixel data missing: " + std::to_string(std::max<int64_t>(data, 0)) +
                                   " bytes for " + Pixels(width, height));
    return false;
  };
  switch (f) {
    case Format::kBmp: {
      const bool core = Le32(b, 14) == 12;
      const int64_t depth = core ? Le16(b, 24) : Le16(b, 28);
      const uint32_t compression = core ? 0 : Le32(b, 30);
      const int64_t offset = Le32(b, 10);
      if (compression == 1 || compression == 2) return true;  // run lengths: see DecodeBmpRle
      // Uncompressed, bit fields; the JPEG and PNG inside a BMP are for printers.
      if (compression != 0 && compression != 3 && compression != 6) {
        *error = "unsupported picture (BMP: compression " + std::to_string(compression) + ")";
        return false;
      }
      // Whole rows of 4-byte units, but for the last row's padding.
      const int64_t stride = (depth * width + 31) / 32 * 4;
      if (depth < 1 || depth > 32) return true;
      if (offset + stride * (height - 1) + (depth * width + 7) / 8 > size) {
        return missing("BMP", size - offset);
      }
      return true;
    }
    case Format::kTga: {
      const int64_t colormap_bytes = b[1] == 1 ? Le16(b, 5) * ((b[7] + 7) / 8) : 0;
      const int64_t offset = 18 + b[0] + colormap_bytes;
      const int64_t data = size - offset;
      if (b[2] >= 9) {  // run-length encoded
        if (data * kMaxTgaRlePixelsPerByte < pixels) return missing("TGA", data);
      } else if (data < pixels * ((b[16] + 7) / 8)) {
        return missing("TGA", data);
      }
      return true;
    }
    case Format::kGif:
      if (size * kMaxGifPixelsPerByte < pixels) return missing("GIF", size);
      return true;
    case Format::kPng: {
      decoders::PngChunks chunks(false);
      chunks.Add(b.data(), b.size());
      return PngPixelDataFits(b, chunks.pixel_data(), width, height, error);
    }
    case Format::kPnm:   // its decoder checks the exact size
    case Format::kJpeg:  // libjpeg-turbo stops where the data ends
    case Format::kNone:
      break;
  }
  return true;
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

void ForImport(const DecodeOptions& options, decoders::Request* request) {
  if (!options.for_import) return;
  request->import_block = ImportBlock(request->width, request->height, *options.for_import);
  request->pixels_per_sample =
      kSampleSpacing / PitchPerPixel(request->width, request->height, *options.for_import);
}

// The end of every decoding: a picture the decoder made, whole and of a size, or none.
bool Decoded(bool decoded, Format format, Image* out, std::string* error) {
  if (!decoded) {
    *out = Image{};
    return false;
  }
  // Whatever the header said, the decoder's picture is what counts (a GIF's first frame).
  if (out->width <= 0 || out->height <= 0 ||
      out->rgba.size() != static_cast<size_t>(out->width) * static_cast<size_t>(out->height) * 4) {
    *out = Image{};
    *error = decoders::Damaged(FormatName(format), "inconsistent size");
    return false;
  }
  return true;
}

std::string NoMemory(const decoders::Request& request) {
  return "not enough memory for a picture of " + Pixels(request.width, request.height);
}

// A PNG decoded reduced for an import while it is read. The checks that DecodePicture makes of
// the whole file before decoding are made after it, on what the file held, and come first.
bool DecodePngAsRead(std::span<const uint8_t> head, PictureInput& input,
                     const decoders::Request& request, Image* out, std::string* error) {
  decoders::PngStream stream(head, &input);
  std::string cause;
  bool decoded = false;
  try {
    decoded = decoders::DecodePng(stream, request, out, &cause);
  } catch (const std::bad_alloc&) {
    cause = NoMemory(request);
  }
  // The rest of the file is read as when it was read whole before decoding: the reading's
  // bounds, and all the pixel data counted.
  uint8_t piece[4096];
  while (stream.Read(piece, sizeof piece) > 0) {
  }
  if (stream.taken() > static_cast<uint64_t>(INT_MAX)) {
    cause = decoders::Damaged("PNG", "file over 2 GB");
    decoded = false;
  } else if (!PngPixelDataFits(head, stream.pixel_data(), request.width, request.height, error)) {
    *out = Image{};
    return false;
  }
  if (!decoded) *error = cause;
  return Decoded(decoded, Format::kPng, out, error);
}

}  // namespace

bool LooksLikePicture(std::span<const uint8_t> head) { return Sniff(head) != Format::kNone; }

bool DecodePicture(std::span<const uint8_t> bytes, Image* out, std::string* error,
                   const DecodeOptions& options) {
  const Format format = Sniff(bytes);
  if (format == Format::kNone) {
    *error = "not a picture";
    return false;
  }
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    *error = decoders::Damaged(FormatName(format), "file over 2 GB");
    return false;
  }
  if (!HeaderComplete(format, bytes)) {
    *error = decoders::Damaged(FormatName(format), "incomplete header");
    return false;
  }
  decoders::Request request;
  // The decoders refuse some sizes without saying which; the header says it plainly.
  if (HeaderSize(format, bytes, &request.width, &request.height)) {
    if (request.width < 1 || request.height < 1) {
      *error = decoders::Damaged(FormatName(format), "no pixels");
      return false;
    }
    if (OverLimit(request.width, request.height)) {
      *error = TooLarge(request.width, request.height);
      return false;
    }
    if (!PixelDataFits(format, bytes, request.width, request.height, error)) return false;
    ForImport(options, &request);
  }
  *out = Image{};
  bool decoded = false;
  try {
    switch (format) {
      case Format::kPnm:
        decoded = DecodePnm(bytes, out, error);
        break;
      case Format::kJpeg: {
        JpegInfo info;
        ReadJpegInfo(bytes, &info);
        // Every coefficient held at once takes memory no scaling saves.
        if (info.whole_image_buffer &&
            !decoders::WithinMemory(info.width, info.height, info.coefficient_bytes, error)) {
          return false;
        }
        decoded = decoders::DecodeJpeg(bytes, request, out, error);
        break;
      }
      case Format::kPng:
        decoded = decoders::DecodePng(bytes, request, out, error);
        break;
      case Format::kBmp:
        decoded = bytes.size() >= 34 && Le32(bytes, 14) >= 40 &&
                          (Le32(bytes, 30) == 1 || Le32(bytes, 30) == 2)
                      ? decoders::DecodeBmpRle(bytes, request, out, error)
                      : decoders::DecodeWithStb(bytes, "BMP", 8, out, error);
        break;
      case Format::kGif:  // the canvas, its background and history, and the copy
        decoded = decoders::DecodeWithStb(bytes, "GIF", 9, out, error);
        break;
      case Format::kTga:
        decoded = decoders::DecodeWithStb(bytes, "TGA", 8, out, error);
        break;
      case Format::kNone:
        break;
    }
  } catch (const std::bad_alloc&) {
    *error = NoMemory(request);
    decoded = false;
  }
  return Decoded(decoded, format, out, error);
}

bool DecodePicture(PictureInput& input, Image* out, std::string* error,
                   const DecodeOptions& options) {
  const std::span<const uint8_t> head = input.Head();
  decoders::Request request;
  // Only a picture the header shows will be reduced row by row is worth reading as it is
  // decoded; anything else, refusals from the header included, goes the way of the whole file.
  if (options.for_import && decoders::PngDecodesAsRead() && Sniff(head) == Format::kPng &&
      HeaderComplete(Format::kPng, head) &&
      HeaderSize(Format::kPng, head, &request.width, &request.height) && request.width >= 1 &&
      request.height >= 1 && !OverLimit(request.width, request.height) && head[28] == 0) {
    ForImport(options, &request);
    if (request.import_block > 1) {
      *out = Image{};
      try {
        return DecodePngAsRead(head, input, request, out, error);
      } catch (...) {
        *out = Image{};
        throw;
      }
    }
  }
  return DecodePicture(input.ReadWhole(), out, error, options);
}

std::vector<uint8_t> EncodePng(const Image& image) {
  std::vector<uint8_t> png;
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() !=
          static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
    return png;
  }
  stbi_write_png_to_func(AppendBytes, &png, image.width, image.height, 4, image.rgba.data(),
                         image.width * 4);
  return png;
}

}  // namespace imaging
