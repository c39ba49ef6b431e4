// Process-level tests: whole runs of the writer, their console bytes, exit codes and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace imtxt {
namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunResult;
using testing_support::TempDir;

// Runs the writer program in dir, standard output on a pipe and standard input at its end. As
// root it first gives up root's right to write any file, so that file permissions bind it the way
// they bind a user.
RunResult RunWriter(const std::string& program, const std::string& dir) {
  testing_support::RunOptions o;
  o.honour_file_modes = true;
  return testing_support::Run(program, dir, o);
}

class WriteRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The writer may run as another user: it must be able to create files here and to reach
    // its program file, wherever the build tree lies.
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
    std::filesystem::create_directory(dir_.File("bin"));
    std::filesystem::copy_file(LEDWHEEL_WRITE_RUN, Program());
  }
  std::string Program() const { return dir_.File("bin/firmware_write_run"); }
  std::string Im() const { return dir_.File("IM.txt"); }
  TempDir dir_;
};

TEST_F(WriteRunTest, NormalRunWritesTheFileAndFourEmptyConsoleLines) {
  const RunResult run = RunWriter(Program(), dir_.path());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "\r\n\r\n\r\n\r\n");
  EXPECT_EQ(ReadFile(Im()), ReadFile(LEDWHEEL_TESTDATA "/worked_example_im.txt"));
  EXPECT_FALSE(FileExists(dir_.File("errinfo.$$$")));
}

TEST_F(WriteRunTest, ReadOnlyFileEndsTheRunWithTheReportAndStaysUntouched) {
  const std::string old = "__GOTO_BEGIN\r\nold picture\r\n";
  testing_support::WriteFile(Im(), old);
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
  EXPECT_TRUE(FileExists(dir_.File("errinfo.$$$")));
}

TEST_F(WriteRunTest, FullDeviceEndsTheRunWithHardDeviceError) {
  std::filesystem::create_symlink("/dev/full", Im());
  const RunResult run = RunWriter(Program(), dir_.path());
  EXPECT_EQ(run.exit_code, 9);
  EXPECT_NE(run.out.find("#RTS: unhandled exception #4: IOException.hardDeviceError 00000070H"
                         "\r\n\r\nFile errinfo.$$$ created.\r\n"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(FileExists(dir_.File("errinfo.$$$")));
}

}  // namespace
}  // namespace imtxt
