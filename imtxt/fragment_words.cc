// The fragment's size in instruction words, from the LED states alone.
#include "imtxt/fragment_words.h"

#include <cassert>

namespace imtxt {
namespace {

// Header (MOVLW, MOVWF), BEGIN's flag reset (MOVLW, MOVWF) and the wait loop (MOVF, MOVWF,
// DECFSZ, GOTO) at the first label.
constexpr int32_t kFixedWords = 8;
// Every position's compare: MOVF, SUBLW, MOVWF, DECFSZ, GOTO.
constexpr int32_t kCompareWords = 5;
// A lit position's block around its images: GOTO UPDATE, BCF, BCF, three CALL DELAY, GOTO BEGIN.
constexpr int32_t kLitWords = 7;
// One port image: MOVLW and MOVWF for each of the four ports.
constexpr int32_t kImageWords = 8;

}  // namespace

int32_t PositionWords(const wheel::LedArray& led, int32_t position) {
  bool used[5] = {};
  for (int32_t i = 1; i <= wheel::kLedsPerSpoke; ++i) {
    const int32_t t = led[position][i].toestand;
    if (t >= 1 && t <= 4) used[t] = true;
  }
  if (!used[1] && !used[2] && !used[3] && !used[4]) return kCompareWords + 1;  // GOTO BEGIN
  // The first image always; another after each phase in which some LED goes dark.
  const int32_t images = 1 + used[1] + used[2] + used[3];
  return kCompareWords + kLitWords + kImageWords * images + (used[4] ? 1 : 0);
}

int32_t FragmentWords(const wheel::LedArray& led, int32_t positions) {
  assert(positions >= 1 && positions <= wheel::kMaxPositions);
  int32_t words = kFixedWords;
  for (int32_t q = 1; q <= positions; ++q) words += PositionWords(led, q);
  return words;
}

}  // namespace imtxt
