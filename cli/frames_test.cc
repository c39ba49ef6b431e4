// Tests of moving pictures on the command line: files and a GIF's frames loaded at one N, their
// turns, the animated render read back, and import of one IM.txt a frame, all or nothing.
#include "cli/frames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "cli/cli.h"
#include "cli/files.h"
#include "imaging/animation.h"
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
using testing_support::ReadFile;
using testing_support::RunResult;
using testing_support::WriteFile;

constexpr int32_t kAuto = SourceOptions::kAuto;
const std::vector<uint32_t> kColours = {0x000000, 0xFFFFFF, 0x808080, 0x404040};

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// A frame of w x w pixels of colour index(x, y).
template <class Index>
GifFrame Made(int32_t w, int32_t delay_cs, Index index) {
  GifFrame f;
  f.width = f.height = w;
  f.delay_cs = delay_cs;
  for (int32_t p = 0; p < w * w; ++p)
    f.indices.push_back(static_cast<uint8_t>(index(p % w, p / w)));
  return f;
}
GifFrame Solid(uint8_t index, int32_t delay_cs = 10) {
  return Made(8, delay_cs, [index](int32_t, int32_t) { return index; });
}
// Neighbouring LEDs differ: many words in IM.txt.
GifFrame Busy(uint32_t seed) {
  return Made(64, 10, [seed](int32_t x, int32_t y) {
    return ((x * 7 + y * 13 + seed) * 2654435761u >> 7) % 4;
  });
}

// n positions, LED i at intensity (q + i + seed) % 5 at position q; or every LED at `all`.
std::unique_ptr<wheel::LedArray> Wheel(int32_t n, int32_t seed, int32_t all = -1) {
  auto led = std::make_unique<wheel::LedArray>();
  for (int32_t q = 1; q <= n; ++q) {
    for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
      (*led)[q][i].toestand = all >= 0 ? all : (q + i + seed) % 5;
    }
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

class FramesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { FIO::Start(); }

  std::string Im(const std::string& name, const wheel::LedArray& led, int32_t n) {
    imtxt::WriteImFile(led, n, dir_.File(name));
    return dir_.File(name);
  }
  std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteFile(dir_.File(name), std::string(bytes.begin(), bytes.end()));
    return dir_.File(name);
  }
  RunResult Run(std::vector<std::string> args) {
    testing_support::RunOptions o;
    o.args = std::move(args);
    o.display = "";
    return testing_support::Run(LEDWHEEL, dir_.path(), o);
  }
  // LoadFrames, its error as "FILE: cause" and what it said on standard error.
  LoadedFrames Load(const std::vector<std::string>& files, const SourceOptions& options,
                    std::string* error, std::string* said) {
    ::testing::internal::CaptureStderr();
    LoadedFrames loaded;
    try {
      loaded = LoadFrames(files, options, ImTxtRule(options));
    } catch (const FileError& e) {
      *error = e.file() + ": " + e.what();
    }
    *said = ::testing::internal::GetCapturedStderr();
    return loaded;
  }
  // The names in the directory and below, so that a stray file is seen.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path())) {
      const std::string name = std::filesystem::relative(e.path(), dir_.path()).string();
      if (name != "stderr.txt") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing_support::TempDir dir_;
};

// One file of one frame is loaded exactly as LoadWheel loads it, its note and failure included.
TEST_F(FramesTest, OneFileIsWhatLoadWheelGives) {
  const std::string png =
      Put("p.png", imaging::EncodePng(imaging::Image{40, 30, std::vector<uint8_t>(4800, 200)}));
  const std::string im = Im("w.txt", *Wheel(30, 1), 30);
  const std::string gif = Put("one.gif", MakeGif(8, 8, kColours, {Busy(3)}));
  const struct {
    std::string file;
    int32_t positions, budget;
  } cases[] = {{png, 0, 0},    {png, 40, 0}, {png, 0, 13}, {im, 0, 0},
               {im, kAuto, 0}, {im, 20, 0},  {gif, 0, 900}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " -n " + std::to_string(c.positions));
    SourceOptions options;
    options.file = c.file;
    options.positions = c.positions;
    options.budget = c.budget;
    std::string want_error, error, said;
    ::testing::internal::CaptureStderr();
    LoadedWheel want;
    try {
      want = LoadWheel(options);
    } catch (const FileError& e) {
      want_error = e.file() + ": " + e.what();
    }
    const std::string want_said = ::testing::internal::GetCapturedStderr();
    const LoadedFrames got = Load({c.file}, options, &error, &said);
    EXPECT_EQ(said, want_said);
    EXPECT_EQ(error, want_error);
    if (!want_error.empty()) continue;
    ASSERT_EQ(got.frames.size(), 1u);
    EXPECT_EQ(got.positions, want.positions);
    EXPECT_EQ(got.frames[0].from_picture, want.from_picture);
    EXPECT_TRUE(SameWheel(*got.frames[0].led, *want.led, want.positions));
  }
}

