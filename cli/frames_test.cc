// Tests of moving pictures on the command line: several files and a GIF's frames loaded at one N,
// their turns, the animated render read back, and import of one IM.txt a frame.
#include "cli/frames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/files.h"
#include "cli/load.h"
#include "imaging/animation.h"
#include "imaging/imaging.h"
#include "imaging/test_util.h"
#include "imtxt/fragment_words.h"
#include "imtxt/im_reader.h"
#include "imtxt/maak_text.h"
#include "runtime/failure.h"
#include "runtime/fio.h"
#include "tests/support/files.h"
#include "tests/support/process.h"

namespace cli {
namespace {

using imaging::testing::GifFrame;
using imaging::testing::MakeGif;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr int32_t kAuto = SourceOptions::kAuto;

std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }
std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Colours 0 black, 1 white, 2 grey; a frame of w x w from a function of the pixel.
const std::vector<uint32_t> kColours = {0x000000, 0xFFFFFF, 0x808080, 0x404040};
template <class Index>
GifFrame Made(int32_t w, int32_t delay_cs, Index index) {
  GifFrame f;
  f.width = f.height = w;
  f.delay_cs = delay_cs;
  for (int32_t y = 0; y < w; ++y) {
    for (int32_t x = 0; x < w; ++x) f.indices.push_back(static_cast<uint8_t>(index(x, y)));
  }
  return f;
}
GifFrame Solid(uint8_t index, int32_t delay_cs = 10) {
  return Made(8, delay_cs, [index](int32_t, int32_t) { return index; });
}

// A frame whose every LED differs from its neighbours: many words in IM.txt.
GifFrame Busy(uint32_t seed) {
  return Made(64, 10, [seed](int32_t x, int32_t y) {
    return ((x * 7 + y * 13 + seed) * 2654435761u >> 7) % 4;
  });
}

// A wheel of n positions, LED i at intensity (q + i + seed) % 5 at position q.
std::unique_ptr<wheel::LedArray> Pattern(int32_t n, int32_t seed) {
  auto led = std::make_unique<wheel::LedArray>();
  for (int32_t q = 1; q <= n; ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*led)[q][i].toestand = (q + i + seed) % 5;
  }
  return led;
}

bool SameWheel(const wheel::LedArray& a, const wheel::LedArray& b, int32_t n) {
  for (int32_t q = 1; q <= n; ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
      if (a[q][i].toestand != b[q][i].toestand) return false;
    }
  }
  return true;
}

// Each case in a fresh directory that the loader reads from (it takes paths as given).
class FramesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { FIO::Start(); }

  std::string Im(const std::string& name, const wheel::LedArray& led, int32_t n) {
    imtxt::WriteImFile(led, n, dir_.File(name));
    return dir_.File(name);
  }
  std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteFile(dir_.File(name), Text(bytes));
    return dir_.File(name);
  }

  RunResult Run(std::vector<std::string> args) {
    testing_support::RunOptions o;
    o.args = std::move(args);
    o.display = "";
    return testing_support::Run(LEDWHEEL, dir_.path(), o);
  }

  // The names in the directory, sub-directories' contents too, so that a stray file is seen.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path())) {
      const std::string name = std::filesystem::relative(e.path(), dir_.path()).string();
      if (name != "stderr.txt") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
};

