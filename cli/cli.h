// The command line: the commands after `ledwheel`, their options and their errors.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "cli/exit_codes.h"

namespace CLI {
class App;
}

namespace cli {

// A problem with one file; reported as "ledwheel: FILE: cause" and exit code 1.
class FileError : public std::runtime_error {
 public:
  FileError(std::string file, const std::string& cause)
      : std::runtime_error(cause), file_(std::move(file)) {}
  const std::string& file() const { return file_; }

 private:
  std::string file_;
};

// A usage problem found after parsing (an option that contradicts the file); exit code 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A chosen command's work: returns the exit code, or throws FileError or UsageError.
using Action = std::function<int()>;

// Each command registers itself on the application; when the command line chooses it, its
// parse callback stores its work in *action. Main thread only.
void RegisterImport(CLI::App& app, Action* action);
void RegisterEdit(CLI::App& app, Action* action);
void RegisterRender(CLI::App& app, Action* action);
void RegisterFirmware(CLI::App& app, Action* action);
void RegisterCheck(CLI::App& app, Action* action);

// One line on standard error about what was chosen on the user's behalf: "ledwheel: text".
void Note(const std::string& text);

// Runs body as a whole program run (console break, termination list, failure report) with the
// command line Main was given; returns its exit code.
int RunProgram(int (*body)());

// Whether the command line is ours: its first argument names a command or is an option. The
// program has always ignored any other arguments, and still does.
bool IsCommandLine(int argc, char** argv);

// Parses the command line (with at least one argument), runs the chosen command and reports
// its errors. Returns the exit code. Main thread only.
int Main(int argc, char** argv);

}  // namespace cli
