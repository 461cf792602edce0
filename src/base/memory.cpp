#include "base/memory.h"

#include <cstdlib>
#include <new>

#include "base/fatal.h"
#include "platform/platform.h"

static constexpr size_t ALLOC_PADDING = 32;

// Showing the box may itself need memory; a second failure on the way goes straight to the exit.
static bool out_of_memory_in_progress = false;

[[noreturn]] static void out_of_memory(const char* caption) {
  if (!out_of_memory_in_progress) {
    out_of_memory_in_progress = true;
    plat().message_box(nullptr, "メモリ容量が不足しています。処理を中断します。", caption, MB_OK | MB_ICONERROR);
  }
  fatal_exit();
}

void* mem_alloc(size_t size) {
  void* block = size <= SIZE_MAX - ALLOC_PADDING ? malloc(size + ALLOC_PADDING) : nullptr;
  if (!block) out_of_memory("malloc");
  return block;
}

void* mem_resize(void* block, size_t size) {
  void* moved = size <= SIZE_MAX - ALLOC_PADDING ? realloc(block, size + ALLOC_PADDING) : nullptr;
  if (!moved) out_of_memory("realloc");
  return moved;
}

static void new_handler() { out_of_memory("malloc"); }

void mem_new_handler_install() { std::set_new_handler(new_handler); }

void mem_reset() { out_of_memory_in_progress = false; }
