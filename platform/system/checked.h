#pragma once
// Integer arithmetic that never wraps silently: an overflow raises "Integer overflow" and a value
// outside its declared range raises "Range check error".
#include <cstdint>
#include <limits>
#include <type_traits>

#include "platform/system/exceptions.h"

namespace plat {

template <class T>
T CheckedAdd(T a, T b) {
  T r;
  if (__builtin_add_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}

template <class T>
T CheckedSub(T a, T b) {
  T r;
  if (__builtin_sub_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}

template <class T>
T CheckedMul(T a, T b) {
  T r;
  if (__builtin_mul_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}

template <class T>
T CheckedNeg(T a) {
  return CheckedSub<T>(T(0), a);
}

// Integer division that raises "Division by zero" and, for the one signed case that overflows
// (min / -1), "Integer overflow".
template <class T>
T CheckedDiv(T a, T b) {
  if (b == 0) throw EDivByZero();
  if constexpr (std::is_signed_v<T>) {
    if (a == std::numeric_limits<T>::min() && b == T(-1)) throw EIntOverflow();
  }
  return a / b;
}

// The value when lo <= v <= hi, else "Range check error".
template <class T, class U>
T RangeChecked(U v, T lo, T hi) {
  if (!std::in_range<T>(v) || T(v) < lo || T(v) > hi) throw ERangeError();
  return T(v);
}

// v converted to T, or "Range check error" when T cannot hold it.
template <class T, class U>
T Narrow(U v) {
  if (!std::in_range<T>(v)) throw ERangeError();
  return T(v);
}

}  // namespace plat
