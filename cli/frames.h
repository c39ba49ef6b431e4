// Several files as the frames of one animation, shared by the commands that take FILE...: IM.txt
// files and pictures, an animated GIF giving one frame per GIF frame, all at one number of
// positions; and the whole turns each frame shows on the wheel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/load.h"
#include "cli/options.h"
#include "wheel/wheel.h"

namespace CLI {
class App;
}

namespace cli {

// --speed: the wheel's turns per second, which turn a frame's delay into whole turns
// (limits::kSpeed).
constexpr double kDefaultSpeed = 10.0;
// The most turns a frame shows, by --turns-per-frame or by its delay.
constexpr int32_t kMaxTurnsPerFrame = static_cast<int32_t>(limits::kTurnsPerFrame.max);
// How long a frame without a delay of its own (an IM.txt, a still picture) shows.
constexpr int32_t kStillFrameMs = 1000;

struct Frame {
  std::unique_ptr<wheel::LedArray> led = std::make_unique<wheel::LedArray>();
  std::string file;            // the file it came from
  int32_t number = 1;          // its frame in that file, from 1
  int32_t frames_in_file = 1;  // how many frames that file gives
  int32_t delay_ms = 0;        // a GIF frame's delay as browsers play it; 0: none of its own
  bool from_picture = false;   // imported (a picture, or an IM.txt at another N)

  // The file, quoted as messages quote it, with "frame K" after it when the file gives several.
  std::string Name() const;
};

struct LoadedFrames {
  std::vector<Frame> frames;  // the files' order, a GIF's frames in its own order
  int32_t positions = 0;      // every frame's N; led[1..positions] of each is set
};

// How the automatic N is chosen, when pictures have no -n and no IM.txt names one (or -n auto).
struct AutoPositionsRule {
  // The most positions tried for this many frames together (what the wheel's memory holds, say);
  // taken within 1..500.
  std::function<int32_t(int32_t frames)> most;
  // Why one frame's wheel at n positions will not do, "" when it will. Empty: every n will.
  // The largest n that does for every frame is chosen.
  std::function<std::string(const wheel::LedArray& led, int32_t n)> refuse;
  // The line said on standard error about the choice, after "ledwheel: FILES: ".
  std::function<std::string(int32_t n, const LoadedFrames& loaded)> note;
};

// The IM.txt rule (import, edit, render): the most N up to 256 at which every frame's IM.txt fits
// --budget words (the reference firmware's room for the fragment by default).
AutoPositionsRule ImTxtRule(const SourceOptions& options);

// Adds FILE..., one or more, to a command.
void AddFilesOption(CLI::App& command, std::vector<std::string>* files);

// Reads every file and makes its frames; writes nothing. All frames get one N:
// - -n N: that N; IM.txt files of another N are resampled, as one FILE is;
// - no -n: an IM.txt's own, which every IM.txt must have (else a FileError naming the first that
//   differs); pictures take it, said on standard error;
// - no -n and no IM.txt, or -n auto: rule's, said on standard error.
// A single file of one frame gives exactly what LoadWheel gives. Throws FileError, naming the
// file, for the first file that is missing, unreadable, damaged or too large, for an N that
// does not agree, when no N suits every frame, and past kMaxFrames frames in all. Only one
// frame's picture is held at a time, besides the files' bytes. REQUIRES: files not empty.
LoadedFrames LoadFrames(const std::vector<std::string>& files, const SourceOptions& options,
                        const AutoPositionsRule& rule);

// --speed and --turns-per-frame.
struct FrameTiming {
  double speed = kDefaultSpeed;  // turns per second
  int32_t turns_per_frame = 0;   // 0: each frame's delay at the speed
};

// Adds --speed TURNS_PER_S and --turns-per-frame K to a command.
void AddTimingOptions(CLI::App& command, FrameTiming* timing);

// The whole turns each frame shows: --turns-per-frame, or its delay (kStillFrameMs for a frame
// without one) at the speed, rounded, 1..kMaxTurnsPerFrame. A delay cut to kMaxTurnsPerFrame is
// said on standard error.
std::vector<int32_t> TurnsPerFrame(const LoadedFrames& loaded, const FrameTiming& timing);

}  // namespace cli
