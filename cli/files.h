// The command line's files: inputs read only as far as their kind allows, and outputs written
// beside their final name and renamed into place, so that a failure never leaves half a file or
// an emptied one.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "runtime/os.h"

namespace cli {

// The first bytes of an input, from which its kind is told.
constexpr size_t kHeadBytes = size_t{64} << 10;

// The most bytes an input of the kind its head shows can have, and that kind in words for the
// refusal of a larger one ("an IM.txt").
struct InputLimit {
  uint64_t max_bytes;
  std::string kind;
};
// Judges an input's head (kHeadBytes, or the whole of a shorter input): its limit, or a FileError
// for an input it refuses.
using InputJudge = std::function<InputLimit(std::span<const uint8_t> head)>;

// An input opened and judged by its head, the rest read as it is asked for, as far as the judge
// allows: a regular file over the limit is refused before more than its head is read, a stream
// once it passes the limit. A pipe without a writer waits for one. Throws FileError: missing,
// permission denied, a directory, unreadable, too large.
class InputFile {
 public:
  InputFile(const std::string& path, const InputJudge& judge);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // The first kHeadBytes, or the whole of a shorter input.
  std::span<const uint8_t> head() const { return head_; }
  // Reads up to n of the bytes after the head and those read on before: how many, 0 at the end.
  // Any thread, one at a time.
  size_t ReadOn(uint8_t* into, size_t n);
  // The head and all the rest. Only when nothing was read on.
  std::vector<uint8_t> ReadWhole();

 private:
  std::string path_;
  rts::os::Fd fd_;
  int64_t size_ = -1;  // of a regular file; -1 for a stream
  InputLimit limit_{0, ""};
  std::vector<uint8_t> head_;
  bool ended_ = false;  // nothing more to read
  uint64_t taken_ = 0;  // bytes read, the head's included
};

// The whole file, read as far as judge allows (see InputFile).
std::vector<uint8_t> ReadInput(const std::string& path, const InputJudge& judge);
// Any content up to 1 GiB.
std::vector<uint8_t> ReadInput(const std::string& path);

// Throws FileError when path could not be replaced by a new file: an existing read-only file
// (refused even where permissions would allow it, as IM.txt always was), a directory, or a
// directory in which no file can be made.
void CheckReplaceable(const std::string& path);

// CheckReplaceable, and before it the usage errors: an empty name, or an output that is input,
// the file the command reads (empty: none), which the write would replace.
void CheckOutput(const std::string& path, const std::string& input = "");

// Calls write with the name of a new file beside path, made exclusively (never through a link)
// with the mode and owner of the file it replaces, then renames it to path. A symbolic link
// stays: the file it names is replaced, or made when it does not exist. The writer's
// FIO::Create of that name writes through the handle made here. When write throws (FileError,
// or the file output's failure) or the program is ended by Ctrl+C, the new file is removed and
// path is left as it was; errors are reported as a FileError naming path, in plain words. A
// device or pipe (/dev/null, /dev/stdout) is written to directly.
void WriteReplacing(const std::string& path, const std::function<void(const std::string&)>& write);

// WriteReplacing for several files as one: write(k, name) makes the new file of paths[k] (through
// FIO::Create of name, as for WriteReplacing), and only when every one is made are they renamed
// into place. When a write throws, every new file is removed and every path left as it was; the
// FileError names the path it concerns. A break (Ctrl+C) removes the new file being written;
// those made before it may stay beside their names.
void WriteAllReplacing(const std::vector<std::string>& paths,
                       const std::function<void(size_t, const std::string&)>& write);

// WriteReplacing with bytes made piece by piece: make(put) calls put with each piece in order,
// so that a large output need not be held whole.
using PutBytes = std::function<void(std::span<const uint8_t>)>;
void WritePiecesReplacing(const std::string& path,
                          const std::function<void(const PutBytes&)>& make);

// WriteReplacing with these bytes.
void WriteBytesReplacing(const std::string& path, std::span<const uint8_t> bytes);

// The name of the new file beside path that WriteReplacing uses, with suffix as its random part:
// hidden, and never longer than a directory entry may be, however long path's own name is.
std::string NameBeside(const std::string& path, const std::string& suffix);

}  // namespace cli
