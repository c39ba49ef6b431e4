// Test helpers for moving pictures: a plain GIF writer and a strict animated PNG reader.
#include "imaging/test_util.h"

#include <cstring>

namespace imaging::testing {
namespace {

void Put16(std::vector<uint8_t>& out, int32_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

// The size field of a colour table: 2^(field + 1) entries hold `count` colours.
int32_t TableField(size_t count) {
  int32_t field = 0;
  while ((size_t{2} << field) < count) ++field;
  return field;
}

void PutTable(std::vector<uint8_t>& out, const std::vector<uint32_t>& colours) {
  const size_t entries = size_t{2} << TableField(colours.size());
  for (size_t k = 0; k < entries; ++k) {
    const uint32_t c = k < colours.size() ? colours[k] : 0;
    out.push_back(static_cast<uint8_t>(c >> 16));
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c));
  }
}

// Literal codes only: with a clear code before the decoder's table would widen the codes, every
// code has min_size + 1 bits.
std::vector<uint8_t> PlainLzw(const std::vector<uint8_t>& indices, int32_t min_size) {
  const int32_t clear = 1 << min_size;
  const int32_t bits = min_size + 1;
  const int32_t run = clear - 2;  // literals between clear codes
  std::vector<uint8_t> packed;
  uint32_t buffer = 0;
  int32_t have = 0;
  auto code = [&](int32_t c) {
    buffer |= static_cast<uint32_t>(c) << have;
    have += bits;
    while (have >= 8) {
      packed.push_back(static_cast<uint8_t>(buffer & 0xFF));
      buffer >>= 8;
      have -= 8;
    }
  };
  for (size_t k = 0; k < indices.size(); ++k) {
    if (k % run == 0) code(clear);
    code(indices[k]);
  }
  code(clear + 1);
  if (have > 0) packed.push_back(static_cast<uint8_t>(buffer & 0xFF));
  std::vector<uint8_t> out = {static_cast<uint8_t>(min_size)};
  for (size_t at = 0; at < packed.size(); at += 255) {
    const size_t n = std::min<size_t>(255, packed.size() - at);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), packed.begin() + at, packed.begin() + at + n);
  }
  out.push_back(0);
  return out;
}

// Rows in the order an interlaced frame stores them.
std::vector<uint8_t> Interlace(const GifFrame& f) {
  std::vector<uint8_t> out;
  const int32_t starts[] = {0, 4, 2, 1};
  const int32_t steps[] = {8, 8, 4, 2};
  for (int32_t pass = 0; pass < 4; ++pass) {
    for (int32_t y = starts[pass]; y < f.height; y += steps[pass]) {
      const auto row = f.indices.begin() + static_cast<ptrdiff_t>(y) * f.width;
      out.insert(out.end(), row, row + f.width);
    }
  }
  return out;
}

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint32_t Crc(std::span<const uint8_t> bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutChunk(std::vector<uint8_t>& png, const char* type, std::span<const uint8_t> data) {
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  for (uint32_t v : {static_cast<uint32_t>(data.size())}) {
    for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(v >> s));
  }
  png.insert(png.end(), body.begin(), body.end());
  const uint32_t crc = Crc(body);
  for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(crc >> s));
}

const uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// A still PNG of one frame: the IHDR with the frame's size, its data, IEND.
bool DecodeFrame(std::span<const uint8_t> ihdr, uint32_t width, uint32_t height,
                 const std::vector<uint8_t>& data, Image* out, std::string* error) {
  std::vector<uint8_t> png(std::begin(kSignature), std::end(kSignature));
  std::vector<uint8_t> header(ihdr.begin(), ihdr.end());
  for (int k = 0; k < 4; ++k) {
    header[k] = static_cast<uint8_t>(width >> (24 - 8 * k));
    header[4 + k] = static_cast<uint8_t>(height >> (24 - 8 * k));
  }
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", data);
  PutChunk(png, "IEND", {});
  return DecodePicture(png, out, error);
}

}  // namespace

