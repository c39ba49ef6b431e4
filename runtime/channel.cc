// The file-channel layer: buffered output channels and their write-out at program end.
#include "runtime/channel.h"

#include <cassert>
#include <cstdio>
#include <optional>
#include <string>

#include "runtime/failure.h"
#include "runtime/startup.h"

namespace rts {
namespace {

constexpr uint32_t kHardDeviceError = 4;

[[noreturn]] void RaiseDeviceError(uint32_t code) {
  char text[64];
  std::snprintf(text, sizeof text, "IOException.hardDeviceError %08XH", code);
  Raise(kHardDeviceError, text);
}

struct Layer {
  bool started = false;
  Channel std_out;
  Channel files[channels::kMaxFiles];
  bool used[channels::kMaxFiles] = {};
};

Layer layer;

}  // namespace

void Channel::Open(os::Fd fd, bool text) {
  fd_ = fd;
  text_ = text;
  disk_ = os::IsRegularFile(fd);
  len_ = 0;
}

void Channel::Put(char c) {
  if (len_ == kBufferSize) Flush();
  buf_[len_++] = c;
}

void Channel::Write(std::string_view s) {
  assert(is_open());
  bool line_end = false;
  for (char c : s) {
    if (c == '\n') {
      line_end = true;
      if (text_) Put('\r');
    }
    Put(c);
  }
  if (!disk_ || (text_ && line_end)) Flush();
}

void Channel::Flush() {
  if (len_ == 0) return;
  const size_t n = len_;
  len_ = 0;
  if (uint32_t code = os::WriteAll(fd_, buf_, n); code != 0) RaiseDeviceError(code);
}

void Channel::Close() {
  if (!is_open()) return;
  std::optional<Failure> failed;
  try {
    Flush();
  } catch (const Failure& f) {
    failed = f;
  }
  os::Close(fd_);
  fd_ = os::kNoFd;
  if (failed) throw *failed;
}

namespace channels {

void Start() {
  if (layer.started) return;
  layer.started = true;
  RegisterTermination(WriteOutAll);
  layer.std_out.Open(os::kStdOut, /*text=*/true);
}

Channel& StdOut() {
  Start();
  return layer.std_out;
}

int Attach(os::Fd fd) {
  Start();
  for (int k = 0; k < kMaxFiles; ++k) {
    if (!layer.used[k]) {
      layer.used[k] = true;
      layer.files[k].Open(fd, /*text=*/false);
      return k;
    }
  }
  return -1;
}

Channel& At(int slot) {
  assert(slot >= 0 && slot < kMaxFiles && layer.used[slot]);
  return layer.files[slot];
}

void Release(int slot) {
  assert(slot >= 0 && slot < kMaxFiles);
  layer.used[slot] = false;
}

void WriteOutAll() {
  std::optional<Failure> first;
  auto write_out = [&first](Channel& c) {
    if (!c.is_open()) return;
    try {
      c.Flush();
    } catch (const Failure& f) {
      if (!first) first = f;
    }
  };
  for (int k = 0; k < kMaxFiles; ++k) {
    if (layer.used[k]) write_out(layer.files[k]);
  }
  write_out(layer.std_out);
  if (first) throw *first;
}

}  // namespace channels
}  // namespace rts
