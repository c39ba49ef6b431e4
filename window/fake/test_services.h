// What Graph needs of the runtime, as the window tests provide it: plain threads, no console
// break, and the messages kept for the test to read.
#pragma once

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

}  // namespace window
