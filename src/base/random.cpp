#include "base/random.h"

// A 32-bit linear congruential generator whose high 15 bits are the result: the range scripts were
// written against, independent of the host C library's rand. Window thread only.
static uint32_t random_state = 1;

void engine_srand(uint32_t seed) { random_state = seed; }

int engine_rand() {
  random_state = random_state * 214013u + 2531011u;
  return static_cast<int>((random_state >> 16) & 0x7FFFu);
}
