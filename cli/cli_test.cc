// Tests of the command line through the real program: help and version, usage errors, file
// errors that leave every file as it was, import, the IM.txt round trip and render.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cli/load.h"
#include "firmware/fit_check.h"
#include "firmware/reference_firmware.h"
#include "firmware/table_firmware.h"
#include "imaging/imaging.h"
#include "imtxt/fragment_words.h"
#include "imtxt/im_reader.h"
#include "imtxt/maak_text.h"
#include "runtime/fio.h"
#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kProgram = LEDWHEEL;

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// A picture of side px in which lit(x, y) pixels are white and the rest black (x, y in -1..1,
// y downwards).
template <class Lit>
std::string Png(int32_t px, Lit lit) {
  imaging::Image image;
  image.width = image.height = px;
  image.rgba.resize(static_cast<size_t>(px) * px * 4);
  for (int32_t y = 0; y < px; ++y) {
    for (int32_t x = 0; x < px; ++x) {
      const double u = (x + 0.5) / px * 2 - 1, v = (y + 0.5) / px * 2 - 1;
      const uint8_t c = lit(u, v) ? 255 : 0;
      uint8_t* p = &image.rgba[(static_cast<size_t>(y) * px + x) * 4];
      p[0] = p[1] = p[2] = c;
      p[3] = 255;
    }
  }
  return Bytes(imaging::EncodePng(image));
}

uint32_t Crc32(std::string_view bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A valid PNG whose header says width x height: the pixels never come.
std::string PngClaiming(uint32_t width, uint32_t height) {
  std::string png = Png(1, [](double, double) { return true; });
  auto put = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) png[at + k] = static_cast<char>(v >> (24 - 8 * k));
  };
  put(16, width);  // IHDR data starts at 16: signature 8, length 4, type 4
  put(20, height);
  put(29, Crc32(std::string_view(png).substr(12, 17)));
  return png;
}

// A wheel of n positions whose first `lit` positions use every intensity.
std::unique_ptr<wheel::LedArray> Lit(int32_t n, int32_t lit) {
  auto led = std::make_unique<wheel::LedArray>();
  for (int32_t q = 1; q <= lit && q <= n; ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*led)[q][i].toestand = 1 + i % 4;
  }
  return led;
}

