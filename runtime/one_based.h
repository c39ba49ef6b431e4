// Fixed-size arrays indexed from 1, the way the wheel and port tables are numbered.
#pragma once

#include <cassert>

namespace rts {

template <class T, int N>
struct OneBased {
  static_assert(N > 0);
  T data[N];

  // REQUIRES: 1 <= k <= N.
  T& operator[](int k) {
    assert(k >= 1 && k <= N);
    return data[k - 1];
  }
  const T& operator[](int k) const {
    assert(k >= 1 && k <= N);
    return data[k - 1];
  }
  static constexpr int size() { return N; }
};

}  // namespace rts
