// The failure that ends a run, with the description of the calls active when it was raised.
#include "runtime/failure.h"

#include "runtime/os.h"

namespace rts {

Failure::Failure(uint32_t number, std::string_view text)
    : number_(number), text_(text.substr(0, kMaxText)) {
  // Leave out this constructor's own frame; the raiser is the innermost entry.
  history_ = os::CallHistory(1, kMaxHistory, &truncated_);
}

void Raise(uint32_t number, std::string_view text) { throw Failure(number, text); }

}  // namespace rts