// One file of one frame is loaded as LoadWheel loads it, note and failure included.
TEST_F(FramesTest, OneFileIsWhatLoadWheelGives) {
  const std::string png =
      Put("p.png", imaging::EncodePng([] {
            imaging::Image image{40, 30, {}};
            for (int32_t p = 0; p < 40 * 30; ++p) {
              const uint8_t v = static_cast<uint8_t>((p * 37) % 251);
              image.rgba.insert(image.rgba.end(), {v, static_cast<uint8_t>(255 - v), 9, 255});
            }
            return image;
          }()));
  const std::string im = Im("w.txt", *Pattern(30, 1), 30);
  const std::string gif = Put("one.gif", MakeGif(8, 8, kColours, {Busy(3)}));
  const struct {
    std::string file;
    int32_t positions;
    int32_t budget;
  } cases[] = {
      {png, 0, 0}, {png, 40, 0}, {png, kAuto, 900}, {png, 0, 13}, {im, 0, 0},
      {im, 30, 0}, {im, 20, 0},  {im, kAuto, 0},    {gif, 0, 0},  {gif, 7, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " -n " + std::to_string(c.positions) + " --budget " +
                 std::to_string(c.budget));
    SourceOptions options;
    options.file = c.file;
    options.positions = c.positions;
    options.budget = c.budget;
    std::string want_error, got_error;
    ::testing::internal::CaptureStderr();
    LoadedWheel want;
    try {
      want = LoadWheel(options);
    } catch (const FileError& e) {
      want_error = e.file() + ": " + e.what();
    }
    const std::string want_note = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    LoadedFrames got;
    try {
      got = LoadFrames({c.file}, options, ImTxtRule(options));
    } catch (const FileError& e) {
      got_error = e.file() + ": " + e.what();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), want_note);
    EXPECT_EQ(got_error, want_error);
    if (!want_error.empty()) continue;
    ASSERT_EQ(got.frames.size(), 1u);
    EXPECT_EQ(got.positions, want.positions);
    EXPECT_EQ(got.frames[0].from_picture, want.from_picture);
    EXPECT_TRUE(SameWheel(*got.frames[0].led, *want.led, want.positions));
  }
}

TEST_F(FramesTest, EveryFrameGetsOneN) {
  const std::string a48 = Im("a.txt", *Pattern(48, 1), 48);
  const std::string b48 = Im("b.txt", *Pattern(48, 2), 48);
  const std::string c60 = Im("c.txt", *Pattern(60, 3), 60);
  const std::string white = Put("white.gif", MakeGif(8, 8, kColours, {Solid(1)}));
  const std::string anim = Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1), Solid(0), Solid(2)}));
  const struct {
    const char* name;
    std::vector<std::string> files;
    int32_t positions;
    int32_t want_n;               // 0: refused
    std::vector<bool> resampled;  // per frame
    std::string message;          // the note, or the error
  } cases[] = {
      {"IM.txt files of one N", {a48, b48}, 0, 48, {false, false}, ""},
      {"IM.txt files of two",
       {a48, b48, c60, a48},
       0,
       0,
       {},
       c60 + ": 60 positions, not the 48 of " + a48 +
           ": every frame needs the same number (-n N resamples them all)"},
      {"pictures take the IM.txt's N",
       {white, a48, anim},
       0,
       48,
       {true, false, true, true, true},
       "ledwheel: " + white + " and 1 more pictures: 48 positions, those of " + a48 + "\n"},
      {"-n resamples every other N", {a48, c60}, 60, 60, {true, false}, ""},
      {"-n auto for IM.txt files too", {a48, white}, kAuto, 0, {true, true}, "..."},
      {"a GIF alone at -n", {anim}, 12, 12, {true, true, true}, ""},
      {"a missing file",
       {a48, dir_.File("none.gif")},
       0,
       0,
       {},
       dir_.File("none.gif") + ": no such file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SourceOptions options;
    options.positions = c.positions;
    ::testing::internal::CaptureStderr();
    std::string error;
    LoadedFrames got;
    try {
      got = LoadFrames(c.files, options, ImTxtRule(options));
    } catch (const FileError& e) {
      error = e.file() + ": " + e.what();
    }
    const std::string note = ::testing::internal::GetCapturedStderr();
    if (c.want_n == 0 && c.resampled.empty()) {
      EXPECT_EQ(error, c.message);
      continue;
    }
    ASSERT_EQ(error, "");
    if (c.message != "...") {
      EXPECT_EQ(note, c.message);
    }
    if (c.want_n > 0) {
      EXPECT_EQ(got.positions, c.want_n);
    }
    ASSERT_EQ(got.frames.size(), c.resampled.size());
    for (size_t k = 0; k < got.frames.size(); ++k) {
      EXPECT_EQ(got.frames[k].from_picture, c.resampled[k]) << k;
    }
  }
}

