// Tests of moving pictures on the command line: files and a GIF's frames loaded at one N, their
// turns, the animated render read back, import of one IM.txt a frame, all or nothing, and the
// firmware of several frames on the simulator.
#include "cli/frames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "cli/cli.h"
#include "cli/files.h"
#include "firmware/pic_sim.h"
#include "firmware/table_firmware.h"
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
GifFrame Made(int32_t w, int32_t delay_cs, const std::function<uint32_t(int32_t, int32_t)>& index) {
  GifFrame f;
  f.width = f.height = w;
  f.delay_cs = delay_cs;
  for (int32_t p = 0; p < w * w; ++p) f.indices.push_back(uint8_t(index(p % w, p / w)));
  return f;
}
GifFrame Solid(uint8_t index, int32_t delay_cs = 10) {
  return Made(8, delay_cs, [index](int32_t, int32_t) { return index; });
}
// Neighbouring LEDs differ: many words in IM.txt.
GifFrame Busy(uint32_t seed, int32_t delay_cs = 10) {
  return Made(64, delay_cs, [seed](int32_t x, int32_t y) {
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
  // The wheel of the IM.txt `name`; fails the test when it is not one.
  std::unique_ptr<wheel::LedArray> ReadWheel(const std::string& name, int32_t* n) {
    auto led = std::make_unique<wheel::LedArray>();
    imtxt::ImInfo info;
    std::string error;
    EXPECT_TRUE(imtxt::ReadIm(ReadFile(dir_.File(name)), *led, &info, &error)) << error;
    *n = info.positions;
    return led;
  }
  RunResult Run(std::vector<std::string> args) {
    testing_support::RunOptions o;
    o.args = std::move(args);
    o.display = "";
    return testing_support::Run(LEDWHEEL, dir_.path(), o);
  }
  // What fn says on standard error, and its FileError as "FILE: cause".
  static void Capture(const std::function<void()>& fn, std::string* error, std::string* said) {
    ::testing::internal::CaptureStderr();
    try {
      fn();
    } catch (const FileError& e) {
      *error = e.file() + ": " + e.what();
    }
    *said = ::testing::internal::GetCapturedStderr();
  }
  LoadedFrames Load(const std::vector<std::string>& files, const SourceOptions& options,
                    std::string* error, std::string* said) {
    LoadedFrames loaded;
    Capture([&] { loaded = LoadFrames(files, options, ImTxtRule(options)); }, error, said);
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
    LoadedWheel want;
    std::string want_error, want_said, error, said;
    Capture([&] { want = LoadWheel(options); }, &want_error, &want_said);
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
  const std::string a = Im("a.txt", *Wheel(48, 1), 48), c = Im("c.txt", *Wheel(60, 3), 60);
  const std::string white = Put("white.gif", MakeGif(8, 8, kColours, {Solid(1)}));
  const std::string anim = Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1), Solid(0)}));
  const std::string differs = c + ": 60 positions, not the 48 of " + a +
                              ": every frame needs the same number (-n N resamples them all)";
  const std::string takes =
      "ledwheel: " + white + " and 1 more pictures: 48 positions, those of " + a + "\n";
  const struct {
    std::vector<std::string> files;
    int32_t positions, want_n;  // want_n 0: any
    std::string made;           // each frame: 'p' from a picture, 'i' as its IM.txt; "": refused
    std::string message;        // the note, or the error; a trailing "..." leaves the rest open
  } cases[] = {
      {{a, a}, 0, 48, "ii", ""},
      {{a, c, a}, 0, 0, "", differs},
      {{white, a, anim}, 0, 48, "pipp", takes},
      {{a, c}, 60, 60, "pi", ""},  // -n resamples every other N
      {{c, anim}, kAuto, 0, "ppp", "ledwheel: " + c + " and " + anim + ": ..."},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.made + " " + k.message);
    SourceOptions options;
    options.positions = k.positions;
    std::string error, said;
    const LoadedFrames got = Load(k.files, options, &error, &said);
    const std::string& message = k.made.empty() ? error : said;
    if (k.message.ends_with("...")) {
      EXPECT_TRUE(message.starts_with(k.message.substr(0, k.message.size() - 3))) << message;
    } else {
      EXPECT_EQ(message, k.message);
    }
    if (k.want_n > 0) {
      EXPECT_EQ(got.positions, k.want_n);
    }
    std::string made;
    for (const Frame& f : got.frames) made += f.from_picture ? 'p' : 'i';
    EXPECT_EQ(made, k.made);
  }
}

