// Allocation wrappers: every block the engine allocates by hand comes from here.
#pragma once

#include <cstddef>

// A block of at least size bytes (the heap is asked for size + 32), released with plain free().
// When the heap refuses, a box says so and the program ends through the fatal road: callers never
// see a null block.
void* mem_alloc(size_t size);
void* mem_resize(void* block, size_t size);

// Makes C++ allocations take the same road as mem_alloc when memory runs out.
void mem_new_handler_install();

// Forgets that an out-of-memory box was shown (for tests, where the fatal road returns by throwing).
void mem_reset();
