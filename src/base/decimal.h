// Decimal text to integers, the way the engine's stored texts (environment values, registry
// values) have always been read.
#pragma once

#include <cstdint>

// As the C library's atoi: leading blanks, an optional sign, then decimal digits; 0 when there
// are none. A value beyond the 32-bit range saturates to INT32_MAX or INT32_MIN instead of
// overflowing.
int32_t decimal_to_int(const char* text);
