// Tests of the picture loader: every format, the damaged and oversized pictures, and inputs
// mangled at random.
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>

#include "imaging/decoders.h"
#include "imaging/geometry.h"
#include "imaging/imaging.h"

namespace imaging {
namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// A 4 x 3 picture whose every pixel differs.
Image Sample4x3(bool with_alpha) {
  Image image{4, 3, {}};
  for (int32_t p = 0; p < 12; ++p) {
    image.rgba.push_back(static_cast<uint8_t>(20 * p));
    image.rgba.push_back(static_cast<uint8_t>(255 - 20 * p));
    image.rgba.push_back(static_cast<uint8_t>(p % 2 ? 200 : 7));
    image.rgba.push_back(with_alpha ? static_cast<uint8_t>(255 - 10 * p) : 255);
  }
  return image;
}

std::vector<uint8_t> RgbOnly(const Image& image) {
  std::vector<uint8_t> rgb;
  for (size_t p = 0; p < image.rgba.size(); p += 4) {
    rgb.insert(rgb.end(), image.rgba.begin() + p, image.rgba.begin() + p + 3);
  }
  return rgb;
}

std::vector<uint8_t> Written(const char* format, const Image& image) {
  std::vector<uint8_t> out;
  const std::string f = format;
  const int w = image.width;
  const int h = image.height;
  if (f == "png") stbi_write_png_to_func(Append, &out, w, h, 4, image.rgba.data(), w * 4);
  if (f == "bmp") stbi_write_bmp_to_func(Append, &out, w, h, 4, image.rgba.data());
  if (f == "tga") stbi_write_tga_to_func(Append, &out, w, h, 4, image.rgba.data());
  if (f == "jpg") stbi_write_jpg_to_func(Append, &out, w, h, 4, image.rgba.data(), 100);
  if (f == "ppm") {
    const std::string header =
        "P6\n# a comment\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    out.assign(header.begin(), header.end());
    const auto rgb = RgbOnly(image);
    out.insert(out.end(), rgb.begin(), rgb.end());
  }
  return out;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every byte of a literal, NULs included.
template <size_t N>
std::vector<uint8_t> Bytes(const char (&s)[N]) {
  return {s, s + N - 1};
}

struct FormatCase {
  const char* format;
  bool keeps_alpha;
  int tolerance;  // per channel: JPEG is lossy
};

TEST(DecodePicture, ReadsEveryWrittenFormat) {
  const FormatCase cases[] = {
      {"png", true, 0}, {"bmp", true, 0}, {"tga", true, 0}, {"ppm", false, 0}, {"jpg", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    // JPEG smears colour between neighbours: one flat colour is what survives exactly enough.
    Image in = Sample4x3(c.keeps_alpha);
    if (std::string(c.format) == "jpg") {
      for (size_t p = 0; p < in.rgba.size(); p += 4) {
        in.rgba[p] = 200, in.rgba[p + 1] = 100, in.rgba[p + 2] = 50;
      }
    }
    const auto bytes = Written(c.format, in);
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(LooksLikePicture(bytes));
    Image out;
    std::string error;
    ASSERT_TRUE(DecodePicture(bytes, &out, &error)) << error;
    ASSERT_EQ(out.width, 4);
    ASSERT_EQ(out.height, 3);
    ASSERT_EQ(out.rgba.size(), in.rgba.size());
    for (size_t k = 0; k < in.rgba.size(); ++k) {
      EXPECT_NEAR(out.rgba[k], in.rgba[k], c.format == std::string("jpg") ? 3 : c.tolerance)
          << "byte " << k;
    }
  }
}

TEST(DecodePicture, ReadsGreyPnmAsGrey) {
  auto bytes = Bytes("P5 2 1 255\n");
  bytes.push_back(10);
  bytes.push_back(250);
  Image out;
  std::string error;
  ASSERT_TRUE(DecodePicture(bytes, &out, &error)) << error;
  EXPECT_EQ(out.rgba, (std::vector<uint8_t>{10, 10, 10, 255, 250, 250, 250, 255}));
}

TEST(DecodePicture, ReadsSixteenBitPnm) {
  // 16-bit samples, big-endian: 0x0000, 0x8000, 0xFFFF of a largest sample of 65535.
  auto bytes = Bytes("P6 1 1 65535\n\x00\x00\x80\x00\xFF\xFF");
  Image out;
  std::string error;
  ASSERT_TRUE(DecodePicture(bytes, &out, &error)) << error;
  EXPECT_EQ(out.rgba, (std::vector<uint8_t>{0, 128, 255, 255}));
  bytes = Bytes("P5 2 1 1000\n\x03\xE8\x00\x00");
  ASSERT_TRUE(DecodePicture(bytes, &out, &error)) << error;
  EXPECT_EQ(out.rgba, (std::vector<uint8_t>{255, 255, 255, 255, 0, 0, 0, 255}));
}

TEST(DecodePicture, TakesTheFirstFrameOfAGif) {
  // Two frames of 3 x 2 pixels: red, then blue.
  const auto bytes = ReadFile(LEDWHEEL_IMAGING_TESTDATA "/two_frames.gif");
  ASSERT_FALSE(bytes.empty());
  Image out;
  std::string error;
  ASSERT_TRUE(DecodePicture(bytes, &out, &error)) << error;
  ASSERT_EQ(out.width, 3);
  ASSERT_EQ(out.height, 2);
  for (size_t p = 0; p < out.rgba.size(); p += 4) {
    EXPECT_EQ(out.rgba[p], 255);
    EXPECT_EQ(out.rgba[p + 2], 0);
  }
}

TEST(EncodePng, DecodesToTheSamePixels) {
  const Image in = Sample4x3(true);
  Image out;
  std::string error;
  ASSERT_TRUE(DecodePicture(EncodePng(in), &out, &error)) << error;
  EXPECT_EQ(out.width, in.width);
  EXPECT_EQ(out.height, in.height);
  EXPECT_EQ(out.rgba, in.rgba);
}

TEST(LooksLikePicture, KnowsTheFormatsByTheirFirstBytes) {
  std::vector<uint8_t> tga(18, 0);
  tga[2] = 2, tga[12] = 4, tga[14] = 3, tga[16] = 24;
  std::vector<uint8_t> tga_bad_depth = tga;
  tga_bad_depth[16] = 7;
  const struct {
    std::vector<uint8_t> head;
    bool picture;
  } cases[] = {
      {Bytes("\x89PNG\r\n\x1a\n"), true},
      {Bytes("\xFF\xD8\xFF\xE0"), true},
      {Bytes("GIF89a\x03\x00"), true},
      {Bytes("GIF87a\x03\x00"), true},
      {Bytes("BM\x46\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00"), true},
      {Bytes("P6\n4 3\n255\n"), true},
      {Bytes("P5 4 3 255\n"), true},
      {tga, true},
      {tga_bad_depth, false},
      {Bytes("P3\n4 3\n255\n"), false},  // plain-text colour map: not read
      {Bytes("\x89PNX\r\n\x1a\n"), false},
      {Bytes("GIF90a"), false},
      {Bytes("; an assembler fragment\r\n"), false},
      {Bytes("ORG 0x100\n"), false},
      {Bytes(""), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LooksLikePicture(c.head), c.picture) << std::string(c.head.begin(), c.head.end());
  }
}

// libjpeg-turbo and libspng decode JPEG and PNG, but for Windows, where stb does.
#ifdef _WIN32
constexpr bool kSystemDecoders = false;
#else
constexpr bool kSystemDecoders = true;
#endif

// A PNG with an IHDR chunk claiming the given size and nothing after it.
std::vector<uint8_t> PngHeader(uint32_t width, uint32_t height) {
  std::vector<uint8_t> png = Bytes("\x89PNG\r\n\x1a\n");
  const uint8_t ihdr[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  // Byte by byte: GCC 12 at -O3 misreads inserting a small array as an out-of-bounds copy.
  for (uint8_t b : ihdr) png.push_back(b);
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
  }
  const uint8_t rest[] = {8, 6, 0, 0, 0, 0, 0, 0, 0};  // depth, colour type, methods, CRC
  for (uint8_t b : rest) png.push_back(b);
  return png;
}

// png with an IDAT chunk of `size` zero bytes after its header (its CRC left wrong: the loader
// judges the size before any decoder reads it).
std::vector<uint8_t> WithIdat(std::vector<uint8_t> png, uint32_t size) {
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(size >> shift));
  for (char c : std::string("IDAT")) png.push_back(static_cast<uint8_t>(c));
  png.resize(png.size() + size + 4, 0);
  return png;
}

TEST(DecodePicture, RefusesBadInputWithItsCause) {
  Image big{64, 64, std::vector<uint8_t>(64 * 64 * 4, 99)};
  for (size_t k = 0; k < big.rgba.size(); ++k) big.rgba[k] = static_cast<uint8_t>(k * 7919 % 251);
  const auto png = EncodePng(big);
  const std::vector<uint8_t> truncated(png.begin(), png.begin() + png.size() / 2);
  auto wrong_magic = png;
  wrong_magic[1] = 'Q';
  std::vector<uint8_t> huge_jpeg = Bytes("\xFF\xD8\xFF\xC0\x00\x11\x08");
  for (uint8_t b : {0x4E, 0x20, 0x4E, 0x20, 3}) huge_jpeg.push_back(b);  // 20000 x 20000
  huge_jpeg.resize(40, 0);
  auto huge_bmp = Written("bmp", Sample4x3(false));
  for (int k = 0; k < 4; ++k) huge_bmp[18 + k] = huge_bmp[22 + k] = (0x4E20 >> (8 * k)) & 0xFF;
  // Bombs: headers claiming 10000 x 10000 pixels over a few bytes, or pixel data far larger
  // than a 1 x 1 picture takes.
  auto bmp_bomb = Written("bmp", Sample4x3(false));
  for (int k = 0; k < 4; ++k) bmp_bomb[18 + k] = bmp_bomb[22 + k] = (10000 >> (8 * k)) & 0xFF;
  auto gif_bomb = ReadFile(LEDWHEEL_IMAGING_TESTDATA "/two_frames.gif");
  gif_bomb[6] = gif_bomb[8] = 10000 & 0xFF, gif_bomb[7] = gif_bomb[9] = 10000 >> 8;
  std::vector<uint8_t> tga_bomb(34, 0x10);
  for (size_t k = 0; k < 18; ++k) tga_bomb[k] = 0;
  tga_bomb[2] = 2, tga_bomb[12] = tga_bomb[14] = 10000 & 0xFF;
  tga_bomb[13] = tga_bomb[15] = 10000 >> 8, tga_bomb[16] = 24;
  const auto png_bomb = WithIdat(PngHeader(10000, 10000), 1000);
  const auto png_flood = WithIdat(PngHeader(1, 1), 70'000);
  // Progressive, four components of full resolution: every coefficient held at once.
  std::vector<uint8_t> jpeg_bomb = Bytes("\xFF\xD8\xFF\xC2\x00\x14\x08\x27\x10\x27\x10\x04");
  for (uint8_t c = 1; c <= 4; ++c) {
    for (uint8_t b : {c, uint8_t{0x11}, uint8_t{0}}) jpeg_bomb.push_back(b);
  }
  jpeg_bomb.resize(300, 0);
  // As large as the decoder may go, decoded whole: over the memory limit.
  const auto png_over_memory = WithIdat(PngHeader(10000, 9000), 400'000);
  auto bmp_for_printers = Written("bmp", Sample4x3(false));
  bmp_for_printers[30] = 4;  // JPEG inside
  auto jpeg = Written("jpg", Sample4x3(false));
  jpeg.erase(jpeg.end() - 30, jpeg.end());  // cut inside the pixel data

  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string error;  // the start of the cause
  } cases[] = {
      {"truncated PNG", truncated, "damaged picture (PNG"},
      {"wrong magic", wrong_magic, "not a picture"},
      {"text", Bytes("hello, world\n"), "not a picture"},
      {"empty", {}, "not a picture"},
      {"PNG header of 20000 x 20000", PngHeader(20000, 20000),
       "picture of 20000 x 20000 pixels is over 100 megapixels"},
      {"PNG header of 4000000000 squared", PngHeader(4'000'000'000u, 4'000'000'000u),
       "picture of 4000000000 x 4000000000 pixels is over 100 megapixels"},
      {"PNG header of 4 x 3, no data", PngHeader(4, 3), "damaged picture (PNG"},
      {"GIF of 65535 x 65535", Bytes("GIF89a\xFF\xFF\xFF\xFF\xF0\x00\x00"),
       "picture of 65535 x 65535 pixels is over 100 megapixels"},
      {"JPEG of 20000 x 20000", huge_jpeg,
       "picture of 20000 x 20000 pixels is over 100 megapixels"},
      {"BMP of 20000 x 20000", huge_bmp, "picture of 20000 x 20000 pixels is over 100 megapixels"},
      {"PPM of 10001 x 10000", Bytes("P6 10001 10000 255\n"),
       "picture of 10001 x 10000 pixels is over 100 megapixels"},
      {"PPM cut short", Bytes("P6 3 2 255\n0123456789abcdef"), "damaged picture (PNM: truncated)"},
      {"16-bit PPM cut short", Bytes("P6\n3 2\n256\n0123456789abcdefg"),
       "damaged picture (PNM: truncated)"},
      {"PGM without its largest sample", Bytes("P5 3 2\n"),
       "damaged picture (PNM: incomplete header)"},
      {"PGM of largest sample 0", Bytes("P5 1 1 0\n\x01"),
       "damaged picture (PNM: largest sample 0 is not 1..65535)"},
      {"BMP bomb", bmp_bomb,
       "damaged picture (BMP: pixel data missing: 48 bytes for 10000 x 10000 pixels)"},
      {"GIF bomb", gif_bomb,
       "damaged picture (GIF: pixel data missing: 91 bytes for 10000 x 10000 pixels)"},
      {"TGA bomb", tga_bomb,
       "damaged picture (TGA: pixel data missing: 16 bytes for 10000 x 10000 pixels)"},
      {"PNG bomb", png_bomb,
       "damaged picture (PNG: pixel data missing: 1000 bytes for 10000 x 10000 pixels)"},
      {"PNG flood", png_flood,
       "damaged picture (PNG: 70000 bytes of pixel data for 1 x 1 pixels, far more than they "
       "take)"},
      {"progressive CMYK JPEG bomb", jpeg_bomb,
       "picture of 10000 x 10000 pixels needs 800 MB to decode, over the limit of 320 MB"},
      {"PNG over the memory limit", png_over_memory,
       std::string("picture of 10000 x 9000 pixels needs ") + (kSystemDecoders ? "360" : "1800") +
           " MB to decode, over the limit of 320 MB"},
      {"BMP holding a JPEG", bmp_for_printers, "unsupported picture (BMP: compression 4)"},
      {"BMP cut in its header", std::vector<uint8_t>(bmp_bomb.begin(), bmp_bomb.begin() + 40),
       "damaged picture (BMP: incomplete header)"},
      // The decoder's own words: libjpeg-turbo's, or stb's where it decodes JPEG.
      {"truncated JPEG", jpeg,
       kSystemDecoders ? "damaged picture (JPEG: Premature end of JPEG file)"
                       : "damaged picture (JPEG"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (std::optional<Fit> fit : {std::optional<Fit>(), std::optional<Fit>(Fit::kCover)}) {
      // A picture larger than the import needs is still refused when it is damaged.
      if (fit && std::string(c.name) == "PNG over the memory limit") continue;
      Image out;
      std::string error;
      EXPECT_FALSE(DecodePicture(c.bytes, &out, &error, {.for_import = fit}));
      EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
      EXPECT_TRUE(out.rgba.empty());
    }
  }
}

// Random damage to every format: the loader answers, true or false, and never crashes.
TEST(DecodePicture, SurvivesMangledFiles) {
  std::vector<std::vector<uint8_t>> seeds;
  for (const char* f : {"png", "bmp", "tga", "ppm", "jpg"})
    seeds.push_back(Written(f, Sample4x3(true)));
  seeds.push_back(ReadFile(LEDWHEEL_IMAGING_TESTDATA "/two_frames.gif"));
  std::mt19937 random(12345);
  int decoded = 0;
  for (const auto& seed : seeds) {
    for (int round = 0; round < 250; ++round) {
      auto bytes = seed;
      const int edits = 1 + static_cast<int>(random() % 4);
      for (int e = 0; e < edits && !bytes.empty(); ++e) {
        const size_t at = random() % bytes.size();
        switch (random() % 3) {
          case 0:
            bytes[at] = static_cast<uint8_t>(random());
            break;
          case 1:
            bytes.resize(at);
            break;
          default:
            bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         static_cast<uint8_t>(random()));
        }
      }
      Image out;
      std::string error;
      if (DecodePicture(bytes, &out, &error)) {
        ++decoded;
        ASSERT_GT(out.width, 0);
        ASSERT_GT(out.height, 0);
        ASSERT_EQ(out.rgba.size(), static_cast<size_t>(out.width) * out.height * 4);
      } else {
        ASSERT_FALSE(error.empty());
      }
    }
  }
  EXPECT_GT(decoded, 0);  // some damage is harmless: the test does reach the decoder
}

}  // namespace
}  // namespace imaging

namespace imaging {
namespace {

// The picture every seed in testdata/fuzz_seeds from f_ on is an encoding of: a gradient with
// a yellow rectangle, 24 x 16 (in grey: ITU-R 601 luma, as the grey JPEG's writer made it).
int SeedPicture(int32_t x, int32_t y, int channel, bool grey) {
  int rgb[3] = {x * 10, y * 15, 200 - x * 5};
  if (x >= 4 && x <= 12 && y >= 4 && y <= 10) rgb[0] = rgb[1] = 255, rgb[2] = 0;
  if (grey) return static_cast<int>(0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2] + 0.5);
  return rgb[channel];
}

TEST(DecodePicture, ReadsProgressiveCmykPaletteInterlacedAndRunLengthPictures) {
  const struct {
    const char* file;
    double tolerance;  // mean difference a channel: 0 for the lossless encodings
    bool grey;
  } cases[] = {
      {"f_original.png", 0, false},        {"g_progressive.jpg", 25, false},
      {"h_progressive_444.jpg", 5, false}, {"i_cmyk_progressive.jpg", 3, false},
      {"j_grey_progressive.jpg", 3, true}, {"k_palette.png", 20, false},
      {"l_rle8.bmp", 20, false},           {"m_interlaced.png", 0, false},
      {"n_16bit.png", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const auto bytes = ReadFile(std::string(LEDWHEEL_IMAGING_TESTDATA "/fuzz_seeds/") + c.file);
    Image out;
    std::string error;
    ASSERT_TRUE(DecodePicture(bytes, &out, &error)) << error;
    ASSERT_EQ(out.width, 24);
    ASSERT_EQ(out.height, 16);
    double difference[3] = {};
    for (int32_t y = 0; y < 16; ++y) {
      for (int32_t x = 0; x < 24; ++x) {
        for (int ch = 0; ch < 3; ++ch) {
          difference[ch] +=
              std::abs(out.rgba[(y * 24 + x) * 4 + ch] - SeedPicture(x, y, ch, c.grey)) /
              (24.0 * 16);
        }
        ASSERT_EQ(out.rgba[(y * 24 + x) * 4 + 3], 255);
      }
    }
    for (double d : difference) {
      EXPECT_LE(d, c.tolerance);
    }
  }
}

// A run-length encoded BMP 4 pixels wide with the palette black, red, green, blue (indices 0
// to 3) and the given codes.
std::vector<uint8_t> RleBmp(int32_t depth, int32_t height, std::vector<uint8_t> codes) {
  std::vector<uint8_t> b = Bytes("BM");
  auto le = [&b](uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
  };
  const uint32_t offset = 14 + 40 + 4 * 4;
  le(offset + static_cast<uint32_t>(codes.size()), 4), le(0, 4), le(offset, 4);
  le(40, 4), le(4, 4), le(static_cast<uint32_t>(height), 4), le(1, 2), le(depth, 2);
  le(depth == 8 ? 1 : 2, 4), le(static_cast<uint32_t>(codes.size()), 4);
  le(0, 4), le(0, 4), le(4, 4), le(0, 4);  // resolution, colours used and important
  for (uint32_t rgb : {0x000000u, 0xFF0000u, 0x00FF00u, 0x0000FFu}) le(rgb, 4);
  b.insert(b.end(), codes.begin(), codes.end());
  return b;
}

TEST(DecodePicture, ReadsRunLengthEncodedBmp) {
  // Rows top down, a letter a pixel: K black, R red, G green, B blue, . skipped (transparent).
  const struct {
    const char* name;
    int32_t depth, height;
    std::vector<uint8_t> codes;
    const char* rows;  // or the start of the cause
    bool ok;
  } cases[] = {
      {"runs, bottom row first",
       8,
       3,
       {4, 1, 0, 0, 2, 2, 2, 3, 0, 0, 4, 0, 0, 1},
       "KKKK GGBB RRRR",
       true},
      {"absolute run, padded", 8, 1, {0, 3, 3, 2, 1, 0, 1, 0, 0, 1}, "BGRK", true},
      {"move, then the end", 8, 2, {1, 1, 0, 2, 2, 1, 1, 3, 0, 1}, "...B R...", true},
      {"no end marker after the last row", 8, 1, {4, 2, 0, 0}, "GGGG", true},
      {"top-down", 8, -2, {4, 1, 0, 0, 4, 3, 0, 1}, "RRRR BBBB", true},
      {"4 bits: runs alternate", 4, 1, {4, 0x12, 0, 0, 0, 1}, "RGRG", true},
      {"4 bits: absolute run", 4, 1, {0, 3, 0x31, 0x20, 0, 1}, "BRG.", true},
      {"index past the palette", 8, 1, {1, 9, 3, 1, 0, 1}, "KRRR", true},
      {"cut short", 8, 2, {4, 1, 0, 0, 2}, "damaged picture (BMP: pixel data cut short)", false},
      {"absolute run cut short",
       8,
       1,
       {0, 4, 1, 1},
       "damaged picture (BMP: pixel data cut short)",
       false},
      {"wrong depth", 16, 1, {0, 1}, "damaged picture (BMP: RLE8 of 16 bits a pixel)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = RleBmp(c.depth, c.height, c.codes);
    if (c.depth == 16) bytes[30] = 1;  // RLE8 claimed over 16 bits a pixel
    Image out;
    std::string error;
    ASSERT_EQ(DecodePicture(bytes, &out, &error), c.ok) << error;
    if (!c.ok) {
      EXPECT_EQ(error, c.rows);
      continue;
    }
    std::string rows;
    for (int32_t y = 0; y < out.height; ++y) {
      if (y > 0) rows += ' ';
      for (int32_t x = 0; x < out.width; ++x) {
        const uint8_t* p = &out.rgba[(y * out.width + x) * 4];
        rows += p[3] == 0 ? '.' : p[0] ? 'R' : p[1] ? 'G' : p[2] ? 'B' : 'K';
      }
    }
    EXPECT_EQ(rows, c.rows);
  }
}

TEST(Linear16ToSrgb, GivesTheNearestSrgbValue) {
  double linear[256];
  for (int k = 0; k < 256; ++k) linear[k] = SrgbToLinear(k / 255.0) * 65535;
  for (uint32_t v = 0; v <= 65535; ++v) {
    const double* nearest =
        std::min_element(std::begin(linear), std::end(linear),
                         [v](double a, double b) { return std::abs(a - v) < std::abs(b - v); });
    // Halfway between two values either is nearest.
    const int got = decoders::Linear16ToSrgb(v);
    ASSERT_NEAR(std::abs(linear[got] - v), std::abs(*nearest - v), 1e-9) << v;
  }
  for (int k = 0; k < 256; ++k) {
    ASSERT_EQ(decoders::Linear16ToSrgb(decoders::SrgbToLinear16(static_cast<uint8_t>(k))), k);
  }
}

// A photograph's kind of picture: smooth colour gradients, rings, a sharp-edged square and a
// fine texture.
Image Scene(int32_t width, int32_t height) {
  Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
  uint32_t noise = 7;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      uint8_t* p = &image.rgba[(static_cast<size_t>(y) * width + x) * 4];
      const double r = std::hypot(x - width / 2.0, y - height / 2.0);
      const bool square =
          std::abs(x - width / 3) < width / 8 && std::abs(y - height / 3) < width / 8;
      p[0] = static_cast<uint8_t>(square ? 250 : 255 * x / width);
      p[1] = static_cast<uint8_t>(square ? 240 : 40 + 150 * y / height + ((noise >> 24) & 15));
      p[2] = static_cast<uint8_t>(128 + 100 * std::sin(r / (width / 40.0)));
      p[3] = 255;
    }
  }
  return image;
}

std::vector<uint8_t> Jpeg(const Image& image) {
  std::vector<uint8_t> out;
  stbi_write_jpg_to_func(Append, &out, image.width, image.height, 4, image.rgba.data(), 95);
  return out;
}

TEST(DecodePicture, ForAnImportDecodesNoFinerThanTheImportLooksAndTheLightStays) {
  // Pictures whose import averages 1 to 5 pixels across (contained, a long picture's diagonal
  // sets it). JPEG comes at the smallest DCT scale whose blocks meet at the centre and leave the
  // import's reduction at most a quarter coarser (3: none; 5: by 2, then 3, for 6), where the
  // system's decoder scales; PNG reduced by all of it in linear light; the rest whole.
  // The wheel's light, and the intensities rounded from it, are those of the whole picture
  // within the decoders' rounding. JPEG's DCT scaling averages the encoded values, which
  // darkens a reduced pixel across a sharp edge between bright and dark (sRGB 250 beside 100:
  // a fifth), as a sector on such an edge shows; over the wheel the light is the same.
  const struct {
    const char* format;
    int32_t width, height;
    ImportOptions options;
    int32_t scale;
    double most;  // the most any LED's light may differ
  } cases[] = {
      {"png", 900, 900, {.invert = true}, 2, 0.002},
      {"png", 1700, 301, {.fit = Fit::kContain, .mirror = true}, 3, 0.002},
      {"png", 600, 100, {.fit = Fit::kContain}, 1, 0.002},
      {"jpg", 900, 900, {}, 2, 0.06},
      {"jpg", 1700, 300, {.fit = Fit::kContain}, 1, 0.002},
      {"jpg", 2600, 400, {.fit = Fit::kContain, .rotate_degrees = 30}, 4, 0.06},
      {"jpg", 2600, 404, {.fit = Fit::kContain}, 2, 0.06},
      {"jpg", 3600, 600, {.fit = Fit::kContain}, 2, 0.06},
      {"bmp", 1000, 200, {.fit = Fit::kContain}, 1, 0.002},
  };
  auto led_whole = std::make_unique<wheel::LedArray>();
  auto led_reduced = std::make_unique<wheel::LedArray>();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.format << " " << c.width << " x " << c.height);
    const Image scene = Scene(c.width, c.height);
    const std::vector<uint8_t> bytes =
        std::string(c.format) == "jpg" ? Jpeg(scene) : Written(c.format, scene);
    Image whole, reduced;
    std::string error;
    ASSERT_TRUE(DecodePicture(bytes, &whole, &error)) << error;
    ASSERT_TRUE(DecodePicture(bytes, &reduced, &error, {.for_import = c.options.fit})) << error;
    // stb, where it decodes PNG and JPEG, decodes them whole.
    const int32_t scale = std::string(c.format) != "bmp" && !kSystemDecoders ? 1 : c.scale;
    const int32_t lead_x = decoders::Lead(c.width, scale), lead_y = decoders::Lead(c.height, scale);
    EXPECT_EQ(whole.scale, 1);
    EXPECT_EQ(reduced.scale, scale);
    EXPECT_EQ(reduced.FullWidth(), c.width);
    EXPECT_EQ(reduced.FullHeight(), c.height);
    EXPECT_EQ(reduced.lead_x, lead_x);
    EXPECT_EQ(reduced.lead_y, lead_y);
    EXPECT_EQ(reduced.width, (c.width + lead_x + scale - 1) / scale);
    EXPECT_EQ(reduced.height, (c.height + lead_y + scale - 1) / scale);
    const WheelSampler from_whole(whole, c.options);
    const WheelSampler from_reduced(reduced, c.options);
    ImportOptions rounded = c.options;
    rounded.dither = false;
    for (int32_t n : {48, 256}) {
      const LightMap a = from_whole.Sample(n);
      const LightMap b = from_reduced.Sample(n);
      Quantize(a, rounded, *led_whole);
      Quantize(b, rounded, *led_reduced);
      double most = 0, mean = 0;
      int32_t differing = 0;
      for (int32_t j = 0; j < n; ++j) {
        for (int32_t i = 0; i < wheel::kLedsPerSpoke; ++i) {
          const double d = std::abs(a[j][i] - b[j][i]);
          most = std::max(most, d);
          mean += d / (n * wheel::kLedsPerSpoke);
          differing += (*led_whole)[j + 1][i + 1].toestand != (*led_reduced)[j + 1][i + 1].toestand;
        }
      }
      EXPECT_LT(most, c.most) << n << " positions";
      EXPECT_LT(mean, 0.001) << n << " positions";
      // Only an LED whose light lies within that of a level's boundary may round otherwise.
      EXPECT_LE(differing, n * wheel::kLedsPerSpoke / 200) << n << " positions";
    }
  }
}

