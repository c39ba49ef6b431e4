// The picture loader and the PNG writer, on stb_image and stb_image_write.
#include <stb_image.h>
#include <stb_image_write.h>

#include <climits>
#include <cstring>
#include <new>

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

// A JPEG's size is in its first start-of-frame segment.
bool JpegSize(std::span<const uint8_t> b, int64_t* width, int64_t* height) {
  size_t at = 2;
  while (at + 4 <= b.size()) {
    if (b[at] != 0xFF) return false;
    const uint8_t marker = b[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 9 > b.size()) return false;
      *height = Be16(b, at + 5);
      *width = Be16(b, at + 7);
      return true;
    }
    at += 2 + Be16(b, at + 2);
  }
  return false;
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
bool DecodePnm(std::span<const uint8_t> b, Image* out, std::string* cause) {
  size_t at = 2;
  int64_t width = 0, height = 0, maxval = 0;
  if (!PnmNumber(b, &at, &width) || !PnmNumber(b, &at, &height) || !PnmNumber(b, &at, &maxval) ||
      at >= b.size() || !IsPnmBlank(b[at])) {
    *cause = "incomplete header";
    return false;
  }
  ++at;  // the one blank before the samples
  if (width < 1 || height < 1) {
    *cause = "no pixels";
    return false;
  }
  if (maxval < 1 || maxval > 65535) {
    *cause = "largest sample " + std::to_string(maxval) + " is not 1..65535";
    return false;
  }
  // The caller has refused sizes over the limit, so none of this overflows.
  const int64_t channels = b[1] == '6' ? 3 : 1;
  const int64_t sample_bytes = maxval > 255 ? 2 : 1;
  if (static_cast<int64_t>(b.size() - at) < width * height * channels * sample_bytes) {
    *cause = "truncated";
    return false;
  }
  const auto count = static_cast<size_t>(width * height);
  out->rgba.resize(count * 4);
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
  out->width = static_cast<int32_t>(width);
  out->height = static_cast<int32_t>(height);
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
    case Format::kJpeg:
      return JpegSize(b, width, height);
    case Format::kNone:
      break;
  }
  return false;
}

// width x height > kMaxPixels, without overflowing for any header's numbers.
bool OverLimit(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width > kMaxPixels / height;
}

std::string TooLarge(int64_t width, int64_t height) {
  return "picture of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels is over " + std::to_string(kMaxPixels / 1'000'000) + " megapixels";
}

std::string NoMemory(int64_t width, int64_t height) {
  return "not enough memory for a picture of " + std::to_string(width) + " x " +
         std::to_string(height) + " pixels";
}

std::string Damaged(Format f, const char* reason) {
  std::string cause = "damaged picture (";
  cause += FormatName(f);
  if (reason != nullptr && *reason != '\0') {
    cause += ": ";
    cause += reason;
  }
  cause += ')';
  return cause;
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

bool LooksLikePicture(std::span<const uint8_t> head) { return Sniff(head) != Format::kNone; }

bool DecodePicture(std::span<const uint8_t> bytes, Image* out, std::string* error) {
  const Format format = Sniff(bytes);
  if (format == Format::kNone) {
    *error = "not a picture";
    return false;
  }
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    *error = Damaged(format, "file over 2 GB");
    return false;
  }
  const int length = static_cast<int>(bytes.size());
  // The decoder refuses some large sizes without saying which; the header says it plainly.
  int64_t claimed_width = 0;
  int64_t claimed_height = 0;
  if (HeaderSize(format, bytes, &claimed_width, &claimed_height) &&
      OverLimit(claimed_width, claimed_height)) {
    *error = TooLarge(claimed_width, claimed_height);
    return false;
  }
  if (format == Format::kPnm) {
    std::string cause;
    try {
      if (DecodePnm(bytes, out, &cause)) return true;
    } catch (const std::bad_alloc&) {
      *error = NoMemory(claimed_width, claimed_height);
      return false;
    }
    *error = Damaged(format, cause.c_str());
    return false;
  }
  int width = 0;
  int height = 0;
  int channels = 0;
  // The header alone first: a picture too large is refused before anything is allocated.
  if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0) {
    *error = Damaged(format, stbi_failure_reason());
    return false;
  }
  if (width <= 0 || height <= 0) {
    *error = Damaged(format, "no pixels");
    return false;
  }
  if (OverLimit(width, height)) {
    *error = TooLarge(width, height);
    return false;
  }
  stbi_uc* pixels =
      stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, STBI_rgb_alpha);
  if (pixels == nullptr) {
    const char* reason = stbi_failure_reason();
    *error = reason != nullptr && std::strcmp(reason, "outofmem") == 0 ? NoMemory(width, height)
                                                                       : Damaged(format, reason);
    return false;
  }
  // The frame may be sized differently from what the header said (a GIF's first frame).
  if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxPixels) {
    stbi_image_free(pixels);
    *error = Damaged(format, "inconsistent size");
    return false;
  }
  const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  try {
    out->rgba.assign(pixels, pixels + size);
  } catch (const std::bad_alloc&) {
    stbi_image_free(pixels);
    *error = NoMemory(width, height);
    return false;
  }
  out->width = width;
  out->height = height;
  stbi_image_free(pixels);
  return true;
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
