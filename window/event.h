// A manual-reset event that is cheap to hand over between two busy threads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace window {

// Set stays set until Reset. Waiters spin briefly on the flag before they block, so a hand-over
// between two running threads costs no thread switch; a waiter that blocks is woken by Set.
class Event {
 public:
  void Set() {
    state_.store(true, std::memory_order_seq_cst);
    // Pairs with the waiter's increment: either the waiter sees the flag, or Set sees the waiter.
    if (waiters_.load(std::memory_order_seq_cst) > 0) {
      std::lock_guard<std::mutex> hold(mu_);
      cv_.notify_all();
    }
  }
  void Reset() { state_.store(false, std::memory_order_seq_cst); }
  bool IsSet() const { return state_.load(std::memory_order_acquire); }

  // Waits until set or timeout passes; true when set. before_block runs once if the wait is about
  // to sleep (a flush of buffered output, for instance).
  template <class BeforeBlock>
  bool WaitFor(std::chrono::milliseconds timeout, BeforeBlock&& before_block) {
    if (Spin()) return true;
    before_block();
    std::unique_lock<std::mutex> hold(mu_);
    waiters_.fetch_add(1, std::memory_order_seq_cst);
    const bool set = cv_.wait_for(hold, timeout, [&] { return state_.load(); });
    waiters_.fetch_sub(1, std::memory_order_seq_cst);
    return set;
  }
  bool WaitFor(std::chrono::milliseconds timeout) {
    return WaitFor(timeout, [] {});
  }

 private:
  bool Spin() {
    // A short burst of polling covers a hand-over between threads on two cores; yielding then
    // lets the other side run when both share one core. Only then does the waiter sleep.
    for (int i = 0; i < 64; ++i) {
      if (state_.load(std::memory_order_acquire)) return true;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    for (int i = 0; i < 200; ++i) {
      if (state_.load(std::memory_order_acquire)) return true;
      std::this_thread::yield();
    }
    return state_.load(std::memory_order_acquire);
  }

  std::atomic<bool> state_{false};
  std::atomic<int> waiters_{0};
  std::mutex mu_;
  std::condition_variable cv_;
};

}  // namespace window
