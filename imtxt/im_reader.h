// Reading IM.txt back: the LED intensities of every file BeeldMatrix and MaakText can write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "wheel/wheel.h"

namespace imtxt {

// How the statement lines separate their fields: as written, or as included in the firmware
// after every underscore became a blank.
enum class ImForm { kUnderscores, kBlanks };

struct ImInfo {
  int32_t positions = 0;
  ImForm form = ImForm::kUnderscores;
  bool crlf = true;  // CR LF line ends, as written; false for LF
};

// True when the text starts as an IM.txt does, in either form: tells an IM.txt from other files
// by its first bytes.
bool LooksLikeIm(std::string_view head);

// Reads a whole IM.txt. On success fills led rows 1..positions with the intensities the file
// encodes, zeroes the rows after them, sets *info and returns true. Anything the writers cannot
// have written is refused: returns false, leaves led all zero and sets *error to
// "line L: " and what was expected there. More than 500 positions are refused the same way.
// Pure: any thread.
bool ReadIm(std::string_view text, wheel::LedArray& led, ImInfo* info, std::string* error);

}  // namespace imtxt
