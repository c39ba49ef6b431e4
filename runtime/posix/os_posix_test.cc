// The POSIX seam's files: a new file made beside an output, and removed when a signal ends the
// program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "runtime/os.h"
#include "tests/support/files.h"

namespace rts::os {
namespace {

using testing_support::FileExists;
using testing_support::TempDir;
using testing_support::WriteFile;

void BreakRecorder(int) {}

TEST(RemoveOnBreak, ASignalThatEndsTheProgramRemovesTheFile) {
  const struct {
    const char* what;
    int signal;
    void (*handler)(int);  // the program's own disposition before RemoveOnBreak
    bool removed;
    int status;  // the child's end: 128 + the signal when it ended by it
  } cases[] = {
      {"Ctrl+C", SIGINT, SIG_DFL, true, 128 + SIGINT},
      {"a request to terminate", SIGTERM, SIG_DFL, true, 128 + SIGTERM},
      {"a hang-up", SIGHUP, SIG_DFL, true, 128 + SIGHUP},
      {"Ctrl+C the program handles", SIGINT, BreakRecorder, false, 0},
      {"Ctrl+C the program ignores", SIGINT, SIG_IGN, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string name = dir.File(".IM.txt.12345678.new");
    WriteFile(name, "half");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      signal(c.signal, c.handler);
      RemoveOnBreak(name);
      raise(c.signal);
      RemoveOnBreak("");
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status), c.status);
    EXPECT_EQ(FileExists(name), !c.removed);
  }
}

// A write to a pipe nobody reads (as to the socket of an X server that went away) ends the
// program, as it always did, unless the writing thread has said it survives them.
TEST(SurviveBrokenPipes, ABrokenPipeIsThenAnErrorOnThatThread) {
  const struct {
    const char* what;
    bool survive, on_other_thread;
    int status;  // 0: the write failed with EPIPE; 128 + the signal that ended the program
  } cases[] = {
      {"not asked", false, false, 128 + SIGPIPE},
      {"asked", true, false, 0},
      {"asked, the write on a thread started after", true, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      signal(SIGPIPE, SIG_DFL);
      int fds[2];
      if (pipe(fds) != 0) _exit(2);
      close(fds[0]);
      if (c.survive) SurviveBrokenPipes();
      int error = 0;
      const auto write_one = [&] { error = write(fds[1], "x", 1) < 0 ? errno : 0; };
      if (c.on_other_thread) {
        std::thread(write_one).join();
      } else {
        write_one();
      }
      _exit(error == EPIPE ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status), c.status);
  }
}

}  // namespace
}  // namespace rts::os
