// A PNG's chunks followed through its bytes, and the bytes read ahead of its decoder.
#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>

#include "imaging/decoders.h"
#include "runtime/threads.h"

namespace imaging::decoders {
namespace {

// The pieces the reading thread hands the decoder: large enough that handing them over costs
// little, small enough to stay in the caches; and how many it may read ahead.
constexpr size_t kPieceBytes = size_t{512} << 10;
constexpr size_t kPiecesAhead = 4;

// The CRC-32 of PNG's chunks eight bytes at a time: kCrc[k][b] is the remainder of byte b
// followed by k zero bytes.
constexpr std::array<std::array<uint32_t, 256>, 8> kCrc = [] {
  std::array<std::array<uint32_t, 256>, 8> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[0][n] = c;
  }
  for (size_t k = 1; k < 8; ++k) {
    for (size_t n = 0; n < 256; ++n) {
      table[k][n] = (table[k - 1][n] >> 8) ^ table[0][table[k - 1][n] & 0xFF];
    }
  }
  return table;
}();

uint32_t Le32(const uint8_t* b) {
  return b[0] | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

// Carries the CRC on over bytes: start from 0xFFFFFFFF, end inverted.
uint32_t Crc(uint32_t crc, const uint8_t* bytes, size_t n) {
  for (; n >= 8; n -= 8, bytes += 8) {
    const uint32_t low = crc ^ Le32(bytes);
    const uint32_t high = Le32(bytes + 4);
    crc = kCrc[7][low & 0xFF] ^ kCrc[6][(low >> 8) & 0xFF] ^ kCrc[5][(low >> 16) & 0xFF] ^
          kCrc[4][low >> 24] ^ kCrc[3][high & 0xFF] ^ kCrc[2][(high >> 8) & 0xFF] ^
          kCrc[1][(high >> 16) & 0xFF] ^ kCrc[0][high >> 24];
  }
  for (; n > 0; --n, ++bytes) crc = kCrc[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t Be32(const uint8_t* b) {
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

}  // namespace

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
    added_ += static_cast<int64_t>(take);
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
      checking_ = check_sums_ && (type[0] & 0x20) == 0;
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
      if (checking_ && stated_ != ~crc_ && first_wrong_end_ < 0) first_wrong_end_ = added_;
      part_ = Part::kHeader;
      left_ = 8;
      return;
    case Part::kEnd:
      return;
  }
}

struct PngStream::Piece {
  std::span<const uint8_t> bytes;
  int buffer = -1;            // the buffer it lies in, -1 for memory
  bool last = false;          // nothing comes after it
  std::exception_ptr thrown;  // what reading it threw (the last piece)
  int64_t wrong_end = -1;     // the chunks' as of its end
  int64_t pixel_data = 0;
};

struct PngStream::Ahead {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Piece> ready;
  std::array<std::vector<uint8_t>, kPiecesAhead> buffers;
  std::vector<int> free;  // buffers no piece lies in
  bool stop = false;
};

PngStream::PngStream(std::span<const uint8_t> bytes, PictureInput* rest)
    : view_(bytes), rest_(rest), ahead_(std::make_unique<Ahead>()) {
  if (rest_ != nullptr) {
    for (size_t k = 0; k < kPiecesAhead; ++k) {
      ahead_->buffers[k].resize(kPieceBytes);
      ahead_->free.push_back(static_cast<int>(k));
    }
  }
  try {
    reader_ = rts::StartThread([this] { Run(); });
  } catch (const std::system_error&) {
    // Without a second thread each piece is read when the decoder comes to it.
  }
}

PngStream::~PngStream() {
  if (!reader_.joinable()) return;
  {
    const std::lock_guard lock(ahead_->mutex);
    ahead_->stop = true;
  }
  ahead_->changed.notify_all();
  reader_.join();
}

// The next piece: of the bytes in memory, or read into `buffer`; its chunks followed.
PngStream::Piece PngStream::Produce(int buffer) {
  Piece piece;
  if (!view_.empty()) {
    piece.bytes = view_.first(std::min(view_.size(), kPieceBytes));
    view_ = view_.subspan(piece.bytes.size());
  } else if (rest_ != nullptr) {
    std::vector<uint8_t>& into = ahead_->buffers[static_cast<size_t>(buffer)];
    piece.buffer = buffer;
    try {
      piece.bytes = {into.data(), rest_->ReadOn(into.data(), into.size())};
    } catch (...) {
      piece.thrown = std::current_exception();
    }
    piece.last = piece.bytes.empty();
  } else {
    piece.last = true;
  }
  chunks_.Add(piece.bytes.data(), piece.bytes.size());
  piece.wrong_end = chunks_.first_wrong_end();
  piece.pixel_data = chunks_.pixel_data();
  return piece;
}

// The reading thread: pieces until the last, each as soon as the decoder has room for it.
void PngStream::Run() {
  Ahead& ahead = *ahead_;
  for (bool last = false; !last;) {
    int buffer = -1;
    {
      std::unique_lock lock(ahead.mutex);
      const bool needs_buffer = view_.empty() && rest_ != nullptr;
      ahead.changed.wait(lock, [&] {
        return ahead.stop ||
               (ahead.ready.size() < kPiecesAhead && (!needs_buffer || !ahead.free.empty()));
      });
      if (ahead.stop) return;
      if (needs_buffer) {
        buffer = ahead.free.back();
        ahead.free.pop_back();
      }
    }
    Piece piece = Produce(buffer);
    last = piece.last;
    {
      const std::lock_guard lock(ahead.mutex);
      ahead.ready.push_back(std::move(piece));
    }
    ahead.changed.notify_all();
  }
}

size_t PngStream::Read(uint8_t* into, size_t n) {
  size_t got = 0;
  while (got < n) {
    if (now_.empty()) {
      if (last_) {
        if (thrown_) std::rethrow_exception(thrown_);
        break;
      }
      Piece piece;
      if (reader_.joinable()) {
        std::unique_lock lock(ahead_->mutex);
        if (buffer_ >= 0) ahead_->free.push_back(buffer_);
        ahead_->changed.notify_all();
        ahead_->changed.wait(lock, [&] { return !ahead_->ready.empty(); });
        piece = std::move(ahead_->ready.front());
        ahead_->ready.pop_front();
      } else {
        piece = Produce(0);  // the one buffer: the piece before it is read
      }
      now_ = piece.bytes;
      buffer_ = piece.buffer;
      last_ = piece.last;
      thrown_ = piece.thrown;
      wrong_end_ = piece.wrong_end;
      pixel_data_ = piece.pixel_data;
      continue;
    }
    const size_t take = std::min(n - got, now_.size());
    std::memcpy(into + got, now_.data(), take);
    now_ = now_.subspan(take);
    got += take;
  }
  taken_ += got;
  return got;
}

}  // namespace imaging::decoders