class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { FIO::Start(); }

  RunResult Run(std::vector<std::string> args, bool honour_file_modes = false) {
    RunOptions o;
    o.args = std::move(args);
    o.display = "";  // no command here opens a window
    o.honour_file_modes = honour_file_modes;
    return testing_support::Run(kProgram, dir_.path(), o);
  }

  // The writers' IM.txt for a wheel, as a file in the test's directory.
  std::string WriteIm(const wheel::LedArray& led, int32_t n, const std::string& name) {
    imtxt::WriteImFile(led, n, dir_.File(name));
    return ReadFile(dir_.File(name));
  }

  // The wheel of an IM.txt in the test's directory; fails the test when it is not one.
  std::unique_ptr<wheel::LedArray> ReadIm(const std::string& name, int32_t* n) {
    auto led = std::make_unique<wheel::LedArray>();
    imtxt::ImInfo info;
    std::string error;
    EXPECT_TRUE(imtxt::ReadIm(ReadFile(dir_.File(name)), *led, &info, &error)) << error;
    *n = info.positions;
    return led;
  }

  // The names in the test's directory, so that a stray temporary file is seen.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      // The runner's own record of standard error.
      if (e.path().filename() != "stderr.txt") names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
};

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> shows;
  };
  const Case cases[] = {
      {{"--help"}, {"import", "edit", "render", "--version", "Exit codes"}},
      {{"import", "--help"},
       {"--positions", "--budget", "--levels", "--fit", "--rotate", "--mirror", "--invert",
        "--no-dither", "--output"}},
      {{"edit", "--help"},
       {"--zoom", "--output", "--positions", "--recover", "--under", "drag", "Ctrl+S", "Ctrl+Z",
        "Ctrl+Y", ".recover"}},
      {{"render", "--help"}, {"--view", "--size", "--colour", "--output"}},
      {{"--version"}, {std::string("ledwheel ") + LEDWHEEL_VERSION + "\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    for (const std::string& s : c.shows) EXPECT_NE(r.out.find(s), std::string::npos) << s;
  }
}

// The program has always ignored its arguments: only a command or an option is read.
TEST_F(CliTest, ArgumentsThatAreNoCommandStillStartTheDialog) {
  const RunResult r = Run({"frobnicate", "x.png"});
  EXPECT_TRUE(r.out.find("# LED positions: ") != std::string::npos) << r.out;
  EXPECT_EQ(r.exit_code, 1);  // standard input ended at the first question
}

TEST_F(CliTest, UsageErrorsAreOneLineAndExitTwo) {
  WriteFile(dir_.File("IM.txt"), "kept");
  WriteFile(dir_.File("p.png"), Png(8, [](double, double) { return true; }));
  const std::vector<std::string> cases[] = {
      {"--frobnicate"},
      {"import"},
      {"import", "p.png", "--bogus"},
      {"import", "p.png", "-n", "0"},
      {"import", "p.png", "-n", "501"},
      {"import", "p.png", "-n", "12x"},
      {"import", "p.png", "--positions=-3"},
      {"import", "p.png", "--budget", "0"},
      {"import", "p.png", "--budget", "52"},
      {"import", "p.png", "--budget", "10000"},
      {"check", "p.png", "--budget", "9000"},
      {"check", "IM.txt", "--budget", "6"},
      {"check", "p.png", "--mhz", "nan"},
      {"import", "p.png", "--rotate", "nan"},
      {"import", "p.png", "--rotate", "inf"},
      {"import", "p.png", "--rotate", "-inf"},
      {"render", "p.png", "--rotate", "2e999"},
      {"render", "p.png", "--size", "12.5"},
      {"import", "p.png", "--levels", "0.5,0.2,0.7,1"},
      {"import", "p.png", "--levels", "1,2"},
      {"import", "p.png", "--fit", "stretch"},
      {"import", "p.png", "--rotate", "left"},
      {"edit", "p.png", "--zoom", "91"},
      {"edit", "p.png", "--zoom", "-58"},
      {"edit", "-n", "auto"},
      {"render", "p.png", "--size", "0"},
      {"render", "p.png", "--view", "top"},
      {"render", "p.png", "--colour", "GG0000"},
      {"render", "p.png", "--colour", "#FF0000"},
      {"render"},
      {"render", "p.png", "--speed", "0"},
      {"render", "p.png", "p.png", "--turns-per-frame", "256"},
      {"import", "p.png", "-o", "f-%d-%02d.txt"},
      {"import", "p.png", "--fit", "a\nb"},
      {"import", "p.png", "extra\n\x1b[2J"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string line;
    for (const std::string& a : args) line += a + " ";
    SCOPED_TRACE(line);
    const RunResult r = Run(args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("ledwheel: ")) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), "kept");
  EXPECT_EQ(Names(), (std::vector<std::string>{"IM.txt", "p.png"}));
}

TEST_F(CliTest, FileProblemsNameTheFileExitOneAndLoseNothing) {
  WriteFile(dir_.File("IM.txt"), "the old file");
  WriteFile(dir_.File("wheel.png"), "the old picture");
  const std::string good = Png(16, [](double u, double) { return u > 0; });
  WriteFile(dir_.File("notes.txt"), "a shopping list\n");
  WriteFile(dir_.File("truncated.png"), good.substr(0, good.size() / 2));
  std::string wrong_magic = good;
  wrong_magic[1] = 'X';
  WriteFile(dir_.File("magic.png"), wrong_magic);
  WriteFile(dir_.File("huge.png"), PngClaiming(20000, 20000));
  WriteFile(dir_.File("bad.txt"), "__MOVLW_D'2'__;# positions\r\nBEGIN\r\n");
  WriteFile(dir_.File("many.txt"), "__MOVLW_D'600'__;# positions\r\n");
  std::filesystem::create_directory(dir_.File("folder"));
  WriteFile(dir_.File("good.png"), good);

  struct Case {
    std::vector<std::string> args;
    std::string error;  // the whole line without its end, or its start when it ends in "..."
  };
  const Case cases[] = {
      {{"import", "missing.png"}, "ledwheel: missing.png: no such file"},
      {{"render", "folder"}, "ledwheel: folder: is a directory"},
      {{"import", "notes.txt"}, "ledwheel: notes.txt: neither a picture nor an IM.txt"},
      {{"import", "magic.png"}, "ledwheel: magic.png: neither a picture nor an IM.txt"},
      {{"import", "truncated.png"}, "ledwheel: truncated.png: damaged picture..."},
      {{"render", "huge.png"}, "ledwheel: huge.png: picture of 20000 x 20000 pixels is over..."},
      {{"import", "bad.txt"}, "ledwheel: bad.txt: line 2: expected \"__MOVWF_HOEKTELLER\""},
      {{"edit", "many.txt"},
       "ledwheel: many.txt: line 1: the file names 600 positions; at most 500 are allowed"},
      {{"edit", "--recover"},
       "ledwheel: .IM.txt.recover: no such file: no unwritten changes are kept for IM.txt"},
      {{"edit", "--under", "missing.png"}, "ledwheel: missing.png: no such file"},
      {{"edit", "--under", "notes.txt"}, "ledwheel: notes.txt: not a picture"},
      {{"edit", "good.png", "-n", "8"}, "ledwheel: cannot open the editor window: no display"},
      {{"import", "good.png", "-o", "folder"}, "ledwheel: folder: is a directory"},
      {{"import", "good.png", "-o", "nowhere/IM.txt"},
       "ledwheel: nowhere/IM.txt: cannot be written: no such directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    const std::string want = c.error;
    if (want.ends_with("...")) {
      EXPECT_TRUE(r.err.starts_with(want.substr(0, want.size() - 3))) << r.err;
    } else {
      EXPECT_EQ(r.err, want + "\n");
    }
  }
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), "the old file");
  EXPECT_EQ(ReadFile(dir_.File("wheel.png")), "the old picture");
  EXPECT_EQ(Names(), (std::vector<std::string>{"IM.txt", "bad.txt", "folder", "good.png",
                                               "huge.png", "magic.png", "many.txt", "notes.txt",
                                               "truncated.png", "wheel.png"}));
}