// The automatic N is the largest that suits every frame, however the frames differ; frames tried
// at a larger N than a later frame allowed are made again at the chosen one.
TEST_F(FramesTest, AutomaticNSuitsEveryFrame) {
  const std::vector<GifFrame> frames = {Solid(0), Busy(1), Solid(1), Busy(2)};
  const std::string gif = Put("mixed.gif", MakeGif(64, 64, kColours, frames));
  for (const int32_t budget : {0, 1500, 3000}) {
    SCOPED_TRACE(budget);
    SourceOptions options;
    options.budget = budget;
    const int32_t words = budget > 0 ? budget : 2030;
    // Each frame's light, sampled as the loader samples it.
    std::vector<std::unique_ptr<imaging::WheelSampler>> samplers;
    std::string error;
    const std::string bytes = ReadFile(gif);
    ASSERT_TRUE(imaging::DecodeGif(
        Bytes(bytes),
        [&](int32_t, const imaging::Image& canvas, int32_t) {
          samplers.push_back(std::make_unique<imaging::WheelSampler>(canvas, options.import));
          return true;
        },
        &error));
    int32_t want = 0;
    for (int32_t n = 256; n >= 1 && want == 0; --n) {
      bool all = true;
      for (const auto& s : samplers) {
        wheel::LedArray led{};
        imaging::Quantize(s->Sample(n), options.import, led);
        all = all && imtxt::FragmentWords(led, n) <= words;
      }
      want = all ? n : 0;
    }
    ::testing::internal::CaptureStderr();
    const LoadedFrames got = LoadFrames({gif}, options, ImTxtRule(options));
    const std::string note = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(got.positions, want);
    EXPECT_LT(want, 256);
    int32_t largest = 0;
    for (size_t k = 0; k < samplers.size(); ++k) {
      wheel::LedArray led{};
      imaging::Quantize(samplers[k]->Sample(want), options.import, led);
      EXPECT_TRUE(SameWheel(*got.frames[k].led, led, want)) << "frame " << k + 1;
      largest = std::max(largest, imtxt::FragmentWords(led, want));
    }
    EXPECT_EQ(note, "ledwheel: " + gif + ": " + std::to_string(want) +
                        " positions, the most up to 256 whose IM.txt fits " +
                        std::to_string(words) +
                        " words for each of the 4 frames (the largest "
                        "takes " +
                        std::to_string(largest) + ")\n");
  }
  // A frame that fits nowhere is named.
  SourceOptions tight;
  tight.budget = 20;
  try {
    LoadFrames({gif}, tight, ImTxtRule(tight));
    ADD_FAILURE() << "no N fits";
  } catch (const FileError& e) {
    EXPECT_EQ(e.file(), gif);
    EXPECT_TRUE(std::string(e.what()).starts_with("frame 2: even one position takes ")) << e.what();
  }
}

TEST_F(FramesTest, TurnsComeFromDelaysAtTheSpeed) {
  LoadedFrames loaded;
  for (const int32_t delay : {0, 100, 250, 40, 30000}) {
    Frame& f = loaded.frames.emplace_back();
    f.file = "a.gif";
    f.number = static_cast<int32_t>(loaded.frames.size());
    f.frames_in_file = 5;
    f.delay_ms = delay;
  }
  const struct {
    double speed;
    int32_t per_frame;
    std::vector<int32_t> turns;
    std::string note;
  } cases[] = {
      {10,
       0,
       {10, 1, 3, 1, 255},
       "ledwheel: a.gif frame 5: 30 s is 300 turns at 10 turns/s; a "
       "frame shows for 255 at most\n"},
      {2.5, 0, {3, 1, 1, 1, 75}, ""},
      {40,
       0,
       {40, 4, 10, 2, 255},
       "ledwheel: a.gif frame 5: 30 s is 1200 turns at 40 turns/s; "
       "a frame shows for 255 at most\n"},
      {0.1, 0, {1, 1, 1, 1, 3}, ""},
      {10, 2, {2, 2, 2, 2, 2}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.speed);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(TurnsPerFrame(loaded, {c.speed, c.per_frame}), c.turns);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.note);
  }
}

