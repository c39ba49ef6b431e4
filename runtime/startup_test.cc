// Tests of the run's end: the failure report, errinfo.$$$, exit codes, the termination list,
// the console break and the threads that must not receive it.
#include "runtime/startup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "runtime/failure.h"
#include "runtime/os.h"
#include "runtime/threads.h"
#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kProbe = FIO_PROBE;

TEST(ReportLine, NumberUnsignedAndTextOnlyWhenNotEmpty) {
  EXPECT_EQ(rts::ReportLine(21, "USER BREAK"), "#RTS: unhandled exception #21: USER BREAK");
  EXPECT_EQ(rts::ReportLine(static_cast<uint32_t>(-1), "x"),
            "#RTS: unhandled exception #4294967295: x");
  EXPECT_EQ(rts::ReportLine(7, ""), "#RTS: unhandled exception #7");
}

TEST(Failure, TextIsCutAt1024AndHistoryStartsAtTheRaiser) {
  rts::Failure f(3, std::string(2000, 'a'));
  EXPECT_EQ(f.text().size(), rts::Failure::kMaxText);
  EXPECT_FALSE(f.history().empty());
  EXPECT_LE(f.history().size(), rts::Failure::kMaxHistory);
  EXPECT_FALSE(f.history_truncated());
  try {
    rts::Raise(8, "t");
  } catch (const rts::Failure& e) {
    EXPECT_EQ(e.number(), 8u);
    EXPECT_EQ(e.text(), "t");
  }
}

std::atomic<bool> thread_blocks_break{false};

TEST(StartThread, NewThreadHasTheBreakBlockedAndCallerKeepsItsMask) {
  sigset_t before;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  ASSERT_FALSE(sigismember(&before, SIGINT));
  std::thread t = rts::StartThread([] {
    sigset_t mine;
    pthread_sigmask(SIG_SETMASK, nullptr, &mine);
    thread_blocks_break = sigismember(&mine, SIGINT) == 1;
  });
  t.join();
  EXPECT_TRUE(thread_blocks_break);
  sigset_t after;
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  EXPECT_FALSE(sigismember(&after, SIGINT));
}

TEST(Break, RecordedBreakRaisesUserBreakOnceAtTheNextCheck) {
  rts::os::InstallBreakHandler();
  EXPECT_NO_THROW(rts::CheckBreak());
  raise(SIGINT);  // the handler only records it
  EXPECT_TRUE(rts::BreakPending());
  try {
    rts::CheckBreak();
    ADD_FAILURE() << "no failure";
  } catch (const rts::Failure& f) {
    EXPECT_EQ(f.number(), 21u);
    EXPECT_EQ(f.text(), "USER BREAK");
  }
  EXPECT_FALSE(rts::BreakPending());
  // A break recorded before a read comes back at once instead of waiting for input.
  raise(SIGINT);
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  char c;
  size_t got;
  EXPECT_EQ(rts::os::ReadOnce(p[0], &c, 1, &got), rts::os::ReadStatus::kInterrupted);
  rts::os::ClearBreak();
  close(p[0]);
  close(p[1]);
}

// The failure report as the probe writes it, checked against errinfo.$$$.
struct ProbeRun : ::testing::Test {
  TempDir dir;
  std::string out, err;
  // Runs the probe with standard output on a pipe and no display.
  int Probe(std::vector<std::string> args, std::string_view input = "") {
    testing_support::RunOptions o;
    o.args = std::move(args);
    o.stdin_text = input;
    o.display = "";
    const testing_support::RunResult r = testing_support::Run(kProbe, dir.path(), o);
    out = r.out;
    err = r.err;
    return r.exit_code;
  }
  std::string ErrInfo() { return ReadFile(dir.File("errinfo.$$$")); }
};

TEST_F(ProbeRun, ReadOnlyFileGivesReportErrInfoAndExit9) {
  WriteFile(dir.File("IM.txt"), "old");
  ASSERT_EQ(chmod(dir.File("IM.txt").c_str(), 0444), 0);
  EXPECT_EQ(Probe({"create", "IM.txt", "extra arg"}), 9);
  const std::string line =
      "#RTS: unhandled exception #4294967295: FIO.Create: cannot open file IM.txt";
  EXPECT_EQ(out, line + "\r\n\r\nFile errinfo.$$$ created.\r\n");
  EXPECT_EQ(ReadFile(dir.File("IM.txt")), "old");
  const std::string info = ErrInfo();
  const size_t eol = info.find("\r\n");
  ASSERT_NE(eol, std::string::npos);
  const std::string line1 = info.substr(0, eol);
  EXPECT_NE(line1.find("fio_probe create IM.txt extra arg"), std::string::npos) << line1;
  EXPECT_EQ(line1[0], '/');  // a full path
  EXPECT_EQ(info.substr(eol + 2, line.size() + 2), line + "\r\n");
  // One line per active call, then nothing else.
  EXPECT_GT(std::count(info.begin(), info.end(), '\n'), 3);
  EXPECT_EQ(info.find("truncated"), std::string::npos);
  EXPECT_EQ(info.substr(info.size() - 2), "\r\n");
}

