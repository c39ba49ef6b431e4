// Fixed-size arrays indexed from 1, the way the wheel and port tables are numbered.
#pragma once

#include <cassert>
#include <cstdlib>

namespace rts {

template <class T, int N>
struct OneBased {
  static_assert(N > 0);
  T data[N];

  // REQUIRES: 1 <= k <= N.
  T& operator[](int k) { return data[Index(k)]; }
  const T& operator[](int k) const { return data[Index(k)]; }
  static constexpr int size() { return N; }

 private:
  static int Index(int k) {
    assert(k >= 1 && k <= N);
    // Some C runtimes' assert returns after its message; the index must not go on.
    if (k < 1 || k > N) std::abort();
    return k - 1;
  }
};

}  // namespace rts
