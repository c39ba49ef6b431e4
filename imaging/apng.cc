// Animated PNG: each frame written as a PNG by the PNG writer, its image data moved into the
// animation's frame chunks (acTL, fcTL, fdAT) with their own sequence numbers and CRCs.
#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>
#include <numeric>

#include "imaging/animation.h"

namespace imaging {
namespace {

constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

uint32_t Crc(uint32_t crc, std::span<const uint8_t> bytes) {
  const auto& table = CrcTable();
  for (uint8_t b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc;
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void PutBe16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// A PNG's chunks by type; the writer's own output, so well formed.
struct PngChunk {
  std::string type;
  std::span<const uint8_t> data;
};
std::vector<PngChunk> Chunks(std::span<const uint8_t> png) {
  std::vector<PngChunk> chunks;
  for (size_t at = sizeof kSignature; at + 12 <= png.size();) {
    const uint32_t length = Be32(&png[at]);
    assert(at + 12 + length <= png.size());
    chunks.push_back(
        {std::string(reinterpret_cast<const char*>(&png[at + 4]), 4), png.subspan(at + 8, length)});
    at += 12 + length;
  }
  return chunks;
}

}  // namespace

FrameDelay ApngDelay(double seconds) {
  // Milliseconds where they fit, then coarser units for long frames.
  const double s = std::clamp(seconds, 0.0, 65535.0);
  for (const uint32_t unit : {1000u, 100u, 10u, 1u}) {
    auto count = static_cast<uint32_t>(std::lround(s * unit));
    if (unit == 1000) count = std::max(count, 1u);
    if (count <= 65535 || unit == 1) {
      count = std::clamp(count, 1u, 65535u);
      const uint32_t common = std::gcd(count, unit);
      return {static_cast<uint16_t>(count / common), static_cast<uint16_t>(unit / common)};
    }
  }
  return {};
}

ApngWriter::ApngWriter(int32_t frames, Sink sink) : frames_(frames), sink_(std::move(sink)) {
  assert(frames >= 1);
}

void ApngWriter::WriteChunk(const char* type, std::span<const uint8_t> data) {
  std::vector<uint8_t> head;
  PutBe32(head, static_cast<uint32_t>(data.size()));
  head.insert(head.end(), type, type + 4);
  uint32_t crc = Crc(0xFFFFFFFFu, std::span<const uint8_t>(head).subspan(4));
  crc = Crc(crc, data) ^ 0xFFFFFFFFu;
  std::vector<uint8_t> tail;
  PutBe32(tail, crc);
  sink_(head);
  sink_(data);
  sink_(tail);
}

void ApngWriter::Add(const Image& image, double seconds) {
  assert(added_ < frames_);
  assert(image.width >= 1 && image.height >= 1);
  const std::vector<uint8_t> png = EncodePng(image);
  const std::vector<PngChunk> chunks = Chunks(png);
  if (added_ == 0) {
    width_ = image.width;
    height_ = image.height;
    sink_(kSignature);
    WriteChunk("IHDR", chunks.front().data);
    std::vector<uint8_t> control;
    PutBe32(control, static_cast<uint32_t>(frames_));
    PutBe32(control, 0);  // played in an endless loop, as the wheel shows it
    WriteChunk("acTL", control);
  }
  assert(image.width == width_ && image.height == height_);
  const FrameDelay delay = ApngDelay(seconds);
  std::vector<uint8_t> frame;
  PutBe32(frame, sequence_++);
  PutBe32(frame, static_cast<uint32_t>(width_));
  PutBe32(frame, static_cast<uint32_t>(height_));
  PutBe32(frame, 0);  // x and y offsets: every frame is whole
  PutBe32(frame, 0);
  PutBe16(frame, delay.numerator);
  PutBe16(frame, delay.denominator);
  frame.push_back(0);  // dispose: none
  frame.push_back(0);  // blend: source, so each frame replaces the last
  WriteChunk("fcTL", frame);
  for (const PngChunk& c : chunks) {
    if (c.type != "IDAT") continue;
    if (added_ == 0) {
      // The first frame is the default image too.
      WriteChunk("IDAT", c.data);
      continue;
    }
    std::vector<uint8_t> data;
    data.reserve(c.data.size() + 4);
    PutBe32(data, sequence_++);
    data.insert(data.end(), c.data.begin(), c.data.end());
    WriteChunk("fdAT", data);
  }
  if (++added_ == frames_) WriteChunk("IEND", {});
}

}  // namespace imaging
