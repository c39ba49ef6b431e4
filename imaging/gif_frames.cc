// Animated GIFs frame by frame: the blocks walked once to check the limits, then each frame's
// LZW data decoded straight onto one canvas, composed as browsers compose it.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/animation.h"

namespace imaging {
namespace {

// Browsers play a delay of 0 or 1 hundredths as 100 ms; many GIFs rely on it.
constexpr int32_t kShortestDelayCs = 2;
constexpr int32_t kShortDelayMs = 100;

constexpr int32_t kMaxCodes = 4096;  // LZW codes are at most 12 bits

// A frame's header: where it lies on the canvas, its colours and what follows it.
struct FrameHeader {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool interlaced = false;
  std::span<const uint8_t> palette;  // 3 bytes a colour
  int32_t transparent = -1;          // the index that keeps the canvas, or -1
  int32_t disposal = 0;
  int32_t delay_ms = 0;
  size_t data = 0;  // where its LZW data starts (the code size byte)
};

struct Screen {
  int32_t width = 0;
  int32_t height = 0;
  std::span<const uint8_t> palette;
};

std::string Damaged(const std::string& reason) { return "damaged picture (GIF: " + reason + ")"; }

std::string Size(int64_t width, int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes, size_t at = 0) : b_(bytes), at_(at) {}
  bool Has(size_t n) const { return at_ <= b_.size() && b_.size() - at_ >= n; }
  size_t at() const { return at_; }
  // REQUIRES: Has(1), Has(2), Has(n).
  uint8_t U8() { return b_[at_++]; }
  int32_t U16() {
    const int32_t v = b_[at_] | (b_[at_ + 1] << 8);
    at_ += 2;
    return v;
  }
  std::span<const uint8_t> Take(size_t n) {
    const auto s = b_.subspan(at_, n);
    at_ += n;
    return s;
  }
  // Past a run of sub-blocks and its terminator; false when the file ends first.
  bool SkipSubBlocks() {
    while (Has(1)) {
      const uint8_t length = U8();
      if (length == 0) return true;
      if (!Has(length)) return false;
      at_ += length;
    }
    return false;
  }

 private:
  std::span<const uint8_t> b_;
  size_t at_;
};

// Walks the blocks, calling frame(header) for each frame in order; frame returns false to stop.
// The data ending between two blocks counts as the end (some writers leave the trailer out).
template <class Frame>
bool Walk(std::span<const uint8_t> bytes, Screen* screen, Frame frame, std::string* error) {
  Reader r(bytes);
  if (!r.Has(13) || !IsGif(bytes)) {
    *error = IsGif(bytes) ? Damaged("truncated") : "not a picture";
    return false;
  }
  r.Take(6);
  screen->width = r.U16();
  screen->height = r.U16();
  const uint8_t flags = r.U8();
  r.Take(2);  // the background colour, which browsers ignore, and the aspect ratio
  if ((flags & 0x80) != 0) {
    const size_t size = size_t{3} << ((flags & 7) + 1);
    if (!r.Has(size)) {
      *error = Damaged("truncated");
      return false;
    }
    screen->palette = r.Take(size);
  }
  FrameHeader next;  // a graphic control extension applies to the next frame only
  while (r.Has(1)) {
    const uint8_t block = r.U8();
    if (block == 0x3B) return true;  // the trailer
    if (block == 0x21) {
      if (!r.Has(1)) break;
      const uint8_t label = r.U8();
      if (label == 0xF9 && r.Has(6) && bytes[r.at()] >= 4) {
        Reader control(bytes, r.at() + 1);
        const uint8_t packed = control.U8();
        const int32_t delay_cs = control.U16();
        const uint8_t transparent = control.U8();
        next.disposal = (packed >> 2) & 7;
        next.transparent = (packed & 1) != 0 ? transparent : -1;
        next.delay_ms = delay_cs < kShortestDelayCs ? kShortDelayMs : delay_cs * 10;
      }
      if (!r.SkipSubBlocks()) break;
      continue;
    }
    if (block != 0x2C) {
      *error = Damaged("unknown block " + std::to_string(block));
      return false;
    }
    if (!r.Has(9)) break;
    FrameHeader h = next;
    next = FrameHeader{};
    if (h.delay_ms == 0) h.delay_ms = kShortDelayMs;  // no control extension
    h.x = r.U16();
    h.y = r.U16();
    h.width = r.U16();
    h.height = r.U16();
    const uint8_t packed = r.U8();
    h.interlaced = (packed & 0x40) != 0;
    if ((packed & 0x80) != 0) {
      const size_t size = size_t{3} << ((packed & 7) + 1);
      if (!r.Has(size)) break;
      h.palette = r.Take(size);
    } else {
      h.palette = screen->palette;
    }
    if (h.palette.empty()) {
      *error = Damaged("no colour table");
      return false;
    }
    h.data = r.at();
    if (!r.Has(1)) break;
    r.U8();  // the code size, checked when decoded
    if (!r.SkipSubBlocks()) break;
    if (!frame(h)) return true;
  }
  *error = Damaged("truncated");
  return false;
}

// Reads the LZW codes of one frame's data, across its sub-blocks.
class CodeReader {
 public:
  explicit CodeReader(Reader r) : r_(r) {}
  // The next code of `bits` bits; false at the end of the data.
  bool Next(int32_t bits, int32_t* code) {
    while (have_ < bits) {
      if (left_ == 0) {
        if (done_ || !r_.Has(1)) return false;
        left_ = r_.U8();
        if (left_ == 0 || !r_.Has(left_)) {
          done_ = true;
          return false;
        }
      }
      buffer_ |= uint32_t{r_.U8()} << have_;
      have_ += 8;
      --left_;
    }
    *code = static_cast<int32_t>(buffer_ & ((1u << bits) - 1));
    buffer_ >>= bits;
    have_ -= bits;
    return true;
  }

