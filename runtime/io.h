// Console output and integer input of the dialog.
#pragma once

#include <cstdint>
#include <string_view>

namespace IO {

// Module start: settings and the console line buffer. Runs once; later calls do nothing.
void Start();

// Writes the text of s (up to its first NUL) to standard output; every LF leaves as CR LF.
void WrStr(std::string_view s);
// Ends the console line (CR LF).
void WrLn();
// Reads the next item of standard input as a base-10 number (see Str::StrToInt).
// Throws rts::InputEnded when standard input has no further line. Main thread only.
int32_t RdInt();

}  // namespace IO
