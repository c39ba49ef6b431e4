// Test helper: runs a program in a directory of its own with given standard input and collects
// its output, exit code and peak memory.
#include "tests/support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "tests/support/files.h"

extern char** environ;

namespace testing_support {
namespace {

constexpr uid_t kNobody = 65534;

[[noreturn]] void ChildFail(const char* what) {
  const std::string msg = std::string("test child: ") + what + "\n";
  (void)!write(2, msg.data(), msg.size());
  _exit(127);
}

void CloseIfOpen(int fd) {
  if (fd >= 0) close(fd);
}

// NULL-terminated pointers into strings, for execve.
std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

}  // namespace

Process::Process(const std::string& program, const std::string& dir, const RunOptions& options)
    : stdout_to_file_(options.stdout_to_file), dir_(dir) {
  // A program that ended early must not take us down when we write its input.
  signal(SIGPIPE, SIG_IGN);
  const bool drop_root = options.honour_file_modes && geteuid() == 0;
  // Only needed should we have to fall back to "nobody".
  if (drop_root) chmod(dir.c_str(), 0777);

  // Everything the child needs is made here: after fork in a threaded parent it may only make
  // async-signal-safe calls.
  std::vector<std::string> argv_strings{program};
  argv_strings.insert(argv_strings.end(), options.args.begin(), options.args.end());
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!options.display || std::strncmp(*e, "DISPLAY=", 8) != 0) env_strings.push_back(*e);
  }
  if (options.display && !options.display->empty())
    env_strings.push_back("DISPLAY=" + *options.display);
  std::vector<char*> argv = Pointers(argv_strings);
  std::vector<char*> env = Pointers(env_strings);

  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  int err = -1;
  const auto fail = [&](const char* what) {
    for (int fd : {in[0], in[1], out[0], out[1], err}) CloseIfOpen(fd);
    throw std::runtime_error(std::string(what) + " failed: " + std::strerror(errno));
  };
  if (pipe2(in, O_CLOEXEC) != 0) fail("pipe");
  if (options.stdout_to_file) {
    out[1] = open((dir + "/stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out[1] < 0) fail("open stdout.txt");
  } else if (pipe2(out, O_CLOEXEC) != 0) {
    fail("pipe");
  }
  err = open((dir + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (err < 0) fail("open stderr.txt");

  pid_ = fork();
  if (pid_ < 0) fail("fork");
  if (pid_ == 0) {
    // Our own standard descriptors may be closed (a runner without stdin), so a source may
    // already sit on 0..2: lift all three above them before putting them in place.
    int source[3] = {in[0], out[1], err};
    for (int& fd : source) fd = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    for (int k = 0; k < 3; ++k) {
      if (source[k] < 0 || dup2(source[k], k) != k) _exit(127);
    }
    if (chdir(dir.c_str()) != 0) ChildFail("chdir");
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGINT, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    // Both rights: to write, and to read, whatever a file's mode.
    if (drop_root && (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0 ||
                      prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) != 0)) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
        ChildFail("cannot give up root's file access");
      }
    }
    execve(argv[0], argv.data(), env.data());
    ChildFail("exec");
  }
  close(in[0]);
  close(out[1]);
  close(err);
  stdin_fd_ = in[1];
  stdout_fd_ = out[0];
  WriteStdin(options.stdin_text);
  if (!options.keep_stdin_open) CloseStdin();
}

Process::~Process() {
  CloseStdin();
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  CloseIfOpen(stdout_fd_);
}

void Process::WriteStdin(std::string_view text) {
  while (stdin_fd_ >= 0 && !text.empty()) {
    const ssize_t n = write(stdin_fd_, text.data(), text.size());
    if (n <= 0) break;  // the program stopped reading
    text.remove_prefix(static_cast<size_t>(n));
  }
}

void Process::CloseStdin() {
  CloseIfOpen(stdin_fd_);
  stdin_fd_ = -1;
}

bool Process::ReadSome(int timeout_ms) {
  if (stdout_fd_ < 0) return false;
  pollfd p = {stdout_fd_, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return false;
  char buf[4096];
  const ssize_t k = read(stdout_fd_, buf, sizeof buf);
  if (k < 0 && errno == EINTR) return true;
  if (k <= 0) {
    close(stdout_fd_);
    stdout_fd_ = -1;
    return false;
  }
  out_.append(buf, static_cast<size_t>(k));
  return true;
}

bool Process::ReadUntil(std::string_view needle) {
  while (out_.find(needle) == std::string::npos) {
    if (!ReadSome(kGuardMs)) return false;
  }
  return true;
}

bool Process::Running() {
  if (ended_) return false;
  int status = 0;
  rusage ru{};
  if (wait4(pid_, &status, WNOHANG, &ru) == pid_) {
    ended_ = true;
    status_ = status;
    max_rss_kib_ = ru.ru_maxrss;
    return false;
  }
  return true;
}

bool Process::Wait(int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Running()) {
    if (std::chrono::steady_clock::now() > until) return false;
    // A full pipe would stop the program.
    while (ReadSome(0)) {
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  // The program is gone, so the pipe holds all it wrote.
  while (ReadSome(0)) {
  }
  return true;
}

int Process::ExitCode() const {
  if (!ended_) return -1;
  if (WIFEXITED(status_)) return WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) return 128 + WTERMSIG(status_);
  return -1;
}

std::string Process::Stdout() const {
  return stdout_to_file_ ? ReadFile(dir_ + "/stdout.txt") : out_;
}

std::string Process::Stderr() const { return ReadFile(dir_ + "/stderr.txt"); }

RunResult Run(const std::string& program, const std::string& dir, const RunOptions& options) {
  Process p(program, dir, options);
  RunResult r;
  if (p.Wait(kGuardMs)) r.exit_code = p.ExitCode();
  r.out = p.Stdout();
  r.err = p.Stderr();
  return r;
}

}  // namespace testing_support
