// The file-channel layer beneath IO and FIO: output channels with their 256-byte buffers, the
// standard output channel and the write-out of every open buffer at program end.
#pragma once

#include <cstddef>
#include <string_view>

#include "runtime/os.h"

namespace rts {

// One output channel over a descriptor. A disk file collects bytes into a 256-byte buffer that
// is written out when full, and, for a text channel, after each operation holding a line end;
// a console, pipe or device gets every operation's bytes before the operation returns.
// A text channel turns every LF into CR LF; other channels translate nothing. Main thread only.
class Channel {
 public:
  static constexpr size_t kBufferSize = 256;

  void Open(os::Fd fd, bool text);
  bool is_open() const { return fd_ != os::kNoFd; }
  bool buffered() const { return disk_; }

  // One operation's bytes. Raises failure 4 "IOException.hardDeviceError XXXXXXXXH" when the
  // system refuses them; the bytes still buffered are dropped then, so they fail only once.
  void Write(std::string_view s);
  // Writes out what is buffered; raises like Write.
  void Flush();
  // Writes out the buffer and closes the descriptor; the descriptor is closed even when the
  // write-out fails (the failure is raised afterwards).
  void Close();

 private:
  void Put(char c);

  os::Fd fd_ = os::kNoFd;
  bool text_ = false;
  bool disk_ = false;
  size_t len_ = 0;
  char buf_[kBufferSize] = {};
};

namespace channels {

// Maximum number of files open at once through FIO.
constexpr int kMaxFiles = 32;

// Module start: registers WriteOutAll with the termination list and opens the standard output
// channel (text). Runs once; later calls do nothing.
void Start();

// The standard output channel; starts the layer when nobody has yet.
Channel& StdOut();

// Takes a free slot for fd, returns its number (0..kMaxFiles-1) or -1 when all are taken.
int Attach(os::Fd fd);
// REQUIRES: slot was returned by Attach and not yet released.
Channel& At(int slot);
void Release(int slot);

// Writes out the buffer of every open channel. Raises the first failure after trying them all.
void WriteOutAll();

}  // namespace channels
}  // namespace rts