// The automatic N is the largest that suits every frame, however they differ; a frame tried at a
// larger N than a later frame allows is made again at the chosen one.
TEST_F(FramesTest, AutomaticNSuitsEveryFrame) {
  const std::string gif =
      Put("mixed.gif", MakeGif(64, 64, kColours, {Solid(0), Busy(1), Solid(1), Busy(2)}));
  for (const int32_t budget : {0, 1500}) {
    SCOPED_TRACE(budget);
    SourceOptions options;
    options.budget = budget;
    const int32_t words = budget > 0 ? budget : 2030;
    std::vector<std::unique_ptr<imaging::WheelSampler>> samplers;
    std::string error, said;
    ASSERT_TRUE(imaging::DecodeGif(
        Bytes(ReadFile(gif)),
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
    int32_t want = 257, largest = 0;
    for (bool fit = false; !fit;) {
      --want;
      fit = true;
      for (size_t k = 0; k < samplers.size(); ++k)
        fit &= imtxt::FragmentWords(*at(k, want), want) <= words;
    }
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
                        " words for each of the 4 frames (the largest takes " +
                        std::to_string(largest) + ")\n");
  }
  SourceOptions tight;
  tight.budget = 20;
  std::string error, said;
  Load({gif}, tight, &error, &said);
  EXPECT_TRUE(error.starts_with(gif + ": frame 2: even one position takes ")) << error;
}

// The render of several frames is an animated PNG of the frames' spin views, each as long as its
// whole turns last; one frame is the plain PNG it always was. White and black pictures are wheels
// of all 4s and all 0s.
TEST_F(FramesTest, RenderWritesAnAnimationThatPlaysTheWheel) {
  Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1, 10), Solid(0, 25), Solid(1, 100)}));
  Put("long.gif", MakeGif(8, 8, kColours, {Solid(0, 3000), Solid(1, 0)}));
  Im("lit.txt", *Wheel(12, 0, 4), 12);
  imaging::RenderOptions view;
  view.size = 64;
  const imaging::Image w = imaging::Render(*Wheel(12, 0, 4), 12, view);
  const imaging::Image b = imaging::Render(*Wheel(12, 0, 0), 12, view);
  const std::string cut =
      "ledwheel: long.gif frame 1: 30 s is 300 turns at 10 turns/s; a frame shows for 255 at "
      "most\n";
  const struct {
    std::vector<std::string> args;
    std::vector<const imaging::Image*> frames;
    std::vector<double> seconds;
    std::string said = "";
  } cases[] = {
      {{"lit.txt"}, {&w}, {}},
      {{"anim.gif"}, {&w, &b, &w}, {0.1, 0.3, 1.0}},
      {{"anim.gif", "--speed", "4"}, {&w, &b, &w}, {0.25, 0.25, 1.0}},
      // A whole turn at least, 255 at most; a GIF's delay of 0 plays as 100 ms.
      {{"long.gif", "--speed", "2.5"}, {&b, &w}, {30.0, 0.4}},
      {{"long.gif"}, {&b, &w}, {25.5, 0.1}, cut},
      {{"anim.gif", "--turns-per-frame", "3", "--speed", "20"}, {&w, &b, &w}, {0.15, 0.15, 0.15}},
      {{"lit.txt", "anim.gif"}, {&w, &w, &b, &w}, {1.0, 0.1, 0.3, 1.0}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"render", "-n", "12", "--size", "64", "-o", "a.png"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args.back());
    const RunResult r = Run(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, c.said);
    const std::string png = ReadFile(dir_.File("a.png"));
    if (c.frames.size() == 1) {
      const std::vector<uint8_t> plain = imaging::EncodePng(*c.frames[0]);
      EXPECT_EQ(png, std::string(plain.begin(), plain.end()));
      continue;
    }
    std::vector<imaging::testing::ApngFrame> frames;
    uint32_t plays = 1;
    std::string error;
    ASSERT_TRUE(imaging::testing::ReadApng(Bytes(png), &frames, &plays, &error)) << error;
    ASSERT_EQ(frames.size(), c.frames.size());
    for (size_t k = 0; k < c.frames.size(); ++k) {
      EXPECT_EQ(frames[k].image.rgba, c.frames[k]->rgba) << "frame " << k + 1;
      EXPECT_DOUBLE_EQ(double(frames[k].delay_numerator) / frames[k].delay_denominator,
                       c.seconds[k]);
    }
  }
}