TEST_F(FramesTest, EveryFrameGetsOneN) {
  const std::string a48 = Im("a.txt", *Wheel(48, 1), 48);
  const std::string c60 = Im("c.txt", *Wheel(60, 3), 60);
  const std::string white = Put("white.gif", MakeGif(8, 8, kColours, {Solid(1)}));
  const std::string anim = Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1), Solid(0)}));
  const struct {
    const char* name;
    std::vector<std::string> files;
    int32_t positions, want_n;    // want_n 0: any
    std::vector<bool> resampled;  // each frame's; empty: refused
    std::string message;          // the note, or the error
  } cases[] = {
      {"IM.txt files of one N", {a48, a48}, 0, 48, {false, false}, ""},
      {"IM.txt files of two",
       {a48, c60, a48},
       0,
       0,
       {},
       c60 + ": 60 positions, not the 48 of " + a48 +
           ": every frame needs the same number (-n N resamples them all)"},
      {"pictures take the IM.txt's N",
       {white, a48, anim},
       0,
       48,
       {true, false, true, true},
       "ledwheel: " + white + " and 1 more pictures: 48 positions, those of " + a48 + "\n"},
      {"-n resamples every other N", {a48, c60}, 60, 60, {true, false}, ""},
      {"-n auto resamples IM.txt files too",
       {c60, anim},
       kAuto,
       0,
       {true, true, true},
       "ledwheel: " + c60 + " and " + anim + ": ..."},
      {"a missing file",
       {a48, dir_.File("no.gif")},
       0,
       0,
       {},
       dir_.File("no.gif") + ": no such file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SourceOptions options;
    options.positions = c.positions;
    std::string error, said;
    const LoadedFrames got = Load(c.files, options, &error, &said);
    const std::string& message = c.resampled.empty() ? error : said;
    if (c.message.ends_with("...")) {
      EXPECT_TRUE(message.starts_with(c.message.substr(0, c.message.size() - 3))) << message;
    } else {
      EXPECT_EQ(message, c.message);
    }
    if (c.resampled.empty()) continue;
    if (c.want_n > 0) {
      EXPECT_EQ(got.positions, c.want_n);
    }
    ASSERT_EQ(got.frames.size(), c.resampled.size());
    for (size_t k = 0; k < got.frames.size(); ++k) {
      EXPECT_EQ(got.frames[k].from_picture, c.resampled[k]) << k;
    }
  }
}

