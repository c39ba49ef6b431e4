// Process-level tests: whole runs of the writer, their console bytes, exit codes and files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "firmware/test_util.h"

namespace firmware {
namespace {

using testing::ReadFile;
using testing::ScratchDir;

constexpr uid_t kNobody = 65534;

struct RunResult {
  int exit_code = -1;
  std::string out;
};

// Runs the writer program in dir. As root it drops to an unprivileged user first, so that file
// permissions bind it the way they bind a user.
RunResult RunWriter(const std::filesystem::path& program, const std::filesystem::path& dir) {
  RunResult result;
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(126);
    const int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, STDIN_FILENO);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[1]);
  char buffer[4096];
  ssize_t got;
  while ((got = read(pipe_fds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, got);
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

class WriteRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The writer may run as another user: it must be able to create files here and to reach
    // its program file, wherever the build tree lies.
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
    std::filesystem::create_directory(dir_.path() / "bin");
    std::filesystem::copy_file(LEDWHEEL_WRITE_RUN, Program());
  }
  std::filesystem::path Program() const { return dir_.path() / "bin" / "firmware_write_run"; }
  std::filesystem::path Im() const { return dir_.path() / "IM.txt"; }
  ScratchDir dir_;
};

TEST_F(WriteRunTest, NormalRunWritesTheFileAndFourEmptyConsoleLines) {
  const RunResult run = RunWriter(Program(), dir_.path());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "\r\n\r\n\r\n\r\n");
  EXPECT_EQ(ReadFile(Im()), ReadFile(LEDWHEEL_TESTDATA "/worked_example_im.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "errinfo.$$$"));
}

TEST_F(WriteRunTest, ReadOnlyFileEndsTheRunWithTheReportAndStaysUntouched) {
  const std::string old = "__GOTO_BEGIN\r\nold picture\r\n";
  testing::WriteFile(Im(), old);
  std::filesystem::permissions(Im(), std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  const RunResult run = RunWriter(Program(), dir_.path());
  EXPECT_EQ(run.exit_code, 9);
  EXPECT_NE(run.out.find("#RTS: unhandled exception #4294967295: FIO.Create: cannot open file "
                         "IM.txt\r\n\r\nFile errinfo.$$$ created.\r\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(ReadFile(Im()), old);
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "errinfo.$$$"));
}

TEST_F(WriteRunTest, FullDeviceEndsTheRunWithHardDeviceError) {
  std::filesystem::create_symlink("/dev/full", Im());
  const RunResult run = RunWriter(Program(), dir_.path());
  EXPECT_EQ(run.exit_code, 9);
  EXPECT_NE(run.out.find("#RTS: unhandled exception #4: IOException.hardDeviceError 00000070H"
                         "\r\n\r\nFile errinfo.$$$ created.\r\n"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "errinfo.$$$"));
}

}  // namespace
}  // namespace firmware
