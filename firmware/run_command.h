// The firmware tests' shell runner for the PIC toolchain (Linux only, as the toolchain is).
#pragma once

#include <string>

namespace firmware::testing {

// A shell command's exit status (-1 when it did not exit) and its standard output and error.
struct Command {
  int status = -1;
  std::string output;
};
Command RunCommand(const std::string& command);

}  // namespace firmware::testing
