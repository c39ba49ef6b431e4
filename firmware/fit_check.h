// The fit check: will a picture run on the reference firmware, in its table layout or as IM.txt's
// fragment, and how fast may the wheel turn.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "firmware/reference_firmware.h"
#include "firmware/table_firmware.h"
#include "imtxt/fragment_words.h"
#include "wheel/wheel.h"

namespace firmware {

// The reference firmware's two layouts: the picture as data in program memory, or IM.txt's
// fragment as code in one page.
enum class Layout { kTable, kFragment };

// "table" or "fragment".
const char* LayoutName(Layout layout);

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

// The table layout's verdict: it holds every picture of up to 500 positions.
struct TableFit {
  int32_t positions = 0;
  int32_t words = 0;  // the firmware's code and the table
  int32_t budget = kProgramWords;
  double mhz = 0;
  double top_speed = 0;

  bool Runs() const { return words <= budget; }
};
// REQUIRES: 1 <= positions <= 500, kMinMhz <= mhz <= kMaxMhz. Pure: any thread.
TableFit CheckTableFit(int32_t positions, double mhz = kDefaultMhz);

// A speed in turns per second with the digits that tell 3 % apart ("26.4", "5.57", "131").
std::string FormatSpeed(double turns_per_second);

// The check's report, each line ended by "\n": the positions, then one line for each layout
// that starts with its name: its words against its room, its top speed and whether it runs.
std::string FitReport(const TableFit& table, const Fit& fragment);

// One to three lines ("\n" after each) saying why `file` will not run as IM.txt's fragment and
// what to do, and that the table layout holds it; empty when the fragment runs.
std::string WillNotRunWarning(const Fit& fit, std::string_view file);

// The dialog's one line (with "\n") for a position count above 256, naming the positions that
// can never be shown; empty for 256 or fewer.
std::string UnseenPositionsNote(int32_t positions);

}  // namespace firmware
