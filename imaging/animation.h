// Moving pictures: the frames of an animated GIF composed as a viewer shows them, and animated
// PNGs written frame by frame.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "imaging/imaging.h"

namespace imaging {

// True when the bytes begin as a GIF does.
bool IsGif(std::span<const uint8_t> head);

// A GIF's layout, read without decoding its pixels.
struct GifInfo {
  int32_t width = 0;  // the canvas every frame is shown on
  int32_t height = 0;
  // How long each frame stays, as browsers play it: a delay of 0 or 10 ms is 100 ms.
  std::vector<int32_t> delays_ms;
};

// Reads the GIF's blocks. On failure returns false with the cause alone in *error, as
// DecodePicture words it: a damaged file, a canvas or frame over kMaxPixels, more than kMaxFrames
// frames, or more than kMaxAnimationPixels in all. Any thread.
bool ScanGif(std::span<const uint8_t> bytes, GifInfo* info, std::string* error);

// Called with each frame in order: its number from 0, the whole canvas as it stands while the
// frame shows, and the frame's delay. Returns false to stop decoding.
using GifFrameSink = std::function<bool(int32_t frame, const Image& canvas, int32_t delay_ms)>;

// Decodes every frame of a GIF onto its canvas as a viewer does: the canvas starts transparent,
// a frame's transparent pixels keep what lies beneath, and after a frame its disposal clears its
// rectangle to transparent (2), puts back what was there before it (3) or leaves it (others).
// ScanGif's checks come first, so a refused file reaches the sink with nothing. Memory stays
// within about 8 bytes a canvas pixel, whatever the number of frames. Returns false with the
// cause in *error; true also when the sink stopped early.
bool DecodeGif(std::span<const uint8_t> bytes, const GifFrameSink& sink, std::string* error);

// Writes an animated PNG frame by frame: every frame the size of the first, shown for its own
// time, and the whole played in an endless loop. Viewers without animation show the first frame.
// The bytes go to the sink as they are made; one frame's PNG is held at a time.
class ApngWriter {
 public:
  using Sink = std::function<void(std::span<const uint8_t>)>;

  // REQUIRES: frames >= 1.
  ApngWriter(int32_t frames, Sink sink);

  // Adds the next frame, shown for `seconds` (rounded to what the format holds, at least 1 ms).
  // The file is complete after the last. REQUIRES: fewer than `frames` added before; the first
  // frame's size, and both sides >= 1.
  void Add(const Image& image, double seconds);

 private:
  void WriteChunk(const char* type, std::span<const uint8_t> data);

  int32_t frames_;
  int32_t added_ = 0;
  uint32_t sequence_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  Sink sink_;
};

// A frame's time as APNG's fraction of a second, numerator and denominator each at most 65535,
// within a millisecond (within 1 % past 65 s).
struct FrameDelay {
  uint16_t numerator = 0;
  uint16_t denominator = 1;
};
FrameDelay ApngDelay(double seconds);

}  // namespace imaging
