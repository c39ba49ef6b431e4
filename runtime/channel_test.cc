// Tests of the output channels: text translation and when bytes reach the system.
#include "runtime/channel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "runtime/failure.h"
#include "tests/support/files.h"

namespace {

using testing_support::ReadFile;

struct DiskChannel : ::testing::Test {
  testing_support::TempDir dir;
  std::string path = dir.File("out");
  rts::Channel channel;
  void Open(bool text) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    channel.Open(fd, text);
    ASSERT_TRUE(channel.buffered());
  }
  void TearDown() override { channel.Close(); }
};

TEST_F(DiskChannel, TextChannelWritesOutAfterOperationsHoldingALineEnd) {
  Open(/*text=*/true);
  channel.Write("Zoom:  ");
  EXPECT_EQ(ReadFile(path), "");  // no line end yet: still buffered
  channel.Write("a\nb");
  EXPECT_EQ(ReadFile(path), "Zoom:  a\r\nb");
  channel.Write("\n");
  EXPECT_EQ(ReadFile(path), "Zoom:  a\r\nb\r\n");
}

TEST_F(DiskChannel, FileChannelTranslatesNothingAndWritesOutWhenFull) {
  Open(/*text=*/false);
  channel.Write("x\n\r\n");
  EXPECT_EQ(ReadFile(path), "");
  channel.Write(std::string(252, 'y'));  // 256 bytes: full, but nothing forces a write yet
  EXPECT_EQ(ReadFile(path), "");
  channel.Write("z");  // a full buffer goes out before the next byte is taken
  EXPECT_EQ(ReadFile(path), "x\n\r\n" + std::string(252, 'y'));
  channel.Flush();
  EXPECT_EQ(ReadFile(path).size(), 257u);
}

TEST_F(DiskChannel, LineEndsCountTwiceTowardsTheBuffer) {
  Open(/*text=*/true);
  channel.Write(std::string(300, '\n'));
  EXPECT_EQ(ReadFile(path), [] {
    std::string s;
    for (int k = 0; k < 300; ++k) s += "\r\n";
    return s;
  }());
}

TEST(PipeChannel, EveryOperationReachesThePipeBeforeItReturns) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  rts::Channel channel;
  channel.Open(p[1], /*text=*/true);
  EXPECT_FALSE(channel.buffered());
  channel.Write("# LED positions: ");
  char buf[64];
  ssize_t n = read(p[0], buf, sizeof buf);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n > 0 ? n : 0)), "# LED positions: ");
  channel.Write("\n");
  n = read(p[0], buf, sizeof buf);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n > 0 ? n : 0)), "\r\n");
  channel.Close();
  close(p[0]);
}

TEST(DeviceChannel, FullDeviceRaisesHardDeviceErrorOnce) {
  int fd = open("/dev/full", O_WRONLY);
  if (fd < 0) GTEST_SKIP() << "no /dev/full";
  rts::Channel channel;
  channel.Open(fd, /*text=*/false);
  try {
    channel.Write("A");
    ADD_FAILURE() << "a write to a full device succeeded";
  } catch (const rts::Failure& f) {
    EXPECT_EQ(f.number(), 4u);
    EXPECT_EQ(f.text(), "IOException.hardDeviceError 00000070H");
  }
  EXPECT_NO_THROW(channel.Close());  // the lost bytes are not reported again
}

TEST(ClosedDescriptor, OtherErrorsGiveTheSystemErrorNumber) {
  rts::Channel channel;
  channel.Open(1000, /*text=*/false);  // not open: EBADF (9)
  try {
    channel.Write("A");
    ADD_FAILURE() << "a write to a closed descriptor succeeded";
  } catch (const rts::Failure& f) {
    EXPECT_EQ(f.text(), "IOException.hardDeviceError 00000009H");
  }
}

}  // namespace