std::vector<uint8_t> MakeGif(int32_t width, int32_t height, const std::vector<uint32_t>& colours,
                             const std::vector<GifFrame>& frames) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, width);
  Put16(out, height);
  out.push_back(colours.empty() ? 0 : static_cast<uint8_t>(0x80 | TableField(colours.size())));
  out.push_back(0);
  out.push_back(0);
  if (!colours.empty()) PutTable(out, colours);
  for (const GifFrame& f : frames) {
    if (f.control) {
      out.insert(out.end(), {0x21, 0xF9, 4});
      out.push_back(static_cast<uint8_t>((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0)));
      Put16(out, f.delay_cs);
      out.push_back(static_cast<uint8_t>(f.transparent >= 0 ? f.transparent : 0));
      out.push_back(0);
    }
    out.push_back(0x2C);
    Put16(out, f.x);
    Put16(out, f.y);
    Put16(out, f.width);
    Put16(out, f.height);
    const bool local = !f.local_colours.empty();
    out.push_back(static_cast<uint8_t>((local ? 0x80 | TableField(f.local_colours.size()) : 0) |
                                       (f.interlaced ? 0x40 : 0)));
    if (local) PutTable(out, f.local_colours);
    const size_t entries = local ? f.local_colours.size() : colours.size();
    const int32_t min_size = std::max(2, TableField(entries) + 1);
    const std::vector<uint8_t> data = PlainLzw(f.interlaced ? Interlace(f) : f.indices, min_size);
    out.insert(out.end(), data.begin(), data.end());
  }
  out.push_back(0x3B);
  return out;
}

bool ReadApng(std::span<const uint8_t> bytes, Apng* out, std::string* error) {
  *out = Apng{};
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0) {
    *error = "no PNG signature";
    return false;
  }
  std::span<const uint8_t> ihdr;
  uint32_t expected_frames = 0;
  bool animated = false;
  uint32_t sequence = 0;
  bool have_frame = false;
  ApngFrame frame;
  std::vector<uint8_t> data;          // the current frame's image data
  std::vector<uint8_t> default_data;  // IDAT's
  bool ended = false;
  auto finish_frame = [&]() -> bool {
    if (!have_frame) return true;
    if (!DecodeFrame(ihdr, frame.width, frame.height, data, &frame.image, error)) {
      *error = "frame " + std::to_string(out->frames.size() + 1) + ": " + *error;
      return false;
    }
    out->frames.push_back(std::move(frame));
    frame = ApngFrame{};
    data.clear();
    have_frame = false;
    return true;
  };
  for (size_t at = 8; at < bytes.size();) {
    if (ended) {
      *error = "bytes after IEND";
      return false;
    }
    if (at + 12 > bytes.size()) {
      *error = "truncated chunk";
      return false;
    }
    const uint32_t length = Be32(&bytes[at]);
    if (at + 12 + length > bytes.size()) {
      *error = "truncated chunk";
      return false;
    }
    const std::string type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
    const auto body = bytes.subspan(at + 4, 4 + length);
    const auto d = bytes.subspan(at + 8, length);
    if (Crc(body) != Be32(&bytes[at + 8 + length])) {
      *error = "bad CRC in " + type;
      return false;
    }
    at += 12 + length;
    if (type == "IHDR") {
      ihdr = d;
    } else if (type == "acTL") {
      if (!default_data.empty() || length != 8) {
        *error = "acTL after the image data or of the wrong size";
        return false;
      }
      animated = true;
      expected_frames = Be32(&d[0]);
      out->plays = Be32(&d[4]);
    } else if (type == "fcTL" || type == "fdAT") {
      if (length < 4 || Be32(&d[0]) != sequence++) {
        *error = type + " out of sequence";
        return false;
      }
      if (type == "fcTL") {
        if (!finish_frame()) return false;
        if (length != 26) {
          *error = "fcTL of the wrong size";
          return false;
        }
        have_frame = true;
        frame.width = Be32(&d[4]);
        frame.height = Be32(&d[8]);
        frame.x = Be32(&d[12]);
        frame.y = Be32(&d[16]);
        frame.delay_numerator = static_cast<uint16_t>((d[20] << 8) | d[21]);
        frame.delay_denominator = static_cast<uint16_t>((d[22] << 8) | d[23]);
        frame.dispose = d[24];
        frame.blend = d[25];
      } else {
        if (!have_frame) {
          *error = "fdAT without fcTL";
          return false;
        }
        data.insert(data.end(), d.begin() + 4, d.end());
      }
    } else if (type == "IDAT") {
      default_data.insert(default_data.end(), d.begin(), d.end());
      if (have_frame) data.insert(data.end(), d.begin(), d.end());
    } else if (type == "IEND") {
      ended = true;
    }
  }
  if (!ended) {
    *error = "no IEND";
    return false;
  }
  if (!finish_frame()) return false;
  if (!animated || out->frames.size() != expected_frames) {
    *error = "acTL counts " + std::to_string(expected_frames) + " frames, the file has " +
             std::to_string(out->frames.size());
    return false;
  }
  if (ihdr.size() < 8) {
    *error = "no IHDR";
    return false;
  }
  return DecodeFrame(ihdr, Be32(&ihdr[0]), Be32(&ihdr[4]), default_data, &out->default_image,
                     error);
}

}  // namespace imaging::testing
