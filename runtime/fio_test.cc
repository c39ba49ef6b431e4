// Tests of FIO: exact bytes, buffering, creation and its failures.
#include "runtime/fio.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/failure.h"
#include "tests/support/files.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

struct FioTest : ::testing::Test {
  testing_support::TempDir dir;
  std::string path = dir.File("IM.txt");

  // The bytes one writer produces in a fresh file.
  template <class Fn>
  std::string Bytes(Fn fn) {
    FIO::File f = FIO::Create(path);
    fn(f);
    FIO::Close(f);
    return ReadFile(path);
  }
};

TEST_F(FioTest, WrIntWidths) {
  auto wr = [this](int32_t v, int32_t w) {
    return Bytes([&](FIO::File f) { FIO::WrInt(f, v, w); });
  };
  EXPECT_EQ(wr(7, 0), "7");
  EXPECT_EQ(wr(-7, 0), "-7");
  EXPECT_EQ(wr(0, 0), "0");
  EXPECT_EQ(wr(INT32_MIN, 0), "-2147483648");
  EXPECT_EQ(wr(42, 5), "   42");
  EXPECT_EQ(wr(42, -5), "42   ");
  EXPECT_EQ(wr(-42, 5), "  -42");
  EXPECT_EQ(wr(123456, 3), "123456");
  EXPECT_EQ(wr(123456, -3), "123456");
  EXPECT_EQ(wr(5, 1), "5");
  EXPECT_EQ(wr(5, -100000), "5" + std::string(99999, ' '));
}

TEST_F(FioTest, StringsAndLineEndsAreWrittenExactly) {
  EXPECT_EQ(Bytes([](FIO::File f) {
              FIO::WrStr(f, "A");
              FIO::WrLn(f);
            }),
            "A\r\n");
  EXPECT_EQ(Bytes([](FIO::File f) { FIO::WrStr(f, ""); }), "");
  EXPECT_EQ(Bytes([](FIO::File f) { FIO::WrStr(f, " _\"'\n\t"); }), " _\"'\n\t");
  EXPECT_EQ(Bytes([](FIO::File f) { FIO::WrStr(f, std::string_view("ab\0cd", 5)); }), "ab");
}

TEST_F(FioTest, CreateEmptiesAnExistingFile) {
  WriteFile(path, "old text that must go");
  EXPECT_EQ(Bytes([](FIO::File f) { FIO::WrStr(f, "new"); }), "new");
  EXPECT_EQ(FIO::IOresult(), FIO::allRight);
}

TEST_F(FioTest, LargeFileIsBufferedAndCompleteAfterClose) {
  FIO::File f = FIO::Create(path);
  std::string want;
  for (int k = 0; k < 100; ++k) {
    FIO::WrInt(f, k, 4);
    FIO::WrLn(f);
    want += std::string(k < 10 ? 3 : 2, ' ') + std::to_string(k) + "\r\n";
  }
  // Whole blocks only reach the disk before the close.
  EXPECT_EQ(ReadFile(path).size() % 256, 0u);
  EXPECT_LT(ReadFile(path).size(), want.size());
  FIO::Close(f);
  EXPECT_EQ(ReadFile(path), want);
}

TEST_F(FioTest, SeveralFilesKeepTheirOwnBuffers) {
  FIO::File a = FIO::Create(path);
  FIO::File b = FIO::Create(dir.File("other"));
  EXPECT_NE(a, b);
  FIO::WrStr(a, "first");
  FIO::WrStr(b, "second");
  FIO::Close(b);
  FIO::Close(a);
  EXPECT_EQ(ReadFile(path), "first");
  EXPECT_EQ(ReadFile(dir.File("other")), "second");
}

// The code and the text of the failure Create raises for name.
std::pair<int32_t, std::string> CreateFailure(const std::string& name) {
  try {
    FIO::File f = FIO::Create(name);
    FIO::Close(f);
  } catch (const rts::Failure& e) {
    EXPECT_EQ(static_cast<int32_t>(e.number()), FIO::IOresult());
    return {static_cast<int32_t>(e.number()), e.text()};
  }
  return {FIO::allRight, ""};
}

TEST_F(FioTest, ReadOnlyFileIsRefusedAndLeftUntouchedEvenForRoot) {
  WriteFile(path, "keep me");
  namespace fs = std::filesystem;
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  auto [code, text] = CreateFailure(path);
  EXPECT_EQ(code, FIO::otherProblem);
  EXPECT_EQ(text, "FIO.Create: cannot open file " + path);
  EXPECT_EQ(ReadFile(path), "keep me");
}

