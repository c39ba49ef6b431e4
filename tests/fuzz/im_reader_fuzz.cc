// libFuzzer target: the IM.txt reader on any bytes. It must refuse with a line number or give a
// wheel of 1..500 positions and intensities 0..4, never crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "imtxt/im_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static wheel::LedArray* led = new wheel::LedArray();
  imtxt::ImInfo info;
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!imtxt::ReadIm(text, *led, &info, &error)) {
    if (!error.starts_with("line ")) __builtin_trap();
    return 0;
  }
  if (info.positions < 1 || info.positions > wheel::kMaxPositions) __builtin_trap();
  for (int32_t q = 1; q <= wheel::kMaxPositions; ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
      const int32_t t = (*led)[q][i].toestand;
      if (t < 0 || t > 4 || (q > info.positions && t != 0)) __builtin_trap();
    }
  }
  return 0;
}
