// The command line's files: whole inputs, and outputs replaced only once they are complete.
#include "cli/files.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "cli/cli.h"
#include "runtime/failure.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

std::string SystemCause() { return std::generic_category().message(errno); }

// A fresh name in path's directory: hidden, and unlikely to meet another run's.
std::string NewNameBeside(const std::string& path) {
  const fs::path p(path);
  std::random_device random;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
  return (p.parent_path() / ("." + p.filename().string() + "." + suffix + ".new")).string();
}

// The file output raises failures with its own texts; the one that matters to a user is a full
// disk.
std::string FailureCause(const rts::Failure& f) {
  if (f.text().find("00000070H") != std::string::npos) return "cannot be written: the disk is full";
  return "cannot be written (" + f.text() + ")";
}

}  // namespace

std::vector<uint8_t> ReadInput(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) throw FileError(path, "no such file");
  if (fs::is_directory(status)) throw FileError(path, "is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError(path, "cannot be read: " + SystemCause());
  std::vector<uint8_t> bytes;
  char buf[1 << 16];
  while (in) {
    in.read(buf, sizeof buf);
    const std::streamsize got = in.gcount();
    if (bytes.size() + static_cast<uint64_t>(got) > kMaxInputBytes) {
      throw FileError(path, "is over 1 GiB: neither a picture ledwheel reads nor an IM.txt");
    }
    bytes.insert(bytes.end(), buf, buf + got);
  }
  if (in.bad()) throw FileError(path, "cannot be read: " + SystemCause());
  return bytes;
}

void CheckReplaceable(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) {
      throw FileError(path, "cannot be written: No such file or directory");
    }
    return;
  }
  if (fs::is_directory(status)) throw FileError(path, "is a directory");
  constexpr fs::perms kWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if ((status.permissions() & kWrite) == fs::perms::none) {
    throw FileError(path, "is read-only: not replaced");
  }
}

void WriteReplacing(const std::string& path, const std::function<void(const std::string&)>& write) {
  CheckReplaceable(path);
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    // A device or a pipe (/dev/stdout, say) is written to as it is: renaming a file over it
    // would replace the device, and it holds nothing that a failure could lose.
    try {
      write(path);
    } catch (const rts::Failure& f) {
      throw FileError(path, FailureCause(f));
    }
    return;
  }
  // Through a symbolic link to the file it names, which stays a link.
  const std::string target = fs::exists(status) ? fs::canonical(path, ec).string() : path;
  const std::string temp = NewNameBeside(target.empty() ? path : target);
  {
    // Made here first, so that a missing or closed directory is told with the system's cause.
    std::ofstream probe(temp, std::ios::binary | std::ios::trunc);
    if (!probe) throw FileError(path, "cannot be written: " + SystemCause());
  }
  try {
    write(temp);
  } catch (const rts::Failure& f) {
    fs::remove(temp, ec);
    throw FileError(path, FailureCause(f));
  } catch (const FileError& e) {
    fs::remove(temp, ec);
    throw FileError(path, e.what());
  }
  fs::rename(temp, target.empty() ? path : target, ec);
  if (ec) {
    const std::string cause = ec.message();
    fs::remove(temp, ec);
    throw FileError(path, "cannot be replaced: " + cause);
  }
}

void WriteBytesReplacing(const std::string& path, std::span<const uint8_t> bytes) {
  WriteReplacing(path, [&](const std::string& temp) {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw FileError(temp, "cannot be written: " + SystemCause());
  });
}

}  // namespace cli
