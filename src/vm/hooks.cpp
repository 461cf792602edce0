// STAND-IN for the hooks module: no hooks exist yet, so there is nothing to keep, mark or free, a
// firing only takes its arguments off the stack, and no thread is started.
#include "vm/hooks.h"

#include "vm/script_error.h"
#include "vm/variables.h"

void hook_list_drop_thread(int32_t) {}
void hook_list_keep(int) {}
void hook_list_mark_all() {}
void hook_list_purge() {}
void ReleaseEventAll() {}

void hook_fire(uint32_t, int32_t n, int32_t push0) {
  for (int32_t i = 0; i < n; ++i) stack_pop();
  if (push0) push_int(0);
}

script_thread* thread_start(int32_t) {
  script_error("thread_start : この組み込み関数はまだ実装されていません");
  push_int(0);
  return nullptr;
}
