// The fit check's verdict and its texts.
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

}  // namespace

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

std::string FitReport(const Fit& fit) {
  std::string text = Format("positions: %d\n", static_cast<int>(fit.positions));
  text += Format("words: %d of %d\n", static_cast<int>(fit.words), static_cast<int>(fit.budget));
  text += Format("top speed: %.1f turns/s at %g MHz\n", fit.top_speed, fit.mhz);
  if (fit.UnseenLast() > 0) text += "never shown: " + Unseen(fit.UnseenLast()) + "\n";
  text += fit.Runs() ? "runs: yes\n" : "runs: no\n";
  return text;
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
  return why + ".\n" + what + ".\n";
}

std::string UnseenPositionsNote(int32_t positions) {
  if (positions <= kAngleValues) return "";
  return Format("ledwheel: with %d positions, ", static_cast<int>(positions)) +
         Unseen(positions - kAngleValues) +
         " can never be shown on the wheel (the angle counter has 8 bits).\n";
}

}  // namespace firmware