 private:
  Reader r_;
  uint32_t buffer_ = 0;
  int32_t have_ = 0;
  int32_t left_ = 0;
  bool done_ = false;
};

// The LZW decoder's string table, reused frame after frame.
struct CodeTable {
  std::array<int16_t, kMaxCodes> prefix{};
  std::array<uint8_t, kMaxCodes> suffix{};
  std::array<uint8_t, kMaxCodes> first{};
  std::array<uint8_t, kMaxCodes> stack{};
};

// Decodes a frame's colour indices, calling put(index) for each pixel in the data's order until
// `count` pixels; data that ends early leaves the rest undrawn, data beyond is ignored.
template <class Put>
bool DecodeLzw(std::span<const uint8_t> bytes, size_t at, int64_t count, CodeTable& t, Put put,
               std::string* error) {
  Reader r(bytes, at);
  const int32_t min_size = r.U8();
  if (min_size < 1 || min_size > 8) {
    *error = Damaged("code size " + std::to_string(min_size));
    return false;
  }
  const int32_t clear = 1 << min_size;
  for (int32_t c = 0; c < clear; ++c) {
    t.prefix[c] = -1;
    t.suffix[c] = t.first[c] = static_cast<uint8_t>(c);
  }
  CodeReader codes(r);
  int32_t size = min_size + 1;
  int32_t next = clear + 2;
  int32_t previous = -1;
  int64_t done = 0;
  int32_t code = 0;
  while (done < count && codes.Next(size, &code)) {
    if (code == clear) {
      size = min_size + 1;
      next = clear + 2;
      previous = -1;
      continue;
    }
    if (code == clear + 1) break;
    if (previous < 0) {
      if (code > clear) {
        *error = Damaged("bad code");
        return false;
      }
      put(t.suffix[code]);
      ++done;
      previous = code;
      continue;
    }
    if (code > next || (code == next && next == kMaxCodes)) {
      *error = Damaged("bad code");
      return false;
    }
    const uint8_t head = code < next ? t.first[code] : t.first[previous];
    if (next < kMaxCodes) {
      t.prefix[next] = static_cast<int16_t>(previous);
      t.suffix[next] = head;
      t.first[next] = t.first[previous];
      ++next;
      if (next == (1 << size) && size < 12) ++size;
    }
    // The string of code, last index first.
    int32_t depth = 0;
    for (int32_t c = code; c >= 0; c = t.prefix[c]) t.stack[depth++] = t.suffix[c];
    while (depth > 0 && done < count) {
      put(t.stack[--depth]);
      ++done;
    }
    previous = code;
  }
  return true;
}

// Rows of an interlaced frame come in four passes: every 8th from 0, every 8th from 4, every 4th
// from 2, every 2nd from 1.
class RowOrder {
 public:
  RowOrder(int32_t height, bool interlaced)
      : height_(height), pass_(interlaced ? 0 : 3), step_(interlaced ? 8 : 1) {}
  int32_t row() const { return row_; }
  void Advance() {
    row_ += step_;
    while (row_ >= height_ && pass_ < 3) {
      ++pass_;
      constexpr int32_t kStart[] = {0, 4, 2, 1};
      constexpr int32_t kStep[] = {8, 8, 4, 2};
      row_ = kStart[pass_];
      step_ = kStep[pass_];
    }
  }

 private:
  int32_t height_;
  int32_t pass_;
  int32_t step_;
  int32_t row_ = 0;
};

}  // namespace

bool IsGif(std::span<const uint8_t> head) {
  return head.size() >= 6 && std::memcmp(head.data(), "GIF8", 4) == 0 &&
         (head[4] == '7' || head[4] == '9') && head[5] == 'a';
}

