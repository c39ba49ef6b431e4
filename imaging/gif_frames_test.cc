// Tests of the animated GIF decoder: frames composed as a viewer shows them, their delays, the
// damaged files and the limits that keep a small file from costing much.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "imaging/animation.h"
#include "imaging/test_util.h"

namespace imaging {
namespace {

using testing::GifFrame;
using testing::MakeGif;

// Colour indices 0..3 and how the tests write them; '.' is a transparent canvas pixel.
const std::vector<uint32_t> kColours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
constexpr char kNames[] = "krgb";

// The canvas as one letter a pixel, rows separated by '|'.
std::string Letters(const Image& image) {
  std::string s;
  for (int32_t y = 0; y < image.height; ++y) {
    if (y > 0) s += '|';
    for (int32_t x = 0; x < image.width; ++x) {
      const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
      char c = '?';
      if (p[3] == 0 && p[0] == 0 && p[1] == 0 && p[2] == 0) c = '.';
      for (int k = 0; k < 4 && p[3] == 255; ++k) {
        if (p[0] == (kColours[k] >> 16) && p[1] == ((kColours[k] >> 8) & 0xFF) &&
            p[2] == (kColours[k] & 0xFF)) {
          c = kNames[k];
        }
      }
      s += c;
    }
  }
  return s;
}

// A frame of one colour index everywhere.
GifFrame Solid(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t index, int32_t disposal = 0) {
  GifFrame f;
  f.x = x, f.y = y, f.width = w, f.height = h, f.disposal = disposal;
  f.indices.assign(static_cast<size_t>(w) * h, index);
  return f;
}

struct Decoded {
  std::vector<std::string> frames;
  std::vector<int32_t> delays;
  std::string error;
};

Decoded Decode(std::span<const uint8_t> gif) {
  Decoded d;
  if (!DecodeGif(
          gif,
          [&](int32_t k, const Image& canvas, int32_t delay) {
            EXPECT_EQ(k, static_cast<int32_t>(d.frames.size()));
            d.frames.push_back(Letters(canvas));
            d.delays.push_back(delay);
            return true;
          },
          &d.error)) {
    EXPECT_FALSE(d.error.empty());
  }
  return d;
}

TEST(DecodeGif, ComposesFramesAsAViewerShowsThem) {
  GifFrame holes = Solid(0, 0, 4, 2, 3);
  holes.transparent = 1;
  holes.indices = {3, 1, 1, 3, 1, 3, 3, 1};
  GifFrame holes_put_back = holes;
  holes_put_back.disposal = 3;
  // Index 1 was transparent in the frame before, whose disposal was 3.
  GifFrame untied = Solid(0, 0, 4, 2, 1);
  untied.control = false;
  GifFrame striped;  // ten rows of one pixel, interlaced
  striped.width = 1, striped.height = 10, striped.interlaced = true;
  for (uint8_t y = 0; y < 10; ++y) striped.indices.push_back(y % 4);
  GifFrame own = Solid(1, 0, 2, 1, 0);
  own.local_colours = {0x0000FF};
  const struct {
    const char* name;
    int32_t width, height;
    std::vector<GifFrame> frames;
    std::vector<std::string> want;
  } cases[] = {
      {"transparent pixels keep what lies beneath",
       4,
       2,
       {Solid(0, 0, 4, 2, 2), holes},
       {"gggg|gggg", "bggb|gbbg"}},
      {"a control extension holds for its own frame only",
       4,
       2,
       {Solid(0, 0, 4, 2, 2), holes_put_back, untied, Solid(0, 0, 1, 1, 3)},
       {"gggg|gggg", "bggb|gbbg", "rrrr|rrrr", "brrr|rrrr"}},
      {"disposal 2 clears the frame's rectangle to transparent",
       4,
       2,
       {Solid(0, 0, 4, 2, 1, 1), Solid(1, 0, 2, 1, 2, 2), Solid(0, 1, 1, 1, 3)},
       {"rrrr|rrrr", "rggr|rrrr", "r..r|brrr"}},
      {"disposal 3 puts back what lay beneath",
       4,
       2,
       {Solid(0, 0, 4, 2, 1), Solid(1, 0, 2, 2, 2, 3), Solid(0, 1, 1, 1, 3)},
       {"rrrr|rrrr", "rggr|rggr", "rrrr|brrr"}},
      {"disposal 3 after the first frame leaves it transparent",
       3,
       1,
       {Solid(0, 0, 2, 1, 1, 3), Solid(2, 0, 1, 1, 2)},
       {"rr.", "..g"}},
      {"disposal 1 and none leave the frame",
       3,
       1,
       {Solid(0, 0, 1, 1, 1, 1), Solid(1, 0, 1, 1, 2, 0), Solid(2, 0, 1, 1, 3)},
       {"r..", "rg.", "rgb"}},
      {"a frame reaching past the canvas is cut at its edge",
       3,
       2,
       {Solid(1, 1, 4, 3, 3, 2), Solid(0, 0, 1, 1, 1)},
       {"...|.bb", "r..|..."}},
      {"a frame wholly past the canvas changes nothing",
       2,
       1,
       {Solid(0, 0, 2, 1, 1), Solid(5, 0, 1, 1, 2, 3), Solid(2, 0, 1, 1, 2, 2),
        Solid(0, 0, 1, 1, 3)},
       {"rr", "rr", "rr", "br"}},
      {"interlaced rows land in their places", 1, 10, {striped}, {"k|r|g|b|k|r|g|b|k|r"}},
      {"a frame's own colour table", 4, 1, {Solid(0, 0, 4, 1, 1), own}, {"rrrr", "rbbr"}},
      {"a screen of no size takes the frames' extent",
       0,
       0,
       {Solid(0, 0, 1, 1, 1), Solid(2, 1, 1, 1, 2)},
       {"r..|...", "r..|..g"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(MakeGif(c.width, c.height, kColours, c.frames));
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.frames, c.want);
  }
}

TEST(DecodeGif, DelaysAreThoseABrowserPlays) {
  GifFrame plain = Solid(0, 0, 1, 1, 1);
  plain.control = false;
  std::vector<GifFrame> frames;
  for (int32_t cs : {0, 1, 2, 50, 6000}) {
    frames.push_back(Solid(0, 0, 1, 1, 1));
    frames.back().delay_cs = cs;
  }
  frames.push_back(plain);
  const std::vector<uint8_t> gif = MakeGif(1, 1, kColours, frames);
  const std::vector<int32_t> want = {100, 100, 20, 500, 60000, 100};
  EXPECT_EQ(Decode(gif).delays, want);
  GifInfo info;
  std::string error;
  ASSERT_TRUE(ScanGif(gif, &info, &error)) << error;
  EXPECT_EQ(info.delays_ms, want);
  EXPECT_EQ(info.width, 1);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// animated.gif: 48 x 32, made by ImageMagick with its own LZW coding (full code tables, 250
// colours): a whole first frame, then a part with transparent pixels disposed to the background,
// one disposed to the previous picture, and a last one.
//   convert -dispose none -delay 7 p1.png -dispose background -delay 0 -page 48x32+5+4 p2.png
//     -dispose previous -delay 13 -page 48x32+30+10 p3.png -dispose none -delay 25
//     -page 48x32+0+0 p4.png -loop 0 animated.gif
// animated_coalesced.png: its frames as ImageMagick composes them, one below the other.
//   convert animated.gif -coalesce -append PNG32:animated_coalesced.png
TEST(DecodeGif, AgreesWithAnotherDecoderOnAGifItMade) {
  const auto gif = ReadFile(LEDWHEEL_IMAGING_TESTDATA "/animated.gif");
  Image strip;
  std::string error;
  ASSERT_TRUE(
      DecodePicture(ReadFile(LEDWHEEL_IMAGING_TESTDATA "/animated_coalesced.png"), &strip, &error))
      << error;
  ASSERT_EQ(strip.width, 48);
  ASSERT_EQ(strip.height, 4 * 32);
  std::vector<int32_t> delays;
  ASSERT_TRUE(DecodeGif(
      gif,
      [&](int32_t k, const Image& canvas, int32_t delay) {
        delays.push_back(delay);
        EXPECT_EQ(canvas.width, 48);
        EXPECT_EQ(canvas.height, 32);
        int32_t differing = 0;
        for (size_t p = 0; p < canvas.rgba.size(); p += 4) {
          const uint8_t* want = &strip.rgba[k * canvas.rgba.size() + p];
          const uint8_t* got = &canvas.rgba[p];
          // Transparent pixels' colours are nobody's business.
          const bool same = got[3] == want[3] && (got[3] == 0 || std::equal(got, got + 3, want));
          differing += same ? 0 : 1;
        }
        EXPECT_EQ(differing, 0) << "frame " << k;
        return true;
      },
      &error))
      << error;
  EXPECT_EQ(delays, (std::vector<int32_t>{70, 100, 130, 250}));
}

TEST(DecodeGif, StopsWhenTheSinkSaysSo) {
  const auto gif = MakeGif(1, 1, kColours, {Solid(0, 0, 1, 1, 1), Solid(0, 0, 1, 1, 2)});
  int32_t seen = 0;
  std::string error;
  EXPECT_TRUE(DecodeGif(
      gif, [&](int32_t, const Image&, int32_t) { return ++seen < 1; }, &error));
  EXPECT_EQ(seen, 1);
}

TEST(DecodeGif, RefusesDamagedFilesAndBombsBeforeDrawingAnything) {
  const auto good = MakeGif(2, 2, kColours, {Solid(0, 0, 2, 2, 1), Solid(0, 0, 1, 1, 2)});
  auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
    auto b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<ptrdiff_t>(at));
    return b;
  };
  // Header 13, colour table 12, control extension 8: the first frame's descriptor at 33, its
  // code size at 43.
  ASSERT_EQ(good[33], 0x2C);
  std::vector<GifFrame> many(static_cast<size_t>(kMaxFrames) + 1, Solid(0, 0, 1, 1, 1));
  std::vector<GifFrame> heavy(11, Solid(0, 0, 1, 1, 1));
  std::vector<uint8_t> no_table = good;
  no_table[10] = 0;  // no global colour table: the frames have none
  no_table.erase(no_table.begin() + 13, no_table.begin() + 25);
  std::vector<uint8_t> bad_code = MakeGif(1, 1, kColours, {Solid(0, 0, 1, 1, 1)});
  // The first data byte: the clear code (4), then code 7, past the empty table's end.
  bad_code[bad_code.size() - 4] = 0x3C;
  const struct {
    const char* name;
    std::vector<uint8_t> gif;
    std::string error;
  } cases[] = {
      {"cut in a frame's data", {good.begin(), good.end() - 5}, "damaged picture (GIF: truncated)"},
      {"cut in a header", {good.begin(), good.begin() + 8}, "damaged picture (GIF: truncated)"},
      {"no colour table", no_table, "damaged picture (GIF: no colour table)"},
      {"an unknown block", patched(33, {0x77}), "damaged picture (GIF: unknown block 119)"},
      {"a code size of 9", patched(43, {9}), "damaged picture (GIF: code size 9)"},
      {"a code past the table", bad_code, "damaged picture (GIF: bad code)"},
      {"no frames", MakeGif(1, 1, kColours, {}), "damaged picture (GIF: no frames)"},
      {"not a GIF", {'G', 'I', 'F', '9', '0', 'a'}, "not a picture"},
      {"too many frames", MakeGif(1, 1, kColours, many),
       "animation of 1001 frames is over 1000 frames"},
      {"a large canvas many times", MakeGif(10000, 10000, kColours, heavy),
       "animation of 11 frames of 10000 x 10000 pixels is over 1000 megapixels in all"},
      {"a large canvas", MakeGif(20000, 20000, kColours, {Solid(0, 0, 1, 1, 1)}),
       "picture of 20000 x 20000 pixels is over 100 megapixels"},
      {"a large frame", patched(38, {0x20, 0x4E, 0x20, 0x4E}),
       "frame 1 of 20000 x 20000 pixels is over 100 megapixels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t drawn = 0;
    std::string error;
    EXPECT_FALSE(DecodeGif(
        c.gif, [&](int32_t, const Image&, int32_t) { return ++drawn > 0; }, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(drawn, 0);
  }
}

// Data that ends before the frame is whole leaves the rest as it was, as viewers do; data beyond
// it is ignored.
TEST(DecodeGif, ShortAndLongDataAreTakenAsViewersTakeThem) {
  GifFrame short_frame = Solid(0, 0, 3, 1, 2);
  short_frame.indices.resize(2);  // the descriptor still says 3 x 1
  GifFrame long_frame = Solid(0, 0, 1, 1, 3);
  long_frame.indices.resize(5, 3);
  const std::pair<GifFrame, std::string> cases[] = {{short_frame, "ggr"}, {long_frame, "brr"}};
  for (const auto& [frame, want] : cases) {
    const auto d = Decode(MakeGif(3, 1, kColours, {Solid(0, 0, 3, 1, 1), frame}));
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.frames.back(), want);
  }
}

}  // namespace
}  // namespace imaging