// An animated GIF gives one IM.txt a frame, named by -o; a file in the way, or a bad file in a
// list, writes nothing at all.
TEST_F(FramesTest, ImportWritesOneImTxtAFrameOrNothing) {
  Put("anim.gif", MakeGif(8, 8, kColours, {Solid(1), Solid(0), Solid(1)}));
  std::vector<uint8_t> cut = MakeGif(8, 8, kColours, {Solid(1), Solid(0)});
  Put("cut.gif", {cut.begin(), cut.end() - 6});
  WriteFile(dir_.File("in-the-way-2.txt"), "two");
  std::filesystem::permissions(dir_.File("in-the-way-2.txt"), std::filesystem::perms::owner_read);
  const std::string kCut = "ledwheel: cut.gif: damaged picture (GIF: truncated)\n";
  const std::string first =
      "ledwheel: anim.gif: 3 frames; one.txt holds the first (-o DIR/ or -o frame-%02d.txt writes "
      "one IM.txt a frame)\n";
  const std::string read_only = "ledwheel: in-the-way-2.txt: is read-only: not replaced\n";
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> files;  // the frames' files
    std::string said = "";
  } cases[] = {
      {{"anim.gif", "-o", "frames/"},
       {"frames/anim-01.txt", "frames/anim-02.txt", "frames/anim-03.txt"}},
      {{"anim.gif", "-o", "f-%02d.txt"}, {"f-01.txt", "f-02.txt", "f-03.txt"}},
      {{"anim.gif", "-o", "x%3d%%"}, {"x  1%", "x  2%", "x  3%"}},
      {{"anim.gif", "-o", "one.txt"}, {"one.txt"}, first},
      {{"anim.gif", "-o", "in-the-way-%d.txt"}, {}, read_only},
      {{"cut.gif", "-o", "new/"}, {}, kCut},
      {{"render", "anim.gif", "cut.gif"}, {}, kCut},
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
      int32_t n = 0;
      EXPECT_EQ((*ReadWheel(c.files[k], &n))[7][11].toestand, k == 1 ? 0 : 4) << c.files[k];
      EXPECT_EQ(n, 12);
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
                          if (int32_t(k) + 10 == c.failing)
                            throw rts::Failure(4, "IOException.hardDeviceError 00000070H");
                          if (int32_t(k) == c.failing) throw FileError(temp, "disk on fire");
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

// `ledwheel firmware FILE...` on the simulator, turn by turn: each frame for its turns, from
// IM.txt files and from a GIF's delays; frames the chip does not hold, and several frames in the
// fragment layout, are refused with nothing written. `check` reports the same frames.
TEST_F(FramesTest, FirmwareShowsEachFrameForItsTurns) {
  for (const char* name : {"a", "b", "c"}) Im(name + std::string(".txt"), *Wheel(60, *name), 60);
  Im("wide.txt", *Wheel(500, 1), 500);
  // 100, 50 and 150 ms: 2, 1 and 3 turns at 20 turns/s.
  Put("anim.gif", MakeGif(64, 64, kColours, {Busy(1, 10), Busy(2, 5), Busy(3, 15)}));
  // The GIF's frames as the loader makes them (1.txt ...), to tell them apart on the wheel.
  ASSERT_EQ(Run({"import", "anim.gif", "-n", "60", "-o", "%d.txt"}).exit_code, 0);
  const int32_t auto_n =
      std::min(firmware::TablePositionsFor(10, 20, 3), firmware::TablePositionsFit(3));
  const std::string auto_note =
      "anim.gif: " + std::to_string(auto_n) +
      " positions, the most up to 500 at which the table firmware holds the 3 frames and shows "
      "them at 10 turns/s";
  const std::string too_many = "ledwheel: wide.txt and wide.txt: 2 frames of 500 positions need " +
                               std::to_string(firmware::TableFirmwareWords(500, 2)) +
                               " program words, the chip has 8192; 1 frame of 500 positions fits\n";
  const std::string fragment =
      "ledwheel: --layout fragment: the fragment holds one picture; the table layout holds "
      "several frames\n";
  const std::string check3 = "frames: 3 in 60 turns (3 s at 20 turns/s)\n" +
                             firmware::FramesFitReport(firmware::CheckTableFit(60, 20, 3));
  const std::string check2 = "frames: 2 in 20 turns (2 s at 10 turns/s)\n" +
                             firmware::FramesFitReport(firmware::CheckTableFit(500, 4, 2));
  const struct {
    std::vector<std::string> args;  // firmware's (with -o out.asm), or a whole command
    int exit_code;
    std::string out;          // standard output
    std::string err;          // a piece of standard error; "" for none
    std::string frames = "";  // the IM.txt files of the frames (x.txt for x), to see turn by turn
    std::string shown = "";   // the turns: '.' dark, '1'.. that frame
    int32_t positions = 60;
  } cases[] = {
      {{"a.txt", "b.txt", "c.txt", "--turns-per-frame", "2"}, 0, "", "", "abc", "..112233112"},
      {{"anim.gif", "-n", "60", "--speed", "20"}, 0, "", "", "123", "..112333112"},
      {{"anim.gif"}, 0, "", auto_note, "", "", auto_n},
      {{"wide.txt", "wide.txt"}, 3, "", too_many},
      {{"a.txt", "b.txt", "--layout", "fragment"}, 2, "", fragment},
      {{"anim.gif", "--layout", "fragment"}, 2, "", fragment},
      {{"a.txt", "missing.gif"}, 1, "", "ledwheel: missing.gif: no such file\n"},
      {{"check", "a.txt", "b.txt", "c.txt", "--speed", "20"}, 0, check3, ""},
      {{"check", "wide.txt", "wide.txt", "--mhz", "4"}, 3, check2, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"firmware", "-o", "out.asm"};
    if (c.args[0] == "check") args = {};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args[0] + " " + c.args[0] + " and " + std::to_string(c.args.size() - 1) + " more");
    std::filesystem::remove(dir_.File("out.asm"));
    const RunResult r = Run(args);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_TRUE(c.err.empty() ? r.err.empty() : r.err.find(c.err) != std::string::npos) << r.err;
    const bool written = c.exit_code == 0 && args[0] == "firmware";
    ASSERT_EQ(std::filesystem::exists(dir_.File("out.asm")), written);
    if (!written) continue;
    const std::string source = ReadFile(dir_.File("out.asm"));
    EXPECT_NE(source.find("NPOS            EQU     D'" + std::to_string(c.positions) + "'"),
              std::string::npos);
    std::vector<firmware::testing::Picture> pictures;
    for (const char name : c.frames) {
      int32_t n = 0;
      const auto led = ReadWheel(name + std::string(".txt"), &n);
      auto& p = pictures.emplace_back(static_cast<size_t>(n));
      for (int32_t q = 1; q <= n; ++q) {
        for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) p[q - 1][i - 1] = (*led)[q][i].toestand;
      }
    }
    // A wheel at 150 turns per second.
    const std::vector<uint64_t> edges =
        firmware::testing::Edges(1000, std::vector<double>(c.shown.size(), 20e6 / 4 / 150));
    const firmware::testing::Simulation sim =
        firmware::testing::Simulate(dir_.path(), source, edges, edges.back() + 100);
    ASSERT_EQ(sim.gpsim_status, 0) << sim.gpasm << sim.gpsim.substr(0, 2000);
    for (size_t k = 0; k < c.shown.size(); ++k) {
      SCOPED_TRACE("turn " + std::to_string(k) + " of " + c.shown);
      if (c.shown[k] == '.') {
        EXPECT_FALSE(firmware::testing::AnyLight(sim.writes, edges[k] + 60, edges[k + 1]));
        continue;
      }
      uint64_t first = 0;
      EXPECT_EQ(firmware::testing::TableTurnProblem(sim.writes, pictures[c.shown[k] - '1'],
                                                    edges[k], edges[k + 1], 60, &first),
                "");
    }
  }
}

}  // namespace
}  // namespace cli
