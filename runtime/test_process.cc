// Test helper: runs a program in a directory of its own with piped standard input and output.
#include "runtime/test_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace rts::testing {
namespace {

// Guard against a child that never ends; not a timing criterion.
constexpr int kGuardMs = 20000;

}  // namespace

TempDir::TempDir() {
  std::string base = std::filesystem::temp_directory_path().string() + "/ledwheel-XXXXXX";
  std::vector<char> buf(base.begin(), base.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files inside must not keep the directory alive.
  for (const auto& e : std::filesystem::directory_iterator(path_, ec)) {
    if (!e.is_symlink()) chmod(e.path().c_str(), 0644);
  }
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::string& cwd) {
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "DISPLAY=", 8) != 0) env_strings.push_back(*e);
  }
  std::vector<char*> env;
  for (auto& s : env_strings) env.push_back(s.data());
  env.push_back(nullptr);
  std::vector<std::string> argv_strings{program};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  const std::string err_path = cwd + "/stderr";

  pid_ = fork();
  if (pid_ == 0) {
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(cwd.c_str()) != 0 || err < 0) _exit(127);
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err, 2);
    // The test runner may have blocked or ignored SIGINT; the child starts with defaults.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGINT, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    execve(argv[0], argv.data(), env.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  in_ = in[1];
  out_fd_ = out[0];
}

Process::~Process() {
  if (in_ >= 0) close(in_);
  if (out_fd_ >= 0) close(out_fd_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void Process::Write(std::string_view s) {
  while (!s.empty()) {
    ssize_t k = write(in_, s.data(), s.size());
    if (k <= 0) return;  // the child stopped reading
    s.remove_prefix(static_cast<size_t>(k));
  }
}

void Process::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

bool Process::ReadSome() {
  struct pollfd p = {out_fd_, POLLIN, 0};
  if (poll(&p, 1, kGuardMs) <= 0) return false;
  char buf[4096];
  ssize_t k = read(out_fd_, buf, sizeof buf);
  if (k <= 0) return false;
  out_.append(buf, static_cast<size_t>(k));
  return true;
}

bool Process::ReadUntil(std::string_view needle) {
  while (out_.find(needle) == std::string::npos) {
    if (!ReadSome()) return false;
  }
  return true;
}

void Process::ReadAll() {
  while (ReadSome()) {
  }
}

int Process::Wait() {
  CloseInput();
  int status = 0;
  if (waitpid(pid_, &status, 0) != pid_) return -1;
  pid_ = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

int RunWithInput(const std::string& program, const std::vector<std::string>& args,
                 const std::string& cwd, std::string_view input, std::string* out) {
  Process p(program, args, cwd);
  p.Write(input);
  p.CloseInput();
  p.ReadAll();
  *out = p.out();
  return p.Wait();
}

}  // namespace rts::testing
