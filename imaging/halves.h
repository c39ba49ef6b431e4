// Splitting a loop over two threads: the import and the renderings on both cores.
#pragma once

#include <cstdint>
#include <system_error>
#include <thread>

#include "runtime/threads.h"

namespace imaging {

// Runs fn(begin, end) over the two halves of [0, count), the upper half on a thread of its own;
// all on the calling thread where no second thread can be had. fn must write only to what its
// half owns.
template <class Fn>
void InHalves(int32_t count, Fn fn) {
  const int32_t half = count / 2;
  std::thread helper;
  try {
    if (half > 0) helper = rts::StartThread([&fn, half, count] { fn(half, count); });
  } catch (const std::system_error&) {
  }
  if (!helper.joinable()) {
    fn(0, count);
    return;
  }
  fn(0, half);
  helper.join();
}

}  // namespace imaging
