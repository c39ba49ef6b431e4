// Number conversion between text and 32-bit integers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Str {

// Base 10: optional sign, then digits accumulated as unsigned 32-bit until the first non-digit
// or a digit that would overflow; the pattern is taken as two's complement. Never fails.
int32_t StrToInt(std::string_view s);

// Decimal digits of v, "-" first when negative, no "+".
std::string IntToStr(int32_t v);

}  // namespace Str
