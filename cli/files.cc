// The command line's files: bounded inputs, and outputs replaced only once they are complete.
#include "cli/files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "cli/cli.h"
#include "cli/options.h"
#include "runtime/failure.h"
#include "runtime/fio.h"
#include "runtime/os.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
namespace os = rts::os;
using Kind = os::FileProblem::Kind;

constexpr uint64_t kAnyInputBytes = uint64_t{1} << 30;
// Names that another run took are tried again with a new random part this often.
constexpr int kNameAttempts = 64;

// An input's problem in plain words.
std::string ReadCause(const os::FileProblem& p) {
  switch (p.kind) {
    case Kind::kMissing:
      return "no such file";
    case Kind::kDenied:
      return "permission denied";
    case Kind::kIsDirectory:
      return "is a directory";
    default:
      return "cannot be read: " + p.text;
  }
}

// An output's problem in plain words.
std::string WriteCause(const os::FileProblem& p) {
  switch (p.kind) {
    case Kind::kMissing:
      return "cannot be written: no such directory";
    case Kind::kDenied:
      return "cannot be written: permission denied";
    case Kind::kIsDirectory:
      return "is a directory";
    case Kind::kFull:
      return "cannot be written: the disk is full";
    case Kind::kNotOpen:
      return "cannot be written: it is closed";
    default:
      return "cannot be written: " + p.text;
  }
}

std::string WriteCode(uint32_t code) {
  if (code == os::kErrorDiskFull) return "cannot be written: the disk is full";
  return "cannot be written: " + os::ErrorText(code);
}

// The file output's failures carry the runtime's own texts; the command line says what they
// mean. A refused write names the system's error code as its last hexadecimal word.
std::string FailureCause(const rts::Failure& f) {
  const std::string& text = f.text();
  const size_t at = text.find("hardDeviceError ");
  if (at == std::string::npos) return "cannot be written";
  return WriteCode(static_cast<uint32_t>(std::strtoul(text.c_str() + at + 16, nullptr, 16)));
}

std::string Size(uint64_t bytes) {
  char text[32];
  if (bytes >= (uint64_t{1} << 20)) {
    std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / (1 << 20));
  } else {
    std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / (1 << 10));
  }
  return text;
}

FileError TooLarge(const std::string& path, const InputLimit& limit) {
  return FileError(path, "is over " + Size(limit.max_bytes) + ": too large for " + limit.kind);
}

std::string RandomSuffix() {
  static std::mt19937 random = [] {
    std::random_device device;
    return std::mt19937(device());
  }();
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
  return suffix;
}

class Closer {
 public:
  explicit Closer(os::Fd fd) : fd_(fd) {}
  ~Closer() {
    if (fd_ != os::kNoFd) os::Close(fd_);
  }
  Closer(const Closer&) = delete;
  Closer& operator=(const Closer&) = delete;

 private:
  os::Fd fd_;
};

// What an output name leads to, checked: throws FileError for one that cannot be written.
os::OutputTarget Examine(const std::string& path) {
  os::OutputTarget target;
  os::FileProblem problem;
  if (!os::ResolveOutput(path, &target, &problem)) throw FileError(path, WriteCause(problem));
  switch (target.kind) {
    case os::OutputTarget::Kind::kDirectory:
      throw FileError(path, "is a directory");
    case os::OutputTarget::Kind::kFile:
      if (target.read_only) throw FileError(path, "is read-only: not replaced");
      [[fallthrough]];
    case os::OutputTarget::Kind::kMissing:
      if (target.directory.kind != Kind::kNone) {
        throw FileError(path, WriteCause(target.directory));
      }
      break;
    default:
      break;
  }
  return target;
}

// Makes a new file beside target exclusively, with the mode and owner of the file there.
os::Fd CreateBeside(const std::string& path, const os::OutputTarget& target, std::string* name) {
  const std::string like = target.kind == os::OutputTarget::Kind::kFile ? target.name : "";
  for (int attempt = 0;; ++attempt) {
    *name = NameBeside(target.name, RandomSuffix());
    os::FileProblem problem;
    const os::Fd fd = os::CreateNew(*name, like, &problem);
    if (fd != os::kNoFd) return fd;
    if (problem.kind != Kind::kExists || attempt == kNameAttempts) {
      throw FileError(path, WriteCause(problem));
    }
  }
}