// The automatic N is the largest that suits every frame, however they differ; a frame tried at a
// larger N than a later frame allows is made again at the chosen one.
TEST_F(FramesTest, AutomaticNSuitsEveryFrame) {
  const std::string gif =
      Put("mixed.gif", MakeGif(64, 64, kColours, {Solid(0), Busy(1), Solid(1), Busy(2)}));
  const std::string bytes = ReadFile(gif);
  for (const int32_t budget : {0, 1500}) {
    SCOPED_TRACE(budget);
    SourceOptions options;
    options.budget = budget;
    const int32_t words = budget > 0 ? budget : 2030;
    std::vector<std::unique_ptr<imaging::WheelSampler>> samplers;
    std::string error, said;
    ASSERT_TRUE(imaging::DecodeGif(
        Bytes(bytes),
        [&](int32_t, const imaging::Image& canvas, int32_t) {
          samplers.push_back(std::make_unique<imaging::WheelSampler>(canvas, options.import));
          return true;
        },
        &error));
    // Every N from the top, every frame at each, as plainly as it can be done.
    auto at = [&](size_t k, int32_t n) {
      auto led = std::make_unique<wheel::LedArray>();
      imaging::Quantize(samplers[k]->Sample(n), options.import, *led);
      return led;
    };
    auto all_fit = [&](int32_t n) {
      for (size_t k = 0; k < samplers.size(); ++k) {
        if (imtxt::FragmentWords(*at(k, n), n) > words) return false;
      }
      return true;
    };
    int32_t want = 256, largest = 0;
    while (!all_fit(want)) --want;
    const LoadedFrames got = Load({gif}, options, &error, &said);
    ASSERT_EQ(got.positions, want);
    EXPECT_LT(want, 200);
    for (size_t k = 0; k < samplers.size(); ++k) {
      EXPECT_TRUE(SameWheel(*got.frames[k].led, *at(k, want), want)) << "frame " << k + 1;
      largest = std::max(largest, imtxt::FragmentWords(*at(k, want), want));
    }
    EXPECT_EQ(said, "ledwheel: " + gif + ": " + std::to_string(want) +
                        " positions, the most up to 256 whose IM.txt fits " +
                        std::to_string(words) +
                        " words for each of the 4 frames (the largest "
                        "takes " +
                        std::to_string(largest) + ")\n");
  }
  SourceOptions tight;
  tight.budget = 20;
  std::string error, said;
  Load({gif}, tight, &error, &said);
  EXPECT_TRUE(error.starts_with(gif + ": frame 2: even one position takes ")) << error;
}

// The render of several frames is an animated PNG of the frames' spin views, each as long as its
// whole turns last. White and black pictures are wheels of all 4s and all 0s.
TEST_F(FramesTest, RenderWritesAnAnimationThatPlaysTheWheel) {
  Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1, 10), Solid(0, 25), Solid(1, 100)}));
  Put("long.gif", MakeGif(8, 8, kColours, {Solid(0, 3000), Solid(1, 0)}));
  Im("lit.txt", *Wheel(12, 0, 4), 12);
  imaging::RenderOptions view;
  view.size = 64;
  const imaging::Image white = imaging::Render(*Wheel(12, 0, 4), 12, view);
  const imaging::Image black = imaging::Render(*Wheel(12, 0, 0), 12, view);
  const struct {
    std::vector<std::string> args;
    std::vector<const imaging::Image*> frames;
    std::vector<double> seconds;
    std::string said = "";
  } cases[] = {
      {{"anim.gif"}, {&white, &black, &white}, {0.1, 0.3, 1.0}},
      {{"anim.gif", "--speed", "4"}, {&white, &black, &white}, {0.25, 0.25, 1.0}},
      // A whole turn at least, 255 at most; a GIF's delay of 0 plays as 100 ms.
      {{"long.gif", "--speed", "2.5"}, {&black, &white}, {30.0, 0.4}},
      {{"long.gif"},
       {&black, &white},
       {25.5, 0.1},
       "ledwheel: long.gif frame 1: 30 s is 300 turns at 10 turns/s; a frame shows for 255 at "
       "most\n"},
      {{"anim.gif", "--turns-per-frame", "3", "--speed", "20"},
       {&white, &black, &white},
       {0.15, 0.15, 0.15}},
      {{"lit.txt", "anim.gif"}, {&white, &white, &black, &white}, {1.0, 0.1, 0.3, 1.0}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"render", "-n", "12", "--size", "64", "-o", "a.png"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args.back());
    const RunResult r = Run(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, c.said);
    std::vector<imaging::testing::ApngFrame> frames;
    uint32_t plays = 1;
    std::string error;
    ASSERT_TRUE(
        imaging::testing::ReadApng(Bytes(ReadFile(dir_.File("a.png"))), &frames, &plays, &error))
        << error;
    ASSERT_EQ(frames.size(), c.frames.size());
    for (size_t k = 0; k < c.frames.size(); ++k) {
      EXPECT_EQ(frames[k].image.rgba, c.frames[k]->rgba) << "frame " << k + 1;
      EXPECT_DOUBLE_EQ(static_cast<double>(frames[k].delay_numerator) / frames[k].delay_denominator,
                       c.seconds[k]);
    }
  }
  // One frame is the plain PNG it always was.
  ASSERT_EQ(Run({"render", "lit.txt", "--size", "64", "-o", "one.png"}).exit_code, 0);
  const std::vector<uint8_t> png = imaging::EncodePng(white);
  EXPECT_EQ(ReadFile(dir_.File("one.png")), std::string(png.begin(), png.end()));
}

