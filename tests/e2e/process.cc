// Runs a program in a directory of its own, with given standard input, and collects its output.
#include "tests/e2e/process.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {
namespace {

constexpr uid_t kNobody = 65534;

[[noreturn]] void ChildFail(const char* what) {
  const std::string msg = std::string("e2e child: ") + what + "\n";
  (void)!write(2, msg.data(), msg.size());
  _exit(127);
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/ledwheel-e2e-XXXXXX";
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // A read-only file inside must not keep the directory.
  for (const auto& e : std::filesystem::directory_iterator(path_, ec)) {
    std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

Process::Process(const std::string& program, const std::string& dir, const RunOptions& options)
    : dir_(dir) {
  // A program that ended early must not take us down when we write its input.
  signal(SIGPIPE, SIG_IGN);
  int in[2];
  if (pipe(in) != 0) throw std::runtime_error("pipe failed");
  const bool root = options.honour_file_modes && geteuid() == 0;
  // Only needed should we have to fall back to "nobody".
  if (root) chmod(dir.c_str(), 0777);

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(in[0], 0);
    close(in[0]);
    close(in[1]);
    if (chdir(dir.c_str()) != 0) ChildFail("chdir");
    const int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0) ChildFail("open output");
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    if (options.display) setenv("DISPLAY", options.display, 1);
    // The default action, whatever the test runner set up.
    signal(SIGINT, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    if (root && prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
        ChildFail("cannot give up root's file access");
      }
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : options.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    ChildFail("exec");
  }
  close(in[0]);
  stdin_fd_ = in[1];
  WriteStdin(options.stdin_text);
  if (!options.keep_stdin_open) CloseStdin();
}

void Process::WriteStdin(const std::string& text) {
  // The dialog's answers are short: they fit the pipe, so the write cannot block.
  size_t done = 0;
  while (stdin_fd_ >= 0 && done < text.size()) {
    const ssize_t n = write(stdin_fd_, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

void Process::CloseStdin() {
  if (stdin_fd_ >= 0) close(stdin_fd_);
  stdin_fd_ = -1;
}

Process::~Process() {
  CloseStdin();
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    Wait(5000);
  }
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
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

int Process::ExitCode() const {
  if (WIFEXITED(status_)) return WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) return 128 + WTERMSIG(status_);
  return -1;
}

std::string Process::Stdout() const { return ReadFile(dir_ + "/stdout.txt"); }
std::string Process::Stderr() const { return ReadFile(dir_ + "/stderr.txt"); }

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

}  // namespace e2e
