// Text-file output: creation, exact bytes of strings, numbers and line ends, and closing.
#include "runtime/fio.h"

#include <cassert>
#include <string>

#include "runtime/channel.h"
#include "runtime/failure.h"
#include "runtime/os.h"
#include "runtime/str.h"

namespace FIO {
namespace {

struct Module {
  bool started = false;
  Settings settings;
  int32_t io_result = allRight;
  // A file handed over for the next Create of its name.
  std::string handed_name;
  rts::os::Fd handed_fd = rts::os::kNoFd;
  bool handed_taken = false;
};

Module module;

std::string_view Text(std::string_view s) {
  const size_t nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// Handles are slot numbers plus one, so 0 never names a file.
rts::Channel& ChannelOf(File f) { return rts::channels::At(f - 1); }

// A failed write leaves otherProblem behind and lets the failure go on.
template <class Op>
void Checked(Op op) {
  try {
    op();
  } catch (const rts::Failure&) {
    module.io_result = otherProblem;
    throw;
  }
}

}  // namespace

void Start() {
  if (module.started) return;
  module.started = true;
  rts::channels::Start();
  module.settings = Settings{};
  module.io_result = allRight;
}

const Settings& settings() { return module.settings; }

File Create(std::string_view name) {
  Start();
  const std::string path(Text(name));
  rts::os::CreateError err = rts::os::CreateError::kNone;
  rts::os::Fd fd;
  if (module.handed_fd != rts::os::kNoFd && !module.handed_taken && path == module.handed_name) {
    fd = module.handed_fd;
    module.handed_taken = true;
  } else {
    fd = rts::os::CreateForWrite(path, &err);
  }
  int slot = -1;
  if (fd != rts::os::kNoFd) {
    slot = rts::channels::Attach(fd);
    if (slot < 0) {
      rts::os::Close(fd);
      err = rts::os::CreateError::kTooManyOpen;
    }
  }
  if (slot < 0) {
    switch (err) {
      case rts::os::CreateError::kPathNotFound:
        module.io_result = fileNotFound;
        break;
      case rts::os::CreateError::kTooManyOpen:
        module.io_result = tooManyOpen;
        break;
      default:
        module.io_result = otherProblem;
    }
    if (module.settings.IOcheck) {
      rts::Raise(static_cast<uint32_t>(module.io_result), "FIO.Create: cannot open file " + path);
    }
    return 0;
  }
  module.io_result = allRight;
  return slot + 1;
}

void HandOver(std::string_view name, rts::os::Fd fd) {
  module.handed_name = std::string(name);
  module.handed_fd = fd;
  module.handed_taken = false;
}

bool EndHandOver() {
  const bool taken = module.handed_taken;
  module.handed_name.clear();
  module.handed_fd = rts::os::kNoFd;
  module.handed_taken = false;
  return taken;
}

void WrStr(File f, std::string_view s) {
  Checked([&] { ChannelOf(f).Write(Text(s)); });
}

void WrInt(File f, int32_t v, int32_t w) {
  const std::string digits = Str::IntToStr(v);
  // |w| in 64 bits: -2147483648 has no 32-bit magnitude.
  const int64_t width = w < 0 ? -static_cast<int64_t>(w) : w;
  const int64_t fill = width - static_cast<int64_t>(digits.size());
  rts::Channel& c = ChannelOf(f);
  // The fill goes out in pieces: a wide field must not need a buffer of its width.
  auto write_fill = [&c](int64_t n, char ch) {
    char piece[64];
    for (char& p : piece) p = ch;
    for (; n > 0; n -= static_cast<int64_t>(sizeof piece)) {
      c.Write(std::string_view(piece, n < 64 ? static_cast<size_t>(n) : sizeof piece));
    }
  };
  Checked([&] {
    if (w > 0 && fill > 0) write_fill(fill, module.settings.PrefixChar);
    c.Write(digits);  // never cut: ChopOff is off
    if (w < 0 && fill > 0) write_fill(fill, module.settings.SuffixChar);
  });
}

void WrLn(File f) {
  Checked([&] { ChannelOf(f).Write("\r\n"); });
}

void Close(File f) {
  rts::Channel& c = ChannelOf(f);
  // The slot is free again whether or not the write-out succeeds.
  rts::channels::Release(f - 1);
  Checked([&] { c.Close(); });
}

int32_t IOresult() { return module.io_result; }

}  // namespace FIO
