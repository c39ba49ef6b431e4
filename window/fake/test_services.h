// What Graph needs of the runtime, as the window tests provide it: plain threads, no console
// break, and the messages kept for the test to read.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "window/graph_module.h"

namespace window {

// The messages the module shows, from whichever of its threads.
class Messages {
 public:
  void Add(std::string_view m) {
    std::lock_guard<std::mutex> hold(mu_);
    all_.emplace_back(m);
  }
  std::vector<std::string> all() {
    std::lock_guard<std::mutex> hold(mu_);
    return all_;
  }

 private:
  std::mutex mu_;
  std::vector<std::string> all_;
};

inline GraphServices TestServices(Messages& m) {
  return GraphServices{
      .start_thread = [](std::function<void()> fn) { return std::thread(std::move(fn)); },
      .check_break = [] {},
      .message = [&m](std::string_view text) { m.Add(text); },
      .publish = nullptr,
  };
}

// Polls pred every 5 ms until it holds (true) or limit passes (false): what a real window does
// arrives from other threads and processes in its own time.
template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace window