// The render of several frames: an animated PNG whose frames are the spin views of the frames'
// wheels, each as long as its whole turns last. Frames of all-white and all-black pictures are
// wheels of all 4s and all 0s.
TEST_F(FramesTest, RenderWritesAnAnimationThatPlaysTheWheel) {
  Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1, 10), Solid(0, 25), Solid(1, 100)}));
  auto lit = std::make_unique<wheel::LedArray>();
  for (int32_t q = 1; q <= 12; ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) (*lit)[q][i].toestand = 4;
  }
  Im("lit.txt", *lit, 12);
  imaging::RenderOptions view;
  view.size = 64;
  const std::string white = Text(imaging::EncodePng(imaging::Render(*lit, 12, view)));
  const std::string black = Text(imaging::EncodePng(imaging::Render(wheel::LedArray{}, 12, view)));
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> frames;
    std::vector<double> seconds;
  } cases[] = {
      {{"anim.gif"}, {white, black, white}, {0.1, 0.3, 1.0}},
      {{"anim.gif", "--speed", "4"}, {white, black, white}, {0.25, 0.25, 1.0}},
      {{"anim.gif", "--turns-per-frame", "3", "--speed", "20"},
       {white, black, white},
       {0.15, 0.15, 0.15}},
      {{"lit.txt", "anim.gif", "lit.txt"},
       {white, white, black, white, white},
       {1.0, 0.1, 0.3, 1.0, 1.0}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"render", "-n", "12", "--size", "64", "-o", "a.png"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args.back());
    const RunResult r = Run(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    imaging::testing::Apng apng;
    std::string error;
    ASSERT_TRUE(imaging::testing::ReadApng(Bytes(ReadFile(dir_.File("a.png"))), &apng, &error))
        << error;
    ASSERT_EQ(apng.frames.size(), c.frames.size());
    for (size_t k = 0; k < c.frames.size(); ++k) {
      SCOPED_TRACE("frame " + std::to_string(k + 1));
      imaging::Image want;
      ASSERT_TRUE(imaging::DecodePicture(Bytes(c.frames[k]), &want, &error));
      EXPECT_EQ(apng.frames[k].image.rgba, want.rgba);
      EXPECT_NEAR(
          static_cast<double>(apng.frames[k].delay_numerator) / apng.frames[k].delay_denominator,
          c.seconds[k], 1e-9);
    }
  }
  // One frame is the plain PNG it always was.
  const RunResult r = Run({"render", "lit.txt", "--size", "64", "-o", "one.png"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_.File("one.png")), white);
}

TEST_F(FramesTest, ABadFileInTheListWritesNothing) {
  Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1), Solid(0)}));
  std::vector<uint8_t> cut = MakeGif(8, 8, kColours, {Solid(1), Solid(0)});
  cut.resize(cut.size() - 6);
  Put("cut.gif", cut);
  Im("a.txt", *Pattern(12, 0), 12);
  Im("b.txt", *Pattern(13, 0), 13);
  WriteFile(dir_.File("wheel.png"), "the old picture");
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"render", "anim.gif", "missing.txt"}, "ledwheel: missing.txt: no such file"},
      {{"render", "anim.gif", "cut.gif"}, "ledwheel: cut.gif: damaged picture (GIF: truncated)"},
      {{"render", "a.txt", "b.txt", "anim.gif"},
       "ledwheel: b.txt: 13 positions, not the 12 of a.txt: every frame needs the same number "
       "(-n N resamples them all)"},
      {{"import", "cut.gif", "-o", "new/"}, "ledwheel: cut.gif: damaged picture (GIF: truncated)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, c.error + "\n");
  }
  EXPECT_EQ(ReadFile(dir_.File("wheel.png")), "the old picture");
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"a.txt", "anim.gif", "b.txt", "cut.gif", "wheel.png"}));
}

// An animated GIF gives one IM.txt a frame, named by -o: a directory, made when missing, or a
// pattern; a plain -o keeps the first frame and says so.
TEST_F(FramesTest, ImportWritesOneImTxtAFrame) {
  Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1), Solid(0), Solid(1)}));
  const struct {
    std::string output;
    std::vector<std::string> files;  // "": the frames are not written one a file
  } cases[] = {
      {"frames/", {"frames/anim-01.txt", "frames/anim-02.txt", "frames/anim-03.txt"}},
      {"deep/er/", {"deep/er/anim-01.txt", "deep/er/anim-02.txt", "deep/er/anim-03.txt"}},
      {"f-%02d.txt", {"f-01.txt", "f-02.txt", "f-03.txt"}},
      {"%d%%.txt", {"1%.txt", "2%.txt", "3%.txt"}},
      {"x%3d", {"x  1", "x  2", "x  3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    const RunResult r = Run({"import", "anim.gif", "-n", "12", "-o", c.output});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (size_t k = 0; k < c.files.size(); ++k) {
      wheel::LedArray led{};
      imtxt::ImInfo info;
      std::string error;
      ASSERT_TRUE(imtxt::ReadIm(ReadFile(dir_.File(c.files[k])), led, &info, &error)) << error;
      EXPECT_EQ(info.positions, 12);
      EXPECT_EQ(led[7][11].toestand, k == 1 ? 0 : 4) << c.files[k];
    }
  }
  const RunResult plain = Run({"import", "anim.gif", "-n", "12", "-o", "one.txt"});
  ASSERT_EQ(plain.exit_code, 0) << plain.err;
  EXPECT_EQ(plain.err,
            "ledwheel: anim.gif: 3 frames; one.txt holds the first (-o DIR/ or -o "
            "frame-%02d.txt writes one IM.txt a frame)\n");
  EXPECT_TRUE(FileExists(dir_.File("one.txt")));
}