TEST_F(CliTest, ReadOnlyOutputsAndUnreadableInputsAreRefused) {
  WriteFile(dir_.File("good.png"), Png(16, [](double, double) { return true; }));
  WriteFile(dir_.File("IM.txt"), "read-only");
  std::filesystem::permissions(dir_.File("IM.txt"), std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read);
  // Refused even where the permissions would not stop the program (root).
  RunResult r = Run({"import", "good.png"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "ledwheel: IM.txt: is read-only: not replaced\n");
  EXPECT_EQ(ReadFile(dir_.File("IM.txt")), "read-only");

  WriteFile(dir_.File("secret.png"), ReadFile(dir_.File("good.png")));
  std::filesystem::permissions(dir_.File("secret.png"), std::filesystem::perms::owner_write);
  r = Run({"render", "secret.png", "-o", "out.png"}, /*honour_file_modes=*/true);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "ledwheel: secret.png: permission denied\n");
  EXPECT_FALSE(FileExists(dir_.File("out.png")));
}

// Every way an output can be met: a link stays a link and its target gets the content (made when
// missing), a device or one of the program's own descriptors is written in place, a replaced
// file keeps its mode and owner, long names work, the input is never the output, and a refusal
// comes before the work. The program runs under a shell here, which can close its descriptors.
TEST_F(CliTest, OutputsOfEveryKind) {
  namespace fs = std::filesystem;
  const std::string dark = Png(8, [](double, double) { return false; });
  WriteFile(dir_.File("dark.png"), dark);
  const std::string im = [&] {
    EXPECT_EQ(Run({"import", "dark.png", "-n", "3", "-o", "want.txt"}).exit_code, 0);
    return ReadFile(dir_.File("want.txt"));
  }();
  ASSERT_TRUE(im.starts_with("__MOVLW_D'3'"));
  const bool root = geteuid() == 0;
  const std::string long255(251, 'x'), long242(238, 'y');
  const auto mode = [&](const std::string& name) {
    return fs::status(dir_.File(name)).permissions() & fs::perms::mask;
  };
  const auto owner = [&](const std::string& name) {
    struct stat st = {};
    stat(dir_.File(name).c_str(), &st);
    return std::pair(st.st_uid, st.st_gid);
  };
  struct Case {
    const char* name;
    std::function<void()> before;
    std::string script;  // "L" stands for the program
    int exit_code;
    std::string err;  // the whole of standard error; "IM" for the IM.txt's bytes
    std::function<void(const RunResult&)> after;
    bool honour_file_modes = false;
  };
  const Case cases[] = {
      {"a dangling link makes its target",
       [&] { fs::create_symlink("made.txt", dir_.File("dangling.txt")); },
       "L import dark.png -n 3 -o dangling.txt", 0, "",
       [&](const RunResult&) {
         EXPECT_TRUE(fs::is_symlink(dir_.File("dangling.txt")));
         EXPECT_EQ(ReadFile(dir_.File("made.txt")), im);
       }},
      {"a chain of links into another directory",
       [&] {
         fs::create_directory(dir_.File("sub"));
         WriteFile(dir_.File("sub/far.txt"), "old");
         fs::create_symlink("sub/far.txt", dir_.File("link1.txt"));
         fs::create_symlink(dir_.File("link1.txt"), dir_.File("link2.txt"));
       },
       "L import dark.png -n 3 -o link2.txt", 0, "",
       [&](const RunResult&) {
         EXPECT_TRUE(fs::is_symlink(dir_.File("link1.txt")));
         EXPECT_TRUE(fs::is_symlink(dir_.File("link2.txt")));
         EXPECT_EQ(ReadFile(dir_.File("sub/far.txt")), im);
       }},
      {"/dev/null", [] {}, "L import dark.png -n 3 -o /dev/null", 0, "",
       [](const RunResult&) { EXPECT_TRUE(fs::is_character_file("/dev/null")); }},
      {"/dev/full", [] {}, "L import dark.png -n 3 -o /dev/full", 1,
       "ledwheel: /dev/full: cannot be written: the disk is full\n",
       [](const RunResult&) { EXPECT_TRUE(fs::is_character_file("/dev/full")); }},
      {"/dev/stdout, a pipe", [] {}, "L import dark.png -n 3 -o /dev/stdout", 0, "",
       [&](const RunResult& r) { EXPECT_EQ(r.out, im); }},
      {"/dev/stderr, a file", [] {}, "L import dark.png -n 3 -o /dev/stderr", 0, "IM",
       [](const RunResult&) {}},
      {"/dev/stdout, a file", [] {}, "L import dark.png -n 3 -o /dev/stdout >shell.txt", 0, "",
       [&](const RunResult&) { EXPECT_EQ(ReadFile(dir_.File("shell.txt")), im); }},
      // As /dev/stdout, which a fault here would replace for the whole system.
      {"standard output's link, closed",
       [&] { fs::create_symlink("/proc/self/fd/1", dir_.File("stdout")); },
       "L import dark.png -n 3 -o stdout >&-", 1,
       "ledwheel: stdout: cannot be written: it is closed\n",
       [&](const RunResult&) { EXPECT_TRUE(fs::is_symlink(dir_.File("stdout"))); }},
      {"mode and owner kept",
       [&] {
         WriteFile(dir_.File("theirs.txt"), "old");
         fs::permissions(dir_.File("theirs.txt"),
                         fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
         if (root) {
           EXPECT_EQ(chown(dir_.File("theirs.txt").c_str(), 65534, 65534), 0);
         }
       },
       "L import dark.png -n 3 -o theirs.txt", 0, "",
       [&](const RunResult&) {
         EXPECT_EQ(ReadFile(dir_.File("theirs.txt")), im);
         EXPECT_EQ(mode("theirs.txt"),
                   fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
         if (root) {
           EXPECT_EQ(owner("theirs.txt"), std::pair(65534u, 65534u));
         }
       }},
      {"a name of 255 bytes", [] {}, "L import dark.png -n 3 -o " + long255 + ".txt", 0, "",
       [&](const RunResult&) { EXPECT_EQ(ReadFile(dir_.File(long255 + ".txt")), im); }},
      {"a name of 242 bytes, replaced", [&] { WriteFile(dir_.File(long242 + ".txt"), "old"); },
       "L render dark.png -n 3 --size 16 -o " + long242 + ".txt", 0, "",
       [&](const RunResult&) {
         EXPECT_TRUE(ReadFile(dir_.File(long242 + ".txt")).starts_with("\x89PNG"));
       }},
      {"the output is the input", [] {}, "L import dark.png -o dark.png", 2,
       "ledwheel: dark.png: is the input file too; give the output another name\n",
       [&](const RunResult&) { EXPECT_EQ(ReadFile(dir_.File("dark.png")), dark); }},
      {"the output is the input through a link",
       [&] { fs::create_symlink("want.txt", dir_.File("same.txt")); },
       "L render want.txt -o same.txt", 2,
       "ledwheel: same.txt: is the input file too; give the output another name\n",
       [&](const RunResult&) { EXPECT_EQ(ReadFile(dir_.File("want.txt")), im); }},
      {"edit's output is the picture it reads", [] {}, "L edit dark.png -o dark.png", 2,
       "ledwheel: dark.png: is the input file too; give the output another name\n",
       [&](const RunResult&) { EXPECT_EQ(ReadFile(dir_.File("dark.png")), dark); }},
      {"an empty name, before the input is read", [] {}, "L import missing.png -o ''", 2,
       "ledwheel: --output: the name is empty\n", [](const RunResult&) {}},
      {"a directory that may not be written, before the input is read",
       [&] {
         fs::create_directory(dir_.File("locked"));
         fs::permissions(dir_.File("locked"), fs::perms::owner_read | fs::perms::owner_exec);
       },
       "L import missing.png -o locked/IM.txt", 1,
       "ledwheel: locked/IM.txt: cannot be written: permission denied\n", [](const RunResult&) {},
       true},
      {"check's answer on a full output", [] {}, "L check want.txt >/dev/full", 1,
       "ledwheel: standard output: cannot be written: the answer is lost\n",
       [](const RunResult&) {}},
      {"check's answer on a closed output", [] {}, "L check want.txt >&-", 1,
       "ledwheel: standard output: cannot be written: the answer is lost\n",
       [](const RunResult&) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.before();
    RunOptions o;
    o.args = {"-c", "'" + kProgram + "'" + c.script.substr(1)};
    o.display = "";
    o.honour_file_modes = c.honour_file_modes;
    const RunResult r = testing_support::Run("/bin/sh", dir_.path(), o);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    EXPECT_EQ(r.err, c.err == "IM" ? im : c.err);
    c.after(r);
    // No new file is left behind, wherever it was made.
    for (const auto& e : fs::recursive_directory_iterator(dir_.path())) {
      EXPECT_FALSE(e.path().filename().string().ends_with(".new")) << e.path();
    }
  }
}

// Inputs are judged by their head: what is neither kind, or larger than any file of its kind, is
// refused before it is read whole. An IM.txt with a byte order mark is read; causes are told
// in plain words, and names a terminal would not show as they are are quoted.
TEST_F(CliTest, InputsAreJudgedBeforeTheyAreReadWhole) {
  namespace fs = std::filesystem;
  auto largest = std::make_unique<wheel::LedArray>();
  for (int32_t q = 1; q <= wheel::kMaxPositions; ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*largest)[q][i].toestand = 1 + (q + i) % 4;
  }
  const std::string bom = "\xEF\xBB\xBF";
  const std::string big = bom + WriteIm(*largest, wheel::kMaxPositions, "big.txt");
  ASSERT_EQ(big.size(), cli::kMaxImBytes) << "the largest IM.txt is the bound";
  WriteFile(dir_.File("bom-big.txt"), big);
  WriteFile(dir_.File("over.txt"), big + "\r\n");
  const std::string small = WriteIm(*Lit(24, 3), 24, "small.txt");
  WriteFile(dir_.File("bom.txt"), bom + small);
  WriteFile(dir_.File("bom-notes.txt"), bom + "shopping list\n");
  fs::create_directory(dir_.File("private"));
  WriteFile(dir_.File("private/small.txt"), small);
  fs::permissions(dir_.File("private"), fs::perms::none);
  fs::create_directory(dir_.File("folder"));
  const std::string check_small = Run({"check", "small.txt"}).out;
  ASSERT_NE(check_small, "");
  // A picture large enough to be decoded as it is read, from a file and through a pipe.
  const std::string photo = Png(900, [](double u, double v) { return u * v > 0; });
  WriteFile(dir_.File("photo.png"), photo);
  ASSERT_EQ(Run({"import", "photo.png", "-n", "48", "-o", "from-file.txt"}).exit_code, 0);
  std::string damaged_photo = photo;
  damaged_photo[29] ^= 1;  // IHDR's checksum

  struct Case {
    std::vector<std::string> args;
    std::string stdin_text;
    int exit_code;
    std::string err;  // its start, when it ends in "..."
    std::string out;
  };
  const Case cases[] = {
      {{"check", "/dev/zero"}, "", 1, "ledwheel: /dev/zero: neither a picture nor an IM.txt\n", ""},
      {{"check", "over.txt"},
       "",
       1,
       "ledwheel: over.txt: is over 395 KB: too large for an IM.txt\n",
       ""},
      {{"check", "/dev/stdin"},
       big + big,
       1,
       "ledwheel: /dev/stdin: is over 395 KB: too large for an IM.txt\n",
       ""},
      {{"import", "bom-big.txt", "-o", "out.txt"}, "", 0, "ledwheel: out.txt will not run...", ""},
      {{"check", "bom.txt"}, "", 0, "", check_small},
      {{"check", "/dev/stdin"}, bom + small, 0, "", check_small},
      {{"check", "bom-notes.txt"},
       "",
       1,
       "ledwheel: bom-notes.txt: neither a picture nor an IM.txt\n",
       ""},
      {{"check", "private/small.txt"},
       "",
       1,
       "ledwheel: private/small.txt: permission denied\n",
       ""},
      {{"check", "a\nb\x1b[31m.png"}, "", 1, "ledwheel: \"a\\nb\\e[31m.png\": no such file\n", ""},
      {{"check", "folder"}, "", 1, "ledwheel: folder: is a directory\n", ""},
      {{"import", "/dev/stdin", "-n", "48", "-o", "from-pipe.txt"}, photo, 0, "", ""},
      {{"check", "/dev/stdin"},
       damaged_photo,
       1,
       "ledwheel: /dev/stdin: damaged picture (PNG: invalid chunk checksum)\n",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    RunOptions o;
    o.args = c.args;
    o.stdin_text = c.stdin_text;
    o.display = "";
    o.honour_file_modes = true;
    const RunResult r = testing_support::Run(kProgram, dir_.path(), o);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    if (c.err.ends_with("...")) {
      EXPECT_TRUE(r.err.starts_with(c.err.substr(0, c.err.size() - 3))) << r.err;
    } else {
      EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(r.out, c.out);
  }
  EXPECT_EQ(ReadFile(dir_.File("out.txt")), big.substr(bom.size()));
  EXPECT_EQ(ReadFile(dir_.File("from-pipe.txt")), ReadFile(dir_.File("from-file.txt")));
}

// A pipe is read as cat reads it: the program waits for its writer.
TEST_F(CliTest, APipeWithoutAWriterIsWaitedFor) {
  const std::string im = WriteIm(*Lit(24, 3), 24, "small.txt");
  const std::string want = Run({"check", "small.txt"}).out;
  ASSERT_EQ(mkfifo(dir_.File("pipe.txt").c_str(), 0600), 0);
  RunOptions o;
  o.args = {"check", "pipe.txt"};
  o.display = "";
  testing_support::Process program(kProgram, dir_.path(), o);
  // Opening the pipe to write waits for its reader, which is the program.
  const int fd = open(dir_.File("pipe.txt").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(write(fd, im.data(), im.size()), static_cast<ssize_t>(im.size()));
  close(fd);
  ASSERT_TRUE(program.Wait(testing_support::kGuardMs));
  EXPECT_EQ(program.ExitCode(), 0) << program.Stderr();
  EXPECT_EQ(program.Stdout(), want);
}

// A black picture is all dark positions, 6 words each after 8 fixed ones: the automatic N is
// known exactly for any budget.
TEST_F(CliTest, AutomaticPositionsAreTheMostThatFitTheBudget) {
  WriteFile(dir_.File("black.png"), Png(32, [](double, double) { return false; }));
  WriteFile(dir_.File("half.png"), Png(64, [](double u, double v) { return u * v > 0; }));
  struct Case {
    std::string picture;
    int32_t budget;
    int32_t positions;  // 0: only check that it fits
  };
  const Case cases[] = {
      {"black.png", 0, 256}, {"black.png", 100, 15}, {"black.png", 56, 8},
      {"half.png", 0, 0},    {"half.png", 900, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.picture + " " + std::to_string(c.budget));
    std::vector<std::string> args = {"import", c.picture};
    if (c.budget > 0) args.insert(args.end(), {"--budget", std::to_string(c.budget)});
    const RunResult r = Run(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    int32_t n = 0;
    const auto led = ReadIm("IM.txt", &n);
    const int32_t budget = c.budget > 0 ? c.budget : firmware::kFragmentBudget;
    if (c.positions > 0) {
      EXPECT_EQ(n, c.positions);
    }
    EXPECT_LE(imtxt::FragmentWords(*led, n), budget);
    EXPECT_EQ(r.err, "ledwheel: " + c.picture + ": " + std::to_string(n) +
                         " positions, the most up to 256 whose IM.txt fits " +
                         std::to_string(budget) + " words (it takes " +
                         std::to_string(imtxt::FragmentWords(*led, n)) + ")\n");
  }
}

// The search runs on two threads; its answer is still the most N that fits, for words that do
// not grow evenly with N (a pattern of several periods round the wheel).
TEST(AutoPositions, FindsTheMostPositionsThatFit) {
  const cli::LightAt light = [](int32_t n) {
    imaging::LightMap map(static_cast<size_t>(n));
    for (int32_t j = 0; j < n; ++j) {
      for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
        const double angle = 2 * 3.14159265358979 * (j + 0.5) / n;
        map[j][i] = static_cast<float>(0.5 + 0.5 * std::sin(7 * angle + i) * std::cos(3 * angle));
      }
    }
    return map;
  };
  auto led = std::make_unique<wheel::LedArray>();
  auto reference = std::make_unique<wheel::LedArray>();
  for (int32_t budget : {40, 300, 1000, 1100, 1250, 2030, 2100, 5000, 1 << 20}) {
    SCOPED_TRACE(budget);
    int32_t expected = 0;
    for (int32_t n = 256; n >= 1 && expected == 0; --n) {
      imaging::Quantize(light(n), {}, *reference);
      if (imtxt::FragmentWords(*reference, n) <= budget) expected = n;
    }
    int32_t words = 0;
    EXPECT_EQ(cli::AutoPositions(light, {}, budget, *led, &words), expected);
    const int32_t n = std::max(expected, 1);
    imaging::Quantize(light(n), {}, *reference);
    EXPECT_EQ(words, imtxt::FragmentWords(*reference, n));
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
        ASSERT_EQ((*led)[j][i].toestand, (*reference)[j][i].toestand);
      }
    }
  }
}

// Position j covers the angles j-1 .. j steps clockwise from 3 o'clock: at 8 positions the lower
// right quadrant of the picture is positions 1 and 2, the lower left 3 and 4. The options turn
// the picture before it is sampled. The picture's own blur may give the inner LEDs beside a
// quadrant the faintest intensity.
TEST_F(CliTest, ImportedPicturesLandWhereTheEditorShowsThem) {
  WriteFile(dir_.File("quadrant.png"),
            Png(1024, [](double u, double v) { return u > 0 && v > 0; }));
  struct Case {
    std::vector<std::string> options;
    std::vector<int32_t> lit;  // the positions at 4; the others dark
  };
  const Case cases[] = {
      {{}, {1, 2}},
      {{"--mirror"}, {3, 4}},
      {{"--rotate", "90"}, {3, 4}},
      {{"--rotate", "-90"}, {7, 8}},
      {{"--rotate", "-719910"}, {3, 4}},  // whole turns less -270
      {{"--rotate", "1e300"}, {1, 2}},    // a multiple of 360
      {{"--invert"}, {3, 4, 5, 6, 7, 8}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"import", "quadrant.png", "-n", "8", "-o", "q.txt"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    SCOPED_TRACE(c.options.empty() ? "plain" : c.options[0] + " " + c.options.back());
    const RunResult r = Run(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");  // nothing was chosen on the user's behalf
    int32_t n = 0;
    const auto led = ReadIm("q.txt", &n);
    ASSERT_EQ(n, 8);
    for (int32_t q = 1; q <= 8; ++q) {
      const bool lit = std::find(c.lit.begin(), c.lit.end(), q) != c.lit.end();
      const bool beside =
          !lit && (std::find(c.lit.begin(), c.lit.end(), q % 8 + 1) != c.lit.end() ||
                   std::find(c.lit.begin(), c.lit.end(), (q + 6) % 8 + 1) != c.lit.end());
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
        const int32_t t = (*led)[q][i].toestand;
        if (lit) {
          EXPECT_EQ(t, 4) << "position " << q << " LED " << i;
        } else if (beside) {
          EXPECT_LE(t, i <= 4 ? 1 : 0) << "position " << q << " LED " << i;
        } else {
          EXPECT_EQ(t, 0) << "position " << q << " LED " << i;
        }
      }
    }
  }
}

TEST_F(CliTest, AnImTxtInEveryFormIsWrittenBackByteForByte) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<int32_t> intensity(0, 4);
  for (int32_t n : {1, 37, 500}) {
    auto led = std::make_unique<wheel::LedArray>();
    for (int32_t q = 1; q <= n; ++q) {
      for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*led)[q][i].toestand = intensity(rng);
    }
    const std::string written = WriteIm(*led, n, "in.txt");
    std::string blanks_lf;
    for (char c : written) {
      if (c != '\r') blanks_lf += c == '_' ? ' ' : c;
    }
    WriteFile(dir_.File("in.inc"), blanks_lf);
    for (const char* input : {"in.txt", "in.inc"}) {
      SCOPED_TRACE(std::string(input) + " at N = " + std::to_string(n));
      const RunResult r = Run({"import", input, "-o", "out.txt"});
      ASSERT_EQ(r.exit_code, 0) << r.err;
      // Written all the same; 500 random positions will not run on the wheel, which is said.
      EXPECT_EQ(r.err, firmware::WillNotRunWarning(firmware::CheckFit(*led, n), "out.txt"));
      EXPECT_EQ(r.err.empty(), n != 500);
      EXPECT_EQ(ReadFile(dir_.File("out.txt")), written);
    }
  }
}

TEST_F(CliTest, AnImTxtAtAnotherNIsItsTurningWheelImportedAgain) {
  // Every LED of the outer ring at 4 on 10 positions stays a full outer ring at 40.
  auto led = std::make_unique<wheel::LedArray>();
  for (int32_t q = 1; q <= 10; ++q) (*led)[q][24].toestand = 4;
  WriteIm(*led, 10, "ring.txt");
  const RunResult r = Run({"import", "ring.txt", "-n", "40", "-o", "ring40.txt"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  int32_t n = 0;
  const auto back = ReadIm("ring40.txt", &n);
  ASSERT_EQ(n, 40);
  for (int32_t q = 1; q <= 40; ++q) {
    EXPECT_EQ((*back)[q][24].toestand, 4) << q;
    EXPECT_EQ((*back)[q][12].toestand, 0) << q;
  }
}

TEST_F(CliTest, RenderWritesThePictureOfTheWheel) {
  // Position 1's outermost LED lit: a short arc just below 3 o'clock.
  auto led = std::make_unique<wheel::LedArray>();
  (*led)[1][24].toestand = 4;
  WriteIm(*led, 12, "IM.txt");
  const RunResult r = Run({"render", "IM.txt", "--size", "106", "--colour", "00ff00"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  const std::string png = ReadFile(dir_.File("wheel.png"));
  imaging::Image image;
  std::string error;
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(png.data()), png.size());
  ASSERT_TRUE(imaging::DecodePicture(bytes, &image, &error)) << error;
  ASSERT_EQ(image.width, 106);
  ASSERT_EQ(image.height, 106);
  auto pixel = [&](int32_t x, int32_t y) {
    const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * 106 + x) * 4];
    return std::array<int, 3>{p[0], p[1], p[2]};
  };
  // The edge, 26.5 pitches, touches the sides at 53 pixels: a pitch is 2 pixels and ring 24 lies
  // at 52. Position 1's arc is lit around 15 degrees below 3 o'clock; the opposite side is dark.
  auto at = [&](double degrees) {
    const double a = degrees * std::acos(-1.0) / 180;
    return pixel(static_cast<int32_t>(53 + 52 * std::cos(a)),
                 static_cast<int32_t>(53 + 52 * std::sin(a)));
  };
  EXPECT_EQ(at(15)[0], 0);
  EXPECT_GT(at(15)[1], 128);
  EXPECT_EQ(at(15)[2], 0);
  EXPECT_EQ(at(195), (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(at(-15), (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(at(-2), (std::array<int, 3>{0, 0, 0})) << "the arc starts at the position's angle";

  // The editor's view draws the LED as a disc (0.3 pitch, 6 pixels at this size) centred on its
  // position's angle, so it reaches above 3 o'clock too, in intensity 4's colour whatever
  // --colour says.
  const RunResult editor =
      Run({"render", "IM.txt", "--size", "1060", "--view", "editor", "-o", "editor.png"});
  ASSERT_EQ(editor.exit_code, 0) << editor.err;
  const std::string editor_png = ReadFile(dir_.File("editor.png"));
  const std::span<const uint8_t> editor_bytes(reinterpret_cast<const uint8_t*>(editor_png.data()),
                                              editor_png.size());
  ASSERT_TRUE(imaging::DecodePicture(editor_bytes, &image, &error)) << error;
  ASSERT_EQ(image.width, 1060);
  auto big = [&](int32_t x, int32_t y) {
    const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * 1060 + x) * 4];
    return std::array<int, 3>{p[0], p[1], p[2]};
  };
  EXPECT_GT(big(1050, 527)[0], 128);  // 3 pixels above the centre (1050, 530)
  EXPECT_EQ(big(1050, 527)[1], 0);
  EXPECT_EQ(big(1050, 540), big(1050, 520));                 // a disc, level with its centre
  EXPECT_EQ(big(1050, 600), (std::array<int, 3>{0, 0, 0}));  // no arc
}

TEST_F(CliTest, CheckSaysWhetherTheWheelRunsAndHowFast) {
  const std::vector<std::string> kFragment = {"--layout", "fragment"};
  const struct {
    const char* name;
    int32_t n, lit;
    std::vector<std::string> options;
    int exit_code;
    int32_t budget;
  } cases[] = {
      {"runs", 48, 10, {}, 0, firmware::kFragmentBudget},
      {"runs as the fragment", 48, 10, kFragment, 0, firmware::kFragmentBudget},
      {"runs at 4 MHz", 48, 10, {"--mhz", "4"}, 0, firmware::kFragmentBudget},
      {"over the page: the table holds it", 60, 60, {}, 0, firmware::kFragmentBudget},
      {"over the page", 60, 60, kFragment, 3, firmware::kFragmentBudget},
      {"over the page, with room", 60, 60, {"--layout", "fragment", "--budget", "4096"}, 0, 4096},
      {"over a small budget", 48, 10, {"--budget", "300", "--layout", "fragment"}, 3, 300},
      {"past the angle counter", 300, 2, kFragment, 3, firmware::kFragmentBudget},
      {"past the angle counter: the table shows them",
       300,
       2,
       {"--layout", "table"},
       0,
       firmware::kFragmentBudget},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto led = Lit(c.n, c.lit);
    WriteIm(*led, c.n, "wheel.txt");
    std::vector<std::string> args = {"check", "wheel.txt"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = Run(args);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    const double mhz = c.options.size() == 2 && c.options[0] == "--mhz" ? 4 : 20;
    const firmware::Fit fit = firmware::CheckFit(*led, c.n, c.budget, mhz);
    EXPECT_EQ(r.out, firmware::FitReport(firmware::CheckTableFit(c.n, mhz), fit));
    const bool fragment =
        std::find(c.options.begin(), c.options.end(), "fragment") != c.options.end();
    EXPECT_EQ(r.err, fragment ? firmware::WillNotRunWarning(fit, "wheel.txt") : "");
    EXPECT_EQ(r.err.empty(), c.exit_code == 0);
  }
  // Usage and file problems keep their own codes.
  EXPECT_EQ(Run({"check", "wheel.txt", "--mhz", "25"}).exit_code, 2);
  EXPECT_EQ(Run({"check", "wheel.txt", "--layout", "sideways"}).exit_code, 2);
  EXPECT_EQ(Run({"check", "wheel.txt", "--speed", "0"}).exit_code, 2);
  EXPECT_EQ(Run({"check", "missing.txt"}).exit_code, 1);
  WriteFile(dir_.File("bad.txt"), "__MOVLW_D'2'__;# positions\r\nrubbish\r\n");
  EXPECT_EQ(Run({"check", "bad.txt"}).exit_code, 1);
}

TEST_F(CliTest, FirmwareIsTheReferenceFirmwareForTheFileAndAssembles) {
  const auto led = Lit(24, 24);
  const std::string im = WriteIm(*led, 24, "IM.txt");
  const struct {
    std::vector<std::string> options;
    std::string output, source;
  } cases[] = {
      {{}, "wheel.asm", firmware::TableFirmware(*led, 24, 20)},
      {{"--layout", "fragment"}, "wheel.asm", firmware::ReferenceFirmware(im, 24, 20)},
      {{"-o", "slow.asm", "--mhz", "4", "--layout", "fragment"},
       "slow.asm",
       firmware::ReferenceFirmware(im, 24, 4)},
      {{"-o", "slow.asm", "--mhz", "4"}, "slow.asm", firmware::TableFirmware(*led, 24, 4)},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"firmware", "IM.txt"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = Run(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadFile(dir_.File(c.output)), c.source);
    EXPECT_TRUE(std::filesystem::exists(dir_.File("wheel.asm")));
    const RunResult gpasm = testing_support::Run("/bin/sh", dir_.path(), [&] {
      RunOptions o;
      o.args = {"-c", "gpasm " + c.output + " 2>&1 && rm -f *.hex *.lst *.cod"};
      return o;
    }());
    EXPECT_EQ(gpasm.exit_code, 0) << gpasm.out;
    EXPECT_EQ(gpasm.out, "");
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"IM.txt", "slow.asm", "wheel.asm"}))
      << "a scratch file left";
}

// A picture's automatic N for the firmware: the most its layout shows at --speed.
TEST_F(CliTest, FirmwareChoosesThePositionsShownAtTheSpeed) {
  WriteFile(dir_.File("black.png"), Png(32, [](double, double) { return false; }));
  const std::string one_at_most = "ledwheel: --speed: the table layout shows one position at " +
                                  firmware::FormatSpeed(firmware::TableTopSpeed(1, 20)) +
                                  " turns/s at most with a crystal of 20 MHz\n";
  int32_t fragment_at_20 = 256;  // all dark, any N fits the page: the speed bounds it
  while (firmware::TopSpeed(fragment_at_20, 20) < 20) --fragment_at_20;
  const struct {
    std::vector<std::string> options;
    int exit_code;
    int32_t positions;
    std::string note;
  } cases[] = {
      {{}, 0, firmware::TablePositionsFor(10, 20), "the table firmware shows at 10 turns/s"},
      {{"--speed", "30"}, 0, firmware::TablePositionsFor(30, 20), "shows at 30 turns/s"},
      {{"--speed", "30", "--mhz", "4"}, 0, firmware::TablePositionsFor(30, 4), "at 30 turns/s"},
      {{"--layout", "fragment", "--speed", "20"},
       0,
       fragment_at_20,
       "and whose firmware shows it at 20 turns/s"},
      {{"--speed", "9999"}, 2, 0, one_at_most},
      {{"--speed", "9999", "-n", "5"}, 0, 5, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"firmware", "black.png", "-o", "out.asm"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    SCOPED_TRACE(args.back());
    const RunResult r = Run(args);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    EXPECT_NE(r.err.find(c.note), std::string::npos) << r.err;
    if (c.exit_code != 0) continue;
    EXPECT_GT(c.positions, 0);
    EXPECT_NE(ReadFile(dir_.File("out.asm"))
                  .find("NPOS            EQU     D'" + std::to_string(c.positions) + "'"),
              std::string::npos);
  }
}

TEST_F(CliTest, FirmwareThatCannotRunIsRefusedOrWarnedAbout) {
  // Too big for the page: no firmware, and an older one stays.
  WriteIm(*Lit(60, 60), 60, "big.txt");
  WriteFile(dir_.File("wheel.asm"), "older");
  RunResult r = Run({"firmware", "big.txt", "--layout", "fragment"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_NE(r.err.find("ledwheel: big.txt will not run"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(dir_.File("wheel.asm")), "older");
  // The table holds it.
  r = Run({"firmware", "big.txt"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(ReadFile(dir_.File("wheel.asm")), "older");

  // Past the angle counter: the fragment's firmware still runs, with positions missing, and
  // says so.
  WriteIm(*Lit(300, 2), 300, "wide.txt");
  r = Run({"firmware", "wide.txt", "-o", "wide.asm", "--layout", "fragment"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.err.find("positions 1 to 44 can never be shown"), std::string::npos) << r.err;
  EXPECT_TRUE(FileExists(dir_.File("wide.asm")));

  EXPECT_EQ(Run({"firmware", "wide.txt", "--mhz", "0.1"}).exit_code, 2);
}

TEST_F(CliTest, ImportOfAWheelThatWillNotRunWarnsAndStillWrites) {
  WriteFile(dir_.File("p.png"), Png(32, [](double u, double v) { return u * u + v * v < 0.5; }));
  const RunResult r = Run({"import", "p.png", "-n", "300"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("ledwheel: IM.txt will not run on the wheel"), std::string::npos) << r.err;
  EXPECT_TRUE(FileExists(dir_.File("IM.txt")));
  const RunResult fine = Run({"import", "p.png", "-n", "24", "-o", "small.txt"});
  EXPECT_EQ(fine.exit_code, 0);
  EXPECT_EQ(fine.err, "");
}

}  // namespace
