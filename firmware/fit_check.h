// The fit check: will a picture's IM.txt run on the reference firmware, and how fast may it turn.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "firmware/reference_firmware.h"
#include "imtxt/fragment_words.h"
#include "wheel/wheel.h"

namespace firmware {

// HOEKTELLER has eight bits: the fragment tells at most this many positions apart.
constexpr int32_t kAngleValues = 256;

struct Fit {
  int32_t positions = 0;
  int32_t words = 0;   // the fragment's instruction words
  int32_t budget = 0;  // the words the firmware leaves for it
  double mhz = 0;
  double top_speed = 0;  // turns per second at most

  bool Fits() const { return words <= budget; }
  // Positions 1..UnseenLast() can never be shown (their angle is taken by K + 256); 0 if none.
  int32_t UnseenLast() const { return positions > kAngleValues ? positions - kAngleValues : 0; }
  // The wheel shows the file as written.
  bool Runs() const { return Fits() && UnseenLast() == 0; }
};

// The verdict for a fragment of `words` words with `positions` positions.
// REQUIRES: 1 <= positions <= 500, budget >= 0, kMinMhz <= mhz <= kMaxMhz. Pure: any thread.
Fit CheckFit(int32_t positions, int32_t words, int32_t budget = kFragmentBudget,
             double mhz = kDefaultMhz);

// The same for LED states, before BeeldMatrix reorders them.
Fit CheckFit(const wheel::LedArray& led, int32_t positions, int32_t budget = kFragmentBudget,
             double mhz = kDefaultMhz);

// The check's report, one fact a line, each ended by "\n".
std::string FitReport(const Fit& fit);

// One or two lines ("\n" after each) saying why `file` will not run and what to do; empty when
// it runs.
std::string WillNotRunWarning(const Fit& fit, std::string_view file);

// The dialog's one line (with "\n") for a position count above 256, naming the positions that
// can never be shown; empty for 256 or fewer.
std::string UnseenPositionsNote(int32_t positions);

}  // namespace firmware
