// Pictures to wheels and back: the picture loader, the import (area-averaged, error-diffused) and
// the renderings of a wheel (the long exposure of the turning wheel, and the editor's preview).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "wheel/wheel.h"

namespace imaging {

// 8-bit sRGB with straight alpha, row-major, 4 bytes a pixel, no padding.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;
  // A picture decoded reduced for an import: each pixel stands for scale x scale pixels of the
  // picture, which is full_width x full_height, laid out from the picture's centre: the first
  // column and row stand for lead_x and lead_y fewer, the last for what is left over.
  // 1, 0 x 0 and no lead: the pixels are the picture's own.
  int32_t scale = 1;
  int32_t full_width = 0;
  int32_t full_height = 0;
  int32_t lead_x = 0;
  int32_t lead_y = 0;

  int32_t FullWidth() const { return full_width > 0 ? full_width : width; }
  int32_t FullHeight() const { return full_height > 0 ? full_height : height; }
};

// The limits on pictures, shared by every decoder.
// Larger pictures are refused from their header, before they are decoded.
constexpr int64_t kMaxPixels = 100'000'000;
// The most memory a decoder may take for one picture, the decoded pixels included: any picture
// the wheel can use fits (an import decodes large pictures reduced), bombs are refused before
// anything is allocated.
constexpr int64_t kMaxDecodeBytes = 320'000'000;
// What the most compressible pixel data of each format holds per byte, with room to spare: a
// header claiming more than its file could hold is missing its pixel data.
constexpr int64_t kMaxDeflateRatio = 1032;       // PNG: bytes of rows per byte of its data
constexpr int64_t kMaxGifPixelsPerByte = 4096;   // a 4096-pixel string for every code
constexpr int64_t kMaxTgaRlePixelsPerByte = 64;  // 128 pixels for a packet of 2 bytes

// Animations with more frames are refused: no wheel holds as many (8 program words a position).
constexpr int32_t kMaxFrames = 1000;
// Nor more pixels in all, each frame's canvas and its own picture counted: a few hundred bytes of
// GIF can repeat a large frame many times, and every frame costs time in proportion.
constexpr int64_t kMaxAnimationPixels = 1'000'000'000;

// True when the first bytes of a file are those of a picture format the loader reads
// (PNG, JPEG, BMP, GIF, PNM; TGA, which has no signature, when its header is consistent).
bool LooksLikePicture(std::span<const uint8_t> head);

enum class Fit {
  kCover,    // the picture's inscribed circle fills the wheel
  kContain,  // the whole picture lies inside the wheel
};

struct DecodeOptions {
  // Decoding for an import with this fit: a picture finer than the import looks is decoded
  // reduced (JPEG at a smaller DCT scale, PNG averaged in linear light as it is decoded), which
  // the import sees as the same light. Without it every picture is decoded whole, and refused
  // when that would take more than kMaxDecodeBytes.
  std::optional<Fit> for_import;
};

// Decodes a picture file held in memory (the first frame of a GIF). On failure returns false and
// sets *error to the cause alone, e.g. "not a picture", "damaged picture (...)",
// "picture of 20000 x 20000 pixels is over 100 megapixels". Any thread.
bool DecodePicture(std::span<const uint8_t> bytes, Image* out, std::string* error,
                   const DecodeOptions& options = {});

// A picture file being read: its first bytes in memory, the rest read as a decoder asks for
// them, so that a large picture need not be held whole.
class PictureInput {
 public:
  virtual ~PictureInput() = default;
  // The bytes read first: the whole file, or at least its first 64 KB.
  virtual std::span<const uint8_t> Head() const = 0;
  // Reads up to n of the bytes after the head and those read on before into `into`: how many,
  // 0 at the end. May throw (a read error, a file over its bound).
  virtual size_t ReadOn(uint8_t* into, size_t n) = 0;
  // The head and all the rest of the file. Only when nothing was read on.
  virtual std::vector<uint8_t> ReadWhole() = 0;
};

// DecodePicture of a file as it is read: a PNG decoded reduced for an import is decoded while it
// is read, never held whole; any other picture is read whole first. The answer, the picture or
// the refusal, is DecodePicture's of the whole file; what the input throws passes through, as it
// would from reading the file whole. Any thread.
bool DecodePicture(PictureInput& input, Image* out, std::string* error,
                   const DecodeOptions& options = {});

// PNG bytes of the picture.
std::vector<uint8_t> EncodePng(const Image& image);

// The light of intensity 0..4 relative to intensity 4: the share of a position's step in which
// the firmware keeps the LED lit. Import and rendering use the same table.
using Levels = std::array<double, 5>;
constexpr Levels kReferenceLevels = {0.0, 0.01, 1.0 / 3.0, 2.0 / 3.0, 1.0};

// Parses "L1,L2,L3,L4" (each in 0..1, rising). On failure returns false with the cause in *error.
bool ParseLevels(std::string_view text, Levels* out, std::string* error);

struct ImportOptions {
  Fit fit = Fit::kCover;
  double rotate_degrees = 0.0;  // clockwise
  bool mirror = false;          // left and right swapped
  bool invert = false;          // dark artwork on light paper
  bool dither = true;           // error diffusion; false rounds to the nearest level
  Levels levels = kReferenceLevels;
};

// Mean linear light (0..1) of each LED's ring sector: light[q - 1][i - 1] for position q, LED i.
using LightMap = std::vector<std::array<float, wheel::kLedsPerSpoke>>;

// Samples one picture at any number of positions; the costly work (decoding sRGB, the polar
// resampling) is done once in the constructor, so a search over N stays cheap.
class WheelSampler {
 public:
  WheelSampler(const Image& image, const ImportOptions& options);
  ~WheelSampler();
  WheelSampler(const WheelSampler&) = delete;
  WheelSampler& operator=(const WheelSampler&) = delete;

  // REQUIRES: 1 <= positions <= 500.
  LightMap Sample(int32_t positions) const;

 private:
  struct State;
  State* state_;
};

// Reduces the light to intensities in led[1..positions][1..24] (the rest untouched).
// REQUIRES: light.size() == positions, 1..500.
void Quantize(const LightMap& light, const ImportOptions& options, wheel::LedArray& led);

enum class View {
  kSpin,    // a long exposure of the turning wheel
  kEditor,  // the editor's preview: lit LEDs as discs in their colours
};

struct RenderOptions {
  View view = View::kSpin;
  int32_t size = 800;          // the picture's side; the wheel's edge touches its sides
  uint32_t colour = 0xFF0000;  // RRGGBB of the spin view's LEDs
  Levels levels = kReferenceLevels;
};

// REQUIRES: 1 <= positions <= 500, options.size >= 1.
Image Render(const wheel::LedArray& led, int32_t positions, const RenderOptions& options);

// The picture laid under the editor's wheel as the import maps it onto the LEDs (fit, rotation,
// mirror), for painting details by hand: w.screen_size_x by w.screen_size_y pixels 0x00RRGGBB,
// row by row. Each LED is drawn at the start of its position's sector, so the picture is turned
// back by half a step: what lies under an LED is the middle of what the import gives it. Only
// the rings' annulus is shown, at brightness times the picture's own (over black where it is
// transparent); the rest is black. REQUIRES: the sizes and aantal_hoeken of w set,
// 0 <= brightness <= 1.
std::vector<uint32_t> EditorUnder(const Image& image, const ImportOptions& options,
                                  const wheel::Wheel& w, double brightness);

}  // namespace imaging
