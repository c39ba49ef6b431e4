// The undo history: steps, undo and redo, the marks that tell a written state, and the bound.
#include "editor/history.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace editor {
namespace {

// One operation: a stroke (its intensity, the LEDs (q, i) it changes), an undo or a redo, with
// what it must return.
struct Op {
  char kind;
  int32_t intensity;
  std::vector<std::pair<int32_t, int32_t>> leds;
  bool result;
};
Op S(int32_t intensity, std::vector<std::pair<int32_t, int32_t>> leds) {
  return {'s', intensity, std::move(leds), true};
}
Op U(bool result = true) { return {'u', 0, {}, result}; }
Op R(bool result = true) { return {'r', 0, {}, result}; }

TEST(History, StepsUndoAndRedoPutTheLedsBackAndForth) {
  struct Case {
    const char* what;
    std::vector<Op> ops;
    std::vector<int32_t> expect;  // LED 1 of positions 1..4 afterwards
    size_t undoable, redoable;
  };
  const Case cases[] = {
      {"two strokes", {S(4, {{1, 1}, {2, 1}}), S(2, {{2, 1}, {3, 1}})}, {4, 2, 2, 0}, 2, 0},
      {"undo the last", {S(4, {{1, 1}, {2, 1}}), S(2, {{2, 1}, {3, 1}}), U()}, {4, 4, 0, 0}, 1, 1},
      {"undo both, then nothing",
       {S(4, {{1, 1}}), S(2, {{1, 1}}), U(), U(), U(false)},
       {0, 0, 0, 0},
       0,
       2},
      {"redo in order, then nothing",
       {S(4, {{1, 1}}), S(2, {{1, 1}, {4, 1}}), U(), U(), R(), R(), R(false)},
       {2, 0, 0, 2},
       2,
       0},
      {"a new stroke drops what was undone",
       {S(4, {{1, 1}}), S(2, {{2, 1}}), U(), S(3, {{3, 1}}), R(false)},
       {4, 0, 3, 0},
       2,
       0},
      {"an empty stroke is no step", {S(4, {{1, 1}}), S(1, {}), U()}, {0, 0, 0, 0}, 0, 1},
      {"an erase is undone to what each LED had",
       {S(1, {{1, 1}}), S(3, {{2, 1}}), S(0, {{1, 1}, {2, 1}}), U()},
       {1, 3, 0, 0},
       2,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    History h;
    auto led = std::make_unique<wheel::LedArray>();
    std::vector<std::pair<int32_t, int32_t>> told;
    const auto tell = [&](int32_t q, int32_t i) { told.push_back({q, i}); };
    for (const Op& op : c.ops) {
      if (op.kind == 's') {
        h.Begin(op.intensity);
        for (const auto& [q, i] : op.leds) {
          h.Record(q, i, (*led)[q][i].toestand);
          (*led)[q][i].toestand = op.intensity;
        }
        EXPECT_EQ(h.Commit(), !op.leds.empty());
      } else {
        told.clear();
        const bool done = op.kind == 'u' ? h.Undo(*led, tell) : h.Redo(*led, tell);
        EXPECT_EQ(done, op.result);
        if (!done) {
          EXPECT_TRUE(told.empty());
        }
      }
    }
    for (int32_t q = 1; q <= 4; ++q) EXPECT_EQ((*led)[q][1].toestand, c.expect[q - 1]) << q;
    EXPECT_EQ(h.undoable(), c.undoable);
    EXPECT_EQ(h.redoable(), c.redoable);
  }
}

// The marks tell whether the LEDs are those of an earlier state; every old and new intensity
// survives its two-bit form.
TEST(History, MarksNameStatesAndEveryIntensityPairComesBack) {
  History h;
  auto led = std::make_unique<wheel::LedArray>();
  const uint64_t start = h.Mark();
  EXPECT_EQ(start, 0u);
  for (int32_t from = 0; from <= 4; ++from) {
    for (int32_t to = 0; to <= 4; ++to) {
      if (from == to) continue;
      (*led)[7][9].toestand = from;
      h.Begin(to);
      h.Record(7, 9, from);
      ASSERT_TRUE(h.Commit());
      (*led)[7][9].toestand = to;
      const uint64_t after = h.Mark();
      ASSERT_TRUE(h.Undo(*led, [](int32_t, int32_t) {}));
      EXPECT_EQ((*led)[7][9].toestand, from) << from << " -> " << to;
      EXPECT_NE(h.Mark(), after);
      ASSERT_TRUE(h.Redo(*led, [](int32_t, int32_t) {}));
      EXPECT_EQ((*led)[7][9].toestand, to);
      EXPECT_EQ(h.Mark(), after) << "redo comes back to the same state";
    }
  }
  EXPECT_NE(h.Mark(), start);
}

TEST(History, TheBoundDropsTheOldestStepsAndKeepsTheMarksTrue) {
  // Each step of 100 LEDs costs its record and 200 bytes; room for about three.
  History probe;
  probe.Begin(4);
  for (int32_t q = 1; q <= 100; ++q) probe.Record(q, 1, 0);
  probe.Commit();
  const size_t step = probe.bytes();
  History h(3 * step + step / 2);
  auto led = std::make_unique<wheel::LedArray>();
  std::vector<uint64_t> marks = {h.Mark()};
  for (int32_t s = 1; s <= 6; ++s) {
    h.Begin(s % 4 + 1);
    for (int32_t q = 1; q <= 100; ++q) {
      h.Record(q, s, (*led)[q][s].toestand);
      (*led)[q][s].toestand = s % 4 + 1;
    }
    h.Commit();
    marks.push_back(h.Mark());
    EXPECT_LE(h.bytes(), 3 * step + step / 2);
  }
  EXPECT_EQ(h.steps(), 3u);
  // Undone as far as it goes: back to the state after step 3, whose mark that was.
  while (h.Undo(*led, [](int32_t, int32_t) {})) {
  }
  EXPECT_EQ(h.Mark(), marks[3]);
  for (int32_t s = 1; s <= 6; ++s) {
    EXPECT_EQ((*led)[50][s].toestand, s <= 3 ? s % 4 + 1 : 0) << "step " << s;
  }
  // A single step larger than the whole budget is kept: it is the one most likely undone.
  History tiny(16);
  tiny.Begin(4);
  tiny.Record(1, 1, 0);
  tiny.Commit();
  EXPECT_EQ(tiny.steps(), 1u);
}

}  // namespace
}  // namespace editor
