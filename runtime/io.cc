// Console output through the standard output channel, and integer input through the console
// line buffer.
#include "runtime/io.h"

#include <cstring>
#include <optional>

#include "runtime/channel.h"
#include "runtime/failure.h"
#include "runtime/os.h"
#include "runtime/startup.h"
#include "runtime/str.h"

namespace IO {
namespace {

LineBuffer::Fill ReadStdIn(void*, char* buf, size_t cap, size_t* got) {
  switch (rts::os::ReadOnce(rts::os::kStdIn, buf, cap, got)) {
    case rts::os::ReadStatus::kData:
      return LineBuffer::Fill::kData;
    case rts::os::ReadStatus::kInterrupted:
      return LineBuffer::Fill::kInterrupted;
    case rts::os::ReadStatus::kEnd:
      break;
  }
  return LineBuffer::Fill::kEnd;
}

// Settings; nothing in the program changes them.
struct Settings {
  bool Prompt = false;    // nothing is written before a read
  bool RdLnOnWr = false;  // writing keeps the rest of the input line
};

struct Module {
  bool started = false;
  Settings settings;
  std::optional<LineBuffer> console;
};

Module module;

std::string_view Text(std::string_view s) {
  // The text of a string ends at its first NUL.
  const size_t nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

}  // namespace

bool IsSeparator(char c) { return c == '\t' || c == '\n' || c == '\r' || c == '\x1a' || c == ' '; }

void LineBuffer::Refill() {
  for (;;) {
    size_t got = 0;
    switch (source_(context_, buf_, kSize, &got)) {
      case Fill::kEnd:
        pos_ = len_ = 0;
        throw rts::InputEnded();
      case Fill::kInterrupted:
        rts::CheckBreak();
        continue;
      case Fill::kData:
        break;
    }
    if (got > kSize) got = kSize;
    // CR LF becomes LF; the text ends at the first NUL.
    size_t n = 0;
    for (size_t k = 0; k < got && buf_[k] != '\0'; ++k) {
      if (buf_[k] == '\r' && k + 1 < got && buf_[k + 1] == '\n') continue;
      buf_[n++] = buf_[k];
    }
    pos_ = 0;
    len_ = n;
    return;
  }
}

std::string_view LineBuffer::NextItem() {
  for (;;) {
    while (pos_ < len_ && IsSeparator(buf_[pos_])) ++pos_;
    if (pos_ < len_) break;
    Refill();
  }
  const size_t start = pos_;
  while (pos_ < len_ && !IsSeparator(buf_[pos_])) ++pos_;
  return std::string_view(buf_ + start, pos_ - start);
}

int32_t LineBuffer::RdInt() { return Str::StrToInt(NextItem()); }

void Start() {
  if (module.started) return;
  module.started = true;
  module.settings = Settings{};
  module.console.emplace(ReadStdIn, nullptr);
}

void WrStr(std::string_view s) { rts::channels::StdOut().Write(Text(s)); }

void WrLn() { rts::channels::StdOut().Write("\n"); }

int32_t RdInt() {
  Start();
  return module.console->RdInt();
}

}  // namespace IO
