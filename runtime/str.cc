// Number conversion between text and 32-bit integers.
#include "runtime/str.h"

namespace Str {

int32_t StrToInt(std::string_view s) {
  size_t k = 0;
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    k = 1;
  }
  uint32_t value = 0;
  for (; k < s.size() && s[k] >= '0' && s[k] <= '9'; ++k) {
    const uint32_t digit = static_cast<uint32_t>(s[k] - '0');
    // A digit that would pass 4294967295 ends the number without being added.
    if (value > (UINT32_MAX - digit) / 10) break;
    value = value * 10 + digit;
  }
  // Magnitudes above 2147483647 are taken as their two's-complement pattern; the sign negates
  // in 32-bit arithmetic, so unsigned arithmetic keeps it free of overflow.
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

std::string IntToStr(int32_t v) {
  // The magnitude in unsigned arithmetic, so -2147483648 needs no case of its own.
  uint32_t magnitude = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
  char digits[12];
  size_t n = sizeof digits;
  do {
    digits[--n] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (v < 0) digits[--n] = '-';
  return std::string(digits + n, sizeof digits - n);
}

}  // namespace Str
