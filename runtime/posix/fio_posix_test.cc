// FIO on POSIX devices: a full device behind the file's name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "runtime/failure.h"
#include "runtime/fio.h"
#include "tests/support/files.h"

namespace {

TEST(FioPosix, FullDiskRaisesFailure4) {
  testing_support::TempDir dir;
  const std::string path = dir.File("IM.txt");
  if (symlink("/dev/full", path.c_str()) != 0) GTEST_SKIP() << "no symlink";
  FIO::File f = FIO::Create(path);
  try {
    FIO::WrStr(f, "A");
    ADD_FAILURE() << "writing to a full device succeeded";
  } catch (const rts::Failure& e) {
    EXPECT_EQ(e.number(), 4u);
    EXPECT_EQ(e.text(), "IOException.hardDeviceError 00000070H");
  }
  EXPECT_EQ(FIO::IOresult(), FIO::otherProblem);
  FIO::Close(f);
}

}  // namespace