TEST_F(ProbeRun, FullDiskGivesHardDeviceError) {
  ASSERT_EQ(symlink("/dev/full", dir.File("IM.txt").c_str()), 0);
  EXPECT_EQ(Probe({"create", "IM.txt"}), 9);
  EXPECT_EQ(out,
            "#RTS: unhandled exception #4: IOException.hardDeviceError 00000070H\r\n\r\n"
            "File errinfo.$$$ created.\r\n");
  EXPECT_TRUE(FileExists(dir.File("errinfo.$$$")));
}

TEST_F(ProbeRun, EmptyTextHasNoColonAndEachFailureOverwritesErrInfo) {
  WriteFile(dir.File("errinfo.$$$"), std::string(5000, 'z'));
  EXPECT_EQ(Probe({"raise", "7", ""}), 9);
  EXPECT_EQ(out, "partial#RTS: unhandled exception #7\r\n\r\nFile errinfo.$$$ created.\r\n");
  EXPECT_EQ(ErrInfo().find('z'), std::string::npos);
}

TEST_F(ProbeRun, UncreatableErrInfoIsSaidAndStillExits9) {
  ASSERT_EQ(mkdir(dir.File("errinfo.$$$").c_str(), 0755), 0);
  EXPECT_EQ(Probe({"raise", "1", "x"}), 9);
  EXPECT_EQ(
      out, "partial#RTS: unhandled exception #1: x\r\n\r\n#RTS: Can't create file errinfo.$$$\r\n");
}

TEST_F(ProbeRun, DeepFailureTruncatesTheHistoryAt256) {
  EXPECT_EQ(Probe({"deep", "400"}), 9);
  const std::string info = ErrInfo();
  const std::string tail = "#RTS: History stack was truncated: not enough room.\r\n";
  ASSERT_GE(info.size(), tail.size());
  EXPECT_EQ(info.substr(info.size() - tail.size()), tail);
  EXPECT_EQ(std::count(info.begin(), info.end(), '\n'), 2 + 256 + 1);
}

TEST_F(ProbeRun, ReportComesAfterTextBufferedForADiskFile) {
  // Standard output redirected to a file: "partial" sits in the channel's buffer.
  const std::string cmd = "cd '" + dir.path() + "' && '" + kProbe + "' raise 2 y > out.txt";
  const int status = system(cmd.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 9);
  EXPECT_EQ(ReadFile(dir.File("out.txt")),
            "partial#RTS: unhandled exception #2: y\r\n\r\nFile errinfo.$$$ created.\r\n");
}

TEST_F(ProbeRun, NormalEndRunsTerminationLastFirstAndKeepsTheExitCode) {
  EXPECT_EQ(Probe({"order", "", "", "3"}), 3);
  EXPECT_EQ(out, "term2\r\nterm1\r\n");
  EXPECT_FALSE(FileExists(dir.File("errinfo.$$$")));
}

TEST_F(ProbeRun, BuffersOfOpenFilesAreWrittenOutAtTheEnd) {
  EXPECT_EQ(Probe({"noclose", "IM.txt", "300"}), 0);
  EXPECT_EQ(ReadFile(dir.File("IM.txt")), std::string(300, 'x'));
}

TEST_F(ProbeRun, FailureInTheTerminationListIsReportedAndTheRestStillRuns) {
  EXPECT_EQ(Probe({"termfail"}), 9);
  EXPECT_EQ(out,
            "#RTS: unhandled exception #4: lost at the end\r\n\r\n"
            "File errinfo.$$$ created.\r\nterm1\r\n");
}

TEST_F(ProbeRun, EndOfInputEndsWithMessageAndExit1) {
  EXPECT_EQ(Probe({"read"}, "1 2\n3\n"), rts::kExitInputEnded);
  EXPECT_EQ(out, "1\r\n2\r\n3\r\n");
  EXPECT_NE(err.find("standard input ended"), std::string::npos) << err;
}

TEST_F(ProbeRun, ClosedStandardInputIsEndOfInput) {
  const std::string cmd = "cd '" + dir.path() + "' && '" + kProbe + "' read <&- >out.txt 2>&1";
  EXPECT_EQ(WEXITSTATUS(system(cmd.c_str())), rts::kExitInputEnded);
}

}  // namespace
