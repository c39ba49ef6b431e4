// Test helper: runs a program in a directory of its own with piped standard input and output.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace rts::testing {

// A fresh directory under the system's temporary directory, removed with its files at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view content);
bool Exists(const std::string& path);

// A child process with DISPLAY removed from its environment, stdin and stdout on pipes and
// stderr in the file "stderr" of its directory.
class Process {
 public:
  Process(const std::string& program, const std::vector<std::string>& args, const std::string& cwd);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  void Write(std::string_view s);
  void CloseInput();
  // Reads standard output until it holds needle; false at end of output or after a generous
  // guard against a hung child.
  bool ReadUntil(std::string_view needle);
  // Reads standard output to its end.
  void ReadAll();
  // Waits for the child: its exit code, or 128 + signal number.
  int Wait();
  pid_t pid() const { return pid_; }
  const std::string& out() const { return out_; }

 private:
  bool ReadSome();

  pid_t pid_ = -1;
  int in_ = -1;
  int out_fd_ = -1;
  std::string out_;
};

// Runs program in cwd with input written to stdin and stdin closed; returns the exit code and
// fills *out with standard output.
int RunWithInput(const std::string& program, const std::vector<std::string>& args,
                 const std::string& cwd, std::string_view input, std::string* out);

}  // namespace rts::testing
