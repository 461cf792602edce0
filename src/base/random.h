// The engine's random generator: one sequence for the whole program (random built-ins, thread ids,
// and whoever else draws), always in 0..32767 as the engine's scripts expect, and reproducible
// from a seed on every host.
#pragma once

#include <cstdint>

constexpr int ENGINE_RAND_MAX = 32767;

// Sets the sequence's seed (start-up seeds it with the time; tests with a constant).
void engine_srand(uint32_t seed);
// The next value, 0..ENGINE_RAND_MAX.
int engine_rand();
