// Console output and integer input of the dialog.
#pragma once

#include <cstddef>
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

// The characters that separate input items: TAB, LF, CR, SUB and blank.
bool IsSeparator(char c);

// The console line buffer: 256 characters with a read position, refilled by one read of its
// source at a time. IO::RdInt uses the one over standard input; tests give it other sources.
class LineBuffer {
 public:
  static constexpr size_t kSize = 256;
  enum class Fill { kData, kEnd, kInterrupted };
  // Reads once, at most cap bytes, into buf; *got > 0 with kData.
  using Source = Fill (*)(void* context, char* buf, size_t cap, size_t* got);

  LineBuffer(Source source, void* context) : source_(source), context_(context) {}

  // The next item: skips separators, refilling as needed. Empty refills do not count. An item
  // ends at a separator or at the end of the buffered text; the rest waits for the next call.
  // Throws rts::InputEnded at the end of input; an interrupted read checks for the console
  // break (which raises) and reads again.
  std::string_view NextItem();
  int32_t RdInt();

 private:
  void Refill();

  Source source_;
  void* context_;
  size_t pos_ = 0;
  size_t len_ = 0;
  char buf_[kSize] = {};
};

}  // namespace IO
