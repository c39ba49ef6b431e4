// The painting's undo history.
#include "editor/history.h"

#include <cassert>

namespace editor {
namespace {

constexpr uint16_t kIndexMask = 0x3FFF;
static_assert(wheel::kMaxPositions * wheel::kLedsPerSpoke <= kIndexMask + 1);

// The old intensity as one of the four that differ from the new one, in two bits.
uint16_t Rank(int32_t old, int32_t intensity) {
  return static_cast<uint16_t>(old < intensity ? old : old - 1);
}
int32_t Unrank(uint16_t rank, int32_t intensity) { return rank < intensity ? rank : rank + 1; }

}  // namespace

void History::Begin(int32_t intensity) {
  assert(!open_ && intensity >= 0 && intensity <= 4);
  open_ = true;
  stroke_ = Step{};
  stroke_.intensity = intensity;
}

void History::Record(int32_t q, int32_t i, int32_t old) {
  assert(open_ && q >= 1 && q <= wheel::kMaxPositions && i >= 1 && i <= wheel::kLedsPerSpoke);
  assert(old != stroke_.intensity && old >= 0 && old <= 4);
  const auto index = static_cast<uint16_t>((q - 1) * wheel::kLedsPerSpoke + (i - 1));
  stroke_.changes.push_back(static_cast<uint16_t>(index | Rank(old, stroke_.intensity) << 14));
}

bool History::Commit() {
  assert(open_);
  open_ = false;
  if (stroke_.changes.empty()) return false;
  while (steps_.size() > done_) {
    bytes_ -= Cost(steps_.back());
    steps_.pop_back();
  }
  stroke_.changes.shrink_to_fit();
  stroke_.id = next_id_++;
  bytes_ += Cost(stroke_);
  steps_.push_back(std::move(stroke_));
  done_ = steps_.size();
  Drop();
  return true;
}

void History::Drop() {
  // The newest step stays whatever it costs: it is the one the user is most likely to undo.
  while (bytes_ > budget_ && steps_.size() > 1) {
    dropped_id_ = steps_.front().id;
    bytes_ -= Cost(steps_.front());
    steps_.pop_front();
    --done_;
  }
}

bool History::Undo(wheel::LedArray& led, const std::function<void(int32_t q, int32_t i)>& changed) {
  assert(!open_);
  if (done_ == 0) return false;
  const Step& s = steps_[--done_];
  for (auto it = s.changes.rbegin(); it != s.changes.rend(); ++it) {
    const int32_t index = *it & kIndexMask;
    const int32_t q = index / wheel::kLedsPerSpoke + 1, i = index % wheel::kLedsPerSpoke + 1;
    led[q][i].toestand = Unrank(static_cast<uint16_t>(*it >> 14), s.intensity);
    changed(q, i);
  }
  return true;
}

bool History::Redo(wheel::LedArray& led, const std::function<void(int32_t q, int32_t i)>& changed) {
  assert(!open_);
  if (done_ == steps_.size()) return false;
  const Step& s = steps_[done_++];
  for (const uint16_t c : s.changes) {
    const int32_t index = c & kIndexMask;
    const int32_t q = index / wheel::kLedsPerSpoke + 1, i = index % wheel::kLedsPerSpoke + 1;
    led[q][i].toestand = s.intensity;
    changed(q, i);
  }
  return true;
}

uint64_t History::Mark() const { return done_ == 0 ? dropped_id_ : steps_[done_ - 1].id; }

}  // namespace editor