// A file read on in pieces of uneven size, as a pipe gives them, after a head of `head` bytes;
// reading on past `fails_at` bytes throws.
class Pieces final : public PictureInput {
 public:
  Pieces(std::vector<uint8_t> bytes, size_t head, size_t fails_at = SIZE_MAX)
      : bytes_(std::move(bytes)), at_(std::min(head, bytes_.size())), fails_at_(fails_at) {}
  std::span<const uint8_t> Head() const override { return {bytes_.data(), head_}; }
  size_t ReadOn(uint8_t* into, size_t n) override {
    if (at_ >= fails_at_) throw std::runtime_error("read failed");
    const size_t sizes[] = {1, 4093, 7, 65536, 20000};
    n = std::min({n, bytes_.size() - at_, sizes[++reads_ % 5]});
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), n, into);
    at_ += n;
    return n;
  }
  std::vector<uint8_t> ReadWhole() override {
    if (fails_at_ < bytes_.size()) throw std::runtime_error("read failed");
    return bytes_;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t at_;
  size_t head_ = at_;
  size_t fails_at_;
  size_t reads_ = 0;
};

uint32_t Crc(const uint8_t* bytes, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t k = 0; k < n; ++k) {
    crc ^= bytes[k];
    for (int b = 0; b < 8; ++b) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutChunk(std::vector<uint8_t>* png, const char* type, const uint8_t* data, size_t n) {
  const size_t at = png->size();
  for (int shift = 24; shift >= 0; shift -= 8) png->push_back(static_cast<uint8_t>(n >> shift));
  png->insert(png->end(), type, type + 4);
  png->insert(png->end(), data, data + n);
  const uint32_t crc = Crc(png->data() + at + 4, n + 4);
  for (int shift = 24; shift >= 0; shift -= 8) png->push_back(static_cast<uint8_t>(crc >> shift));
}

// png, one IDAT chunk, with its pixel data in chunks of `size` bytes, and `extra` bytes more of
// it after the picture's. at[k] is where the k-th IDAT's checksum begins.
std::vector<uint8_t> Rechunked(const std::vector<uint8_t>& png, size_t size, size_t extra,
                               std::vector<size_t>* at) {
  std::vector<uint8_t> out(png.begin(), png.begin() + 33);  // signature and IHDR
  const size_t length = (size_t{png[33]} << 24) | (png[34] << 16) | (png[35] << 8) | png[36];

  for (size_t k = 0; k < length; k += size) {
    PutChunk(&out, "IDAT", &png[41 + k], std::min(size, length - k));
    at->push_back(out.size() - 4);
  }
  const std::vector<uint8_t> zeros(size);
  for (size_t k = 0; k < extra; k += size) {
    PutChunk(&out, "IDAT", zeros.data(), std::min(size, extra - k));
  }
  PutChunk(&out, "IEND", nullptr, 0);
  return out;
}

TEST(DecodePicture, AsItIsReadGivesWhatTheWholeFileGives) {
  // Large enough for the import to reduce it, so that it is decoded as it is read.
  const std::vector<uint8_t> png = Written("png", Scene(900, 900));
  std::vector<size_t> at;
  const std::vector<uint8_t> chunked = Rechunked(png, 8192, 0, &at);
  auto flip = [](std::vector<uint8_t> bytes, size_t k) {
    bytes[k] ^= 0x40;
    return bytes;
  };
  std::vector<uint8_t> broken = png;
  std::fill_n(broken.begin() + static_cast<std::ptrdiff_t>(png.size() / 2), 64, 0xFF);
  std::vector<uint8_t> junk_after = png;
  junk_after.insert(junk_after.end(), 100, 'x');
  std::vector<size_t> unused;
  const size_t idat = (size_t{png[33]} << 24) | (png[34] << 16) | (png[35] << 8) | png[36];
  const std::string damaged = "damaged picture (PNG: ";
  // stb, where there is no libspng, never looks at checksums.
  const std::string wrong_sum =
      decoders::PngDecodesAsRead() ? damaged + "invalid chunk checksum)" : "";

  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string error;  // the start of the cause; empty: decoded
  } cases[] = {
      {"one IDAT chunk", png, ""},
      {"IDAT chunks of 8 KB", chunked, ""},
      {"bytes after IEND", junk_after, ""},
      {"a middle IDAT's checksum wrong", flip(chunked, at[at.size() / 2]), wrong_sum},
      // As ever: the decoder stops at the end of the pixel data, before the last checksum.
      {"the last IDAT's checksum wrong", flip(chunked, at.back()), ""},
      {"IHDR's checksum wrong", flip(png, 29), wrong_sum},
      {"pixel data broken", broken, damaged},
      {"cut short", std::vector<uint8_t>(png.begin(), png.end() - 5000), damaged},
      {"pixel data far more than the rows take", Rechunked(png, 1 << 16, 4'000'000, &unused),
       damaged + std::to_string(idat + 4'000'000) +
           " bytes of pixel data for 900 x 900 pixels, far more than they take)"},
      {"a bomb", WithIdat(PngHeader(10000, 10000), 1000),
       damaged + "pixel data missing: 1000 bytes for 10000 x 10000 pixels)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodeOptions options{.for_import = Fit::kCover};
    Image whole;
    std::string whole_error;
    const bool whole_ok = DecodePicture(c.bytes, &whole, &whole_error, options);
    EXPECT_EQ(whole_ok, c.error.empty()) << whole_error;
    EXPECT_EQ(whole_error.substr(0, c.error.size()), c.error);
    for (size_t head : {size_t{40}, size_t{65536}}) {
      Pieces input(c.bytes, head);
      Image read;
      std::string read_error;
      EXPECT_EQ(DecodePicture(input, &read, &read_error, options), whole_ok) << head;
      EXPECT_EQ(read_error, whole_error) << head;
      EXPECT_EQ(read.scale, whole.scale) << head;
      EXPECT_EQ(read.width, whole.width) << head;
      EXPECT_TRUE(read.rgba == whole.rgba) << head;
    }
  }
  // A failed read is the reader's, whether the decoder or the count after it comes to it.
  for (size_t fails_at : {size_t{100'000}, png.size() - 5}) {
    Pieces input(png, 40, fails_at);
    Image read;
    std::string error;
    EXPECT_THROW(DecodePicture(input, &read, &error, {.for_import = Fit::kCover}),
                 std::runtime_error);
    EXPECT_TRUE(read.rgba.empty());
  }
}

}  // namespace
}  // namespace imaging
