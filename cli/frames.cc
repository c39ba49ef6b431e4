// Several files as the frames of one animation: read whole first, then sampled one frame at a
// time, so an animation's memory is its wheels and files, never all its pictures.
#include "cli/frames.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cassert>
#include <cmath>
#include <sstream>
#include <string_view>

#include "cli/cli.h"
#include "cli/files.h"
#include "firmware/reference_firmware.h"
#include "imaging/animation.h"
#include "imtxt/fragment_words.h"
#include "imtxt/im_reader.h"

namespace cli {
namespace {

enum class Kind { kIm, kPicture, kAnimation };

// One file, read and checked, its pictures not yet decoded.
struct Input {
  std::string file;
  Kind kind = Kind::kPicture;
  std::vector<uint8_t> bytes;            // a picture's, decoded when its frames are wanted
  std::unique_ptr<wheel::LedArray> im;   // an IM.txt's wheel
  int32_t im_positions = 0;              // and its N
  std::vector<int32_t> delays_ms = {0};  // one a frame
  size_t first = 0;                      // its first frame among all
  int32_t frames() const { return static_cast<int32_t>(delays_ms.size()); }
};

Input Read(const std::string& file) {
  Input in;
  in.file = file;
  in.bytes = ReadWheelFile(file);
  const std::string_view text =
      WithoutBom({reinterpret_cast<const char*>(in.bytes.data()), in.bytes.size()});
  if (imtxt::LooksLikeIm(text)) {
    in.kind = Kind::kIm;
    in.im = std::make_unique<wheel::LedArray>();
    imtxt::ImInfo info;
    std::string error;
    if (!imtxt::ReadIm(text, *in.im, &info, &error)) throw FileError(file, error);
    in.im_positions = info.positions;
    in.bytes.clear();
    return in;
  }
  if (imaging::IsGif(in.bytes)) {
    imaging::GifInfo info;
    std::string error;
    if (!imaging::ScanGif(in.bytes, &info, &error)) throw FileError(file, error);
    // One frame is read as any picture is, as it always was.
    if (info.delays_ms.size() > 1) {
      in.kind = Kind::kAnimation;
      in.delays_ms = info.delays_ms;
    }
    return in;
  }
  return in;
}

// Calls use(k, light) for the frames k of the input that want(k) selects, in order.
void ForEachLight(const Input& in, const SourceOptions& options,
                  const std::function<bool(int32_t)>& want,
                  const std::function<void(int32_t, const LightAt&)>& use) {
  std::string error;
  switch (in.kind) {
    case Kind::kIm:
      if (want(0)) {
        use(0, [&](int32_t n) {
          return SpinLight(*in.im, in.im_positions, n, options.import.levels);
        });
      }
      return;
    case Kind::kPicture: {
      if (!want(0)) return;
      imaging::Image image;
      // Decoded no finer than the import looks, as LoadWheel does.
      if (!imaging::DecodePicture(in.bytes, &image, &error, {.for_import = options.import.fit})) {
        throw FileError(in.file, error);
      }
      const imaging::WheelSampler sampler(image, options.import);
      image = {};
      use(0, [&](int32_t n) { return sampler.Sample(n); });
      return;
    }
    case Kind::kAnimation: {
      int32_t last = -1;
      for (int32_t k = 0; k < in.frames(); ++k) last = want(k) ? k : last;
      if (last < 0) return;
      const bool decoded = imaging::DecodeGif(
          in.bytes,
          [&](int32_t k, const imaging::Image& canvas, int32_t) {
            if (want(k)) {
              const imaging::WheelSampler sampler(canvas, options.import);
              use(k, [&](int32_t n) { return sampler.Sample(n); });
            }
            return k < last;
          },
          &error);
      if (!decoded) throw FileError(in.file, error);
      return;
    }
  }
}

std::string Label(const std::vector<Input>& inputs) {
  std::vector<std::string> files;
  for (const Input& in : inputs) files.push_back(in.file);
  return FilesLabel(files);
}

std::string Number(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

// The frames of the inputs that want(frame) selects, at n positions: sampled, or an IM.txt of
// that N as it is when keep_im. The automatic N resamples every IM.txt, as LoadWheel does.
void MakeAt(int32_t n, const std::vector<Input>& inputs, const SourceOptions& options,
            LoadedFrames* out, const std::function<bool(size_t)>& want, bool keep_im) {
  for (const Input& in : inputs) {
    if (keep_im && in.kind == Kind::kIm && in.im_positions == n) {
      if (want(in.first)) *out->frames[in.first].led = *in.im;
      continue;
    }
    ForEachLight(
        in, options, [&](int32_t k) { return want(in.first + k); },
        [&](int32_t k, const LightAt& light) {
          Frame& f = out->frames[in.first + k];
          imaging::Quantize(light(n), options.import, *f.led);
          f.from_picture = true;
        });
  }
}

// The largest n up to most that the rule lets every frame have. Each frame is sampled once and
// tried at every n still open, so memory stays one frame's; the last frame stops at the first n
// that does. The frames' wheels are left at the chosen N.
int32_t Choose(int32_t most, const std::vector<Input>& inputs, const SourceOptions& options,
               const AutoPositionsRule& rule, LoadedFrames* out) {
  std::vector<char> open(static_cast<size_t>(most) + 1, 1);
  open[0] = 0;
  std::vector<int32_t> kept(out->frames.size(), 0);  // the N each frame's wheel was made at
  auto scratch = std::make_unique<wheel::LedArray>();
  for (const Input& in : inputs) {
    ForEachLight(
        in, options, [](int32_t) { return true; },
        [&](int32_t k, const LightAt& light) {
          const size_t index = in.first + static_cast<size_t>(k);
          Frame& f = out->frames[index];
          const bool last = index + 1 == out->frames.size();
          std::string at_one;  // why one position will not do
          for (int32_t n = most; n >= 1; --n) {
            if (!open[n]) continue;
            *scratch = wheel::LedArray{};
            imaging::Quantize(light(n), options.import, *scratch);
            const std::string why = rule.refuse(*scratch, n);
            if (!why.empty()) {
              open[n] = 0;
              if (n == 1) at_one = why;
              continue;
            }
            if (kept[index] == 0) {
              kept[index] = n;
              *f.led = *scratch;
              f.from_picture = true;
            }
            if (last) break;
          }
          if (kept[index] == 0) {
            const std::string cause =
                !at_one.empty() ? at_one
                                : "no number of positions suits both it and the frames before "
                                  "it (-n chooses one)";
            throw FileError(in.file, f.frames_in_file > 1
                                         ? "frame " + std::to_string(f.number) + ": " + cause
                                         : cause);
          }
        });
  }
  int32_t n = most;
  while (!open[n]) --n;
  // The frames made at a larger N than the later frames allowed, made again.
  MakeAt(
      n, inputs, options, out, [&](size_t index) { return kept[index] != n; }, false);
  return n;
}

}  // namespace

std::string Frame::Name() const {
  return frames_in_file > 1 ? Quoted(file) + " frame " + std::to_string(number) : Quoted(file);
}

AutoPositionsRule ImTxtRule(const SourceOptions& options) {
  const int32_t budget = options.budget > 0 ? options.budget : firmware::kFragmentBudget;
  AutoPositionsRule rule;
  rule.most = [](int32_t) { return 256; };
  rule.refuse = [budget](const wheel::LedArray& led, int32_t n) -> std::string {
    const int32_t words = imtxt::FragmentWords(led, n);
    if (words <= budget) return {};
    return (n == 1 ? "even one position takes " : std::to_string(n) + " positions take ") +
           std::to_string(words) + " words, over the budget of " + std::to_string(budget);
  };
  rule.note = [budget](int32_t n, const LoadedFrames& loaded) {
    int32_t words = 0;
    for (const Frame& f : loaded.frames) words = std::max(words, imtxt::FragmentWords(*f.led, n));
    const std::string most = std::to_string(n) +
                             " positions, the most up to 256 whose IM.txt fits " +
                             std::to_string(budget) + " words";
    if (loaded.frames.size() == 1) return most + " (it takes " + std::to_string(words) + ")";
    return most + " for each of the " + std::to_string(loaded.frames.size()) +
           " frames (the largest takes " + std::to_string(words) + ")";
  };
  return rule;
}

void AddFilesOption(CLI::App& command, std::vector<std::string>* files) {
  command
      .add_option("FILE", *files,
                  "IM.txt files and pictures, the frames in order; an animated GIF gives one "
                  "frame per GIF frame")
      ->required()
      ->type_name("");
}

std::string FilesLabel(const std::vector<std::string>& files) {
  assert(!files.empty());
  const std::string first = Quoted(files[0]);
  if (files.size() == 1) return first;
  if (files.size() == 2) return first + " and " + Quoted(files[1]);
  return first + " and " + std::to_string(files.size() - 1) + " more files";
}

LoadedFrames LoadFrames(const std::vector<std::string>& files, const SourceOptions& options,
                        const AutoPositionsRule& rule) {
  assert(!files.empty());
  std::vector<Input> inputs;
  LoadedFrames out;
  for (const std::string& file : files) {
    inputs.push_back(Read(file));
    Input& in = inputs.back();
    in.first = out.frames.size();
    if (out.frames.size() + in.delays_ms.size() > static_cast<size_t>(imaging::kMaxFrames)) {
      throw FileError(file, "more than " + std::to_string(imaging::kMaxFrames) +
                                " frames in all; no wheel holds as many");
    }
    for (int32_t k = 0; k < in.frames(); ++k) {
      Frame& f = out.frames.emplace_back();
      f.file = file;
      f.number = k + 1;
      f.frames_in_file = in.frames();
      f.delay_ms = in.kind == Kind::kAnimation ? in.delays_ms[k] : 0;
    }
  }
  auto all = [](size_t) { return true; };

  const Input* first_im = nullptr;
  for (const Input& in : inputs) {
    if (in.kind == Kind::kIm && first_im == nullptr) first_im = &in;
  }
  if (options.positions > 0) {
    out.positions = options.positions;
    MakeAt(out.positions, inputs, options, &out, all, true);
    return out;
  }
  if (options.positions == 0 && first_im != nullptr) {
    out.positions = first_im->im_positions;
    std::vector<std::string> pictures;
    for (const Input& in : inputs) {
      if (in.kind != Kind::kIm) {
        pictures.push_back(in.file);
      } else if (in.im_positions != out.positions) {
        throw FileError(in.file, std::to_string(in.im_positions) + " positions, not the " +
                                     std::to_string(out.positions) + " of " +
                                     Quoted(first_im->file) +
                                     ": every frame needs the same number (-n N resamples them "
                                     "all)");
      }
    }
    MakeAt(out.positions, inputs, options, &out, all, true);
    if (!pictures.empty()) {
      std::string label = Quoted(pictures[0]);
      if (pictures.size() > 1) {
        label += " and " + std::to_string(pictures.size() - 1) + " more pictures";
      }
      Note(label + ": " + std::to_string(out.positions) + " positions, those of " +
           Quoted(first_im->file));
    }
    return out;
  }
  const int32_t frames = static_cast<int32_t>(out.frames.size());
  const int32_t most =
      std::clamp(rule.most ? rule.most(frames) : wheel::kMaxPositions, 1, wheel::kMaxPositions);
  if (rule.refuse) {
    out.positions = Choose(most, inputs, options, rule, &out);
  } else {
    out.positions = most;
    MakeAt(most, inputs, options, &out, all, false);
  }
  if (rule.note) Note(Label(inputs) + ": " + rule.note(out.positions, out));
  return out;
}

void AddTimingOptions(CLI::App& command, FrameTiming* timing, bool chooses_positions) {
  AddNumberOption(command, "--speed", limits::kSpeed, &timing->speed,
                  "the wheel's turns per second (default " + Number(kDefaultSpeed) + "): " +
                      (chooses_positions ? "a picture's automatic N is the most shown this fast, "
                                           "and a"
                                         : "a") +
                      " frame shows for its delay in whole turns at this speed");
  AddNumberOption(command, "--turns-per-frame", limits::kTurnsPerFrame, &timing->turns_per_frame,
                  "every frame shows for K turns (default: a GIF frame's delay at --speed, " +
                      Number(kStillFrameMs / 1000.0) + " s for other files)");
}

std::vector<int32_t> TurnsPerFrame(const LoadedFrames& loaded, const FrameTiming& timing) {
  std::vector<int32_t> turns;
  const Frame* first_cut = nullptr;
  int32_t cut = 0;
  for (const Frame& f : loaded.frames) {
    if (timing.turns_per_frame > 0) {
      turns.push_back(timing.turns_per_frame);
      continue;
    }
    const int32_t ms = f.delay_ms > 0 ? f.delay_ms : kStillFrameMs;
    const double exact = ms / 1000.0 * timing.speed;
    const auto rounded = static_cast<int64_t>(std::llround(exact));
    if (rounded > kMaxTurnsPerFrame) {
      first_cut = first_cut == nullptr ? &f : first_cut;
      ++cut;
    }
    turns.push_back(static_cast<int32_t>(std::clamp<int64_t>(rounded, 1, kMaxTurnsPerFrame)));
  }
  if (first_cut != nullptr) {
    const int32_t ms = first_cut->delay_ms > 0 ? first_cut->delay_ms : kStillFrameMs;
    Note(first_cut->Name() + ": " + Number(ms / 1000.0) + " s is " +
         std::to_string(std::llround(ms / 1000.0 * timing.speed)) + " turns at " +
         Number(timing.speed) + " turns/s; a frame shows for " + std::to_string(kMaxTurnsPerFrame) +
         " at most" + (cut > 1 ? " (" + std::to_string(cut) + " frames cut)" : ""));
  }
  return turns;
}

}  // namespace cli
