// Tests of the animated GIF decoder: frames composed as a viewer shows them, their delays, damaged
// files and the limits that keep a small file from costing much.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "imaging/animation.h"
#include "imaging/test_util.h"

namespace imaging {
namespace {

using testing::GifFrame;
using testing::MakeGif;

const std::vector<uint32_t> kColours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

// The canvas as one letter a pixel (k r g b for the colours, '.' transparent), rows split by '|'.
std::string Letters(const Image& image) {
  std::string s;
  for (size_t p = 0; p < image.rgba.size(); p += 4) {
    if (p > 0 && p % (image.width * 4) == 0) s += '|';
    const uint8_t* c = &image.rgba[p];
    const uint32_t rgb = (c[0] << 16) | (c[1] << 8) | c[2];
    const auto k = std::find(kColours.begin(), kColours.end(), rgb) - kColours.begin();
    s += c[3] == 0 && rgb == 0 ? '.' : c[3] == 255 && k < 4 ? "krgb"[k] : '?';
  }
  return s;
}

GifFrame Solid(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t index, int32_t disposal = 0) {
  GifFrame f;
  f.x = x, f.y = y, f.width = w, f.height = h, f.disposal = disposal;
  f.indices.assign(static_cast<size_t>(w) * h, index);
  return f;
}

std::vector<std::string> Decode(std::span<const uint8_t> gif, std::string* error) {
  std::vector<std::string> frames;
  DecodeGif(
      gif,
      [&](int32_t, const Image& canvas, int32_t) {
        frames.push_back(Letters(canvas));
        return true;
      },
      error);
  return frames;
}

TEST(DecodeGif, ComposesFramesAsAViewerShowsThem) {
  GifFrame holes = Solid(0, 0, 4, 2, 3);
  holes.transparent = 1;
  holes.indices = {3, 1, 1, 3, 1, 3, 3, 1};
  GifFrame holes_put_back = holes;
  holes_put_back.disposal = 3;
  GifFrame untied = Solid(0, 0, 4, 2, 1);  // index 1 and disposal 3 held for the frame before
  untied.control = false;
  GifFrame striped = Solid(0, 0, 1, 10, 0);
  striped.interlaced = true;
  for (uint8_t y = 0; y < 10; ++y) striped.indices[y] = y % 4;
  GifFrame own = Solid(1, 0, 2, 1, 0);
  own.local_colours = {0x0000FF};
  GifFrame short_data = Solid(0, 0, 3, 1, 2);
  short_data.indices.resize(2);  // the rest keeps what lay beneath
  GifFrame long_data = Solid(0, 0, 1, 1, 3);
  long_data.indices.resize(5, 3);  // the rest is ignored
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
      {"disposal 3 of the first frame leaves transparency",
       3,
       1,
       {Solid(0, 0, 2, 1, 1, 3), Solid(2, 0, 1, 1, 2)},
       {"rr.", "..g"}},
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
      {"short and long data",
       3,
       1,
       {Solid(0, 0, 3, 1, 1), short_data, long_data},
       {"rrr", "ggr", "bgr"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_EQ(Decode(MakeGif(c.width, c.height, kColours, c.frames), &error), c.want);
    EXPECT_EQ(error, "");
  }
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// animated.gif: 48 x 32, made by ImageMagick with its own LZW coding (full code tables, 250
// colours): a whole first frame, a part with transparent pixels disposed to the background, one
// disposed to the previous picture, and a last one.
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
  ASSERT_EQ(strip.height, 4 * 32);
  std::vector<int32_t> delays;
  ASSERT_TRUE(DecodeGif(
      gif,
      [&](int32_t k, const Image& canvas, int32_t delay) {
        delays.push_back(delay);
        EXPECT_EQ(canvas.width, 48);
        int32_t differing = 0;
        for (size_t p = 0; p < canvas.rgba.size(); p += 4) {
          const uint8_t* want = &strip.rgba[k * canvas.rgba.size() + p];
          const uint8_t* got = &canvas.rgba[p];
          // Transparent pixels' colours are nobody's business.
          differing += got[3] == want[3] && (got[3] == 0 || std::equal(got, got + 3, want)) ? 0 : 1;
        }
        EXPECT_EQ(differing, 0) << "frame " << k;
        return true;
      },
      &error))
      << error;
  EXPECT_EQ(delays, (std::vector<int32_t>{70, 100, 130, 250}));  // 0 plays as 100 ms
  GifInfo info;
  ASSERT_TRUE(ScanGif(gif, &info, &error));
  EXPECT_EQ(info.delays_ms, delays);
}

TEST(DecodeGif, RefusesDamagedFilesAndBombsBeforeDrawingAnything) {
  const auto good = MakeGif(2, 2, kColours, {Solid(0, 0, 2, 2, 1), Solid(0, 0, 1, 1, 2)});
  auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
    auto b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<ptrdiff_t>(at));
    return b;
  };
  // Header 13, colour table 12, control extension 8: the first frame's descriptor at 33, its
  // code size at 43, its first data byte at 45.
  ASSERT_EQ(good[33], 0x2C);
  std::vector<uint8_t> no_table = patched(10, {0});
  no_table.erase(no_table.begin() + 13, no_table.begin() + 25);
  const struct {
    const char* name;
    std::vector<uint8_t> gif;
    std::string error;
  } cases[] = {
      {"cut in a frame's data", {good.begin(), good.end() - 5}, "damaged picture (GIF: truncated)"},
      {"no colour table", no_table, "damaged picture (GIF: no colour table)"},
      {"an unknown block", patched(33, {0x77}), "damaged picture (GIF: unknown block 119)"},
      {"a code size of 9", patched(43, {9}), "damaged picture (GIF: code size 9)"},
      // The clear code (4), then code 7, past the empty table's end.
      {"a code past the table", patched(45, {0x3C}), "damaged picture (GIF: bad code)"},
      {"too many frames",
       MakeGif(1, 1, kColours, std::vector<GifFrame>(kMaxFrames + 1, Solid(0, 0, 1, 1, 1))),
       "animation of 1001 frames is over 1000 frames"},
      {"a large canvas many times",
       MakeGif(10000, 10000, kColours, std::vector<GifFrame>(11, Solid(0, 0, 1, 1, 1))),
       "animation of 11 frames of 10000 x 10000 pixels is over 1000 megapixels in all"},
      {"a large frame", patched(38, {0x20, 0x4E, 0x20, 0x4E}),
       "frame 1 of 20000 x 20000 pixels is over 100 megapixels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_EQ(Decode(c.gif, &error), std::vector<std::string>{});
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace imaging
