// The undo history: steps, undo and redo, the marks that tell a written state, and the bound.
#include "editor/history.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace editor {
namespace {

// A stroke (its intensity, the LEDs (q, 1) it changes), an undo ('u') or a redo ('r').
struct Op {
  char kind;
  int32_t intensity;
  std::vector<int32_t> positions;
};
Op S(int32_t intensity, std::vector<int32_t> positions) { return {'s', intensity, positions}; }
const Op U{'u', 0, {}}, R{'r', 0, {}};

TEST(History, StepsUndoAndRedoPutTheLedsBackAndForth) {
  const struct {
    const char* what;
    std::vector<Op> ops;
    std::vector<int32_t> expect;  // LED 1 of positions 1..4 afterwards
    size_t undoable, redoable;
    bool back_at_start;  // the mark is the start's
  } cases[] = {
      {"two strokes", {S(4, {1, 2}), S(2, {2, 3})}, {4, 2, 2, 0}, 2, 0, false},
      {"undo the last", {S(4, {1, 2}), S(2, {2, 3}), U}, {4, 4, 0, 0}, 1, 1, false},
      {"undo both, and once too often", {S(4, {1}), S(2, {1}), U, U, U}, {0, 0, 0, 0}, 0, 2, true},
      {"redo in order, and once too often",
       {S(4, {1}), S(2, {1, 4}), U, U, R, R, R},
       {2, 0, 0, 2},
       2,
       0,
       false},
      {"a new stroke drops what was undone",
       {S(4, {1}), S(2, {2}), U, S(3, {3}), R},
       {4, 0, 3, 0},
       2,
       0,
       false},
      {"an empty stroke is no step", {S(4, {1}), S(1, {}), U}, {0, 0, 0, 0}, 0, 1, true},
      {"every old intensity comes back under every new one",
       {S(1, {1}), S(2, {2}), S(3, {3}), S(4, {1, 2, 3, 4}), S(0, {1, 2, 3, 4}), U},
       {4, 4, 4, 4},
       4,
       1,
       false},
      {"... and further back",
       {S(1, {1}), S(2, {2}), S(3, {3}), S(4, {1, 2, 3, 4}), U},
       {1, 2, 3, 0},
       3,
       1,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    History h;
    auto led = std::make_unique<wheel::LedArray>();
    std::vector<int32_t> told;
    const auto tell = [&](int32_t q, int32_t i) {
      EXPECT_EQ(i, 1);
      told.push_back(q);
    };
    for (const Op& op : c.ops) {
      told.clear();
      if (op.kind == 's') {
        h.Begin(op.intensity);
        for (int32_t q : op.positions) {
          if ((*led)[q][1].toestand == op.intensity) continue;
          h.Record(q, 1, (*led)[q][1].toestand);
          (*led)[q][1].toestand = op.intensity;
        }
        h.Commit();
      } else if (!(op.kind == 'u' ? h.Undo(*led, tell) : h.Redo(*led, tell))) {
        EXPECT_TRUE(told.empty()) << "nothing to do, nothing told";
      }
    }
    for (int32_t q = 1; q <= 4; ++q) EXPECT_EQ((*led)[q][1].toestand, c.expect[q - 1]) << q;
    EXPECT_EQ(h.undoable(), c.undoable);
    EXPECT_EQ(h.redoable(), c.redoable);
    EXPECT_EQ(h.Mark() == 0, c.back_at_start);
  }
}

TEST(History, TheBoundDropsTheOldestStepsAndKeepsTheMarksTrue) {
  // Steps of 100 LEDs each; room for three and a half.
  const auto stroke = [](History& h, wheel::LedArray& led, int32_t s) {
    h.Begin(s % 4 + 1);
    for (int32_t q = 1; q <= 100; ++q) {
      h.Record(q, s, led[q][s].toestand);
      led[q][s].toestand = s % 4 + 1;
    }
    h.Commit();
  };
  auto led = std::make_unique<wheel::LedArray>();
  History probe;
  stroke(probe, *led, 1);
  const size_t budget = 3 * probe.bytes() + probe.bytes() / 2;
  led = std::make_unique<wheel::LedArray>();
  History h(budget);
  std::vector<uint64_t> marks = {h.Mark()};
  for (int32_t s = 1; s <= 6; ++s) {
    stroke(h, *led, s);
    marks.push_back(h.Mark());
    EXPECT_LE(h.bytes(), budget);
  }
  EXPECT_EQ(h.steps(), 3u);
  // Undone as far as it goes: the state after step 3, whose mark that was.
  while (h.Undo(*led, [](int32_t, int32_t) {})) {
  }
  EXPECT_EQ(h.Mark(), marks[3]);
  for (int32_t s = 1; s <= 6; ++s) EXPECT_EQ((*led)[50][s].toestand, s <= 3 ? s % 4 + 1 : 0);
  // The newest step is kept whatever it costs: it is the one most likely undone.
  History tiny(16);
  stroke(tiny, *led, 7);
  EXPECT_EQ(tiny.steps(), 1u);
}

}  // namespace
}  // namespace editor
