// 32-bit integer arithmetic as the x86 instructions do it. Scripts were compiled for a machine
// where sums wrap, INT_MIN / -1 is INT_MIN and a float too large for an int converts to INT_MIN;
// C++ leaves those cases undefined, so every script-visible int operation goes through here.
#pragma once

#include <cstdint>

inline int32_t i32_add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t i32_sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t i32_mul(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
inline int32_t i32_neg(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }

// b must not be 0 (callers give that case its own meaning). INT_MIN / -1 is INT_MIN, remainder 0.
inline int32_t i32_div(int32_t a, int32_t b) { return b == -1 ? i32_neg(a) : a / b; }
inline int32_t i32_rem(int32_t a, int32_t b) { return b == -1 ? 0 : a % b; }

// Shift counts use their low 5 bits; >> is arithmetic.
inline int32_t i32_shl(int32_t a, int32_t n) { return static_cast<int32_t>(static_cast<uint32_t>(a) << (n & 31)); }
inline int32_t i32_sar(int32_t a, int32_t n) { return a >> (n & 31); }

// Truncation toward zero; NaN and values outside the int range give INT_MIN.
inline int32_t i32_from_float(double f) {
  if (!(f > -2147483649.0 && f < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(f);
}
