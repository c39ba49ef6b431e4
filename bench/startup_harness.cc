// Measures the time from starting ledwheel to its first prompt on a pipe, over many runs.
// Usage: startup_harness [program (default build/ledwheel)] [runs (default 200)] [args...]
// (wine build-win/ledwheel.exe: startup_harness /usr/bin/wine 20 build-win/ledwheel.exe)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr std::string_view kPrompt = "# LED positions: ";

// One run: microseconds from spawn to the prompt on standard output, or -1.
double TimeToPrompt(const char* program, char** args) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  // Its end-of-input message is not part of the measurement.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv{const_cast<char*>(program)};
  for (char** a = args; *a != nullptr; ++a) argv.push_back(*a);
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  const int rc = posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  double us = -1;
  if (rc == 0) {
    std::string seen;
    char buf[512];
    while (seen.find(kPrompt) == std::string::npos) {
      struct pollfd p = {out[0], POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) break;
      ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      seen.append(buf, static_cast<size_t>(n));
    }
    if (seen.find(kPrompt) != std::string::npos) {
      us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
               .count();
    }
  }
  close(in[1]);  // end of input: the program stops at once
  close(out[0]);
  if (rc == 0) waitpid(pid, nullptr, 0);
  return us;
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = argc > 1 ? argv[1] : "build/ledwheel";
  const int runs = argc > 2 ? std::atoi(argv[2]) : 200;
  signal(SIGPIPE, SIG_IGN);
  std::vector<double> times;
  for (int k = 0; k < runs; ++k) {
    const double us = TimeToPrompt(program, argc > 3 ? argv + 3 : argv + argc);
    if (us < 0) {
      std::fprintf(stderr, "startup_harness: %s did not show the prompt\n", program);
      return 1;
    }
    times.push_back(us);
  }
  std::sort(times.begin(), times.end());
  const double median = times.size() % 2
                            ? times[times.size() / 2]
                            : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
  std::printf(
      "start to first prompt over %d runs of %s: median %.2f ms, min %.2f ms, max %.2f ms\n", runs,
      program, median / 1000, times.front() / 1000, times.back() / 1000);
  return 0;
}
