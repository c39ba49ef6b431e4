// Test helpers for files: a temporary directory and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testing_support {

// A fresh directory under the system's temporary directory, removed with everything in it at the
// end, read-only files and directories included. Throws std::runtime_error when it cannot be made.
class TempDir {
 public:
  enum class Cwd { kKeep, kEnter };
  // kEnter also makes it the working directory for the object's life; the previous one comes back
  // at the end.
  explicit TempDir(Cwd cwd = Cwd::kKeep);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
  std::filesystem::path previous_;  // empty unless entered
};

// Whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
// Replaces the file's content with bytes.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// True when path names an existing file or directory (symbolic links followed).
bool FileExists(const std::filesystem::path& path);

}  // namespace testing_support
