// Test helpers for moving pictures: a plain GIF writer and a strict animated PNG reader.
#include "imaging/test_util.h"

#include <cstring>

namespace imaging::testing {
namespace {

// Bytes one by one: GCC 12 at -O3 misreads an inserted list after the vector grows.
void Put(std::vector<uint8_t>& out, std::initializer_list<int32_t> bytes) {
  for (int32_t b : bytes) out.push_back(static_cast<uint8_t>(b));
}
void Put16(std::vector<uint8_t>& out, int32_t v) { Put(out, {v & 0xFF, (v >> 8) & 0xFF}); }
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}
uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The size field of a colour table: 2^(field + 1) entries hold `count` colours.
int32_t TableField(size_t count) {
  int32_t field = 0;
  while ((size_t{2} << field) < count) ++field;
  return field;
}

void PutTable(std::vector<uint8_t>& out, const std::vector<uint32_t>& colours) {
  for (size_t k = 0; k < (size_t{2} << TableField(colours.size())); ++k) {
    const uint32_t c = k < colours.size() ? colours[k] : 0;
    Put(out, {static_cast<int32_t>(c >> 16) & 0xFF, static_cast<int32_t>(c >> 8) & 0xFF,
              static_cast<int32_t>(c) & 0xFF});
  }
}

// Literal codes of min_size + 1 bits, a clear code every 2^min_size - 2 of them.
std::vector<uint8_t> PlainLzw(const std::vector<uint8_t>& indices, int32_t min_size) {
  const int32_t clear = 1 << min_size;
  std::vector<uint8_t> packed;
  uint32_t buffer = 0;
  int32_t have = 0;
  auto code = [&](int32_t c) {
    buffer |= static_cast<uint32_t>(c) << have;
    for (have += min_size + 1; have >= 8; have -= 8, buffer >>= 8) {
      packed.push_back(static_cast<uint8_t>(buffer));
    }
  };
  for (size_t k = 0; k < indices.size(); ++k) {
    if (k % (clear - 2) == 0) code(clear);
    code(indices[k]);
  }
  code(clear + 1);
  if (have > 0) packed.push_back(static_cast<uint8_t>(buffer));
  std::vector<uint8_t> out = {static_cast<uint8_t>(min_size)};
  for (size_t at = 0; at < packed.size(); at += 255) {
    const size_t n = std::min<size_t>(255, packed.size() - at);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), packed.begin() + at, packed.begin() + at + n);
  }
  out.push_back(0);
  return out;
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
  Put32(png, static_cast<uint32_t>(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  Put32(png, Crc(std::span<const uint8_t>(png).subspan(start)));
}

const uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

std::vector<uint8_t> MakeGif(int32_t width, int32_t height, const std::vector<uint32_t>& colours,
                             const std::vector<GifFrame>& frames) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, width);
  Put16(out, height);
  Put(out, {colours.empty() ? 0 : 0x80 | TableField(colours.size()), 0, 0});
  if (!colours.empty()) PutTable(out, colours);
  for (const GifFrame& f : frames) {
    if (f.control) {
      Put(out, {0x21, 0xF9, 4, (f.disposal << 2) | (f.transparent >= 0 ? 1 : 0)});
      Put16(out, f.delay_cs);
      Put(out, {std::max(f.transparent, 0), 0});
    }
    out.push_back(0x2C);
    for (int32_t v : {f.x, f.y, f.width, f.height}) Put16(out, v);
    const bool local = !f.local_colours.empty();
    out.push_back(static_cast<uint8_t>((local ? 0x80 | TableField(f.local_colours.size()) : 0) |
                                       (f.interlaced ? 0x40 : 0)));
    if (local) PutTable(out, f.local_colours);
    std::vector<uint8_t> indices = f.indices;
    if (f.interlaced) {
      indices.clear();
      for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
        for (int32_t y = start; y < f.height; y += step) {
          const auto row = f.indices.begin() + static_cast<ptrdiff_t>(y) * f.width;
          indices.insert(indices.end(), row, row + f.width);
        }
      }
    }
    const size_t entries = local ? f.local_colours.size() : colours.size();
    const std::vector<uint8_t> data = PlainLzw(indices, std::max(2, TableField(entries) + 1));
    out.insert(out.end(), data.begin(), data.end());
  }
  out.push_back(0x3B);
  return out;
}

bool ReadApng(std::span<const uint8_t> bytes, std::vector<ApngFrame>* frames, uint32_t* plays,
              std::string* error) {
  frames->clear();
  auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0) return fail("no PNG");
  std::span<const uint8_t> ihdr;
  std::vector<std::vector<uint8_t>> data;  // each frame's image data
  std::vector<std::pair<uint32_t, uint32_t>> sizes;
  uint32_t expected = 0, sequence = 0;
  bool animated = false, ended = false;
  for (size_t at = 8; at < bytes.size() && !ended;) {
    if (at + 12 > bytes.size()) return fail("truncated chunk");
    const uint32_t length = Be32(&bytes[at]);
    if (at + 12 + length > bytes.size()) return fail("truncated chunk");
    const std::string type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
    const auto d = bytes.subspan(at + 8, length);
    if (Crc(bytes.subspan(at + 4, 4 + length)) != Be32(&bytes[at + 8 + length])) {
      return fail("bad CRC in " + type);
    }
    at += 12 + length;
    ended = type == "IEND";
    if ((type == "fcTL" || type == "fdAT") && (length < 4 || Be32(&d[0]) != sequence++)) {
      return fail(type + " out of sequence");
    }
    if (type == "IHDR") {
      ihdr = d;
    } else if (type == "acTL") {
      if (length != 8 || !data.empty()) return fail("acTL misplaced");
      animated = true;
      expected = Be32(&d[0]);
      *plays = Be32(&d[4]);
    } else if (type == "fcTL") {
      if (length != 26 || Be32(&d[12]) != 0 || Be32(&d[16]) != 0) return fail("fcTL not whole");
      ApngFrame& f = frames->emplace_back();
      sizes.emplace_back(Be32(&d[4]), Be32(&d[8]));
      f.delay_numerator = static_cast<uint16_t>((d[20] << 8) | d[21]);
      f.delay_denominator = static_cast<uint16_t>((d[22] << 8) | d[23]);
      f.dispose = d[24];
      f.blend = d[25];
      data.emplace_back();
    } else if (type == "IDAT" || type == "fdAT") {
      if (data.empty() || (type == "IDAT") != (frames->size() == 1)) return fail(type + " alone");
      data.back().insert(data.back().end(), d.begin() + (type == "fdAT" ? 4 : 0), d.end());
    }
  }
  if (!ended || !animated || ihdr.size() != 13 || frames->size() != expected) {
    return fail("not a whole animation of " + std::to_string(expected) + " frames");
  }
  for (size_t k = 0; k < frames->size(); ++k) {
    std::vector<uint8_t> png(std::begin(kSignature), std::end(kSignature));
    std::vector<uint8_t> header;
    Put32(header, sizes[k].first);
    Put32(header, sizes[k].second);
    header.insert(header.end(), ihdr.begin() + 8, ihdr.end());
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", data[k]);
    PutChunk(png, "IEND", {});
    if (!DecodePicture(png, &(*frames)[k].image, error)) {
      return fail("frame " + std::to_string(k + 1) + ": " + *error);
    }
  }
  return true;
}

}  // namespace imaging::testing