TEST_F(FioTest, MissingDirectoryIsFileNotFound) {
  EXPECT_EQ(CreateFailure(dir.File("no/such/IM.txt")).first, FIO::fileNotFound);
  EXPECT_EQ(CreateFailure(dir.File("")).first, FIO::otherProblem);  // a directory
  WriteFile(dir.File("plain"), "");
  EXPECT_EQ(CreateFailure(dir.File("plain/IM.txt")).first, FIO::fileNotFound);  // ENOTDIR
}

TEST_F(FioTest, RunningOutOfFilesIsTooManyOpen) {
  std::vector<FIO::File> open;
  int32_t code = FIO::allRight;
  for (int k = 0; k < 200 && code == FIO::allRight; ++k) {
    try {
      open.push_back(FIO::Create(dir.File("f" + std::to_string(k))));
    } catch (const rts::Failure& e) {
      code = static_cast<int32_t>(e.number());
    }
  }
  EXPECT_EQ(code, FIO::tooManyOpen);
  for (FIO::File f : open) FIO::Close(f);
  // Closing gives the handles back.
  EXPECT_EQ(Bytes([](FIO::File f) { FIO::WrStr(f, "ok"); }), "ok");
}

TEST(FioSettings, StartValues) {
  FIO::Start();
  const FIO::Settings& s = FIO::settings();
  EXPECT_TRUE(s.IOcheck);
  EXPECT_FALSE(s.ChopOff);
  EXPECT_EQ(s.PrefixChar, ' ');
  EXPECT_EQ(s.SuffixChar, ' ');
  EXPECT_EQ(s.ShareMode, FIO::ShareCompat);
}

}  // namespace

namespace {

// A file made by the caller and handed over is the one Create writes, through its handle: the
// name Create is given is never opened.
TEST_F(FioTest, AHandedOverFileIsWrittenThroughItsHandle) {
  const struct {
    const char* what;
    const char* created;  // the name the writer creates
    bool taken;
  } cases[] = {
      {"the handed name", "IM.txt", true},
      {"another name", "other.txt", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir.File("made.txt"));
    rts::os::FileProblem problem;
    const rts::os::Fd fd = rts::os::CreateNew(dir.File("made.txt"), "", &problem);
    ASSERT_NE(fd, rts::os::kNoFd) << problem.text;
    FIO::HandOver(path, fd);
    FIO::File f = FIO::Create(c.created == std::string("IM.txt") ? path : dir.File(c.created));
    FIO::WrStr(f, "written");
    FIO::Close(f);
    EXPECT_EQ(FIO::EndHandOver(), c.taken);
    if (!c.taken) rts::os::Close(fd);
    EXPECT_EQ(ReadFile(dir.File("made.txt")), c.taken ? "written" : "");
    EXPECT_FALSE(testing_support::FileExists(path));
    std::filesystem::remove(dir.File(c.created));
  }
}

// A new file beside an output is made only where nothing is: an existing file, or a link,
// dangling or not, is refused and left as it was.
TEST_F(FioTest, CreateNewMakesOnlyNewFiles) {
  WriteFile(dir.File("old.txt"), "old");
  bool links = true;
  try {
    std::filesystem::create_symlink("nowhere.txt", dir.File("dangling.txt"));
    std::filesystem::create_symlink("old.txt", dir.File("link.txt"));
  } catch (const std::filesystem::filesystem_error&) {
    links = false;  // a system without them
  }
  const struct {
    const char* name;
    bool made;
    bool needs_links;
  } cases[] = {
      {"new.txt", true, false},
      {"old.txt", false, false},
      {"dangling.txt", false, true},
      {"link.txt", false, true},
  };
  for (const auto& c : cases) {
    if (c.needs_links && !links) continue;
    SCOPED_TRACE(c.name);
    rts::os::FileProblem problem;
    const rts::os::Fd fd = rts::os::CreateNew(dir.File(c.name), "", &problem);
    EXPECT_EQ(fd != rts::os::kNoFd, c.made);
    if (fd != rts::os::kNoFd) {
      EXPECT_GT(fd, rts::os::kStdErr);
      rts::os::Close(fd);
    } else {
      EXPECT_EQ(problem.kind, rts::os::FileProblem::Kind::kExists) << problem.text;
    }
  }
  EXPECT_EQ(ReadFile(dir.File("old.txt")), "old");
  EXPECT_FALSE(testing_support::FileExists(dir.File("nowhere.txt")));
}

}  // namespace