// An animated GIF gives one IM.txt a frame, named by -o; a file in the way, or a bad file in a
// list, writes nothing at all.
TEST_F(FramesTest, ImportWritesOneImTxtAFrameOrNothing) {
  Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1), Solid(0), Solid(1)}));
  std::vector<uint8_t> cut = MakeGif(8, 8, kColours, {Solid(1), Solid(0)});
  Put("cut.gif", {cut.begin(), cut.end() - 6});
  WriteFile(dir_.File("in-the-way-2.txt"), "two");
  std::filesystem::permissions(dir_.File("in-the-way-2.txt"), std::filesystem::perms::owner_read);
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> files;  // the frames' files
    std::string said = "";
  } cases[] = {
      {{"anim.gif", "-o", "frames/"},
       {"frames/anim-01.txt", "frames/anim-02.txt", "frames/anim-03.txt"},
       ""},
      {{"anim.gif", "-o", "f-%02d.txt"}, {"f-01.txt", "f-02.txt", "f-03.txt"}, ""},
      {{"anim.gif", "-o", "x%3d%%"}, {"x  1%", "x  2%", "x  3%"}, ""},
      {{"anim.gif", "-o", "one.txt"},
       {"one.txt"},
       "ledwheel: anim.gif: 3 frames; one.txt holds the first (-o DIR/ or -o frame-%02d.txt "
       "writes one IM.txt a frame)\n"},
      {{"anim.gif", "-o", "in-the-way-%d.txt"},
       {},
       "ledwheel: in-the-way-2.txt: is read-only: not replaced\n"},
      {{"cut.gif", "-o", "new/"}, {}, "ledwheel: cut.gif: damaged picture (GIF: truncated)\n"},
      {{"render", "anim.gif", "cut.gif"},
       {},
       "ledwheel: cut.gif: damaged picture (GIF: truncated)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[2]);
    std::vector<std::string> args = {"import", "-n", "12"};
    if (c.args[0] == "render") args = {};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const std::vector<std::string> before = Names();
    const RunResult r = Run(args);
    EXPECT_EQ(r.exit_code, c.files.empty() ? 1 : 0);
    EXPECT_EQ(r.err, c.said);
    if (c.files.empty()) {
      EXPECT_EQ(Names(), before);
    }
    for (size_t k = 0; k < c.files.size(); ++k) {
      wheel::LedArray led{};
      imtxt::ImInfo info;
      std::string error;
      ASSERT_TRUE(imtxt::ReadIm(ReadFile(dir_.File(c.files[k])), led, &info, &error)) << error;
      EXPECT_EQ(info.positions, 12);
      EXPECT_EQ(led[7][11].toestand, k == 1 ? 0 : 4) << c.files[k];
    }
  }
}

// Every new file is made before any is renamed into place; a failure in any leaves every path as
// it was.
TEST_F(FramesTest, WriteAllReplacingWritesAllOrNothing) {
  const struct {
    std::string last;  // the third path
    int32_t failing;   // the write that throws: -1 none, 10 + k the file output's failure
    std::string error;
  } cases[] = {
      {"c", -1, ""},
      {"c", 1, "b: disk on fire"},
      {"c", 12, "c: cannot be written: the disk is full"},
      {"nowhere/c", -1, "nowhere/c: cannot be written: no such directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    for (const char* name : {"a", "b", "c"}) WriteFile(dir_.File(name), "old");
    std::string error;
    try {
      WriteAllReplacing({dir_.File("a"), dir_.File("b"), dir_.File(c.last)},
                        [&](size_t k, const std::string& temp) {
                          if (static_cast<int32_t>(k) + 10 == c.failing)
                            throw rts::Failure(4, "IOException.hardDeviceError 00000070H");
                          if (static_cast<int32_t>(k) == c.failing)
                            throw FileError(temp, "disk on fire");
                          WriteFile(temp, "new");
                        });
    } catch (const FileError& e) {
      error = e.file().substr(dir_.path().size() + 1) + ": " + e.what();
    }
    EXPECT_EQ(error, c.error);
    for (const char* name : {"a", "b", "c"}) {
      EXPECT_EQ(ReadFile(dir_.File(name)), c.error.empty() ? "new" : "old");
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
  }
}

}  // namespace
}  // namespace cli