bool ScanGif(std::span<const uint8_t> bytes, GifInfo* info, std::string* error) {
  Screen screen;
  int64_t frames = 0;
  int64_t pixels = 0;  // the frames' own pictures
  int32_t right = 0;   // how far the frames reach, for a screen that gives no size
  int32_t bottom = 0;
  std::string frame_error;
  info->delays_ms.clear();
  const bool walked = Walk(
      bytes, &screen,
      [&](const FrameHeader& h) {
        ++frames;
        if (frame_error.empty() && int64_t{h.width} * h.height > kMaxPixels) {
          frame_error = "frame " + std::to_string(frames) + " of " + Size(h.width, h.height) +
                        " is over " + std::to_string(kMaxPixels / 1'000'000) + " megapixels";
        }
        pixels += int64_t{h.width} * h.height;
        right = std::max(right, h.x + h.width);
        bottom = std::max(bottom, h.y + h.height);
        if (frames <= kMaxFrames) info->delays_ms.push_back(h.delay_ms);
        return true;
      },
      error);
  if (!walked) return false;
  if (frames == 0) {
    *error = Damaged("no frames");
    return false;
  }
  // Browsers take the frames' extent for a screen of no size.
  info->width = screen.width > 0 ? screen.width : right;
  info->height = screen.height > 0 ? screen.height : bottom;
  const int64_t canvas = int64_t{info->width} * info->height;
  if (canvas > kMaxPixels) {
    *error = "picture of " + Size(info->width, info->height) + " is over " +
             std::to_string(kMaxPixels / 1'000'000) + " megapixels";
    return false;
  }
  if (!frame_error.empty()) {
    *error = frame_error;
    return false;
  }
  if (frames > kMaxFrames) {
    *error = "animation of " + std::to_string(frames) + " frames is over " +
             std::to_string(kMaxFrames) + " frames";
    return false;
  }
  if (canvas * frames + pixels > kMaxAnimationPixels) {
    *error = "animation of " + std::to_string(frames) + " frames of " +
             Size(info->width, info->height) + " is over " +
             std::to_string(kMaxAnimationPixels / 1'000'000) + " megapixels in all";
    return false;
  }
  return true;
}

bool DecodeGif(std::span<const uint8_t> bytes, const GifFrameSink& sink, std::string* error) {
  GifInfo info;
  if (!ScanGif(bytes, &info, error)) return false;
  Image canvas;
  std::vector<uint8_t> saved;  // under a frame that puts back what it covered
  auto table = std::make_unique<CodeTable>();
  try {
    canvas.width = info.width;
    canvas.height = info.height;
    canvas.rgba.assign(static_cast<size_t>(info.width) * info.height * 4, 0);
  } catch (const std::bad_alloc&) {
    *error = "not enough memory for a picture of " + Size(info.width, info.height);
    return false;
  }
  const int64_t stride = int64_t{canvas.width} * 4;
  int32_t number = 0;
  bool ok = true;
  Screen screen;
  const bool walked = Walk(
      bytes, &screen,
      [&](const FrameHeader& h) {
        // The frame's rectangle on the canvas; a frame may reach past it.
        const int32_t x0 = std::min(h.x, canvas.width);
        const int32_t y0 = std::min(h.y, canvas.height);
        const int32_t x1 = std::min(h.x + h.width, canvas.width);
        const int32_t y1 = std::min(h.y + h.height, canvas.height);
        const size_t row_bytes = static_cast<size_t>(x1 - x0) * 4;
        const bool covers = x1 > x0 && y1 > y0;  // some of the canvas
        auto at = [&](int32_t y) { return canvas.rgba.data() + y * stride + x0 * 4; };
        if (covers && h.disposal == 3) {
          try {
            saved.resize(row_bytes * (y1 - y0));
          } catch (const std::bad_alloc&) {
            *error = "not enough memory for a picture of " + Size(canvas.width, canvas.height);
            return ok = false;
          }
          for (int32_t y = y0; y < y1; ++y) {
            std::memcpy(saved.data() + row_bytes * (y - y0), at(y), row_bytes);
          }
        }
        const int32_t colours = static_cast<int32_t>(h.palette.size() / 3);
        RowOrder rows(h.height, h.interlaced);
        int32_t column = 0;
        auto put = [&](uint8_t index) {
          const int32_t x = h.x + column;
          const int32_t y = h.y + rows.row();
          if (index != h.transparent && index < colours && x < canvas.width && y < canvas.height) {
            uint8_t* p = &canvas.rgba[y * stride + x * 4];
            std::memcpy(p, &h.palette[index * 3], 3);
            p[3] = 255;
          }
          if (++column == h.width) {
            column = 0;
            rows.Advance();
          }
        };
        if (!DecodeLzw(bytes, h.data, int64_t{h.width} * h.height, *table, put, error)) {
          return ok = false;
        }
        if (!sink(number++, canvas, h.delay_ms)) return false;
        if (covers && h.disposal == 2) {
          for (int32_t y = y0; y < y1; ++y) {
            std::memset(at(y), 0, row_bytes);
          }
        } else if (covers && h.disposal == 3) {
          for (int32_t y = y0; y < y1; ++y) {
            std::memcpy(at(y), saved.data() + row_bytes * (y - y0), row_bytes);
          }
        }
        return true;
      },
      error);
  return walked && ok;
}

}  // namespace imaging
