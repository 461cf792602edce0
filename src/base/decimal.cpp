#include "base/decimal.h"

static bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int32_t decimal_to_int(const char* text) {
  const char* p = text;
  while (is_blank(*p)) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  // Accumulate the magnitude in 64 bits and stop growing once it is past every 32-bit value.
  int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p)
    if (magnitude <= INT64_C(0x80000000)) magnitude = magnitude * 10 + (*p - '0');
  if (negative) return magnitude >= INT64_C(0x80000000) ? INT32_MIN : static_cast<int32_t>(-magnitude);
  return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}
