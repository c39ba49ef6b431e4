// The logic of the firmware and check commands, and their frames.
#include "cli/wheel_commands.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

#include "cli/cli.h"
#include "cli/options.h"
#include "firmware/fit_check.h"
#include "firmware/reference_firmware.h"
#include "firmware/table_firmware.h"

namespace cli {
namespace {

// A command's output so far: empty, or the usage error of an option out of range.
CommandOutput Begin(std::optional<int32_t> budget, double mhz) {
  CommandOutput result;
  if (const std::string c = OutOfRange(limits::kMhz, mhz); !c.empty()) {
    result.err = "ledwheel: --mhz: " + c + "\n";
  } else if (budget) {
    if (const std::string b = OutOfRange(limits::kBudget, *budget); !b.empty()) {
      result.err = "ledwheel: --budget: " + b + "\n";
    }
  }
  if (!result.err.empty()) result.exit_code = kExitUsage;
  return result;
}

std::string Format(const char* format, double v) {
  char text[48];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// " at 10 turns/s": the speed as typed, give or take the float.
std::string AtSpeed(double speed) { return Format(" at %g turns/s", speed); }

// The most IM.txt positions counted, and those the fragment's firmware shows at `speed`.
constexpr int32_t kMaxFragmentAuto = 256;
int32_t FragmentPositionsFor(double speed, double mhz) {
  int32_t most = kMaxFragmentAuto;
  while (most > 0 && firmware::TopSpeed(most, mhz) < speed) --most;
  return most;
}

std::string TooFast(const char* layout, double top_speed, double mhz) {
  return std::string("--speed: the ") + layout + " shows one position at " +
         firmware::FormatSpeed(top_speed) + " turns/s at most with a crystal of " +
         Format("%g", mhz) + " MHz";
}

}  // namespace

const char* const kFragmentHoldsOnePicture =
    "--layout fragment: the fragment holds one picture; the table layout holds several frames";

AutoPositionsRule TableRule(double speed, double mhz) {
  AutoPositionsRule rule;
  rule.most = [speed, mhz](int32_t frames) {
    const int32_t fast = firmware::TablePositionsFor(speed, mhz, frames);
    if (fast == 0) {
      throw UsageError(TooFast("table layout", firmware::TableTopSpeed(1, mhz, frames), mhz));
    }
    return std::max(1, std::min(fast, firmware::TablePositionsFit(frames)));
  };
  rule.note = [speed, mhz](int32_t n, const LoadedFrames& loaded) {
    const auto frames = static_cast<int32_t>(loaded.frames.size());
    const std::string top =
        " (top speed " + firmware::FormatSpeed(firmware::TableTopSpeed(n, mhz, frames)) + ")";
    if (frames == 1) {
      return std::to_string(n) + " positions, the most up to 500 that the table firmware shows" +
             AtSpeed(speed) + top;
    }
    if (firmware::TableFirmwareWords(n, frames) > firmware::kProgramWords) {
      return std::to_string(n) + " position: the chip holds the " + std::to_string(frames) +
             " frames at no number of positions";
    }
    return std::to_string(n) +
           " positions, the most up to 500 at which the table firmware holds the " +
           std::to_string(frames) + " frames and shows them" + AtSpeed(speed) + top;
  };
  return rule;
}

AutoPositionsRule FragmentRule(const SourceOptions& options, double speed, double mhz) {
  AutoPositionsRule rule = ImTxtRule(options);
  rule.most = [speed, mhz](int32_t frames) {
    if (frames > 1) throw UsageError(kFragmentHoldsOnePicture);
    const int32_t most = FragmentPositionsFor(speed, mhz);
    if (most == 0)
      throw UsageError(TooFast("fragment's firmware", firmware::TopSpeed(1, mhz), mhz));
    return most;
  };
  rule.note = [note = rule.note, speed](int32_t n, const LoadedFrames& loaded) {
    return note(n, loaded) + " and whose firmware shows it" + AtSpeed(speed);
  };
  return rule;
}

LoadedFrames LoadFirmwareFrames(const std::vector<std::string>& files, const SourceOptions& source,
                                const FirmwareOptions& options, double speed) {
  const bool fragment = options.layout == firmware::Layout::kFragment;
  // Known before any file is read; an animated GIF is told by its rule, or below.
  if (fragment && files.size() > 1) throw UsageError(kFragmentHoldsOnePicture);
  LoadedFrames loaded = LoadFrames(
      files, source,
      fragment ? FragmentRule(source, speed, options.mhz) : TableRule(speed, options.mhz));
  if (fragment && loaded.frames.size() > 1) throw UsageError(kFragmentHoldsOnePicture);
  return loaded;
}

FramesFile AsFramesFile(const LoadedFrames& loaded, const std::vector<std::string>& files,
                        const FrameTiming& timing) {
  FramesFile file{FilesLabel(files), {}, loaded.positions};
  const std::vector<int32_t> turns = TurnsPerFrame(loaded, timing);
  for (size_t k = 0; k < loaded.frames.size(); ++k) {
    file.frames.push_back({loaded.frames[k].led.get(), turns[k]});
  }
  return file;
}

CommandOutput CheckCommand(const FramesFile& file, double speed, double mhz) {
  assert(file.frames.size() > 1 && file.positions >= 1 && file.positions <= wheel::kMaxPositions);
  CommandOutput result = Begin(std::nullopt, mhz);
  if (result.exit_code != kExitOk) return result;
  int32_t turns = 0;
  for (const firmware::TableFrame& f : file.frames) turns += f.turns;
  const firmware::TableFit table =
      firmware::CheckTableFit(file.positions, mhz, static_cast<int32_t>(file.frames.size()));
  result.out = "frames: " + std::to_string(file.frames.size()) + " in " + std::to_string(turns) +
               " turns (" + Format("%g s", turns / speed) + AtSpeed(speed) + ")\n" +
               firmware::FramesFitReport(table);
  result.exit_code = table.Runs() ? kExitOk : kExitWillNotRun;
  return result;
}

CommandOutput FirmwareCommand(const FramesFile& file, double mhz) {
  assert(file.frames.size() > 1 && file.positions >= 1 && file.positions <= wheel::kMaxPositions);
  CommandOutput result = Begin(std::nullopt, mhz);
  if (result.exit_code != kExitOk) return result;
  const firmware::TableFit table =
      firmware::CheckTableFit(file.positions, mhz, static_cast<int32_t>(file.frames.size()));
  // Past the chip's memory gpasm refuses the source: none at all, and the frames that fit.
  result.err = firmware::FramesWillNotFitWarning(table, file.name);
  if (!table.Runs()) {
    result.exit_code = kExitWillNotRun;
    return result;
  }
  result.source = firmware::TableFirmware(file.frames, file.positions, mhz);
  return result;
}

CommandOutput CheckCommand(const WheelFile& file, std::optional<int32_t> budget, double mhz,
                           firmware::Layout layout) {
  assert(file.led != nullptr && file.positions >= 1 && file.positions <= wheel::kMaxPositions);
  CommandOutput result = Begin(budget, mhz);
  if (result.exit_code != kExitOk) return result;
  const firmware::TableFit table = firmware::CheckTableFit(file.positions, mhz);
  const firmware::Fit fragment = firmware::CheckFit(
      *file.led, file.positions, budget.value_or(firmware::kFragmentBudget), mhz);
  result.out = firmware::FitReport(table, fragment);
  const bool runs = layout == firmware::Layout::kTable ? table.Runs() : fragment.Runs();
  if (layout == firmware::Layout::kFragment) {
    result.err = firmware::WillNotRunWarning(fragment, Quoted(file.name));
  }
  result.exit_code = runs ? kExitOk : kExitWillNotRun;
  return result;
}

CommandOutput FirmwareCommand(const WheelFile& file, double mhz, firmware::Layout layout) {
  assert(file.led != nullptr && file.positions >= 1 && file.positions <= wheel::kMaxPositions);
  CommandOutput result = Begin(std::nullopt, mhz);
  if (result.exit_code != kExitOk) return result;
  if (layout == firmware::Layout::kTable) {
    // Every picture of up to 500 positions fits the chip as a table.
    result.source = firmware::TableFirmware(*file.led, file.positions, mhz);
    return result;
  }
  const firmware::Fit fit =
      firmware::CheckFit(*file.led, file.positions, firmware::kFragmentBudget, mhz);
  result.err = firmware::WillNotRunWarning(fit, Quoted(file.name));
  // Past the page the fragment's jumps land in the wrong page: no firmware at all is better.
  if (!fit.Fits()) {
    result.exit_code = kExitWillNotRun;
    return result;
  }
  result.source = firmware::ReferenceFirmware(file.im_text(), file.positions, mhz);
  return result;
}

}  // namespace cli
