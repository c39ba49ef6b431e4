// The painting's undo history: one step a stroke, two bytes an LED it changed, bounded in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "wheel/wheel.h"

namespace editor {

class History {
 public:
  // The most memory the history keeps: the oldest steps go first beyond it. 32 MiB hold 1,000
  // steps of the largest stroke there is (every LED of a 500-position wheel).
  static constexpr size_t kDefaultBudget = size_t{32} << 20;

  explicit History(size_t budget_bytes = kDefaultBudget) : budget_(budget_bytes) {}

  // A stroke that gives its LEDs intensity begins. REQUIRES: 0 <= intensity <= 4, no stroke open.
  void Begin(int32_t intensity);
  // The stroke changed LED i of position q from old to the stroke's intensity. Each LED once
  // a stroke. REQUIRES: a stroke open, 1 <= q <= 500, 1 <= i <= 24, old != the intensity.
  void Record(int32_t q, int32_t i, int32_t old);
  // Ends the stroke. One that changed something becomes the newest step, and the steps undone
  // before it can no longer be redone; true then. Nothing else changes for an empty stroke.
  bool Commit();

  // Puts the LEDs of the newest step still done back as they were in led, calling changed(q, i)
  // for each after it; false when there is nothing to undo. REQUIRES: no stroke open.
  bool Undo(wheel::LedArray& led, const std::function<void(int32_t q, int32_t i)>& changed);
  // Does the oldest undone step again; false when there is none.
  bool Redo(wheel::LedArray& led, const std::function<void(int32_t q, int32_t i)>& changed);

  // Names the state the steps done so far lead to: two equal marks mean the same LEDs (as long
  // as the steps between them are still held). 0 for the state the history started from.
  uint64_t Mark() const;

  size_t steps() const { return steps_.size(); }
  size_t undoable() const { return done_; }
  size_t redoable() const { return steps_.size() - done_; }
  // The memory the steps hold, their records and changes.
  size_t bytes() const { return bytes_; }

 private:
  struct Step {
    uint64_t id = 0;
    int32_t intensity = 0;
    // (q - 1) * 24 + (i - 1) in the low 14 bits; the old intensity in the top two, as the rank
    // among the four that are not the step's own.
    std::vector<uint16_t> changes;
  };
  static size_t Cost(const Step& s) {
    return sizeof(Step) + s.changes.capacity() * sizeof(uint16_t);
  }
  void Drop();

  size_t budget_;
  std::deque<Step> steps_;
  size_t done_ = 0;  // steps_[0 .. done_) are done, the rest undone
  size_t bytes_ = 0;
  uint64_t next_id_ = 1;
  uint64_t dropped_id_ = 0;  // the mark of the state before the oldest step held
  bool open_ = false;
  Step stroke_;
};

}  // namespace editor
