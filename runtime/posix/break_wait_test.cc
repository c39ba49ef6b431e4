// Tests of the break-aware wait on a descriptor.
#include "runtime/posix/break_wait.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "runtime/os.h"

namespace rts::os {
namespace {

TEST(WaitReadableOrBreak, TellsDataHangUpTimeoutAndBreakApart) {
  InstallBreakHandler();
  const struct {
    const char* what;
    bool data, close_writer, break_before;
    int timeout_ms;
    WaitOutcome want;
  } cases[] = {
      {"data waits", true, false, false, -1, WaitOutcome::kReady},
      {"the writer has gone", false, true, false, -1, WaitOutcome::kReady},
      {"nothing comes", false, false, false, 10, WaitOutcome::kTimeout},
      {"a break recorded before the call", false, false, true, -1, WaitOutcome::kBreak},
      {"a break wins over data", true, false, true, -1, WaitOutcome::kBreak},
  };
  for (const auto& c : cases) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    if (c.data) {
      ASSERT_EQ(write(fds[1], "x", 1), 1);
    }
    if (c.close_writer) close(fds[1]);
    if (c.break_before) raise(SIGINT);
    EXPECT_EQ(WaitReadableOrBreak(fds[0], c.timeout_ms), c.want) << c.what;
    EXPECT_EQ(BreakRecorded(), c.break_before) << c.what << ": the break stays recorded";
    ClearBreak();
    close(fds[0]);
    if (!c.close_writer) close(fds[1]);
  }
}

}  // namespace
}  // namespace rts::os
