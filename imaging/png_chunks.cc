// The bytes a decoder reads as they come, and a PNG's chunks followed through them.
#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/decoders.h"

namespace imaging::decoders {
namespace {

// What one read of the rest of a file asks for: large enough that the reads cost little, small
// enough to stay in the cache the decoder works in.
constexpr size_t kReadBytes = size_t{256} << 10;

constexpr std::array<uint32_t, 256> kCrcTable = [] {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}();

// The CRC-32 of PNG's chunks, carried on over bytes: start from 0xFFFFFFFF, end inverted.
uint32_t Crc(uint32_t crc, const uint8_t* bytes, size_t n) {
  for (size_t k = 0; k < n; ++k) crc = kCrcTable[(crc ^ bytes[k]) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t Be32(const uint8_t* b) {
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

}  // namespace

ByteSource::ByteSource(std::span<const uint8_t> bytes, PictureInput* rest)
    : now_(bytes), rest_(rest) {}

size_t ByteSource::Read(uint8_t* into, size_t n) {
  size_t got = 0;
  while (got < n) {
    if (now_.empty()) {
      if (rest_ == nullptr) break;
      buffer_.resize(kReadBytes);
      const size_t more = rest_->ReadOn(buffer_.data(), buffer_.size());
      if (more == 0) {
        rest_ = nullptr;
        break;
      }
      now_ = {buffer_.data(), more};
    }
    const size_t take = std::min(n - got, now_.size());
    std::memcpy(into + got, now_.data(), take);
    now_ = now_.subspan(take);
    got += take;
  }
  taken_ += got;
  return got;
}

void PngChunks::Add(const uint8_t* bytes, size_t n) {
  while (n > 0 && part_ != Part::kEnd) {
    const size_t take = static_cast<size_t>(std::min<uint64_t>(left_, n));
    switch (part_) {
      case Part::kHeader:
        std::memcpy(header_ + (8 - left_), bytes, take);
        break;
      case Part::kBody:
        if (checking_) crc_ = Crc(crc_, bytes, take);
        break;
      case Part::kChecksum:
        for (size_t k = 0; k < take; ++k) stated_ = (stated_ << 8) | bytes[k];
        break;
      case Part::kSignature:
      case Part::kEnd:
        break;
    }
    bytes += take;
    n -= take;
    left_ -= take;
    if (left_ == 0) Next();
  }
}

void PngChunks::Next() {
  switch (part_) {
    case Part::kSignature:
      part_ = Part::kHeader;
      left_ = 8;
      return;
    case Part::kHeader: {
      const uint8_t* type = header_ + 4;
      if (std::memcmp(type, "IEND", 4) == 0) {
        part_ = Part::kEnd;
        return;
      }
      const uint32_t length = Be32(header_);
      if (std::memcmp(type, "IDAT", 4) == 0) pixel_data_ += length;
      // Critical chunks have an upper-case first letter.
      checking_ = (type[0] & 0x20) == 0;
      if (checking_) crc_ = Crc(0xFFFFFFFFu, type, 4);
      part_ = Part::kBody;
      left_ = length;
      if (left_ == 0) Next();
      return;
    }
    case Part::kBody:
      part_ = Part::kChecksum;
      left_ = 4;
      stated_ = 0;
      return;
    case Part::kChecksum:
      if (checking_ && stated_ != ~crc_) checksum_wrong_ = true;
      part_ = Part::kHeader;
      left_ = 8;
      return;
    case Part::kEnd:
      return;
  }
}

}  // namespace imaging::decoders