TEST_F(FramesTest, AFrameThatCannotBeWrittenLeavesEveryFileAsItWas) {
  Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1), Solid(0), Solid(1)}));
  WriteFile(dir_.File("f-1.txt"), "one");
  WriteFile(dir_.File("f-2.txt"), "two");
  std::filesystem::permissions(dir_.File("f-2.txt"), std::filesystem::perms::owner_read);
  RunResult r = Run({"import", "anim.gif", "-n", "12", "-o", "f-%d.txt"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "ledwheel: f-2.txt: is read-only: not replaced\n");
  EXPECT_EQ(ReadFile(dir_.File("f-1.txt")), "one");
  std::filesystem::create_directory(dir_.File("f-3.txt"));  // in the way
  std::filesystem::permissions(dir_.File("f-2.txt"), std::filesystem::perms::owner_all);
  r = Run({"import", "anim.gif", "-n", "12", "-o", "f-%d.txt"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "ledwheel: f-3.txt: is a directory\n");
  EXPECT_EQ(ReadFile(dir_.File("f-1.txt")), "one");
  EXPECT_EQ(ReadFile(dir_.File("f-2.txt")), "two");
  EXPECT_EQ(Names(), (std::vector<std::string>{"anim.gif", "f-1.txt", "f-2.txt", "f-3.txt"}));
}

// Several outputs as one: every new file is made before any is renamed into place, and a failure
// in any leaves every path as it was.
TEST_F(FramesTest, WriteAllReplacingWritesAllOrNothing) {
  const struct {
    const char* name;
    std::vector<std::string> paths;
    int32_t failing;  // the write that throws, -1: none
    bool failure;     // the file output's failure rather than a FileError
    std::string error;
  } cases[] = {
      {"all written", {"a", "b", "c"}, -1, false, ""},
      {"the second write fails", {"a", "b", "c"}, 1, false, "b: disk on fire"},
      {"the file output fails", {"a", "b", "c"}, 2, true, "c: cannot be written (disk on fire)"},
      {"a missing directory",
       {"a", "b", "nowhere/c"},
       -1,
       false,
       "nowhere/c: cannot be written: No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* name : {"a", "b", "c"}) WriteFile(dir_.File(name), "old");
    std::vector<std::string> paths;
    for (const std::string& p : c.paths) paths.push_back(dir_.File(p));
    std::string error;
    try {
      WriteAllReplacing(paths, [&](size_t k, const std::string& temp) {
        if (static_cast<int32_t>(k) == c.failing) {
          if (c.failure) throw rts::Failure(4, "disk on fire");
          throw FileError(temp, "disk on fire");
        }
        WriteFile(temp, "new " + std::to_string(k));
      });
    } catch (const FileError& e) {
      error = e.file().substr(dir_.path().size() + 1) + ": " + e.what();
    }
    EXPECT_EQ(error, c.error);
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(ReadFile(dir_.File(std::string(1, static_cast<char>('a' + k)))),
                c.error.empty() ? "new " + std::to_string(k) : "old");
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"})) << "a new file left";
  }
}

TEST_F(FramesTest, UsageErrorsOfTheNewOptions) {
  Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1), Solid(0)}));
  const std::vector<std::string> cases[] = {
      {"render"},
      {"render", "anim.gif", "--speed", "0"},
      {"render", "anim.gif", "--speed", "1001"},
      {"render", "anim.gif", "--turns-per-frame", "0"},
      {"render", "anim.gif", "--turns-per-frame", "256"},
      {"import", "anim.gif", "-o", "f-%d-%02d.txt"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.back());
    const RunResult r = Run(args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_TRUE(r.err.starts_with("ledwheel: ")) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"anim.gif"}));
}

}  // namespace
}  // namespace cli
