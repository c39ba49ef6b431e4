// What the decoders share: their messages, the memory limit, and the reduction of decoded rows.
#include "imaging/decoders.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "imaging/geometry.h"
#include "runtime/threads.h"

namespace imaging::decoders {
namespace {

std::string Pixels(int64_t width, int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

int64_t MegabytesUp(int64_t bytes) { return (bytes + 999'999) / 1'000'000; }

// The rows a thread decodes before handing them to the other to reduce: well within a core's
// cache.
constexpr size_t kBandBytes = size_t{512} << 10;

struct SrgbTables {
  std::array<uint16_t, 256> linear{};
  // The linear light halfway between each sRGB value and the next (and past the last).
  std::array<uint32_t, 256> between{};
  // The sRGB value of the start of each stretch of 16 linear values: the nearest of each
  // value in it is that or the next, as sRGB values lie more than 16 apart in linear light.
  std::array<uint8_t, 4096> stretch{};
  SrgbTables() {
    for (int v = 0; v < 256; ++v) {
      linear[v] = static_cast<uint16_t>(std::lround(imaging::SrgbToLinear(v / 255.0) * 65535));
    }
    for (int v = 0; v < 256; ++v) {
      between[v] = v == 255
                       ? 65536
                       : static_cast<uint32_t>(std::ceil((imaging::SrgbToLinear(v / 255.0) +
                                                          imaging::SrgbToLinear((v + 1) / 255.0)) /
                                                         2 * 65535));
    }
    uint32_t v = 0;
    for (uint32_t s = 0; s < stretch.size(); ++s) {
      while (between[v] <= s * 16) ++v;
      stretch[s] = static_cast<uint8_t>(v);
    }
  }
};

const SrgbTables& Tables() {
  static const SrgbTables tables;
  return tables;
}

}  // namespace

std::string Damaged(const char* format, const std::string& reason) {
  std::string cause = "damaged picture (";
  cause += format;
  if (!reason.empty()) cause += ": " + reason;
  cause += ')';
  return cause;
}

bool WithinMemory(int64_t width, int64_t height, int64_t bytes, std::string* error) {
  if (bytes <= kMaxDecodeBytes) return true;
  *error = "picture of " + Pixels(width, height) + " needs " + std::to_string(MegabytesUp(bytes)) +
           " MB to decode, over the limit of " + std::to_string(kMaxDecodeBytes / 1'000'000) +
           " MB";
  return false;
}

bool Allocate(int64_t width, int64_t height, Image* out, std::string* error) {
  if (!WithinMemory(width, height, width * height * 4, error)) return false;
  out->rgba.resize(static_cast<size_t>(width * height * 4));  // may throw std::bad_alloc
  out->width = static_cast<int32_t>(width);
  out->height = static_cast<int32_t>(height);
  return true;
}

uint32_t SrgbToLinear16(uint8_t v) { return Tables().linear[v]; }

uint8_t Linear16ToSrgb(uint32_t v) {
  const SrgbTables& tables = Tables();
  const uint8_t first = tables.stretch[std::min<uint32_t>(v, 65535) >> 4];
  return static_cast<uint8_t>(first + (v >= tables.between[first] ? 1 : 0));
}

// The pixels the first block of a line of `size` lacks, so that one starts at the centre.
int32_t Lead(int64_t size, int32_t scale) {
  return static_cast<int32_t>((scale - (size / 2) % scale) % scale);
}

RowReducer::RowReducer(int64_t width, int64_t height, int32_t scale, Image* out)
    : width_(width), height_(height), scale_(scale), out_(out) {
  out->scale = scale;
  out->full_width = static_cast<int32_t>(width);
  out->full_height = static_cast<int32_t>(height);
  out->lead_x = Lead(width, scale);
  out->lead_y = Lead(height, scale);
  const int64_t across = (width + out->lead_x + scale - 1) / scale;
  out->width = static_cast<int32_t>(across);
  out->height = static_cast<int32_t>((height + out->lead_y + scale - 1) / scale);
  out->rgba.resize(static_cast<size_t>(across) * out->height * 4);
  sums_.assign(static_cast<size_t>(across) * 4, 0);
}

void RowReducer::AddRow(const uint8_t* rgba) {
  const auto& linear = Tables().linear;
  uint64_t* sum = sums_.data();
  for (int64_t x = 0, end = scale_ - out_->lead_x; x < width_; x = end, end += scale_, sum += 4) {
    uint64_t r = 0, g = 0, b = 0, a = 0;
    for (const uint8_t* p = rgba + x * 4; p < rgba + std::min(end, width_) * 4; p += 4) {
      r += uint64_t{linear[p[0]]} * p[3];
      g += uint64_t{linear[p[1]]} * p[3];
      b += uint64_t{linear[p[2]]} * p[3];
      a += p[3];
    }
    sum[0] += r, sum[1] += g, sum[2] += b, sum[3] += a;
  }
  ++row_;
  ++rows_;
  if ((row_ + out_->lead_y) % scale_ == 0 || row_ == height_) Flush();
}

void RowReducer::Flush() {
  uint8_t* out =
      &out_->rgba[static_cast<size_t>((row_ - 1 + out_->lead_y) / scale_) * out_->width * 4];
  for (int64_t k = 0; k < out_->width; ++k, out += 4) {
    uint64_t* sum = &sums_[static_cast<size_t>(k) * 4];
    const int64_t columns = std::min(width_, (k + 1) * scale_ - out_->lead_x) -
                            std::max<int64_t>(0, k * scale_ - out_->lead_x);
    const int64_t count = columns * rows_;
    // The colour is the alpha-weighted mean, so that alpha times colour keeps the light.
    for (int c = 0; c < 3; ++c) {
      out[c] =
          sum[3] == 0 ? 0 : Linear16ToSrgb(static_cast<uint32_t>((sum[c] + sum[3] / 2) / sum[3]));
    }
    out[3] = static_cast<uint8_t>((sum[3] + count / 2) / count);
    std::fill_n(sum, 4, 0);
  }
  rows_ = 0;
}

bool DecodeReduced(int64_t width, int64_t height, int32_t scale, Image* out,
                   const std::function<bool(uint8_t* into)>& decode_row) {
  RowReducer reducer(width, height, scale, out);
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  // Bands of whole blocks, as many as fill about kBandBytes: the threads meet once a band, and
  // each meeting costs more than reducing a few rows.
  const int64_t band_rows =
      scale * std::max<int64_t>(1, static_cast<int64_t>(kBandBytes / (row_bytes * scale)));
  struct Band {
    std::vector<uint8_t> rows;
    int64_t count = 0;   // rows decoded into it
    bool ready = false;  // decoded, not yet reduced
  };
  std::array<Band, 2> bands;
  for (Band& band : bands) band.rows.resize(row_bytes * static_cast<size_t>(band_rows));
  std::mutex mutex;
  std::condition_variable changed;
  bool finished = false;
  auto reduce = [&] {
    for (size_t next = 0;; next ^= 1) {
      Band& band = bands[next];
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return band.ready || finished; });
        if (!band.ready) return;
      }
      for (int64_t r = 0; r < band.count; ++r) reducer.AddRow(&band.rows[row_bytes * r]);
      {
        const std::lock_guard lock(mutex);
        band.ready = false;
      }
      changed.notify_all();
    }
  };
  std::thread helper;
  try {
    helper = rts::StartThread(reduce);
  } catch (const std::system_error&) {
  }
  bool ok = true;
  for (int64_t y = 0, next = 0; y < height && ok; next ^= 1) {
    Band& band = bands[next];
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return !band.ready; });
    }
    band.count = std::min<int64_t>(band_rows, height - y);
    for (int64_t r = 0; r < band.count && ok; ++r) ok = decode_row(&band.rows[row_bytes * r]);
    y += band.count;
    if (!helper.joinable()) {
      for (int64_t r = 0; r < band.count && ok; ++r) reducer.AddRow(&band.rows[row_bytes * r]);
      continue;
    }
    {
      const std::lock_guard lock(mutex);
      band.ready = ok;
    }
    changed.notify_all();
  }
  if (helper.joinable()) {
    {
      const std::lock_guard lock(mutex);
      finished = true;
    }
    changed.notify_all();
    helper.join();
  }
  return ok;
}

}  // namespace imaging::decoders
