// Threads of our own, started with the console break blocked so that only the main thread
// receives it.
#include "runtime/threads.h"

#include "runtime/os.h"

namespace rts {

std::thread StartThread(std::function<void()> fn) {
  std::thread t;
  // The new thread inherits the calling thread's mask, taken while the break is blocked.
  os::RunWithBreakBlocked([&] { t = std::thread(std::move(fn)); });
  return t;
}

}  // namespace rts