// Runs write(fd, name) on a file that WriteReplacing made or opened for path, converting the
// file output's failures into FileErrors naming path. write owns fd.
void Converted(const std::string& path, const std::function<void()>& write) {
  try {
    write();
  } catch (const rts::Failure& f) {
    throw FileError(path, FailureCause(f));
  } catch (const FileError& e) {
    throw FileError(path, e.what());
  }
}

// The new content of path, from write(fd, name): in place for a device or a pipe, else into a
// new file beside the target that is renamed over it once write has returned.
void Replace(const std::string& path,
             const std::function<void(os::Fd, const std::string&)>& write) {
  const os::OutputTarget target = Examine(path);
  os::FileProblem problem;
  if (target.kind == os::OutputTarget::Kind::kDevice ||
      target.kind == os::OutputTarget::Kind::kDescriptor) {
    // Renaming a file over a device would replace the device, and it holds nothing that a
    // failure could lose.
    const os::Fd fd = target.kind == os::OutputTarget::Kind::kDevice
                          ? os::OpenDevice(path, &problem)
                          : os::DuplicateDescriptor(target.descriptor, &problem);
    if (fd == os::kNoFd) throw FileError(path, WriteCause(problem));
    Converted(path, [&] { write(fd, path); });
    return;
  }
  std::string temp;
  const os::Fd fd = CreateBeside(path, target, &temp);
  os::RemoveOnBreak(temp);
  try {
    Converted(path, [&] { write(fd, temp); });
    if (!os::Rename(temp, target.name, &problem)) {
      throw FileError(path, "cannot be replaced: " + problem.text);
    }
  } catch (...) {
    os::Remove(temp);
    os::RemoveOnBreak("");
    throw;
  }
  os::RemoveOnBreak("");
}

// Hands fd to the FIO::Create of name inside write, and closes it when that never came.
void WriteThroughFio(os::Fd fd, const std::string& name, const std::function<void()>& write) {
  FIO::Start();
  FIO::HandOver(name, fd);
  try {
    write();
  } catch (...) {
    if (!FIO::EndHandOver()) os::Close(fd);
    throw;
  }
  if (!FIO::EndHandOver()) os::Close(fd);
}

}  // namespace

InputFile::InputFile(const std::string& path, const InputJudge& judge) : path_(path) {
  os::FileProblem problem;
  fd_ = os::OpenForRead(path, &problem);
  if (fd_ == os::kNoFd) throw FileError(path, ReadCause(problem));
  try {
    size_ = os::RegularFileSize(fd_);
    head_.resize(kHeadBytes);
    while (taken_ < kHeadBytes) {
      const int64_t n = os::ReadSome(fd_, reinterpret_cast<char*>(head_.data() + taken_),
                                     kHeadBytes - taken_, &problem);
      if (n < 0) throw FileError(path, ReadCause(problem));
      if (n == 0) break;
      taken_ += static_cast<uint64_t>(n);
    }
    head_.resize(taken_);
    ended_ = taken_ < kHeadBytes;
    limit_ = judge(head_);
    if (size_ >= 0 && static_cast<uint64_t>(size_) > limit_.max_bytes) {
      throw TooLarge(path_, limit_);
    }
  } catch (...) {
    os::Close(fd_);
    throw;
  }
}

InputFile::~InputFile() { os::Close(fd_); }

size_t InputFile::ReadOn(uint8_t* into, size_t n) {
  if (ended_ || n == 0) return 0;
  os::FileProblem problem;
  // One byte past the limit tells an input at the limit from a larger one.
  const uint64_t room = limit_.max_bytes + 1 - std::min(taken_, limit_.max_bytes + 1);
  const int64_t got =
      os::ReadSome(fd_, reinterpret_cast<char*>(into), std::min<uint64_t>(n, room), &problem);
  if (got < 0) throw FileError(path_, ReadCause(problem));
  if (got == 0) ended_ = true;
  taken_ += static_cast<uint64_t>(got);
  if (taken_ > limit_.max_bytes) throw TooLarge(path_, limit_);
  return static_cast<size_t>(got);
}

