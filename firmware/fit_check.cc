// The fit check's verdicts and their texts.
#include "firmware/fit_check.h"

#include <cassert>
#include <cstdio>

namespace firmware {
namespace {

std::string Format(const char* format, auto... args) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

std::string Unseen(int32_t last) {
  return last == 1 ? "position 1" : Format("positions 1 to %d", static_cast<int>(last));
}

// "3 frames of 256 positions", "1 frame of 1 position".
std::string FramesOf(int32_t frames, int32_t positions) {
  return Format("%d frame%s of %d position%s", static_cast<int>(frames), frames == 1 ? "" : "s",
                static_cast<int>(positions), positions == 1 ? "" : "s");
}

// "K frames of N positions fit", "1 frame of N positions fits".
std::string FramesFit(const TableFit& table) {
  return FramesOf(table.frames_fit, table.positions) + (table.frames_fit == 1 ? " fits" : " fit");
}

}  // namespace

const char* LayoutName(Layout layout) { return layout == Layout::kTable ? "table" : "fragment"; }

Fit CheckFit(int32_t positions, int32_t words, int32_t budget, double mhz) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  assert(mhz >= kMinMhz && mhz <= kMaxMhz);
  Fit fit;
  fit.positions = positions;
  fit.words = words;
  fit.budget = budget;
  fit.mhz = mhz;
  fit.top_speed = TopSpeed(positions, mhz);
  return fit;
}

Fit CheckFit(const wheel::LedArray& led, int32_t positions, int32_t budget, double mhz) {
  return CheckFit(positions, imtxt::FragmentWords(led, positions), budget, mhz);
}

TableFit CheckTableFit(int32_t positions, double mhz, int32_t frames) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  assert(mhz >= kMinMhz && mhz <= kMaxMhz);
  assert(frames >= 1);
  TableFit fit;
  fit.positions = positions;
  fit.frames = frames;
  fit.words = TableFirmwareWords(positions, frames);
  fit.frames_fit = frames > 1 ? TableFramesFit(positions) : 1;
  fit.mhz = mhz;
  fit.top_speed = TableTopSpeed(positions, mhz, frames);
  return fit;
}

std::string FormatSpeed(double turns_per_second) {
  // Three significant digits: a rounding never reaches 3 %.
  const char* format = turns_per_second >= 100 ? "%.0f" : turns_per_second >= 10 ? "%.1f" : "%.2f";
  return Format(format, turns_per_second);
}

std::string FitReport(const TableFit& table, const Fit& fragment) {
  std::string text = Format("positions: %d\n", static_cast<int>(table.positions));
  text += Format("table: %d words of %d, top speed %s turns/s at %g MHz, %s\n",
                 static_cast<int>(table.words), static_cast<int>(table.budget),
                 FormatSpeed(table.top_speed).c_str(), table.mhz,
                 table.Runs() ? "runs" : "does not run");
  text += Format("fragment: %d words of %d, top speed %s turns/s at %g MHz, %s",
                 static_cast<int>(fragment.words), static_cast<int>(fragment.budget),
                 FormatSpeed(fragment.top_speed).c_str(), fragment.mhz,
                 fragment.Runs() ? "runs" : "does not run");
  if (fragment.UnseenLast() > 0) text += "; " + Unseen(fragment.UnseenLast()) + " never shown";
  return text + "\n";
}

std::string FramesFitReport(const TableFit& table) {
  assert(table.frames > 1);
  std::string text = Format("positions: %d\n", static_cast<int>(table.positions));
  text += Format("table: %d words of %d for %d frames, top speed %s turns/s at %g MHz, %s",
                 static_cast<int>(table.words), static_cast<int>(table.budget),
                 static_cast<int>(table.frames), FormatSpeed(table.top_speed).c_str(), table.mhz,
                 table.Runs() ? "runs" : "does not run");
  if (!table.Runs()) text += "; " + FramesFit(table);
  return text +
         Format("\nfragment: holds one picture, not %d frames\n", static_cast<int>(table.frames));
}

std::string FramesWillNotFitWarning(const TableFit& table, std::string_view name) {
  if (table.Runs()) return "";
  return "ledwheel: " + std::string(name) + ": " + FramesOf(table.frames, table.positions) +
         Format(" need %d program words, the chip has %d; ", static_cast<int>(table.words),
                static_cast<int>(table.budget)) +
         FramesFit(table) + "\n";
}

std::string WillNotRunWarning(const Fit& fit, std::string_view file) {
  if (fit.Runs()) return "";
  std::string why = "ledwheel: " + std::string(file) + " will not run on the wheel: ";
  if (!fit.Fits()) {
    why += Format("it needs %d program words, the firmware has room for %d",
                  static_cast<int>(fit.words), static_cast<int>(fit.budget));
  }
  if (fit.UnseenLast() > 0) {
    if (!fit.Fits()) why += ", and ";
    why += Unseen(fit.UnseenLast()) + " can never be shown (the angle counter has 8 bits)";
  }
  const char* what = fit.Fits()              ? "ledwheel: use 256 positions or fewer"
                     : fit.UnseenLast() == 0 ? "ledwheel: use fewer positions or fewer grey levels"
                                             : "ledwheel: use fewer positions (256 at most) or "
                                               "fewer grey levels";
  // The table layout holds every picture the writers make.
  const TableFit table = CheckTableFit(fit.positions, fit.mhz);
  const std::string holds = Format(
      "ledwheel: ledwheel firmware holds it all the same, in its table layout (%d program "
      "words of %d).\n",
      static_cast<int>(table.words), static_cast<int>(table.budget));
  return why + ".\n" + what + ".\n" + (table.Runs() ? holds : "");
}

std::string UnseenPositionsNote(int32_t positions) {
  if (positions <= kAngleValues) return "";
  return Format("ledwheel: with %d positions, ", static_cast<int>(positions)) +
         Unseen(positions - kAngleValues) +
         " can never be shown on the wheel (the angle counter has 8 bits).\n";
}

}  // namespace firmware
