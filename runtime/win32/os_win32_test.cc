// Tests of the Win32 seam: file creation and its refusals, pipes, the program path and the call
// history.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "runtime/os.h"
#include "tests/support/files.h"

// Out of line and with external linkage, so that each is a call of its own in the history and
// its name is in the export table.
namespace win32_seam_test {
__attribute__((noinline)) std::vector<std::string> HistoryFromHere(bool* truncated) {
  auto h = rts::os::CallHistory(0, 256, truncated);
  asm volatile("");  // no tail call: this frame stays on the stack
  return h;
}
__attribute__((noinline)) std::vector<std::string> HistoryFromOneDeeper(bool* truncated) {
  auto h = HistoryFromHere(truncated);
  asm volatile("");
  return h;
}
}  // namespace win32_seam_test

namespace {

using win32_seam_test::HistoryFromHere;
using win32_seam_test::HistoryFromOneDeeper;
namespace fs = std::filesystem;
using rts::os::CreateError;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

void MakeReadOnly(const std::string& path) {
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

TEST(CreateForWrite, OutcomeForEachKindOfName) {
  TempDir dir;
  WriteFile(dir.File("old"), "old text");
  WriteFile(dir.File("locked"), "keep me");
  MakeReadOnly(dir.File("locked"));
  WriteFile(dir.File("plain"), "");
  fs::create_directory(dir.File("sub"));
  struct Case {
    std::string name;
    CreateError err;
    std::string left;  // the file's content afterwards, for names of files
  };
  const std::vector<Case> cases = {
      {dir.File("new"), CreateError::kNone, ""},
      {dir.File("old"), CreateError::kNone, ""},  // emptied
      {dir.File("locked"), CreateError::kOther, "keep me"},
      {dir.File("no/such/IM.txt"), CreateError::kPathNotFound, ""},
      {dir.File("sub"), CreateError::kOther, ""},
  };
  for (const Case& c : cases) {
    CreateError err = CreateError::kOther;
    const rts::os::Fd fd = rts::os::CreateForWrite(c.name, &err);
    EXPECT_EQ(err, c.err) << c.name;
    EXPECT_EQ(fd != rts::os::kNoFd, c.err == CreateError::kNone) << c.name;
    if (fd != rts::os::kNoFd) {
      EXPECT_TRUE(rts::os::IsRegularFile(fd)) << c.name;
      rts::os::Close(fd);
    }
    if (fs::is_regular_file(c.name)) {
      EXPECT_EQ(ReadFile(c.name), c.left) << c.name;
    }
  }
}

TEST(CreateForWrite, BytesGoOutUntranslatedAndDescriptorsAreReused) {
  TempDir dir;
  CreateError err;
  const rts::os::Fd a = rts::os::CreateForWrite(dir.File("a"), &err);
  ASSERT_NE(a, rts::os::kNoFd);
  EXPECT_GT(a, rts::os::kStdErr) << "the standard descriptors are never handed out";
  const std::string bytes = "A\r\n\n\x1a\0B";
  EXPECT_EQ(rts::os::WriteAll(a, bytes.data(), bytes.size()), 0u);
  rts::os::Close(a);
  EXPECT_EQ(ReadFile(dir.File("a")), bytes);
  const rts::os::Fd b = rts::os::CreateForWrite(dir.File("b"), &err);
  EXPECT_EQ(b, a) << "a closed descriptor is free again";
  rts::os::Close(b);
}

TEST(CreateForWrite, RunningOutOfDescriptorsIsTooManyOpen) {
  TempDir dir;
  std::vector<rts::os::Fd> open;
  CreateError err = CreateError::kNone;
  for (int k = 0; k < 1000 && err == CreateError::kNone; ++k) {
    const rts::os::Fd fd = rts::os::CreateForWrite(dir.File("f" + std::to_string(k)), &err);
    if (fd != rts::os::kNoFd) open.push_back(fd);
  }
  EXPECT_EQ(err, CreateError::kTooManyOpen);
  EXPECT_GT(open.size(), 200u);
  for (rts::os::Fd fd : open) rts::os::Close(fd);
  const rts::os::Fd again = rts::os::CreateForWrite(dir.File("again"), &err);
  EXPECT_NE(again, rts::os::kNoFd);
  rts::os::Close(again);
}

TEST(WriteAll, ClosedDescriptorGivesTheSystemError) {
  EXPECT_EQ(rts::os::WriteAll(200, "A", 1), uint32_t(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(rts::os::IsRegularFile(200));
}

// Standard input replaced by a pipe for the test's life.
struct PipeInput : ::testing::Test {
  HANDLE read_end = nullptr, write_end = nullptr;
  HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
  void SetUp() override {
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
    SetStdHandle(STD_INPUT_HANDLE, read_end);
  }
  void TearDown() override {
    SetStdHandle(STD_INPUT_HANDLE, saved);
    CloseHandle(read_end);
    if (write_end != nullptr) CloseHandle(write_end);
  }
  void Send(const std::string& s) {
    DWORD n = 0;
    ASSERT_TRUE(::WriteFile(write_end, s.data(), DWORD(s.size()), &n, nullptr));
  }
  void CloseWriter() {
    CloseHandle(write_end);
    write_end = nullptr;
  }
};

TEST_F(PipeInput, ReadWaitsForBytesThenSeesTheEnd) {
  EXPECT_FALSE(rts::os::IsRegularFile(rts::os::kStdIn));
  std::thread late([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    Send("48 0\r\n");
  });
  char buf[16];
  size_t got = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(rts::os::ReadOnce(rts::os::kStdIn, buf, sizeof buf, &got), rts::os::ReadStatus::kData);
  late.join();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_EQ(std::string(buf, got), "48 0\r\n");

  Send("123456");
  EXPECT_EQ(rts::os::ReadOnce(rts::os::kStdIn, buf, 4, &got), rts::os::ReadStatus::kData);
  EXPECT_EQ(std::string(buf, got), "1234") << "at most cap bytes";
  EXPECT_EQ(rts::os::ReadOnce(rts::os::kStdIn, buf, sizeof buf, &got), rts::os::ReadStatus::kData);
  EXPECT_EQ(std::string(buf, got), "56");
  CloseWriter();
  EXPECT_EQ(rts::os::ReadOnce(rts::os::kStdIn, buf, sizeof buf, &got), rts::os::ReadStatus::kEnd);
}

TEST(ProgramPath, IsTheFullPathOfThisProgram) {
  const std::string path = rts::os::ProgramPath();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path[1], ':') << path;
  EXPECT_NE(path.find("runtime_tests.exe"), std::string::npos) << path;
}

TEST(CallHistory, EntriesNameOffsetModuleAndExportedFunction) {
  bool truncated = true;
  const std::vector<std::string> h = HistoryFromOneDeeper(&truncated);
  ASSERT_GE(h.size(), 3u);
  EXPECT_FALSE(truncated);
  const std::string program = rts::os::ProgramPath();
  for (const std::string& e : h) {
    ASSERT_GE(e.size(), 10u) << e;
    EXPECT_EQ(e.find_first_not_of("0123456789ABCDEF"), 8u) << e;
    EXPECT_EQ(e.substr(8, 2), "  ") << e;
  }
  // The innermost entry is the caller of CallHistory, in this program.
  EXPECT_EQ(h[0].substr(10, program.size()), program) << h[0];
  EXPECT_NE(h[0].find("  win32_seam_test::HistoryFromHere"), std::string::npos) << h[0];
  EXPECT_NE(h[1].find("  win32_seam_test::HistoryFromOneDeeper"), std::string::npos) << h[1];
}

TEST(CallHistory, LimitAndSkipAreKept) {
  bool truncated = false;
  const std::vector<std::string> all = HistoryFromHere(&truncated);
  const std::vector<std::string> two = rts::os::CallHistory(0, 2, &truncated);
  EXPECT_EQ(two.size(), 2u);
  EXPECT_TRUE(truncated) << "more calls were active than asked for";
  const std::vector<std::string> skipped = rts::os::CallHistory(1, 256, &truncated);
  EXPECT_EQ(skipped.size() + 1, all.size() - 1) << "one frame fewer than from one call deeper";
}

}  // namespace