std::vector<uint8_t> InputFile::ReadWhole() {
  std::vector<uint8_t> bytes = std::move(head_);
  head_.clear();
  if (size_ >= 0) bytes.reserve(static_cast<size_t>(size_));
  // A pipe gives a few KB a read: read into a buffer of its own, so that the bytes grow by
  // what came rather than by what might have.
  std::vector<uint8_t> buffer(size_t{1} << 20);
  for (size_t n; (n = ReadOn(buffer.data(), buffer.size())) > 0;) {
    bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return bytes;
}

std::vector<uint8_t> ReadInput(const std::string& path, const InputJudge& judge) {
  return InputFile(path, judge).ReadWhole();
}

std::vector<uint8_t> ReadInput(const std::string& path) {
  return ReadInput(path, [](std::span<const uint8_t>) {
    return InputLimit{kAnyInputBytes, "a file ledwheel reads"};
  });
}

void CheckReplaceable(const std::string& path) { Examine(path); }

void CheckOutput(const std::string& path, const std::string& input) {
  if (path.empty()) throw UsageError("--output: the name is empty");
  if (os::SameFile(path, input)) {
    throw UsageError(Quoted(path) + ": is the input file too; give the output another name");
  }
  CheckReplaceable(path);
}

void WriteReplacing(const std::string& path, const std::function<void(const std::string&)>& write) {
  Replace(path, [&](os::Fd fd, const std::string& name) {
    WriteThroughFio(fd, name, [&] { write(name); });
  });
}

void WriteAllReplacing(const std::vector<std::string>& paths,
                       const std::function<void(size_t, const std::string&)>& write) {
  struct Made {
    std::string path, temp, target;
  };
  std::vector<Made> made;
  try {
    for (size_t k = 0; k < paths.size(); ++k) {
      const std::string& path = paths[k];
      const os::OutputTarget target = Examine(path);
      if (target.kind == os::OutputTarget::Kind::kDevice ||
          target.kind == os::OutputTarget::Kind::kDescriptor) {
        WriteReplacing(path, [&](const std::string& name) { write(k, name); });
        continue;
      }
      std::string temp;
      const os::Fd fd = CreateBeside(path, target, &temp);
      made.push_back({path, temp, target.name});
      os::RemoveOnBreak(temp);
      Converted(path, [&] { WriteThroughFio(fd, temp, [&] { write(k, temp); }); });
    }
    for (size_t k = 0; k < made.size(); ++k) {
      os::FileProblem problem;
      if (!os::Rename(made[k].temp, made[k].target, &problem)) {
        throw FileError(made[k].path, "cannot be replaced: " + problem.text);
      }
    }
  } catch (...) {
    for (const Made& m : made) os::Remove(m.temp);  // those renamed are gone already
    os::RemoveOnBreak("");
    throw;
  }
  os::RemoveOnBreak("");
}

void WritePiecesReplacing(const std::string& path,
                          const std::function<void(const PutBytes&)>& make) {
  Replace(path, [&](os::Fd fd, const std::string&) {
    const Closer closer(fd);
    make([&](std::span<const uint8_t> bytes) {
      const uint32_t code =
          os::WriteAll(fd, reinterpret_cast<const char*>(bytes.data()), bytes.size());
      if (code != 0) throw FileError(path, WriteCode(code));
    });
  });
}

void WriteBytesReplacing(const std::string& path, std::span<const uint8_t> bytes) {
  Replace(path, [&](os::Fd fd, const std::string&) {
    const uint32_t code =
        os::WriteAll(fd, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    os::Close(fd);
    if (code != 0) throw FileError(path, WriteCode(code));
  });
}

std::string NameBeside(const std::string& path, const std::string& suffix) {
  const fs::path p(path);
  std::string base = p.filename().string();
  const std::string tail = "." + suffix + ".new";
  const size_t room = os::kMaxNameBytes - 1 - tail.size();
  if (base.size() > room) {
    // Cut at a character's start, so that the name stays valid UTF-8 where the original was.
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    base.resize(cut);
  }
  return (p.parent_path() / ("." + base + tail)).string();
}

}  // namespace cli
