// Tests of the picture loader: every format, the damaged and oversized pictures, and inputs
// mangled at random.
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <fstream>
#include <iterator>
#include <random>

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

// A PNG with an IHDR chunk claiming the given size and nothing after it.
std::vector<uint8_t> PngHeader(uint32_t width, uint32_t height) {
  std::vector<uint8_t> png = Bytes("\x89PNG\r\n\x1a\n");
  const uint8_t ihdr[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  png.insert(png.end(), std::begin(ihdr), std::end(ihdr));
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
  }
  const uint8_t rest[] = {8, 6, 0, 0, 0, 0, 0, 0, 0};  // depth, colour type, methods, CRC
  png.insert(png.end(), std::begin(rest), std::end(rest));
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
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Image out;
    std::string error;
    EXPECT_FALSE(DecodePicture(c.bytes, &out, &error));
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
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
