// A private Xvfb for tests, and programs started against it.
#include "tests/support/xserver.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace testing_support {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Starts argv with extra environment entries and standard output and error on /dev/null.
pid_t SpawnWith(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
  std::vector<std::string> args = argv;
  std::vector<char*> arg_ptrs;
  for (std::string& a : args) arg_ptrs.push_back(a.data());
  arg_ptrs.push_back(nullptr);
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    bool replaced = false;
    for (const std::string& x : extra_env) {
      replaced = replaced || std::string(*e).rfind(x.substr(0, x.find('=') + 1), 0) == 0;
    }
    if (!replaced) env_strings.push_back(*e);
  }
  env_strings.insert(env_strings.end(), extra_env.begin(), extra_env.end());
  std::vector<char*> env_ptrs;
  for (std::string& e : env_strings) env_ptrs.push_back(e.data());
  env_ptrs.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawnp(&pid, arg_ptrs[0], &actions, nullptr, arg_ptrs.data(), env_ptrs.data()) != 0) {
    pid = 0;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

void End(pid_t pid) {
  if (pid == 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

}  // namespace

PrivateXServer::PrivateXServer(const std::string& screen) {
  for (int n = 170; n < 260; ++n) {
    const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
    if (Exists(sock) || Exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
    display_ = ":" + std::to_string(n);
    server_ = SpawnWith({"Xvfb", display_, "-screen", "0", screen, "-nolisten", "tcp"}, {});
    if (server_ == 0) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Exists(sock) && std::chrono::steady_clock::now() < until) {
      // A server that could not take the number (another test took it first) has ended.
      if (waitpid(server_, nullptr, WNOHANG) == server_) {
        server_ = 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    up_ = server_ != 0 && Exists(sock);
    if (up_ || server_ != 0) return;
  }
}

PrivateXServer::~PrivateXServer() { Kill(); }

bool PrivateXServer::Spawn(const std::vector<std::string>& argv) {
  if (!up_) return false;
  const pid_t pid = SpawnWith(argv, {"DISPLAY=" + display_});
  if (pid != 0) clients_.push_back(pid);
  return pid != 0;
}

void PrivateXServer::Kill() {
  for (pid_t pid : clients_) End(pid);
  clients_.clear();
  End(server_);
  server_ = 0;
  up_ = false;
}

ScopedDisplay::ScopedDisplay(const std::string& display) {
  const char* was = std::getenv("DISPLAY");
  had_ = was != nullptr;
  if (had_) old_ = was;
  setenv("DISPLAY", display.c_str(), 1);
}

ScopedDisplay::~ScopedDisplay() {
  if (had_) {
    setenv("DISPLAY", old_.c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
}

}  // namespace testing_support
