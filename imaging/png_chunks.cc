// A PNG's chunks followed through its bytes, and the bytes read ahead of its decoder.
#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
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
  bool last = false;          // nothing comes after it
  std::exception_ptr thrown;  // what reading it threw (the last piece)
  int64_t wrong_end = -1;     // the chunks' as of its end
  int64_t pixel_data = 0;
};

// Piece k lies in buffer k % kPiecesAhead (when it is read rather than in memory), and may be
// made once the decoder has moved past piece k - kPiecesAhead.
struct PngStream::Ahead {
  std::mutex mutex;
  std::condition_variable changed;
  std::array<Piece, kPiecesAhead> pieces;
  std::array<std::vector<uint8_t>, kPiecesAhead> buffers;
  uint64_t made = 0;   // pieces made
  uint64_t moved = 0;  // pieces the decoder has moved past
  bool stop = false;
};

PngStream::PngStream(std::span<const uint8_t> bytes, PictureInput* rest)
    : view_(bytes), rest_(rest), ahead_(std::make_unique<Ahead>()) {
  if (rest_ != nullptr) {
    for (std::vector<uint8_t>& buffer : ahead_->buffers) buffer.resize(kPieceBytes);
  }
  try {
    reader_ = rts::StartThread([this] { Run(); });
  } catch (const std::system_error&) {
    // Without a second thread each piece is made when the decoder comes to it.
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

// Piece k: of the bytes in memory, or read; its chunks followed.
PngStream::Piece PngStream::Make(uint64_t k) {
  Piece piece;
  if (!view_.empty()) {
    piece.bytes = view_.first(std::min(view_.size(), kPieceBytes));
    view_ = view_.subspan(piece.bytes.size());
  } else if (rest_ != nullptr) {
    std::vector<uint8_t>& into = ahead_->buffers[k % kPiecesAhead];
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

// The reading thread: pieces until the last, each as soon as there is room for it.
void PngStream::Run() {
  Ahead& ahead = *ahead_;
  for (uint64_t k = 0;; ++k) {
    {
      std::unique_lock lock(ahead.mutex);
      ahead.changed.wait(lock, [&] { return ahead.stop || k < ahead.moved + kPiecesAhead; });
      if (ahead.stop) return;
    }
    Piece piece = Make(k);
    const bool last = piece.last;
    {
      const std::lock_guard lock(ahead.mutex);
      ahead.pieces[k % kPiecesAhead] = std::move(piece);
      ahead.made = k + 1;
    }
    ahead.changed.notify_all();
    if (last) return;
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
        ahead_->moved = next_;
        ahead_->changed.notify_all();
        ahead_->changed.wait(lock, [&] { return next_ < ahead_->made; });
        piece = std::move(ahead_->pieces[next_ % kPiecesAhead]);
      } else {
        piece = Make(next_);
      }
      ++next_;
      now_ = piece.bytes;
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
