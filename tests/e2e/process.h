// Runs a program in a directory of its own, with given standard input, and collects its output.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct RunOptions {
  std::string stdin_text;         // written to the program's standard input, then closed
  bool keep_stdin_open = false;   // leave it open for WriteStdin
  const char* display = nullptr;  // DISPLAY for the program; nullptr keeps ours
  // When we are root: without root's right to write files whatever their mode (dropped from the
  // capability bounding set, or else by running as "nobody").
  bool honour_file_modes = false;
  std::vector<std::string> args;
};

// One run of a program: standard output and error go to files in the directory.
class Process {
 public:
  Process(const std::string& program, const std::string& dir, const RunOptions& options);
  ~Process();  // kills the program if it still runs
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  // More standard input, when keep_stdin_open was asked for; CloseStdin ends it.
  void WriteStdin(const std::string& text);
  void CloseStdin();
  bool Running();
  // Waits for the end; false if it has not ended after timeout_ms.
  bool Wait(int timeout_ms);
  // The exit code, or 128 + signal for a program killed by a signal. REQUIRES: ended.
  int ExitCode() const;
  // Peak resident memory in KiB, from the kernel's accounting of the ended child.
  long MaxRssKiB() const { return max_rss_kib_; }
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  bool ended_ = false;
  int status_ = 0;
  long max_rss_kib_ = 0;
  std::string dir_;
};

std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace e2e
