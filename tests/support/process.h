// Test helper: runs a program in a directory of its own with given standard input and collects
// its output, exit code and peak memory.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// Guard against a child that never ends; not a timing criterion.
constexpr int kGuardMs = 20000;

struct RunOptions {
  std::vector<std::string> args;
  std::string stdin_text;        // written to the program's standard input, then closed
  bool keep_stdin_open = false;  // leave it open for WriteStdin
  // Standard output into the regular file "stdout.txt" of the directory, which the program
  // buffers as it does any disk file, instead of a pipe we read.
  bool stdout_to_file = false;
  // DISPLAY for the program: unset keeps ours, empty removes it, else this one.
  std::optional<std::string> display;
  // When we are root: without root's right to read and write files whatever their mode (dropped
  // from the capability bounding set, or else by running as "nobody", for which the directory is
  // opened to everyone).
  bool honour_file_modes = false;
};

// One run of a program in dir. Standard error goes to the file "stderr.txt" there. The child
// starts with SIGINT and SIGPIPE at their defaults and no signals blocked, whatever the test
// runner set up. Throws std::runtime_error when it cannot be started.
class Process {
 public:
  Process(const std::string& program, const std::string& dir, const RunOptions& options);
  ~Process();  // kills the program if it still runs
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  // More standard input, when keep_stdin_open was asked for; CloseStdin ends it.
  void WriteStdin(std::string_view text);
  void CloseStdin();
  // Reads the output pipe until the output holds needle; false at its end or after kGuardMs
  // without output. REQUIRES: !stdout_to_file.
  bool ReadUntil(std::string_view needle);
  bool Running();
  // Waits for the end, taking in the output meanwhile; false if it has not ended after
  // timeout_ms.
  bool Wait(int timeout_ms);
  // The exit code, or 128 + signal for a program killed by a signal; -1 before the end.
  int ExitCode() const;
  // Peak resident memory in KiB, from the kernel's accounting of the ended child.
  long MaxRssKiB() const { return max_rss_kib_; }
  // Standard output so far: all of it once Wait returned true.
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  // Appends what the pipe holds, waiting up to timeout_ms for the first of it; false when
  // nothing came.
  bool ReadSome(int timeout_ms);

  bool stdout_to_file_;
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int stdout_fd_ = -1;  // the pipe's read end, when not stdout_to_file
  bool ended_ = false;
  int status_ = 0;
  long max_rss_kib_ = 0;
  std::string dir_;
  std::string out_;
};

struct RunResult {
  int exit_code = -1;  // -1 if it did not end within kGuardMs
  std::string out;
  std::string err;
};
// Runs program in dir to its end.
RunResult Run(const std::string& program, const std::string& dir, const RunOptions& options);

}  // namespace testing_support
