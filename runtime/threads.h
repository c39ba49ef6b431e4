// Threads of our own, started so that the console break reaches only the main thread.
#pragma once

#include <functional>
#include <thread>

namespace rts {

// Starts fn on a new thread that never receives the console break signal.
std::thread StartThread(std::function<void()> fn);

}  // namespace rts
