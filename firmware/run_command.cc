// The firmware tests' shell runner for the PIC toolchain (Linux only, as the toolchain is).
#include "firmware/run_command.h"

#include <stdio.h>
#include <sys/wait.h>

namespace firmware::testing {

Command RunCommand(const std::string& command) {
  Command result;
  FILE* pipe = popen((command + " 2>&1 </dev/null").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  const int raw = pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

}  // namespace firmware::testing
